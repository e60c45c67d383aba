#include "support/FakeFtpReply.h"

namespace tarsil::testing {

FakeReply FakeReply::Close(std::string raw) {
  FakeReply reply(std::move(raw));
  reply.then = Then::kClose;
  return reply;
}

FakeReply FakeReply::Reset() {
  FakeReply reply;
  reply.then = Then::kReset;
  return reply;
}

FakeReply FakeReply::Endless(std::string unit, uint64_t limit, std::string head) {
  FakeReply reply(std::move(head));
  reply.endless_unit = unit.empty() ? "x" : std::move(unit);
  reply.endless_limit = limit;
  return reply;
}

FakeReply FakeReply::Delayed(std::chrono::milliseconds wait) const {
  FakeReply reply = *this;
  reply.delay = wait;
  return reply;
}

FakeReply FakeReply::InBytes() const {
  FakeReply reply = *this;
  reply.in_bytes = true;
  return reply;
}

FakeTransfer FakeTransfer::Sending(std::string bytes) {
  FakeTransfer transfer;
  transfer.data = std::move(bytes);
  return transfer;
}

FakeTransfer FakeTransfer::Endless() const {
  FakeTransfer transfer = *this;
  transfer.endless = true;
  return transfer;
}

FakeTransfer FakeTransfer::Stalled() const {
  FakeTransfer transfer = *this;
  transfer.stall = true;
  return transfer;
}

FakeTransfer FakeTransfer::Paced(uint64_t bytes, std::chrono::milliseconds pause) const {
  FakeTransfer paced = *this;
  paced.pace_bytes = bytes;
  paced.pace_pause = pause;
  return paced;
}

FakeTransfer FakeTransfer::CutAfter(uint64_t bytes, bool reset) const {
  FakeTransfer transfer = *this;
  transfer.cut_after = bytes;
  transfer.cut_with_reset = reset;
  return transfer;
}

}  // namespace tarsil::testing

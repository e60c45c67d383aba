#include "support/FakeFtpDataChannel.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "support/FakeFtpServer.h"

namespace tarsil::testing {
namespace {

constexpr size_t kChunk = 64 * 1024;  // at most this much per send or receive

}  // namespace

FakeFtpDataChannel::FakeFtpDataChannel(FakeFtpState& state, in_addr address)
    : state_(state), address_(address) {}

uint16_t FakeFtpDataChannel::OpenPassive() {
  listener_ = ListenOn(address_, 0, 1);
  idle_.Reset();
  idle_ended_ = false;
  return listener_.valid() ? LocalPort(listener_.get()) : 0;
}

void FakeFtpDataChannel::Start(const std::string& command, const FakeTransfer& transfer,
                               bool upload, uint64_t offset) {
  if (idle_ended_ && !upload) idle_.Reset();
  idle_ended_ = false;
  Flight flight;
  flight.command = command;
  flight.transfer = transfer;
  flight.upload = upload;
  flight.position = offset;
  std::chrono::milliseconds limit;
  std::string source;
  std::string stray;
  {
    std::lock_guard lock(state_.mutex);
    limit = state_.script.data_connect_limit;
    source = state_.script.connect_back_from;
    stray = state_.script.stray_from;
    if (upload) {
      state_.uploads.push_back(FakeFtpUpload{command, ""});
      state_.Changed();
    }
  }
  flight.connect_deadline = FakeClock::now() + limit;
  if (flight.transfer.endless && flight.transfer.data.empty()) {
    flight.transfer.data = FakeFtpServer::kEndlessListingLine;
  }
  flight_ = std::move(flight);
  if (idle_.valid()) {
    Connected(std::move(idle_));
  } else if (listener_.valid()) {
    flight_->stage = Stage::kAccept;
  } else if (target_) {
    in_addr from = address_;
    if (auto parsed = ParseDotted(source)) from = *parsed;
    bool connected = false;
    if (auto parsed = ParseDotted(stray)) stray_ = ConnectFrom(*parsed, *target_, connected);
    UniqueFd fd = ConnectFrom(from, *target_, connected);
    target_.reset();  // one transfer per PORT, as servers do
    if (!fd.valid()) {
      Finish("425 Can't open data connection.\r\n");
    } else if (connected) {
      CountConnection();
      Connected(std::move(fd));
    } else {
      flight_->fd = std::move(fd);
      flight_->stage = Stage::kConnect;
    }
  } else {
    Finish("425 Use PORT or PASV first.\r\n");
  }
}

void FakeFtpDataChannel::Clear() {
  flight_.reset();
  listener_.Reset();
  idle_.Reset();
  idle_ended_ = false;
  stray_.Reset();
  target_.reset();
  final_reply_.reset();
}

void FakeFtpDataChannel::CountConnection() {
  std::lock_guard lock(state_.mutex);
  ++state_.data_connections;
  state_.Changed();
}

void FakeFtpDataChannel::Connected(UniqueFd fd) {
  flight_->fd = std::move(fd);
  flight_->stage = Stage::kFlow;
  if (flight_->transfer.cut_after == 0) Cut();
}

void FakeFtpDataChannel::Finish(const FakeReply& reply) {
  final_reply_ = reply;
  flight_.reset();
}

void FakeFtpDataChannel::Cut() {
  if (flight_->transfer.cut_with_reset) ResetAndClose(flight_->fd);
  Finish(flight_->transfer.failed);
}

std::optional<FakeReply> FakeFtpDataChannel::TakeFinalReply() {
  return std::exchange(final_reply_, {});
}

void FakeFtpDataChannel::Register(PollSet& polls, std::optional<FakeClock::time_point>& deadline) {
  listener_index_ = listener_.valid() ? polls.Add(listener_.get(), POLLIN) : PollSet::kNone;
  if (!idle_.valid()) idle_holds_data_ = false;
  idle_index_ = idle_.valid() && !idle_holds_data_ && !idle_ended_ ? polls.Add(idle_.get(), POLLIN)
                                                                   : PollSet::kNone;
  if (!flight_) return;
  Flight& flight = *flight_;
  flight.index = PollSet::kNone;
  if (flight.stage != Stage::kFlow) TakeEarlier(deadline, flight.connect_deadline);
  if (flight.stage == Stage::kConnect) {
    flight.index = polls.Add(flight.fd.get(), POLLOUT);
  } else if (flight.stage == Stage::kFlow) {
    // Downloads also watch for input: that is how a client's close shows while sending. A stall
    // reads nothing, so that a client's sends come to block, and only waits for the close.
    short events = flight.transfer.stall ? POLLRDHUP : flight.upload ? POLLIN : POLLIN | POLLOUT;
    if (!flight.upload && FakeClock::now() < flight.resume_at) {
      events = POLLIN;  // a paced download in its pause
      TakeEarlier(deadline, flight.resume_at);
    }
    flight.index = polls.Add(flight.fd.get(), events);
  }
}

void FakeFtpDataChannel::Handle(const PollSet& polls, FakeClock::time_point now) {
  if (idle_index_ != PollSet::kNone && polls.Revents(idle_index_) != 0) {
    // An idle data connection tells its close, or data a client sends ahead of its upload
    // command: that is left for the command (and the connection is not watched until then).
    char byte;
    ssize_t got = recv(idle_.get(), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    if (got > 0) idle_holds_data_ = true;
    if (got == 0) idle_ended_ = true;  // kept: the upload command reads it as an empty file
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) idle_.Reset();
  }
  if (listener_index_ != PollSet::kNone && (polls.Revents(listener_index_) & POLLIN)) {
    UniqueFd fd = AcceptNonBlocking(listener_.get());
    if (fd.valid()) {
      CountConnection();
      listener_.Reset();  // one connection per PASV
      idle_ended_ = false;
      if (flight_ && flight_->stage == Stage::kAccept) {
        Connected(std::move(fd));
      } else {
        idle_ = std::move(fd);
      }
    }
  }
  if (!flight_) return;
  Flight& flight = *flight_;
  short revents = polls.Revents(flight.index);
  if (flight.stage == Stage::kConnect && revents != 0) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(flight.fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) return Finish("425 Can't open data connection.\r\n");
    CountConnection();
    return Connected(std::move(flight.fd));
  }
  if (flight.stage != Stage::kFlow) {
    if (now >= flight.connect_deadline) Finish("425 Can't open data connection.\r\n");
    return;
  }
  if (flight.transfer.stall) {
    if (revents != 0) Finish(flight.transfer.failed);
    return;
  }
  if (flight.upload) {
    if (revents != 0) Receive();
    return;
  }
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    char scratch[256];  // what a client sends on a download connection is ignored
    ssize_t got = recv(flight.fd.get(), scratch, sizeof scratch, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
      return Finish(flight.transfer.failed);
    }
  }
  if (revents & POLLOUT) Send();
}

void FakeFtpDataChannel::Send() {
  Flight& flight = *flight_;
  const std::string& data = flight.transfer.data;
  uint64_t left_to_cut = flight.transfer.cut_after - flight.moved;
  size_t count = 0;
  const char* from = nullptr;
  if (flight.transfer.endless) {
    size_t at = data.empty() ? 0 : flight.position % data.size();
    from = data.data() + at;
    count = data.size() - at;
  } else if (flight.position < data.size()) {
    from = data.data() + flight.position;
    count = data.size() - flight.position;
  }
  count = static_cast<size_t>(std::min<uint64_t>({count, kChunk, left_to_cut}));
  const uint64_t pace = flight.transfer.pace_bytes;
  if (pace > 0) count = static_cast<size_t>(std::min<uint64_t>(count, pace - flight.moved % pace));
  if (count == 0) {  // everything sent: the close tells the client the file ended
    flight.fd.Reset();
    return Finish(flight.transfer.complete);
  }
  ssize_t sent = send(flight.fd.get(), from, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    return Finish(flight.transfer.failed);
  }
  flight.position += static_cast<uint64_t>(sent);
  flight.moved += static_cast<uint64_t>(sent);
  if (pace > 0 && flight.moved % pace == 0 &&
      (flight.transfer.endless || flight.position < data.size())) {
    flight.resume_at = FakeClock::now() + flight.transfer.pace_pause;
  }
  if (flight.moved >= flight.transfer.cut_after) Cut();
}

void FakeFtpDataChannel::Receive() {
  Flight& flight = *flight_;
  std::string buffer(static_cast<size_t>(std::min<uint64_t>(
                         kChunk, std::max<uint64_t>(1, flight.transfer.cut_after - flight.moved))),
                     '\0');
  ssize_t got = recv(flight.fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (got < 0) return Finish(flight.transfer.failed);
  if (got == 0) {
    flight.fd.Reset();
    return Finish(flight.transfer.complete);
  }
  {
    std::lock_guard lock(state_.mutex);
    state_.uploads.back().bytes.append(buffer.data(), static_cast<size_t>(got));
    state_.Changed();
  }
  flight.moved += static_cast<uint64_t>(got);
  if (flight.moved >= flight.transfer.cut_after) Cut();
}

}  // namespace tarsil::testing

#include "net/LingeringClose.h"

#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cerrno>

namespace tarsil {
namespace {

constexpr uint32_t kLimitTimerId = 1;
constexpr int kReadsPerWakeUp = 16;
// Last words are short: a peer that sends more is still streaming (an aborted download) and
// is better told at once that nobody listens.
constexpr size_t kMostDropped = size_t{64} << 10;
std::atomic<size_t> g_lingering{0};

}  // namespace

size_t LingeringClose::Lingering() { return g_lingering.load(); }

LingeringClose::LingeringClose(EventLoop& loop, UniqueFd fd, uint32_t limit_ms,
                               std::unique_ptr<TlsChannel> unsent_notice)
    : fd_(std::move(fd)),
      unsent_notice_(std::move(unsent_notice)),
      timer_(loop, [this](const Notice& notice) {
        if (notice.message == kTimerMessage && notice.wparam == kLimitTimerId) End();
      }) {
  if (!fd_.valid()) {
    unsent_notice_.reset();
    return;
  }
  ++g_lingering;
  const unsigned events = unsent_notice_ ? kFdReadable | kFdWritable : kFdReadable;
  watch_ = FdWatch(loop, fd_.get(), events, [this](unsigned ready) { Ready(ready); });
  if (!unsent_notice_) StopWriting();
  timer_.SetTimer(kLimitTimerId, limit_ms);
}

LingeringClose::~LingeringClose() { End(); }

void LingeringClose::Ready(unsigned events) {
  if (unsent_notice_ && (events & (kFdWritable | kFdError)) != 0) {
    if (unsent_notice_->Shutdown() == TlsChannel::Step::kWantWrite && (events & kFdError) == 0) {
      return;
    }
    unsent_notice_.reset();
    watch_.Update(kFdReadable);
    StopWriting();
  }
  if ((events & (kFdReadable | kFdError)) != 0) Readable();
}

// Our side has said everything: the peer sees the end of the stream.
void LingeringClose::StopWriting() { shutdown(fd_.get(), SHUT_WR); }

void LingeringClose::Readable() {
  std::array<char, 4096> sink;
  for (int round = 0; round < kReadsPerWakeUp; ++round) {
    const ssize_t got = recv(fd_.get(), sink.data(), sink.size(), MSG_DONTWAIT);
    if (got > 0) {
      dropped_ += static_cast<size_t>(got);
      if (dropped_ > kMostDropped) break;
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    End();  // the peer's close, or an error: nothing more can come
    return;
  }
  if (dropped_ > kMostDropped) End();
}

void LingeringClose::End() {
  if (!fd_.valid()) return;
  watch_.Reset();
  timer_.KillTimer(kLimitTimerId);
  unsent_notice_.reset();
  fd_.Reset();
  --g_lingering;
}

}  // namespace tarsil

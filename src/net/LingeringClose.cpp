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

LingeringClose::LingeringClose(EventLoop& loop, UniqueFd fd, uint32_t limit_ms)
    : fd_(std::move(fd)), timer_(loop, [this](const Notice& notice) {
        if (notice.message == kTimerMessage && notice.wparam == kLimitTimerId) End();
      }) {
  if (!fd_.valid()) return;
  ++g_lingering;
  shutdown(fd_.get(), SHUT_WR);
  watch_ = FdWatch(loop, fd_.get(), kFdReadable, [this](unsigned) { Readable(); });
  timer_.SetTimer(kLimitTimerId, limit_ms);
}

LingeringClose::~LingeringClose() { End(); }

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
  fd_.Reset();
  --g_lingering;
}

}  // namespace tarsil

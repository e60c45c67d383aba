#include "platform/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace tarsil {
namespace {

short ToPollEvents(unsigned events) {
  short result = 0;
  if (events & kFdReadable) result |= POLLIN;
  if (events & kFdWritable) result |= POLLOUT;
  return result;
}

unsigned FromPollEvents(short revents) {
  unsigned result = 0;
  if (revents & (POLLIN | POLLPRI)) result |= kFdReadable;
  if (revents & POLLOUT) result |= kFdWritable;
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) result |= kFdError;
  return result;
}

}  // namespace

PollEventLoop::PollEventLoop() {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollEventLoop::~PollEventLoop() { close(wake_fd_); }

// ---- Targets, notices and timers -------------------------------------------------------------

TargetId PollEventLoop::AddTarget(NoticeHandler handler) {
  return core_.AddTarget(std::move(handler));
}

void PollEventLoop::RemoveTarget(TargetId id) { core_.RemoveTarget(id); }

void PollEventLoop::Post(TargetId target, Notice notice) { core_.Post(target, notice); }

void PollEventLoop::PostFromAnyThread(TargetId target, Notice notice) {
  core_.AddIncoming(target, notice);
  const uint64_t one = 1;
  // The counter saturating (EAGAIN) still leaves the eventfd readable, which is all we need.
  [[maybe_unused]] ssize_t ignored = write(wake_fd_, &one, sizeof one);
}

void PollEventLoop::SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms) {
  core_.SetTimer(target, timer_id, interval_ms);
}

void PollEventLoop::KillTimer(TargetId target, uint32_t timer_id) {
  core_.KillTimer(target, timer_id);
}

// ---- Fd watches ----------------------------------------------------------------------------

WatchId PollEventLoop::AddWatch(int fd, unsigned events, FdCallback callback) {
  if (fd < 0) return 0;
  WatchId id = next_watch_++;
  watches_.emplace(id, std::make_shared<Watch>(Watch{fd, events, std::move(callback)}));
  return id;
}

void PollEventLoop::UpdateWatch(WatchId id, unsigned events) {
  auto it = watches_.find(id);
  if (it != watches_.end()) it->second->events = events;
}

void PollEventLoop::RemoveWatch(WatchId id) { watches_.erase(id); }

// ---- The turn ------------------------------------------------------------------------------

void PollEventLoop::ProcessMessages() { RunTurn(nullptr, Clock::now(), false); }

bool PollEventLoop::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  if (done()) return true;
  for (;;) {
    if (RunTurn(&done, deadline, true) || done()) return true;
    if (Clock::now() >= deadline) return false;
  }
}

bool PollEventLoop::RunTurn(const Done* done, Clock::time_point deadline, bool may_block) {
  if (core_.RunDueTimers(done)) return true;
  if (core_.RunQueuedNotices(done)) return true;
  std::vector<Ready> ready = Poll(may_block ? PollTimeout(deadline) : 0);
  return RunReadiness(ready, done);
}

int PollEventLoop::PollTimeout(Clock::time_point deadline) const {
  if (core_.HasQueued()) return 0;
  const Clock::time_point wake = std::min(deadline, core_.NearestTimer());
  if (wake == Clock::time_point::max()) return -1;
  const Clock::time_point now = Clock::now();
  if (wake <= now) return 0;
  // Rounded up, so that we never wake just before a timer is due and poll again with 0.
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

std::vector<PollEventLoop::Ready> PollEventLoop::Poll(int timeout_ms) {
  std::vector<pollfd> fds;
  std::vector<WatchId> ids;
  fds.reserve(watches_.size() + 1);
  ids.reserve(watches_.size() + 1);
  fds.push_back(pollfd{wake_fd_, POLLIN, 0});
  ids.push_back(0);
  for (const auto& [id, watch] : watches_) {
    if (watch->events == 0) continue;  // paused
    fds.push_back(pollfd{watch->fd, ToPollEvents(watch->events), 0});
    ids.push_back(id);
  }
  const int count = poll(fds.data(), fds.size(), timeout_ms);
  ++poll_count_;
  std::vector<Ready> ready;
  if (count < 0) {
    if (errno == EINTR) return ready;  // a signal: the caller's loop decides what comes next
    throw std::system_error(errno, std::generic_category(), "poll");
  }
  if (fds[0].revents != 0) {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t ignored = read(wake_fd_, &value, sizeof value);
  }
  for (size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents != 0) ready.push_back(Ready{ids[i], FromPollEvents(fds[i].revents)});
  }
  return ready;
}

bool PollEventLoop::RunReadiness(const std::vector<Ready>& ready, const Done* done) {
  const uint64_t poll_count = poll_count_;
  for (const Ready& entry : ready) {
    auto it = watches_.find(entry.id);
    if (it == watches_.end()) continue;         // removed by an earlier callback
    std::shared_ptr<Watch> watch = it->second;  // alive until its callback returns
    if (watch->events == 0) continue;           // paused meanwhile
    const unsigned revents = entry.revents & (watch->events | kFdError);
    if (revents == 0) continue;
    if (watch->callback) watch->callback(revents);
    if (done && (*done)()) return true;
    // A nested wait polled again and delivered fresher readiness; ours is stale. Poll is
    // level-triggered, so whatever is still ready shows up again next turn.
    if (poll_count_ != poll_count) break;
  }
  return false;
}

}  // namespace tarsil

// The poll(2) backend of EventLoop, used by headless runs and the tests. Targets, timers and the
// notice queue are its LoopCore's; it adds the fd watches, the poll and an eventfd through which
// other threads wake it.
// Loop thread only, except PostFromAnyThread. The turn order is written in EventLoop.h.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/LoopCore.h"

namespace tarsil {

class PollEventLoop final : public EventLoop {
 public:
  PollEventLoop();  // throws std::system_error when the eventfd cannot be made
  ~PollEventLoop() override;
  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  TargetId AddTarget(NoticeHandler handler) override;
  void RemoveTarget(TargetId id) override;
  void Post(TargetId target, Notice notice) override;
  void PostFromAnyThread(TargetId target, Notice notice) override;
  void SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms) override;
  void KillTimer(TargetId target, uint32_t timer_id) override;

  WatchId AddWatch(int fd, unsigned events, FdCallback callback) override;
  void UpdateWatch(WatchId id, unsigned events) override;
  void RemoveWatch(WatchId id) override;

  void ProcessMessages() override;
  bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) override;

  size_t LiveTargets() const override { return core_.LiveTargets(); }
  size_t LiveWatches() const override { return watches_.size(); }
  size_t LiveTimers() const override { return core_.LiveTimers(); }
  size_t PendingNotices() const override { return core_.PendingNotices(); }

 private:
  struct Watch {
    int fd;
    unsigned events;
    FdCallback callback;
  };
  struct Ready {
    WatchId id;
    unsigned revents;
  };
  using Done = std::function<bool()>;

  // One turn; returns true as soon as *done holds after a dispatch (done may be null).
  bool RunTurn(const Done* done, Clock::time_point deadline, bool may_block);
  std::vector<Ready> Poll(int timeout_ms);
  bool RunReadiness(const std::vector<Ready>& ready, const Done* done);
  int PollTimeout(Clock::time_point deadline) const;

  LoopCore core_;
  // Callbacks are shared so that one stays alive while it runs, even when it removes its watch.
  std::unordered_map<WatchId, std::shared_ptr<Watch>> watches_;
  WatchId next_watch_ = 1;
  uint64_t poll_count_ = 0;  // tells a readiness pass that a nested wait polled afresh
  int wake_fd_ = -1;         // eventfd, owned
};

}  // namespace tarsil

// The poll(2) backend of EventLoop, used by headless runs and the tests. It owns its targets,
// timers, watches and notice queue, and an eventfd through which other threads wake it.
// Loop thread only, except PostFromAnyThread. The turn order is written in EventLoop.h.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"

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

  size_t LiveTargets() const override { return targets_.size(); }
  size_t LiveWatches() const override { return watches_.size(); }
  size_t LiveTimers() const override { return timers_.size(); }
  size_t PendingNotices() const override;

 private:
  using TimerKey = std::pair<TargetId, uint32_t>;
  struct Timer {
    Clock::duration interval;
    Clock::time_point due;
    uint64_t serial;  // orders timers due at the same instant by when they were set
  };
  struct Queued {
    uint64_t seq;  // position in posting order; bounds what one turn delivers
    TargetId target;
    Notice notice;
  };
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
  bool RunDueTimers(const Done* done);
  bool RunQueuedNotices(const Done* done);
  std::vector<Ready> Poll(int timeout_ms);
  bool RunReadiness(const std::vector<Ready>& ready, const Done* done);

  int PollTimeout(Clock::time_point deadline) const;
  void MoveIncomingToQueue();
  void Deliver(TargetId target, const Notice& notice);

  // Handlers and callbacks are shared so that one stays alive while it runs, even when it
  // removes its own target or watch.
  std::unordered_map<TargetId, std::shared_ptr<NoticeHandler>> targets_;
  std::unordered_map<WatchId, std::shared_ptr<Watch>> watches_;
  std::map<TimerKey, Timer> timers_;
  std::deque<Queued> queue_;
  TargetId next_target_ = 1;
  WatchId next_watch_ = 1;
  uint64_t next_seq_ = 0;
  uint64_t next_timer_serial_ = 0;
  uint64_t poll_count_ = 0;  // tells a readiness pass that a nested wait polled afresh

  mutable std::mutex incoming_mutex_;
  std::vector<std::pair<TargetId, Notice>> incoming_;  // from other threads, under the mutex
  int wake_fd_ = -1;                                   // eventfd, owned
};

}  // namespace tarsil

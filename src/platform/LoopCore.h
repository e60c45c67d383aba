// What every EventLoop backend keeps the same way: the targets, their repeating timers, the one
// notice queue and the notices other threads hand in. The backends add only how they block and
// wake (poll, or Qt's dispatcher) and how fd readiness reaches them; the turn order of
// EventLoop.h is theirs to drive with RunDueTimers and RunQueuedNotices.
// Loop thread only, except AddIncoming and PendingNotices.
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

class LoopCore {
 public:
  using Clock = EventLoop::Clock;
  using Done = std::function<bool()>;

  TargetId AddTarget(NoticeHandler handler);
  // Kills its timers and drops its queued and incoming notices; safe inside its own handler.
  void RemoveTarget(TargetId id);
  // False when the target is gone (nothing queued).
  bool Post(TargetId target, Notice notice);
  // Thread-safe: kept aside until the next turn moves it into the queue.
  void AddIncoming(TargetId target, Notice notice);
  bool HasIncoming() const;
  // False when the target is gone.
  bool SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms);
  void KillTimer(TargetId target, uint32_t timer_id);
  // The earliest due time of any timer; time_point::max() without timers.
  Clock::time_point NearestTimer() const;

  // Steps 1 and 2 of a turn. Each returns true as soon as *done holds after a dispatch (done may
  // be null).
  bool RunDueTimers(const Done* done);
  bool RunQueuedNotices(const Done* done);

  bool HasQueued() const { return !queue_.empty(); }
  size_t LiveTargets() const { return targets_.size(); }
  size_t LiveTimers() const { return timers_.size(); }
  size_t PendingNotices() const;

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

  void MoveIncomingToQueue();
  void Deliver(TargetId target, const Notice& notice);

  // Handlers are shared so that one stays alive while it runs, even when it removes its target.
  std::unordered_map<TargetId, std::shared_ptr<NoticeHandler>> targets_;
  std::map<TimerKey, Timer> timers_;
  std::deque<Queued> queue_;
  TargetId next_target_ = 1;
  uint64_t next_seq_ = 0;
  uint64_t next_timer_serial_ = 0;

  mutable std::mutex incoming_mutex_;
  std::vector<std::pair<TargetId, Notice>> incoming_;  // from other threads, under the mutex
};

}  // namespace tarsil

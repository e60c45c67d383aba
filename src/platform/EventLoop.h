// The single-threaded event loop: posted notices, repeating timers and fd readiness, dispatched
// on the one loop thread. EventLoop is the interface (PollEventLoop for headless runs and tests,
// a Qt backend for the desktop); EventTarget and FdWatch are RAII handles that must be destroyed
// before their loop. Every call is loop-thread only, except PostFromAnyThread.
//
// The loop contract. One turn of the loop does, in this order:
//   1. Due timers: each due timer fires once (Notice{kTimerMessage, timer_id}) and is re-armed
//      before its handler runs. A late repeating timer fires once, not in a burst.
//   2. Posted notices, bounded: only those queued when the turn started, taken one at a time from
//      the front of the one queue. A notice posted during the turn runs in a later turn, so a
//      handler never runs inside Post, and a nested wait inside a handler simply continues down
//      the same queue: posting order holds across nesting.
//   3. Poll: block until an fd is ready, a timer is due, another thread posts, or the deadline;
//      timeout 0 when notices wait or inside ProcessMessages.
//   4. Readiness callbacks for the fds the poll reported. When a callback runs a nested wait,
//      the rest of this turn's readiness is stale and dropped (poll is level-triggered, so what
//      is still ready is reported again).
// Waits check their condition after every single dispatch and return as soon as it holds.
// Objects: the loop never frees a handler or callback while it runs (removal inside one's own
// callback is safe); a removed target or watch gets nothing more, not even events already
// collected in the same turn; removing a target kills its timers and drops its queued notices.
// Errors: an exception thrown by a handler leaves ProcessMessages/WaitUntil with the loop
// consistent (that notice or tick is consumed; nothing else is lost).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarsil {

struct Notice {
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
};

using TargetId = uint64_t;  // 0 is never a valid id
using WatchId = uint64_t;   // 0 is never a valid id
using NoticeHandler = std::function<void(const Notice&)>;
using FdCallback = std::function<void(unsigned revents)>;

// A timer tick arrives as Notice{kTimerMessage, timer_id}.
inline constexpr uint32_t kTimerMessage = 0x0113;
// Shorter timer intervals are raised to this, so that no timer can keep the loop busy.
inline constexpr uint32_t kMinTimerIntervalMs = 10;

enum FdEvent : unsigned {
  kFdReadable = 1,
  kFdWritable = 2,
  kFdError = 4,  // error, hang-up or invalid fd; always reported while the watch is not paused
};

class EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~EventLoop() = default;

  // A target stands in for a hidden notification window: it receives notices and timer ticks.
  virtual TargetId AddTarget(NoticeHandler handler) = 0;
  // Kills its timers and drops its queued notices; safe inside its own handler.
  virtual void RemoveTarget(TargetId id) = 0;
  // Delivered after the current step returns, in posting order. Dropped when the target is gone.
  virtual void Post(TargetId target, Notice notice) = 0;
  // Thread-safe; wakes a blocked wait. The loop must outlive every thread that calls this.
  virtual void PostFromAnyThread(TargetId target, Notice notice) = 0;
  // Repeating; setting an existing timer again replaces its interval and restarts it.
  virtual void SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms) = 0;
  virtual void KillTimer(TargetId target, uint32_t timer_id) = 0;

  // Watches fd for the given FdEvent bits (level-triggered). Returns 0 when fd < 0.
  virtual WatchId AddWatch(int fd, unsigned events, FdCallback callback) = 0;
  // events 0 pauses the watch completely (errors are not reported either).
  virtual void UpdateWatch(WatchId id, unsigned events) = 0;
  // Safe inside its own callback; no callback after removal.
  virtual void RemoveWatch(WatchId id) = 0;

  // One turn without blocking: due timers, the notices queued now, ready fds.
  virtual void ProcessMessages() = 0;
  // Runs turns, blocking in poll between events, until done() is true (checked first and after
  // every dispatch) or the deadline has passed (at least one turn is run). Returns done().
  // Never spins. May be nested inside a handler.
  virtual bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) = 0;
  // Waits for a time while dispatching.
  void WaitWithMessages(uint32_t milliseconds);

  // Leak checks for tests.
  virtual size_t LiveTargets() const = 0;
  virtual size_t LiveWatches() const = 0;
  virtual size_t LiveTimers() const = 0;
  virtual size_t PendingNotices() const = 0;
};

// RAII: owns one target; destruction removes it (nothing is delivered to it afterwards).
class EventTarget {
 public:
  EventTarget(EventLoop& loop, NoticeHandler handler);
  ~EventTarget();
  EventTarget(EventTarget&& other) noexcept;
  EventTarget& operator=(EventTarget&& other) noexcept;
  EventTarget(const EventTarget&) = delete;
  EventTarget& operator=(const EventTarget&) = delete;

  TargetId id() const { return id_; }
  EventLoop& loop() const { return *loop_; }
  void Post(uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);
  void SetTimer(uint32_t timer_id, uint32_t interval_ms);
  void KillTimer(uint32_t timer_id);

 private:
  EventLoop* loop_;
  TargetId id_;
};

// RAII: owns one fd watch (not the fd). Update(events) changes interest; Reset() removes it.
class FdWatch {
 public:
  FdWatch() = default;
  FdWatch(EventLoop& loop, int fd, unsigned events, FdCallback callback);
  ~FdWatch();
  FdWatch(FdWatch&& other) noexcept;
  FdWatch& operator=(FdWatch&& other) noexcept;
  FdWatch(const FdWatch&) = delete;
  FdWatch& operator=(const FdWatch&) = delete;

  void Update(unsigned events);
  void Reset();
  bool active() const { return id_ != 0; }
  WatchId id() const { return id_; }

 private:
  EventLoop* loop_ = nullptr;
  WatchId id_ = 0;
};

}  // namespace tarsil

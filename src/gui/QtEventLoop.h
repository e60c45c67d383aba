// The desktop backend of EventLoop. Targets, timers and the notice queue are its LoopCore's and
// follow the turn order of EventLoop.h; Qt only blocks and wakes: a posted QEvent, one precise
// wake timer and QSocketNotifiers that record readiness. Handlers never run inside Qt's dispatch,
// except from the loop's own QObject when Qt's loop runs and no wait of ours is pumping it (idle,
// or a modal dialog). Needs a QCoreApplication; GUI thread only, except PostFromAnyThread.
#pragma once

#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/LoopCore.h"

namespace tarsil::gui {

class QtEventLoop final : public EventLoop {
 public:
  QtEventLoop();
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

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

  // A failure that escapes a handler run from Qt's own loop has no wait to leave through; it
  // goes here (the application-wide failure handler). Without one it is dropped.
  void SetFailureHandler(std::function<void(std::exception_ptr)> handler) {
    failure_handler_ = std::move(handler);
  }

 private:
  class Driver;
  struct FdNotifiers;
  struct Rescheduler;
  struct Watch {
    int fd;
    unsigned events;
    FdCallback callback;
    unsigned revents = 0;  // recorded readiness waiting for its turn
    bool queued = false;   // in ready_; its notifiers stay off meanwhile
  };
  using Done = std::function<bool()>;

  bool RunTurn(const Done* done, Clock::time_point deadline, bool may_block);
  bool RunReadiness(const Done* done);
  void Pump(bool may_block, Clock::time_point deadline);

  // Qt's side: kicks, the wake timer and notifier activations.
  void OnKick();
  void OnWake();
  void OnActivated(int fd);
  bool MayDispatchHere() const;
  void RunIdleTurn();
  void ScheduleIdleWork();
  void PostKick();
  void ArmWake(Clock::time_point extra);
  void Rearm(int fd);

  std::unique_ptr<Driver> driver_;
  LoopCore core_;
  std::map<WatchId, std::shared_ptr<Watch>> watches_;
  std::unordered_map<int, std::unique_ptr<FdNotifiers>> fds_;
  std::vector<WatchId> ready_;
  WatchId next_watch_ = 1;
  uint64_t readiness_epoch_ = 0;  // changes whenever readiness may have been gathered afresh
  std::vector<int> pump_levels_;  // Qt loop level of each of our pumps in progress
  std::function<void(std::exception_ptr)> failure_handler_;
  std::atomic<bool> kick_pending_{false};
};

}  // namespace tarsil::gui

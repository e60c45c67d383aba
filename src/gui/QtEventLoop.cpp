#include "gui/QtEventLoop.h"

#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QBasicTimer>
#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

namespace tarsil::gui {
namespace {

const QEvent::Type kKickEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// What the fd offers now, as FdEvent bits; asked without blocking after a notifier fired, since
// Qt's notifiers do not tell a hang-up or an error from plain readiness.
unsigned ProbeFd(int fd) {
  pollfd entry{fd, POLLIN | POLLOUT, 0};
  if (poll(&entry, 1, 0) <= 0) return 0;
  unsigned result = 0;
  if (entry.revents & (POLLIN | POLLPRI)) result |= kFdReadable;
  if (entry.revents & POLLOUT) result |= kFdWritable;
  if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) result |= kFdError;
  return result;
}

}  // namespace

// The loop's QObject: receives the kicks and the wake timer from Qt.
class QtEventLoop::Driver : public QObject {
 public:
  explicit Driver(QtEventLoop& loop) : loop_(loop) {}
  QBasicTimer wake;

 protected:
  bool event(QEvent* event) override {
    if (event->type() != kKickEvent) return QObject::event(event);
    loop_.OnKick();
    return true;
  }
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() != wake.timerId()) return;
    wake.stop();
    loop_.OnWake();
  }

 private:
  QtEventLoop& loop_;
};

// One pair of notifiers per fd, shared by every watch on it (Qt allows one of each kind per fd).
struct QtEventLoop::FdNotifiers {
  std::unique_ptr<QSocketNotifier> read;
  std::unique_ptr<QSocketNotifier> write;
  int users = 0;
};

QtEventLoop::QtEventLoop() : driver_(std::make_unique<Driver>(*this)) {}

QtEventLoop::~QtEventLoop() {
  watches_.clear();
  fds_.clear();
  driver_.reset();  // its pending kick goes with it
}

// ---- Targets, notices and timers -------------------------------------------------------------

TargetId QtEventLoop::AddTarget(NoticeHandler handler) {
  return core_.AddTarget(std::move(handler));
}

void QtEventLoop::RemoveTarget(TargetId id) { core_.RemoveTarget(id); }

void QtEventLoop::Post(TargetId target, Notice notice) {
  if (core_.Post(target, notice)) PostKick();
}

void QtEventLoop::PostFromAnyThread(TargetId target, Notice notice) {
  core_.AddIncoming(target, notice);
  PostKick();
}

void QtEventLoop::PostKick() {
  // One kick in flight is enough: whoever takes it moves everything that arrived meanwhile.
  if (!kick_pending_.exchange(true)) {
    QCoreApplication::postEvent(driver_.get(), new QEvent(kKickEvent));
  }
}

void QtEventLoop::SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms) {
  if (core_.SetTimer(target, timer_id, interval_ms)) ArmWake(Clock::time_point::max());
}

void QtEventLoop::KillTimer(TargetId target, uint32_t timer_id) {
  core_.KillTimer(target, timer_id);
}

void QtEventLoop::ArmWake(Clock::time_point extra) {
  const Clock::time_point wake = std::min(core_.NearestTimer(), extra);
  if (wake == Clock::time_point::max()) {
    driver_->wake.stop();
    return;
  }
  const Clock::time_point now = Clock::now();
  // Rounded up, so that the wake never comes just before the timer is due.
  const auto ms =
      wake <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
  driver_->wake.start(static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX)), Qt::PreciseTimer,
                      driver_.get());
}

// ---- Fd watches ----------------------------------------------------------------------------

WatchId QtEventLoop::AddWatch(int fd, unsigned events, FdCallback callback) {
  if (fd < 0) return 0;
  WatchId id = next_watch_++;
  watches_.emplace(id, std::make_shared<Watch>(Watch{fd, events, std::move(callback)}));
  std::unique_ptr<FdNotifiers>& entry = fds_[fd];
  if (!entry) {
    entry = std::make_unique<FdNotifiers>();
    entry->read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    entry->write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    for (QSocketNotifier* notifier : {entry->read.get(), entry->write.get()}) {
      notifier->setEnabled(false);
      QObject::connect(notifier, &QSocketNotifier::activated, driver_.get(),
                       [this, fd] { OnActivated(fd); });
    }
  }
  ++entry->users;
  Rearm(fd);
  return id;
}

void QtEventLoop::UpdateWatch(WatchId id, unsigned events) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  it->second->events = events;
  Rearm(it->second->fd);
}

void QtEventLoop::RemoveWatch(WatchId id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  const int fd = it->second->fd;
  watches_.erase(it);
  auto entry = fds_.find(fd);
  if (entry != fds_.end() && --entry->second->users == 0) {
    fds_.erase(entry);  // never inside its own activation: that only records readiness
  } else {
    Rearm(fd);
  }
}

// A notifier is on while some watch of its fd wants that kind and has no readiness queued, so
// that readiness not yet handled cannot make Qt's loop spin; once handled, level-triggered
// readiness that is still there fires again.
void QtEventLoop::Rearm(int fd) {
  auto entry = fds_.find(fd);
  if (entry == fds_.end()) return;
  bool want_read = false;
  bool want_write = false;
  for (const auto& [id, watch] : watches_) {
    if (watch->fd != fd || watch->queued) continue;
    want_read = want_read || (watch->events & kFdReadable);
    want_write = want_write || (watch->events & kFdWritable);
  }
  entry->second->read->setEnabled(want_read);
  entry->second->write->setEnabled(want_write);
}

void QtEventLoop::OnActivated(int fd) {
  ++readiness_epoch_;
  const unsigned now = ProbeFd(fd);
  for (const auto& [id, watch] : watches_) {
    if (watch->fd != fd || watch->queued || watch->events == 0) continue;
    const unsigned revents = now & (watch->events | kFdError);
    if (revents == 0) continue;
    watch->revents = revents;
    watch->queued = true;
    ready_.push_back(id);
  }
  Rearm(fd);
  if (!ready_.empty()) PostKick();
}

// ---- The turn ------------------------------------------------------------------------------

// Whatever a turn run by our own code leaves behind is handed to Qt's loop, since the kicks for
// it may have been taken while we pumped.
struct QtEventLoop::Rescheduler {
  QtEventLoop* loop;
  ~Rescheduler() { loop->ScheduleIdleWork(); }
};

void QtEventLoop::ProcessMessages() {
  Rescheduler reschedule{this};
  RunTurn(nullptr, Clock::now(), false);
}

bool QtEventLoop::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  if (done()) return true;
  Rescheduler reschedule{this};
  for (;;) {
    if (RunTurn(&done, deadline, true) || done()) return true;
    if (Clock::now() >= deadline) return false;
  }
}

bool QtEventLoop::RunTurn(const Done* done, Clock::time_point deadline, bool may_block) {
  if (core_.RunDueTimers(done)) return true;
  if (core_.RunQueuedNotices(done)) return true;
  Pump(may_block, deadline);
  return RunReadiness(done);
}

// Lets Qt run once: painting, input, our wake timer and kicks, notifier activations. Blocks
// until something happens when there is nothing to do and the caller may wait.
void QtEventLoop::Pump(bool may_block, Clock::time_point deadline) {
  bool block = may_block && !core_.HasQueued() && ready_.empty();
  if (block) {
    if (std::min(deadline, core_.NearestTimer()) <= Clock::now()) {
      block = false;
    } else {
      ArmWake(deadline);
    }
  }
  pump_levels_.push_back(QThread::currentThread()->loopLevel());
  struct Pop {
    std::vector<int>* levels;
    ~Pop() { levels->pop_back(); }
  } pop{&pump_levels_};
  ++readiness_epoch_;
  QCoreApplication::processEvents(block ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

bool QtEventLoop::RunReadiness(const Done* done) {
  std::vector<WatchId> batch;
  batch.swap(ready_);
  const uint64_t epoch = ++readiness_epoch_;
  size_t next = 0;
  // Whatever this pass does not hand out: kept in front when still fresh, dropped and re-armed
  // (level-triggered, so it comes again) when a nested wait or dialog gathered readiness since.
  struct Remainder {
    QtEventLoop* loop;
    std::vector<WatchId>* batch;
    size_t* next;
    uint64_t epoch;
    ~Remainder() {
      if (*next >= batch->size()) return;
      if (loop->readiness_epoch_ == epoch) {
        loop->ready_.insert(loop->ready_.begin(), batch->begin() + *next, batch->end());
        return;
      }
      for (size_t i = *next; i < batch->size(); ++i) {
        auto it = loop->watches_.find((*batch)[i]);
        if (it == loop->watches_.end()) continue;
        it->second->queued = false;
        loop->Rearm(it->second->fd);
      }
    }
  } remainder{this, &batch, &next, epoch};

  while (next < batch.size()) {
    if (readiness_epoch_ != epoch) return false;  // stale now
    auto it = watches_.find(batch[next++]);
    if (it == watches_.end()) continue;         // removed by an earlier callback
    std::shared_ptr<Watch> watch = it->second;  // alive until its callback returns
    const unsigned revents = watch->revents & (watch->events | kFdError);
    watch->revents = 0;
    watch->queued = false;
    if (watch->events != 0 && revents != 0 && watch->callback) {
      struct Rearmer {
        QtEventLoop* loop;
        int fd;
        ~Rearmer() { loop->Rearm(fd); }
      } rearm{this, watch->fd};
      watch->callback(revents);
    } else {
      Rearm(watch->fd);
    }
    if (done && (*done)()) return true;
  }
  return false;
}

// ---- Qt's own loop -------------------------------------------------------------------------

// A wait of ours that is pumping Qt runs the turn itself once the pump returns; a Qt loop
// nested deeper than that pump (a modal dialog) has to run it here, or nothing would move.
bool QtEventLoop::MayDispatchHere() const {
  return pump_levels_.empty() || QThread::currentThread()->loopLevel() > pump_levels_.back();
}

void QtEventLoop::OnKick() {
  kick_pending_.store(false);
  if (MayDispatchHere()) RunIdleTurn();
}

void QtEventLoop::OnWake() {
  if (MayDispatchHere()) RunIdleTurn();
}

void QtEventLoop::RunIdleTurn() {
  try {
    if (!core_.RunDueTimers(nullptr) && !core_.RunQueuedNotices(nullptr)) RunReadiness(nullptr);
  } catch (...) {
    // Nothing above us may see it: Qt's dispatch is on the stack.
    if (failure_handler_) {
      try {
        failure_handler_(std::current_exception());
      } catch (...) {
      }
    }
  }
  ScheduleIdleWork();
}

void QtEventLoop::ScheduleIdleWork() {
  if (core_.HasQueued() || !ready_.empty() || core_.HasIncoming()) PostKick();
  ArmWake(Clock::time_point::max());
}

}  // namespace tarsil::gui

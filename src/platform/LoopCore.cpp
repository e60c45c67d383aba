#include "platform/LoopCore.h"

#include <algorithm>

namespace tarsil {

TargetId LoopCore::AddTarget(NoticeHandler handler) {
  TargetId id = next_target_++;
  targets_.emplace(id, std::make_shared<NoticeHandler>(std::move(handler)));
  return id;
}

void LoopCore::RemoveTarget(TargetId id) {
  if (targets_.erase(id) == 0) return;  // a handler running now keeps its own reference
  std::erase_if(timers_, [id](const auto& entry) { return entry.first.first == id; });
  std::erase_if(queue_, [id](const Queued& queued) { return queued.target == id; });
  std::lock_guard lock(incoming_mutex_);
  std::erase_if(incoming_, [id](const auto& entry) { return entry.first == id; });
}

bool LoopCore::Post(TargetId target, Notice notice) {
  if (!targets_.contains(target)) return false;
  queue_.push_back(Queued{next_seq_++, target, notice});
  return true;
}

void LoopCore::AddIncoming(TargetId target, Notice notice) {
  std::lock_guard lock(incoming_mutex_);
  incoming_.emplace_back(target, notice);
}

bool LoopCore::HasIncoming() const {
  std::lock_guard lock(incoming_mutex_);
  return !incoming_.empty();
}

size_t LoopCore::PendingNotices() const {
  std::lock_guard lock(incoming_mutex_);
  return queue_.size() + incoming_.size();
}

bool LoopCore::SetTimer(TargetId target, uint32_t timer_id, uint32_t interval_ms) {
  if (!targets_.contains(target)) return false;
  const Clock::duration interval =
      std::chrono::milliseconds(std::max(interval_ms, kMinTimerIntervalMs));
  timers_[TimerKey{target, timer_id}] =
      Timer{interval, Clock::now() + interval, next_timer_serial_++};
  return true;
}

void LoopCore::KillTimer(TargetId target, uint32_t timer_id) {
  timers_.erase(TimerKey{target, timer_id});
}

LoopCore::Clock::time_point LoopCore::NearestTimer() const {
  Clock::time_point wake = Clock::time_point::max();
  for (const auto& entry : timers_) wake = std::min(wake, entry.second.due);
  return wake;
}

void LoopCore::MoveIncomingToQueue() {
  std::vector<std::pair<TargetId, Notice>> arrived;
  {
    std::lock_guard lock(incoming_mutex_);
    arrived.swap(incoming_);
  }
  for (const auto& [target, notice] : arrived) Post(target, notice);
}

void LoopCore::Deliver(TargetId target, const Notice& notice) {
  auto it = targets_.find(target);
  if (it == targets_.end()) return;
  std::shared_ptr<NoticeHandler> handler = it->second;  // alive until it returns
  if (*handler) (*handler)(notice);
}

bool LoopCore::RunDueTimers(const Done* done) {
  const Clock::time_point now = Clock::now();
  std::vector<std::pair<Timer, TimerKey>> due;
  for (const auto& [key, timer] : timers_) {
    if (timer.due <= now) due.emplace_back(timer, key);
  }
  std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
    return a.first.due != b.first.due ? a.first.due < b.first.due : a.first.serial < b.first.serial;
  });
  for (const auto& [snapshot, key] : due) {
    auto it = timers_.find(key);
    // Killed, replaced or already fired by a nested wait since we looked: leave it.
    if (it == timers_.end() || it->second.serial != snapshot.serial || it->second.due > now) {
      continue;
    }
    Timer& timer = it->second;
    timer.due += timer.interval;
    if (timer.due <= now) timer.due = now + timer.interval;  // late: one tick, no burst
    Deliver(key.first, Notice{kTimerMessage, key.second, 0});
    if (done && (*done)()) return true;
  }
  return false;
}

bool LoopCore::RunQueuedNotices(const Done* done) {
  MoveIncomingToQueue();
  // Only what was queued when this turn began; a nested wait takes from the same front.
  const uint64_t limit = next_seq_;
  while (!queue_.empty() && queue_.front().seq < limit) {
    const Queued queued = queue_.front();
    queue_.pop_front();
    Deliver(queued.target, queued.notice);
    if (done && (*done)()) return true;
  }
  return false;
}

}  // namespace tarsil

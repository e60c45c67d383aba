#include "platform/EventLoop.h"

#include <utility>

namespace tarsil {

void EventLoop::WaitWithMessages(uint32_t milliseconds) {
  WaitUntil([] { return false; }, Clock::now() + std::chrono::milliseconds(milliseconds));
}

EventTarget::EventTarget(EventLoop& loop, NoticeHandler handler)
    : loop_(&loop), id_(loop.AddTarget(std::move(handler))) {}

EventTarget::~EventTarget() {
  if (id_ != 0) loop_->RemoveTarget(id_);
}

EventTarget::EventTarget(EventTarget&& other) noexcept
    : loop_(other.loop_), id_(std::exchange(other.id_, 0)) {}

EventTarget& EventTarget::operator=(EventTarget&& other) noexcept {
  if (this != &other) {
    if (id_ != 0) loop_->RemoveTarget(id_);
    loop_ = other.loop_;
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void EventTarget::Post(uint32_t message, uint64_t wparam, int64_t lparam) {
  if (id_ != 0) loop_->Post(id_, Notice{message, wparam, lparam});
}

void EventTarget::SetTimer(uint32_t timer_id, uint32_t interval_ms) {
  if (id_ != 0) loop_->SetTimer(id_, timer_id, interval_ms);
}

void EventTarget::KillTimer(uint32_t timer_id) {
  if (id_ != 0) loop_->KillTimer(id_, timer_id);
}

FdWatch::FdWatch(EventLoop& loop, int fd, unsigned events, FdCallback callback)
    : loop_(&loop), id_(loop.AddWatch(fd, events, std::move(callback))) {}

FdWatch::~FdWatch() { Reset(); }

FdWatch::FdWatch(FdWatch&& other) noexcept : loop_(other.loop_), id_(std::exchange(other.id_, 0)) {}

FdWatch& FdWatch::operator=(FdWatch&& other) noexcept {
  if (this != &other) {
    Reset();
    loop_ = other.loop_;
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void FdWatch::Update(unsigned events) {
  if (id_ != 0) loop_->UpdateWatch(id_, events);
}

void FdWatch::Reset() {
  if (id_ != 0) loop_->RemoveWatch(std::exchange(id_, 0));
}

}  // namespace tarsil

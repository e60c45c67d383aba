// The conformance suite every EventLoop backend must pass: posting order (also across nested
// waits), removal inside callbacks, timers, fd readiness, cross-thread wake-up, waits that block
// instead of spinning, exceptions, and leak counters back at zero. The cases live in
// EventLoopConformanceCases.cpp; a test executable links that file and instantiates
// EventLoopConformance with a backend factory. This header holds the fixture and its helpers.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"

namespace tarsil::testing {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct EventLoopBackend {
  std::string name;
  std::function<std::unique_ptr<EventLoop>()> make;
};

inline void PrintTo(const EventLoopBackend& backend, std::ostream* out) { *out << backend.name; }

// Two connected fds (a pipe or a socket pair), both non-blocking, closed on destruction.
struct FdPair {
  int fds[2] = {-1, -1};
  explicit FdPair(bool socket_pair) {
    int rc = socket_pair ? socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds)
                         : pipe2(fds, O_NONBLOCK);
    if (rc != 0) throw std::runtime_error("cannot make fd pair");
  }
  FdPair(const FdPair&) = delete;
  FdPair& operator=(const FdPair&) = delete;
  ~FdPair() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int reader() const { return fds[0]; }
  int writer() const { return fds[1]; }
  void Send(const char* text) const { ASSERT_GT(write(fds[1], text, 1), 0); }
  void CloseWriter() { close(std::exchange(fds[1], -1)); }
};

inline std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

class EventLoopConformance : public ::testing::TestWithParam<EventLoopBackend> {
 protected:
  void SetUp() override { loop_ = GetParam().make(); }
  // Every handle of the test body is gone by now: nothing may be left behind.
  void TearDown() override {
    EXPECT_EQ(loop_->LiveTargets(), 0u);
    EXPECT_EQ(loop_->LiveWatches(), 0u);
    EXPECT_EQ(loop_->LiveTimers(), 0u);
    EXPECT_EQ(loop_->PendingNotices(), 0u);
  }
  EventLoop& loop() { return *loop_; }
  // Generous bounds: the machine may be loaded; these only catch waits that never end.
  static Clock::time_point Soon() { return Clock::now() + 20s; }
  bool WaitFor(const std::function<bool()>& done) { return loop_->WaitUntil(done, Soon()); }

  std::unique_ptr<EventLoop> loop_;
};

// A target that records the messages it receives.
struct Recorder {
  std::vector<uint32_t> got;
  std::function<void(const Notice&)> also = [](const Notice&) {};
  EventTarget target;
  explicit Recorder(EventLoop& loop)
      : target(loop, [this](const Notice& notice) {
          got.push_back(notice.message);
          also(notice);
        }) {}
};

}  // namespace tarsil::testing

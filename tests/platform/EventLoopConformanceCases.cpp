// The cases of the event-loop conformance suite (fixture and helpers in EventLoopConformance.h).
#include "platform/EventLoopConformance.h"

namespace tarsil::testing {

TEST_P(EventLoopConformance, NoticesArriveAfterTheStepInPostingOrder) {
  std::vector<std::string> log;
  auto record = [&log](char who) {
    return [&log, who](const Notice& n) { log.push_back(who + std::to_string(n.message)); };
  };
  EventTarget b(loop(), record('b'));
  EventTarget a(loop(), [&](const Notice& n) {
    record('a')(n);
    if (n.message == 1) {
      a.Post(4);
      b.Post(5);
      EXPECT_EQ(log.size(), 1u) << "a post must not be delivered inside the posting handler";
    }
  });
  a.Post(1);
  b.Post(2);
  a.Post(3);
  EXPECT_TRUE(WaitFor([&] { return log.size() == 5; }));
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b2", "a3", "a4", "b5"}));
}

TEST_P(EventLoopConformance, NoticeFieldsArriveIntact) {
  Notice seen;
  EventTarget target(loop(), [&](const Notice& n) { seen = n; });
  loop().Post(target.id(), Notice{1025, 0xFFFF'FFFF'FFFFull, -10054});
  EXPECT_TRUE(WaitFor([&] { return seen.message == 1025; }));
  EXPECT_EQ(seen.wparam, 0xFFFF'FFFF'FFFFull);
  EXPECT_EQ(seen.lparam, -10054);
}

TEST_P(EventLoopConformance, OrderHoldsAcrossNestedWaits) {
  Recorder r(loop());
  r.also = [&](const Notice& n) {
    if (n.message == 2) {
      r.target.Post(6);
      // A nested wait, as a session does while a request runs: it goes on down the same queue.
      EXPECT_TRUE(WaitFor([&] { return r.got.size() == 4; }));
    }
    if (n.message == 3) r.target.Post(7);
  };
  for (uint32_t m = 1; m <= 5; ++m) r.target.Post(m);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 7; }));
  EXPECT_EQ(r.got, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_P(EventLoopConformance, WaitReturnsRightAfterTheDispatchThatSatisfiesIt) {
  Recorder r(loop());
  for (uint32_t m = 1; m <= 3; ++m) r.target.Post(m);
  EXPECT_TRUE(WaitFor([&] { return !r.got.empty(); }));
  EXPECT_EQ(r.got, std::vector<uint32_t>{1});
  EXPECT_EQ(loop().PendingNotices(), 2u);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 3; }));
}

TEST_P(EventLoopConformance, TargetDestroyedInsideItsOwnHandlerGetsNothingMore) {
  int calls = 0;
  std::unique_ptr<EventTarget> doomed;
  doomed = std::make_unique<EventTarget>(loop(), [&](const Notice&) {
    doomed.reset();  // the handler running now must survive this (its captures too)
    ++calls;
  });
  Recorder other(loop());
  doomed->Post(1);
  doomed->SetTimer(1, 10);
  doomed->Post(2);
  other.target.Post(3);
  EXPECT_TRUE(WaitFor([&] { return !other.got.empty(); }));
  loop().WaitWithMessages(50);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop().LiveTimers(), 0u);
}

TEST_P(EventLoopConformance, RemovedTargetLosesQueuedNoticesAndTimers) {
  {
    EventTarget gone(loop(), [](const Notice&) { ADD_FAILURE() << "delivered to a dead target"; });
    gone.Post(1);
    gone.SetTimer(1, 10);
    EXPECT_EQ(loop().PendingNotices(), 1u);
    EXPECT_EQ(loop().LiveTimers(), 1u);
    loop().PostFromAnyThread(gone.id(), Notice{2});
  }
  EXPECT_EQ(loop().PendingNotices(), 0u);
  EXPECT_EQ(loop().LiveTimers(), 0u);
  loop().Post(12345, Notice{3});
  loop().PostFromAnyThread(12345, Notice{4});
  loop().WaitWithMessages(50);
}

TEST_P(EventLoopConformance, TimerRepeatsUntilKilled) {
  Recorder r(loop());
  std::vector<uint64_t> ids;
  r.also = [&](const Notice& n) {
    ids.push_back(n.wparam);
    if (r.got.size() == 3) r.target.KillTimer(7);
  };
  r.target.SetTimer(7, 20);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 3; }));
  loop().WaitWithMessages(100);
  EXPECT_EQ(r.got, std::vector<uint32_t>(3, kTimerMessage));
  EXPECT_EQ(ids, std::vector<uint64_t>(3, 7));
}

TEST_P(EventLoopConformance, SettingATimerAgainReplacesIt) {
  Recorder r(loop());
  r.target.SetTimer(1, 60'000);
  r.target.SetTimer(1, 20);
  EXPECT_EQ(loop().LiveTimers(), 1u);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() >= 2; }));
  r.target.SetTimer(1, 60'000);
  const size_t ticks = r.got.size();
  loop().WaitWithMessages(150);
  EXPECT_EQ(r.got.size(), ticks);
}

TEST_P(EventLoopConformance, LateTimerFiresOnceNotInABurst) {
  Recorder r(loop());
  r.target.SetTimer(1, 50);
  std::this_thread::sleep_for(300ms);  // the loop thread busy elsewhere: six periods missed
  const Clock::time_point start = Clock::now();
  for (int turn = 0; turn < 3; ++turn) loop().ProcessMessages();
  const auto periods = (Clock::now() - start) / 50ms;  // normally 0, unless the machine stalls
  EXPECT_GE(r.got.size(), 1u);
  EXPECT_LE(r.got.size(), static_cast<size_t>(1 + periods));
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 3; }));
}

TEST_P(EventLoopConformance, TinyTimerIntervalIsRaised) {
  Recorder r(loop());
  r.target.SetTimer(1, 0);
  const Clock::time_point start = Clock::now();
  loop().WaitWithMessages(100);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_LE(r.got.size(), static_cast<size_t>(elapsed / (kMinTimerIntervalMs * 1ms)) + 1);
}

TEST_P(EventLoopConformance, ReadableWhenDataArrivesAndUntilRead) {
  FdPair pipe(false);
  std::vector<unsigned> calls;
  FdWatch watch(loop(), pipe.reader(), kFdReadable, [&](unsigned revents) {
    calls.push_back(revents);
    char byte;
    EXPECT_EQ(read(pipe.reader(), &byte, 1), 1);
  });
  loop().ProcessMessages();
  EXPECT_TRUE(calls.empty());
  pipe.Send("x");
  EXPECT_TRUE(WaitFor([&] { return !calls.empty(); }));
  loop().ProcessMessages();
  EXPECT_EQ(calls, std::vector<unsigned>{kFdReadable});
}

TEST_P(EventLoopConformance, WritableAgainOnlyWhenTheBufferDrains) {
  FdPair pair(true);
  int writable = 0;
  FdWatch watch(loop(), pair.writer(), kFdWritable, [&](unsigned revents) {
    EXPECT_EQ(revents, kFdWritable);
    ++writable;
    watch.Update(0);
  });
  EXPECT_TRUE(WaitFor([&] { return writable == 1; }));
  const std::string block(4096, 'z');
  while (write(pair.writer(), block.data(), block.size()) > 0) {
  }
  watch.Update(kFdWritable);
  loop().WaitWithMessages(50);
  EXPECT_EQ(writable, 1);
  std::string sink(1 << 16, '\0');
  while (read(pair.reader(), sink.data(), sink.size()) > 0) {
  }
  EXPECT_TRUE(WaitFor([&] { return writable == 2; }));
}

TEST_P(EventLoopConformance, PausedWatchReportsNothingUntilResumed) {
  FdPair pipe(false);
  int calls = 0;
  FdWatch watch(loop(), pipe.reader(), kFdReadable, [&](unsigned) { ++calls; });
  watch.Update(0);
  pipe.Send("x");
  pipe.CloseWriter();  // not even the hang-up is reported while paused
  loop().WaitWithMessages(100);
  EXPECT_EQ(calls, 0);
  watch.Update(kFdReadable);
  EXPECT_TRUE(WaitFor([&] { return calls > 0; }));
}

TEST_P(EventLoopConformance, HangUpIsReportedAsError) {
  FdPair pipe(false);
  unsigned seen = 0;
  FdWatch watch(loop(), pipe.reader(), kFdReadable, [&](unsigned revents) {
    watch.Reset();
    seen = revents;
  });
  pipe.CloseWriter();
  EXPECT_TRUE(WaitFor([&] { return seen != 0; }));
  EXPECT_TRUE(seen & kFdError);
}

TEST_P(EventLoopConformance, WatchRemovedInsideACallbackGetsNothingMore) {
  FdPair pipe(false);
  pipe.Send("x");  // stays unread: the fd is readable for the whole test
  int calls[2] = {0, 0};
  FdWatch watches[2];
  for (int i = 0; i < 2; ++i) {
    // Both are ready in the same turn; the first to run removes itself and the other.
    watches[i] = FdWatch(loop(), pipe.reader(), kFdReadable, [&, i](unsigned) {
      watches[1 - i].Reset();
      watches[i].Reset();
      ++calls[i];  // the callback and its captures are still alive
    });
  }
  loop().ProcessMessages();  // not a wait: that would return right after the first callback
  EXPECT_EQ(calls[0] + calls[1], 1);
  loop().WaitWithMessages(50);
  EXPECT_EQ(calls[0] + calls[1], 1);
  EXPECT_FALSE(watches[0].active() || watches[1].active());
}

TEST_P(EventLoopConformance, PostFromAnotherThreadWakesABlockedWait) {
  Recorder r(loop());
  const TargetId id = r.target.id();
  EventLoop& shared = loop();
  const Clock::time_point start = Clock::now();
  std::thread poster([&shared, id] {
    for (uint32_t m = 1; m <= 3; ++m) {
      std::this_thread::sleep_for(30ms);  // only so that the loop is likely blocked meanwhile
      shared.PostFromAnyThread(id, Notice{m});
    }
  });
  const bool done = loop().WaitUntil([&] { return r.got.size() == 3; }, Clock::now() + 30s);
  poster.join();
  EXPECT_TRUE(done);
  EXPECT_LT(Clock::now() - start, 15s) << "the posts did not wake the wait";
  EXPECT_EQ(r.got, (std::vector<uint32_t>{1, 2, 3}));
}

TEST_P(EventLoopConformance, PostsFromManyThreadsAllArriveInEachThreadsOrder) {
  constexpr uint32_t kPerThread = 2000;
  std::vector<uint32_t> next(2, 0);
  size_t received = 0;
  EventTarget target(loop(), [&](const Notice& n) {
    EXPECT_EQ(n.message, next[n.wparam]++);
    ++received;
  });
  std::vector<std::thread> posters;
  for (uint64_t t = 0; t < 2; ++t) {
    posters.emplace_back([&, t] {
      for (uint32_t m = 0; m < kPerThread; ++m) loop_->PostFromAnyThread(target.id(), {m, t});
    });
  }
  EXPECT_TRUE(WaitFor([&] { return received == 2 * kPerThread; }));
  for (std::thread& poster : posters) poster.join();
}

TEST_P(EventLoopConformance, WaitUntilEndsAtTheDeadline) {
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(loop().WaitUntil([] { return false; }, start + 100ms));
  EXPECT_GE(Clock::now() - start, 100ms);
  EXPECT_LT(Clock::now() - start, 15s);
  bool flag = false;
  EventTarget target(loop(), [&](const Notice&) { flag = true; });
  target.Post(1);
  loop().WaitWithMessages(0);  // a deadline already past still dispatches once
  EXPECT_TRUE(flag);
}

TEST_P(EventLoopConformance, WaitingDoesNotSpin) {
  FdPair pipe(false);
  FdWatch idle(loop(), pipe.reader(), kFdReadable, [](unsigned) {});
  FdPair hung_up(false);
  hung_up.CloseWriter();
  FdWatch paused(loop(), hung_up.reader(), 0, [](unsigned) {});
  Recorder r(loop());
  r.target.SetTimer(1, 60'000);
  r.target.SetTimer(2, 30);
  const auto cpu_before = ProcessCpuTime();
  loop().WaitWithMessages(300);
  const auto cpu_used = ProcessCpuTime() - cpu_before;
  EXPECT_GE(r.got.size(), 1u);
  // A spinning wait burns close to the whole 300 ms; a blocking one next to nothing.
  EXPECT_LT(cpu_used, 100ms) << "CPU used: " << cpu_used.count() << " ns";
}

TEST_P(EventLoopConformance, ThrowingHandlersLeaveTheLoopConsistent) {
  Recorder r(loop());
  int ticks = 0;
  r.also = [&ticks](const Notice& n) {
    if (n.message == 1 || (n.message == kTimerMessage && ++ticks == 1)) {
      throw std::runtime_error("x");
    }
  };
  for (uint32_t m = 1; m <= 3; ++m) r.target.Post(m);
  EXPECT_THROW(WaitFor([&] { return r.got.size() == 3; }), std::runtime_error);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 3; }));
  EXPECT_EQ(r.got, (std::vector<uint32_t>{1, 2, 3}));

  r.target.SetTimer(1, 20);
  EXPECT_THROW(loop().WaitWithMessages(10'000), std::runtime_error);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 5; }));  // the timer still repeats
  r.target.KillTimer(1);

  FdPair pipe(false);
  pipe.Send("x");
  int calls = 0;
  FdWatch watch(loop(), pipe.reader(), kFdReadable, [&](unsigned) {
    if (++calls == 1) throw std::runtime_error("y");
  });
  EXPECT_THROW(WaitFor([] { return false; }), std::runtime_error);
  EXPECT_TRUE(WaitFor([&] { return calls == 2; }));
}

TEST_P(EventLoopConformance, HandlesMoveTheirOwnership) {
  Recorder r(loop());
  EventTarget moved = std::move(r.target);
  EXPECT_EQ(r.target.id(), 0u);
  EXPECT_EQ(loop().LiveTargets(), 1u);
  moved.Post(1);
  EXPECT_TRUE(WaitFor([&] { return r.got.size() == 1; }));

  FdPair pipe(false);
  FdWatch watch;
  EXPECT_FALSE(watch.active());
  watch = FdWatch(loop(), pipe.reader(), kFdReadable, [](unsigned) {});
  FdWatch other = std::move(watch);
  EXPECT_FALSE(watch.active());
  EXPECT_TRUE(other.active());
  EXPECT_EQ(loop().LiveWatches(), 1u);
}

}  // namespace tarsil::testing

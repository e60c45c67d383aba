// PollEventLoop: the conformance suite, then what is particular to the poll backend's turn.
#include "platform/PollEventLoop.h"

#include "platform/EventLoopConformance.h"

namespace tarsil::testing {
namespace {

INSTANTIATE_TEST_SUITE_P(Backends, EventLoopConformance,
                         ::testing::Values(EventLoopBackend{
                             "Poll", [] { return std::make_unique<PollEventLoop>(); }}),
                         [](const auto& info) { return info.param.name; });

TEST(PollEventLoop, ATurnDeliversOnlyWhatWasQueuedWhenItBegan) {
  PollEventLoop loop;
  int delivered = 0;
  // Re-posts itself every time: a turn must still end, and a wait must still reach its deadline.
  EventTarget echo(loop, [&](const Notice&) {
    ++delivered;
    echo.Post(1);
  });
  echo.Post(1);
  echo.Post(1);
  loop.ProcessMessages();
  EXPECT_EQ(delivered, 2);
  EXPECT_EQ(loop.PendingNotices(), 2u);
  EXPECT_FALSE(loop.WaitUntil([] { return false; }, Clock::now() + 50ms));
  EXPECT_GT(delivered, 2);
}

TEST(PollEventLoop, NoStaleReadinessAfterANestedWait) {
  PollEventLoop loop;
  FdPair pipes[2] = {FdPair(false), FdPair(false)};
  int reads = 0;
  int would_block = 0;
  FdWatch watches[2];
  for (int i = 0; i < 2; ++i) {
    // Both pipes are ready in the same turn. The first callback waits (nested), and that wait
    // serves the other pipe; the outer turn must not then hand it its stale readiness.
    watches[i] = FdWatch(loop, pipes[i].reader(), kFdReadable, [&, i](unsigned) {
      char byte;
      if (read(pipes[i].reader(), &byte, 1) == 1) {
        ++reads;
      } else {
        ++would_block;
      }
      if (reads == 1) {
        EXPECT_TRUE(loop.WaitUntil([&] { return reads == 2; }, Clock::now() + 20s));
      }
    });
  }
  pipes[0].Send("a");
  pipes[1].Send("b");
  loop.ProcessMessages();  // one turn: both are ready in its poll
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(would_block, 0);
}

TEST(PollEventLoop, InvalidArgumentsAreRefusedQuietly) {
  PollEventLoop loop;
  EXPECT_EQ(loop.AddWatch(-1, kFdReadable, [](unsigned) {}), 0u);
  loop.SetTimer(99, 1, 10);  // no such target
  loop.UpdateWatch(99, kFdReadable);
  loop.RemoveWatch(99);
  loop.RemoveTarget(99);
  EXPECT_EQ(loop.LiveTimers() + loop.LiveWatches() + loop.LiveTargets(), 0u);
}

}  // namespace
}  // namespace tarsil::testing

// QtEventLoop: the conformance suite every backend passes, then what is particular to running
// under Qt's own loop: idle dispatch, modal dialogs inside a wait, failures with no wait above.
#include "gui/QtEventLoop.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>

#include "platform/EventLoopConformance.h"

namespace tarsil::testing {
namespace {

using gui::QtEventLoop;

INSTANTIATE_TEST_SUITE_P(Backends, EventLoopConformance,
                         ::testing::Values(EventLoopBackend{
                             "Qt", [] { return std::make_unique<QtEventLoop>(); }}),
                         [](const auto& info) { return info.param.name; });

// Runs Qt's own loop (as QApplication::exec does) until `done` or 20 s.
bool RunQtLoopUntil(const std::function<bool()>& done) {
  QEventLoop qt_loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) qt_loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(20'000, &qt_loop, &QEventLoop::quit);
  qt_loop.exec();
  return done();
}

TEST(QtEventLoop, QtsOwnLoopDeliversNoticesTimersAndReadiness) {
  QtEventLoop loop;
  std::vector<uint32_t> got;
  EventTarget target(loop, [&](const Notice& n) {
    got.push_back(n.message);
    if (n.message == 1) target.Post(2);  // posted from an idle turn: needs another kick
  });
  target.Post(1);
  target.SetTimer(9, 20);
  FdPair pipe(false);
  int reads = 0;
  FdWatch watch(loop, pipe.reader(), kFdReadable, [&](unsigned) {
    char byte;
    if (read(pipe.reader(), &byte, 1) == 1) ++reads;
  });
  pipe.Send("x");
  EXPECT_TRUE(RunQtLoopUntil([&] { return got.size() >= 3 && reads == 1; }));
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got[0], 1u);
  EXPECT_EQ(got[1], 2u);
  EXPECT_EQ(got[2], kTimerMessage);
  target.KillTimer(9);
}

TEST(QtEventLoop, AModalLoopInsideAWaitKeepsNoticesMoving) {
  // A wait pumps Qt; a Qt event opens a modal loop (a message box would); notices posted then
  // must still be delivered inside that modal loop, not only after it closes.
  QtEventLoop loop;
  bool delivered_inside_modal = false;
  bool in_modal = false;
  EventTarget target(loop, [&](const Notice&) { delivered_inside_modal = in_modal; });
  QTimer::singleShot(0, [&] {
    QEventLoop modal;
    in_modal = true;
    target.Post(1);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (delivered_inside_modal) modal.quit();
    });
    check.start(5);
    QTimer::singleShot(20'000, &modal, &QEventLoop::quit);
    modal.exec();
    in_modal = false;
  });
  loop.WaitWithMessages(100);
  EXPECT_TRUE(delivered_inside_modal);
}

TEST(QtEventLoop, FailuresFromQtsLoopGoToTheFailureHandler) {
  QtEventLoop loop;
  std::vector<std::string> failures;
  loop.SetFailureHandler([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      failures.emplace_back(e.what());
    }
  });
  int calls = 0;
  EventTarget target(loop, [&](const Notice&) {
    if (++calls == 1) throw std::runtime_error("boom");
  });
  target.Post(1);
  target.Post(2);
  EXPECT_TRUE(RunQtLoopUntil([&] { return calls == 2; }));
  EXPECT_EQ(failures, std::vector<std::string>{"boom"});
}

}  // namespace
}  // namespace tarsil::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  alarm(100);  // the watchdog: a test that hangs fails the run
  return RUN_ALL_TESTS();
}

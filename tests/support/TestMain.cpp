// Entry point of every test executable: GoogleTest with a per-process watchdog, so that a test
// that waits forever fails instead of hanging the run.
#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  unsigned limit = 100;
  if (const char* env = std::getenv("TARSIL_TEST_WATCHDOG")) limit = std::strtoul(env, nullptr, 10);
  alarm(limit);  // SIGALRM ends the process with a failure status
  return RUN_ALL_TESTS();
}

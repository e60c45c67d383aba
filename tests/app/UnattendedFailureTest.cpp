// End-to-end: unattended runs of the real binary that fail must say so in their log, and must
// end when told to, whatever a local file does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "app/ScriptFile.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"
#include "platform/UniqueFd.h"
#include "support/FakeFtpServer.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::ChildProcess;
using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class UnattendedFailureTest : public ::testing::Test {
 protected:
  UnattendedFailureTest() {
    log_file_ = (dir_.path() / "run.log").string();
    SettingsStore store((dir_.path() / "settings.reg").string());
    store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
    store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file_);
    store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "Timeout", 60);
  }

  std::vector<std::string> Argv(const std::string& script) const {
    return {TARSIL_BINARY, "/auto" + script};
  }
  std::map<std::string, std::string> Env() const {
    return {{"TARSIL_HOME", dir_.str()}, {"TARSIL_HEADLESS", "1"}};
  }
  std::vector<std::string> LogLines() const { return SplitTextLines(TempDir::Read(log_file_)); }
  bool Logged(const std::string& line) const {
    for (const std::string& l : LogLines()) {
      if (l == line) return true;
    }
    return false;
  }
  std::string Open() const { return "Open 127.0.0.1:" + std::to_string(server_.port()); }

  TempDir dir_;
  std::string log_file_;
  FakeFtpServer server_;
};

TEST_F(UnattendedFailureTest, AFifoNobodyReadsNeitherHangsTheRunNorItsTermination) {
  const std::string fifo = (dir_.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  server_.ServeData("RETR big.bin", std::string(4 << 20, 'x'));

  // Without a reader: a failure at once, and the run goes on.
  std::string first = dir_.Write(
      "first.fcs", JoinTextLines({Open(), "Login user pw", "Get big.bin " + fifo, "Rem after"}));
  ProcessResult result = RunProcess(Argv(first), Env(), 60s);
  ASSERT_NE(result.exit_code, -1) << result.err;
  EXPECT_TRUE(Logged("999 Cannot open file \"" + fifo + "\": it is a FIFO that no process reads"));
  EXPECT_TRUE(Logged("Rem after"));

  // With a reader that never reads: the transfer waits, and SIGTERM still ends the run cleanly.
  UniqueFd reader(open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader.valid());
  std::string second = dir_.Write(
      "second.fcs", JoinTextLines({Open(), "Login user pw", "Get big.bin " + fifo, "Rem never"}));
  ChildProcess child(Argv(second), Env());
  ASSERT_TRUE(server_.WaitForCommand("RETR big.bin", 30s));
  child.Signal(SIGTERM);
  result = child.Finish(30s);
  ASSERT_NE(result.exit_code, -1) << "the run did not end after SIGTERM";
  bool ended = false;
  for (const std::string& line : LogLines()) {
    if (line.rfind("<<" + second + ">> end   ", 0) == 0) ended = true;
  }
  EXPECT_TRUE(ended) << TempDir::Read(log_file_);
  EXPECT_FALSE(Logged("Rem never"));
}

}  // namespace
}  // namespace tarsil

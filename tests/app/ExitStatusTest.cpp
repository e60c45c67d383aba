// End-to-end: the exit status of the real tarsil binary when a signal ends the run (the other
// statuses and `tarsil --check` are in cases/exit-status.case).
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "app/ScriptFile.h"
#include "platform/SettingsStore.h"
#include "support/FakeFtpServer.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::ChildProcess;
using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::FakeTransfer;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class ExitStatusTest : public ::testing::Test {
 protected:
  ExitStatusTest() {
    log_file_ = (dir_.path() / "run.log").string();
    SettingsStore store((dir_.path() / "settings.reg").string());
    store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
    store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file_);
  }

  std::map<std::string, std::string> Env() const {
    return {{"TARSIL_HOME", dir_.str()}, {"TARSIL_HEADLESS", "1"}};
  }

  std::string Script(const std::string& name, const std::vector<std::string>& lines) {
    return dir_.Write(name, JoinTextLines(lines));
  }

  TempDir dir_;
  std::string log_file_;
};

TEST_F(ExitStatusTest, ASignalMidTransferClosesCleanlyAndExitsWith128PlusIt) {
  FakeFtpServer server;
  server.OnTransfer("RETR big.bin", FakeTransfer::Sending("x").Stalled());
  const std::string script =
      Script("get.fcs", {"Open " + server.address() + ":" + std::to_string(server.port()),
                         "Login user secret", "lcd " + dir_.str(), "Get big.bin", "stop 9"});
  ChildProcess child({TARSIL_BINARY, "--exit-status", "/auto" + script}, Env());
  ASSERT_TRUE(server.WaitForCommand("RETR big.bin", 30s));
  ASSERT_TRUE(server.WaitUntil([&] { return server.DataConnections() >= 1; }, 30s));
  child.Signal(SIGTERM);
  ProcessResult result = child.Finish(30s);
  EXPECT_EQ(result.exit_code, 128 + SIGTERM) << result.err;
  // The clean close quit the server and wrote the log file, end line included.
  EXPECT_TRUE(server.WaitForCommand("QUIT", 10s));
  const std::string log = TempDir::Read(log_file_);
  EXPECT_NE(log.find("Get big.bin"), std::string::npos);
  EXPECT_NE(log.find(">> end   "), std::string::npos);
  EXPECT_EQ(log.find("stop 9"), std::string::npos);
}

TEST_F(ExitStatusTest, AnInterruptDuringAWaitExits130) {
  const std::string script = Script("wait.fcs", {"WaitTimer 01:00:00", "stop 3"});
  ChildProcess child({TARSIL_BINARY, "/auto" + script}, Env());
  ASSERT_TRUE(child.WaitForOutput("WaitTimer 01:00:00", 30s));
  child.Signal(SIGINT);
  EXPECT_EQ(child.Finish(30s).exit_code, 128 + SIGINT);
}

}  // namespace
}  // namespace tarsil

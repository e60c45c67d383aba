// End-to-end: the exit status of the real tarsil binary, and `tarsil --check`, as a scheduler sees
// them.
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

  int Status(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TARSIL_BINARY);
    ProcessResult result = RunProcess(arguments, Env(), 60s);
    return result.exit_code;
  }

  std::string Script(const std::string& name, const std::vector<std::string>& lines) {
    return dir_.Write(name, JoinTextLines(lines));
  }

  TempDir dir_;
  std::string log_file_;
};

TEST_F(ExitStatusTest, StopWithANumberAndTheErrorOption) {
  const std::string failing = Script("failing.fcs", {"ldel missing.txt", "if Error Rem handled"});
  const std::string clean = Script("clean.fcs", {"Rem fine", "lcd " + dir_.str()});
  // Without the option every run that closes normally exits 0, errors or not.
  EXPECT_EQ(Status({"/auto" + failing}), 0);
  // With it, before or after the /auto argument, an Error anywhere gives 1.
  EXPECT_EQ(Status({"--exit-status", "/auto" + failing}), 1);
  EXPECT_EQ(Status({"/auto" + failing, "--exit-status"}), 1);
  EXPECT_EQ(Status({"--exit-status", "/auto" + clean}), 0);

  EXPECT_EQ(Status({"/auto" + Script("s7.fcs", {"stop 7", "stop 9"})}), 7);
  EXPECT_EQ(Status({"/auto" + Script("s255.fcs", {"stop 255"})}), 255);
  EXPECT_EQ(Status({"/auto" + Script("plain.fcs", {"stop now"})}), 0);
  // "stop N" wins over the option, in both directions.
  const std::string handled = Script("handled.fcs", {"ldel missing.txt", "if Error stop 0"});
  EXPECT_EQ(Status({"--exit-status", "/auto" + handled}), 0);
  const std::string fails_late = Script("late.fcs", {"stop 4"});
  EXPECT_EQ(Status({"--exit-status", "/auto" + fails_late}), 4);
}

TEST_F(ExitStatusTest, UnreadableScriptsAndOptions) {
  EXPECT_EQ(Status({"/auto" + dir_.str() + "/missing.fcs"}), 2);
  EXPECT_EQ(Status({"/auto" + dir_.str()}), 2);                      // a folder
  EXPECT_EQ(Status({"/auto", Script("apart.fcs", {"stop 5"})}), 2);  // the path is not seen
  EXPECT_EQ(Status({"/auto" + dir_.Write("broken.fcx", "zz-not-hex\r\n")}), 2);
  // The run still logs its start and end lines, as it always did.
  EXPECT_NE(TempDir::Read(log_file_).find(">> end   "), std::string::npos);

  const std::string script = Script("s.fcs", {"stop 5"});
  dir_.Write("settings.reg", "this is not a settings file\r\n");
  EXPECT_EQ(Status({"--exit-status", "/auto" + script}), 3);
}

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

TEST_F(ExitStatusTest, CheckListsFindingsAndSaysSoInItsStatus) {
  const std::string bad = Script("bad.fcs", {"Open host", "Mgte *.txt", "goto nowhere"});
  ProcessResult found = RunProcess({TARSIL_BINARY, "--check", bad}, Env());
  EXPECT_EQ(found.exit_code, 1);
  EXPECT_EQ(found.out,
            bad + ":2: unknown keyword \"Mgte\": the line does nothing (did you mean Mget?)\n" +
                bad +
                ":3: goto nowhere: no line starts with :nowhere, so the run would "
                "end here\n");

  // A scrambled script is read like the editor reads it; stored values count as stored.
  const std::string scrambled = (dir_.path() / "good.fcx").string();
  StoreScriptFile(scrambled, {"Open %server%", "Login user secret", "Bye"});
  SettingsStore((dir_.path() / "settings.reg").string())
      .WriteString("\\SOFTWARE\\Tarsil", "server", "127.0.0.1");
  ProcessResult clean = RunProcess({TARSIL_BINARY, "--check", scrambled}, Env());
  EXPECT_EQ(clean.exit_code, 0) << clean.out;
  EXPECT_EQ(clean.out, "");

  ProcessResult missing = RunProcess({TARSIL_BINARY, "--check", dir_.str() + "/none.fcs"}, Env());
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
  EXPECT_EQ(RunProcess({TARSIL_BINARY, "--check"}, Env()).exit_code, 2);
  // Checking never runs anything: no log file appears.
  EXPECT_FALSE(std::filesystem::exists(log_file_));
}

TEST_F(ExitStatusTest, HelpListsEveryStatus) {
  ProcessResult help = RunProcess({TARSIL_BINARY, "--help"}, Env());
  EXPECT_EQ(help.exit_code, 0);
  for (const char* text : {"--exit-status", "--check", "stop N", "  0 ", "  1 ", "  2 ", "  3 ",
                           "128+S", "130", "143"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tarsil

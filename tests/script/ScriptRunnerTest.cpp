#include "script/ScriptRunner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"
#include "script/ScriptMessages.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeHost;
using ::tarsil::testing::TempDir;

// "Loginしていません" in CP932.
const std::string kNotLoggedIn = "999 Login\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptRunnerTest()
      : store_((home_.path() / "settings.reg").string()),
        values_(store_),
        ftp_(loop_),
        runner_(host_, ftp_, values_) {
    ftp_.Log = &ftp_log_;
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(work_.path());
  }
  ~ScriptRunnerTest() override { std::filesystem::current_path(old_dir_); }

  // The log of a whole run without its start and end lines.
  std::vector<std::string> Run(const std::vector<std::string>& lines) {
    host_.log.clear();
    runner_.Run(lines);
    EXPECT_GE(host_.log.size(), 2u);
    if (host_.log.size() < 2) return {};
    return std::vector<std::string>(host_.log.begin() + 1, host_.log.end() - 1);
  }

  TempDir home_;
  TempDir work_;
  std::filesystem::path old_dir_;
  PollEventLoop loop_;
  SettingsStore store_;
  StoredValues values_;
  ExecutionLog ftp_log_;
  FtpSession ftp_;
  FakeHost host_;
  ScriptRunner runner_;
};

TEST_F(ScriptRunnerTest, WholeRunLogsStartEveryLineAndEnd) {
  runner_.Run({"# one", "#two", ""});
  ASSERT_EQ(host_.log.size(), 5u);
  EXPECT_EQ(host_.log[0].rfind("<<test.fcs>> start ", 0), 0u);
  EXPECT_EQ(host_.log[1], "# one");
  EXPECT_EQ(host_.log[2], "#two");
  EXPECT_EQ(host_.log[3], "");
  EXPECT_EQ(host_.log[4].rfind("<<test.fcs>> end   ", 0), 0u);
  // Comments are not paced; the blank line is.
  EXPECT_EQ(host_.waits, std::vector<uint32_t>({500}));
  EXPECT_EQ(host_.begin_runs, 1);
  EXPECT_EQ(host_.end_runs, 1);
  EXPECT_FALSE(runner_.Running());
}

TEST_F(ScriptRunnerTest, IndentedHashIsNotAComment) {
  EXPECT_EQ(Run({" # not a comment", "Rem x"}),
            std::vector<std::string>({" # not a comment", "Rem x"}));
  EXPECT_EQ(host_.waits.size(), 2u);
}

TEST_F(ScriptRunnerTest, StopAndMissingLabelEndLongScripts) {
  std::vector<std::string> lines(20000, "Rem filler");
  lines[0] = "stop";
  EXPECT_EQ(Run(lines), std::vector<std::string>({"stop"}));

  lines[0] = "goto nowhere";
  EXPECT_EQ(Run(lines), std::vector<std::string>({"goto nowhere"}));

  // A stop beyond the ten-thousandth line ends the run too.
  lines.assign(12000, "# filler");
  lines[10500] = "stop";
  lines.push_back("Rem after");
  std::vector<std::string> log = Run(lines);
  EXPECT_EQ(log.back(), "stop");
}

TEST_F(ScriptRunnerTest, GotoContinuesAfterTheLabel) {
  std::vector<std::string> log =
      Run({"goto Skip", "Rem skipped", "   :SKIP trailing words", "Rem after"});
  EXPECT_EQ(log, std::vector<std::string>({"goto Skip", "Rem after"}));
}

TEST_F(ScriptRunnerTest, ResultStateStartsAsErrorAndDrivesIf) {
  EXPECT_EQ(Run({"if Error stop", "Rem never"}), std::vector<std::string>({"if Error stop"}));

  runner_.SetResultState(true);
  std::vector<std::string> log =
      Run({"if Error stop", "if NonError goto ok", "stop", ":ok", "if Maybe Rem", "Rem end"});
  EXPECT_EQ(log.back(), "Rem end");

  // Nested conditions that can never both hold.
  runner_.SetResultState(false);
  EXPECT_EQ(Run({"if Error if NonError stop", "Rem reached"}).back(), "Rem reached");
}

TEST_F(ScriptRunnerTest, StoredValuesExpandAcrossRunners) {
  Run({"set host=ftp1", "set user=a b"});
  ScriptRunner second(host_, ftp_, values_);
  host_.log.clear();
  second.Run({"Rem %host% %user% 50\\% %unclosed", "Rem x%missing%y"});
  ASSERT_EQ(host_.log.size(), 4u);
  EXPECT_EQ(host_.log[1], "Rem ftp1 a 50% %unclosed");
  EXPECT_EQ(host_.log[2], "Rem xy");

  Run({"set host="});
  EXPECT_EQ(Run({"Rem [%host%]"}), std::vector<std::string>({"Rem []"}));
}

TEST_F(ScriptRunnerTest, ExpansionFailureEndsTheRunWithItsEndLine) {
  store_.WriteInteger(kTarsilKey, "number", 5);
  EXPECT_THROW(runner_.Run({"Rem first", "Rem %number%", "Rem never"}), SettingsError);
  ASSERT_EQ(host_.log.size(), 3u);
  EXPECT_EQ(host_.log[2].rfind("<<test.fcs>> end   ", 0), 0u);
  EXPECT_EQ(host_.end_runs, 1);
  EXPECT_FALSE(runner_.Running());
}

TEST_F(ScriptRunnerTest, SetParamFillsParamsAndEveryRunClearsThem) {
  Run({"setparam logfile=/var/log/Job.log", "setparam customfile=y", "setparam NAMETOKEN=4"});
  EXPECT_EQ(ftp_.Params.Get("LOGFILE"), "/var/log/Job.log");  // a path keeps its case
  EXPECT_EQ(ftp_.Params.Get("CUSTOMFILE"), "Y");
  EXPECT_EQ(ftp_.Params.Get("NAMETOKEN"), "4");
  Run({"setparam logfile=/x.log", "setparam LOGFILE=", "setparam"});
  EXPECT_EQ(ftp_.Params.Lines().size(), 0u);
  Run({"Rem"});
  EXPECT_EQ(ftp_.Params.Lines().size(), 0u);
}

TEST_F(ScriptRunnerTest, RunPreparationSetsTheSessionTimeOut) {
  host_.timeout_seconds = 200;
  Run({"Rem"});
  EXPECT_EQ(ftp_.WaitTimeOut, 200000);
}

TEST_F(ScriptRunnerTest, LocalCommandsReportAndSetTheState) {
  std::filesystem::create_directory(work_.path() / "sub");
  work_.Write("sub/a.bak", "x");
  work_.Write("sub/.hidden.bak", "x");
  work_.Write("sub/keep.txt", "x");
  std::filesystem::create_directory(work_.path() / "sub" / "dir.bak");

  std::vector<std::string> log = Run({"lcd sub", "lmdel *.bak", "ldel keep.txt", "ldel keep.txt",
                                      "lcd \"no such folder\"", "if Error stop", "Rem never"});
  EXPECT_EQ(log,
            std::vector<std::string>(
                {"lcd sub", std::string(kLocalCdComplete), "lmdel *.bak", "ldel keep.txt",
                 std::string(kLocalDeleteComplete), "ldel keep.txt", std::string(kLocalDeleteFail),
                 "lcd \"no such folder\"", std::string(kLocalCdFail), "if Error stop"}));
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "sub" / "a.bak"));
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "sub" / ".hidden.bak"));
  EXPECT_TRUE(std::filesystem::is_directory(work_.path() / "sub" / "dir.bak"));
}

TEST_F(ScriptRunnerTest, FtpGroupSetsNonErrorFirstAndErrorOnFailure) {
  runner_.SetResultState(false);
  Run({"Open ftp.example NONE 8,080"});
  EXPECT_TRUE(runner_.ResultState());  // Open only prepares and returns 100
  EXPECT_EQ(host_.opened_server, "ftp.example");

  Run({"Get a.txt"});
  EXPECT_FALSE(runner_.ResultState());
  EXPECT_EQ(ftp_log_.Lines().back().text, kNotLoggedIn);

  Run({"Dialup"});
  EXPECT_TRUE(runner_.ResultState());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, kNotImplementedText);
  EXPECT_EQ(host_.messages[0].caption, kApplicationTitle);
}

TEST_F(ScriptRunnerTest, LoginBeforeOpenFailsWithoutALine) {
  ExecutionLog fresh_log;
  FtpSession fresh(loop_);
  fresh.Log = &fresh_log;
  ScriptRunner runner(host_, fresh, values_);
  runner.SetResultState(true);
  runner.Run({"Login user secret"});
  EXPECT_FALSE(runner.ResultState());
  EXPECT_EQ(fresh_log.LineCount(), 0u);
}

TEST_F(ScriptRunnerTest, PasswordsAreMaskedInTheLog) {
  std::vector<std::string> log = Run(
      {"Login user secret", "if Error Login  user  secret extra", "FTP PASS secret", "FTP acct s"});
  EXPECT_EQ(log,
            std::vector<std::string>({"Login user ********", "if Error Login  user  ******** extra",
                                      "FTP PASS ********", "FTP acct ********"}));
}

TEST_F(ScriptRunnerTest, FailedDirWritesAnEmptyOutputFile) {
  std::vector<std::string> log = Run({"Dir *.txt >list.txt", "Dir >missing/dir/out.txt", "Rem on"});
  EXPECT_EQ(log.back(), "Rem on");  // the failure to write the second file ends only that line
  EXPECT_TRUE(std::filesystem::exists(work_.path() / "list.txt"));
  EXPECT_EQ(std::filesystem::file_size(work_.path() / "list.txt"), 0u);
}

TEST_F(ScriptRunnerTest, WaitTimerWaitsInOneSecondStepsAndStopsWhenTheRunIsCleared) {
  Run({"WaitTimer 00:00:03"});
  EXPECT_EQ(host_.waits, std::vector<uint32_t>({1000, 1000, 1000, 500}));

  host_.waits.clear();
  Run({"WaitTimer abc", "Rem next"});
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, kWaitTimerBadText);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::kError);

  host_.waits.clear();
  host_.on_wait = [this] { runner_.ClearRunning(); };
  std::vector<std::string> log = Run({"WaitTimer 01:00:00", "Rem never"});
  EXPECT_EQ(log, std::vector<std::string>({"WaitTimer 01:00:00"}));
  EXPECT_EQ(host_.waits, std::vector<uint32_t>({1000, 500}));
}

TEST_F(ScriptRunnerTest, PauseShowsTheRestOfTheLineOrItsDefault) {
  Run({"pause   three spaces", "pause"});
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].text, "  three spaces");
  EXPECT_EQ(host_.messages[0].caption, kPauseCaption);
  EXPECT_EQ(host_.messages[1].text, kPauseDefaultText);
}

TEST_F(ScriptRunnerTest, StepExecutesOneLineAndReturnsTheNextCaretLine) {
  std::vector<std::string> lines = {"goto x", "Rem", "Rem", "Rem", "Rem",
                                    "Rem",    "Rem", ":x",  "stop"};
  EXPECT_EQ(runner_.Step(lines, 0), 8);
  EXPECT_EQ(host_.log, std::vector<std::string>({"goto x"}));  // no start or end line
  EXPECT_TRUE(host_.waits.empty());
  EXPECT_GT(runner_.Step(lines, 8), 9);  // past the end: the caret goes to the end of the text

  host_.log.clear();
  EXPECT_EQ(runner_.Step({"Rem a", "Rem b", "Rem c"}, 3), 3);
  EXPECT_TRUE(host_.log.empty());
}

TEST_F(ScriptRunnerTest, StopWithANumberNamesTheExitStatus) {
  struct Case {
    std::vector<std::string> lines;
    std::optional<int> status;
  };
  const Case cases[] = {
      {{"stop 7", "Rem never"}, 7},
      {{"STOP   255  "}, 255},
      {{"stop 0"}, 0},
      {{"stop 007"}, 7},
      {{"stop"}, std::nullopt},
      {{"stop 256"}, std::nullopt},
      {{"stop -1"}, std::nullopt},
      {{"stop +3"}, std::nullopt},
      {{"stop 3 now"}, std::nullopt},
      {{"stop 2.5"}, std::nullopt},
      {{"stop three"}, std::nullopt},
      {{"ldel missing.txt", "if Error stop 4", "stop 5"}, 4},
      {{"Rem no stop at all"}, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> log = Run(c.lines);
    EXPECT_EQ(runner_.StopStatus(), c.status) << c.lines.front();
    EXPECT_EQ(log.back().rfind("Rem never", 0), std::string::npos);
  }
  // Each whole run starts without a status.
  Run({"stop 9"});
  Run({"Rem nothing"});
  EXPECT_EQ(runner_.StopStatus(), std::nullopt);
}

TEST_F(ScriptRunnerTest, ErrorSeenCountsEveryErrorOfTheRunEvenWhenHandled) {
  // The state starts as Error, but that is no error of this run.
  Run({"Rem only a remark"});
  EXPECT_FALSE(runner_.ResultState());
  EXPECT_FALSE(runner_.ErrorSeen());

  // An error handled by "if Error" and followed by a success still counts.
  work_.Write("there.txt", "x");
  Run({"ldel missing.txt", "if Error Rem handled", "ldel there.txt"});
  EXPECT_TRUE(runner_.ResultState());
  EXPECT_TRUE(runner_.ErrorSeen());

  Run({"lcd ."});
  EXPECT_FALSE(runner_.ErrorSeen());
  Run({"lcd no-such-folder"});
  EXPECT_TRUE(runner_.ErrorSeen());
  Run({"Get a.txt"});  // not connected: 999
  EXPECT_TRUE(runner_.ErrorSeen());
}

}  // namespace
}  // namespace tarsil

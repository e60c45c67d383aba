// End-to-end: the real tarsil binary run unattended on a machine without a display, where a
// signal or the file permissions take part (the plain runs are in cases/unattended.case).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "app/ScriptFile.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::ChildProcess;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class UnattendedRunTest : public ::testing::Test {
 protected:
  UnattendedRunTest() {
    std::filesystem::create_directory(dir_.path() / "sub");
    log_file_ = (dir_.path() / "run.log").string();
    SettingsStore store((dir_.path() / "settings.reg").string());
    store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
    store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file_);
  }

  std::map<std::string, std::string> Env() const {
    return {{"TARSIL_HOME", dir_.str()}, {"TARSIL_HEADLESS", "1"}};
  }

  // The lines of the log file, which must be CP932 with CR LF after every line.
  std::vector<std::string> LogFileLines() const {
    std::string text = TempDir::Read(log_file_);
    EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
    EXPECT_EQ(JoinTextLines(SplitTextLines(text)), text);
    return SplitTextLines(text);
  }

  TempDir dir_;
  std::string log_file_;
};

void ExpectFramedBy(const std::vector<std::string>& lines, const std::string& script,
                    const std::vector<std::string>& body) {
  ASSERT_EQ(lines.size(), body.size() + 2);
  EXPECT_EQ(lines.front().rfind("<<" + script + ">> start ", 0), 0u) << lines.front();
  EXPECT_EQ(lines.back().rfind("<<" + script + ">> end   ", 0), 0u) << lines.back();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), body);
}

TEST_F(UnattendedRunTest, TerminationClosesCleanlyWithTheLogWritten) {
  std::string script = dir_.Write("wait.fcs", "WaitTimer 01:00:00\r\nRem never\r\n");
  ChildProcess child({TARSIL_BINARY, "/auto" + script}, Env());
  ASSERT_TRUE(child.WaitForOutput("WaitTimer 01:00:00", 30s));
  child.Signal(SIGTERM);
  ProcessResult result = child.Finish(30s);
  EXPECT_EQ(result.exit_code, 128 + SIGTERM);
  // The confirmed close aborts the session, which says it was not logged in.
  ExpectFramedBy(
      LogFileLines(), script,
      {"WaitTimer 01:00:00", "999 Login\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1"});
}

TEST_F(UnattendedRunTest, AScriptThatOnlyReadsRunsOnReadOnlySettings) {
  namespace fs = std::filesystem;
  const fs::path home = dir_.path() / "ro";
  const std::string settings = (home / "settings.reg").string();
  SettingsStore store(settings);
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "Timeout", 20);
  store.WriteString("\\SOFTWARE\\Tarsil", "greeting", "hello");  // no recall list in the file
  const std::string before = TempDir::Read(settings);
  std::string script = dir_.Write("reads.fcs", "Rem %greeting% read-only\r\nRem %missing%x\r\n");
  // As root the run is another user, for whom the files are read-only; otherwise the bits say so.
  const bool root = geteuid() == 0;
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  fs::permissions(settings, root ? fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_read | fs::perms::others_read
                                 : fs::perms::owner_read);
  fs::permissions(home, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  std::vector<std::string> argv = {TARSIL_BINARY, "/auto" + script};
  if (root) {
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  ProcessResult result =
      RunProcess(argv, {{"TARSIL_HOME", home.string()}, {"TARSIL_HEADLESS", "1"}}, 60s);
  fs::permissions(home, fs::perms::owner_all);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::string> lines = SplitTextLines(result.out);
  ASSERT_EQ(lines.size(), 4u) << result.out;
  EXPECT_EQ(lines[1], "Rem hello read-only");
  EXPECT_EQ(lines[2], "Rem x");
  EXPECT_EQ(TempDir::Read(settings), before);
  for (const auto& entry : fs::directory_iterator(home)) {
    EXPECT_TRUE(entry.path().filename() == "settings.reg" ||
                entry.path().filename() == "settings.reg.lock")
        << entry.path();
  }
}

}  // namespace
}  // namespace tarsil

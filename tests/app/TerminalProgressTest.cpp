// The progress line of a headless run: its text, its drawing and erasing by the console face, and
// end to end the real binary under a pseudo-terminal and in a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "app/ConsoleFace.h"
#include "app/ProgressLine.h"
#include "app/ScriptFile.h"
#include "platform/PollEventLoop.h"
#include "support/FakeFtpServer.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

TEST(ProgressLineTest, TextFitsTheTerminal) {
  EXPECT_EQ(FormatProgressLine("a.bin", 0, 0, 80), "a.bin  0 B  0 B/s  00:00:00");
  EXPECT_EQ(FormatProgressLine("big.bin", 3 * 1024 * 1024 + 512 * 1024, 2.0, 80),
            "big.bin  3.5 MiB  1.8 MiB/s  00:00:02");
  EXPECT_EQ(FormatProgressLine("x", 5LL << 30, 3725.0, 80), "x  5.0 GiB  1.4 MiB/s  01:02:05");
  // A long name loses its front; the width counts characters, not bytes.
  const std::string line =
      FormatProgressLine("folder/\xe6\x97\xa5\xe6\x9c\xac-report.csv", 10, 1.0, 40);
  EXPECT_EQ(line, "...\xe6\x9c\xac-report.csv  10 B  10 B/s  00:00:01");
  // Control bytes of a name never reach the terminal.
  EXPECT_EQ(FormatProgressLine("a\x1b[2Jb", 1, 1, 80), "a?[2Jb  1 B  1 B/s  00:00:01");
  // Too narrow even for the figures: they are cut, and nothing wraps.
  EXPECT_EQ(FormatProgressLine("a", 1, 1, 10).size(), 9u);
}

TEST(ProgressLineTest, TheFileNameComesFromTransferCommands) {
  EXPECT_EQ(TransferNameOfCommand("COMMAND:>   RETR big.bin"), "big.bin");
  EXPECT_EQ(TransferNameOfCommand("STOR my file.txt"), "my file.txt");
  EXPECT_EQ(TransferNameOfCommand("APPE log.txt"), "log.txt");
  EXPECT_EQ(TransferNameOfCommand("COMMAND:>   CWD RETR x"), "x");
  EXPECT_EQ(TransferNameOfCommand("COMMAND:>   LIST"), std::nullopt);
  EXPECT_EQ(TransferNameOfCommand("XRETR x"), std::nullopt);
}

class ProgressFaceTest : public ::testing::Test {
 protected:
  ~ProgressFaceTest() override {
    std::fclose(out_);
    std::fclose(err_);
  }
  std::string Out() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, out_)) > 0) text.append(buffer, got);
    return text;
  }

  TempDir dir_;
  PollEventLoop loop_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MainController form_{loop_, store_};
  std::FILE* out_ = std::tmpfile();
  std::FILE* err_ = std::tmpfile();
};

TEST_F(ProgressFaceTest, TheLineIsErasedBeforeTheNextLogLineAndNeverLogged) {
  ConsoleFace face(loop_, form_, out_, err_, -1, false);
  form_.SetView(&face);
  face.SetProgressLine(true, 80);
  form_.Logmemo().AddLine("COMMAND:>   RETR big.bin", LogKind::kCommand);
  form_.Retrieving(1536, 2.0 / 86400);
  form_.WriteLog("Download End");
  EXPECT_EQ(Out(),
            "COMMAND:>   RETR big.bin\n"
            "\rbig.bin  1.5 KiB  768 B/s  00:00:02\x1b[K"
            "\r\x1b[K"
            "Download End\n");
  EXPECT_EQ(form_.Logmemo().LineTexts(),
            std::vector<std::string>({"COMMAND:>   RETR big.bin", "Download End"}));
}

TEST_F(ProgressFaceTest, OffWhenOutputIsNoTerminal) {
  {
    ConsoleFace face(loop_, form_, out_, err_, -1, false);  // a file: off by default
    form_.SetView(&face);
    form_.Retrieving(1536, 2.0 / 86400);
    form_.FTPtransfer(10, 1.0 / 86400);
    form_.WriteLog("Download End");
    form_.SetView(nullptr);
  }
  EXPECT_EQ(Out(), "Download End\n");
}

// Runs the real binary with a pseudo-terminal as its standard input, output and error, and
// returns everything it wrote there (bounded in time).
ProcessResult RunOnTerminal(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env) {
  ProcessResult result;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return result;
  const std::string slave_name = ptsname(master);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int slave = open(slave_name.c_str(), O_RDWR);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd = {master, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child and its terminal are gone
    result.out.append(buffer, static_cast<size_t>(got));
  }
  close(master);
  int status = 0;
  if (std::chrono::steady_clock::now() >= deadline) kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

TEST(TerminalProgressEndToEnd, ShownOnATerminalAbsentInAPipe) {
  TempDir dir;
  FakeFtpServer server;
  server.ServeData("RETR big.bin", std::string(300000, 'x'));
  const std::string script = dir.Write(
      "get.fcs",
      JoinTextLines({"Open " + server.address() + ":" + std::to_string(server.port()),
                     "Login user secret", "lcd " + dir.str(), "Binary", "Get big.bin", "Bye"}));
  const std::map<std::string, std::string> env = {{"TARSIL_HOME", dir.str()},
                                                  {"TARSIL_HEADLESS", "1"}};

  ProcessResult terminal = RunOnTerminal({TARSIL_BINARY, "/auto" + script}, env);
  ASSERT_EQ(terminal.exit_code, 0) << terminal.out;
  const std::size_t drawn = terminal.out.find("\rbig.bin  ");
  ASSERT_NE(drawn, std::string::npos) << terminal.out;
  const std::size_t erased = terminal.out.find("\r\x1b[K", drawn);
  const std::size_t end_line = terminal.out.find("Download End", drawn);
  ASSERT_NE(erased, std::string::npos);
  ASSERT_NE(end_line, std::string::npos);
  EXPECT_LT(erased, end_line);
  EXPECT_EQ(TempDir::Read(dir.str() + "/big.bin").size(), 300000u);

  ProcessResult pipe = RunProcess({TARSIL_BINARY, "/auto" + script}, env);
  ASSERT_EQ(pipe.exit_code, 0) << pipe.err;
  EXPECT_NE(pipe.out.find("Download End"), std::string::npos);
  EXPECT_EQ(pipe.out.find('\r'), std::string::npos);
  EXPECT_EQ(pipe.out.find("\x1b["), std::string::npos);
}

}  // namespace
}  // namespace tarsil

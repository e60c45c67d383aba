// The session against the fake server where runs used to hang or report a failure as success:
// logins that never completed, FIFOs as local files, links under names the server chose, and
// temporary names of long file names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "session/FtpSession.h"
#include "session/LocalTransferFile.h"
#include "session/SessionMessages.h"
#include "support/FakeFtpServer.h"
#include "support/SessionHarness.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::FakeReply;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class SessionReliabilityTest : public ::tarsil::testing::SessionTest {
 protected:
  bool LoggedWith(const std::string& part) const {
    for (const LogLine& line : log_.Lines()) {
      if (line.text.rfind("999 ", 0) == 0 && line.text.find(part) != std::string::npos) return true;
    }
    return false;
  }
  std::string MakeFifo(const std::string& name) {
    const std::string path = (dir_.path() / name).string();
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return path;
  }
};

TEST_F(SessionReliabilityTest, ALoginIsAFailureUnlessTheServerCompletedIt) {
  // Asked for an account after the password, and for it again after ACCT: never logged in.
  server_.On("PASS", "331 Password accepted, account needed.\r\n");
  server_.On("ACCT", "331 Still more needed.\r\n");
  Open();
  EXPECT_EQ(ftp_.Login("user", "secret"), 999);
  EXPECT_FALSE(ftp_.IsLoggedIn() && ftp_.Ftp().LoggedIn());
  EXPECT_TRUE(LoggedWith(std::string(kLoginIncompleteText)));
}

TEST_F(SessionReliabilityTest, AResetAfterThePasswordIsAFailedLogin) {
  server_.ResetOn("PASS");
  Open();
  EXPECT_GT(ftp_.Login("user", "secret"), 400);
  EXPECT_FALSE(ftp_.Ftp().LoggedIn());
}

// A reset instead of the reply fails the command, though the last reply (the login's) was good;
// QUIT, which ends the connection on purpose, does not fail.
TEST_F(SessionReliabilityTest, AConnectionLostDuringACommandIsItsFailure) {
  server_.ResetOn("CWD lost");
  server_.ResetOn("MKD lost");
  server_.ResetOn("SITE lost");
  for (const auto& command : std::vector<std::function<int()>>{
           [this] { return ftp_.Cwd("lost"); }, [this] { return ftp_.MakeDir("lost"); },
           [this] { return ftp_.FTPcmd("SITE lost"); }}) {
    LogIn();
    EXPECT_EQ(command(), 999);
    EXPECT_TRUE(LoggedWith("Connection reset by remote side"));
    log_.Clear();
  }
  LogIn();
  EXPECT_LE(ftp_.Disconnect(), 400);
  EXPECT_FALSE(LoggedWith(""));
}

TEST_F(SessionReliabilityTest, AGarbageReplyToThePasswordIsAFailedLogin) {
  server_.OnSequence("PASS", {"hello there\r\n", "230 Logged in.\r\n"});
  Open();
  ftp_.WaitTimeOut = 2000;
  EXPECT_GT(ftp_.Login("user", "secret"), 400);
  EXPECT_FALSE(ftp_.Ftp().LoggedIn());
  // A good login afterwards still works.
  ftp_.WaitTimeOut = 10000;
  EXPECT_LE(ftp_.Login("user", "secret"), 400);
  EXPECT_TRUE(ftp_.Ftp().LoggedIn());
}

TEST_F(SessionReliabilityTest, AFifoWithoutItsOtherEndFailsAtOnce) {
  LogIn();
  MakeFifo("pipe");
  server_.ServeData("RETR a.txt", "data");
  EXPECT_EQ(ftp_.Download("a.txt", "pipe"), 999);
  EXPECT_TRUE(LoggedWith("it is a FIFO that no process reads"));
  EXPECT_EQ(ftp_.Upload("pipe", "up.txt"), 999);
  EXPECT_TRUE(LoggedWith("it is a FIFO that no process writes"));
  // The session goes on as before.
  EXPECT_LE(ftp_.Download("a.txt", "plain.txt"), 400);
  EXPECT_EQ(TempDir::Read(dir_.path() / "plain.txt"), "data");
}

// More than a pipe holds, so the download must wait for the reader without holding the loop.
TEST_F(SessionReliabilityTest, ADownloadIntoAFifoStreamsAtTheReadersPace) {
  LogIn();
  const std::string path = MakeFifo("pipe");
  std::string payload;
  for (int i = 0; payload.size() < 600000; ++i) payload += std::to_string(i) + ",";
  server_.ServeData("RETR big.bin", payload);
  ftp_.SetBinary();
  UniqueFd reader(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader.valid());
  std::string received;
  std::thread drain([&] {
    const auto limit = std::chrono::steady_clock::now() + 60s;
    char buffer[8192];
    while (received.size() < payload.size() && std::chrono::steady_clock::now() < limit) {
      pollfd wanted{reader.get(), POLLIN, 0};
      if (poll(&wanted, 1, 100) <= 0) continue;
      const ssize_t got = read(reader.get(), buffer, sizeof buffer);
      if (got > 0) received.append(buffer, static_cast<size_t>(got));
    }
  });
  const int result = ftp_.Download("big.bin", "pipe");
  drain.join();
  EXPECT_LE(result, 400);
  EXPECT_EQ(received.size(), payload.size());
  EXPECT_TRUE(received == payload);
}

TEST_F(SessionReliabilityTest, AFifoNobodyEmptiesEndsByTheTimeOut) {
  LogIn();
  const std::string path = MakeFifo("pipe");
  server_.ServeData("RETR big.bin", std::string(1 << 20, 'x'));
  UniqueFd reader(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader.valid());
  ftp_.WaitTimeOut = 500;
  EXPECT_EQ(ftp_.Download("big.bin", "pipe"), 999);
  EXPECT_TRUE(LoggedWith(std::string(kTimeOutText)));
}

TEST_F(SessionReliabilityTest, AnUploadFromAFifoSendsWhatItsWriterWrites) {
  LogIn();
  const std::string path = MakeFifo("pipe");
  // Our own read/write end stands for the writer: it is there before the upload opens the FIFO.
  UniqueFd writer(open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(writer.valid());
  const std::string first = "first part,";
  ASSERT_EQ(write(writer.get(), first.data(), first.size()), static_cast<ssize_t>(first.size()));
  std::string rest;
  for (int i = 0; rest.size() < 300000; ++i) rest += std::to_string(i) + ";";
  std::thread produce([&] {
    if (!server_.WaitForCommand("STOR", 30s)) return;
    size_t done = 0;
    while (done < rest.size()) {
      const ssize_t put = write(writer.get(), rest.data() + done, rest.size() - done);
      if (put <= 0) break;
      done += static_cast<size_t>(put);
    }
    writer.Reset();  // the end of the stream
  });
  const int result = ftp_.Upload("pipe", "up.bin");
  produce.join();
  EXPECT_LE(result, 400);
  EXPECT_TRUE(server_.ReceivedData("STOR up.bin") == first + rest);
}

TEST_F(SessionReliabilityTest, MgetNeverWritesThroughALinkButGetDoes) {
  LogIn();
  TempDir outside;
  const std::filesystem::path target = outside.path() / "target.txt";
  outside.Write("target.txt", "keep me");
  std::filesystem::create_symlink(target, dir_.path() / "a.txt");
  server_.ServeData("LIST",
                    "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 a.txt\r\n"
                    "-rw-r--r--   1 ftp ftp        6 Jan 02  2020 b.txt\r\n");
  server_.ServeData("RETR a.txt", "server's a");
  server_.ServeData("RETR b.txt", "server's b");
  EXPECT_LE(ftp_.Mget("*.txt"), 400);  // the last file, b.txt, came
  EXPECT_TRUE(LoggedWith("a.txt is a symbolic link"));
  EXPECT_EQ(TempDir::Read(target), "keep me");
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / "a.txt"));
  EXPECT_EQ(TempDir::Read(dir_.path() / "b.txt"), "server's b");

  // A name the user wrote goes where the link leads.
  EXPECT_LE(ftp_.Download("a.txt", "a.txt"), 400);
  EXPECT_EQ(TempDir::Read(target), "server's a");
}

TEST_F(SessionReliabilityTest, ALongNameIsReceivedUnderAShortenedTemporaryName) {
  LogIn();
  const std::string name = std::string(250, 'n') + ".txt";  // 254 bytes, as long as it gets
  server_.ServeData("RETR " + name, "long");
  dir_.Write(name, "old");
  EXPECT_LE(ftp_.Download(name, ""), 400);
  EXPECT_EQ(TempDir::Read(dir_.path() / name), "long");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(TemporaryNameTest, StaysWithinOneFolderEntryAndCutsOnlyWholeCharacters) {
  EXPECT_EQ(TemporaryNameFor("a.txt", "12-0"), ".a.txt.12-0.part");
  const std::string longest = TemporaryNameFor(std::string(300, 'x'), "4194304-99");
  EXPECT_EQ(longest.size(), 255u);
  EXPECT_EQ(longest.substr(longest.size() - 16), ".4194304-99.part");
  // "日" is two bytes here and three in the native form: 100 of them need cutting, by whole ones.
  std::string japanese;
  for (int i = 0; i < 100; ++i) japanese += "\x93\xfa";
  const std::string cut = TemporaryNameFor(japanese, "1-1");
  const std::string kept = cut.substr(1, cut.size() - 1 - 9);
  EXPECT_EQ(kept.size() % 2, 0u);
  EXPECT_LE(3 * (kept.size() / 2) + 1 + 9, 255u);
  EXPECT_GT(3 * (kept.size() / 2) + 1 + 9, 252u);
}

}  // namespace
}  // namespace tarsil

// The synchronous session against the scripted fake server: results, log lines and local files.
#include "session/FtpSession.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/PollEventLoop.h"
#include "session/SessionMessages.h"
#include "support/FakeFtpServer.h"
#include "support/SessionHarness.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::FakeReply;
using ::tarsil::testing::FakeTransfer;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

const std::string kListing =
    "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 a.txt\r\n"
    "-rw-r--r--   1 ftp ftp        6 Jan 02  2020 B.TXT\r\n"
    "-rw-r--r--   1 ftp ftp        7 Jan 02  2020 c.doc\r\n"
    "drwxr-xr-x   2 ftp ftp     4096 Jan 02  2020 d.txt\r\n";

class FtpSessionTest : public ::tarsil::testing::SessionTest {
 protected:
  bool Logged(const std::string& line) const {
    for (const LogLine& l : log_.Lines()) {
      if (l.text == line) return true;
    }
    return false;
  }
  size_t LoggedWith(const std::string& part) const {
    size_t count = 0;
    for (const LogLine& l : log_.Lines()) count += l.text.find(part) != std::string::npos;
    return count;
  }
};

TEST_F(FtpSessionTest, NothingButSetupWorksBeforeTheLogin) {
  EXPECT_EQ(ftp_.Login("user", "secret"), 999);  // before Open: no line at all
  EXPECT_EQ(log_.LineCount(), 0u);
  EXPECT_EQ(ftp_.SetBinary(), 100);
  EXPECT_EQ(ftp_.Download("a.txt", ""), 999);
  EXPECT_TRUE(Logged("999 " + std::string(kNotLoggedInText)));
}

TEST_F(FtpSessionTest, AWrongPasswordReturnsTheServersCode) {
  server_.On("PASS", "530 Login incorrect.\r\n");
  ASSERT_EQ(ftp_.Connect("127.0.0.1:" + std::to_string(server_.port()), "", 0), 100);
  EXPECT_EQ(ftp_.Login("user", "wrong"), 530);
  EXPECT_FALSE(ftp_.IsLoggedIn());
  for (const LogLine& line : log_.Lines()) {
    EXPECT_EQ(line.text.find("wrong"), std::string::npos);
    EXPECT_NE(line.text.rfind("999", 0), 0u);
  }
}

TEST_F(FtpSessionTest, TlsAndIpv6WordsAreCheckedBeforeAnyConnection) {
  // A broken IPv6 word ends Open with its reason; the login then has nothing to connect to.
  EXPECT_EQ(ftp_.Connect("[::1", "", 0), 999);
  EXPECT_TRUE(Logged("999 The IPv6 address has no closing bracket: [::1"));
  EXPECT_EQ(ftp_.Login("user", "secret"), 999);
  // A pin that is no SHA-256 fingerprint is refused rather than ignored.
  ASSERT_EQ(ftp_.Connect("ftpes://127.0.0.1:" + std::to_string(server_.port()), "", 0), 100);
  ftp_.Params.Set("TLSFINGERPRINT", "SHA256:AB:CD");
  EXPECT_EQ(ftp_.Login("user", "secret"), 999);
  EXPECT_TRUE(Logged(
      "999 TLSFINGERPRINT is not a SHA-256 fingerprint (SHA256: and 32 hex bytes): SHA256:AB:CD"));
  EXPECT_TRUE(server_.Commands().empty());
  // AUTH TLS refused: the login fails with the server's code and no password goes out.
  ftp_.Params.Clear();
  server_.On("AUTH*", "530 Please login with USER and PASS.\r\n");
  EXPECT_EQ(ftp_.Login("user", "secret"), 530);
  EXPECT_EQ(server_.Commands(), std::vector<std::string>({"AUTH TLS"}));
}

TEST_F(FtpSessionTest, AStalledServerTimesOut) {
  LogIn();
  server_.On("CWD", FakeReply::Silence());
  ftp_.WaitTimeOut = 300;
  EXPECT_EQ(ftp_.Cwd("x"), 999);
  EXPECT_TRUE(Logged("999 " + std::string(kTimeOutText)));
}

TEST_F(FtpSessionTest, CwdGoesComponentByComponentAndStopsAtTheFirstFailure) {
  LogIn();
  server_.On("CWD b", "550 No such directory.\r\n");
  EXPECT_EQ(ftp_.Cwd("/a/b/c"), 550);
  EXPECT_EQ(Sent("CWD"), std::vector<std::string>({"CWD a", "CWD b"}));
  EXPECT_EQ(ftp_.Cwd(""), 0);
}

TEST_F(FtpSessionTest, ADownloadReplacesTheOldFileOnlyWhenComplete) {
  LogIn();
  dir_.Write("a.txt", "old a");
  dir_.Write("b.txt", "old b");
  server_.ServeData("RETR a.txt", "new data");
  server_.OnTransfer("RETR b.txt", FakeTransfer::Sending("partial data").CutAfter(4, true));
  EXPECT_LE(ftp_.Download("a.txt", ""), 400);
  EXPECT_EQ(TempDir::Read(dir_.path() / "a.txt"), "new data");
  EXPECT_EQ(ftp_.Download("missing.txt", "m.txt"), 550);
  EXPECT_GT(ftp_.Download("b.txt", ""), 400);
  EXPECT_EQ(TempDir::Read(dir_.path() / "b.txt"), "old b");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "m.txt"));
  // No temporary file is left behind.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST_F(FtpSessionTest, ALocalFileFailureIsTheSessionsOwnFailure) {
  LogIn();
  server_.ServeData("RETR a.txt", "data");
  // The server's last reply is a success; the result must still say the download failed.
  EXPECT_EQ(ftp_.Download("a.txt", "no/such/folder/a.txt"), 999);
  EXPECT_EQ(log_.Lines().back().text.rfind("999 ", 0), 0u);
}

TEST_F(FtpSessionTest, AReplacedFileKeepsItsPermissions) {
  LogIn();
  const mode_t old_mask = umask(022);
  struct Case {
    const char* name;
    mode_t before;  // 0: no file there yet
    mode_t after;
  };
  const Case cases[] = {
      {"secret.txt", 0600, 0600},  // stays owner-only
      {"tool.sh", 0750, 0750},    {"locked.txt", 0400, 0400},
      {"setid.bin", 06755, 0755},  // set-id bits never pass to what a server sent
      {"new.txt", 0, 0644},        // a new file follows the umask
  };
  for (const Case& c : cases) {
    const std::string path = (dir_.path() / c.name).string();
    if (c.before != 0) {
      dir_.Write(c.name, "old");
      ASSERT_EQ(chmod(path.c_str(), c.before), 0);
    }
    server_.ServeData(std::string("RETR ") + c.name, "new contents");
    EXPECT_LE(ftp_.Download(c.name, ""), 400) << c.name;
    EXPECT_EQ(TempDir::Read(path), "new contents") << c.name;
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, c.after) << c.name;
  }
  umask(old_mask);
}

TEST_F(FtpSessionTest, ARawPasswordIsMaskedInTheDebugMarkers) {
  ftp_.Debugmode = true;
  LogIn();
  EXPECT_LT(ftp_.FTPcmd("PASS topsecret"), 999);
  EXPECT_LT(ftp_.FTPcmd(" acct\tbudget42"), 999);
  // The server gets the commands as written; no log line shows either secret.
  EXPECT_EQ(Sent("PASS"), std::vector<std::string>({"PASS secret", "PASS topsecret"}));
  bool marker = false;
  for (const LogLine& line : log_.Lines()) {
    EXPECT_EQ(line.text.find("topsecret"), std::string::npos) << line.text;
    EXPECT_EQ(line.text.find("budget42"), std::string::npos) << line.text;
    const size_t at = line.text.find("-- FTPcmd Start -- ");
    if (at != std::string::npos) {
      const std::string quoted = line.text.substr(at + 19);
      EXPECT_TRUE(quoted == "PASS ********" || quoted == " acct\t********") << quoted;
      marker = true;
    }
  }
  EXPECT_TRUE(marker);
}

TEST_F(FtpSessionTest, ADeviceIsWrittenInPlace) {
  LogIn();
  server_.ServeData("RETR big.bin", std::string(10000, 'x'));
  EXPECT_LE(ftp_.Download("big.bin", "/dev/null"), 400);
  struct stat status {};
  ASSERT_EQ(stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST_F(FtpSessionTest, StatisticsLineOfAnEmptyFile) {
  LogIn();
  server_.ServeData("RETR empty.txt", "");
  EXPECT_LE(ftp_.Download("empty.txt", ""), 400);
  EXPECT_TRUE(Logged("Download End 0 Byte  time:00:00:00 (0.00Byte/sec)"));
}

TEST_F(FtpSessionTest, UploadOfAMissingFileAndNamesWithLineBreaks) {
  LogIn();
  EXPECT_EQ(ftp_.Upload("nothere.txt", ""), 999);
  EXPECT_TRUE(Logged("999 " + std::string(kLocalFileNotFoundText)));
  const size_t before = server_.Commands().size();
  EXPECT_EQ(ftp_.Download("a.txt\r\nDELE x", ""), 999);
  EXPECT_EQ(ftp_.FTPcmd(std::string("NOOP\0DELE x", 11)), 999);
  EXPECT_EQ(server_.Commands().size(), before);
}

TEST_F(FtpSessionTest, UploadStoresUnderTheLocalFileName) {
  LogIn();
  dir_.Write("sub/up.txt", "payload");
  EXPECT_LE(ftp_.Upload("sub/up.txt", ""), 400);
  EXPECT_EQ(server_.ReceivedData("STOR up.txt"), "payload");
}

TEST_F(FtpSessionTest, MgetTakesMatchingPlainFilesAndSkipsUnsafeNames) {
  LogIn();
  server_.ServeData("LIST",
                    kListing + "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 ../evil.txt\r\n");
  server_.ServeData("RETR a.txt", "aaaaa");
  server_.ServeData("RETR B.TXT", "bbbbbb");
  EXPECT_EQ(ftp_.Mget("*.txt"), 999);  // the last name, skipped, gives the result
  EXPECT_TRUE(Logged("mget will download 3 files "));
  EXPECT_EQ(TempDir::Read(dir_.path() / "a.txt"), "aaaaa");
  EXPECT_EQ(TempDir::Read(dir_.path() / "B.TXT"), "bbbbbb");
  EXPECT_FALSE(std::filesystem::exists(dir_.path().parent_path() / "evil.txt"));
  EXPECT_TRUE(Sent("RETR ..").empty());
}

// A long listing: every name the mask chooses is taken once, in listing order, whether the names
// come from the parsed entries or from a field of the raw lines.
TEST_F(FtpSessionTest, MultiFileOperationsTakeEveryChosenNameOfALongListingInOrder) {
  LogIn();
  std::string listing;
  std::vector<std::string> retrieves, deletes;
  for (int i = 0; i < 600; ++i) {
    // Names out of sort order, of several lengths, every third one not chosen by the mask.
    const std::string name = std::string(static_cast<size_t>(i % 37), 'z') +
                             std::to_string(i * 7919 % 2003) + (i % 3 == 2 ? ".txt" : ".dat");
    listing += "-rw-r--r--   1 ftp ftp        8 Jan 02  2020 " + name + "\r\n";
    if (i % 3 == 2) continue;
    retrieves.push_back("RETR " + name);
    deletes.push_back("DELE " + name);
  }
  server_.ServeData("LIST", listing);
  server_.ServeData("RETR", "8 bytes.");
  server_.On("DELE", "250 Deleted.\r\n");
  EXPECT_LE(ftp_.Mget("*.dat"), 400);
  EXPECT_TRUE(Logged("mget will download 400 files "));
  EXPECT_EQ(Sent("RETR"), retrieves);
  EXPECT_EQ(TempDir::Read(dir_.path() / retrieves.back().substr(5)), "8 bytes.");

  ftp_.Params.Set("CUSTOMFILE", "Y");  // the ninth word of each raw line
  EXPECT_LE(ftp_.Mdel("*.dat"), 400);
  EXPECT_EQ(Sent("DELE"), deletes);
}

TEST_F(FtpSessionTest, NoMatchMeansNoFile) {
  LogIn();
  server_.ServeData("LIST", kListing);
  EXPECT_EQ(ftp_.Mget("*.none"), 999);
  EXPECT_TRUE(Logged("999 " + std::string(kNoMatchingFileText)));
  EXPECT_EQ(ftp_.Mdel("[z"), 999);  // an ill-formed mask selects nothing
}

TEST_F(FtpSessionTest, MdelByRawFieldAndMputByCase) {
  LogIn();
  server_.ServeData("LIST", "one two three x.tmp\r\nfour five six y.tmp\r\n");
  server_.On("DELE", "250 Deleted.\r\n");
  ftp_.Params.Set("CUSTOMFILE", "Y");
  ftp_.Params.Set("NAMETOKEN", "4");
  EXPECT_LE(ftp_.Mdel("*.tmp"), 400);
  EXPECT_EQ(Sent("DELE"), std::vector<std::string>({"DELE x.tmp", "DELE y.tmp"}));

  dir_.Write("up.txt", "u");
  EXPECT_LE(ftp_.Mput("*.TXT"), 400);
  EXPECT_EQ(server_.ReceivedData("STOR up.txt"), "u");
  ftp_.Params.Set("CHECKCASE", "Y");
  EXPECT_EQ(ftp_.Mput("*.TXT"), 999);
}

// After a time-out the engine's request is ended (ABOR), so the next command is sent at once
// and gets its own reply, not the late one of the command that timed out.
TEST_F(FtpSessionTest, AfterATimeOutTheNextCommandWorks) {
  LogIn();
  server_.DelayReply("MKD", 800ms);
  server_.OnTransfer("RETR big", FakeTransfer().Stalled());
  ftp_.WaitTimeOut = 300;
  EXPECT_EQ(ftp_.MakeDir("new"), 999);
  EXPECT_EQ(LoggedWith("999 " + std::string(kTimeOutText)), 1u);
  EXPECT_EQ(Sent("ABOR").size(), 1u);
  EXPECT_EQ(ftp_.Cwd("pub"), 257);  // CWD, then PWD: the replies of this command
  EXPECT_EQ(ftp_.Download("big", ""), 999);
  EXPECT_EQ(LoggedWith("999 " + std::string(kTimeOutText)), 2u);
  EXPECT_EQ(Sent("ABOR").size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "big"));
  EXPECT_EQ(ftp_.Cwd("pub"), 257);
  EXPECT_TRUE(ftp_.IsLoggedIn());
}

// A server that answers neither the command nor ABOR is left: the next command fails at once
// without being sent, and a new login works.
TEST_F(FtpSessionTest, ASilentServerIsLeftAndANewLoginWorks) {
  LogIn();
  server_.On("CWD", FakeReply::Silence());
  server_.On("ABOR", FakeReply::Silence());
  ftp_.WaitTimeOut = 300;
  EXPECT_EQ(ftp_.Cwd("x"), 999);
  EXPECT_EQ(LoggedWith("No reply to ABOR: the control connection is closed"), 1u);
  EXPECT_FALSE(ftp_.IsLoggedIn());
  const size_t sent = server_.Commands().size();
  EXPECT_EQ(ftp_.MakeDir("y"), 999);
  EXPECT_TRUE(Logged("999 " + std::string(kNotLoggedInText)));
  EXPECT_EQ(server_.Commands().size(), sent);
  ftp_.WaitTimeOut = 10000;
  EXPECT_LE(ftp_.Login("user", "secret"), 400);
  EXPECT_TRUE(ftp_.IsLoggedIn());
  EXPECT_EQ(ftp_.FTPcmd("NOOP"), 200);
}

// The server resets the data connection as it refuses the file: its 550 is the result, and the
// session stays logged in.
TEST_F(FtpSessionTest, AResetRacingTheRefusalKeepsTheSession) {
  ftp_.Passive = true;
  LogIn();
  FakeTransfer refused = FakeTransfer::Sending("").CutAfter(0, true);
  refused.preliminary = FakeReply::Silence();
  refused.failed = FakeReply("550 No such file.\r\n").Delayed(200ms);
  server_.OnTransfer("RETR gone", refused);
  EXPECT_EQ(ftp_.Download("gone", ""), 550);
  EXPECT_TRUE(ftp_.IsLoggedIn());
  EXPECT_EQ(ftp_.Cwd("pub"), 257);
}

// The statistics line of a refused download counts that download, not the one before it.
TEST_F(FtpSessionTest, DownloadEndCountsOnlyThisTransfer) {
  LogIn();
  server_.ServeData("RETR a.txt", "12345");
  EXPECT_LE(ftp_.Download("a.txt", ""), 400);
  EXPECT_EQ(LoggedWith("Download End 5 Byte"), 1u);
  EXPECT_EQ(ftp_.Download("missing.txt", ""), 550);
  EXPECT_EQ(LoggedWith("Download End 0 Byte"), 1u);
  EXPECT_EQ(LoggedWith("Download End 5 Byte"), 1u);
}

}  // namespace
}  // namespace tarsil

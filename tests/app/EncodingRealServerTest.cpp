// End-to-end on the real servers: a UTF-8 script (with a byte-order mark and LF line ends) with
// Japanese names runs unattended with the option "文字コード" on UTF-8; the server stores the
// names in UTF-8, the local names come back right, the name with no CP932 form is named and the
// rest goes on, and the log and "Dir" files are UTF-8. Also what FEAT tells on each of the four.
// (The test names carry "RealServer" and the server's name, which gives them its fixture.)
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ScriptFile.h"
#include "platform/CodePage.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"
#include "platform/TextEncoding.h"
#include "session/FtpSession.h"
#include "support/Process.h"
#include "support/RealServers.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FindRealServer;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RealServer;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kNihon = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";  // 日本語.txt
const std::string kCafe = "caf\xC3\xA9.txt";
const std::string kListName = "\xE4\xB8\x80\xE8\xA6\xA7.txt";  // 一覧.txt

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

class EncodingRealServerTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EncodingRealServerTest, AUtf8ScriptWithJapaneseNames) {
  std::string error;
  std::optional<RealServer> server = FindRealServer(GetParam(), &error);
  ASSERT_TRUE(server) << error;
  TempDir dir;
  const std::string work = dir.str();
  fs::create_directory(dir.path() / "down");
  dir.Write(kNihon, "nihongo\r\n");
  dir.Write(kCafe, "cafe\r\n");
  dir.Write("plain.txt", "plain\r\n");
  const std::string folder = "enc-" + GetParam();
  const std::string log_file = work + "/job.log";
  SettingsStore store(work + "/settings.reg");
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
  store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file);
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "cb_passive", 1);
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "Timeout", 30);
  store.WriteString("\\SOFTWARE\\Tarsil\\Options", "TextEncoding", "UTF-8");
  const std::string script =
      "\xEF\xBB\xBF"
      "Open " +
      server->address + "\n" + "Login " + server->user + " " + server->password + "\n" +
      "if Error stop\n"
      "lcd " +
      work + "\n" +
      "Cd upload\n"
      "md " +
      folder + "\n" + "Cd " + folder + "\n" +
      "Binary\n"
      "Mput *.txt\n"
      "if Error Rem left out as it should\n"
      "Dir >" +
      kListName + "\n" +
      "lcd down\n"
      "Mget *.txt\n"
      "Get " +
      kNihon + " copy-" + kNihon + "\n" + "Bye\n";
  const std::string script_file = dir.Write("job.fcs", script);
  ProcessResult result = RunProcess({TARSIL_BINARY, "/auto" + script_file},
                                    {{"TARSIL_HOME", work}, {"TARSIL_HEADLESS", "1"}}, 90s);
  ASSERT_EQ(result.exit_code, 0) << result.err;

  // On the server's disk the name is UTF-8 and the file whole; the left-out name never went.
  const fs::path remote = fs::path(server->root) / "upload" / folder;
  EXPECT_EQ(TempDir::Read(remote / kNihon), "nihongo\r\n");
  EXPECT_EQ(TempDir::Read(remote / "plain.txt"), "plain\r\n");
  EXPECT_FALSE(fs::exists(remote / kCafe));
  // And back on the local disk under the same names.
  EXPECT_EQ(TempDir::Read(dir.path() / "down" / kNihon), "nihongo\r\n");
  EXPECT_EQ(TempDir::Read(dir.path() / "down" / ("copy-" + kNihon)), "nihongo\r\n");
  EXPECT_EQ(TempDir::Read(dir.path() / "down" / "plain.txt"), "plain\r\n");

  // The log file and the "Dir" file are UTF-8; the console shows the same text.
  const std::string log = TempDir::Read(log_file);
  EXPECT_TRUE(IsValidUtf8(log));
  const std::string left_out = "999 A local name has no CP932 form and was left out: " + kCafe;
  EXPECT_TRUE(Contains(log, left_out + "\r\n")) << log;
  EXPECT_TRUE(Contains(log, "if Error Rem left out as it should"));
  EXPECT_TRUE(Contains(log, "Mget *.txt"));
  EXPECT_TRUE(Contains(log, "Get " + kNihon));
  EXPECT_TRUE(Contains(result.out, left_out + "\n"));
  const std::string listing = TempDir::Read(dir.path() / kListName);
  EXPECT_TRUE(Contains(listing, kNihon + "\r\n")) << listing;

  // The script file is left as it was.
  EXPECT_EQ(TempDir::Read(script_file), script);
  std::error_code ignored;
  fs::remove_all(remote, ignored);
}

INSTANTIATE_TEST_SUITE_P(RealServer, EncodingRealServerTest,
                         ::testing::Values("pyftpdlib", "pureftpd", "proftpd"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// What AUTO makes of each server's FEAT reply.
class FeatRealServerTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FeatRealServerTest, AutoTurnsUtf8OnExactlyWhenFeatListsIt) {
  std::string error;
  std::optional<RealServer> server = FindRealServer(GetParam(), &error);
  ASSERT_TRUE(server) << error;
  PollEventLoop loop;
  FtpSession ftp(loop);
  ftp.WaitTimeOut = 20000;
  ftp.ServerCharsetOption = ServerCharset::kAuto;
  ASSERT_EQ(ftp.Connect(server->address, "", 0), 100);
  ASSERT_LE(ftp.Login(server->user, server->password), 400);
  // vsftpd answers OPTS UTF8 ON but does not list UTF8 in FEAT; the other three list it.
  EXPECT_EQ(ftp.Ftp().Utf8Names(), GetParam() != "vsftpd");
  ftp.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(RealServer, FeatRealServerTest,
                         ::testing::Values("vsftpd", "pureftpd", "proftpd", "pyftpdlib"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace tarsil

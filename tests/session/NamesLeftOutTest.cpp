// Names with no CP932 form are never dropped silently: Mput, Mget, Mdel and Dir write one
// "999 " line naming each (exact in UTF-8, "?" in CP932), go on with the others and end with 999.
// Also the session's choice of the server's text (setparam SERVERCHARSET over the option).
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PollEventLoop.h"
#include "session/FtpSession.h"
#include "session/SessionMessages.h"
#include "support/FakeFtpServer.h"
#include "support/SessionHarness.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::TempDir;
namespace fs = std::filesystem;

const std::string kCafe = "caf\xC3\xA9.txt";        // no CP932 form
const std::string kSmile = "\xF0\x9F\x98\x80.txt";  // an emoji: none either
const std::string kNihonUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
const std::string kNihonCp932 = "\x93\xfa\x96\x7b.txt";

// A folder with a name CP932 lacks: no file to take, so the multi-file commands pass it by.
const std::string kFolderLine = "drwxr-xr-x   2 ftp ftp     4096 Jan 02  2020 r\xC3\xA9p";

std::string Line(const std::string& name) {
  return "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 " + name;
}

class NamesLeftOutTest : public ::tarsil::testing::SessionTest {
 protected:
  // The "999 " lines naming something, as UTF-8 and as the CP932 text files get.
  std::vector<std::string> LeftOut(bool utf8) const {
    std::vector<std::string> found;
    for (const LogLine& line : log_.Lines()) {
      if (!line.utf8.empty()) found.push_back(utf8 ? line.utf8 : line.text);
    }
    return found;
  }
};

TEST_F(NamesLeftOutTest, MputNamesWhatItCannotSendAndSendsTheRest) {
  dir_.Write("a.txt", "a");
  dir_.Write(kNihonUtf8, "n");
  dir_.Write(kCafe, "c");
  dir_.Write(kSmile, "s");
  dir_.Write("other.doc", "o");
  LogIn();
  EXPECT_EQ(ftp_.Mput("*.txt"), 999);
  const std::string local(kLocalNameLeftOutText);
  EXPECT_EQ(LeftOut(true),
            std::vector<std::string>({"999 " + local + kCafe, "999 " + local + kSmile}));
  EXPECT_EQ(LeftOut(false),
            std::vector<std::string>({"999 " + local + "caf?.txt", "999 " + local + "?.txt"}));
  EXPECT_EQ(server_.ReceivedData("STOR a.txt"), "a");
  EXPECT_EQ(server_.ReceivedData("STOR " + kNihonCp932), "n");  // CP932 on the wire by default
  EXPECT_EQ(Sent("STOR").size(), 2u);
  // Nothing chosen by the mask is named.
  log_.Clear();
  EXPECT_LE(ftp_.Mput("*.doc"), 400);
  EXPECT_TRUE(LeftOut(true).empty());
}

TEST_F(NamesLeftOutTest, MgetMdelAndDirOnAUtf8Server) {
  server_.ServeData("LIST", Line(kNihonUtf8) + "\r\n" + Line(kCafe) + "\r\n" + Line("b.txt") +
                                "\r\n" + Line("x.doc") + "\r\n" + kFolderLine + "\r\n");
  server_.ServeData("RETR " + kNihonUtf8, "nihon");
  server_.ServeData("RETR b.txt", "bee");
  server_.ServeData("RETR x.doc", "doc");
  server_.On("DELE", "250 Deleted.\r\n");
  ftp_.ServerCharsetOption = ServerCharset::kCp932;
  ftp_.Params.Set("SERVERCHARSET", "UTF-8");  // the script's word wins over the option
  LogIn();
  EXPECT_TRUE(ftp_.Ftp().Utf8Names());
  for (const std::string& c : server_.Commands()) EXPECT_NE(c, "FEAT");

  const std::string server_text(kServerNameLeftOutText);
  EXPECT_EQ(ftp_.Mget("*.txt"), 999);
  EXPECT_EQ(TempDir::Read(dir_.path() / kNihonUtf8), "nihon");  // the right name on disk
  EXPECT_EQ(TempDir::Read(dir_.path() / "b.txt"), "bee");
  EXPECT_EQ(Sent("RETR"), std::vector<std::string>({"RETR " + kNihonUtf8, "RETR b.txt"}));
  EXPECT_EQ(LeftOut(true), std::vector<std::string>({"999 " + server_text + Line(kCafe)}));
  EXPECT_EQ(LeftOut(false), std::vector<std::string>({"999 " + server_text + Line("caf?.txt")}));

  log_.Clear();
  EXPECT_LE(ftp_.Mget("*.doc"), 400);  // the mask does not choose it: not named
  EXPECT_TRUE(LeftOut(true).empty());

  log_.Clear();
  ftp_.Params.Set("CUSTOMFILE", "Y");  // names from the raw lines: the lost one is still named
  EXPECT_EQ(ftp_.Mdel("*"), 999);
  EXPECT_EQ(Sent("DELE"),
            std::vector<std::string>({"DELE " + kNihonUtf8, "DELE b.txt", "DELE x.doc"}));
  EXPECT_EQ(LeftOut(true).size(), 1u);

  log_.Clear();
  std::string listing;
  EXPECT_EQ(ftp_.Dir("", listing), 999);
  EXPECT_NE(listing.find(Line("caf?.txt") + "\r\n"), std::string::npos);
  EXPECT_NE(listing.find(Line(kNihonCp932) + "\r\n"), std::string::npos);
  EXPECT_EQ(LeftOut(true).size(), 2u);  // Dir names the folder too
}

TEST_F(NamesLeftOutTest, TheOptionAloneDecidesWithoutAParameterAndCp932SendsNoFeat) {
  server_.On("FEAT", "211-Features:\r\n UTF8\r\n211 End\r\n");
  ftp_.ServerCharsetOption = ServerCharset::kAuto;
  ftp_.Params.Set("SERVERCHARSET", "CP932");
  LogIn();
  EXPECT_FALSE(ftp_.Ftp().Utf8Names());
  EXPECT_TRUE(Sent("FEAT").empty());
  ftp_.Params.Clear();
  ftp_.Disconnect();
  LogIn();
  EXPECT_TRUE(ftp_.Ftp().Utf8Names());
  EXPECT_EQ(Sent("FEAT").size(), 1u);
}

}  // namespace
}  // namespace tarsil

// Which text a server's names are in: the FEAT/OPTS step after the login, and the exact bytes on
// the wire and in the engine with AUTO, UTF-8 and CP932 against the scripted fake server.
#include "ftp/FtpCharset.h"

#include <gtest/gtest.h>

#include "TransferHarness.h"
#include "platform/CodePage.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

// 日本 and 日本語.txt in CP932 and UTF-8; café.txt has no CP932 form.
const std::string kDirCp932 = "\x93\xfa\x96\x7b";
const std::string kDirUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC";
const std::string kFileCp932 = "\x93\xfa\x96\x7b\x8c\xea.txt";
const std::string kFileUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";
const std::string kCafeUtf8 = "caf\xC3\xA9.txt";

const char* kFeatUtf8 = "211-Features:\r\n EPSV\r\n UTF8\r\n211 End\r\n";
const char* kFeatPlain = "211-Features:\r\n EPSV\r\n SIZE\r\n211 End\r\n";

std::string UnixText(const std::string& name) {
  return "-rw-r--r--   1 ftp      ftp             5 Jan 01  2020 " + name;
}
std::string UnixLine(const std::string& name) { return UnixText(name) + "\r\n"; }

Strings Names(const RemoteEntryList& list) {
  Strings names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.GetEntry(i).FileName);
  return names;
}

TEST(FtpCharsetRulesTest, FeatRepliesAndNames) {
  EXPECT_TRUE(FeatListsUtf8({"211-Features:", " UTF8", "211 End"}));
  EXPECT_TRUE(FeatListsUtf8({"211-Extensions supported:", " utf8 ", " EPRT", "211 End."}));
  EXPECT_FALSE(FeatListsUtf8({"211-Features:", " LANG C.UTF-8*", " UTF8X", "211 End"}));
  EXPECT_FALSE(FeatListsUtf8({"211 UTF8"}));  // a one-line reply lists nothing
  EXPECT_FALSE(FeatListsUtf8({"211-UTF8", "211 End"}));
  EXPECT_FALSE(FeatListsUtf8({}));
  EXPECT_EQ(ParseServerCharset("auto"), ServerCharset::kAuto);
  EXPECT_EQ(ParseServerCharset("UTF-8"), ServerCharset::kUtf8);
  EXPECT_EQ(ParseServerCharset("CP932"), ServerCharset::kCp932);
  EXPECT_FALSE(ParseServerCharset("EUC-JP"));
  EXPECT_FALSE(ParseServerCharset(""));
}

TEST(FtpCharsetRulesTest, ASequenceCutBetweenPiecesIsFinishedWithTheNext) {
  const std::string text = "257 \"/" + kDirUtf8 + "\"\r\n";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    Utf8PieceDecoder decoder;
    std::string joined = decoder.Take(text.substr(0, cut));
    joined += decoder.Take(text.substr(cut));
    EXPECT_EQ(joined, "257 \"/" + kDirCp932 + "\"\r\n") << "cut at " << cut;
  }
}

class FtpCharsetTest : public TransferTest {
 protected:
  void LogInWith(FakeFtpServer& server, ServerCharset charset) {
    ftp_->SetServerNameCharset(charset);
    LogIn(server, true);
  }
};

TEST_F(FtpCharsetTest, AutoAsksAndThenSpeaksUtf8BothWays) {
  FakeFtpServer server;
  server.On("FEAT", kFeatUtf8);  // OPTS is not scripted: refused, as some UTF-8 servers do
  server.On("PWD", "257 \"/" + kDirUtf8 + "\" is the current directory\r\n");
  server.ServeData("LIST", UnixLine(kFileUtf8) + UnixLine(kCafeUtf8) + UnixLine("plain.txt"));
  LogInWith(server, ServerCharset::kAuto);
  const Strings login = server.Commands();
  ASSERT_GE(login.size(), 5u);
  EXPECT_EQ(login[2], "FEAT");  // after USER and PASS, before the server type
  EXPECT_EQ(login[3], "OPTS UTF8 ON");
  EXPECT_EQ(login[4], "SYST");
  EXPECT_TRUE(ftp_->Utf8Names());
  EXPECT_EQ(ftp_->CurrentDirectory(), "/" + kDirCp932);

  ASSERT_TRUE(Run([&] { ftp_->ChangeDir(kDirCp932); }));
  EXPECT_TRUE(Has(server.Commands(), "CWD " + kDirUtf8));  // the wire carries UTF-8
  EXPECT_TRUE(Has(Commands(), "CWD " + kDirCp932));        // the log keeps CP932

  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(Names(ftp_->CurrentFiles()), Strings({kFileCp932, "plain.txt"}));
  ASSERT_EQ(ftp_->LostListingLines().size(), 1u);
  EXPECT_EQ(ftp_->LostListingLines()[0].raw_index, 1u);
  EXPECT_EQ(ftp_->LostListingLines()[0].utf8, UnixText(kCafeUtf8));
  EXPECT_EQ(ftp_->RawListing()[1], Utf8ToCp932(UnixText(kCafeUtf8)));
  EXPECT_NE(ftp_->RawListing()[1].find("caf?.txt"), std::string::npos);
}

TEST_F(FtpCharsetTest, AutoWithoutUtf8InFeatChangesNothing) {
  FakeFtpServer server;
  server.On("FEAT", kFeatPlain);
  LogInWith(server, ServerCharset::kAuto);
  EXPECT_FALSE(ftp_->Utf8Names());
  ASSERT_TRUE(Run([&] { ftp_->ChangeDir(kDirCp932); }));
  EXPECT_TRUE(Has(server.Commands(), "CWD " + kDirCp932));
  for (const std::string& command : server.Commands()) EXPECT_NE(command, "OPTS UTF8 ON");
}

TEST_F(FtpCharsetTest, Cp932IsTodaysExchangeAndUtf8DoesNotAsk) {
  for (const ServerCharset charset : {ServerCharset::kCp932, ServerCharset::kUtf8}) {
    SCOPED_TRACE(std::string(ServerCharsetName(charset)));
    FakeFtpServer server;
    server.On("FEAT", kFeatUtf8);
    server.ServeData("RETR " + kFileUtf8, "utf-8 name");
    server.ServeData("RETR " + kFileCp932, "cp932 name");
    LogInWith(server, charset);
    EXPECT_EQ(server.Commands(), Strings({"USER anonymous", "PASS tarsil@example.com", "SYST",
                                          "REST 100", "REST 0", "PWD"}));
    const std::string local = dir_.str() + "/got.txt";
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile(kFileCp932, local); }));
    const bool utf8 = charset == ServerCharset::kUtf8;
    EXPECT_EQ(server.Commands().back(), "RETR " + (utf8 ? kFileUtf8 : kFileCp932));
    EXPECT_EQ(TempDir::Read(local), utf8 ? "utf-8 name" : "cp932 name");
    Renew();
  }
}

}  // namespace
}  // namespace tarsil::testing

#include "ftp/FtpText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp/FtpCodes.h"

namespace tarsil {
namespace {

using namespace std::string_literals;

TEST(FtpTextTest, SecretsAreMaskedForListeners) {
  struct Row {
    std::string line, shown;
  };
  const std::vector<Row> rows = {
      {"PASS s3cret\r\n", "PASS (want to know) :-P\r\n"},
      {"PASS \r\n", "PASS (want to know) :-P\r\n"},
      {"pass s3cret\r\n", "PASS (want to know) :-P\r\n"},
      {"ACCT budget-42\r\n", "ACCT (want to know) :-P\r\n"},
      {"Acct budget-42\r\n", "ACCT (want to know) :-P\r\n"},
      {"USER anonymous\r\n", "USER anonymous\r\n"},
      {"PASV\r\n", "PASV\r\n"},
      {"PASSX y\r\n", "PASSX y\r\n"},
      // A raw command may carry blanks before the word or a tab after it.
      {" PASS s3cret\r\n", "PASS (want to know) :-P\r\n"},
      {"\tpass\ts3cret\r\n", "PASS (want to know) :-P\r\n"},
      {"  ACCT\tx\r\n", "ACCT (want to know) :-P\r\n"},
      {"PASS\r\n", "PASS\r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(MaskCommandLine(row.line), row.shown) << row.line;
}

TEST(FtpTextTest, QuotedCommandsShowTheSecretMasked) {
  EXPECT_EQ(MaskCommandSecret("PASS s3cret"), "PASS ********");
  EXPECT_EQ(MaskCommandSecret("  pass\ts3cret more"), "  pass\t********");
  EXPECT_EQ(MaskCommandSecret("ACCT a"), "ACCT ********");
  EXPECT_EQ(MaskCommandSecret("PASS "), "PASS ");
  EXPECT_EQ(MaskCommandSecret("PASS"), "PASS");
  EXPECT_EQ(MaskCommandSecret("SITE PASS x"), "SITE PASS x");
  const CommandSecret secret = FindCommandSecret(" acct \x82\xA0");
  EXPECT_TRUE(secret.found);
  EXPECT_TRUE(secret.account);
  EXPECT_EQ(secret.begin, 6u);
  EXPECT_EQ(secret.end, 8u);
}

TEST(FtpTextTest, LineBreaksAndNulAreCaught) {
  EXPECT_FALSE(HoldsLineBreakOrNul("CWD /pub/\x95\x5c dir\t1"));
  EXPECT_TRUE(HoldsLineBreakOrNul("CWD a\r\nDELE b"));
  EXPECT_TRUE(HoldsLineBreakOrNul("CWD a\nDELE b"));
  EXPECT_TRUE(HoldsLineBreakOrNul("CWD a\r"));
  EXPECT_TRUE(HoldsLineBreakOrNul("CWD a\0b"s));
}

TEST(FtpTextTest, FirstLoginCommandOfEachProxyForm) {
  struct Row {
    FtpProxyType type;
    uint16_t port;
    std::string command;
  };
  const std::vector<Row> rows = {
      {proxyNone, 21, "USER alice"},
      {proxyNone, 2121, "USER alice"},
      {proxyHost, 2121, "HOST ftp.example"},
      {proxyHostUser, 21, "USER ftp.example!alice"},
      {proxyHostUser, 2121, "USER ftp.example:2121!alice"},
      {proxyOpen, 2121, "OPEN ftp.example"},
      {proxySite, 2121, "USER gatekeeper"},
      {proxyUserSite, 21, "USER alice@ftp.example"},
      {proxyUserSite, 2121, "USER alice@ftp.example:2121"},
  };
  for (const Row& row : rows) {
    const LoginTarget target{"ftp.example", row.port, "alice", "gatekeeper"};
    EXPECT_EQ(FirstLoginCommand(row.type, target), row.command);
  }
}

TEST(FtpTextTest, ServerTypeFromSystReply) {
  struct Row {
    std::string reply;
    FtpServerType type;
  };
  const std::vector<Row> rows = {
      {"215 UNIX Type: L8", ftpstUNIX},
      {"215 Windows_NT", ftpstDefault},
      {"215 WINDWOS_NT", ftpstMSFTP},
      {"500 SYST not understood", ftpstDefault},
      {"530 Please login with USER and PASS.", ftpstDefault},
      {"215 unix type: l8 (BSD)", ftpstUNIX},  // the first keyword in order decides
      {"215 NetBSD", ftpstBSD},
      {"215 SunOS 5", ftpstSunOS},
      {"215 CLIX", ftpstClix},
      {"215 ULTRIX", ftpstULTRIX},
      {"215 MVS is the operating system", ftpstMVS},
      {"215 QVT/Net", ftpstQVT},
      {"215 NCSA", ftpstNCSA},
      {"215 WFTPD", ftpstWFTPD},
      {"215 Chameleon", ftpstChameleon},
      {"215 VMS MultiNet V4.4", ftpstVmsMultinet},
      {"215 VMS", ftpstVmsUcx},
      {"215 VM/VPS", ftpstVMVPS},
      {"215 VM is the operating system", ftpstVM},
      {"215 OS/2", ftpstDefault},
      {"215", ftpstDefault},
      {"215 " + std::string(96, ' ') + "UNIX", ftpstDefault},  // beyond the 99 characters read
      {"215 " + std::string(95, ' ') + "UNIX", ftpstUNIX},
  };
  for (const Row& row : rows) EXPECT_EQ(ServerTypeFromSyst(row.reply), row.type) << row.reply;
}

TEST(FtpTextTest, NetTermGreeting) {
  EXPECT_TRUE(IsNetTermGreeting("220 NetTerm FTP server ready"));
  EXPECT_FALSE(IsNetTermGreeting("220 netterm ftp server ready"));
  EXPECT_FALSE(IsNetTermGreeting("220 (vsFTPd 3.0.3)"));
}

TEST(FtpTextTest, QuotedPathAndDrivePaths) {
  EXPECT_EQ(QuotedPath("257 \"/home/alice\" is the current directory"), "/home/alice");
  EXPECT_EQ(QuotedPath("257 \"\" empty"), "");
  EXPECT_EQ(QuotedPath("257 \"/one quote only"), "");
  EXPECT_EQ(QuotedPath("250 CWD command successful."), "");
  EXPECT_EQ(QuotedPath("257 \"a\"b\"c\""), "a");

  EXPECT_EQ(NormaliseDrivePath("E:\\pub"), "/pub");
  EXPECT_EQ(NormaliseDrivePath("/E:/pub"), "/pub");
  EXPECT_EQ(NormaliseDrivePath("C:\\a\\b"), "/a/b");
  EXPECT_EQ(NormaliseDrivePath("/"), "");
  EXPECT_EQ(NormaliseDrivePath("E"), "");
  // The second byte of a two-byte character may be 0x5C: it is no separator.
  EXPECT_EQ(NormaliseDrivePath("D:\\\x95\x5c\\x"), "/\x95\x5c/x");
}

TEST(FtpCodesTest, SocketErrorsMapToMembersAndTexts) {
  struct Row {
    uint16_t code;
    FtpError member;
    std::string text;
  };
  const std::vector<Row> rows = {
      {10050, ftpErrorNetworkDown, "Network down"},
      {10013, ftpErrorInvalidAddress, "Invalid address specified"},
      {10022, ftpErrorInternal, ""},
      {10052, ftpErrorWinsock, "General Winsock Error"},
      {10055, ftpErrorWinsock, "General Winsock Error"},
      {10053, ftpErrorConnectionAborted, "Connection aborted due to timeout or other failure"},
      {10054, ftpErrorConnectionReset, "Connection reset by remote side"},
      {10060, ftpErrorTimedOut, "Connection timed out"},
      {10024, ftpErrorOutOfSockets, "Out of sockets"},
      {10051, ftpErrorNetworkUnreachable, "Network unreachable"},
      {10049, ftpErrorAddressNotAvailable, "Address not available"},
      {10061, ftpErrorConnectionRefused, "Connection Refused"},
      {11001, ftpErrorResolve, "Address resolution error"},
      {11004, ftpErrorResolve, "Address resolution error"},
      {10065, ftpErrorHostUnreachable, "Host unreachable"},
      {10048, ftpErrorInternal,
       "Unexpected internal error in component (WinSock Error Code: 10048)"},
      {11005, ftpErrorInternal,
       "Unexpected internal error in component (WinSock Error Code: 11005)"},
  };
  for (const Row& row : rows) {
    const std::optional<FtpFailure> failure = FtpFailureForSocketError(row.code);
    ASSERT_TRUE(failure.has_value()) << row.code;
    EXPECT_EQ(failure->member, row.member) << row.code;
    EXPECT_EQ(failure->text, row.text) << row.code;
  }
  for (uint16_t none : {0, 10038, 10057}) EXPECT_FALSE(FtpFailureForSocketError(none)) << none;
}

TEST(FtpCodesTest, DefaultTextsAndNames) {
  EXPECT_EQ(FtpInfoDefaultText(ftpInfoDisconnected), "Not connected to the server");
  EXPECT_EQ(FtpInfoDefaultText(ftpInfoBusy), "The component is busy doing something");
  EXPECT_EQ(FtpInfoDefaultText(ftpInfoLoggedIn), "Logged in");
  EXPECT_EQ(FtpInfoDefaultText(ftpInfoResumeNotSupported),
            "This site cannot resume broken downloads/uploads");
  EXPECT_EQ(FtpInfoDefaultText(ftpInfoReply), "");
  EXPECT_STREQ(FtpInfoName(ftpInfoRetryFinished), "ftpInfoRetryFinished");
  EXPECT_STREQ(FtpErrorName(ftpErrorAccessDenied), "ftpErrorAccessDenied");
  EXPECT_STREQ(FtpInfoName(static_cast<FtpInfo>(9)), "");
  EXPECT_EQ(static_cast<int>(ftpErrorAccessDenied), 29);
  EXPECT_EQ(static_cast<int>(ftpInfoRetryFinished), 20);
}

}  // namespace
}  // namespace tarsil

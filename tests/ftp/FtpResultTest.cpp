// The result a request of the engine ends with: the reply code read from the reply line (also for
// odd lines), and the code, error and text after a request that succeeded and one that failed.
#include <gtest/gtest.h>

#include <string>

#include "TransferHarness.h"
#include "ftp/FtpResult.h"

namespace tarsil::testing {
namespace {

TEST(FtpResultTest, ReplyCodeIsTheFirstThreeDigits) {
  EXPECT_EQ(ReplyCodeOf("226 Transfer complete."), 226);
  EXPECT_EQ(ReplyCodeOf("550-first line of several"), 550);
  EXPECT_EQ(ReplyCodeOf("1234 more digits than a code"), 123);
  EXPECT_EQ(ReplyCodeOf("299"), 299);
  EXPECT_EQ(ReplyCodeOf("42"), 42);  // a short line of digits gives what it holds
  EXPECT_EQ(ReplyCodeOf(""), 0);
  EXPECT_EQ(ReplyCodeOf("2x6 not a code"), 0);
  EXPECT_EQ(ReplyCodeOf(" 226 a blank first"), 0);
  EXPECT_EQ(ReplyCodeOf("426"), 426);
}

TEST_F(TransferTest, TheReadyNoticeTellsHowTheRequestEnded) {
  FakeFtpServer server;
  server.On("CWD", "250 Directory changed to \"/pub\".\r\n");
  server.On("DELE", "550 No such file.\r\n");
  LogIn(server);
  FtpResult at_ready;
  const NotifyEvent recorded = ftp_->OnFtpReady;
  ftp_->OnFtpReady = [&at_ready, recorded](FtpEngine& engine) {
    at_ready = engine.Result();
    recorded(engine);
  };

  ASSERT_TRUE(Run([&] { ftp_->ChangeDir("pub"); }));
  EXPECT_EQ(at_ready.reply_code, 250);
  EXPECT_EQ(at_ready.error, ftpErrorNone);
  EXPECT_EQ(at_ready.reply, "250 Directory changed to \"/pub\".");

  ASSERT_TRUE(Run([&] { ftp_->DeleteRemoteFile("gone.txt"); }));
  EXPECT_EQ(at_ready.reply_code, 550);
  EXPECT_EQ(at_ready.error, ftpErrorAccessDenied);
  EXPECT_EQ(at_ready.reply, "550 No such file.");
  // Nothing has happened since: the result reads the same afterwards.
  EXPECT_EQ(ftp_->Result().reply_code, 550);
  EXPECT_EQ(ftp_->Result().reply, ftp_->LastReply());
  // The error stays the request's however the control connection is read after it.
  loop_.ProcessMessages();
  EXPECT_EQ(ftp_->Result().error, ftpErrorAccessDenied);
  EXPECT_EQ(ftp_->LastFtpError(), ftpErrorAccessDenied);
}

}  // namespace
}  // namespace tarsil::testing

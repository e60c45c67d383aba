// Data connections that fail while the control connection is sound, against the scripted fake
// server: a reset racing the server's refusal, a reset in the middle of a download or an upload,
// a passive connection that is refused, NUL bytes in replies and listings, and CancelRequest
// for a request nobody waits for any more.
// Each request ends, and the control connection stays unless the server goes silent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TransferHarness.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kDenied = "error ftpErrorAccessDenied Access denied or file not found";
const std::string kDataFailed =
    "error ftpErrorDataConnection The data connection failed before the transfer was complete";

class FtpRecoveryTest : public TransferTest {
 protected:
  // The connection still works: a CWD goes out and is answered.
  void ExpectConnectionWorks() {
    ASSERT_TRUE(ftp_->Connected());
    Forget();
    ASSERT_TRUE(Run([&] { ftp_->ChangeDir("/pub"); }));
    EXPECT_EQ(Events(), (Strings{"busy", "ready", "changed"}));
    EXPECT_EQ(Commands(), (Strings{"CWD /pub", "PWD"}));
    EXPECT_EQ(ftp_->LastReply(), "257 \"/\"");
  }
};

// The server accepts the passive connection and resets it as it refuses the file (one server
// does this for a missing file): whichever arrives first, the refusal decides.
TEST_F(FtpRecoveryTest, AResetRacingTheRefusalLeavesTheConnection) {
  for (const int delay_ms : {0, 200}) {
    SCOPED_TRACE(delay_ms);
    FakeFtpServer server;
    FakeTransfer refused = FakeTransfer::Sending("").CutAfter(0, true);
    refused.preliminary = FakeReply::Silence();
    refused.failed =
        FakeReply("550 No such file.\r\n").Delayed(std::chrono::milliseconds(delay_ms));
    server.OnTransfer("RETR gone", refused);
    server.OnTransfer("LIST gone", refused);
    LogIn(server, true);
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("gone", dir_.str() + "/gone"); }));
    EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
    EXPECT_TRUE(Has(Events(), kDenied));
    EXPECT_EQ(Events().back(), "received");
    EXPECT_EQ(ftp_->LastReply(), "550 No such file.");
    EXPECT_EQ(ftp_->BytesTransferred(), 0);
    ExpectConnectionWorks();

    Forget();
    ftp_->SetFileMask("gone");
    ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
    EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
    EXPECT_TRUE(Has(Events(), kDenied));
    EXPECT_EQ(Events().back(), "listed");
    ExpectConnectionWorks();
    Renew();
  }
}

TEST_F(FtpRecoveryTest, AResetInTheMiddleFailsOnlyTheTransfer) {
  struct Case {
    const char* name;
    bool upload;
    FakeReply reply;    // the server's final reply after the reset
    std::string error;  // the one error raised
  };
  const Case cases[] = {
      {"download, 226 all the same", false, "226 Transfer complete.\r\n", kDataFailed},
      {"upload, 426", true, "426 Connection reset.\r\n", kDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    FakeTransfer cut = FakeTransfer::Sending(AllByteValues(1 << 20)).CutAfter(65536, true);
    if (c.upload) cut = FakeTransfer().CutAfter(65536, true);
    cut.failed = FakeReply(c.reply).Delayed(std::chrono::milliseconds(300));
    server.OnTransfer(c.upload ? "STOR big" : "RETR big", cut);
    LogIn(server, true);
    if (c.upload) {
      const std::string local = dir_.Write("big", AllByteValues(8 << 20));
      ASSERT_TRUE(Run([&] { ftp_->StoreFile(local, "big"); }));
    } else {
      ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("big", dir_.str() + "/big"); }));
    }
    EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
    EXPECT_TRUE(Has(Events(), c.error));
    EXPECT_EQ(Events().back(), c.upload ? "stored" : "received");
    ExpectConnectionWorks();
    Renew();
  }
}

// After a reset the server's reply is awaited for a bounded time, then the transfer is aborted.
TEST_F(FtpRecoveryTest, AResetWithoutAReplyIsAbortedInTime) {
  FakeFtpServer server;
  FakeTransfer cut = FakeTransfer::Sending(AllByteValues(1 << 20)).CutAfter(65536, true);
  cut.failed = FakeReply::Silence();
  server.OnTransfer("RETR big", cut);
  server.On("ABOR", "426 Aborted.\r\n225 ABOR command successful.\r\n");
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("big", dir_.str() + "/big"); }, 15s));
  EXPECT_EQ(Commands().back(), "ABOR");
  EXPECT_EQ(recorder_.CountPrefix("error"), 2u);
  EXPECT_TRUE(Has(Events(), kDataFailed));
  EXPECT_TRUE(Has(Events(), kDenied));
  EXPECT_EQ(ftp_->LastReply(), "426 Aborted.");
  EXPECT_EQ(Events().back(), "received");
  ExpectConnectionWorks();
}

TEST_F(FtpRecoveryTest, ARefusedPassiveConnectionEndsTheRequest) {
  FakeFtpServer server;
  server.On("PASV", "227 Entering Passive Mode (127,0,0,1,0,1).\r\n");  // nobody listens there
  server.SetDataConnectLimit(std::chrono::milliseconds(300));
  server.ServeData("RETR a.bin", "data");
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", dir_.str() + "/a.bin"); }));
  // Refused at once, before RETR; or later, when the server's 425 decides.
  EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
  if (Commands().back() == "RETR a.bin") {
    EXPECT_TRUE(Has(Events(), kDenied));
    EXPECT_EQ(ftp_->LastReply().substr(0, 4), "425 ");
  } else {
    EXPECT_EQ(Commands(), (Strings{"TYPE I", "PASV"}));
    EXPECT_TRUE(Has(Events(), kDataFailed));
  }
  EXPECT_EQ(Events().back(), "received");
  ExpectConnectionWorks();
}

// A NUL byte is dropped by itself: the rest of the reply or of the listing block stays.
TEST_F(FtpRecoveryTest, NulBytesAreDroppedNotTheTextAfterThem) {
  FakeFtpServer server;
  using namespace std::string_literals;
  FakeTransfer listing = FakeTransfer::Sending(
      "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 a\0.txt\r\n"s
      "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 b.txt\r\n"
      "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 c.txt\r\n");
  listing.complete = "226 Directory\0 send OK.\r\n"s;
  server.OnTransfer("LIST", listing);
  server.On("SITE X", "200-first\r\n200 \0done\r\n"s);
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(ftp_->LastReply(), "226 Directory send OK.");
  ASSERT_EQ(ftp_->CurrentFiles().Count(), 3);
  EXPECT_EQ(ftp_->CurrentFiles().GetEntry(0).FileName, "a.txt");
  EXPECT_EQ(ftp_->CurrentFiles().GetEntry(2).FileName, "c.txt");
  ASSERT_TRUE(Run([&] { ftp_->SendRawCommand("SITE X"); }));
  EXPECT_EQ(ftp_->LastReply(), "200 done");
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
}

TEST_F(FtpRecoveryTest, CancelledRequestsEndOnTheSameConnection) {
  struct Case {
    const char* name;
    std::function<void(FakeFtpServer&)> script;
    std::function<void(FtpEngine&)> request;
    std::string last_command;
  };
  const Case cases[] = {
      {"a command answered late",
       [](FakeFtpServer& s) { s.DelayReply("MKD", std::chrono::milliseconds(600)); },
       [](FtpEngine& f) { f.CreateDir("new"); }, "MKD new"},
      {"a stalled download",
       [](FakeFtpServer& s) { s.OnTransfer("RETR big", FakeTransfer().Stalled()); },
       [this](FtpEngine& f) { f.RetrieveFile("big", dir_.str() + "/big"); }, "RETR big"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    c.script(server);
    LogIn(server, true);
    c.request(*ftp_);
    ASSERT_TRUE(RunUntil([&] {
      const Strings sent = server.Commands();
      return !sent.empty() && sent.back() == c.last_command;
    }));
    ASSERT_TRUE(Run([&] { ftp_->CancelRequest(); }));
    EXPECT_EQ(Commands().back(), "ABOR");
    EXPECT_TRUE(server.WaitUntil([&] { return server.UrgentData() == "\xF2"; }, 5s));
    loop_.ProcessMessages();
    EXPECT_FALSE(ftp_->Busy());
    ExpectConnectionWorks();
    Renew();
  }
}

TEST_F(FtpRecoveryTest, ASilentServerLosesTheConnectionAfterCancel) {
  FakeFtpServer server;
  server.On("MKD", FakeReply::Silence());
  server.On("ABOR", FakeReply::Silence());
  LogIn(server, true);
  ftp_->CreateDir("new");
  ASSERT_TRUE(server.WaitForCommand("MKD new", 5s));
  ftp_->CancelRequest();
  ASSERT_TRUE(RunUntilQuiet(10s));
  EXPECT_EQ(Commands().back(), "ABOR");
  EXPECT_TRUE(Has(Events(),
                  "error ftpErrorTimedOut No reply to ABOR: the control connection is "
                  "closed"));
  EXPECT_FALSE(ftp_->Connected());
  EXPECT_FALSE(ftp_->Busy());
  EXPECT_TRUE(server.WaitForConnectionsClosed(1, 5s));
  // Nothing is in progress any more: cancelling again does nothing.
  Forget();
  ftp_->CancelRequest();
  loop_.ProcessMessages();
  EXPECT_TRUE(Events().empty());
}

}  // namespace
}  // namespace tarsil::testing

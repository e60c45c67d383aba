// Transfers that go wrong, against the scripted fake server: every refused step, a PASV reply
// that is malformed or names another host, an active connection from another address, a data
// connection reset in the middle, local files that cannot be created or written, and ABOR during
// a download and an upload. Each request still ends with its ready notice and completion event.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TransferHarness.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kRemote = AllByteValues(100000);

class FtpTransferFaultTest : public TransferTest {
 protected:
  std::string Upload(const std::string& bytes) { return dir_.Write("up.bin", bytes); }
};

TEST_F(FtpTransferFaultTest, RefusedStepsEndTheRequest) {
  const std::string denied = "error ftpErrorAccessDenied Access denied or file not found";
  const std::string failed = "error ftpErrorCommandFailed ";
  struct Case {
    const char* name;
    bool passive;
    bool upload;
    const char* pattern;
    const char* reply;
    Strings commands;
    std::string error;
  };
  const Case cases[] = {
      {"TYPE", true, false, "TYPE", "504 No.\r\n", {"TYPE I"}, failed},
      {"PASV", true, false, "PASV", "500 No.\r\n", {"TYPE I", "PASV"}, failed},
      {"PORT", false, false, "PORT", "500 No.\r\n", {"TYPE I", "PORT"}, failed},
      {"PASV malformed",
       true,
       false,
       "PASV",
       "227 Entering Passive Mode (127,0,0,1,300,2).\r\n",
       {"TYPE I", "PASV"},
       failed + "PASV reply without six numbers of 0 to 255 in parentheses"},
      {"RETR",
       true,
       false,
       "RETR",
       "550 No such file.\r\n",
       {"TYPE I", "PASV", "RETR a.bin"},
       denied},
      {"STOR",
       false,
       true,
       "STOR",
       "553 No.\r\n",
       {"TYPE I", "SIZE up.bin", "PORT", "STOR up.bin"},
       denied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.On(c.pattern, c.reply);
    LogIn(server, c.passive);
    if (c.upload) {
      ASSERT_TRUE(Run([&] { ftp_->StoreFile(Upload(kRemote), "up.bin"); }));
    } else {
      ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", dir_.str() + "/a.bin"); }));
    }
    EXPECT_EQ(Verbs(Commands()), c.commands);
    EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
    EXPECT_TRUE(Has(Events(), c.error));
    EXPECT_EQ(Events().back(), c.upload ? "stored" : "received");
    EXPECT_TRUE(ftp_->Connected());
    Renew();
  }
}

TEST_F(FtpTransferFaultTest, PasvHostIsNotFollowed) {
  FakeFtpServer server;
  server.AnnouncePasvHost("10.9.8.7");
  server.ServeData("RETR a.bin", kRemote);
  LogIn(server, true);
  const std::string local = dir_.str() + "/a.bin";
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
  EXPECT_TRUE(Has(Events(),
                  "info ftpInfoDebug PASV reply names 10.9.8.7; the data connection goes "
                  "to the server's address 127.0.0.1 instead"));
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
  EXPECT_TRUE(SameBytes(TempDir::Read(local), kRemote));
}

// A server listening on one loopback address that connects back from another: accepted (as
// servers with several addresses need), with a note naming the address.
TEST_F(FtpTransferFaultTest, ActiveModeAcceptsDataFromAnotherAddress) {
  FakeFtpServer server("127.0.1.9");
  server.ConnectBackFrom("127.0.0.1");
  server.ServeData("RETR a.bin", kRemote);
  server.ServeData("LIST", "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 a.bin\r\n");
  LogIn(server, false);
  const std::string local = dir_.str() + "/a.bin";
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
  const std::string note =
      "info ftpInfoDebug Data connection from 127.0.0.1 accepted; the server's address is "
      "127.0.1.9";
  EXPECT_EQ(recorder_.Count(note), 1u);
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
  EXPECT_TRUE(SameBytes(TempDir::Read(local), kRemote));
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(recorder_.Count(note), 2u);
  EXPECT_EQ(ftp_->CurrentFiles().Count(), 1);
}

TEST_F(FtpTransferFaultTest, DataConnectionResetFailsOnlyTheTransfer) {
  FakeFtpServer server;
  FakeTransfer cut = FakeTransfer::Sending(AllByteValues(1 << 20)).CutAfter(65536, true);
  cut.failed = FakeReply("426 Connection reset.\r\n").Delayed(300ms);
  server.OnTransfer("RETR a.bin", cut);
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", dir_.str() + "/a.bin"); }));
  // The server's 426 decides; the control connection stays.
  EXPECT_TRUE(Has(Events(), "error ftpErrorAccessDenied Access denied or file not found"));
  EXPECT_EQ(recorder_.CountPrefix("error"), 1u);
  EXPECT_EQ(ftp_->LastReply(), "426 Connection reset.");
  EXPECT_TRUE(ftp_->Connected());
  EXPECT_EQ(Events().back(), "received");
}

TEST_F(FtpTransferFaultTest, LocalFilesThatFail) {
  FakeFtpServer server;
  server.ServeData("RETR a.bin", kRemote);
  LogIn(server, true);
  struct Case {
    const char* name;
    std::string local;
    Strings commands;
    const char* error;  // nullptr: none
    int64_t bytes;      // BytesTransferred afterwards
  };
  const Case cases[] = {
      {"cannot create", dir_.str() + "/missing/a.bin", {}, "error ftpErrorLocalOpen ", 0},
      {"cannot write", "/dev/full", {"PASV", "RETR a.bin"}, "error ftpErrorLocalWrite ", -1},
      {"a device",
       "/dev/null",
       {"PASV", "RETR a.bin"},
       nullptr,
       static_cast<int64_t>(kRemote.size())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", c.local); }));
    Strings commands = Verbs(Commands());
    commands.erase(std::remove(commands.begin(), commands.end(), "TYPE I"), commands.end());
    EXPECT_EQ(commands, c.commands);
    EXPECT_EQ(recorder_.CountPrefix("error"), c.error ? 1u : 0u);
    if (c.error) {
      EXPECT_TRUE(Has(Events(), c.error));
    }
    if (c.bytes >= 0) {
      EXPECT_EQ(ftp_->BytesTransferred(), c.bytes);
    } else {  // the first block only: later ones are drained, not counted
      EXPECT_GT(ftp_->BytesTransferred(), 0);
      EXPECT_LE(ftp_->BytesTransferred(), static_cast<int64_t>(DataChannel::kTransferBlock));
    }
    EXPECT_EQ(Events().back(), "received");
    Forget();
  }
  EXPECT_THROW(ftp_->StoreFile(dir_.str() + "/missing.bin", "up.bin"), FtpLocalFileError);
  ASSERT_TRUE(RunUntilEvent("stored"));
  EXPECT_EQ(Events(), (Strings{"busy", "error ftpErrorLocalOpen ", "ready", "stored"}));
  Forget();
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("", dir_.str() + "/b.bin"); }));
  EXPECT_EQ(Events(), (Strings{"busy", "error ftpErrorNoFile ", "ready", "received"}));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(FtpTransferFaultTest, AbortInTheMiddleOfADownload) {
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    FakeFtpServer server;
    server.OnTransfer("RETR big", FakeTransfer::Sending(AllByteValues(65536)).Endless());
    LogIn(server, passive);
    ftp_->RetrieveFile("big", dir_.str() + "/big");
    ASSERT_TRUE(RunUntil([&] { return ftp_->BytesTransferred() > 300000; }));
    ASSERT_TRUE(Run([&] { ftp_->AbortRequest(); }));
    EXPECT_EQ(Commands().back(), "ABOR");
    // IAC IP, then IAC DM with the DM as urgent data, then ABOR (and nothing after it).
    EXPECT_TRUE(server.WaitUntil([&] { return server.UrgentData() == "\xF2"; }, 5s));
    const std::string tail =
        "\xFF\xF4\xFF"
        "ABOR\r\n";
    const std::string input = server.RawInput();
    EXPECT_EQ(input.substr(input.size() - std::min(input.size(), tail.size())), tail);
    EXPECT_TRUE(Has(Events(), "error ftpErrorAccessDenied Access denied or file not found"));
    EXPECT_EQ(Events().back(), "received");
    EXPECT_EQ(ftp_->LastReply().substr(0, 4), "426 ");  // the download's reply, not ABOR's
    // The connection goes on, and both replies to ABOR were taken before the next command.
    Forget();
    ASSERT_TRUE(Run([&] { ftp_->ChangeDir("/pub"); }));
    EXPECT_EQ(Events(), (Strings{"busy", "ready", "changed"}));
    EXPECT_EQ(Commands(), (Strings{"CWD /pub", "PWD"}));
    EXPECT_EQ(ftp_->LastReply(), "257 \"/\"");
    Renew();
  }
}

TEST_F(FtpTransferFaultTest, AbortAnsweredOnlyOnceIsNotWaitedForLong) {
  FakeFtpServer server;
  server.OnTransfer("RETR big", FakeTransfer::Sending(AllByteValues(65536)).Endless());
  server.On("ABOR", "226 ABOR command successful.\r\n");  // and no reply for the RETR
  LogIn(server, true);
  ftp_->RetrieveFile("big", dir_.str() + "/big");
  ASSERT_TRUE(RunUntil([&] { return ftp_->BytesTransferred() > 300000; }));
  ASSERT_TRUE(Run([&] { ftp_->AbortRequest(); }));
  EXPECT_TRUE(Has(Events(), "error ftpErrorAccessDenied Access denied or file not found"));
  EXPECT_EQ(ftp_->LastReply(), "426 Transfer aborted");
  EXPECT_EQ(Events().back(), "received");
}

TEST_F(FtpTransferFaultTest, AbortInTheMiddleOfAnUpload) {
  FakeFtpServer server;
  server.OnTransfer("STOR big", FakeTransfer().Stalled());
  LogIn(server, true);
  const std::string local = Upload(AllByteValues(32 << 20));
  ftp_->StoreFile(local, "big");
  ASSERT_TRUE(RunUntil(
      [&] { return ftp_->BytesTransferred() > 65536 && server.Commands().back() == "STOR big"; }));
  ASSERT_TRUE(Run([&] { ftp_->AbortRequest(); }));
  EXPECT_EQ(Commands().back(), "ABOR");
  EXPECT_TRUE(Has(Events(), "error ftpErrorAccessDenied Access denied or file not found"));
  EXPECT_EQ(Events().back(), "stored");
  EXPECT_LT(ftp_->BytesTransferred(), int64_t{32} << 20);
  EXPECT_TRUE(ftp_->Connected());
}

// A progress handler that takes its time (the pause after every upload block) must not hold
// the loop for a whole round of blocks: timers, replies and the window get a turn in between.
TEST_F(FtpTransferFaultTest, ASlowProgressHandlerLetsTheLoopTurnBetweenUploadBlocks) {
  FakeFtpServer server;
  LogIn(server, true);
  ftp_->SetSmallUploadBlocks(true);  // the pause option's blocks
  const std::string bytes = AllByteValues(6 * DataChannel::kThrottledSendBlock);
  const std::string local = Upload(bytes);
  size_t ticks = 0;
  std::vector<size_t> ticks_at_block;
  {
    // A timer due every millisecond: any turn of the loop runs it.
    EventTarget counter(loop_, [&ticks](const Notice&) { ++ticks; });
    counter.SetTimer(1, 1);
    ftp_->OnDataProgress = [&](FtpEngine&) {
      ticks_at_block.push_back(ticks);
      std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the handler's own work
    };
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(local, "up.bin"); }));
  }
  EXPECT_TRUE(SameBytes(server.ReceivedData("STOR"), bytes));
  ASSERT_GE(ticks_at_block.size(), 6u);
  for (size_t i = 1; i < ticks_at_block.size(); ++i) {
    EXPECT_GT(ticks_at_block[i], ticks_at_block[i - 1]) << "block " << i;
  }
}

}  // namespace
}  // namespace tarsil::testing

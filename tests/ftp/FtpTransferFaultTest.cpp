// Transfers that go wrong beyond the data cases (cases/transfer-fault.case): an active connection
// from another address, local files that cannot be created or written, and a slow progress
// handler. Each request still ends with its ready notice and completion event.
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

TEST_F(FtpTransferFaultTest, LocalFilesThatFail) {
  FakeFtpServer server;
  server.ServeData("RETR a.bin", kRemote);
  LogIn(server, true);
  struct Case {
    const char* name;
    std::string local;
    Strings commands = {};
    const char* error = nullptr;  // nullptr: none
    int64_t bytes = 0;            // BytesTransferred afterwards; -1: the first block only
  };
  const Case cases[] = {
      {.name = "cannot create",
       .local = dir_.str() + "/missing/a.bin",
       .error = "error ftpErrorLocalOpen "},
      {.name = "cannot write",
       .local = "/dev/full",
       .commands = {"PASV", "RETR a.bin"},
       .error = "error ftpErrorLocalWrite ",
       .bytes = -1},
      {.name = "a device",
       .local = "/dev/null",
       .commands = {"PASV", "RETR a.bin"},
       .bytes = static_cast<int64_t>(kRemote.size())},
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

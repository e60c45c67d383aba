// Transfer blocks against the scripted fake server: sizes around the block size arrive byte for
// byte in both directions and both types, every progress step is one block at most, small upload
// blocks while the owner pauses after each, one transfer buffer per engine, uploads of several
// blocks restarted, appended, switched between block sizes and changed while sent, and an abort
// while a large block is only half sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TransferHarness.h"

namespace tarsil::testing {
namespace {

constexpr size_t kBlock = DataChannel::kTransferBlock;

class FtpTransferBlocksTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    ftp_->OnDataProgress = [this](FtpEngine& ftp) {
      steps_.push_back(ftp.BytesTransferred() - last_count_);
      last_count_ = ftp.BytesTransferred();
    };
  }

  void ForgetSteps() {
    steps_.clear();
    last_count_ = 0;
  }

  // Every step moved something and at most `block` bytes; together they are `total`.
  ::testing::AssertionResult StepsWithin(size_t block, size_t total) const {
    int64_t sum = 0;
    for (const int64_t step : steps_) {
      if (step <= 0 || step > static_cast<int64_t>(block)) {
        return ::testing::AssertionFailure() << "a progress step of " << step << " bytes";
      }
      sum += step;
    }
    if (sum != static_cast<int64_t>(total)) {
      return ::testing::AssertionFailure() << sum << " bytes in steps instead of " << total;
    }
    return ::testing::AssertionSuccess();
  }

  std::vector<int64_t> steps_;
  int64_t last_count_ = 0;
};

TEST_F(FtpTransferBlocksTest, SizesAroundTheBlockArriveWhole) {
  const size_t sizes[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 1234};
  for (const FtpTransferType type : {BinaryTransfer, AsciiTransfer}) {
    for (const size_t size : sizes) {
      const bool passive = size % 2 == 0;  // both modes across the table
      SCOPED_TRACE(std::to_string(size) + (type == BinaryTransfer ? " binary" : " ascii"));
      // Text with CR LF in ASCII mode: it passes unchanged like any other byte.
      std::string bytes = AllByteValues(size);
      if (type == AsciiTransfer) {
        for (size_t i = 0; i + 1 < size; i += 97) bytes.replace(i, 2, "\r\n");
      }
      FakeFtpServer server;
      server.OnTransfer("RETR a.bin", FakeTransfer::Sending(bytes));
      LogIn(server, passive);
      ftp_->SetTransferMode(type);
      const std::string local = dir_.str() + "/down" + std::to_string(size);
      ForgetSteps();
      ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
      EXPECT_EQ(Events().back(), "received");
      EXPECT_TRUE(SameBytes(TempDir::Read(local), bytes));
      EXPECT_TRUE(StepsWithin(kBlock, size));
      EXPECT_EQ(steps_.size(), data_notices_);  // each block reported once, both ways

      Forget();
      ForgetSteps();
      const std::string source = dir_.Write("up" + std::to_string(size), bytes);
      ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
      EXPECT_EQ(Events().back(), "stored");
      EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
      EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), bytes));
      EXPECT_TRUE(StepsWithin(kBlock, size));
      EXPECT_GE(steps_.size(), (size + kBlock - 1) / kBlock);
      Renew();
    }
  }
}

TEST_F(FtpTransferBlocksTest, SmallUploadBlocksWhileTheOwnerPausesAfterEach) {
  FakeFtpServer server;
  LogIn(server, true);
  const std::string bytes = AllByteValues(100000);
  const std::string source = dir_.Write("up.bin", bytes);
  ftp_->SetSmallUploadBlocks(true);
  EXPECT_TRUE(ftp_->SmallUploadBlocks());
  ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
  EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), bytes));
  EXPECT_TRUE(StepsWithin(1514, bytes.size()));
  EXPECT_GE(steps_.size(), (bytes.size() + 1513) / 1514);

  // Switched off again: large blocks at the next upload.
  Forget();
  ForgetSteps();
  ftp_->SetSmallUploadBlocks(false);
  ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
  EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), bytes));
  EXPECT_LT(steps_.size(), 10u);
}

TEST_F(FtpTransferBlocksTest, OneTransferBufferPerEngine) {
  FakeFtpServer server;
  const std::string bytes = AllByteValues(2 * kBlock + 5);
  server.OnTransfer("RETR a.bin", FakeTransfer::Sending(bytes));
  LogIn(server, true);
  EXPECT_EQ(ftp_->TransferBufferAllocations(), 0);  // nothing until a transfer needs it
  const std::string source = dir_.Write("up.bin", bytes);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", dir_.str() + "/a.bin"); }));
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
  }
  EXPECT_TRUE(SameBytes(TempDir::Read(dir_.str() + "/a.bin"), bytes));
  EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), bytes));
  EXPECT_EQ(ftp_->TransferBufferAllocations(), 1);
}

// Uploads of several blocks and a tail: a restarted one starts at its offset (not a block
// boundary), an appended one sends everything, in both types; each through the one buffer.
TEST_F(FtpTransferBlocksTest, RestartedAndAppendedUploadsOfSeveralBlocks) {
  const std::string bytes = AllByteValues(3 * kBlock + 1234);
  const std::string source = dir_.Write("up.bin", bytes);
  struct Case {
    const char* name;
    size_t remote_size = 0;  // what SIZE says is there (0: no file)
    bool append = false;
    FtpTransferType type = BinaryTransfer;
  };
  const Case cases[] = {
      {.name = "STOR"},
      {.name = "REST, STOR", .remote_size = kBlock + 4097},
      {.name = "APPE", .append = true},
      {.name = "ASCII", .type = AsciiTransfer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    if (c.remote_size != 0)
      server.On("SIZE up.bin", "213 " + std::to_string(c.remote_size) + "\r\n");
    LogIn(server, c.append);
    ForgetSteps();
    resume_answer_ = "Resume";
    ftp_->SetTransferMode(c.type);
    ftp_->SetAppendUpload(c.append);
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
    EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
    EXPECT_EQ(Events().back(), "stored");
    const std::string verb = c.append ? "APPE up.bin" : "STOR up.bin";
    EXPECT_TRUE(SameBytes(server.ReceivedData(verb), bytes.substr(c.remote_size)));
    EXPECT_EQ(Has(Commands(), "REST " + std::to_string(c.remote_size)), c.remote_size != 0);
    EXPECT_TRUE(StepsWithin(kBlock, bytes.size() - c.remote_size));
    EXPECT_EQ(ftp_->BytesTransferred(), static_cast<int64_t>(bytes.size() - c.remote_size));
    EXPECT_EQ(ftp_->TransferBufferAllocations(), 1);
    Renew();
    resume_answer_.clear();
  }
}

// The pause option switched while an upload runs: the next block takes the other way, and the
// bytes stay in order whichever way each block went.
TEST_F(FtpTransferBlocksTest, SwitchingTheBlockSizeInTheMiddleKeepsTheBytes) {
  const std::string bytes = AllByteValues(5 * kBlock + 777);
  const std::string source = dir_.Write("up.bin", bytes);
  for (const bool small_first : {false, true}) {
    SCOPED_TRACE(small_first ? "small, then large" : "large, then small");
    FakeFtpServer server;
    LogIn(server, true);
    ForgetSteps();
    ftp_->SetSmallUploadBlocks(small_first);
    ftp_->OnDataProgress = [&](FtpEngine& ftp) {
      steps_.push_back(ftp.BytesTransferred() - last_count_);
      last_count_ = ftp.BytesTransferred();
      if (steps_.size() == 2) ftp.SetSmallUploadBlocks(!small_first);
    };
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }, 30s));
    EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
    EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), bytes));
    ASSERT_GT(steps_.size(), 4u);
    const size_t small_steps = small_first ? 2 : steps_.size() - 2;
    const auto small_begin = small_first ? steps_.begin() : steps_.begin() + 2;
    EXPECT_TRUE(std::all_of(small_begin, small_begin + static_cast<ptrdiff_t>(small_steps),
                            [](int64_t step) { return step <= 1514; }));
    EXPECT_EQ(steps_.size() > 100, !small_first);  // the large blocks came back
    Renew();
  }
}

// The file changed while it was sent: a shorter one ends the upload with what there was, a
// longer one is sent up to the size it had when the upload began (the size announced).
TEST_F(FtpTransferBlocksTest, AFileThatChangesWhileItIsSent) {
  const std::string bytes = AllByteValues(4 * kBlock);
  for (const size_t changed : {2 * kBlock + 10, 6 * kBlock}) {
    SCOPED_TRACE(changed);
    FakeFtpServer server;
    LogIn(server, true);
    const std::string source = dir_.Write("up.bin", bytes);
    ftp_->OnDataProgress = [&](FtpEngine&) {
      if (std::filesystem::file_size(source) != changed) {
        std::filesystem::resize_file(source, changed);
      }
    };
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(source, "up.bin"); }));
    EXPECT_EQ(Events().back(), "stored");
    EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"),
                          bytes.substr(0, std::min(changed, bytes.size()))));
    Renew();
  }
}

// The server reads nothing of the upload: the socket fills in the middle of a block, and the
// abort must still end the request within the usual bounds.
TEST_F(FtpTransferBlocksTest, AbortWhileABlockIsHalfSent) {
  for (const bool small : {false, true}) {
    SCOPED_TRACE(small ? "small blocks" : "large blocks");
    FakeFtpServer server;
    server.OnTransfer("STOR big", FakeTransfer().Stalled());
    LogIn(server, true);
    ftp_->SetSmallUploadBlocks(small);
    const std::string source = dir_.Write("big.bin", AllByteValues(24 << 20));
    ftp_->StoreFile(source, "big");
    // The sender stops where the full socket leaves it, as a rule in the middle of a block.
    ASSERT_TRUE(RunUntil([&] {
      return ftp_->BytesTransferred() > 65536 && !server.Commands().empty() &&
             server.Commands().back() == "STOR big";
    }));
    ASSERT_TRUE(Run([&] { ftp_->AbortRequest(); }, 10s));
    EXPECT_TRUE(Has(Events(), "error ftpErrorAccessDenied Access denied or file not found"));
    EXPECT_EQ(Events().back(), "stored");
    EXPECT_LT(ftp_->BytesTransferred(), int64_t{24} << 20);
    EXPECT_TRUE(ftp_->Connected());
    Renew();
  }
}

}  // namespace
}  // namespace tarsil::testing

// Downloads and uploads against the scripted fake server: both directions in passive and active
// mode, ASCII and binary, STOR and APPE. The resume question is in cases/resume-*.case.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TransferHarness.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kRemote = AllByteValues(300000);

FakeTransfer Serving(const std::string& bytes) {
  FakeTransfer transfer = FakeTransfer::Sending(bytes);
  transfer.preliminary = "150 Opening BINARY mode data connection for a.bin (" +
                         std::to_string(bytes.size()) + " bytes).\r\n";
  return transfer;
}

struct Mode {
  bool passive;
  FtpTransferType type;
  bool append;
};

class FtpTransferTest : public TransferTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(FtpTransferTest, DownloadsTwiceWithOneType) {
  const Mode mode = GetParam();
  FakeFtpServer server;
  server.OnTransfer("RETR a.bin", Serving(kRemote));
  LogIn(server, mode.passive);
  ftp_->SetTransferMode(mode.type);
  const std::string type = mode.type == BinaryTransfer ? "TYPE I" : "TYPE A";
  const std::string data = mode.passive ? "PASV" : "PORT";
  for (const Strings& expected : {Strings{type, data, "RETR a.bin"}, Strings{data, "RETR a.bin"}}) {
    const std::string local = dir_.str() + "/a" + std::to_string(expected.size()) + ".bin";
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
    EXPECT_EQ(Verbs(Commands()), expected);
    EXPECT_TRUE(SameBytes(TempDir::Read(local), kRemote));
    EXPECT_EQ(ftp_->BytesTransferred(), static_cast<int64_t>(kRemote.size()));
    EXPECT_TRUE(Has(Events(), "info ftpInfoFileSize 300000"));
    EXPECT_TRUE(Has(Events(), "info ftpInfoTransferComplete "));
    EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
    EXPECT_EQ(Strings(Events().end() - 2, Events().end()), (Strings{"ready", "received"}));
    EXPECT_GE(progress_, (kRemote.size() - 1) / FtpDataState::kTransferBlock + 1);
    EXPECT_EQ(progress_, data_notices_);
    EXPECT_EQ(data_closes_, 1u);
    Forget();
  }
}

TEST_P(FtpTransferTest, UploadsWithStorOrAppe) {
  const Mode mode = GetParam();
  FakeFtpServer server;
  LogIn(server, mode.passive);
  ftp_->SetTransferMode(mode.type);
  ftp_->SetAppendUpload(mode.append);
  const std::string bytes = AllByteValues(3 << 20);
  const std::string local = dir_.Write("up.bin", bytes);
  const std::string verb = mode.append ? "APPE up.bin" : "STOR up.bin";
  const std::string data = mode.passive ? "PASV" : "PORT";
  ASSERT_TRUE(Run([&] { ftp_->StoreFile(local, "up.bin"); }));
  // The server has no SIZE (502): it is not asked again.
  EXPECT_EQ(Verbs(Commands()), (Strings{mode.type == BinaryTransfer ? "TYPE I" : "TYPE A",
                                        "SIZE up.bin", data, verb}));
  EXPECT_FALSE(ftp_->SizeSupported());
  EXPECT_TRUE(SameBytes(server.ReceivedData(verb), bytes));
  EXPECT_EQ(ftp_->BytesTransferred(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(Events().front(), "busy");
  EXPECT_TRUE(Has(Events(), "info ftpInfoFileSize " + std::to_string(bytes.size())));
  EXPECT_EQ(recorder_.Count("info ftpInfoTransferComplete "), 1u);
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
  EXPECT_EQ(Strings(Events().end() - 2, Events().end()), (Strings{"ready", "stored"}));
  EXPECT_GE(progress_, (bytes.size() - 1) / FtpDataState::kTransferBlock + 1);

  Forget();
  ASSERT_TRUE(Run([&] { ftp_->StoreFile(local, "up.bin"); }));
  EXPECT_EQ(Verbs(Commands()), (Strings{data, verb}));
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpTransferTest,
                         ::testing::Values(Mode{true, BinaryTransfer, false},
                                           Mode{false, BinaryTransfer, false},
                                           Mode{true, AsciiTransfer, true},
                                           Mode{false, AsciiTransfer, true}),
                         [](const auto& info) {
                           return std::string(info.param.passive ? "Passive" : "Active") +
                                  (info.param.type == BinaryTransfer ? "Binary" : "Ascii");
                         });

}  // namespace
}  // namespace tarsil::testing

// Downloads and uploads against the scripted fake server: both directions in passive and active
// mode, ASCII and binary, the resume question with SIZE and REST, APPE, every refused step, a
// data connection reset, local files that cannot be created or written, the PASV host that is not
// followed, the stray active connection that is turned away, and ABOR in the middle of a transfer.
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
    EXPECT_GE(progress_, (kRemote.size() - 1) / DataChannel::kTransferBlock + 1);
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
  EXPECT_GE(progress_, (bytes.size() - 1) / DataChannel::kTransferBlock + 1);

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

class FtpResumeTest : public TransferTest {};

TEST_F(FtpResumeTest, DownloadOntoAnExistingFile) {
  const std::string remote = AllByteValues(10000);
  struct Case {
    const char* name;
    std::string local;
    const char* size_reply;  // nullptr: the server has no SIZE
    const char* answer;
    bool server_resumes;
    const char* rest_reply;  // nullptr: accepted
    Strings commands;        // after TYPE I
    const char* info;        // an info notice expected, or nullptr
    const char* error;       // the error expected, or nullptr
    std::string result;      // the local file afterwards
    bool received;           // OnFileReceived raised
  };
  const std::string x20000(20000, 'x');
  const Case cases[] = {
      {"same size",
       remote,
       "213 10000\r\n",
       "Resume",
       true,
       nullptr,
       {"SIZE a.bin"},
       "info ftpInfoNothingToDo I am afraid I have nothing to do",
       nullptr,
       remote,
       false},
      {"no SIZE",
       remote.substr(0, 100),
       nullptr,
       "Resume",
       true,
       nullptr,
       {"SIZE a.bin"},
       "info ftpInfoNothingToDo I am afraid I have nothing to do",
       nullptr,
       remote.substr(0, 100),
       false},
      {"no REST",
       remote.substr(0, 100),
       "213 10000\r\n",
       "Resume",
       false,
       nullptr,
       {},
       "info ftpInfoResumeNotSupported This site cannot resume broken downloads/uploads",
       nullptr,
       remote.substr(0, 100),
       false},
      {"local longer",
       remote + "tail",
       "213 10000\r\n",
       "Resume",
       true,
       nullptr,
       {"SIZE a.bin", "PASV", "RETR a.bin"},
       "info ftpInfoResumeNotSupported I don't know how to resume this file, I will overwrite it",
       nullptr,
       remote,
       true},
      {"local prefix",
       remote.substr(0, 4000),
       "213 10000\r\n",
       "Resume",
       true,
       nullptr,
       {"SIZE a.bin", "PASV", "REST 4000", "RETR a.bin"},
       nullptr,
       nullptr,
       remote,
       true},
      {"overwrite",
       x20000,
       nullptr,
       "Overwrite",
       true,
       nullptr,
       {"PASV", "RETR a.bin"},
       nullptr,
       nullptr,
       remote,
       true},
      {"declined", x20000, nullptr, "Skip", true, nullptr, {}, nullptr, nullptr, x20000, false},
      {"REST refused",
       remote.substr(0, 4000),
       "213 10000\r\n",
       "Resume",
       true,
       "502 No.\r\n",
       {"SIZE a.bin", "PASV", "REST 4000"},
       nullptr,
       "error ftpErrorResumeFailed Failed to resume downloading file",
       remote.substr(0, 4000),
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.OnTransfer("RETR a.bin", Serving(remote));
    if (c.size_reply) server.On("SIZE a.bin", c.size_reply);
    if (!c.server_resumes) server.On("REST 100", "502 No.\r\n");
    if (c.rest_reply) server.On("REST 4000", c.rest_reply);
    LogIn(server, true);
    const std::string local = dir_.Write("a.bin", c.local);
    resume_answer_ = c.answer;
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
    Strings expected = {"TYPE I"};
    expected.insert(expected.end(), c.commands.begin(), c.commands.end());
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(resume_questions_, 1u);
    if (c.info) {
      EXPECT_TRUE(Has(Events(), c.info));
    }
    EXPECT_EQ(recorder_.CountPrefix("error"), c.error ? 1u : 0u);
    if (c.error) {
      EXPECT_TRUE(Has(Events(), c.error));
    }
    EXPECT_TRUE(SameBytes(TempDir::Read(local), c.result));
    EXPECT_EQ(Events().back(), c.received ? "received" : "ready");
    Renew();
  }
}

TEST_F(FtpResumeTest, UploadOverAnExistingRemoteFile) {
  const std::string local = AllByteValues(10000);
  struct Case {
    const char* name;
    const char* size_reply;
    const char* answer;
    const char* rest_reply;  // nullptr: accepted
    Strings commands;        // after TYPE I and SIZE
    size_t questions;
    const char* info;   // an info notice expected, or nullptr
    const char* error;  // the error expected, or nullptr
    std::string stored;
    bool completed;  // OnFileStored raised
  };
  const char* overwrite =
      "info ftpInfoResumeNotSupported I don't know how to resume this file, I will overwrite it";
  const Case cases[] = {
      {"resumed",
       "213 4000\r\n",
       "Resume",
       nullptr,
       {"PASV", "REST 4000", "STOR up.bin"},
       1,
       nullptr,
       nullptr,
       local.substr(4000),
       true},
      {"empty remote",
       "213 0\r\n",
       "Resume",
       nullptr,
       {"PASV", "STOR up.bin"},
       0,
       nullptr,
       nullptr,
       local,
       true},
      {"remote longer",
       "213 20000\r\n",
       "Resume",
       nullptr,
       {"PASV", "STOR up.bin"},
       1,
       overwrite,
       nullptr,
       local,
       true},
      {"overwrite",
       "213 4000\r\n",
       "Overwrite",
       nullptr,
       {"PASV", "STOR up.bin"},
       1,
       nullptr,
       nullptr,
       local,
       true},
      {"declined", "213 4000\r\n", "Skip", nullptr, {}, 1, nullptr, nullptr, "", false},
      {"REST refused",
       "213 4000\r\n",
       "Resume",
       "502 No.\r\n",
       {"PASV", "REST 4000"},
       1,
       nullptr,
       "error ftpErrorResumeFailed Failed to resume uploading file",
       "",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.On("SIZE up.bin", c.size_reply);
    if (c.rest_reply) server.On("REST 4000", c.rest_reply);
    LogIn(server, true);
    const std::string file = dir_.Write("up.bin", local);
    resume_answer_ = c.answer;
    ASSERT_TRUE(Run([&] { ftp_->StoreFile(file, "up.bin"); }));
    Strings expected = {"TYPE I", "SIZE up.bin"};
    expected.insert(expected.end(), c.commands.begin(), c.commands.end());
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(resume_questions_, c.questions);
    if (c.info) {
      EXPECT_TRUE(Has(Events(), c.info));
    }
    EXPECT_EQ(recorder_.CountPrefix("error"), c.error ? 1u : 0u);
    if (c.error) {
      EXPECT_TRUE(Has(Events(), c.error));
    }
    EXPECT_TRUE(SameBytes(server.ReceivedData("STOR up.bin"), c.stored));
    EXPECT_EQ(Events().back(), c.completed ? "stored" : "ready");
    Renew();
  }
}

}  // namespace
}  // namespace tarsil::testing

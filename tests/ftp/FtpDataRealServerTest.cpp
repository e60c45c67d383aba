// The engine's data side against each real server of the test fixtures, in passive and active
// mode: downloads and uploads compared byte for byte with the server's own files (every byte
// value, an empty file, several MiB, ASCII line ends, APPE, restart where the server resumes), a
// listing, the directory commands, and ABOR during a large download. Tests whose name holds
// "RealServer" get the server's CTest fixture. The TLS servers run the same cases over explicit
// TLS (their data connections refuse clear text, so a passing transfer went encrypted).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TransferHarness.h"
#include "support/RealServers.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

class FtpDataRealServerTest : public TransferTest,
                              public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    std::string error;
    const std::optional<RealServer> found = FindRealServer(GetParam(), &error);
    ASSERT_TRUE(found) << error;
    server_ = *found;
  }

  void Connect(bool passive) {
    Direct(static_cast<uint16_t>(server_.port), server_.address);
    ftp_->SetUsername(server_.user);
    ftp_->SetPassword(server_.password);
    ftp_->SetTimeOut(10);
    ftp_->SetRetries(0);
    ftp_->SetPassive(passive);
    if (!server_.fingerprint.empty()) {
      ftp_->SetSecurity(FtpSecurity::kExplicit);
      ftp_->SetTlsFingerprint(server_.fingerprint);
    }
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("loggedin", 15s)) << "server log: " << server_.log;
    Forget();
  }

  // Runs a request that must succeed: its completion event comes and no error was raised.
  void Ok(const std::function<void()>& request, const char* completion) {
    Forget();
    ASSERT_TRUE(Run(request, 30s)) << ::testing::PrintToString(Commands());
    EXPECT_EQ(recorder_.CountPrefix("error"), 0u) << ::testing::PrintToString(Events());
    EXPECT_EQ(Events().back(), completion);
  }

  std::string OnServer(const std::string& path) const { return TempDir::Read(server_.root + path); }

  RealServer server_;
};

TEST_P(FtpDataRealServerTest, TransfersAreByteIdentical) {
  const std::string binary = AllByteValues(100000);
  const std::string big = AllByteValues(5 << 20) + "end";
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    const std::string mode = passive ? "p" : "a";
    ASSERT_NO_FATAL_FAILURE(Connect(passive));
    const std::string local = dir_.str() + "/" + mode;
    Ok([&] { ftp_->RetrieveFile("binary.bin", local + "binary.bin"); }, "received");
    EXPECT_TRUE(SameBytes(TempDir::Read(local + "binary.bin"), binary));
    Ok([&] { ftp_->RetrieveFile("empty.txt", local + "empty.txt"); }, "received");
    EXPECT_TRUE(std::filesystem::exists(local + "empty.txt"));
    EXPECT_EQ(std::filesystem::file_size(local + "empty.txt"), 0u);

    const std::string remote = "upload/" + mode + "big.bin";
    Ok([&] { ftp_->StoreFile(dir_.Write(mode + "big.bin", big), remote); }, "stored");
    EXPECT_TRUE(SameBytes(OnServer("/" + remote), big));
    EXPECT_EQ(ftp_->BytesTransferred(), static_cast<int64_t>(big.size()));
    ftp_->SetAppendUpload(true);
    Ok([&] { ftp_->StoreFile(dir_.Write("tail", "appended"), remote); }, "stored");
    ftp_->SetAppendUpload(false);
    EXPECT_TRUE(SameBytes(OnServer("/" + remote), big + "appended"));
    Ok([&] { ftp_->StoreFile(dir_.Write("empty", ""), "upload/" + mode + "empty"); }, "stored");
    EXPECT_TRUE(std::filesystem::exists(server_.root + "/upload/" + mode + "empty"));

    // TYPE A: the servers write CR LF line ends and store LF ones.
    ftp_->SetTransferMode(AsciiTransfer);
    Ok([&] { ftp_->RetrieveFile("readme.txt", local + "readme.txt"); }, "received");
    EXPECT_EQ(TempDir::Read(local + "readme.txt"),
              "Tarsil test server\r\nsecond line\r\nthird line\r\n");
    Ok([&] { ftp_->StoreFile(dir_.Write("text", "one\r\ntwo\r\n"), "upload/" + mode + "t"); },
       "stored");
    EXPECT_EQ(OnServer("/upload/" + mode + "t"), "one\ntwo\n");
    ftp_->SetTransferMode(BinaryTransfer);

    if (ftp_->ResumeSupported()) {
      // A partial download and a partial upload, each finished with REST.
      resume_answer_ = "Resume";
      dir_.Write(mode + "part.bin", binary.substr(0, 40000));
      Ok([&] { ftp_->RetrieveFile("binary.bin", local + "part.bin"); }, "received");
      EXPECT_TRUE(std::find(Commands().begin(), Commands().end(), "REST 40000") !=
                  Commands().end());
      EXPECT_TRUE(SameBytes(TempDir::Read(local + "part.bin"), binary));
      Ok([&] { ftp_->StoreFile(dir_.Write("head", big.substr(0, 1 << 20)), remote); }, "stored");
      Ok([&] { ftp_->StoreFile(dir_.Write(mode + "big.bin", big), remote); }, "stored");
      EXPECT_TRUE(std::find(Commands().begin(), Commands().end(),
                            "REST " + std::to_string(1 << 20)) != Commands().end());
      EXPECT_TRUE(SameBytes(OnServer("/" + remote), big));
      resume_answer_.clear();
    }
    for (const std::string& name : {remote, "upload/" + mode + "empty", "upload/" + mode + "t"}) {
      Ok([&] { ftp_->DeleteRemoteFile(name); }, "deleted");
    }
    Renew();
  }
}

TEST_P(FtpDataRealServerTest, ListsAndManagesDirectories) {
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    ASSERT_NO_FATAL_FAILURE(Connect(passive));
    Ok([&] { ftp_->ListDirectory(); }, "listed");
    Strings folders, files;
    for (int i = 0; i < ftp_->CurrentFolders().Count(); ++i) {
      folders.push_back(ftp_->CurrentFolders().GetEntry(i).FileName);
    }
    for (int i = 0; i < ftp_->CurrentFiles().Count(); ++i) {
      const RemoteEntry entry = ftp_->CurrentFiles().GetEntry(i);
      files.push_back(entry.FileName);
      if (entry.FileName == "binary.bin") {
        EXPECT_EQ(entry.Size, "100000");
      }
    }
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(folders, (Strings{"sub", "upload"}));
    EXPECT_EQ(files, (Strings{"B.TXT", "a.txt", "binary.bin", "c.doc", "crlf.txt", "empty.txt",
                              "name with spaces.txt", "readme.txt"}));
    EXPECT_GE(ftp_->RawListing().size(), folders.size() + files.size());

    const std::string dir = passive ? "new dir p" : "new dir a";
    Ok([&] { ftp_->CreateDir("upload/" + dir); }, "created");
    EXPECT_TRUE(std::filesystem::is_directory(server_.root + "/upload/" + dir));
    Ok([&] { ftp_->ChangeDir("upload/" + dir); }, "changed");
    EXPECT_EQ(ftp_->CurrentDirectory(), "/upload/" + dir);
    Ok([&] { ftp_->StoreFile(dir_.Write("f", "file"), "f.txt"); }, "stored");
    Ok([&] { ftp_->RenameRemoteFile("f.txt", "g.txt"); }, "renamed");
    EXPECT_EQ(OnServer("/upload/" + dir + "/g.txt"), "file");
    Ok([&] { ftp_->DeleteRemoteFile("g.txt"); }, "deleted");
    Ok([&] { ftp_->ParentDir(); }, "changed");
    EXPECT_EQ(ftp_->CurrentDirectory(), "/upload");
    Ok([&] { ftp_->RemoveDir(dir); }, "removed");
    EXPECT_FALSE(std::filesystem::exists(server_.root + "/upload/" + dir));
    Forget();
    ASSERT_TRUE(Run([&] { ftp_->RemoveDir(dir); }));
    EXPECT_EQ(Events(),
              (Strings{"busy", "error ftpErrorAccessDenied Access denied or file not found",
                       "ready", "removed"}));
    Renew();
  }
}

TEST_P(FtpDataRealServerTest, AbortsALargeDownload) {
  // 4 GiB of zeros that take no disk space: the transfer is still running when ABOR comes.
  const std::string huge = server_.root + "/huge.bin";
  std::ofstream(huge).close();
  std::filesystem::resize_file(huge, uint64_t{4} << 30);
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    ASSERT_NO_FATAL_FAILURE(Connect(passive));
    ftp_->RetrieveFile("huge.bin", "/dev/null");
    ASSERT_TRUE(RunUntil([&] { return ftp_->BytesTransferred() > (8 << 20); }, 20s));
    ASSERT_TRUE(Run([&] { ftp_->AbortRequest(); }, 30s))
        << recorder_.replies << ::testing::PrintToString(Events());
    EXPECT_EQ(Commands().back(), "ABOR");
    EXPECT_EQ(Events().back(), "received");
    EXPECT_EQ(ftp_->LastReply().substr(0, 1), "4");
    EXPECT_LT(ftp_->BytesTransferred(), int64_t{1} << 30);
    // The connection goes on with the next command.
    Ok([&] { ftp_->ChangeDir("/sub"); }, "changed");
    EXPECT_EQ(ftp_->CurrentDirectory(), "/sub");
    Renew();
  }
  std::filesystem::remove(huge);
}

INSTANTIATE_TEST_SUITE_P(RealServer, FtpDataRealServerTest, ::testing::ValuesIn(RealServerNames()),
                         [](const auto& info) { return info.param; });
// The same servers on ::1: EPSV and EPRT instead of PASV and PORT.
INSTANTIATE_TEST_SUITE_P(RealServerIpv6, FtpDataRealServerTest,
                         ::testing::ValuesIn(Ipv6ServerNames()),
                         [](const auto& info) { return info.param; });
INSTANTIATE_TEST_SUITE_P(RealServerTls, FtpDataRealServerTest,
                         ::testing::ValuesIn(TlsDataServerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tarsil::testing

// The listing request against the scripted fake server: LIST over passive and active data
// connections into RawListing and the file and folder lists, the listing cache (written after a
// clean listing even with Cache off, read without any connection, never written after an error),
// the cap on what one listing may hold, binary garbage, and a listing refused while busy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TransferHarness.h"
#include "listing/ListingCache.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string kListing =
    "total 4\r\n"
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 01  2020 .\r\n"
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 01  2020 ..\r\n"
    "drwxr-xr-x+ 16 root     sys           512 Sep 25  2019 pub\r\n"
    "-rw-r--r--   1 ftp      ftp          1234 Jan 01  2020 a.txt\r\n"
    "-rw-r--r--   1 ftp      ftp            99 Jan 01  2020 no line end";

Strings Names(const RemoteEntryList& list) {
  Strings names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.GetEntry(i).FileName);
  return names;
}

class FtpListingTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    ftp_->SetListingCache(&cache_);
  }

  // The file list of the current directory is in the cache.
  bool Cached() const {
    return std::filesystem::exists(cache_.CacheFileName(ftp_->Server(), ftp_->Username(),
                                                        ftp_->CurrentDirectory(),
                                                        CachedListKind::kFiles, ftp_->Port()));
  }

  ListingCache cache_{dir_.str() + "/ftpcache"};
};

TEST_F(FtpListingTest, ListsIntoTheFileAndFolderLists) {
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    FakeFtpServer server;
    server.ServeData("LIST *.txt", kListing);
    LogIn(server, passive);
    ftp_->SetFileMask("*.txt");
    ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
    EXPECT_EQ(Commands().size(), 3u);
    EXPECT_EQ(Commands().front(), "TYPE A");
    EXPECT_EQ(Commands().back(), "LIST *.txt");
    Strings lines;  // every line ended by CR LF, and the last one, which has none
    size_t at = 0;
    for (size_t end; (end = kListing.find("\r\n", at)) != std::string::npos; at = end + 2) {
      lines.push_back(kListing.substr(at, end - at));
    }
    lines.push_back(kListing.substr(at));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(ftp_->RawListing(), lines);
    EXPECT_EQ(data_lines_, lines);
    EXPECT_EQ(Names(ftp_->CurrentFolders()), Strings{"pub"});
    EXPECT_EQ(Names(ftp_->CurrentFiles()), (Strings{"a.txt", "no line end"}));
    EXPECT_EQ(ftp_->CurrentFiles().GetEntry(0).Size, "1234");
    EXPECT_EQ(entries_, (Strings{"Folder", "File", "File"}));
    EXPECT_EQ(Events(), (Strings{"busy", "info ftpInfoListing ", "info ftpInfoListingComplete ",
                                 "info ftpInfoTransferComplete ", "ready", "listed"}));
    EXPECT_EQ(ftp_->BytesTransferred(), static_cast<int64_t>(kListing.size()));
    EXPECT_FALSE(ftp_->ListingFromCache());
    Renew();
    ftp_->SetListingCache(&cache_);
  }
}

// Lines ended by LF alone (or a mix) are lines too; a cut or failed listing keeps no half line.
TEST_F(FtpListingTest, LinesMayEndInLfAlone) {
  FakeFtpServer server;
  FakeTransfer cut = FakeTransfer::Sending(
                         "-rw-r--r--   1 ftp ftp 1 Jan 01  2020 a.txt\n"
                         "-rw-r--r--   1 ftp ftp 2 Jan 01  2020 b.t")
                         .CutAfter(60);
  cut.failed = FakeReply("426 Connection closed.\r\n").Delayed(300ms);
  server.OnTransfer("LIST cut", cut);  // before the rule for every LIST
  server.ServeData("LIST",
                   "-rw-r--r--   1 ftp ftp 1 Jan 01  2020 a.txt\n"
                   "-rw-r--r--   1 ftp ftp 2 Jan 01  2020 b.txt\r\n"
                   "drwxr-xr-x   2 ftp ftp 4096 Jan 01  2020 sub\n"
                   "-rw-r--r--   1 ftp ftp 3 Jan 01  2020 c.txt");
  LogIn(server, true);
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(ftp_->RawListing().size(), 4u);
  EXPECT_EQ(Names(ftp_->CurrentFiles()), (Strings{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(Names(ftp_->CurrentFolders()), Strings{"sub"});
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
  ftp_->SetFileMask("cut");
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(Names(ftp_->CurrentFiles()), Strings{"a.txt"});
  EXPECT_TRUE(ftp_->Connected());
}

TEST_F(FtpListingTest, CleanListingsAreCachedAndServedWithoutAConnection) {
  ASSERT_TRUE(cache_.PrepareCacheDirectory());
  FakeFtpServer server;
  server.ServeData("LIST", kListing);
  LogIn(server, true);
  ftp_->SetCache(false);  // written all the same
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  ASSERT_TRUE(Cached());

  ftp_->QuitServer();
  ASSERT_TRUE(RunUntilQuiet());
  ASSERT_FALSE(ftp_->Connected());
  Forget();
  ftp_->SetCache(true);
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(Events(), (Strings{"ready", "listed"}));
  EXPECT_TRUE(ftp_->ListingFromCache());
  EXPECT_TRUE(ftp_->RawListing().empty());
  EXPECT_EQ(Names(ftp_->CurrentFolders()), Strings{"pub"});
  EXPECT_EQ(Names(ftp_->CurrentFiles()), (Strings{"a.txt", "no line end"}));
}

TEST_F(FtpListingTest, FailedListingsAreNotCached) {
  ASSERT_TRUE(cache_.PrepareCacheDirectory());
  struct Case {
    const char* name;
    const char* pattern;
    FakeReply reply;
    const char* error;
  };
  const Case cases[] = {
      {"LIST refused", "LIST", "550 No.\r\n",
       "error ftpErrorAccessDenied Access denied or file not found"},
      {"PASV refused", "PASV", "502 No.\r\n", "error ftpErrorCommandFailed "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.On(c.pattern, c.reply);
    LogIn(server, true);
    ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
    EXPECT_EQ(Events().back(), "listed");
    EXPECT_EQ(recorder_.Count(c.error), 1u);
    EXPECT_EQ(ftp_->CurrentFiles().Count(), 0);
    EXPECT_FALSE(Cached());
    Renew();
    ftp_->SetListingCache(&cache_);
  }
}

TEST_F(FtpListingTest, EndlessListingsAreCut) {
  struct Case {
    const char* name;
    std::string unit;
    uint64_t max_bytes;
    uint64_t max_lines;
  };
  const Case cases[] = {
      {"lines", FakeFtpServer::kEndlessListingLine, uint64_t{1} << 30, 1000},
      {"one line without end", std::string(1000, 'x'), 100000, 1000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    server.EndlessData("LIST", c.unit);
    LogIn(server, true);
    ftp_->SetListingLimits(c.max_bytes, c.max_lines);
    ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
    EXPECT_EQ(recorder_.Count("error ftpErrorDataConnection Listing longer than " +
                              std::to_string(c.max_bytes) + " bytes or " +
                              std::to_string(c.max_lines) + " lines: the rest is not read"),
              1u);
    EXPECT_EQ(Events().back(), "listed");
    EXPECT_LE(ftp_->RawListing().size(), c.max_lines);
    EXPECT_LE(static_cast<uint64_t>(ftp_->BytesTransferred()), c.max_bytes);
    EXPECT_TRUE(ftp_->Connected());
    EXPECT_FALSE(Cached());
    Renew();
    ftp_->SetListingCache(&cache_);
  }
}

TEST_F(FtpListingTest, GarbageAndLongLinesAreSurvived) {
  std::string garbage =
      "-rw-r--r--   1 ftp ftp 1 Jan 01  2020 " + std::string(100000, 'n') + "\r\n";
  // Bytes 1 to 255 (a block's text ends at a NUL byte).
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 7919) % 255 + 1);
  garbage += "\r\n-rw-r--r--   1 ftp ftp 5 Jan 01  2020 last\r\n";
  FakeFtpServer server;
  server.ServeData("LIST", garbage);
  LogIn(server, false);
  ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
  EXPECT_EQ(recorder_.CountPrefix("error"), 0u);
  EXPECT_EQ(Events().back(), "listed");
  ASSERT_FALSE(ftp_->RawListing().empty());
  EXPECT_EQ(ftp_->RawListing().back(), "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 last");
}

TEST_F(FtpListingTest, ListingWhileATransferRunsIsRefused) {
  FakeFtpServer server;
  server.ServeData("RETR a.bin", AllByteValues(1 << 20));
  LogIn(server, true);
  const std::string local = dir_.str() + "/a.bin";
  ftp_->RetrieveFile("a.bin", local);
  ftp_->ListDirectory();
  ASSERT_TRUE(RunUntilEvent("received"));
  EXPECT_EQ(Events(), (Strings{"busy", "info ftpInfoBusy The component is busy doing something",
                               "info ftpInfoTransferComplete ", "ready", "received"}));
  EXPECT_TRUE(SameBytes(TempDir::Read(local), AllByteValues(1 << 20)));
}

}  // namespace
}  // namespace tarsil::testing

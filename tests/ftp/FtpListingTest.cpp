// The listing request beyond the data cases (cases/listing.case): binary garbage and very long
// lines in a listing.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TransferHarness.h"
#include "listing/ListingCache.h"

namespace tarsil::testing {
namespace {

class FtpListingTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    ftp_->SetListingCache(&cache_);
  }

  ListingCache cache_{dir_.str() + "/ftpcache"};
};

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

// However the listing arrives cut up (inside a line, between CR and LF, around a NUL byte), the
// same lines and entries come out as when it arrives in one piece.
TEST_F(FtpListingTest, AListingCutAnywhereGivesTheSameLinesAndEntries) {
  std::string listing = "total 12\r\n";
  for (int i = 0; i < 6; ++i) {
    listing += "-rw-r--r--   1 ftp ftp " + std::to_string(i * 1000) + " Jan 01  2020 file" +
               std::to_string(i) + ".dat\r\n";
  }
  listing += "drwxr-xr-x   2 ftp ftp 4096 Mar 03 10:00 sub\n";  // LF alone
  listing += std::string("-rw-r--r--   1 ftp ftp 9 Jan 01  2020 n") + '\0' + "ul\r\n";
  listing += "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 last";  // no line end
  struct Result {
    std::vector<std::string> lines;
    std::vector<RemoteEntry> files, folders;
  };
  const auto entries = [](const RemoteEntryList& list) {
    std::vector<RemoteEntry> all;
    for (int i = 0; i < list.Count(); ++i) all.push_back(list.GetEntry(i));
    return all;
  };
  std::optional<Result> whole;
  for (int piece : {0, 1, 2, 3, 7, 50}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece) + " bytes");
    FakeFtpServer server;
    FakeTransfer transfer = FakeTransfer::Sending(listing);
    if (piece > 0) transfer = transfer.Paced(static_cast<uint64_t>(piece), 1ms);
    server.OnTransfer("LIST", transfer);
    LogIn(server, false);
    ASSERT_TRUE(Run([&] { ftp_->ListDirectory(); }));
    Result result{ftp_->RawListing().ToVector(), entries(ftp_->CurrentFiles()),
                  entries(ftp_->CurrentFolders())};
    if (!whole) {
      ASSERT_EQ(result.lines.size(), 10u);
      EXPECT_EQ(result.lines[8], "-rw-r--r--   1 ftp ftp 9 Jan 01  2020 nul");
      EXPECT_EQ(result.lines[9], "-rw-r--r--   1 ftp ftp 5 Jan 01  2020 last");
      ASSERT_EQ(result.files.size(), 8u);
      EXPECT_EQ(result.files[5].FileName, "file5.dat");
      EXPECT_EQ(result.files[5].Size, "5000");
      ASSERT_EQ(result.folders.size(), 1u);
      EXPECT_EQ(result.folders[0].FileName, "sub");
      whole = result;
    } else {
      EXPECT_EQ(result.lines, whole->lines);
      EXPECT_EQ(result.files, whole->files);
      EXPECT_EQ(result.folders, whole->folders);
    }
    Renew();
  }
}

}  // namespace
}  // namespace tarsil::testing

// The listing request beyond the data cases (cases/listing.case): binary garbage and very long
// lines in a listing.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace tarsil::testing

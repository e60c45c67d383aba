// The directory commands beyond the data cases (cases/directory.case): RMD deleting the
// listing-cache files, and raw commands forgetting the transfer type.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TransferHarness.h"
#include "listing/ListingCache.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

TEST_F(TransferTest, RemovingADirectoryDeletesItsCachedListing) {
  ListingCache cache(dir_.str() + "/ftpcache");
  ASSERT_TRUE(cache.PrepareCacheDirectory());
  FakeFtpServer server;
  server.On("PWD", "257 \"/pub\"\r\n");
  server.On("RMD", "250 Removed.\r\n");
  LogIn(server);
  ftp_->SetListingCache(&cache);
  RemoteEntryList list;
  list.AddEntry("f", "-rw-r--r--", "1/1/20 12:00 AM", "1", "", "o", "g", "");
  for (const char* path : {"/pub/sub", "/tmp/x", "/pub/other"}) {
    for (CachedListKind kind : {CachedListKind::kFolders, CachedListKind::kFiles}) {
      cache.SaveCachedList(
          cache.CacheFileName(ftp_->Server(), "anonymous", path, kind, ftp_->Port()), list);
    }
  }
  const auto cached = [&](const char* path) {
    return std::filesystem::exists(cache.CacheFileName(ftp_->Server(), "anonymous", path,
                                                       CachedListKind::kFiles, ftp_->Port()));
  };
  ASSERT_TRUE(cached("/pub/sub"));
  ASSERT_TRUE(Run([&] { ftp_->RemoveDir(" sub "); }));
  EXPECT_EQ(Commands(), Strings{"RMD  sub "});
  EXPECT_FALSE(cached("/pub/sub"));
  ASSERT_TRUE(Run([&] { ftp_->RemoveDir("/tmp/x"); }));
  EXPECT_FALSE(cached("/tmp/x"));
  EXPECT_TRUE(cached("/pub/other"));
  EXPECT_EQ(Events().back(), "removed");
}

TEST_F(TransferTest, RawCommandForgetsTheTransferType) {
  FakeFtpServer server;
  server.ServeData("RETR a.bin", "abc");
  LogIn(server, true);
  const std::string local = dir_.str() + "/a.bin";
  for (const char* raw : {"NOOP", "SITE UMASK 022"}) {
    ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
    ASSERT_TRUE(std::filesystem::remove(local));
    ASSERT_TRUE(Run([&] { ftp_->SendRawCommand(raw); }));
  }
  ASSERT_TRUE(Run([&] { ftp_->RetrieveFile("a.bin", local); }));
  EXPECT_EQ(std::count(Commands().begin(), Commands().end(), "TYPE I"), 3);
}

}  // namespace
}  // namespace tarsil::testing

// The directory and file commands against the scripted fake server: what each sends, how its
// reply handler decides, the completion event it ends with, and CurrentDirectory afterwards; RMD
// deleting the listing-cache files; raw commands forgetting the transfer type; the commands that
// do nothing at all; and the synchronous mode.
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

const std::string kDenied = "error ftpErrorAccessDenied Access denied or file not found";

TEST_F(TransferTest, DirectoryCommandsAndTheirReplies) {
  struct Case {
    const char* name;
    std::function<void(FtpEngine&)> request;
    std::vector<std::pair<std::string, std::vector<FakeReply>>> rules;
    Strings commands;
    Strings events;
    std::string directory;  // CurrentDirectory afterwards (after login: "/")
  };
  const FakeReply root = "257 \"/\"\r\n";  // the login's PWD
  const Case cases[] = {
      {"CWD quoting its path",
       [](FtpEngine& f) { f.ChangeDir("/pub"); },
       {{"CWD", {"250 \"/pub\" is the current directory.\r\n"}}},
       {"CWD /pub"},
       {"busy", "ready", "changed"},
       "/pub"},
      {"CWD then PWD",
       [](FtpEngine& f) { f.ChangeDir("x"); },
       {{"PWD", {root, "257 \"/pub/x\" is it.\r\n"}}},
       {"CWD x", "PWD"},
       {"busy", "ready", "changed"},
       "/pub/x"},
      {"CWD refused",
       [](FtpEngine& f) { f.ChangeDir("nope"); },
       {{"CWD", {"550 No.\r\n"}}},
       {"CWD nope"},
       {"busy", kDenied, "ready", "changed"},
       ""},
      {"PWD refused",
       [](FtpEngine& f) { f.ChangeDir("x"); },
       {{"PWD", {root, "550 No.\r\n"}}},
       {"CWD x", "PWD"},
       {"busy", "error ftpErrorCommandFailed ", "ready", "changed"},
       "/"},
      {"CDUP",
       [](FtpEngine& f) { f.ParentDir(); },
       {{"CDUP", {"250 Okay.\r\n"}}, {"PWD", {root, "257 \"/up\"\r\n"}}},
       {"CDUP", "PWD"},
       {"busy", "ready", "changed"},
       "/up"},
      {"MKD",
       [](FtpEngine& f) { f.CreateDir("new dir"); },
       {{"MKD", {"257 \"/new dir\"\r\n"}}},
       {"MKD new dir"},
       {"busy", "ready", "created"},
       "/"},
      {"MKD refused",
       [](FtpEngine& f) { f.CreateDir("x"); },
       {{"MKD", {"550 No.\r\n"}}},
       {"MKD x"},
       {"busy", kDenied, "ready", "created"},
       "/"},
      {"RMD refused",
       [](FtpEngine& f) { f.RemoveDir("x"); },
       {{"RMD", {"550 No.\r\n"}}},
       {"RMD x"},
       {"busy", kDenied, "ready", "removed"},
       "/"},
      {"DELE",
       [](FtpEngine& f) { f.DeleteRemoteFile("a b.txt"); },
       {{"DELE", {"250 Gone.\r\n"}}},
       {"DELE a b.txt"},
       {"busy", "ready", "deleted"},
       "/"},
      {"DELE refused",
       [](FtpEngine& f) { f.DeleteRemoteFile("a"); },
       {{"DELE", {"550 No.\r\n"}}},
       {"DELE a"},
       {"busy", kDenied, "ready", "deleted"},
       "/"},
      {"rename",
       [](FtpEngine& f) { f.RenameRemoteFile("a", "b"); },
       {{"RNFR", {"350 Ready.\r\n"}}, {"RNTO", {"250 Done.\r\n"}}},
       {"RNFR a", "RNTO b"},
       {"busy", "ready", "renamed"},
       "/"},
      {"RNFR refused",
       [](FtpEngine& f) { f.RenameRemoteFile("a", "b"); },
       {{"RNFR", {"550 No.\r\n"}}},
       {"RNFR a"},
       {"busy", kDenied, "ready", "renamed"},
       "/"},
      {"RNTO refused",
       [](FtpEngine& f) { f.RenameRemoteFile("a", "b"); },
       {{"RNFR", {"350 Ready.\r\n"}}, {"RNTO", {"553 No.\r\n"}}},
       {"RNFR a", "RNTO b"},
       {"busy", kDenied, "ready", "renamed"},
       "/"},
      {"raw command",
       [](FtpEngine& f) { f.SendRawCommand("SITE CHMOD 644 a"); },
       {{"SITE", {"200 Done.\r\n"}}},
       {"SITE CHMOD 644 a"},
       {"busy", "ready"},
       "/"},
      {"raw command refused",
       [](FtpEngine& f) { f.SendRawCommand("HELP"); },
       {},
       {"HELP"},
       {"busy", kDenied, "ready"},
       "/"},
      {"empty raw command", [](FtpEngine& f) { f.SendRawCommand(""); }, {}, {}, {"ready"}, "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer server;
    for (const auto& [pattern, replies] : c.rules) server.OnSequence(pattern, replies);
    LogIn(server);
    ASSERT_EQ(ftp_->CurrentDirectory(), "/");
    ASSERT_TRUE(Run([&] { c.request(*ftp_); }));
    EXPECT_EQ(Commands(), c.commands);
    EXPECT_EQ(Events(), c.events);
    EXPECT_EQ(ftp_->CurrentDirectory(), c.directory);
    Renew();
  }
}

TEST_F(TransferTest, CommandsWithNothingToDoDoNothing) {
  FakeFtpServer server;
  LogIn(server);
  ftp_->DeleteRemoteFile("");
  ftp_->RemoveDir("");
  ftp_->RenameRemoteFile("same", "same");
  ftp_->RenameRemoteFile("", "b");
  loop_.ProcessMessages();
  EXPECT_TRUE(Events().empty());
  EXPECT_TRUE(Commands().empty());
  EXPECT_FALSE(ftp_->Busy());
}

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

TEST_F(TransferTest, SynchronousParentDirReturnsWhenItHasEnded) {
  FakeFtpServer server;
  server.On("CDUP", FakeReply("250 Okay.\r\n").Delayed(50ms));
  LogIn(server);
  ftp_->SetAsynchronous(false);
  ftp_->ParentDir();
  EXPECT_FALSE(ftp_->Busy());
  EXPECT_EQ(Events(), (Strings{"busy", "ready", "changed"}));
}

}  // namespace
}  // namespace tarsil::testing

// Failures inside one line of a run: each is written as a "999 " line and leaves the state Error,
// and the run goes on with the next line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"
#include "script/ScriptRunner.h"
#include "support/FakeFtpServer.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FakeFtpServer;
using ::tarsil::testing::FakeHost;
using ::tarsil::testing::TempDir;

class LineFailureTest : public ::testing::Test {
 protected:
  LineFailureTest()
      : store_((home_.path() / "settings.reg").string()),
        values_(store_),
        ftp_(loop_),
        runner_(host_, ftp_, values_) {
    ftp_.Log = &ftp_log_;
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(work_.path());
  }
  ~LineFailureTest() override { std::filesystem::current_path(old_dir_); }

  bool HostLogged(const std::string& line) const {
    return std::find(host_.log.begin(), host_.log.end(), line) != host_.log.end();
  }

  TempDir home_;
  TempDir work_;
  std::filesystem::path old_dir_;
  PollEventLoop loop_;
  SettingsStore store_;
  StoredValues values_;
  ExecutionLog ftp_log_;
  FtpSession ftp_;
  FakeHost host_;
  ScriptRunner runner_;
  FakeFtpServer server_;
};

TEST_F(LineFailureTest, AListingThatCannotBeWrittenIsAnError) {
  std::filesystem::create_directory(work_.path() / "out");
  server_.ServeData("LIST", "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 a.txt\r\n");
  runner_.Run({"Open 127.0.0.1:" + std::to_string(server_.port()), "Login user pw", "Dir >list.txt",
               "Dir >out"});
  EXPECT_TRUE(HostLogged("999 Cannot write the listing to out"));
  EXPECT_FALSE(HostLogged("999 Cannot write the listing to list.txt"));
  EXPECT_FALSE(runner_.ResultState());
  EXPECT_NE(TempDir::Read(work_.path() / "list.txt").find("a.txt"), std::string::npos);
}

TEST_F(LineFailureTest, AValueTheStoreRefusesIsAnErrorAndNothingIsStored) {
  runner_.SetResultState(true);
  const std::string line = "set v=a" + std::string(1, '\n') + "b";
  runner_.Run({line, "Rem next"});
  ASSERT_EQ(host_.log.size(), 5u);
  EXPECT_EQ(host_.log[2].rfind("999 set v: ", 0), 0u);  // the name, never the value
  EXPECT_EQ(host_.log[2].find("a\nb"), std::string::npos);
  EXPECT_EQ(host_.log[3], "Rem next");
  EXPECT_FALSE(runner_.ResultState());
  EXPECT_EQ(values_.Lookup("v"), "");

  // A step says the same.
  runner_.SetResultState(true);
  host_.log.clear();
  runner_.Step({line}, 0);
  EXPECT_FALSE(runner_.ResultState());
  ASSERT_EQ(host_.log.size(), 2u);
  EXPECT_EQ(host_.log[1].rfind("999 set v: ", 0), 0u);

  // A value it can store leaves the state as it was.
  runner_.Run({"set v=ab"});
  EXPECT_FALSE(runner_.ResultState());
  EXPECT_EQ(values_.Lookup("v"), "ab");
}

TEST_F(LineFailureTest, AFailureRaisedInsideALineIsLoggedNotSwallowed) {
  runner_.SetResultState(true);
  runner_.Run({"lmdel [z", "Rem next"});
  ASSERT_GE(host_.log.size(), 4u);
  EXPECT_EQ(host_.log[1], "lmdel [z");
  EXPECT_EQ(host_.log[2].rfind("999 ", 0), 0u);
  EXPECT_EQ(host_.log[3], "Rem next");
  EXPECT_FALSE(runner_.ResultState());
}

}  // namespace
}  // namespace tarsil

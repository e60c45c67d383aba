// The engine against each real server of the test fixtures: a direct login with SYST detection
// and the restart probe, a keep-alive NOOP, QUIT, and a refused password with a retry. Tests whose
// name holds "RealServer" get the server's CTest fixture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineHarness.h"
#include "support/RealServers.h"

namespace tarsil::testing {
namespace {

class FtpRealServerTest : public EngineTest, public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::string error;
    const std::optional<RealServer> found = FindRealServer(GetParam(), &error);
    ASSERT_TRUE(found) << error;
    server_ = *found;
    Direct(static_cast<uint16_t>(server_.port), server_.address);
    ftp_->SetUsername(server_.user);
    ftp_->SetPassword(server_.password);
    ftp_->SetTimeOut(10);
    recorder_.secrets = {server_.password, "wrong-pass"};
  }

  RealServer server_;
};

TEST_P(FtpRealServerTest, LogsInDetectsTypeKeepsAliveAndQuits) {
  // The probe runs in the server's starting type (ASCII); proftpd and pyftpdlib refuse REST there
  // ("501 ... not allowed in ASCII mode"), so they count as servers that cannot resume.
  const bool resumes = GetParam() == "vsftpd" || GetParam() == "pureftpd";
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("loggedin", 15s)) << "server log: " << server_.log;
  EXPECT_EQ(
      recorder_.events,
      (std::vector<std::string>{
          "info ftpInfoConnected " + server_.address,
          resumes ? "info ftpInfoResumeSupported This site can resume broken downloads/uploads"
                  : "info ftpInfoResumeNotSupported This site cannot resume broken "
                    "downloads/uploads",
          "info ftpInfoLoggedIn Logged in", "ready", "loggedin"}));
  std::vector<std::string> commands = {
      "USER " + server_.user, "PASS (want to know) :-P", "SYST", "REST 100", "REST 0", "PWD"};
  if (!resumes) commands.erase(commands.begin() + 4);
  EXPECT_EQ(recorder_.commands, commands);
  EXPECT_EQ(ftp_->ServerType(), ftpstUNIX);
  EXPECT_EQ(ftp_->ResumeSupported(), resumes);
  EXPECT_EQ(ftp_->CurrentDirectory(), "/");
  EXPECT_EQ(ftp_->LastReply().substr(0, 4), "257 ");

  // Keep-alive: one NOOP after a second of idleness, no event, the engine idle again.
  recorder_.events.clear();
  ftp_->SetNoopInterval(1);
  ASSERT_TRUE(RunUntil([&] { return recorder_.commands.back() == "NOOP" && !ftp_->Busy(); }, 5s));
  EXPECT_TRUE(ftp_->NoopSupported());
  EXPECT_EQ(ftp_->LastReply().substr(0, 4), "200 ");
  EXPECT_TRUE(recorder_.events.empty());

  ftp_->QuitServer();
  ASSERT_TRUE(RunUntilQuiet(10s));
  EXPECT_EQ(recorder_.commands.back(), "QUIT");
  EXPECT_EQ(ftp_->LastReply().substr(0, 4), "221 ");
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"busy", "info ftpInfoRetryFinished Retry Finished",
                                      "info ftpInfoDisconnected Disconnected", "quit", "ready"}));
  EXPECT_FALSE(ftp_->Connected());
}

TEST_P(FtpRealServerTest, WrongPasswordIsRetriedThenGivenUp) {
  ftp_->SetPassword("wrong-pass");
  ftp_->SetRetries(1);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet(40s));
  EXPECT_EQ(recorder_.commands,
            (std::vector<std::string>{"USER " + server_.user, "PASS (want to know) :-P",
                                      "USER " + server_.user, "PASS (want to know) :-P"}));
  EXPECT_EQ(recorder_.Count("error ftpErrorPasswordRejected "), 2u);
  EXPECT_EQ(recorder_.Count("info ftpInfoRetrying Retrying..."), 1u);
  EXPECT_EQ(recorder_.events.back(), "ready");
  EXPECT_FALSE(recorder_.Has("loggedin"));
  EXPECT_FALSE(ftp_->Connected());
}

INSTANTIATE_TEST_SUITE_P(RealServer, FtpRealServerTest, ::testing::ValuesIn(RealServerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tarsil::testing

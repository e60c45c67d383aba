// The login chain against the scripted fake server: every branch of it and each proxy form, with
// the commands the server received asserted exactly and the engine's events in order.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {
namespace {

const std::vector<std::string> kLoggedInEvents = {
    "info ftpInfoConnected 127.0.0.1",
    "info ftpInfoResumeSupported This site can resume broken downloads/uploads",
    "info ftpInfoLoggedIn Logged in", "ready", "loggedin"};

const std::string kResumeSupported =
    "info ftpInfoResumeSupported This site can resume broken downloads/uploads";

// A login that fails with `error` and, with Retries 0, ends the connection; `before` are the
// notices raised on the way.
std::vector<std::string> FailedEvents(const std::string& error,
                                      const std::vector<std::string>& before = {}) {
  std::vector<std::string> events = {"info ftpInfoConnected 127.0.0.1"};
  events.insert(events.end(), before.begin(), before.end());
  events.insert(events.end(), {"error " + error + " ", "info ftpInfoRetryFinished Retry Finished",
                               "info ftpInfoDisconnected Disconnected", "quit", "ready"});
  return events;
}

struct LoginCase {
  std::string name;
  std::function<void(FakeFtpServer&, FtpEngine&)> setup;
  std::vector<std::string> commands;     // as the server received them
  std::vector<std::string> events = {};  // empty: the plain successful login
  std::function<void(FtpEngine&)> check = nullptr;
};

class FtpLoginTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    server_ = std::make_unique<FakeFtpServer>();
    Direct(server_->port());
    ftp_->SetUsername("alice");
    ftp_->SetPassword("s3cret");
    ftp_->SetRetries(0);
    recorder_.secrets = {"s3cret", "gatepw", "budget-42"};
  }

  void RunCase(const LoginCase& row) {
    SCOPED_TRACE(row.name);
    if (row.setup) row.setup(*server_, *ftp_);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("ready"));
    loop_.ProcessMessages();
    const bool logged_in = recorder_.Has("loggedin");
    if (!logged_in) {
      ASSERT_TRUE(RunUntilQuiet());
    }
    EXPECT_EQ(server_->Commands(), row.commands);
    EXPECT_EQ(recorder_.events, row.events.empty() ? kLoggedInEvents : row.events);
    EXPECT_EQ(ftp_->LoggedIn(), logged_in);
    EXPECT_EQ(ftp_->Connected(), logged_in);
    if (row.check) row.check(*ftp_);
  }

  // The server goes first, so that every socket of the test is closed for the check.
  void TearDown() override {
    server_.reset();
    EngineTest::TearDown();
  }

  std::unique_ptr<FakeFtpServer> server_;
};

const std::vector<std::string> kFullChain = {"USER alice", "PASS s3cret", "SYST",
                                             "REST 100",   "REST 0",      "PWD"};

TEST_F(FtpLoginTest, DirectLoginWithMultiLineGreeting) {
  RunCase({"multi-line greeting",
           [](FakeFtpServer& server, FtpEngine&) {
             server.SetGreeting("220-Welcome\r\n  to the fake\r\n220-more\r\n220 ready\r\n");
           },
           kFullChain,
           {},
           [this](FtpEngine& ftp) {
             EXPECT_EQ(ftp.ServerType(), ftpstUNIX);
             EXPECT_TRUE(ftp.ResumeSupported());
             EXPECT_EQ(ftp.CurrentDirectory(), "/");
             EXPECT_EQ(ftp.LastReply(), "257 \"/\"");
             EXPECT_EQ(ftp.CurrentOperation(), FtpOperation::kIdle);
             EXPECT_FALSE(ftp.Busy());
             EXPECT_EQ(recorder_.commands,
                       (std::vector<std::string>{"USER alice", "PASS (want to know) :-P", "SYST",
                                                 "REST 100", "REST 0", "PWD"}));
           }});
}

TEST_F(FtpLoginTest, ReplySplitIntoSingleBytes) {
  RunCase({"bytes", [](FakeFtpServer& server, FtpEngine&) { server.SplitRepliesIntoBytes(true); },
           kFullChain});
}

TEST_F(FtpLoginTest, UserAcceptedWithoutPassword) {
  RunCase({"USER 230",
           [](FakeFtpServer& server, FtpEngine&) { server.On("USER", "230 In.\r\n"); },
           {"USER alice", "SYST", "REST 100", "REST 0", "PWD"}});
}

TEST_F(FtpLoginTest, AccountAskedAndMasked) {
  RunCase({"PASS 332",
           [](FakeFtpServer& server, FtpEngine& ftp) {
             server.On("PASS", "332 Need account.\r\n");
             server.On("ACCT", "230 In.\r\n");
             ftp.OnFtpNeedInfo = [](FtpEngine&, FtpInfoNeeded need, std::string& value) {
               EXPECT_EQ(need, needAccount);
               EXPECT_EQ(value, "");
               value = "budget-42";
             };
           },
           {"USER alice", "PASS s3cret", "ACCT budget-42", "SYST", "REST 100", "REST 0", "PWD"},
           {},
           [this](FtpEngine& ftp) {
             EXPECT_EQ(ftp.Account(), "budget-42");  // the answer stays in the property
             EXPECT_EQ(recorder_.commands[2], "ACCT (want to know) :-P");
           }});
}

TEST_F(FtpLoginTest, UserRefused) {
  RunCase({"USER 530",
           [](FakeFtpServer& s, FtpEngine&) { s.On("USER", "530 No.\r\n"); },
           {"USER alice"},
           FailedEvents("ftpErrorPasswordRejected")});
}

TEST_F(FtpLoginTest, PasswordRefused) {
  RunCase({"PASS 530",
           [](FakeFtpServer& s, FtpEngine&) { s.On("PASS", "530 Login incorrect.\r\n"); },
           {"USER alice", "PASS s3cret"},
           FailedEvents("ftpErrorPasswordRejected")});
}

TEST_F(FtpLoginTest, AccountRefused) {
  RunCase({"ACCT 530",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             s.On("PASS", "332 Account.\r\n");
             s.On("ACCT", "530 No.\r\n");
             ftp.SetAccount("budget-42");
           },
           {"USER alice", "PASS s3cret", "ACCT budget-42"},
           FailedEvents("ftpErrorPasswordRejected")});
}

TEST_F(FtpLoginTest, ServerTypeAndRestartProbe) {
  RunCase({"SYST 500, REST 502",
           [](FakeFtpServer& s, FtpEngine&) {
             s.On("SYST", "500 What?\r\n");
             s.On("REST", "502 No restart.\r\n");
           },
           {"USER alice", "PASS s3cret", "SYST", "REST 100", "PWD"},
           {"info ftpInfoConnected 127.0.0.1",
            "info ftpInfoResumeNotSupported This site cannot resume broken downloads/uploads",
            "info ftpInfoLoggedIn Logged in", "ready", "loggedin"},
           [](FtpEngine& ftp) {
             EXPECT_EQ(ftp.ServerType(), ftpstDefault);
             EXPECT_FALSE(ftp.ResumeSupported());
           }});
}

TEST_F(FtpLoginTest, KnownServerTypeSendsNoSyst) {
  RunCase({"preset type",
           [](FakeFtpServer&, FtpEngine& ftp) { ftp.SetServerType(ftpstMSFTP); },
           {"USER alice", "PASS s3cret", "REST 100", "REST 0", "PWD"},
           {},
           [](FtpEngine& ftp) { EXPECT_EQ(ftp.ServerType(), ftpstMSFTP); }});
}

TEST_F(FtpLoginTest, InitialDirectoryQuotedInCwdReplyNeedsNoPwd) {
  RunCase({"CWD quoted",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             ftp.SetInitialDirectory("/pub");
             s.On("CWD", "250 \"/pub\" is the current directory.\r\n");
           },
           {"USER alice", "PASS s3cret", "SYST", "REST 100", "REST 0", "CWD /pub"},
           {},
           [](FtpEngine& ftp) { EXPECT_EQ(ftp.CurrentDirectory(), "/pub"); }});
}

TEST_F(FtpLoginTest, InitialDirectoryWithoutQuoteOrRefusedAsksPwd) {
  RunCase({"CWD plain",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             ftp.SetInitialDirectory("/pub");
             s.On("PWD", "257 \"/pub\"\r\n");
           },
           {"USER alice", "PASS s3cret", "SYST", "REST 100", "REST 0", "CWD /pub", "PWD"},
           {},
           [](FtpEngine& ftp) { EXPECT_EQ(ftp.CurrentDirectory(), "/pub"); }});
}

TEST_F(FtpLoginTest, RefusedInitialDirectoryIsNoFailure) {
  RunCase({"CWD 550",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             ftp.SetInitialDirectory("/nope");
             s.On("CWD", "550 No such directory.\r\n");
             s.On("PWD", "257 \"/home/alice\"\r\n");
           },
           {"USER alice", "PASS s3cret", "SYST", "REST 100", "REST 0", "CWD /nope", "PWD"},
           {},
           [](FtpEngine& ftp) { EXPECT_EQ(ftp.CurrentDirectory(), "/home/alice"); }});
}

TEST_F(FtpLoginTest, RefusedPwdFailsTheLoginWithoutLoggedIn) {
  RunCase({"PWD 550", [](FakeFtpServer& s, FtpEngine&) { s.On("PWD", "550 No.\r\n"); }, kFullChain,
           FailedEvents("ftpErrorCommandFailed", {kResumeSupported})});
}

TEST_F(FtpLoginTest, DrivePathsOfNetTermAndServU) {
  RunCase({"NetTerm greeting",
           [](FakeFtpServer& s, FtpEngine&) {
             s.SetGreeting("220 NetTerm FTP server ready\r\n");
             s.On("PWD", "257 \"E:\\pub\" is current.\r\n");
           },
           {"USER alice", "PASS s3cret", "REST 100", "REST 0", "PWD"},
           {},
           [](FtpEngine& ftp) {
             EXPECT_EQ(ftp.ServerType(), ftpstNetTerm);
             EXPECT_EQ(ftp.CurrentDirectory(), "/pub");
           }});
}

TEST_F(FtpLoginTest, DrivePathOfServU) {
  RunCase({"ServU",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             ftp.SetServerType(ftpstServU);
             s.On("PWD", "257 \"/E:/pub\" is current.\r\n");
           },
           {"USER alice", "PASS s3cret", "REST 100", "REST 0", "PWD"},
           {},
           [](FtpEngine& ftp) { EXPECT_EQ(ftp.CurrentDirectory(), "/pub"); }});
}

TEST_F(FtpLoginTest, MissingUserAndPasswordAreAsked) {
  std::vector<FtpInfoNeeded> asked;
  RunCase({"asked",
           [&asked](FakeFtpServer&, FtpEngine& ftp) {
             ftp.SetUsername("");
             ftp.SetPassword("");
             ftp.OnFtpNeedInfo = [&asked](FtpEngine&, FtpInfoNeeded need, std::string& value) {
               asked.push_back(need);
               value = need == needUser ? "bob" : "s3cret";
             };
           },
           {"USER bob", "PASS s3cret", "SYST", "REST 100", "REST 0", "PWD"},
           {},
           [](FtpEngine& ftp) {
             EXPECT_EQ(ftp.Username(), "bob");
             EXPECT_EQ(ftp.Password(), "s3cret");
           }});
  EXPECT_EQ(asked, (std::vector<FtpInfoNeeded>{needUser, needPassword}));
}

TEST_F(FtpLoginTest, EmptyAnswerIsSentAsItIs) {
  RunCase({"empty user",
           [](FakeFtpServer& s, FtpEngine& ftp) {
             ftp.SetUsername("");
             s.On("USER", "530 Who?\r\n");
           },
           {"USER "},
           FailedEvents("ftpErrorPasswordRejected")});
}

TEST_F(FtpLoginTest, NegativeGreetingIsRejected) {
  RunCase({"421",
           [](FakeFtpServer& s, FtpEngine&) { s.SetGreeting("421 Too many users.\r\n"); },
           {},
           FailedEvents("ftpErrorUserRejected")});
}

// ---- Proxies -------------------------------------------------------------------------------

struct ProxyCase {
  std::string name;
  FtpProxyType type;
  uint16_t target_port;
  std::function<void(FakeFtpServer&)> script;
  std::vector<std::string> commands;
  std::string error;  // empty: logged in
};

class FtpProxyTest : public FtpLoginTest {
 protected:
  void RunProxy(const ProxyCase& row) {
    SCOPED_TRACE(row.name);
    ftp_->SetServer("ftp.example");
    ftp_->SetPort(row.target_port);
    ftp_->SetProxyType(row.type);
    ftp_->SetProxyServer(" 127.0.0.1 ");
    ftp_->SetProxyPort(server_->port());
    ftp_->SetProxyUsername("gate");
    ftp_->SetProxyPassword("gatepw");
    RunCase({row.name,
             [&row](FakeFtpServer& s, FtpEngine&) {
               if (row.script) row.script(s);
             },
             row.commands, row.error.empty() ? std::vector<std::string>{} : FailedEvents(row.error),
             [&row](FtpEngine& ftp) {
               // The real target is back in place whatever the outcome.
               EXPECT_EQ(ftp.Server(), "ftp.example");
               EXPECT_EQ(ftp.Port(), row.target_port);
             }});
  }
};

const std::vector<std::string> kAfterUser = {"PASS s3cret", "SYST", "REST 100", "REST 0", "PWD"};

std::vector<std::string> Then(std::vector<std::string> first, std::vector<std::string> rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

#define PROXY_TEST(Name, ...) \
  TEST_F(FtpProxyTest, Name) { RunProxy(ProxyCase{#Name, __VA_ARGS__}); }

PROXY_TEST(
    HostForm, proxyHost, 2121, [](FakeFtpServer& s) { s.On("HOST", "331 Host ok.\r\n"); },
    Then({"HOST ftp.example", "USER alice"}, kAfterUser), "")
PROXY_TEST(
    HostFormRefusedWithTwoHundred, proxyHost, 21,
    [](FakeFtpServer& s) { s.On("HOST", "220 Host ok?\r\n"); }, {"HOST ftp.example"},
    "ftpErrorUserRejected")
PROXY_TEST(HostUserFormOnPort21, proxyHostUser, 21, nullptr,
           Then({"USER ftp.example!alice"}, kAfterUser), "")
PROXY_TEST(HostUserFormOnOtherPort, proxyHostUser, 2121, nullptr,
           Then({"USER ftp.example:2121!alice"}, kAfterUser), "")
PROXY_TEST(
    OpenForm, proxyOpen, 2121, [](FakeFtpServer& s) { s.On("OPEN", "220 Open.\r\n"); },
    Then({"OPEN ftp.example", "USER alice"}, kAfterUser), "")
PROXY_TEST(
    OpenFormRefused, proxyOpen, 21, [](FakeFtpServer& s) { s.On("OPEN", "500 No.\r\n"); },
    {"OPEN ftp.example"}, "ftpErrorUserRejected")
PROXY_TEST(
    SiteFormWithProxyPassword, proxySite, 2121,
    [](FakeFtpServer& s) { s.On("SITE", "200 Site ok.\r\n"); },
    Then({"USER gate", "PASS gatepw", "SITE ftp.example", "USER alice"}, kAfterUser), "")
PROXY_TEST(
    SiteFormWithoutProxyPassword, proxySite, 21,
    [](FakeFtpServer& s) {
      s.OnSequence("USER", {"230 Proxy user ok.\r\n"});
      s.On("SITE", "200 Site ok.\r\n");
    },
    Then({"USER gate", "SITE ftp.example", "USER alice"}, kAfterUser), "")
PROXY_TEST(
    SiteFormProxyPasswordRefused, proxySite, 21,
    [](FakeFtpServer& s) { s.OnSequence("PASS", {"530 No.\r\n"}); }, {"USER gate", "PASS gatepw"},
    "ftpErrorPasswordRejected")
PROXY_TEST(
    SiteFormSiteRefused, proxySite, 21, [](FakeFtpServer& s) { s.On("SITE", "500 No.\r\n"); },
    {"USER gate", "PASS gatepw", "SITE ftp.example"}, "ftpErrorCommandFailed")
PROXY_TEST(UserSiteFormOnPort21, proxyUserSite, 21, nullptr,
           Then({"USER alice@ftp.example"}, kAfterUser), "")
PROXY_TEST(UserSiteFormOnOtherPort, proxyUserSite, 2121, nullptr,
           Then({"USER alice@ftp.example:2121"}, kAfterUser), "")

TEST_F(FtpProxyTest, BlankProxyServerMeansDirect) {
  ftp_->SetProxyType(proxyHost);
  ftp_->SetProxyServer("   ");
  RunCase({"blank proxy", nullptr, kFullChain});
  EXPECT_EQ(ftp_->ProxyType(), proxyNone);
}

TEST_F(FtpProxyTest, RetryThroughProxyStillNamesTheRealServer) {
  ftp_->SetRetries(1);
  ftp_->SetServer("ftp.example");
  ftp_->SetPort(2121);
  ftp_->SetProxyType(proxyHost);
  ftp_->SetProxyServer("127.0.0.1");
  ftp_->SetProxyPort(server_->port());
  server_->On("HOST", "421 Later.\r\n");
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(server_->Commands(),
            (std::vector<std::string>{"HOST ftp.example", "HOST ftp.example"}));
  EXPECT_EQ(recorder_.Count("error ftpErrorUserRejected "), 2u);
  EXPECT_EQ(ftp_->Server(), "ftp.example");
  EXPECT_EQ(ftp_->Port(), 2121);
}

}  // namespace
}  // namespace tarsil::testing

// The control connection under faults: refused, unknown host, a look-up that never ends, a server
// that never greets or leaves at once, retries, resets, endless replies, smuggled line ends, abort,
// keep-alive, QUIT and the listener slots. Each test ends with the engine's notices in order and,
// in TearDown, nothing of the engine left in the loop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "net/SocketErrors.h"
#include "platform/UniqueFd.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {
namespace {

const std::vector<std::string> kEnd = {"info ftpInfoRetryFinished Retry Finished",
                                       "info ftpInfoDisconnected Disconnected", "quit", "ready"};

std::vector<std::string> Then(std::vector<std::string> first,
                              const std::vector<std::string>& rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
 public:
  RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  uint16_t port() const { return port_; }

 private:
  UniqueFd fd_;
  uint16_t port_ = 0;
};

// Look-ups wait here until the test lets them go.
class GatedResolver {
 public:
  GatedResolver() {
    HostLookup::SetResolverForTesting([this](const std::string&) {
      std::unique_lock lock(mutex_);
      opened_.wait(lock, [this] { return open_; });
      return LookupResult{kWsaHostNotFound, 0};
    });
  }
  ~GatedResolver() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
    HostLookup::WaitForThreads(5s);
    HostLookup::SetResolverForTesting(nullptr);
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

class FtpConnectionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ftp_->SetUsername("alice");
    ftp_->SetPassword("s3cret");
    recorder_.secrets = {"s3cret"};
  }

  void LogIn(FakeFtpServer& server) {
    Direct(server.port());
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("loggedin"));
    recorder_.events.clear();
  }
};

TEST_F(FtpConnectionTest, RefusedConnectionIsRetriedThenGivenUp) {
  RefusingPort refusing;
  Direct(refusing.port());
  ftp_->SetRetries(1);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  const std::string refused = "error ftpErrorConnectionRefused Connection Refused";
  EXPECT_EQ(recorder_.events, Then({refused, "info ftpInfoRetrying Retrying...", refused}, kEnd));
  EXPECT_FALSE(ftp_->Connected());
  EXPECT_EQ(ftp_->RetriesLeft(), -1);
}

TEST_F(FtpConnectionTest, UnknownHostFailsTheLookUp) {
  // A label longer than 63 bytes can never resolve; no resolver is asked.
  const std::string host = std::string(70, 'a') + ".example";
  ftp_->SetServer(host);
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events, Then({"info ftpInfoResolving " + host,
                                    "error ftpErrorResolve Address resolution error"},
                                   kEnd));
}

TEST_F(FtpConnectionTest, LookUpThatNeverAnswersTimesOut) {
  GatedResolver gate;
  ftp_->SetServer("slow.example");
  ftp_->SetTimeOut(2);
  ftp_->SetCountdownInterval(10);
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events, Then({"info ftpInfoResolving slow.example",
                                    "error ftpErrorTimedOut Connection timed out"},
                                   kEnd));
  EXPECT_FALSE(ftp_->LookupPending());
}

TEST_F(FtpConnectionTest, ServerThatNeverGreetsWaitsUntilAborted) {
  FakeFtpServer server;
  server.NoGreeting();
  Direct(server.port());
  ftp_->SetTimeOut(1);
  ftp_->SetCountdownInterval(10);  // the connect's countdown would end after 10 ms
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("info ftpInfoConnected 127.0.0.1"));
  loop_.WaitWithMessages(100);  // ten countdown ticks: the countdown stopped at the connect
  EXPECT_EQ(recorder_.events, std::vector<std::string>{"info ftpInfoConnected 127.0.0.1"});
  EXPECT_STREQ(ftp_->WaitingHandler(), "Greeting");
  EXPECT_TRUE(ftp_->Connected());

  ftp_->AbortRequest();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{
                "info ftpInfoConnected 127.0.0.1", "info ftpInfoRetryFinished Retry Finished",
                "info ftpInfoDisconnected Disconnected", "aborted", "quit", "ready"}));
  EXPECT_TRUE(server.WaitForConnectionsClosed(1, 5s));
}

TEST_F(FtpConnectionTest, ServerClosingAfterGreetingIsAFailedAttempt) {
  FakeFtpServer server;
  server.CloseAfterGreeting();
  Direct(server.port());
  ftp_->SetRetries(1);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  // Each attempt fails with an error (the close itself, or the USER sent into it).
  EXPECT_EQ(recorder_.CountPrefix("error "), 2u);
  EXPECT_EQ(recorder_.CountPrefix("error ftpErrorConnectionAborted ") +
                recorder_.CountPrefix("error ftpErrorConnectionReset "),
            2u);
  EXPECT_EQ(recorder_.Count("info ftpInfoRetrying Retrying..."), 1u);
  EXPECT_EQ(std::vector<std::string>(recorder_.events.end() - 4, recorder_.events.end()), kEnd);
  EXPECT_FALSE(recorder_.Has("loggedin"));
  EXPECT_EQ(server.ConnectionsAccepted(), 2u);
}

TEST_F(FtpConnectionTest, NegativeGreetingIsTriedFourTimesWithDefaultRetries) {
  FakeFtpServer server;
  server.SetGreeting("421 Service not available.\r\n");
  Direct(server.port());
  ASSERT_EQ(ftp_->Retries(), 3);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(server.ConnectionsAccepted(), 4u);
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(recorder_.Count("error ftpErrorUserRejected "), 4u);
  EXPECT_EQ(recorder_.Count("info ftpInfoRetrying Retrying..."), 3u);
  EXPECT_EQ(std::vector<std::string>(recorder_.events.end() - 4, recorder_.events.end()), kEnd);
}

TEST_F(FtpConnectionTest, RefusedPasswordWithThreeRetriesMakesFourAttempts) {
  FakeFtpServer server;
  server.On("PASS", "530 Login incorrect.\r\n");
  Direct(server.port());
  ftp_->SetRetries(3);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i) expected = Then(expected, {"USER alice", "PASS s3cret"});
  EXPECT_EQ(server.Commands(), expected);
  EXPECT_EQ(recorder_.Count("error ftpErrorPasswordRejected "), 4u);
  EXPECT_EQ(recorder_.Count("info ftpInfoRetrying Retrying..."), 3u);
  EXPECT_EQ(recorder_.Count("info ftpInfoRetryFinished Retry Finished"), 1u);
  EXPECT_FALSE(recorder_.Has("loggedin"));
  EXPECT_FALSE(ftp_->LoggedIn());
}

TEST_F(FtpConnectionTest, ResetInTheMiddleOfTheLogin) {
  FakeFtpServer server;
  server.ResetOn("PASS");
  Direct(server.port());
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER alice", "PASS s3cret"}));
  EXPECT_EQ(recorder_.events,
            Then({"info ftpInfoConnected 127.0.0.1",
                  "error ftpErrorConnectionReset Connection reset by remote side"},
                 kEnd));
}

TEST_F(FtpConnectionTest, EndlessReplyLinesFailTheConnection) {
  struct Row {
    std::function<void(FakeFtpServer&)> misbehave;
    std::string error;
  };
  const std::vector<Row> rows = {
      {[](FakeFtpServer& s) { s.EndlessLineOn("USER"); },
       "error ftpErrorConnectionAborted Reply line longer than 8192 bytes"},
      {[](FakeFtpServer& s) { s.EndlessMultiLineOn("USER"); },
       "error ftpErrorConnectionAborted Multi-line reply longer than 1048576 bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    FakeFtpServer server;
    row.misbehave(server);
    recorder_.events.clear();
    Direct(server.port());
    ftp_->SetRetries(0);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilQuiet(20s));
    EXPECT_EQ(recorder_.events, Then({"info ftpInfoConnected 127.0.0.1", row.error}, kEnd));
    EXPECT_TRUE(server.WaitForConnectionsClosed(1, 5s));
  }
}

TEST_F(FtpConnectionTest, LineEndsInsideACommandAreNeverSent) {
  struct Row {
    std::string user, directory;
    std::vector<std::string> sent;
    std::vector<std::string> notices = {};  // raised before the refusal
  };
  const std::vector<Row> rows = {
      {"alice\r\nDELE important", "", {}},
      {"alice\nDELE important", "", {}},
      {"alice",
       std::string("/pub\0DELE x", 11),
       {"USER alice", "PASS s3cret", "SYST", "REST 100", "REST 0"},
       {"info ftpInfoResumeSupported This site can resume broken downloads/uploads"}},
  };
  for (const Row& row : rows) {
    FakeFtpServer server;
    recorder_.events.clear();
    Direct(server.port());
    ftp_->SetUsername(row.user);
    ftp_->SetInitialDirectory(row.directory);
    ftp_->SetRetries(3);  // a retry would refuse the same value again: none is made
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilQuiet());
    EXPECT_EQ(recorder_.events,
              Then(Then(Then({"info ftpInfoConnected 127.0.0.1"}, row.notices),
                        {"error ftpErrorCommandFailed Command not sent: it holds a CR, LF or NUL "
                         "byte"}),
                   kEnd));
    ASSERT_TRUE(server.WaitForConnectionsClosed(1, 5s));
    EXPECT_EQ(server.Commands(), row.sent);
    EXPECT_EQ(server.ConnectionsAccepted(), 1u);
    EXPECT_EQ(server.RawInput().find("DELE"), std::string::npos);
  }
}

TEST_F(FtpConnectionTest, AbortDuringTheRetryWaitEndsIt) {
  RefusingPort refusing;
  Direct(refusing.port());
  ftp_->SetRetries(3);
  ftp_->SetRetryInterval(60);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("info ftpInfoRetrying Retrying..."));
  EXPECT_TRUE(ftp_->RetryWaiting());
  ftp_->AbortRequest();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"error ftpErrorConnectionRefused Connection Refused",
                                      "info ftpInfoRetrying Retrying...", "aborted",
                                      "info ftpInfoDisconnected Disconnected", "quit", "ready"}));
  EXPECT_FALSE(ftp_->RetryWaiting());
  EXPECT_EQ(loop_.LiveTimers(), 0u);  // no retry timer, no keep-alive
}

TEST_F(FtpConnectionTest, NoServerNameAsksTheOwner) {
  std::vector<FtpInfoNeeded> asked;
  ftp_->OnFtpNeedInfo = [&asked](FtpEngine&, FtpInfoNeeded need, std::string& value) {
    asked.push_back(need);
    value = "  ";
  };
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("ready"));
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"error ftpErrorNoServer ", "ready"}));
  EXPECT_EQ(asked, std::vector<FtpInfoNeeded>{needServer});

  FakeFtpServer server;
  recorder_.events.clear();
  ftp_->SetPort(server.port());
  ftp_->OnFtpNeedInfo = [](FtpEngine&, FtpInfoNeeded, std::string& value) {
    value = " 127.0.0.1 ";
  };
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("loggedin"));
  EXPECT_EQ(ftp_->Server(), "127.0.0.1");
}

TEST_F(FtpConnectionTest, QuitEndsWhenTheServerCloses) {
  FakeFtpServer server;
  ftp_->SetRetries(0);
  LogIn(server);
  ftp_->QuitServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(server.Commands().back(), "QUIT");
  // With no retries left the close also reports that the retries are over.
  EXPECT_EQ(recorder_.events, Then({"busy"}, kEnd));
  EXPECT_FALSE(ftp_->Connected());
  EXPECT_FALSE(ftp_->LoggedIn());
}

TEST_F(FtpConnectionTest, QuitRefusedByTheServerClosesAnyway) {
  FakeFtpServer server;
  server.On("QUIT", "500 Not now.\r\n");
  LogIn(server);
  ftp_->QuitServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"busy", "error ftpErrorNone ",
                                      "info ftpInfoDisconnected Disconnected", "quit", "ready"}));
}

TEST_F(FtpConnectionTest, RequestsAreRefusedWhenNotConnected) {
  ftp_->QuitServer();
  EXPECT_EQ(recorder_.events,
            std::vector<std::string>{"info ftpInfoDisconnected Not connected to the server"});
  EXPECT_EQ(loop_.PendingNotices(), 0u);  // no ready notice follows a refusal
  EXPECT_FALSE(ftp_->RequestOk());
}

TEST_F(FtpConnectionTest, KeepAliveSendsNoopAndStopsAfter502) {
  FakeFtpServer server;
  server.On("NOOP", "502 NOOP not implemented.\r\n");
  ftp_->SetNoopInterval(1);
  LogIn(server);
  ASSERT_TRUE(RunUntil([&] { return !ftp_->NoopSupported(); }, 5s));
  EXPECT_EQ(server.Commands().back(), "NOOP");
  EXPECT_FALSE(ftp_->Busy());
  EXPECT_TRUE(recorder_.events.empty());  // a keep-alive raises no event and no ready notice
  EXPECT_EQ(ftp_->CurrentOperation(), FtpOperation::kKeepAlive);
}

TEST_F(FtpConnectionTest, RequestDuringKeepAliveIsRefusedAsBusy) {
  FakeFtpServer server;
  server.On("NOOP", FakeReply("200 NOOP ok.\r\n").Delayed(500ms));
  ftp_->SetNoopInterval(1);
  LogIn(server);
  ASSERT_TRUE(RunUntil([&] { return ftp_->Busy(); }, 5s));
  ftp_->SetAsynchronous(false);  // ignored while busy
  EXPECT_TRUE(ftp_->Asynchronous());
  ftp_->QuitServer();
  EXPECT_EQ(recorder_.events,
            std::vector<std::string>{"info ftpInfoBusy The component is busy doing something"});
  ASSERT_TRUE(RunUntil([&] { return !ftp_->Busy(); }, 5s));
  EXPECT_TRUE(ftp_->NoopSupported());
  ftp_->QuitServer();
  ASSERT_TRUE(RunUntilQuiet());
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 1);
}

TEST_F(FtpConnectionTest, ServerLeavingAnIdleSessionDisconnectsQuietly) {
  FakeFtpServer server;
  server.On("NOOP", FakeReply::Close("421 Idle too long.\r\n"));
  ftp_->SetNoopInterval(1);
  LogIn(server);
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"info ftpInfoDisconnected Disconnected", "quit", "ready"}));
}

TEST_F(FtpConnectionTest, ListenerSlots) {
  std::vector<std::string> calls;
  const auto info = [&calls](const char* name) {
    return [&calls, name](FtpEngine&, FtpInfo, const std::string&) { calls.emplace_back(name); };
  };
  ftp_->OnFtpInfo = info("published");
  EXPECT_EQ(ftp_->AddInfoListener(nullptr), -1);
  EXPECT_EQ(ftp_->AddInfoListener(info("one")), 1);
  EXPECT_EQ(ftp_->AddInfoListener(info("two")), 2);
  EXPECT_EQ(ftp_->AddInfoListener(info("three")), 3);
  EXPECT_EQ(ftp_->AddInfoListener(info("four")), 4);
  EXPECT_EQ(ftp_->AddInfoListener(info("five")), -1);
  ftp_->RemoveInfoListener(2);
  ftp_->RemoveInfoListener(9);
  EXPECT_EQ(ftp_->AddInfoListener(info("again")), 2);
  // Error listeners have their own table.
  EXPECT_EQ(ftp_->AddErrorListener([](FtpEngine&, FtpError, const std::string&) {}), 1);
  ftp_->RemoveErrorListener(1);
  EXPECT_EQ(ftp_->AddErrorListener([](FtpEngine&, FtpError, const std::string&) {}), 1);

  ftp_->QuitServer();  // refused: one information notice
  EXPECT_EQ(calls, (std::vector<std::string>{"published", "one", "again", "three", "four"}));
}

}  // namespace
}  // namespace tarsil::testing

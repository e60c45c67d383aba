// The control connection under faults beyond the data cases (cases/connection.case): a look-up
// that never ends, a server that never greets or leaves at once, a request during a keep-alive
// and the listener slots. Each test ends with the engine's notices in order and, in TearDown,
// nothing of the engine left in the loop.
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

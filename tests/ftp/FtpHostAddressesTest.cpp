// The engine's connect to a host name with several addresses: the log line for each address that
// failed, the login over the one that answered, one clear error when none did, and the system
// resolver's names for the loopback (skipped where this machine lacks them).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "EngineHarness.h"
#include "net/SocketErrors.h"
#include "platform/UniqueFd.h"
#include "support/FakeFtpServer.h"
#include "support/LoopbackPort.h"

namespace tarsil::testing {
namespace {

class FtpHostAddressesTest : public EngineTest {
 protected:
  void TearDown() override {
    EngineTest::TearDown();
    HostLookup::SetResolverForTesting(nullptr);
  }
  void Answer(const std::vector<std::string>& texts) {
    std::vector<HostAddress> addresses;
    for (const std::string& text : texts) addresses.push_back(LoopbackAddress(text));
    HostLookup::SetResolverForTesting([addresses](const std::string&) {
      LookupResult result;
      result.addresses = addresses;
      return result;
    });
  }
  // With the system resolver: the connect must reach `listening` through `name`.
  void ConnectThroughSystemName(const std::string& name, const std::string& listening) {
    LoopbackPort server(listening, 0, true);
    ASSERT_NE(server.port(), 0) << "cannot listen on " << listening;
    ftp_->SetServer(name);
    ftp_->SetPort(server.port());
    ftp_->SetRetries(0);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("info ftpInfoConnected " + listening));
    ftp_->AbortRequest();
    ASSERT_TRUE(RunUntilQuiet());
  }
};

TEST_F(FtpHostAddressesTest, LogsTheRefusedAddressAndLogsInOverTheNext) {
  FakeFtpServer server;
  LoopbackPort refusing("::1", server.port(), false);  // without ::1 the connect fails anyway
  Answer({"::1", "127.0.0.1"});
  ftp_->SetServer("dual.example");
  ftp_->SetPort(server.port());
  ftp_->SetUsername("alice");
  ftp_->SetPassword("s3cret");
  recorder_.secrets = {"s3cret"};
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilEvent("loggedin"));
  ASSERT_GE(recorder_.events.size(), 4u);
  EXPECT_EQ(recorder_.events[0], "info ftpInfoResolving dual.example");
  EXPECT_EQ(recorder_.events[1], "info ftpInfoResolved ::1");
  EXPECT_EQ(recorder_.events[2].rfind("info ftpInfoDebug Could not connect to ::1 (", 0), 0u)
      << recorder_.events[2];
  EXPECT_NE(recorder_.events[2].find("); trying 127.0.0.1"), std::string::npos);
  EXPECT_EQ(recorder_.events[3], "info ftpInfoConnected 127.0.0.1");
  const std::vector<std::string> commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "USER alice");
}

TEST_F(FtpHostAddressesTest, EveryAddressRefusingIsOneErrorAndAnEndedRequest) {
  LoopbackPort refusing4("127.0.0.1", 0, false);
  ASSERT_NE(refusing4.port(), 0);
  LoopbackPort refusing6("::1", refusing4.port(), false);
  Answer({"127.0.0.1", "::1"});
  ftp_->SetServer("nowhere.example");
  ftp_->SetPort(refusing4.port());
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  ASSERT_EQ(recorder_.events.size(), 8u) << ::testing::PrintToString(recorder_.events);
  EXPECT_EQ(recorder_.events[2],
            "info ftpInfoDebug Could not connect to 127.0.0.1 (Connection Refused); trying ::1");
  EXPECT_EQ(recorder_.CountPrefix("error "), 1u);
  EXPECT_EQ(recorder_.events[3].rfind("error ", 0), 0u);
  EXPECT_EQ(std::vector<std::string>(recorder_.events.end() - 4, recorder_.events.end()),
            (std::vector<std::string>{"info ftpInfoRetryFinished Retry Finished",
                                      "info ftpInfoDisconnected Disconnected", "quit", "ready"}));
  EXPECT_FALSE(ftp_->Connected());
}

TEST_F(FtpHostAddressesTest, OneAddressKeepsTheLinesOfOld) {
  LoopbackPort refusing("127.0.0.1", 0, false);
  ASSERT_NE(refusing.port(), 0);
  Answer({"127.0.0.1"});
  ftp_->SetServer("single.example");
  ftp_->SetPort(refusing.port());
  ftp_->SetRetries(0);
  ftp_->LoginServer();
  ASSERT_TRUE(RunUntilQuiet());
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"info ftpInfoResolving single.example",
                                      "info ftpInfoResolved 127.0.0.1",
                                      "error ftpErrorConnectionRefused Connection Refused",
                                      "info ftpInfoRetryFinished Retry Finished",
                                      "info ftpInfoDisconnected Disconnected", "quit", "ready"}));
}

TEST_F(FtpHostAddressesTest, NameOfTheIpv6LoopbackOnlyConnectsOverIpv6) {
  const LookupResult resolved = ResolveWithSystem("ip6-localhost");
  if (resolved.error != 0 || resolved.addresses.empty()) {
    GTEST_SKIP() << "this machine's resolver has no ip6-localhost (no '::1 ip6-localhost' line in "
                    "/etc/hosts)";
  }
  ConnectThroughSystemName("ip6-localhost", "::1");
  EXPECT_TRUE(recorder_.Has("info ftpInfoResolved ::1"));
}

TEST_F(FtpHostAddressesTest, LocalhostReachesAServerOnItsSecondAddressOnly) {
  const LookupResult resolved = ResolveWithSystem("localhost");
  if (resolved.error != 0 || resolved.addresses.size() < 2) {
    GTEST_SKIP() << "localhost resolves to one address on this machine (no '::1 localhost' line "
                    "in /etc/hosts): nothing to fall back to";
  }
  const HostAddress& second = resolved.addresses[1];
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(second.family,
            second.family == AF_INET6 ? static_cast<const void*>(&second.v6)
                                      : static_cast<const void*>(&second.v4),
            text, sizeof text);
  ConnectThroughSystemName("localhost", text);
  EXPECT_EQ(recorder_.CountPrefix("info ftpInfoDebug Could not connect to "), 1u);
}

}  // namespace
}  // namespace tarsil::testing

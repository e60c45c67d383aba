// A host name with several addresses: the resolver's answer in order, both families, and the
// connect that moves on from an address that refuses or stalls to the next one, ending once
// when every address has failed. Loopback only (127.0.0.1 and ::1).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/HostLookup.h"
#include "net/SocketErrors.h"
#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "support/LoopbackPort.h"

namespace tarsil {
namespace {

using namespace std::chrono_literals;

HostAddress V4(const char* text) {
  HostAddress address;
  inet_pton(AF_INET, text, &address.v4);
  return address;
}

HostAddress V6(const char* text) {
  HostAddress address;
  address.family = AF_INET6;
  inet_pton(AF_INET6, text, &address.v6);
  return address;
}

using testing::LoopbackPort;

bool HaveIpv6Loopback() { return LoopbackPort(V6("::1"), 0, false).port() != 0; }

class ConnectFallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveIpv6Loopback()) GTEST_SKIP() << "no ::1 on this machine: IPv6 fallback not testable";
  }
  void TearDown() override {
    HostLookup::WaitForThreads(5s);
    HostLookup::SetResolverForTesting(nullptr);
    EXPECT_EQ(loop_.LiveTimers(), 0u);
  }
  // Every look-up answers with these addresses.
  void Answer(std::vector<HostAddress> addresses) {
    HostLookup::SetResolverForTesting([addresses](const std::string&) {
      LookupResult result;
      result.addresses = addresses;
      return result;
    });
  }
  // Connects to the first address once a look-up ends, recording the socket's events; Start
  // resolves "multi.example".
  void Attach(AsyncSocket& socket, uint16_t port) {
    socket.OnLookupDone = [this, port](AsyncSocket& s) {
      trace_ += "lookup:" + std::to_string(s.LastError()) + " ";
      s.TakeResolvedAddress();
      s.SetPortNumber(port);
      s.CreateSocket();
      s.ConnectSocket();
      trace_ += "first:" + s.AddressText() + " ";
    };
    socket.OnNextAddress = [this](AsyncSocket& s) {
      trace_ += "next:" + std::to_string(s.LastError()) + ">" + s.AddressText() + " ";
    };
    socket.OnConnected = [this](AsyncSocket& s) {
      trace_ += "connect:" + std::to_string(s.LastError()) + " ";
      ++ended_;
    };
    socket.OnClosed = [this](AsyncSocket& s) {
      trace_ += "close:" + std::to_string(s.LastError()) + " ";
    };
    socket.OnTimeOut = [this](AsyncSocket&) { trace_ += "timeout "; };
  }
  void Start(AsyncSocket& socket, uint16_t port) {
    Attach(socket, port);
    socket.LookupHost("multi.example");
  }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    return loop_.WaitUntil(done, EventLoop::Clock::now() + limit);
  }

  PollEventLoop loop_;
  std::string trace_;
  int ended_ = 0;
};

TEST(HostLookupTest, SystemResolverGivesBothFamiliesForNumericNames) {
  const LookupResult v4 = ResolveWithSystem("127.0.0.1");
  ASSERT_EQ(v4.error, 0);
  ASSERT_EQ(v4.addresses.size(), 1u);
  EXPECT_EQ(v4.addresses[0], V4("127.0.0.1"));
  EXPECT_EQ(v4.address, V4("127.0.0.1").v4);  // the first IPv4 address, as before

  const LookupResult v6 = ResolveWithSystem("::1");
  ASSERT_EQ(v6.error, 0);
  ASSERT_EQ(v6.addresses.size(), 1u);
  EXPECT_EQ(v6.addresses[0], V6("::1"));
  EXPECT_FALSE(v6.addresses[0] == V4("0.0.0.0"));

  // A plain IPv4 answer (the older form) is a list of one.
  EXPECT_EQ(AddressesOf(LookupResult{0, V4("127.0.0.7").v4}),
            std::vector<HostAddress>{V4("127.0.0.7")});
  EXPECT_TRUE(AddressesOf(LookupResult{kWsaHostNotFound, 0}).empty());
}

TEST(HostLookupTest, Ip6LocalhostResolvesToTheIpv6Loopback) {
  const LookupResult result = ResolveWithSystem("ip6-localhost");
  if (result.error != 0) {
    GTEST_SKIP() << "this machine's resolver has no ip6-localhost (no '::1 ip6-localhost' line in "
                    "/etc/hosts)";
  }
  ASSERT_FALSE(result.addresses.empty());
  EXPECT_EQ(result.addresses[0], V6("::1"));
}

TEST_F(ConnectFallbackTest, RefusedFirstAddressGoesOnToTheNext) {
  LoopbackPort server(V6("::1"), 0, true);
  ASSERT_NE(server.port(), 0);
  LoopbackPort refusing(V4("127.0.0.1"), server.port(), false);
  if (refusing.port() == 0) GTEST_SKIP() << "127.0.0.1 port " << server.port() << " is taken";
  Answer({V4("127.0.0.1"), V6("::1")});
  AsyncSocket socket(loop_);
  Start(socket, server.port());
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_EQ(trace_, "lookup:0 first:127.0.0.1 next:10061>::1 connect:0 ");
  EXPECT_TRUE(socket.IsOpen());
  EXPECT_TRUE(socket.IsIpv6());
  EXPECT_FALSE(socket.CountdownRunning());
  socket.CloseSocket();
}

TEST_F(ConnectFallbackTest, EveryAddressRefusingEndsTheConnectOnce) {
  LoopbackPort refusing6(V6("::1"), 0, false);
  ASSERT_NE(refusing6.port(), 0);
  LoopbackPort refusing4(V4("127.0.0.1"), refusing6.port(), false);
  if (refusing4.port() == 0) GTEST_SKIP() << "127.0.0.1 port " << refusing6.port() << " taken";
  Answer({V6("::1"), V4("127.0.0.1"), V6("::1")});
  AsyncSocket socket(loop_);
  Start(socket, refusing6.port());
  ASSERT_TRUE(WaitFor([&] { return trace_.find("close:") != std::string::npos; }));
  loop_.WaitWithMessages(20);  // nothing more follows
  EXPECT_EQ(trace_,
            "lookup:0 first:::1 next:10061>127.0.0.1 next:10061>::1 connect:10061 close:10061 ");
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.CountdownRunning());
}

TEST_F(ConnectFallbackTest, StalledAddressGivesUpItsShareOfTheTimeOut) {
  // A listener whose queue is full drops further SYNs: a connect to it neither ends nor fails.
  LoopbackPort stalled(V4("127.0.0.1"), 0, true, 0);
  ASSERT_NE(stalled.port(), 0);
  LoopbackPort server(V6("::1"), stalled.port(), true);
  if (server.port() == 0) GTEST_SKIP() << "::1 port " << stalled.port() << " is taken";
  std::vector<UniqueFd> fillers;
  for (int i = 0; i < 2; ++i) {
    fillers.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = V4("127.0.0.1").v4;
    to.sin_port = htons(stalled.port());
    connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  pollfd first{fillers[0].get(), POLLOUT, 0};
  ASSERT_EQ(poll(&first, 1, 5000), 1);  // the queue holds it: the queue is full now

  Answer({V4("127.0.0.1"), V6("::1")});
  AsyncSocket socket(loop_);
  socket.SetCountdownInterval(20);
  socket.SetTimeOut(10);  // 200 ms in all: 100 ms for the first address
  Start(socket, stalled.port());
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_EQ(trace_, "lookup:0 first:127.0.0.1 next:10060>::1 connect:0 ");
  EXPECT_TRUE(socket.IsIpv6());
  socket.CloseSocket();
}

TEST_F(ConnectFallbackTest, OverallTimeOutStillEndsTheLastAttempt) {
  LoopbackPort stalled(V4("127.0.0.1"), 0, true, 0);
  ASSERT_NE(stalled.port(), 0);
  UniqueFd filler(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = V4("127.0.0.1").v4;
  to.sin_port = htons(stalled.port());
  connect(filler.get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
  pollfd first{filler.get(), POLLOUT, 0};
  ASSERT_EQ(poll(&first, 1, 5000), 1);
  LoopbackPort refusing(V6("::1"), stalled.port(), false);
  if (refusing.port() == 0) GTEST_SKIP() << "::1 port " << stalled.port() << " is taken";

  // The refusing address first, then the stalled one: only the overall countdown can end it.
  Answer({V6("::1"), V4("127.0.0.1")});
  AsyncSocket socket(loop_);
  socket.SetCountdownInterval(20);
  socket.SetTimeOut(5);
  Start(socket, stalled.port());
  ASSERT_TRUE(WaitFor([&] { return trace_.find("timeout") != std::string::npos; }));
  EXPECT_EQ(trace_, "lookup:0 first:::1 next:10061>127.0.0.1 timeout ");
  socket.CloseSocket();
  EXPECT_EQ(trace_, "lookup:0 first:::1 next:10061>127.0.0.1 timeout close:0 ");
}

TEST_F(ConnectFallbackTest, AnAddressGivenOutrightHasNoAlternatives) {
  LoopbackPort refusing(V4("127.0.0.1"), 0, false);
  ASSERT_NE(refusing.port(), 0);
  Answer({V6("::1"), V4("127.0.0.1")});
  AsyncSocket socket(loop_);
  Attach(socket, refusing.port());
  socket.OnLookupDone = [&](AsyncSocket& s) {
    s.TakeResolvedAddress();  // then replaced by an address given outright
    s.SetAddressText("127.0.0.1");
    s.SetPortNumber(refusing.port());
    s.CreateSocket();
    s.ConnectSocket();
  };
  socket.LookupHost("again.example");
  ASSERT_TRUE(WaitFor([&] { return trace_.find("close:") != std::string::npos; }));
  EXPECT_EQ(trace_, "connect:10061 close:10061 ");
}

}  // namespace
}  // namespace tarsil

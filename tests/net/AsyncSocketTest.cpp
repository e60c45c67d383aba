// AsyncSocket: its address and server texts, calls without a socket, the countdown, host
// look-ups (through a gated stand-in for the resolver) and posted notices.
#include "net/AsyncSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "AsyncSocketHarness.h"
#include "net/HostLookup.h"

namespace tarsil::testing {
namespace {

// Stands in for the system resolver: each look-up waits at a gate until the test opens it.
class GatedResolver {
 public:
  explicit GatedResolver(LookupResult answer) {
    HostLookup::SetResolverForTesting([this, answer](const std::string& name) {
      std::unique_lock lock(mutex_);
      names_.push_back(name);
      changed_.notify_all();
      changed_.wait(lock, [this] { return open_; });
      return answer;
    });
  }
  ~GatedResolver() {
    Open();
    HostLookup::WaitForThreads(5s);
    HostLookup::SetResolverForTesting(nullptr);
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitForCalls(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return names_.size() >= count; });
  }
  std::vector<std::string> Names() {
    std::lock_guard lock(mutex_);
    return names_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  std::vector<std::string> names_;
};

TEST_F(AsyncSocketTest, ServerTextGivesExactlyOneOfTheTwoViews) {
  AsyncSocket socket(loop_);
  const std::string long_name = std::string(300, 'h') + ".example";
  const struct {
    std::string text, server, address_view, host_view;
  } steps[] = {
      {"  127.0.0.1 \t", "127.0.0.1", "127.0.0.1", ""},
      {"ftp.example.com", "ftp.example.com", "", "ftp.example.com"},
      {"   ", "", "", "ftp.example.com"},  // blanks only: both views stay
      {"1host.example", "1host.example", "1host.example", ""},
      {long_name, long_name, "", long_name},  // kept whole, no fixed buffer
  };
  for (const auto& step : steps) {
    socket.SetServer(step.text);
    EXPECT_EQ(socket.Server(), step.server) << step.text;
    EXPECT_EQ(socket.AddressTextView(), step.address_view) << step.text;
    EXPECT_EQ(socket.HostNameView(), step.host_view) << step.text;
  }
  EXPECT_EQ(socket.TimeOut(), 20);
  EXPECT_FALSE(socket.ReportWouldBlock());
}

TEST_F(AsyncSocketTest, AddressTextsOfAnyLengthAndCallsWithoutSocketFailCleanly) {
  AsyncSocket socket(loop_);
  const struct {
    std::string text, shown;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1"},
      {"ftp.example.com", "255.255.255.255"},
      {std::string(300, '1'), "255.255.255.255"},
      {std::string("127.0.0.1\0.5", 12), "255.255.255.255"},
  };
  for (const auto& c : cases) {
    socket.SetAddressText(c.text);
    EXPECT_EQ(socket.AddressText(), c.shown) << c.text.size();
  }
  EXPECT_EQ(socket.LocalPort(), 0);
  EXPECT_EQ(socket.LocalAddressText(), "");
  char buffer[8];
  EXPECT_EQ(socket.ReceiveBytes(buffer, sizeof buffer), 0u);
  EXPECT_EQ(socket.LastError(), 10038);
  socket.SetLastError(0);
  socket.ConnectSocket();
  EXPECT_EQ(socket.LastError(), 10038);
}

TEST_F(AsyncSocketTest, ConnectWithoutAnswerEndsAfterTimeOutTicks) {
  // A listener whose backlog is full drops further connection requests without answering.
  UniqueFd listener;
  const uint16_t port = BindRaw(listener);
  ASSERT_EQ(listen(listener.get(), 0), 0);
  UniqueFd filler(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = Loopback(port);
  ASSERT_EQ(connect(filler.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

  AsyncSocket client(loop_);
  Events c;
  c.Attach(client);
  client.SetCountdownInterval(10);
  client.SetTimeOut(20);
  int countdown_at_time_out = -1;
  client.OnTimeOut = [&](AsyncSocket& socket) {
    ++c.timeout;
    countdown_at_time_out = socket.Countdown();
  };
  const auto start = EventLoop::Clock::now();
  Connect(client, port);
  EXPECT_EQ(client.Countdown(), 20);
  ASSERT_TRUE(WaitFor([&] { return c.timeout == 1; }));
  EXPECT_GE(EventLoop::Clock::now() - start, 200ms);  // 20 ticks of 10 ms at the least
  EXPECT_EQ(countdown_at_time_out, 0);
  EXPECT_EQ(c.connected, 0);
  EXPECT_NE(client.Handle(), -1);  // with a time-out handler the owner decides

  client.OnTimeOut = nullptr;  // without one, the socket closes itself
  client.RecreateSocket();
  client.SetTimeOut(3);
  client.ConnectSocket();
  ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
  EXPECT_EQ(client.Handle(), -1);
  EXPECT_EQ(c.connected, 0);
}

TEST_F(AsyncSocketTest, EveryLookupEndsInOneLookupDone) {
  GatedResolver resolver(LookupResult{0, inet_addr("127.0.0.5")});
  resolver.Open();
  const struct {
    std::string name;
    uint16_t error;
    std::string address;
    size_t resolver_calls;
  } cases[] = {
      {"ftp.example.com", 0, "127.0.0.5", 1},
      {"127.0.0.9", 0, "127.0.0.9", 1},                   // dotted: no resolver
      {std::string(300, 'h'), 11001, "127.0.0.9", 1},     // too long: refused up front
      {std::string("ftp\0x", 5), 11001, "127.0.0.9", 1},  // embedded NUL: refused
  };
  AsyncSocket socket(loop_);
  Events s;
  s.Attach(socket);
  for (const auto& c : cases) {
    const int before = s.lookup;
    socket.LookupHost(c.name);
    EXPECT_TRUE(socket.LookupPending());
    EXPECT_EQ(s.lookup, before);  // never from inside LookupHost
    ASSERT_TRUE(WaitFor([&] { return s.lookup == before + 1; }));
    EXPECT_FALSE(socket.LookupPending());
    EXPECT_FALSE(socket.CountdownRunning());
    EXPECT_EQ(socket.LastError(), c.error) << c.name.size();
    socket.TakeResolvedAddress();
    EXPECT_EQ(socket.AddressText(), c.address);
    EXPECT_EQ(resolver.Names().size(), c.resolver_calls);
  }
}

TEST_F(AsyncSocketTest, UnknownHostEndsWithHostNotFound) {
  GatedResolver resolver(LookupResult{11001, 0});
  resolver.Open();
  AsyncSocket socket(loop_);
  Events s;
  s.Attach(socket);
  socket.LookupHost("no-such-host.invalid");
  ASSERT_TRUE(WaitFor([&] { return s.lookup == 1; }));
  EXPECT_EQ(socket.LastError(), 11001);
  EXPECT_EQ(resolver.Names(), std::vector<std::string>{"no-such-host.invalid"});
}

TEST_F(AsyncSocketTest, SystemResolverFindsLocalhostInTheHostsFile) {
  std::ifstream hosts("/etc/hosts");
  const std::string text((std::istreambuf_iterator<char>(hosts)), std::istreambuf_iterator<char>());
  if (text.find("localhost") == std::string::npos) GTEST_SKIP() << "no localhost in /etc/hosts";
  AsyncSocket socket(loop_);
  Events s;
  s.Attach(socket);
  socket.LookupHost("localhost");
  ASSERT_TRUE(WaitFor([&] { return s.lookup == 1; }));
  EXPECT_EQ(socket.LastError(), 0);
  socket.TakeResolvedAddress();
  EXPECT_EQ(socket.AddressText().rfind("127.", 0), 0u);
}

TEST_F(AsyncSocketTest, CountdownEndsALookupThatHangs) {
  GatedResolver resolver(LookupResult{0, inet_addr("127.0.0.5")});
  AsyncSocket socket(loop_);
  Events s;
  s.Attach(socket);
  socket.SetCountdownInterval(10);
  socket.SetTimeOut(3);
  socket.LookupHost("slow.example");
  socket.LookupHost("second.example");  // one is outstanding: ignored
  ASSERT_TRUE(WaitFor([&] { return s.timeout == 1; }));
  EXPECT_TRUE(socket.LookupPending());
  socket.CloseSocket();  // cancels the look-up; no socket, so no close notification
  EXPECT_FALSE(socket.LookupPending());
  EXPECT_EQ(s.closed, 0);

  socket.LookupHost("again.example");  // starts normally after the cancel
  ASSERT_TRUE(resolver.WaitForCalls(2));
  resolver.Open();
  ASSERT_TRUE(WaitFor([&] { return s.lookup == 1; }));
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_TRUE(HostLookup::WaitForThreads(5s));
  loop_.ProcessMessages();
  EXPECT_EQ(s.lookup, 1);  // the cancelled look-up never reports
  EXPECT_EQ(resolver.Names(), (std::vector<std::string>{"slow.example", "again.example"}));

  socket.OnTimeOut = nullptr;  // without a handler the countdown closes (and cancels)
  GatedResolver held(LookupResult{0, 0});
  socket.LookupHost("slow.example");
  ASSERT_TRUE(WaitFor([&] { return !socket.LookupPending(); }));
  EXPECT_EQ(s.lookup, 1);
}

TEST_F(AsyncSocketTest, DestroyingASocketWithALookupOutstandingIsSafe) {
  GatedResolver resolver(LookupResult{0, inet_addr("127.0.0.5")});
  int done = 0;
  {
    AsyncSocket socket(loop_);
    socket.OnLookupDone = [&](AsyncSocket&) { ++done; };
    socket.LookupHost("slow.example");
    ASSERT_TRUE(resolver.WaitForCalls(1));
  }
  resolver.Open();
  ASSERT_TRUE(HostLookup::WaitForThreads(5s));
  loop_.ProcessMessages();
  EXPECT_EQ(done, 0);
}
TEST_F(AsyncSocketTest, PostedNoticesReachOnNoticeInPostingOrder) {
  AsyncSocket socket(loop_);
  std::vector<uint32_t> seen;
  socket.OnNotice = [&](const Notice& notice) { seen.push_back(notice.message); };
  socket.PostNotice(1028, 1, 2);
  socket.PostNotice(kSocketEventMessage, 999, 32);  // not this socket's: dropped
  socket.PostNotice(kLookupDoneMessage, 77, 0);     // no look-up outstanding: dropped
  socket.PostNotice(1026);
  EXPECT_TRUE(seen.empty());  // delivered later, never inside the post
  ASSERT_TRUE(WaitFor([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen, (std::vector<uint32_t>{1028, 1026}));
}

}  // namespace
}  // namespace tarsil::testing

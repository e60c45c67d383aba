#include "net/AsyncSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "net/HostLookup.h"
#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {
namespace {

using namespace std::chrono_literals;

size_t OpenFdCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

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

struct Events {
  int connected = 0, closed = 0, readable = 0, writable = 0, accept = 0, timeout = 0, lookup = 0;
  std::string trace;  // "connect:10061 close:10061 ..."
  void Attach(AsyncSocket& socket) {
    auto note = [this](int& counter, const char* name) {
      return [this, &counter, name](AsyncSocket& sender) {
        ++counter;
        trace += std::string(name) + ":" + std::to_string(sender.LastError()) + " ";
      };
    };
    socket.OnConnected = note(connected, "connect");
    socket.OnClosed = note(closed, "close");
    socket.OnReadable = note(readable, "read");
    socket.OnWritable = note(writable, "write");
    socket.OnAcceptReady = note(accept, "accept");
    socket.OnTimeOut = note(timeout, "timeout");
    socket.OnLookupDone = note(lookup, "lookup");
  }
};

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A plain socket bound to a free loopback port; returns the port.
uint16_t BindRaw(UniqueFd& fd) {
  fd.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return 0;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

size_t SendText(AsyncSocket& socket, std::string_view text) {
  return socket.SendBytes(text.data(), text.size());
}

class AsyncSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { fds_at_start_ = OpenFdCount(); }
  void TearDown() override {
    EXPECT_TRUE(HostLookup::WaitForThreads(5s));
    EXPECT_EQ(loop_.LiveTargets(), 0u);
    EXPECT_EQ(loop_.LiveWatches(), 0u);
    EXPECT_EQ(loop_.LiveTimers(), 0u);
    EXPECT_EQ(loop_.PendingNotices(), 0u);
    EXPECT_EQ(OpenFdCount(), fds_at_start_);
  }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    return loop_.WaitUntil(done, EventLoop::Clock::now() + limit);
  }
  uint16_t Listen(AsyncSocket& listener) {
    listener.CreateSocket();
    listener.SetAddressText("127.0.0.1");
    listener.SetPortNumber(0);
    listener.ListenSocket();
    EXPECT_EQ(listener.LastError(), 0);
    return listener.LocalPort();
  }
  void Connect(AsyncSocket& client, uint16_t port) {
    client.CreateSocket();
    client.SetAddressText("127.0.0.1");
    client.SetPortNumber(port);
    client.ConnectSocket();
  }
  // client connected to a short-lived listener, peer accepted from it.
  void MakePair(AsyncSocket& client, AsyncSocket& peer) {
    AsyncSocket listener(loop_);
    listener.OnAcceptReady = [&](AsyncSocket&) { peer.AcceptFrom(listener); };
    Connect(client, Listen(listener));
    ASSERT_TRUE(WaitFor([&] { return client.IsOpen() && peer.IsOpen(); }));
    listener.CloseSocket();
  }

  PollEventLoop loop_;
  size_t fds_at_start_ = 0;
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

TEST_F(AsyncSocketTest, ConnectSendReceiveBothWaysAndCloseOnce) {
  AsyncSocket listener(loop_), client(loop_), peer(loop_);
  Events c, p;
  c.Attach(client);
  p.Attach(peer);
  std::string at_client, at_peer;
  auto reader = [](std::string& into) {
    return [&into](AsyncSocket& socket) {
      char buffer[64];
      into.append(buffer, socket.ReceiveBytes(buffer, sizeof buffer));
    };
  };
  client.OnReadable = reader(at_client);
  peer.OnReadable = reader(at_peer);
  listener.OnAcceptReady = [&](AsyncSocket&) { peer.AcceptFrom(listener); };
  const uint16_t port = Listen(listener);
  ASSERT_NE(port, 0);
  Connect(client, port);
  EXPECT_EQ(client.LastError(), 0);
  EXPECT_TRUE(client.CountdownRunning());
  ASSERT_TRUE(WaitFor([&] { return c.writable == 1 && p.writable == 1; }));
  EXPECT_EQ(c.trace, "connect:0 write:0 ");
  EXPECT_TRUE(client.IsOpen());
  EXPECT_FALSE(client.CountdownRunning());
  EXPECT_EQ(peer.AddressText(), "127.0.0.1");
  EXPECT_EQ(client.LocalAddressText(), "127.0.0.1");

  EXPECT_EQ(SendText(client, "USER anonymous\r\n"), 16u);
  ASSERT_TRUE(WaitFor([&] { return at_peer == "USER anonymous\r\n"; }));
  EXPECT_EQ(SendText(peer, "331 Password required\r\n"), 23u);
  ASSERT_TRUE(WaitFor([&] { return at_client == "331 Password required\r\n"; }));
  EXPECT_EQ(c.writable, 1);  // sends that went through bring no writable notification

  client.CloseSocket();
  client.CloseSocket();  // no socket any more: nothing is raised
  EXPECT_EQ(c.closed, 1);
  EXPECT_FALSE(client.IsOpen());
  ASSERT_TRUE(WaitFor([&] { return p.closed == 1; }));
  EXPECT_EQ(peer.Handle(), -1);
  EXPECT_EQ(SendText(peer, "x"), 0u);
  EXPECT_EQ(peer.LastError(), 10038);
}

TEST_F(AsyncSocketTest, AcceptReadyIsRepeatedOnlyAfterAcceptFrom) {
  AsyncSocket listener(loop_), first(loop_), second(loop_), peer1(loop_), peer2(loop_);
  Events l;
  l.Attach(listener);
  const uint16_t port = Listen(listener);
  Connect(first, port);
  Connect(second, port);
  ASSERT_TRUE(WaitFor([&] { return first.IsOpen() && second.IsOpen() && l.accept == 1; }));
  EXPECT_FALSE(WaitFor([&] { return l.accept > 1; }, 100ms));
  peer1.AcceptFrom(listener);
  EXPECT_TRUE(peer1.IsOpen());
  ASSERT_TRUE(WaitFor([&] { return l.accept == 2; }));
  peer2.AcceptFrom(listener);
  EXPECT_TRUE(peer2.IsOpen());
}

TEST_F(AsyncSocketTest, LargeSendStopsOnWouldBlockAndResumesOnWritable) {
  AsyncSocket client(loop_), peer(loop_);
  Events c;
  c.Attach(client);
  std::string received;
  bool peer_reads = false;
  auto drain = [&](AsyncSocket& socket) {
    std::vector<char> buffer(65536);
    while (size_t n = socket.ReceiveBytes(buffer.data(), buffer.size())) {
      received.append(buffer.data(), n);
    }
  };
  peer.OnReadable = [&](AsyncSocket& socket) {
    if (peer_reads) drain(socket);
  };
  MakePair(client, peer);
  ASSERT_TRUE(WaitFor([&] { return c.writable == 1; }));

  std::string data(8 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  size_t sent = 0;
  int would_blocks = 0, unexpected_writable = 0;
  bool waiting = false;
  auto pump = [&] {
    while (sent < data.size()) {
      const size_t n =
          client.SendBytes(data.data() + sent, std::min<size_t>(65536, data.size() - sent));
      sent += n;
      if (n == 0) {
        EXPECT_EQ(client.LastError(), 10035);
        ++would_blocks;
        waiting = true;
        return;
      }
    }
  };
  client.OnWritable = [&](AsyncSocket&) {
    ++c.writable;
    if (!waiting) ++unexpected_writable;
    waiting = false;
    pump();
  };
  client.SetReportWouldBlock(true);
  pump();
  ASSERT_EQ(would_blocks, 1);  // nobody reads yet: the buffers fill up
  client.SetReportWouldBlock(false);
  EXPECT_EQ(client.SendBytes(data.data() + sent, 1), 0u);
  EXPECT_EQ(client.LastError(), 0);  // would-block is hidden unless asked for
  client.SetReportWouldBlock(true);
  EXPECT_FALSE(WaitFor([&] { return c.writable > 1 || unexpected_writable > 0; }, 100ms));

  peer_reads = true;
  drain(peer);
  ASSERT_TRUE(WaitFor([&] { return received.size() == data.size(); }, 30s));
  EXPECT_TRUE(received == data);
  EXPECT_GE(c.writable, 2);  // only writable notifications could have resumed the sending
  EXPECT_EQ(unexpected_writable, 0);
}

TEST_F(AsyncSocketTest, ReadableIsNotRepeatedUntilReceiveBytes) {
  AsyncSocket client(loop_), peer(loop_);
  Events c;
  c.Attach(client);
  MakePair(client, peer);
  SendText(peer, "abc");
  ASSERT_TRUE(WaitFor([&] { return c.readable == 1; }));
  SendText(peer, "def");
  EXPECT_FALSE(WaitFor([&] { return c.readable > 1; }, 150ms));
  char buffer[8];
  ASSERT_EQ(client.ReceiveBytes(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  ASSERT_TRUE(WaitFor([&] { return c.readable == 2; }));  // "c" and maybe more still wait
}

TEST_F(AsyncSocketTest, ConnectStartedFromReadableKeepsItsCountdown) {
  AsyncSocket client(loop_), peer(loop_);
  MakePair(client, peer);
  UniqueFd bound;
  const uint16_t port = BindRaw(bound);
  client.OnReadable = [&](AsyncSocket& socket) {  // e.g. a reconnect after a bad reply
    socket.RecreateSocket();
    socket.SetPortNumber(port);
    socket.ConnectSocket();
  };
  SendText(peer, "421 bye\r\n");
  // Checked right after the readable notification has been handled as a whole.
  EXPECT_TRUE(WaitFor([&] { return client.CountdownRunning() && !client.IsOpen(); }));
}

TEST_F(AsyncSocketTest, PeerCloseIsReportedOnceAfterTheLastData) {
  AsyncSocket client(loop_), peer(loop_);
  Events c;
  c.Attach(client);
  std::string received;
  size_t received_at_close = 0;
  client.OnReadable = [&](AsyncSocket& socket) {
    char buffer[100];  // small reads: many notifications before the close
    received.append(buffer, socket.ReceiveBytes(buffer, sizeof buffer));
  };
  client.OnClosed = [&](AsyncSocket& socket) {
    ++c.closed;
    received_at_close = received.size();
    EXPECT_EQ(socket.LastError(), 0);
  };
  MakePair(client, peer);
  const std::string data(10000, 'x');
  ASSERT_EQ(SendText(peer, data), data.size());
  peer.CloseSocket();
  ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
  EXPECT_EQ(received_at_close, data.size());
  EXPECT_FALSE(WaitFor([&] { return c.closed > 1; }, 100ms));
  EXPECT_EQ(client.Handle(), -1);
  EXPECT_FALSE(client.IsOpen());
}

TEST_F(AsyncSocketTest, ReceiveAfterPeerClosedReturnsZeroAndKeepsLastError) {
  AsyncSocket client(loop_), peer(loop_);
  Events c;
  c.Attach(client);
  MakePair(client, peer);
  peer.CloseSocket();
  pollfd end{client.Handle(), POLLIN, 0};
  ASSERT_EQ(poll(&end, 1, 5000), 1);  // the end of the stream has arrived
  client.SetLastError(4321);
  char buffer[8];
  EXPECT_EQ(client.ReceiveBytes(buffer, sizeof buffer), 0u);
  EXPECT_EQ(client.LastError(), 4321);
  ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
}

TEST_F(AsyncSocketTest, ResetByPeerEndsInOneCloseWithConnectionReset) {
  // The peer aborts (linger 0): the connection is reset, not closed gracefully.
  auto reset = [](AsyncSocket& peer) {
    const linger abort_on_close{1, 0};
    setsockopt(peer.Handle(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    peer.CloseSocket();
  };
  {
    AsyncSocket client(loop_), peer(loop_);
    Events c;
    c.Attach(client);
    MakePair(client, peer);
    reset(peer);
    ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
    EXPECT_EQ(c.trace, "connect:0 write:0 close:10054 ");
    EXPECT_EQ(client.Handle(), -1);
  }
  {
    AsyncSocket client(loop_), peer(loop_);
    Events c;
    c.Attach(client);
    MakePair(client, peer);
    reset(peer);
    pollfd failed{client.Handle(), POLLIN, 0};
    ASSERT_EQ(poll(&failed, 1, 5000), 1);
    EXPECT_EQ(SendText(client, "NOOP\r\n"), 0u);  // no SIGPIPE either
    EXPECT_EQ(client.LastError(), 10054);
    ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
    EXPECT_FALSE(WaitFor([&] { return c.closed > 1; }, 50ms));
  }
}

TEST_F(AsyncSocketTest, RefusedConnectReportsConnectedWithErrorThenClosed) {
  UniqueFd bound;  // bound but not listening: the connect is refused
  const uint16_t port = BindRaw(bound);
  AsyncSocket client(loop_);
  Events c;
  c.Attach(client);
  Connect(client, port);
  EXPECT_EQ(client.LastError(), 0);
  EXPECT_TRUE(client.CountdownRunning());
  ASSERT_TRUE(WaitFor([&] { return c.closed == 1; }));
  EXPECT_EQ(c.trace, "connect:10061 close:10061 ");
  EXPECT_FALSE(client.IsOpen());
  EXPECT_FALSE(client.CountdownRunning());
  EXPECT_EQ(client.Handle(), -1);
}

TEST_F(AsyncSocketTest, EventsOfAReplacedSocketAreDropped) {
  UniqueFd bound;
  const uint16_t port = BindRaw(bound);
  AsyncSocket client(loop_);
  Events c;
  c.Attach(client);
  client.OnConnected = [&](AsyncSocket& socket) {
    ++c.connected;
    socket.RecreateSocket();  // the queued close belongs to the old socket
  };
  Connect(client, port);
  ASSERT_TRUE(WaitFor([&] { return c.connected == 1; }));
  EXPECT_FALSE(WaitFor([&] { return c.closed > 0; }, 100ms));
  EXPECT_NE(client.Handle(), -1);
  client.CloseSocket();
  EXPECT_EQ(c.closed, 1);
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

TEST_F(AsyncSocketTest, UrgentDataIsSentOutOfBand) {
  AsyncSocket client(loop_), peer(loop_);
  std::string normal;
  peer.OnReadable = [&](AsyncSocket& socket) {
    char buffer[16];
    normal.append(buffer, socket.ReceiveBytes(buffer, sizeof buffer));
  };
  MakePair(client, peer);
  EXPECT_EQ(client.SendUrgent("\xFF\xF4\xFF", 3), 3u);  // IAC IP IAC, the last byte urgent
  EXPECT_EQ(SendText(client,
                     "\xF2"
                     "ABOR\r\n"),
            7u);
  pollfd urgent_waits{peer.Handle(), POLLPRI, 0};
  ASSERT_EQ(poll(&urgent_waits, 1, 5000), 1);
  char urgent = 0;
  ASSERT_EQ(recv(peer.Handle(), &urgent, 1, MSG_OOB), 1);
  EXPECT_EQ(urgent, '\xFF');
  ASSERT_TRUE(WaitFor([&] { return normal.size() == 9; }));
  EXPECT_EQ(normal,
            "\xFF\xF4\xF2"
            "ABOR\r\n");
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
}  // namespace tarsil

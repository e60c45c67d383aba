// AsyncSocket: connections and their streams on loopback: connect, accept, send and receive
// with the would-block rules, urgent data, the peer's close and reset, refused connects and
// the events of a replaced socket.
#include "net/AsyncSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <string>

#include "AsyncSocketHarness.h"
#include "platform/UniqueFd.h"

namespace tarsil::testing {
namespace {

// The receiving end of a sending test: takes nothing until Start, then everything that comes.
struct HeldBackReader {
  std::string received;
  bool reading = false;

  void Attach(AsyncSocket& peer) {
    peer.OnReadable = [this](AsyncSocket& socket) {
      if (reading) Drain(socket);
    };
  }
  void Start(AsyncSocket& peer) {
    reading = true;
    Drain(peer);
  }
  void Drain(AsyncSocket& socket) {
    std::vector<char> buffer(65536);
    while (size_t n = socket.ReceiveBytes(buffer.data(), buffer.size())) {
      received.append(buffer.data(), n);
    }
  }
};

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
  HeldBackReader reader;
  reader.Attach(peer);
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

  reader.Start(peer);
  ASSERT_TRUE(WaitFor([&] { return reader.received.size() == data.size(); }, 30s));
  EXPECT_TRUE(reader.received == data);
  EXPECT_GE(c.writable, 2);  // only writable notifications could have resumed the sending
  EXPECT_EQ(unexpected_writable, 0);
}

// With the unsent bytes limited, sends stop soon after the peer's window is full (a sender
// never queues megabytes the peer has not asked for), and writable notifications carry the
// rest through byte for byte once the peer reads.
TEST_F(AsyncSocketTest, LimitedUnsentBytesStopSendsEarlyAndLoseNothing) {
  AsyncSocket none(loop_);
  EXPECT_FALSE(none.LimitUnsent(16384));  // no connection held
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 % 253);
  size_t taken_at_first_block[2] = {0, 0};
  for (const bool limited : {false, true}) {
    SCOPED_TRACE(limited ? "limited" : "unlimited");
    AsyncSocket client(loop_), peer(loop_);
    HeldBackReader reader;
    reader.Attach(peer);
    size_t sent = 0;
    auto pump = [&](AsyncSocket&) {
      while (sent < data.size()) {
        const size_t n = client.SendBytes(data.data() + sent, data.size() - sent);
        if (n == 0) return;
        sent += n;
      }
    };
    MakePair(client, peer);
    if (limited) {
      EXPECT_TRUE(client.LimitUnsent(16384));
    }
    client.SetReportWouldBlock(true);
    pump(client);
    if (limited) {
      ASSERT_LT(sent, data.size());  // nobody reads yet (without the limit it may all fit)
    }
    taken_at_first_block[limited ? 1 : 0] = sent;
    client.OnWritable = pump;
    reader.Start(peer);
    ASSERT_TRUE(WaitFor([&] { return reader.received.size() == data.size(); }, 30s));
    EXPECT_TRUE(reader.received == data);
  }
  EXPECT_LT(taken_at_first_block[1], size_t{1} << 20);
  EXPECT_LT(taken_at_first_block[1], taken_at_first_block[0]);
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
}  // namespace
}  // namespace tarsil::testing

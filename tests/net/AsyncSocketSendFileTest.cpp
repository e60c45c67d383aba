// AsyncSocket::SendFile: a file sent straight from its descriptor, from its offset, with the
// same would-block and writable rules as SendBytes; what only the file can cause is left to the
// caller; a connection the peer has reset fails without SIGPIPE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/SocketErrors.h"
#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using namespace std::chrono_literals;

class AsyncSocketSendFileTest : public ::testing::Test {
 protected:
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    return loop_.WaitUntil(done, EventLoop::Clock::now() + limit);
  }
  // client connected to a short-lived listener, peer accepted from it.
  void MakePair(AsyncSocket& client, AsyncSocket& peer) {
    AsyncSocket listener(loop_);
    listener.OnAcceptReady = [&](AsyncSocket&) { peer.AcceptFrom(listener); };
    listener.CreateSocket();
    listener.SetAddressText("127.0.0.1");
    listener.SetPortNumber(0);
    listener.ListenSocket();
    client.CreateSocket();
    client.SetAddressText("127.0.0.1");
    client.SetPortNumber(listener.LocalPort());
    client.ConnectSocket();
    ASSERT_TRUE(WaitFor([&] { return client.IsOpen() && peer.IsOpen(); }));
    listener.CloseSocket();
  }
  UniqueFd OpenFile(const std::string& path, int flags = O_RDONLY) {
    return UniqueFd(::open(path.c_str(), flags | O_CLOEXEC));
  }

  PollEventLoop loop_;
  testing::TempDir dir_;
};

TEST_F(AsyncSocketSendFileTest, SendsFromTheOffsetStopsWhenFullAndEndsAtTheEndOfTheFile) {
  AsyncSocket client(loop_), peer(loop_);
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
  int writable = 0;
  client.OnWritable = [&](AsyncSocket&) { ++writable; };
  MakePair(client, peer);
  ASSERT_TRUE(WaitFor([&] { return writable == 1; }));

  std::string data(8 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  UniqueFd file = OpenFile(dir_.Write("big.bin", data));
  constexpr off_t kStart = 1001;  // a restart offset, as after REST
  ASSERT_EQ(::lseek(file.get(), kStart, SEEK_SET), kStart);

  size_t sent = 0;
  bool at_end = false;
  int would_blocks = 0;
  auto pump = [&] {
    for (;;) {
      const size_t n = client.SendFile(file.get(), 256 << 10);
      sent += n;
      EXPECT_EQ(::lseek(file.get(), 0, SEEK_CUR), kStart + static_cast<off_t>(sent));
      if (n > 0) continue;
      if (client.LastError() == 0) {
        at_end = true;
      } else {
        EXPECT_EQ(client.LastError(), kWsaEWouldBlock);
        ++would_blocks;
      }
      return;
    }
  };
  client.SetReportWouldBlock(true);
  pump();
  ASSERT_FALSE(at_end);  // nobody reads yet: the buffers fill up
  ASSERT_EQ(would_blocks, 1);
  EXPECT_FALSE(WaitFor([&] { return writable > 1; }, 50ms));

  client.OnWritable = [&](AsyncSocket&) {
    ++writable;
    pump();
  };
  peer_reads = true;
  drain(peer);
  ASSERT_TRUE(WaitFor([&] { return at_end; }, 30s));
  ASSERT_TRUE(WaitFor([&] { return received.size() == data.size() - kStart; }, 30s));
  EXPECT_TRUE(received == data.substr(kStart));
  EXPECT_GE(writable, 2);  // only writable notifications could have resumed the sending
}

TEST_F(AsyncSocketSendFileTest, WhatOnlyTheFileCanCauseIsLeftToTheCaller) {
  AsyncSocket client(loop_), peer(loop_);
  EXPECT_EQ(client.SendFile(0, 10), 0u);
  EXPECT_EQ(client.LastError(), kWsaENotSock);
  MakePair(client, peer);
  const std::string path = dir_.Write("small.bin", "0123456789");
  struct Case {
    const char* name;
    UniqueFd file;
  };
  Case cases[] = {
      {"a folder", OpenFile(dir_.str(), O_RDONLY | O_DIRECTORY)},
      {"a file open for writing only", OpenFile(path, O_WRONLY)},
      {"a pipe", {}},
  };
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK), 0);
  UniqueFd pipe_writer(pipe_ends[1]);
  cases[2].file.Reset(pipe_ends[0]);  // nothing written: no bytes to send, never a wait
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.file.valid());
    client.SetReportWouldBlock(true);
    const size_t sent = client.SendFile(c.file.get(), 10);
    client.SetReportWouldBlock(false);
    EXPECT_EQ(sent, 0u);
    // A pipe with nothing in it may also be taken as a would-block; never as the file's end.
    EXPECT_NE(client.LastError(), 0);
    EXPECT_TRUE(client.IsOpen());
  }
  // The connection itself is still good.
  UniqueFd file = OpenFile(path);
  EXPECT_EQ(client.SendFile(file.get(), 100), 10u);
  std::string received;
  peer.OnReadable = [&](AsyncSocket& socket) {
    char buffer[64];
    received.append(buffer, socket.ReceiveBytes(buffer, sizeof buffer));
  };
  ASSERT_TRUE(WaitFor([&] { return received.size() == 10; }));
  EXPECT_EQ(received, "0123456789");
  client.CloseSocket();
  peer.CloseSocket();
}

// sendfile(2) has no MSG_NOSIGNAL; the program does not ignore SIGPIPE.
TEST_F(AsyncSocketSendFileTest, AResetConnectionFailsWithoutSigpipe) {
  struct sigaction before {};
  struct sigaction fatal {};
  fatal.sa_handler = SIG_DFL;
  sigemptyset(&fatal.sa_mask);
  ASSERT_EQ(sigaction(SIGPIPE, &fatal, &before), 0);
  {
    AsyncSocket client(loop_), peer(loop_);
    int closed = 0;
    client.OnClosed = [&](AsyncSocket&) { ++closed; };
    MakePair(client, peer);
    const linger abort_on_close{1, 0};
    setsockopt(peer.Handle(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    peer.CloseSocket();
    pollfd failed{client.Handle(), POLLIN, 0};
    ASSERT_EQ(poll(&failed, 1, 5000), 1);
    UniqueFd file = OpenFile(dir_.Write("f.bin", std::string(100000, 'x')));
    // The first send meets the reset, the next a connection that is gone (EPIPE).
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_EQ(client.SendFile(file.get(), 100000), 0u);
      EXPECT_NE(client.LastError(), 0);
      EXPECT_NE(client.LastError(), kWsaEOpNotSupp);
    }
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    EXPECT_TRUE(WaitFor([&] { return closed == 1; }));
  }
  sigaction(SIGPIPE, &before, nullptr);
}

}  // namespace
}  // namespace tarsil

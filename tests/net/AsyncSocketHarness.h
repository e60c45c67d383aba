// Test harness for AsyncSocket: one poll loop per test with its leak check (targets, watches,
// timers, notices and descriptors all gone at the end), an event recorder, plain loopback
// sockets and bounded waits. Test thread only.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "net/AsyncSocket.h"
#include "net/HostLookup.h"
#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil::testing {

using namespace std::chrono_literals;

inline size_t OpenFdCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

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

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A plain socket bound to a free loopback port; returns the port.
inline uint16_t BindRaw(UniqueFd& fd) {
  fd.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return 0;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

inline size_t SendText(AsyncSocket& socket, std::string_view text) {
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

}  // namespace tarsil::testing

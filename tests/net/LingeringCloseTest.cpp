// The gentle close of a finished connection: the peer sees the end at once, may still send
// without its unread data being lost to a reset, and the descriptor goes when the peer closes
// or the time limit runs out. Loopback TCP pairs.
#include "net/LingeringClose.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {
namespace {

using namespace std::chrono_literals;

// A connected loopback TCP pair: `ours` (the side that closes) and `peer` (blocking, with a
// receive time-out so that a fault never hangs the test).
struct TcpPair {
  UniqueFd ours, peer;
  TcpPair() {
    UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length);
    listen(listener.get(), 1);
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    peer.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    connect(peer.get(), reinterpret_cast<sockaddr*>(&address), length);
    ours.Reset(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    timeval limit{5, 0};
    setsockopt(peer.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  // Everything the peer can read until the end of the stream; "<error>" on a reset.
  std::string PeerReadsToTheEnd() const {
    std::string got;
    char buffer[65536];
    for (;;) {
      const ssize_t count = recv(peer.get(), buffer, sizeof buffer, 0);
      if (count == 0) return got;
      if (count < 0) return got + "<error>";
      got.append(buffer, static_cast<size_t>(count));
    }
  }
};

class LingeringCloseTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(LingeringClose::Lingering(), 0u);
    EXPECT_EQ(loop_.LiveWatches(), 0u);
    EXPECT_EQ(loop_.LiveTimers(), 0u);
  }
  bool WaitFor(const std::function<bool()>& done) {
    return loop_.WaitUntil(done, EventLoop::Clock::now() + 5s);
  }
  PollEventLoop loop_;
};

TEST_F(LingeringCloseTest, LateBytesFromThePeerCostItNothingItHasNotRead) {
  TcpPair pair;
  ASSERT_TRUE(pair.ours.valid());
  const std::string upload(200000, 'u');
  size_t sent = 0;
  while (sent < upload.size()) {
    const ssize_t count = send(pair.ours.get(), upload.data() + sent, upload.size() - sent, 0);
    if (count <= 0) break;
    sent += static_cast<size_t>(count);
  }
  LingeringClose closing(loop_, std::move(pair.ours), 5000);
  EXPECT_EQ(LingeringClose::Lingering(), 1u);
  // The peer answers before it has read the upload (as a TLS server sends its session ticket).
  ASSERT_EQ(send(pair.peer.get(), "ticket", 6, MSG_NOSIGNAL), 6);
  loop_.ProcessMessages();
  EXPECT_EQ(pair.PeerReadsToTheEnd(), upload.substr(0, sent));  // then the end: no reset
  EXPECT_FALSE(closing.Done());
  pair.peer.Reset();
  ASSERT_TRUE(WaitFor([&] { return closing.Done(); }));
}

TEST_F(LingeringCloseTest, APeerThatNeverClosesIsLeftAtTheTimeLimit) {
  TcpPair pair;
  LingeringClose closing(loop_, std::move(pair.ours), 30);
  EXPECT_EQ(pair.PeerReadsToTheEnd(), "");  // the end arrives at once
  ASSERT_TRUE(WaitFor([&] { return closing.Done(); }));
  EXPECT_EQ(LingeringClose::Lingering(), 0u);
}

TEST_F(LingeringCloseTest, APeerStillStreamingIsCutOff) {
  TcpPair pair;
  LingeringClose closing(loop_, std::move(pair.ours), 60000);
  const std::string block(1 << 20, 'd');
  // The peer goes on sending (a download given up); past 64 KiB the close comes at once.
  ASSERT_TRUE(WaitFor([&] {
    send(pair.peer.get(), block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    return closing.Done();
  }));
}

TEST_F(LingeringCloseTest, GoingAwayClosesAtOnce) {
  TcpPair pair;
  {
    LingeringClose closing(loop_, std::move(pair.ours), 5000);
    EXPECT_FALSE(closing.Done());
  }
  EXPECT_EQ(pair.PeerReadsToTheEnd(), "");
  LingeringClose nothing(loop_, UniqueFd(), 5000);  // no descriptor: done from the start
  EXPECT_TRUE(nothing.Done());
}

}  // namespace
}  // namespace tarsil

// The gentle close of a finished connection: the peer sees the end at once, may still send
// without its unread data being lost to a reset, and the descriptor goes when the peer closes
// or the time limit runs out; a TLS close notice that did not fit into a full socket follows
// when the peer reads. Loopback TCP pairs, and a Unix stream pair where a full socket must be
// certain.
#include "net/LingeringClose.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "net/TlsChannel.h"
#include "net/TlsContext.h"
#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "support/TestCertificates.h"

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

// The server end of a TLS connection on its own thread: it reads nothing until `go`, then reads
// to the end and notes how the stream ended.
class StalledTlsReader {
 public:
  StalledTlsReader(const testing::TestCertificate& certificate, UniqueFd fd)
      : context_(testing::MakeServerContext(certificate)), fd_(std::move(fd)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~StalledTlsReader() {
    Go();
    thread_.join();
  }
  StalledTlsReader(const StalledTlsReader&) = delete;
  StalledTlsReader& operator=(const StalledTlsReader&) = delete;

  void Go() {
    const std::lock_guard<std::mutex> lock(mutex_);
    go_ = true;
    go_changed_.notify_all();
  }
  bool Done() const { return done_; }
  size_t Received() const { return received_; }
  bool EndedWithCloseNotice() const { return clean_end_; }

 private:
  void Run() {
    timeval limit{10, 0};
    setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(context_.get());
    SSL_set_fd(ssl, fd_.get());
    if (SSL_accept(ssl) == 1) {
      std::unique_lock<std::mutex> lock(mutex_);
      go_changed_.wait_for(lock, std::chrono::seconds(10), [this] { return go_; });
      lock.unlock();
      std::string buffer(65536, '\0');
      int count = 0;
      while ((count = SSL_read(ssl, buffer.data(), static_cast<int>(buffer.size()))) > 0) {
        received_ += static_cast<size_t>(count);
      }
      clean_end_ = SSL_get_error(ssl, count) == SSL_ERROR_ZERO_RETURN;
    }
    SSL_free(ssl);
    fd_.Reset();
    done_ = true;
  }

  testing::ServerContext context_;
  UniqueFd fd_;
  std::mutex mutex_;
  std::condition_variable go_changed_;
  bool go_ = false;
  std::atomic<bool> done_{false}, clean_end_{false};
  std::atomic<size_t> received_{0};
  std::thread thread_;
};

// The upload's last record went, and the socket is full: the close notice cannot go yet. It
// goes once the peer reads, so the peer sees a clean end after every byte, not a cut stream.
TEST_F(LingeringCloseTest, ATlsCloseNoticeThatDidNotFitFollowsWhenThePeerReads) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  UniqueFd ours(ends[0]);
  const testing::TestCertificate certificate =
      testing::MakeTestCertificate("tarsil-close-test", "127.0.0.1", -60, 3600);
  StalledTlsReader server(certificate, UniqueFd(ends[1]));
  std::string error;
  auto context = TlsContext::Create({"127.0.0.1", true, certificate.fingerprint}, error);
  ASSERT_TRUE(context) << error;
  const int sndbuf = 65536;
  setsockopt(ours.get(), SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  fcntl(ours.get(), F_SETFL, O_NONBLOCK);
  auto channel = std::make_unique<TlsChannel>(context, TlsRole::kControl, ours.get());
  TlsChannel::Step step = TlsChannel::Step::kWantRead;
  for (int round = 0; round < 1000 && step != TlsChannel::Step::kDone; ++round) {
    step = channel->Handshake();
    pollfd waiting{ours.get(),
                   step == TlsChannel::Step::kWantWrite ? short{POLLOUT} : short{POLLIN}, 0};
    if (step != TlsChannel::Step::kDone) poll(&waiting, 1, 100);
  }
  ASSERT_EQ(step, TlsChannel::Step::kDone) << channel->FailureText();

  // Whole records while there is room: a Unix socket takes a write only below its buffer size.
  int buffer_size = 0;
  socklen_t length = sizeof buffer_size;
  getsockopt(ours.get(), SOL_SOCKET, SO_SNDBUF, &buffer_size, &length);
  const std::string block(16384, 'u');
  size_t sent = 0;
  for (int queued = 0; queued < buffer_size; ioctl(ours.get(), SIOCOUTQ, &queued)) {
    size_t count = 0;
    ASSERT_EQ(channel->Write(block.data(), block.size(), count), TlsChannel::Step::kDone);
    sent += count;
  }
  ASSERT_EQ(channel->Shutdown(), TlsChannel::Step::kWantWrite);  // full: the notice waits

  LingeringClose closing(loop_, std::move(ours), 10000, std::move(channel));
  server.Go();
  ASSERT_TRUE(WaitFor([&] { return server.Done(); }));
  EXPECT_EQ(server.Received(), sent);
  EXPECT_TRUE(server.EndedWithCloseNotice());
  ASSERT_TRUE(WaitFor([&] { return closing.Done(); }));
}

}  // namespace
}  // namespace tarsil

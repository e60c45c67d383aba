#include "support/TlsTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace tarsil::testing {
namespace {

constexpr int kWaitMs = 5000;  // the longest any one step waits for the client

int Listen(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(fd, 4) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("TlsTestServer: cannot listen");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A connection on `listener`, or -1 after `limit_ms` or once `stop` is set.
int Accept(int listener, const std::atomic<bool>& stop, int limit_ms) {
  for (int waited = 0; waited < limit_ms && !stop; waited += 100) {
    pollfd entry{listener, POLLIN, 0};
    if (poll(&entry, 1, 100) == 1) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return -1;
      timeval timeout{kWaitMs / 1000, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      return fd;
    }
  }
  return -1;
}

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
bool Send(SSL* ssl, const std::string& text) {
  return text.empty() || SSL_write(ssl, text.data(), static_cast<int>(text.size())) > 0;
}

// One command line without its CR LF; false when the connection ended.
bool ReadLine(SSL* ssl, std::string& line) {
  line.clear();
  char c = 0;
  while (SSL_read(ssl, &c, 1) == 1) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (line.size() > 4096) return false;
    line += c;
  }
  return false;
}

}  // namespace

TlsTestServer::TlsTestServer(Options options) : options_(std::move(options)) {
  listener_ = Listen(port_);
  thread_ = std::thread([this] { Run(); });
}

TlsTestServer::~TlsTestServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

std::vector<std::string> TlsTestServer::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

void TlsTestServer::Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back(line);
}

void TlsTestServer::Run() {
  const int fd = Accept(listener_, stop_, 20000);
  if (fd < 0) return;
  Serve(fd);
  close(fd);
}

void TlsTestServer::Serve(int fd) {
  auto context = MakeServerContext(options_.certificate);
  std::unique_ptr<SSL, SslFree> ssl(SSL_new(context.get()));
  SSL_set_fd(ssl.get(), fd);
  if (SSL_accept(ssl.get()) != 1) return;  // the client refused the certificate (or left)
  Send(ssl.get(), "220 TLS test server\r\n");
  int data_listener = -1;
  std::string line;
  while (!stop_ && ReadLine(ssl.get(), line)) {
    Record(line);
    const std::string verb = line.substr(0, line.find(' '));
    std::string reply = "502 Not here\r\n";
    if (verb == "USER") reply = "331 Password\r\n";
    if (verb == "PASS") reply = "230 Logged in\r\n";
    if (verb == "PBSZ") reply = "200 PBSZ=0\r\n";
    if (verb == "PROT") reply = options_.prot_reply;
    if (verb == "SYST") reply = "215 UNIX Type: L8\r\n";
    if (verb == "REST") reply = "350 Restarting\r\n";
    if (verb == "PWD") reply = "257 \"/\" is the current directory\r\n";
    if (verb == "TYPE") reply = "200 Type set\r\n";
    if (verb == "SIZE") reply = "550 No size\r\n";
    if (verb == "QUIT") {
      Send(ssl.get(), "221 Bye\r\n");
      break;
    }
    if (verb == "PASV") {
      if (data_listener >= 0) close(data_listener);
      uint16_t port = 0;
      data_listener = Listen(port);
      reply = "227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," +
              std::to_string(port & 255) + ")\r\n";
    }
    if (verb == "RETR" && data_listener >= 0) {
      Send(ssl.get(), "150 Sending\r\n");
      const int data_fd = Accept(data_listener, stop_, kWaitMs);
      std::unique_ptr<SSL, SslFree> data(SSL_new(context.get()));
      SSL_set_fd(data.get(), data_fd);
      if (data_fd < 0 || SSL_accept(data.get()) != 1) {
        if (data_fd >= 0) close(data_fd);
        reply = "425 No TLS data connection\r\n";
      } else {
        data_resumed_ = SSL_session_reused(data.get()) == 1;
        const std::string& bytes = options_.download;
        const size_t count = options_.cut_data ? bytes.size() / 2 : bytes.size();
        Send(data.get(), bytes.substr(0, count));
        if (options_.cut_data) {
          close(data_fd);  // no close notice, no final reply: the transfer was cut
          continue;
        }
        SSL_shutdown(data.get());
        char sink = 0;
        while (SSL_read(data.get(), &sink, 1) > 0) {
        }
        close(data_fd);
        reply = "226 Done\r\n";
      }
    }
    if (!Send(ssl.get(), reply)) break;
  }
  if (data_listener >= 0) close(data_listener);
  SSL_shutdown(ssl.get());
  ERR_clear_error();
}

}  // namespace tarsil::testing

#include "support/FakeFtpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

namespace tarsil::testing {

std::optional<in_addr> ParseDotted(const std::string& dotted) {
  in_addr address{};
  if (inet_pton(AF_INET, dotted.c_str(), &address) != 1) return std::nullopt;
  return address;
}

bool IsLoopback(in_addr address) { return (ntohl(address.s_addr) >> 24) == 127; }

std::string DottedText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

UniqueFd ListenOn(in_addr address, uint16_t port, int backlog) {
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  int on = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(port);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(fd.get(), backlog) != 0) {
    return UniqueFd();
  }
  return fd;
}

UniqueFd ConnectFrom(in_addr source, const sockaddr_in& target, bool& connected) {
  connected = false;
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = source;
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return UniqueFd();
  }
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    connected = true;
  } else if (errno != EINPROGRESS) {
    return UniqueFd();
  }
  return fd;
}

UniqueFd AcceptNonBlocking(int listener) {
  UniqueFd fd(accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (fd.valid()) {
    int on = 1;  // so that replies split into single bytes really leave one by one
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  return fd;
}

uint16_t LocalPort(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void ResetAndClose(UniqueFd& fd) {
  if (!fd.valid()) return;
  linger abortive{1, 0};
  setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  fd.Reset();
}

size_t PollSet::Add(int fd, short events) {
  fds_.push_back(pollfd{fd, events, 0});
  return fds_.size() - 1;
}

void PollSet::Wait(std::optional<FakeClock::time_point> deadline) {
  int timeout = -1;
  if (deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - FakeClock::now());
    timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left.count(), 60000)));
  }
  for (auto& entry : fds_) entry.revents = 0;
  if (poll(fds_.data(), fds_.size(), timeout) < 0) {
    for (auto& entry : fds_) entry.revents = 0;  // EINTR: look again next turn
  }
}

}  // namespace tarsil::testing

#include "FakeFtpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace tarsil::testing {

UniqueFd Connect(uint16_t port, const std::string& host) {
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  timeval limit{5, 0};  // no read or write in these tests may hang
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, host.c_str(), &to.sin_addr);
  EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0) << errno;
  return fd;
}

void SendAll(int fd, std::string_view bytes, int flags) {
  while (!bytes.empty()) {
    ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | flags);
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

std::string ReadUpTo(int fd, size_t limit, int* error) {
  std::string bytes;
  char buffer[16384];
  while (bytes.size() < limit) {
    ssize_t got = recv(fd, buffer, std::min(sizeof buffer, limit - bytes.size()), 0);
    if (got <= 0) {
      if (error) *error = got == 0 ? 0 : errno;
      break;
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

std::string ReadToEnd(int fd, int* error) { return ReadUpTo(fd, SIZE_MAX, error); }

std::string Control::Ask(const std::string& command) {
  Send(command + "\r\n");
  return Reply();
}

std::string Control::Reply() {
  std::string reply = Line();
  if (reply.size() < 4 || reply[3] != '-') return reply;
  for (std::string line = Line(); !line.empty(); line = Line()) {
    reply += line;
    if (line.size() >= 4 && line.compare(0, 3, reply, 0, 3) == 0 && line[3] == ' ') break;
  }
  return reply;
}

std::string Control::Line() {
  for (;;) {
    size_t end = pending_.find("\r\n");
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end + 2);
      pending_.erase(0, end + 2);
      return line;
    }
    char buffer[4096];
    ssize_t got = recv(fd_.get(), buffer, sizeof buffer, 0);
    if (got <= 0) return std::exchange(pending_, {});
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

bool Control::SeesEnd(int* error) {
  return pending_.empty() && ReadToEnd(fd_.get(), error).empty();
}

uint16_t PassivePort(const std::string& reply) {
  unsigned n[6] = {};
  size_t open = reply.find('(');
  const char* from = open == std::string::npos ? "" : reply.c_str() + open;
  if (std::sscanf(from, "(%u,%u,%u,%u,%u,%u)", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) == 6) {
    return static_cast<uint16_t>(n[4] * 256 + n[5]);
  }
  if (std::sscanf(from, "(|||%u|)", &n[0]) == 1) return static_cast<uint16_t>(n[0]);
  ADD_FAILURE() << "no port in " << reply;
  return 0;
}

Listener::Listener() : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&local), length), 0);
  listen(fd.get(), 1);
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
  port = ntohs(local.sin_port);
}

UniqueFd Listener::Accept(std::string* peer) {
  pollfd entry{fd.get(), POLLIN, 0};
  if (poll(&entry, 1, 5000) != 1) return UniqueFd();
  sockaddr_in from{};
  socklen_t length = sizeof from;
  UniqueFd data(accept(fd.get(), reinterpret_cast<sockaddr*>(&from), &length));
  timeval limit{5, 0};
  setsockopt(data.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (peer) *peer = inet_ntoa(from.sin_addr);
  return data;
}

std::string AllByteValues(size_t copies) {
  std::string bytes;
  for (size_t i = 0; i < copies * 256; ++i) bytes.push_back(static_cast<char>(i & 255));
  return bytes;
}
}  // namespace tarsil::testing

#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarsil::testing {

HostAddress LoopbackAddress(const std::string& text) {
  HostAddress address;
  if (text.find(':') != std::string::npos) {
    address.family = AF_INET6;
    inet_pton(AF_INET6, text.c_str(), &address.v6);
  } else {
    inet_pton(AF_INET, text.c_str(), &address.v4);
  }
  return address;
}

LoopbackPort::LoopbackPort(const HostAddress& where, uint16_t port, bool listening, int backlog) {
  const int family = where.family;
  fd_.Reset(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  if (family == AF_INET6) setsockopt(fd_.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (family == AF_INET6) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
    in6.sin6_family = AF_INET6;
    in6.sin6_addr = where.v6;
    in6.sin6_port = htons(port);
    length = sizeof in6;
  } else {
    auto& in4 = reinterpret_cast<sockaddr_in&>(storage);
    in4.sin_family = AF_INET;
    in4.sin_addr.s_addr = where.v4;
    in4.sin_port = htons(port);
    length = sizeof in4;
  }
  if (bind(fd_.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) return;
  if (listening && listen(fd_.get(), backlog) != 0) return;
  getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&storage), &length);
  port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                                   : reinterpret_cast<sockaddr_in&>(storage).sin_port);
}

}  // namespace tarsil::testing

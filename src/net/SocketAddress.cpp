#include "net/SocketAddress.h"

#include <arpa/inet.h>

namespace tarsil {

sockaddr_in MakeAddress4(uint32_t address, uint16_t port_net) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = address;
  result.sin_port = port_net;
  return result;
}

sockaddr_in6 MakeAddress6(const in6_addr& address, uint16_t port_net) {
  sockaddr_in6 result{};
  result.sin6_family = AF_INET6;
  result.sin6_addr = address;
  result.sin6_port = port_net;
  return result;
}

std::string Text6(const in6_addr& address) {
  char text[INET6_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET6, &address, text, sizeof text) != nullptr ? std::string(text)
                                                                     : std::string();
}

std::string AddressOf(const sockaddr_storage& storage, uint16_t* port) {
  if (storage.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
    if (port != nullptr) *port = ntohs(in6.sin6_port);
    return Text6(in6.sin6_addr);
  }
  if (storage.ss_family == AF_INET) {
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(storage);
    if (port != nullptr) *port = ntohs(in4.sin_port);
    in_addr in = in4.sin_addr;
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &in, text, sizeof text) != nullptr ? std::string(text)
                                                                 : std::string();
  }
  return {};
}

std::string DottedText(uint32_t address) {
  in_addr in{};
  in.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET, &in, text, sizeof text) != nullptr ? std::string(text) : std::string();
}

}  // namespace tarsil

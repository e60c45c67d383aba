// Socket addresses of either family as text and back: the small conversions AsyncSocket needs
// for IPv4 and IPv6 alike. Pure functions; any thread.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace tarsil {

sockaddr_in MakeAddress4(uint32_t address, uint16_t port_net);  // both in network byte order
sockaddr_in6 MakeAddress6(const in6_addr& address, uint16_t port_net);
std::string Text6(const in6_addr& address);
std::string DottedText(uint32_t address);  // network byte order
// The address and port of a socket address of either family; empty text for another family.
std::string AddressOf(const sockaddr_storage& storage, uint16_t* port);

}  // namespace tarsil

// LoopbackPort: a TCP socket bound to a loopback address and port (0: any free one), listening or
// not; a bound socket that never listens refuses every connect, and a listener with a backlog of
// 0 lets a connect stall. For the tests of connects that move on between a host's addresses.
// Owns its socket; test thread only.
#pragma once

#include <cstdint>
#include <string>

#include "net/HostLookup.h"
#include "platform/UniqueFd.h"

namespace tarsil::testing {

// An IPv4 or IPv6 (the texts with a colon) address as the resolver gives it.
HostAddress LoopbackAddress(const std::string& text);

class LoopbackPort {
 public:
  LoopbackPort(const HostAddress& where, uint16_t port, bool listening, int backlog = 8);
  LoopbackPort(const std::string& text, uint16_t port, bool listening)
      : LoopbackPort(LoopbackAddress(text), port, listening) {}
  uint16_t port() const { return port_; }  // 0 when the bind failed
  int fd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
  uint16_t port_ = 0;
};

}  // namespace tarsil::testing

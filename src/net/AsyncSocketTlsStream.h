// The state an AsyncSocket keeps while a TLS channel carries its connection: the channel, where
// its handshake stands, and the decrypted bytes the owner has not taken yet. Internal to
// src/net (AsyncSocketImpl.cpp and AsyncSocketTls.cpp); owned by the socket; loop thread only.
#pragma once

#include <memory>
#include <vector>

#include "net/AsyncSocketImpl.h"
#include "net/TlsChannel.h"

namespace tarsil {

struct AsyncSocket::Impl::TlsStream {
  std::unique_ptr<TlsChannel> channel;
  enum class Phase { kConnect, kAccept, kStarted } phase = Phase::kConnect;
  bool handshaking = true;
  bool handshake_wants_write = false;
  bool write_blocked = false;  // a write waits for the socket to take more
  std::vector<char> in;        // decrypted, not yet taken by the owner
  size_t in_begin = 0;
  bool pump_posted = false;  // a look at what the channel holds is on its way
  bool broken = false;       // the handshake failed: the channel is never used again
  bool ended = false;        // the peer's close notice or a failure was met by a read
  uint16_t end_error = 0;
};

}  // namespace tarsil

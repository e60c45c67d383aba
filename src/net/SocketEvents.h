// The socket events an AsyncSocket posts to itself: the low 16 bits of a kSocketEventMessage
// lparam, the error in bits 16-31; the wparam names the socket (its generation) the event belongs
// to. Shared by the plain socket and its TLS layer, which post and handle the same events.
#pragma once

#include <cstdint>

namespace tarsil::socket_events {

constexpr uint16_t kFdRead = 1;
constexpr uint16_t kFdWrite = 2;
constexpr uint16_t kFdAccept = 8;
constexpr uint16_t kFdConnect = 16;
constexpr uint16_t kFdClose = 32;
constexpr uint16_t kFdSecured = 64;   // a TLS handshake has ended
constexpr uint16_t kFdTlsPump = 128;  // the TLS channel holds bytes the descriptor does not show
constexpr uint16_t kFdNextAddress = 256;  // one address refused: go on with the next resolved one

}  // namespace tarsil::socket_events

// LingeringClose: the end of a connection our side has finished with. Our side has said all it
// will (shut down for writing); what the peer still sends is read and dropped until the peer
// closes too, or until a time limit or 64 KiB (a peer still streaming is cut off at once). Closing
// at once instead would answer bytes that arrive late (a TLS session ticket, say) with a reset, and
// a reset makes the peer drop what it has not read yet: the tail of an upload. A TLS close notice
// the socket did not take yet goes first, when the socket is writable again (within the same time
// limit). Owns the descriptor, that TLS channel, its watch and its timer; loop thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/TlsChannel.h"
#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {

class LingeringClose {
 public:
  LingeringClose(EventLoop& loop, UniqueFd fd, uint32_t limit_ms,
                 std::unique_ptr<TlsChannel> unsent_notice = nullptr);
  LingeringClose(const LingeringClose&) = delete;
  LingeringClose& operator=(const LingeringClose&) = delete;

  bool Done() const { return !fd_.valid(); }  // the descriptor is closed
  // Sockets still lingering in the whole process, for leak checks.
  static size_t Lingering();
  ~LingeringClose();

 private:
  void Ready(unsigned events);
  void Readable();
  void StopWriting();
  void End();

  UniqueFd fd_;
  std::unique_ptr<TlsChannel> unsent_notice_;  // uses fd_: goes before it
  FdWatch watch_;                              // declared after fd_: goes first
  EventTarget timer_;
  size_t dropped_ = 0;
};

}  // namespace tarsil

// Small socket helpers for the fake FTP server's thread: IPv4 loopback addresses, non-blocking
// listeners and connects, the abortive close, and a poll set rebuilt on every turn of its loop.
// Plain functions; the caller owns every descriptor they return.
#pragma once

#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace tarsil::testing {

using FakeClock = std::chrono::steady_clock;

std::optional<in_addr> ParseDotted(const std::string& dotted);
bool IsLoopback(in_addr address);
std::string DottedText(in_addr address);

// A non-blocking listening socket on address:port (port 0: any free one); invalid on failure.
UniqueFd ListenOn(in_addr address, uint16_t port, int backlog);
// Starts a non-blocking connect from `source` (any port) to `target`; invalid when it failed at
// once. `connected` tells whether it already completed.
UniqueFd ConnectFrom(in_addr source, const sockaddr_in& target, bool& connected);
// Takes a pending connection as a non-blocking socket; invalid when there was none.
UniqueFd AcceptNonBlocking(int listener);
uint16_t LocalPort(int fd);
// The peer learns of the end by an RST (SO_LINGER 0) rather than a FIN.
void ResetAndClose(UniqueFd& fd);

// The descriptors of one poll(2) round. Add returns the index to read the result back with.
class PollSet {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  size_t Add(int fd, short events);
  short Revents(size_t index) const { return index < fds_.size() ? fds_[index].revents : 0; }
  // Waits until an event or the deadline (none: no time limit).
  void Wait(std::optional<FakeClock::time_point> deadline);
  void Clear() { fds_.clear(); }

 private:
  std::vector<pollfd> fds_;
};

// The earlier of two optional deadlines.
inline void TakeEarlier(std::optional<FakeClock::time_point>& deadline, FakeClock::time_point t) {
  if (!deadline || t < *deadline) deadline = t;
}

}  // namespace tarsil::testing

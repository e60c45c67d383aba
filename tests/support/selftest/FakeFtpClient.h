// A blocking test client for the fake FTP server's own tests: connections with bounded
// time-outs, whole replies read from the control connection, the port of a passive reply, and a
// listening socket for active mode. Every read and write gives up after five seconds, so no test
// can hang on the server. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace tarsil::testing {

using Clock = std::chrono::steady_clock;
inline constexpr std::chrono::milliseconds kWait{5000};

UniqueFd Connect(uint16_t port, const std::string& host = "127.0.0.1");
void SendAll(int fd, std::string_view bytes, int flags = 0);
// Reads until EOF, an error or `limit` bytes; `error` gets errno of a failed read (0 at EOF).
std::string ReadUpTo(int fd, size_t limit, int* error = nullptr);
std::string ReadToEnd(int fd, int* error = nullptr);
// The port of a "227 ... (h1,h2,h3,h4,p1,p2)" or "229 ... (|||port|)" reply.
uint16_t PassivePort(const std::string& reply);
std::string AllByteValues(size_t copies);  // every byte value, `copies` times over

// The control side of a client: whole replies, multi-line ones included.
class Control {
 public:
  explicit Control(uint16_t port, const std::string& host = "127.0.0.1")
      : fd_(Connect(port, host)) {}
  int fd() const { return fd_.get(); }
  void Close() { fd_.Reset(); }
  void Send(std::string_view bytes) { SendAll(fd_.get(), bytes); }
  std::string Ask(const std::string& command);
  // One reply: a line, or "ddd-" lines up to the one starting "ddd "; empty at the end.
  std::string Reply();
  std::string Line();
  // True when the server ended the connection (FIN or RST) with nothing more to read.
  bool SeesEnd(int* error = nullptr);

 private:
  UniqueFd fd_;
  std::string pending_;
};

// A loopback listening socket for the server's active connections.
struct Listener {
  Listener();
  UniqueFd Accept(std::string* peer = nullptr);  // an invalid descriptor after five seconds
  UniqueFd fd;
  uint16_t port = 0;
};

}  // namespace tarsil::testing

// Resolves one host name to an IPv4 address on a thread of its own and posts the answer back
// into the event loop as a notice to a target id. The HostLookup object (loop thread) owns only a
// ticket shared with the thread; cancelling or destroying it guarantees that nothing is posted
// afterwards, so the requester may go away while the resolver is still busy.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/EventLoop.h"

namespace tarsil {

struct LookupResult {
  uint16_t error = 0;    // WinSock numbering; 0 when an address was found
  uint32_t address = 0;  // IPv4, network byte order; meaningful when error is 0
};

// The answer travels in a notice's lparam: the error in bits 16-31, the address in bits 32-63.
int64_t PackLookupResult(LookupResult result);
LookupResult UnpackLookupResult(int64_t lparam);

// A blocking resolver: name in, first IPv4 address or error out.
using HostResolver = std::function<LookupResult(const std::string& name)>;

// The system resolver (getaddrinfo, AF_INET). Blocking; any thread.
LookupResult ResolveWithSystem(const std::string& name);

// Names that can never resolve (empty, embedded NUL, over 253 bytes, a label over 63 bytes) are
// refused before any resolver sees them.
bool IsPlausibleHostName(const std::string& name);

class HostLookup {
 public:
  HostLookup() = default;
  ~HostLookup() { Cancel(); }
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // Starts resolving; when done, Notice{message, wparam, PackLookupResult(answer)} is posted to
  // target (unless cancelled first). Returns false when no thread could be started.
  bool Start(EventLoop& loop, TargetId target, uint32_t message, uint64_t wparam, std::string name);
  // No notice is posted after this returns. The thread itself finishes in its own time.
  void Cancel();

  // Test hooks: replace the system resolver for look-ups started afterwards (empty restores
  // it), and watch the resolver threads that are still running.
  static void SetResolverForTesting(HostResolver resolver);
  static size_t RunningThreads();
  static bool WaitForThreads(std::chrono::milliseconds limit);

 private:
  struct Ticket;
  std::shared_ptr<Ticket> ticket_;
};

}  // namespace tarsil

// Resolves one host name to its IPv4 and IPv6 addresses (in the resolver's order) on a thread of
// its own and posts the end back into the event loop as a notice to a target id; the addresses
// wait in the look-up's ticket until the requester takes them. The HostLookup object (loop thread)
// owns only a ticket shared with the thread; cancelling or destroying it guarantees that nothing is
// posted afterwards, so the requester may go away while the resolver is still busy.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>

#include "platform/EventLoop.h"

namespace tarsil {

// One resolved address of either family.
struct HostAddress {
  int family = AF_INET;
  uint32_t v4 = 0;  // network byte order, AF_INET
  in6_addr v6{};    // AF_INET6
  bool operator==(const HostAddress& other) const;
};

struct LookupResult {
  uint16_t error = 0;    // WinSock numbering; 0 when an address was found
  uint32_t address = 0;  // IPv4, network byte order: the answer when `addresses` is empty
  std::vector<HostAddress> addresses = {};  // every address, in the resolver's order
};

// The addresses a successful result names: `addresses`, or the single IPv4 `address`.
std::vector<HostAddress> AddressesOf(const LookupResult& result);

// A short answer travels in a notice's lparam: the error in bits 16-31, the address in bits
// 32-63 (the address list does not).
int64_t PackLookupResult(LookupResult result);
LookupResult UnpackLookupResult(int64_t lparam);

// A blocking resolver: name in, addresses or error out.
using HostResolver = std::function<LookupResult(const std::string& name)>;

// The system resolver (getaddrinfo, IPv4 and IPv6, duplicates dropped). Blocking; any thread.
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
  // The full answer of a look-up whose notice has arrived (once), or nothing.
  std::optional<LookupResult> TakeResult();

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

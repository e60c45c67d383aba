#include "net/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "net/SocketErrors.h"

namespace tarsil {

// Shared by the requester and its thread; loop is null once the requester has cancelled.
struct HostLookup::Ticket {
  std::mutex mutex;
  EventLoop* loop = nullptr;
  TargetId target = 0;
  Notice notice;
  std::optional<LookupResult> result;  // set by the thread just before it posts
};

namespace {

// Process-wide state of the resolver threads. Never destroyed, so that a thread still waiting
// for a slow resolver when the process exits finds it intact.
struct ThreadBook {
  std::mutex mutex;
  std::condition_variable idle;
  size_t running = 0;
  HostResolver resolver;  // empty: the system resolver
};

ThreadBook& Book() {
  alignas(ThreadBook) static unsigned char storage[sizeof(ThreadBook)];
  static ThreadBook* book = ::new (storage) ThreadBook();
  return *book;
}

void ThreadFinished() {
  ThreadBook& book = Book();
  std::lock_guard lock(book.mutex);
  --book.running;
  book.idle.notify_all();
}

}  // namespace

bool HostAddress::operator==(const HostAddress& other) const {
  if (family != other.family) return false;
  return family == AF_INET6 ? std::memcmp(&v6, &other.v6, sizeof v6) == 0 : v4 == other.v4;
}

std::vector<HostAddress> AddressesOf(const LookupResult& result) {
  if (result.error != 0) return {};
  if (!result.addresses.empty()) return result.addresses;
  HostAddress single;
  single.v4 = result.address;
  return {single};
}

int64_t PackLookupResult(LookupResult result) {
  const uint64_t packed =
      (static_cast<uint64_t>(result.address) << 32) | (static_cast<uint64_t>(result.error) << 16);
  return static_cast<int64_t>(packed);
}

LookupResult UnpackLookupResult(int64_t lparam) {
  const auto packed = static_cast<uint64_t>(lparam);
  return LookupResult{static_cast<uint16_t>(packed >> 16), static_cast<uint32_t>(packed >> 32)};
}

LookupResult ResolveWithSystem(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int status = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  const int saved_errno = errno;
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(list, &freeaddrinfo);
  if (status != 0) return LookupResult{WinSockErrorFromResolver(status, saved_errno), 0};
  LookupResult result;
  bool have_v4 = false;
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    HostAddress found;
    if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in address;
      std::memcpy(&address, entry->ai_addr, sizeof address);
      found.v4 = address.sin_addr.s_addr;
      if (!have_v4) result.address = found.v4;
      have_v4 = true;
    } else if (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6)) {
      sockaddr_in6 address;
      std::memcpy(&address, entry->ai_addr, sizeof address);
      found.family = AF_INET6;
      found.v6 = address.sin6_addr;
    } else {
      continue;
    }
    bool seen = false;
    for (const HostAddress& earlier : result.addresses) seen = seen || earlier == found;
    if (!seen) result.addresses.push_back(found);
  }
  if (result.addresses.empty()) return LookupResult{kWsaNoData, 0};
  return result;
}

bool IsPlausibleHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  if (name.find('\0') != std::string::npos) return false;
  size_t label = 0;
  for (char c : name) {
    label = (c == '.') ? 0 : label + 1;
    if (label > 63) return false;
  }
  return true;
}

bool HostLookup::Start(EventLoop& loop, TargetId target, uint32_t message, uint64_t wparam,
                       std::string name) {
  Cancel();
  auto ticket = std::make_shared<Ticket>();
  ticket->loop = &loop;
  ticket->target = target;
  ticket->notice = Notice{message, wparam, 0};

  ThreadBook& book = Book();
  HostResolver resolver;
  {
    std::lock_guard lock(book.mutex);
    resolver = book.resolver ? book.resolver : HostResolver(&ResolveWithSystem);
    ++book.running;
  }
  try {
    std::thread([ticket, resolver = std::move(resolver), name = std::move(name)]() mutable {
      {
        // Everything the thread holds is released before it counts itself finished.
        const auto own_ticket = std::move(ticket);
        const auto own_resolver = std::move(resolver);
        const std::string own_name = std::move(name);
        LookupResult result = own_resolver(own_name);
        std::lock_guard lock(own_ticket->mutex);
        if (own_ticket->loop != nullptr) {
          Notice notice = own_ticket->notice;
          notice.lparam = PackLookupResult(result);
          own_ticket->result = std::move(result);
          own_ticket->loop->PostFromAnyThread(own_ticket->target, notice);
        }
      }
      ThreadFinished();
    }).detach();
  } catch (const std::system_error&) {
    ThreadFinished();
    return false;
  }
  ticket_ = std::move(ticket);
  return true;
}

void HostLookup::Cancel() {
  if (!ticket_) return;
  {
    std::lock_guard lock(ticket_->mutex);
    ticket_->loop = nullptr;
  }
  ticket_.reset();
}

std::optional<LookupResult> HostLookup::TakeResult() {
  if (!ticket_) return std::nullopt;
  std::lock_guard lock(ticket_->mutex);
  std::optional<LookupResult> result = std::move(ticket_->result);
  ticket_->result.reset();
  return result;
}

void HostLookup::SetResolverForTesting(HostResolver resolver) {
  ThreadBook& book = Book();
  std::lock_guard lock(book.mutex);
  book.resolver = std::move(resolver);
}

size_t HostLookup::RunningThreads() {
  ThreadBook& book = Book();
  std::lock_guard lock(book.mutex);
  return book.running;
}

bool HostLookup::WaitForThreads(std::chrono::milliseconds limit) {
  ThreadBook& book = Book();
  std::unique_lock lock(book.mutex);
  return book.idle.wait_for(lock, limit, [&book] { return book.running == 0; });
}

}  // namespace tarsil

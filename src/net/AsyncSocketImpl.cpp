// AsyncSocket::Impl: the socket held and its stream, the address set, the look-up, the countdown
// and the notices that carry every notification to the owner.
#include "net/AsyncSocketImpl.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#include "net/AsyncSocketTlsStream.h"
#include "net/ConnectPlan.h"
#include "net/LingeringClose.h"
#include "net/SocketAddress.h"
#include "net/SocketErrors.h"
#include "net/SocketEvents.h"
#include "platform/TextHelpers.h"

namespace tarsil {
namespace {

using namespace socket_events;

// How long a closed TLS connection waits for the peer's own close.
constexpr uint32_t kLingerMs = 5000;

// Sockets held by all AsyncSocket objects of the process, for leak checks.
std::atomic<size_t> g_live_handles{0};

}  // namespace

size_t AsyncSocket::LiveHandles() { return g_live_handles.load(); }

AsyncSocket::Impl::Impl(AsyncSocket& owner, EventLoop& loop)
    : owner_(owner),
      loop_(loop),
      target_(loop, [this](const Notice& notice) { HandleNotice(notice); }) {}

AsyncSocket::Impl::~Impl() {
  lookup_.Cancel();
  watch_.Reset();
  if (handle_.valid()) --g_live_handles;
  handle_.Reset();
}

// ---- Addresses and properties --------------------------------------------------------------

void AsyncSocket::Impl::SetServer(std::string_view text) {
  server_ = TrimBlanks(text);
  if (server_.empty()) return;  // both views keep what they held
  // Dotted IPv4 addresses start with a digit; IPv6 addresses are the texts with a colon.
  if ((server_[0] >= '0' && server_[0] <= '9') || server_.find(':') != std::string::npos) {
    address_text_view_ = server_;
    host_name_view_.clear();
  } else {
    host_name_view_ = server_;
    address_text_view_.clear();
  }
}

void AsyncSocket::Impl::SetAddressText(const std::string& text) {
  plan_.next.clear();  // an address given outright has no alternatives
  // inet_addr reads up to a NUL; a text with one inside is no address at all.
  const bool clean = text.find('\0') == std::string::npos;
  if (clean && text.find(':') != std::string::npos &&
      inet_pton(AF_INET6, text.c_str(), &address6_) == 1) {
    family_ = AF_INET6;
    return;
  }
  family_ = AF_INET;
  address_ = clean ? inet_addr(text.c_str()) : INADDR_NONE;
}

std::string AsyncSocket::Impl::AddressText() const {
  return family_ == AF_INET6 ? Text6(address6_) : DottedText(address_);
}

std::string AsyncSocket::Impl::LocalAddressText() {
  if (!handle_.valid()) return std::string();
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(handle_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    last_error_ = WinSockErrorFromErrno(errno);
    return std::string();
  }
  last_error_ = 0;
  return AddressOf(local, nullptr);
}

uint16_t AsyncSocket::Impl::LocalPort() {
  if (!handle_.valid()) return 0;
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(handle_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    last_error_ = WinSockErrorFromErrno(errno);
    return 0;
  }
  last_error_ = 0;
  uint16_t port = 0;
  AddressOf(local, &port);
  return port;
}

void AsyncSocket::Impl::PostNotice(uint32_t message, uint64_t wparam, int64_t lparam) {
  target_.Post(message, wparam, lparam);
}

// ---- Operations ----------------------------------------------------------------------------

void AsyncSocket::Impl::CreateSocket() {
  if (handle_.valid()) return;
  const int fd = socket(family_, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    last_error_ = WinSockErrorFromErrno(errno);
    return;
  }
  handle_.Reset(fd);
  handle_family_ = family_;
  ++g_live_handles;
  ++generation_;
  mode_ = Mode::kIdle;
  last_error_ = 0;
}

bool AsyncSocket::Impl::MatchFamily() {
  if (handle_family_ == family_) return true;
  // The socket was made before its address was known: one of the address's family replaces it.
  RecreateSocket();
  return handle_.valid();
}

void AsyncSocket::Impl::RecreateSocket() {
  ReleaseHandle();
  is_open_ = false;
  CreateSocket();
}

void AsyncSocket::Impl::LookupHost(const std::string& name) {
  if (lookup_handle_ != 0) return;
  lookup_handle_ = next_lookup_++;
  // Names that cannot resolve and dotted addresses are answered without a resolver thread, but
  // still later, through the same notice, so that every look-up ends the same way.
  in_addr dotted{};
  if (!IsPlausibleHostName(name)) {
    PostNotice(kLookupDoneMessage, lookup_handle_,
               PackLookupResult(LookupResult{kWsaHostNotFound, 0}));
  } else if (inet_pton(AF_INET, name.c_str(), &dotted) == 1) {
    PostNotice(kLookupDoneMessage, lookup_handle_,
               PackLookupResult(LookupResult{0, dotted.s_addr}));
  } else if (!lookup_.Start(loop_, target_.id(), kLookupDoneMessage, lookup_handle_, name)) {
    PostNotice(kLookupDoneMessage, lookup_handle_, PackLookupResult(LookupResult{kWsaTryAgain, 0}));
  }
  last_error_ = 0;
  StartCountdown(time_out_);
}

void AsyncSocket::Impl::ListenSocket() {
  if (!handle_.valid()) {
    last_error_ = kWsaENotSock;
    return;
  }
  if (!MatchFamily()) return;
  const sockaddr_in local = MakeAddress4(address_, port_net_);
  const sockaddr_in6 local6 = MakeAddress6(address6_, port_net_);
  const int bound =
      family_ == AF_INET6
          ? bind(handle_.get(), reinterpret_cast<const sockaddr*>(&local6), sizeof local6)
          : bind(handle_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local);
  if (bound != 0) {
    last_error_ = WinSockErrorFromErrno(errno);
    return;
  }
  if (listen(handle_.get(), 2) != 0) {
    last_error_ = WinSockErrorFromErrno(errno);
    return;
  }
  last_error_ = 0;
  mode_ = Mode::kListening;
  accept_armed_ = true;
  UpdateWatch();
}

void AsyncSocket::Impl::AcceptFrom(Impl& listener) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  const int fd = accept4(listener.handle_.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  const int error_number = errno;
  // Like accept() under WinSock, any attempt re-enables the listener's notification.
  if (listener.mode_ == Mode::kListening && !listener.accept_armed_) {
    listener.accept_armed_ = true;
    listener.UpdateWatch();
  }
  ReleaseHandle();  // a socket still held here would otherwise be lost
  is_open_ = false;
  if (fd < 0) {
    last_error_ = WinSockErrorFromErrno(error_number);
    return;
  }
  handle_.Reset(fd);
  ++g_live_handles;
  handle_family_ = peer.ss_family;
  if (peer.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(peer);
    family_ = AF_INET6;
    address6_ = in6.sin6_addr;
    port_net_ = in6.sin6_port;
  } else {
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(peer);
    family_ = AF_INET;
    address_ = in4.sin_addr.s_addr;
    port_net_ = in4.sin_port;
  }
  last_error_ = 0;
  is_open_ = true;
  mode_ = Mode::kStream;
  read_armed_ = true;
  write_armed_ = true;  // writable once, now that the connection is there
  if (tls_armed_) {
    BeginHandshake(false);
    DriveHandshake();
    return;
  }
  UpdateWatch();
}

void AsyncSocket::Impl::CloseSocket() {
  EndAttempts();
  if (lookup_handle_ != 0) {
    lookup_.Cancel();
    lookup_handle_ = 0;
  }
  StartCountdown(0);
  if (!handle_.valid()) return;
  watch_.Reset();
  std::unique_ptr<TlsChannel> unsent;
  const bool linger = tls_ && TlsClose(unsent);
  --g_live_handles;
  if (linger) {
    // The peer's last words (a session ticket sent late) must not meet a closed socket.
    std::erase_if(lingering_, [](const auto& closing) { return closing->Done(); });
    lingering_.push_back(
        std::make_unique<LingeringClose>(loop_, std::move(handle_), kLingerMs, std::move(unsent)));
    last_error_ = 0;
  } else {
    last_error_ = handle_.Close() ? 0 : WinSockErrorFromErrno(errno);
  }
  ReleaseHandle();
  is_open_ = false;
  Raise(owner_.OnClosed);
}

size_t AsyncSocket::Impl::Send(const void* buffer, size_t count, int flags) {
  if (!handle_.valid()) {
    last_error_ = kWsaENotSock;
    return 0;
  }
  if (tls_) {
    if ((flags & MSG_OOB) == 0) return TlsSend(buffer, count);
    last_error_ = kWsaEOpNotSupp;  // urgent data has no place inside a TLS stream
    return 0;
  }
  if (more_to_come_ && (flags & MSG_OOB) == 0) flags |= MSG_MORE;
  const ssize_t result = send(handle_.get(), buffer, count, flags | MSG_NOSIGNAL);
  const int error_number = errno;
  if (result < 0 && (error_number == EAGAIN || error_number == EWOULDBLOCK) &&
      mode_ == Mode::kStream && !write_armed_) {
    write_armed_ = true;  // the next writable notification says when to go on
    UpdateWatch();
  }
  return Transferred(result, error_number);
}

size_t AsyncSocket::Impl::ReceiveBytes(void* buffer, size_t size) {
  if (!handle_.valid()) {
    last_error_ = kWsaENotSock;
    return 0;
  }
  if (tls_) {
    const size_t count = TlsReceive(buffer, size);
    TlsRearmRead();
    return count;
  }
  const ssize_t result = recv(handle_.get(), buffer, size, 0);
  const int error_number = errno;
  RearmRead();
  return Transferred(result, error_number);
}

size_t AsyncSocket::Impl::Transferred(ssize_t result, int error_number) {
  if (result > 0) {
    last_error_ = 0;
    return static_cast<size_t>(result);
  }
  if (result == 0) return 0;  // LastError stays as it was
  const uint16_t code = WinSockErrorFromErrno(error_number);
  last_error_ = (code == kWsaEWouldBlock && !report_would_block_) ? 0 : code;
  return 0;
}

// ---- Notices, countdown, look-up end -------------------------------------------------------

void AsyncSocket::Impl::HandleNotice(const Notice& notice) {
  switch (notice.message) {
    case kTimerMessage:
      if (notice.wparam == kCountdownTimerId) CountdownTick();
      if (notice.wparam == kAttemptTimerId) AttemptTick();
      return;
    case kLookupDoneMessage:
      if (lookup_handle_ != 0 && notice.wparam == lookup_handle_) {
        EndLookup(UnpackLookupResult(notice.lparam));
      }
      return;
    case kSocketEventMessage:
      // Events of a socket no longer held are dropped: closed is never raised twice, and a new
      // connection never sees its predecessor's events.
      if (notice.wparam == generation_) {
        const auto packed = static_cast<uint64_t>(notice.lparam);
        const auto event = static_cast<uint16_t>(packed);
        // The next address also follows an attempt whose socket could not even be made.
        if (!handle_.valid() && !(event == kFdNextAddress && plan_.active)) return;
        HandleSocketEvent(event, static_cast<uint16_t>(packed >> 16));
      }
      return;
    default:
      if (notice.message > kSocketEventMessage && owner_.OnNotice) {
        const NoticeEvent handler = owner_.OnNotice;
        handler(notice);
      }
  }
}

void AsyncSocket::Impl::HandleSocketEvent(uint16_t event, uint16_t error) {
  last_error_ = error;
  switch (event) {
    case kFdRead: {
      // A countdown started by the handler for a new socket (a reconnect) is not ours to stop.
      const uint64_t generation = generation_;
      Raise(owner_.OnReadable);
      // Nor is the countdown of a TLS handshake the handler started (AUTH TLS answered).
      if (generation_ == generation && !(tls_ && tls_->handshaking)) StartCountdown(0);
      break;
    }
    case kFdWrite:
      Raise(owner_.OnWritable);
      break;
    case kFdAccept:
      Raise(owner_.OnAcceptReady);
      break;
    case kFdNextAddress:
      NextAddress(error);
      break;
    case kFdConnect:
      is_open_ = (error == 0);
      StartCountdown(0);
      Raise(owner_.OnConnected);
      break;
    case kFdSecured:
      StartCountdown(0);
      Raise(owner_.OnSecured);
      break;
    case kFdTlsPump:
      TlsPump();
      break;
    case kFdClose:
      // The socket is released here whether or not it was open (a failed connect ends here too).
      ReleaseHandle();
      is_open_ = false;
      Raise(owner_.OnClosed);
      break;
    default:
      break;
  }
}

void AsyncSocket::Impl::EndLookup(LookupResult result) {
  StartCountdown(0);
  if (std::optional<LookupResult> full = lookup_.TakeResult()) result = std::move(*full);
  last_error_ = result.error;
  if (result.error == 0) plan_.resolved = AddressesOf(result);
  lookup_handle_ = 0;
  lookup_.Cancel();
  owner_.LookupDone();
}

void AsyncSocket::Impl::StartCountdown(int seconds) {
  if (countdown_running_) {
    target_.KillTimer(kCountdownTimerId);
    countdown_running_ = false;
  }
  if (seconds > 0) {
    countdown_ = seconds;
    countdown_running_ = true;
    target_.SetTimer(kCountdownTimerId, countdown_interval_ms_);
  }
}

void AsyncSocket::Impl::CountdownTick() {
  if (!countdown_running_) return;
  // The timer goes on ticking after zero until something stops it; only zero itself acts.
  if (--countdown_ != 0) return;
  if (owner_.OnTimeOut) {
    Raise(owner_.OnTimeOut);
  } else {
    CloseSocket();
  }
}

void AsyncSocket::Impl::Raise(const SocketEvent& slot) {
  if (!slot) return;
  const SocketEvent handler = slot;  // the slot may be replaced while it runs
  handler(owner_);
}

// ---- Readiness -----------------------------------------------------------------------------
//
// Every readiness report disarms what it reports before posting the event, and only the
// owner's next step re-arms it (ReceiveBytes, a send that would block, AcceptFrom), so a
// level-triggered poll never reports the same condition twice in a row.

void AsyncSocket::Impl::FdReady(unsigned revents) {
  switch (mode_) {
    case Mode::kConnecting:
      ConnectFinished();
      break;
    case Mode::kListening:
      accept_armed_ = false;
      UpdateWatch();
      PostEvent(kFdAccept, 0);
      break;
    case Mode::kStream:
      if (tls_) {
        TlsStreamReady(revents);
      } else {
        StreamReady(revents);
      }
      break;
    default:
      UpdateWatch();
      break;
  }
}

void AsyncSocket::Impl::StreamReady(unsigned revents) {
  bool reported = false;
  if (read_armed_ && (revents & (kFdReadable | kFdError))) {
    // Peek to tell data (readable) from the end of the stream (closed) and from a reset.
    char probe = 0;
    const ssize_t peeked = recv(handle_.get(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) {
      read_armed_ = false;
      PostEvent(kFdRead, 0);
      reported = true;
    } else if (peeked == 0) {
      StreamEnded(0);
      return;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      StreamEnded(WinSockErrorFromErrno(errno));
      return;
    }
  }
  if (write_armed_ && (revents & (kFdWritable | kFdError))) {
    // On an error the owner's next send reports it.
    write_armed_ = false;
    PostEvent(kFdWrite, 0);
    reported = true;
  }
  if ((revents & kFdError) && !reported) {
    int error_number = 0;
    socklen_t length = sizeof error_number;
    getsockopt(handle_.get(), SOL_SOCKET, SO_ERROR, &error_number, &length);
    const uint16_t code = WinSockErrorFromErrno(error_number);
    StreamEnded(code != 0 ? code : kWsaEConnReset);
    return;
  }
  UpdateWatch();
}

void AsyncSocket::Impl::StreamEnded(uint16_t error) {
  mode_ = Mode::kEnded;
  read_armed_ = write_armed_ = false;
  UpdateWatch();
  PostEvent(kFdClose, error);
}

void AsyncSocket::Impl::PostEvent(uint16_t event, uint16_t error) {
  const uint64_t packed = (static_cast<uint64_t>(error) << 16) | event;
  PostNotice(kSocketEventMessage, generation_, static_cast<int64_t>(packed));
}

void AsyncSocket::Impl::UpdateWatch() {
  if (!handle_.valid()) {
    watch_.Reset();
    return;
  }
  unsigned events = 0;
  if (mode_ == Mode::kConnecting) events = kFdWritable;
  if (mode_ == Mode::kListening && accept_armed_) events = kFdReadable;
  if (mode_ == Mode::kStream) {
    events = tls_ ? TlsWatchEvents()
                  : (read_armed_ ? kFdReadable : 0u) | (write_armed_ ? kFdWritable : 0u);
  }
  if (watch_.active()) {
    watch_.Update(events);
  } else if (events != 0) {
    watch_ = FdWatch(loop_, handle_.get(), events, [this](unsigned revents) { FdReady(revents); });
  }
}

void AsyncSocket::Impl::RearmRead() {
  if (tls_) return;  // TlsRearmRead
  if (mode_ == Mode::kStream && !read_armed_) {
    read_armed_ = true;
    UpdateWatch();
  }
}

void AsyncSocket::Impl::ReleaseHandle() {
  watch_.Reset();
  tls_.reset();
  if (handle_.valid()) --g_live_handles;
  handle_.Reset();
  ++generation_;
  mode_ = Mode::kIdle;
  read_armed_ = write_armed_ = accept_armed_ = false;
}

}  // namespace tarsil

// AsyncSocket: the outgoing connect. A host name may resolve to several addresses (IPv4 and
// IPv6 in the resolver's order); the connect tries them in turn, moving on when one refuses,
// is unreachable or uses up its share of the overall time-out, and reports only the end of the
// whole attempt through OnConnected (and OnClosed when every address failed).
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "net/AsyncSocketImpl.h"
#include "net/SocketAddress.h"
#include "net/SocketErrors.h"
#include "net/SocketEvents.h"

namespace tarsil {

using namespace socket_events;

void AsyncSocket::Impl::TakeResolvedAddress() {
  plan_.next.clear();
  if (plan_.resolved.empty()) {
    family_ = AF_INET;
    address_ = 0;
    return;
  }
  const HostAddress& first = plan_.resolved.front();
  family_ = first.family;
  address_ = first.v4;
  address6_ = first.v6;
  plan_.next.assign(plan_.resolved.begin() + 1, plan_.resolved.end());
}

void AsyncSocket::Impl::ConnectSocket() {
  if (!handle_.valid()) {
    last_error_ = kWsaENotSock;
    return;
  }
  EndAttempts();
  plan_.active = !plan_.next.empty();
  const uint16_t failed = ConnectNow();
  if (failed != 0) {
    if (!plan_.active) {
      last_error_ = failed;  // failed at once: no notification follows
      return;
    }
    // Refused at once, but there are other addresses: the next one is tried from the loop.
    last_error_ = 0;
    PostEvent(kFdNextAddress, failed);
  }
  StartCountdown(time_out_);
  StartAttemptShare();
}

uint16_t AsyncSocket::Impl::ConnectNow() {
  if (!MatchFamily()) return last_error_ != 0 ? last_error_ : kWsaENotSock;
  const sockaddr_in peer = MakeAddress4(address_, port_net_);
  const sockaddr_in6 peer6 = MakeAddress6(address6_, port_net_);
  const bool v6 = family_ == AF_INET6;
  const int result =
      v6 ? connect(handle_.get(), reinterpret_cast<const sockaddr*>(&peer6), sizeof peer6)
         : connect(handle_.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (result != 0) {
    const uint16_t code = WinSockErrorFromErrno(errno);
    if (code != kWsaEWouldBlock) return code;
    last_error_ = report_would_block_ ? code : 0;
  }
  // In progress, or (rarely) connected at once: the writable readiness reports either.
  mode_ = Mode::kConnecting;
  read_armed_ = write_armed_ = accept_armed_ = false;
  UpdateWatch();
  return 0;
}

void AsyncSocket::Impl::StartAttemptShare() {
  StopAttemptTimer();
  if (!plan_.active || plan_.next.empty() || !countdown_running_) return;
  // What is left of the time-out is shared evenly by this address and those after it.
  const int addresses = static_cast<int>(plan_.next.size()) + 1;
  plan_.attempt_ticks = std::max(1, countdown_ / addresses);
  plan_.attempt_timer = true;
  target_.SetTimer(kAttemptTimerId, countdown_interval_ms_);
}

void AsyncSocket::Impl::StopAttemptTimer() {
  if (!plan_.attempt_timer) return;
  target_.KillTimer(kAttemptTimerId);
  plan_.attempt_timer = false;
}

void AsyncSocket::Impl::AttemptTick() {
  if (!plan_.attempt_timer || --plan_.attempt_ticks > 0) return;
  StopAttemptTimer();
  if (plan_.active && mode_ == Mode::kConnecting && !plan_.next.empty()) {
    NextAddress(kWsaETimedOut);
  }
}

void AsyncSocket::Impl::EndAttempts() {
  StopAttemptTimer();
  plan_.active = false;
}

void AsyncSocket::Impl::NextAddress(uint16_t error) {
  while (plan_.active && !plan_.next.empty()) {
    StopAttemptTimer();
    const HostAddress next = plan_.next.front();
    plan_.next.erase(plan_.next.begin());
    family_ = next.family;
    address_ = next.v4;
    address6_ = next.v6;
    last_error_ = error;
    Raise(owner_.OnNextAddress);
    if (!plan_.active) return;  // the owner closed the socket or connected elsewhere
    RecreateSocket();
    error = handle_.valid() ? ConnectNow() : (last_error_ != 0 ? last_error_ : kWsaENotSock);
    if (error == 0) {
      last_error_ = 0;
      StartAttemptShare();
      return;
    }
  }
  if (!plan_.active) return;
  // The last address failed at once: the end of the connect, as for a failure seen later.
  EndAttempts();
  last_error_ = error;
  is_open_ = false;
  StartCountdown(0);
  const uint64_t generation = generation_;
  Raise(owner_.OnConnected);
  if (generation != generation_) return;
  ReleaseHandle();
  Raise(owner_.OnClosed);
}

void AsyncSocket::Impl::ConnectFinished() {
  StopAttemptTimer();
  int error_number = 0;
  socklen_t length = sizeof error_number;
  if (getsockopt(handle_.get(), SOL_SOCKET, SO_ERROR, &error_number, &length) != 0) {
    error_number = errno;
  }
  const uint16_t code = WinSockErrorFromErrno(error_number);
  if (code != 0) {
    mode_ = Mode::kEnded;
    UpdateWatch();
    if (plan_.active && !plan_.next.empty()) {
      PostEvent(kFdNextAddress, code);
      return;
    }
    // A failed connect ends the connection: connect finished with the error, then closed.
    EndAttempts();
    PostEvent(kFdConnect, code);
    PostEvent(kFdClose, code);
    return;
  }
  EndAttempts();
  mode_ = Mode::kStream;
  read_armed_ = true;
  write_armed_ = false;
  if (tls_armed_) {  // connected and writable come once the handshake is over
    BeginHandshake(true);
    DriveHandshake();
    return;
  }
  UpdateWatch();
  PostEvent(kFdConnect, 0);
  PostEvent(kFdWrite, 0);
}

}  // namespace tarsil

// AsyncSocket: the TLS layer. A TlsChannel sits between the socket and its owner; the readiness of
// the descriptor drives the handshake and fills a small buffer of decrypted bytes, so that the
// owner sees the same notifications as on a plain stream: readable once per ReceiveBytes when
// decrypted data waits, writable after a send that would have blocked, closed after the last
// data. A handshake or a record that wants the other direction is an internal state.
#include <sys/socket.h>

#include <vector>

#include "net/AsyncSocketImpl.h"
#include "net/AsyncSocketTlsStream.h"
#include "net/SocketErrors.h"
#include "net/SocketEvents.h"

namespace tarsil {

namespace {
using namespace socket_events;
constexpr size_t kRecordSize = 16384;  // the most one TLS record carries
}  // namespace

void AsyncSocket::Impl::SecureOnConnect(std::shared_ptr<TlsContext> context, TlsRole role) {
  tls_armed_ = std::move(context);
  tls_armed_role_ = role;
}

void AsyncSocket::Impl::StartTls(std::shared_ptr<TlsContext> context, TlsRole role) {
  if (!handle_.valid() || mode_ != Mode::kStream || tls_) {
    last_error_ = kWsaENotConn;
    return;
  }
  tls_armed_ = std::move(context);
  tls_armed_role_ = role;
  last_error_ = 0;
  BeginHandshake(false);
  tls_->phase = TlsStream::Phase::kStarted;
  StartCountdown(time_out_);
  DriveHandshake();
}

bool AsyncSocket::Impl::Secured() const { return tls_ && !tls_->handshaking; }

void AsyncSocket::Impl::BeginHandshake(bool after_connect) {
  tls_ = std::make_unique<TlsStream>();
  tls_->channel =
      std::make_unique<TlsChannel>(std::move(tls_armed_), tls_armed_role_, handle_.get());
  tls_->phase = after_connect ? TlsStream::Phase::kConnect : TlsStream::Phase::kAccept;
  tls_failure_.clear();
}

void AsyncSocket::Impl::DriveHandshake() {
  TlsStream& tls = *tls_;
  const TlsChannel::Step step = tls.channel->Handshake();
  if (step == TlsChannel::Step::kWantRead || step == TlsChannel::Step::kWantWrite) {
    tls.handshake_wants_write = step == TlsChannel::Step::kWantWrite;
    UpdateWatch();
    return;
  }
  tls.handshaking = false;
  const bool ok = step == TlsChannel::Step::kDone;
  tls.broken = !ok;
  if (!ok) {
    tls_failure_ = tls.channel->FailureText();
    if (tls_failure_.empty())
      tls_failure_ = "TLS handshake failed: the server closed the connection";
  }
  const uint16_t error = ok ? 0 : kTlsFailed;
  PostEvent(kFdSecured, error);
  switch (tls.phase) {
    case TlsStream::Phase::kConnect:
      if (ok) {
        write_armed_ = false;
        UpdateWatch();
        PostEvent(kFdConnect, 0);
        PostEvent(kFdWrite, 0);
      } else {
        mode_ = Mode::kEnded;
        UpdateWatch();
        PostEvent(kFdConnect, error);
        PostEvent(kFdClose, error);
      }
      return;
    case TlsStream::Phase::kAccept:
      if (ok) {
        UpdateWatch();  // the owner's readable and writable now come from the channel
      } else {
        StreamEnded(error);
      }
      return;
    case TlsStream::Phase::kStarted:
      UpdateWatch();  // the owner decides what a failure means (the stream is still open)
      return;
  }
}

bool AsyncSocket::Impl::TlsClose(std::unique_ptr<TlsChannel>& unsent) {
  if (tls_->handshaking || tls_->broken) return false;
  // Data still coming in (a download given up) is cut off with the close; only a peer that has
  // nothing more to send gets the time for its last words. What has arrived is looked at
  // through the channel, which takes the records that carry no data (session tickets) itself.
  bool unread = tls_->in_begin < tls_->in.size() || tls_->ended;
  std::vector<char> sink(kRecordSize);
  for (int round = 0; !unread && round < 4; ++round) {
    size_t count = 0;
    const TlsChannel::Step step = tls_->channel->Read(sink.data(), sink.size(), count);
    if (step == TlsChannel::Step::kWantRead || step == TlsChannel::Step::kWantWrite) break;
    unread = true;  // data, or the peer's own end: nothing to wait for
  }
  // A full socket must not cost the notice: without it the server may call the transfer
  // failed though every byte arrived (the tail of an upload fills the socket).
  if (tls_->channel->Shutdown() == TlsChannel::Step::kWantWrite && !unread) {
    unsent = std::move(tls_->channel);
  }
  return !unread;
}

unsigned AsyncSocket::Impl::TlsWatchEvents() const {
  if (tls_->handshaking) return tls_->handshake_wants_write ? kFdWritable : kFdReadable;
  if (tls_->broken) return 0;  // the owner closes it
  return (read_armed_ ? kFdReadable : 0u) |
         (write_armed_ || tls_->write_blocked ? kFdWritable : 0u);
}

void AsyncSocket::Impl::TlsStreamReady(unsigned revents) {
  TlsStream& tls = *tls_;
  if (tls.handshaking) {
    DriveHandshake();
    return;
  }
  if (tls.broken) return UpdateWatch();
  if (read_armed_ && (revents & (kFdReadable | kFdError))) {
    if (tls.in_begin >= tls.in.size()) {
      tls.in.resize(kRecordSize);
      tls.in_begin = 0;
      size_t count = 0;
      const TlsChannel::Step step = tls.channel->Read(tls.in.data(), tls.in.size(), count);
      tls.in.resize(count);
      if (step == TlsChannel::Step::kClosed) {
        tls.channel->Shutdown();  // servers wait for ours before they call the transfer done
        return StreamEnded(0);
      }
      if (step == TlsChannel::Step::kFailed) {
        tls_failure_ = tls.channel->FailureText();
        return StreamEnded(kTlsFailed);
      }
    }
    if (tls.in_begin < tls.in.size()) {
      read_armed_ = false;
      PostEvent(kFdRead, 0);
    }
  }
  if ((write_armed_ || tls.write_blocked) && (revents & (kFdWritable | kFdError))) {
    tls.write_blocked = false;
    if (write_armed_) {
      write_armed_ = false;
      PostEvent(kFdWrite, 0);
    }
  }
  UpdateWatch();
}

size_t AsyncSocket::Impl::TlsReceive(void* buffer, size_t size) {
  TlsStream& tls = *tls_;
  if (tls.handshaking || tls.broken) {
    last_error_ = tls.handshaking && report_would_block_ ? kWsaEWouldBlock : 0;
    return 0;
  }
  if (tls.in_begin < tls.in.size()) {
    const size_t count = std::min(size, tls.in.size() - tls.in_begin);
    std::copy_n(tls.in.data() + tls.in_begin, count, static_cast<char*>(buffer));
    tls.in_begin += count;
    last_error_ = 0;
    return count;
  }
  if (tls.ended) {
    last_error_ = 0;
    return 0;
  }
  // As many records as the caller has room for: a large buffer is filled in one call.
  char* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    size_t count = 0;
    switch (tls.channel->Read(out + total, size - total, count)) {
      case TlsChannel::Step::kDone:
        total += count;
        continue;
      case TlsChannel::Step::kClosed:
        tls.channel->Shutdown();
        tls.ended = true;
        last_error_ = 0;
        return total;
      case TlsChannel::Step::kFailed:
        tls.ended = true;
        tls.end_error = kTlsFailed;
        tls_failure_ = tls.channel->FailureText();
        last_error_ = 0;  // the close that follows carries the failure
        return total;
      default:
        last_error_ = total == 0 && report_would_block_ ? kWsaEWouldBlock : 0;
        return total;
    }
  }
  last_error_ = 0;
  return total;
}

bool AsyncSocket::Impl::TlsRearmRead() {
  TlsStream& tls = *tls_;
  if (mode_ != Mode::kStream || read_armed_ || tls.handshaking || tls.broken) return true;
  if (tls.ended && tls.in_begin >= tls.in.size()) {
    StreamEnded(tls.end_error);
    return true;
  }
  read_armed_ = true;
  UpdateWatch();
  // The descriptor will not show what the channel already holds: one look from the loop does.
  if ((tls.in_begin < tls.in.size() || tls.channel->HasPending()) && !tls.pump_posted) {
    tls.pump_posted = true;
    PostEvent(kFdTlsPump, 0);
  }
  return true;
}

void AsyncSocket::Impl::TlsPump() {
  if (!tls_) return;
  tls_->pump_posted = false;
  if (mode_ == Mode::kStream) TlsStreamReady(kFdReadable);
}

size_t AsyncSocket::Impl::TlsSend(const void* buffer, size_t count) {
  TlsStream& tls = *tls_;
  if (tls.broken) {
    last_error_ = kTlsFailed;
    return 0;
  }
  if (tls.handshaking || tls.write_blocked) {
    if (mode_ == Mode::kStream && !write_armed_) {
      write_armed_ = true;
      UpdateWatch();
    }
    last_error_ = report_would_block_ ? kWsaEWouldBlock : 0;
    return 0;
  }
  // One record per write (partial writes): as many as the socket takes. After one that would
  // block, the caller's next send starts at the first byte not counted here, as OpenSSL wants.
  const char* in = static_cast<const char*>(buffer);
  size_t total = 0;
  while (total < count) {
    size_t sent = 0;
    switch (tls.channel->Write(in + total, count - total, sent)) {
      case TlsChannel::Step::kDone:
        total += sent;
        continue;
      case TlsChannel::Step::kWantRead:
      case TlsChannel::Step::kWantWrite:
        tls.write_blocked = true;
        write_armed_ = true;
        UpdateWatch();
        last_error_ = total == 0 && report_would_block_ ? kWsaEWouldBlock : 0;
        return total;
      default:
        tls_failure_ = tls.channel->FailureText();
        last_error_ = total == 0 ? kTlsFailed : 0;  // the next send reports it
        return total;
    }
  }
  last_error_ = 0;
  return total;
}

}  // namespace tarsil

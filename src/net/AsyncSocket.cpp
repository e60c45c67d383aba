// AsyncSocket: the public face. Everything it does is done by its Impl (AsyncSocketImpl.h).
#include "net/AsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "net/AsyncSocketImpl.h"
#include "net/AsyncSocketTlsStream.h"

namespace tarsil {

AsyncSocket::AsyncSocket(EventLoop& loop) : impl_(std::make_unique<Impl>(*this, loop)) {}

AsyncSocket::~AsyncSocket() = default;

void AsyncSocket::CreateSocket() { impl_->CreateSocket(); }
void AsyncSocket::RecreateSocket() { impl_->RecreateSocket(); }
void AsyncSocket::SetAddressText(const std::string& text) { impl_->SetAddressText(text); }
void AsyncSocket::SetPortNumber(uint16_t port) { impl_->port_net_ = htons(port); }
std::string AsyncSocket::AddressText() const { return impl_->AddressText(); }
bool AsyncSocket::IsIpv6() const { return impl_->family_ == AF_INET6; }
void AsyncSocket::LookupHost(const std::string& name) { impl_->LookupHost(name); }
void AsyncSocket::TakeResolvedAddress() { impl_->TakeResolvedAddress(); }
void AsyncSocket::ConnectSocket() { impl_->ConnectSocket(); }
void AsyncSocket::ListenSocket() { impl_->ListenSocket(); }
void AsyncSocket::AcceptFrom(AsyncSocket& listener) { impl_->AcceptFrom(*listener.impl_); }
void AsyncSocket::CloseSocket() { impl_->CloseSocket(); }

size_t AsyncSocket::SendBytes(const void* buffer, size_t count) {
  return impl_->Send(buffer, count, 0);
}

size_t AsyncSocket::SendUrgent(const void* buffer, size_t count) {
  return impl_->Send(buffer, count, MSG_OOB);
}

size_t AsyncSocket::ReceiveBytes(void* buffer, size_t size) {
  return impl_->ReceiveBytes(buffer, size);
}

std::string AsyncSocket::LocalAddressText() { return impl_->LocalAddressText(); }
uint16_t AsyncSocket::LocalPort() { return impl_->LocalPort(); }

void AsyncSocket::PostNotice(uint32_t message, uint64_t wparam, int64_t lparam) {
  impl_->PostNotice(message, wparam, lparam);
}

void AsyncSocket::SecureOnConnect(std::shared_ptr<TlsContext> context, TlsRole role) {
  impl_->SecureOnConnect(std::move(context), role);
}

void AsyncSocket::StartTls(std::shared_ptr<TlsContext> context, TlsRole role) {
  impl_->StartTls(std::move(context), role);
}

bool AsyncSocket::Secured() const { return impl_->Secured(); }

const TlsChannel* AsyncSocket::Tls() const {
  return impl_->tls_ ? impl_->tls_->channel.get() : nullptr;
}

const std::string& AsyncSocket::TlsFailure() const { return impl_->tls_failure_; }

// ---- Properties ----------------------------------------------------------------------------

const std::string& AsyncSocket::Server() const { return impl_->server_; }
void AsyncSocket::SetServer(std::string_view text) { impl_->SetServer(text); }
uint16_t AsyncSocket::Port() const { return impl_->port_; }
void AsyncSocket::SetPort(uint16_t port) { impl_->port_ = port; }
const std::string& AsyncSocket::AddressTextView() const { return impl_->address_text_view_; }
void AsyncSocket::SetAddressTextView(std::string text) {
  impl_->address_text_view_ = std::move(text);
}
const std::string& AsyncSocket::HostNameView() const { return impl_->host_name_view_; }
void AsyncSocket::SetHostNameView(std::string text) { impl_->host_name_view_ = std::move(text); }
int AsyncSocket::TimeOut() const { return impl_->time_out_; }
void AsyncSocket::SetTimeOut(int seconds) { impl_->time_out_ = seconds; }
uint16_t AsyncSocket::LastError() const { return impl_->last_error_; }
void AsyncSocket::SetLastError(uint16_t code) { impl_->last_error_ = code; }
bool AsyncSocket::ReportWouldBlock() const { return impl_->report_would_block_; }
void AsyncSocket::SetReportWouldBlock(bool on) { impl_->report_would_block_ = on; }
void AsyncSocket::SetMoreToCome(bool on) { impl_->more_to_come_ = on; }
bool AsyncSocket::LimitUnsent(size_t bytes) {
  const int limit = static_cast<int>(std::min<size_t>(bytes, INT_MAX));
  return impl_->handle_.valid() && setsockopt(impl_->handle_.get(), IPPROTO_TCP, TCP_NOTSENT_LOWAT,
                                              &limit, sizeof limit) == 0;
}
bool AsyncSocket::IsOpen() const { return impl_->is_open_; }
bool AsyncSocket::LookupPending() const { return impl_->lookup_handle_ != 0; }
int AsyncSocket::Handle() const { return impl_->handle_.get(); }
EventLoop& AsyncSocket::loop() const { return impl_->loop_; }
int AsyncSocket::Countdown() const { return impl_->countdown_; }
bool AsyncSocket::CountdownRunning() const { return impl_->countdown_running_; }
void AsyncSocket::SetCountdownInterval(uint32_t milliseconds) {
  impl_->countdown_interval_ms_ = milliseconds;
}

void AsyncSocket::LookupDone() { impl_->Raise(OnLookupDone); }

}  // namespace tarsil

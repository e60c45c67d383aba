// AsyncSocket::Impl: the state and the workings behind an AsyncSocket. The socket held, its watch
// and readiness, the address set and the connect plan, the look-up, the countdown, the labels
// its owner keeps on it and the TLS layer. AsyncSocketImpl.cpp has the stream and its notices,
// AsyncSocketConnect.cpp the outgoing connect, AsyncSocketTls.cpp the TLS layer. Internal to
// src/net; owned by its AsyncSocket (the sender of every notification); loop thread only.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/ConnectPlan.h"
#include "net/HostLookup.h"
#include "net/TlsChannel.h"
#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {

class LingeringClose;

struct AsyncSocket::Impl {
  enum class Mode { kIdle, kConnecting, kStream, kListening, kEnded };
  struct TlsStream;

  Impl(AsyncSocket& owner, EventLoop& loop);
  ~Impl();  // releases socket, look-up and timer without raising anything
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // What the public operations of AsyncSocket do.
  void CreateSocket();
  void RecreateSocket();
  void SetServer(std::string_view text);
  void SetAddressText(const std::string& text);
  std::string AddressText() const;
  void LookupHost(const std::string& name);
  void TakeResolvedAddress();
  void ConnectSocket();
  void ListenSocket();
  void AcceptFrom(Impl& listener);
  void CloseSocket();
  size_t Send(const void* buffer, size_t count, int flags);
  size_t ReceiveBytes(void* buffer, size_t size);
  std::string LocalAddressText();
  uint16_t LocalPort();
  void PostNotice(uint32_t message, uint64_t wparam, int64_t lparam);
  void SecureOnConnect(std::shared_ptr<TlsContext> context, TlsRole role);
  void StartTls(std::shared_ptr<TlsContext> context, TlsRole role);
  bool Secured() const;

  void HandleNotice(const Notice& notice);
  void HandleSocketEvent(uint16_t event, uint16_t error);
  void EndLookup(LookupResult result);
  uint16_t ConnectNow();  // to the address set; an error when it failed at once
  void NextAddress(uint16_t error);
  void StartAttemptShare();
  void StopAttemptTimer();
  void AttemptTick();
  void EndAttempts();
  void CountdownTick();
  void StartCountdown(int seconds);

  void FdReady(unsigned revents);
  void ConnectFinished();
  void StreamReady(unsigned revents);
  void StreamEnded(uint16_t error);
  void PostEvent(uint16_t event, uint16_t error);
  void UpdateWatch();
  void RearmRead();
  bool MatchFamily();
  void ReleaseHandle();
  size_t Transferred(ssize_t result, int error_number);
  void Raise(const SocketEvent& slot);  // with the owner as sender

  void BeginHandshake(bool after_connect);
  void DriveHandshake();
  void TlsStreamReady(unsigned revents);
  size_t TlsSend(const void* buffer, size_t count);
  size_t TlsReceive(void* buffer, size_t size);
  bool TlsRearmRead();
  void TlsPump();
  // The close notice; true when the peer may still send (see LingeringClose). A notice the
  // socket does not take yet leaves in `unsent` the channel that still has to send it.
  bool TlsClose(std::unique_ptr<TlsChannel>& unsent);
  unsigned TlsWatchEvents() const;

  AsyncSocket& owner_;
  EventLoop& loop_;
  EventTarget target_;
  UniqueFd handle_;
  FdWatch watch_;            // declared after handle_: goes first
  uint64_t generation_ = 1;  // changes with every socket held; older notices are dropped
  Mode mode_ = Mode::kIdle;
  bool read_armed_ = false, write_armed_ = false, accept_armed_ = false;
  bool is_open_ = false;

  int family_ = AF_INET;         // or AF_INET6: the family of the address set
  int handle_family_ = AF_INET;  // the family of the socket held
  in6_addr address6_{};
  uint32_t address_ = 0;   // network byte order
  uint16_t port_net_ = 0;  // network byte order
  HostLookup lookup_;
  uint64_t lookup_handle_ = 0;  // non-zero while a look-up is outstanding
  uint64_t next_lookup_ = 1;
  ConnectPlan plan_;

  int time_out_ = 20;
  int countdown_ = 0;
  bool countdown_running_ = false;
  uint32_t countdown_interval_ms_ = 1000;

  std::string server_, address_text_view_, host_name_view_;
  uint16_t port_ = 0;
  uint16_t last_error_ = 0;
  bool report_would_block_ = false;
  bool more_to_come_ = false;

  std::shared_ptr<TlsContext> tls_armed_;  // for the next connect or accept
  TlsRole tls_armed_role_ = TlsRole::kControl;
  std::unique_ptr<TlsStream> tls_;  // while a TLS channel carries the connection
  std::vector<std::unique_ptr<LingeringClose>> lingering_;  // closed TLS connections
  std::string tls_failure_;
};

}  // namespace tarsil

// AsyncSocket: one non-blocking TCP socket whose completions (host looked up, connected,
// readable, writable, connection waiting, closed, time-out) arrive later as notifications, with
// WinSock's re-enabling rules so that nothing spins. The object owns its socket, its target in
// the event loop, its fd watch, its countdown timer and any host look-up; its owner fills the
// On... slots. Loop thread only; the object must go before its loop and never inside its own slot.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/ConnectPlan.h"
#include "net/HostLookup.h"
#include "net/TlsChannel.h"
#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {

class LingeringClose;

inline constexpr uint32_t kLookupDoneMessage = 1024;   // WM_USER: a host look-up has ended
inline constexpr uint32_t kSocketEventMessage = 1025;  // WM_USER + 1: a socket event (FD_ code)

class AsyncSocket {
 public:
  using SocketEvent = std::function<void(AsyncSocket& sender)>;
  using NoticeEvent = std::function<void(const Notice& notice)>;

  explicit AsyncSocket(EventLoop& loop);
  virtual ~AsyncSocket();  // releases socket, look-up and timer without raising anything
  AsyncSocket(const AsyncSocket&) = delete;
  AsyncSocket& operator=(const AsyncSocket&) = delete;

  // Notification slots, each called with this object as sender; an empty slot is skipped. A slot
  // may be replaced or the socket closed from inside any slot. A failed connect raises
  // OnConnected (with LastError) and then OnClosed; OnClosed comes once per socket, after all
  // data before the close was offered. Without OnTimeOut, the countdown runs CloseSocket.
  SocketEvent OnLookupDone;  // raised by the default LookupDone
  SocketEvent OnConnected;   // connect finished, also when it failed
  // A connect to one of several resolved addresses failed (LastError says why, kWsaETimedOut
  // when its share of the time-out ran out); the connect goes on with AddressText at once.
  SocketEvent OnNextAddress;
  SocketEvent OnClosed;       // by the peer, by an error or by CloseSocket
  SocketEvent OnTimeOut;      // the countdown ran out
  SocketEvent OnReadable;     // again only after ReceiveBytes was called and more is there
  SocketEvent OnWritable;     // once after connecting, then after a send that would have blocked
  SocketEvent OnAcceptReady;  // a connection waits; again after the next AcceptFrom
  NoticeEvent OnNotice;       // notices numbered above 1025 posted to this object

  void CreateSocket();
  void RecreateSocket();  // closes the held socket silently, then CreateSocket
  // Dotted IPv4 or IPv6 text; other text gives 255.255.255.255. The socket follows the
  // address's family at the next connect or listen.
  void SetAddressText(const std::string& text);
  void SetPortNumber(uint16_t port);
  std::string AddressText() const;           // dotted IPv4 or IPv6 text
  bool IsIpv6() const;                       // the address set is an IPv6 one
  void LookupHost(const std::string& name);  // every started look-up ends in one LookupDone
  // The first address of the last look-up; ConnectSocket then tries the others in turn (see
  // OnNextAddress) until one answers, within the one time-out.
  void TakeResolvedAddress();
  void ConnectSocket();
  void ListenSocket();                     // bind to the socket address, backlog 2
  void AcceptFrom(AsyncSocket& listener);  // replaces (and releases) this object's socket
  void CloseSocket();
  size_t SendBytes(const void* buffer, size_t count);
  size_t SendUrgent(const void* buffer, size_t count);  // MSG_OOB
  size_t ReceiveBytes(void* buffer, size_t size);
  std::string LocalAddressText();
  uint16_t LocalPort();

  // Posts a numbered notice to this object: delivered later from the loop, in order with the
  // socket's own notifications, and handed to OnNotice when numbered above 1025.
  void PostNotice(uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);

  // TLS (FTPSockTls.cpp). SecureOnConnect(context) makes the next connect or accept run a
  // handshake before anything else: OnSecured reports its end, then OnConnected and the first
  // writable follow; a failed one ends like a failed connect, with LastError kTlsFailed.
  // nullptr leaves the next connection plain. StartTls runs a handshake on the open stream now;
  // OnSecured reports its end. While TLS carries the stream, reads and writes go through it with
  // the same notifications; urgent data cannot be sent.
  void SecureOnConnect(std::shared_ptr<TlsContext> context, TlsRole role);
  void StartTls(std::shared_ptr<TlsContext> context, TlsRole role);
  SocketEvent OnSecured;
  bool Secured() const;           // a finished handshake carries the stream
  const TlsChannel* Tls() const;  // the channel of the connection held, or nullptr
  const std::string& TlsFailure() const { return tls_failure_; }

  const std::string& Server() const { return server_; }
  void SetServer(std::string_view text);
  uint16_t Port() const { return port_; }
  void SetPort(uint16_t port) { port_ = port; }
  const std::string& AddressTextView() const { return address_text_view_; }
  void SetAddressTextView(std::string text) { address_text_view_ = std::move(text); }
  const std::string& HostNameView() const { return host_name_view_; }
  void SetHostNameView(std::string text) { host_name_view_ = std::move(text); }
  int TimeOut() const { return time_out_; }
  void SetTimeOut(int seconds) { time_out_ = seconds; }
  uint16_t LastError() const { return last_error_; }
  void SetLastError(uint16_t code) { last_error_ = code; }
  bool ReportWouldBlock() const { return report_would_block_; }
  void SetReportWouldBlock(bool on) { report_would_block_ = on; }
  // While set, a send tells the kernel more data follows at once, so small blocks share
  // segments; the first send without it pushes what is held.
  void SetMoreToCome(bool on) { more_to_come_ = on; }
  bool IsOpen() const { return is_open_; }
  bool LookupPending() const { return lookup_handle_ != 0; }
  int Handle() const { return handle_.get(); }
  // Sockets held by every AsyncSocket of the process; leak checks expect 0 once all are gone.
  static size_t LiveHandles();
  EventLoop& loop() const { return loop_; }

  // The countdown: seconds left, and the length of one of its ticks (1000 ms; tests shorten it).
  int Countdown() const { return countdown_; }
  bool CountdownRunning() const { return countdown_running_; }
  void SetCountdownInterval(uint32_t milliseconds) { countdown_interval_ms_ = milliseconds; }

 protected:
  // Runs when a look-up has ended, with LastError set. The default raises OnLookupDone.
  virtual void LookupDone();

 private:
  enum class Mode { kIdle, kConnecting, kStream, kListening, kEnded };

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
  size_t Send(const void* buffer, size_t count, int flags);
  void Raise(const SocketEvent& slot);
  struct TlsStream;
  void BeginHandshake(bool after_connect);
  void DriveHandshake();
  void TlsStreamReady(unsigned revents);
  size_t TlsSend(const void* buffer, size_t count);
  size_t TlsReceive(void* buffer, size_t size);
  bool TlsRearmRead();
  void TlsPump();
  bool TlsClose();  // the close notice; true when the peer may still send (see LingeringClose)
  unsigned TlsWatchEvents() const;

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

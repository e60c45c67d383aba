// AsyncSocket: one non-blocking TCP socket whose completions (host looked up, connected,
// readable, writable, connection waiting, closed, time-out) arrive later as notifications, with
// WinSock's re-enabling rules so that nothing spins. The object owns, through its Impl
// (AsyncSocketImpl.h), its socket, its target in the event loop, its fd watch, its countdown
// timer and any host look-up; its owner fills the On... slots. Loop thread only; the object must go
// before its loop and never inside its own slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "net/TlsChannel.h"
#include "platform/EventLoop.h"

namespace tarsil {

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

  // TLS (AsyncSocketTls.cpp). SecureOnConnect(context) makes the next connect or accept run a
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
  const std::string& TlsFailure() const;

  const std::string& Server() const;
  void SetServer(std::string_view text);
  uint16_t Port() const;
  void SetPort(uint16_t port);
  const std::string& AddressTextView() const;
  void SetAddressTextView(std::string text);
  const std::string& HostNameView() const;
  void SetHostNameView(std::string text);
  int TimeOut() const;
  void SetTimeOut(int seconds);
  uint16_t LastError() const;
  void SetLastError(uint16_t code);
  bool ReportWouldBlock() const;
  void SetReportWouldBlock(bool on);
  // While set, a send tells the kernel more data follows at once, so small blocks share
  // segments; the first send without it pushes what is held.
  void SetMoreToCome(bool on);
  // Lets the held connection keep at most about `bytes` unsent in the kernel: a send takes no
  // more beyond that (it would block), and the socket is writable again once they have gone. A
  // sender faster than its peer then waits for the peer instead of filling its window, and its
  // own sends carry the bytes out. False when the socket refused it (no connection held).
  bool LimitUnsent(size_t bytes);
  bool IsOpen() const;
  bool LookupPending() const;
  int Handle() const;
  // Sockets held by every AsyncSocket of the process; leak checks expect 0 once all are gone.
  static size_t LiveHandles();
  EventLoop& loop() const;

  // The countdown: seconds left, and the length of one of its ticks (1000 ms; tests shorten it).
  int Countdown() const;
  bool CountdownRunning() const;
  void SetCountdownInterval(uint32_t milliseconds);

 protected:
  // Runs when a look-up has ended, with LastError set. The default raises OnLookupDone.
  virtual void LookupDone();

 private:
  struct Impl;  // AsyncSocketImpl.h
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarsil

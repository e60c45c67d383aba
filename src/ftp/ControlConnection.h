// ControlConnection: the FTP control connection of the engine. It owns the control socket, cuts
// what arrives into lines and replies, and holds the reply handler of the step in progress; it
// sends command lines and refuses any that would end early. What it cannot decide itself (the
// words of a socket error, a failed connection, running a handler) goes to its ControlOwner.
// Owned by the engine's context; loop thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ftp/FtpCharset.h"
#include "ftp/FtpCodes.h"
#include "ftp/ReplyHandler.h"
#include "ftp/ReplyReader.h"
#include "net/AsyncSocket.h"

namespace tarsil {

// What the control connection hands to its owner.
class ControlOwner {
 public:
  // The command line sent (ftpInfoCommand) or the bytes received (ftpInfoReply).
  virtual void ControlInfo(FtpInfo info, std::string_view text) = 0;
  // Looks at the socket's last error; true when it ended the connection.
  virtual bool ControlSocketFailed() = 0;
  // A protocol fault of the server: the connection ends with this error.
  virtual void ControlFailed(FtpError member, std::string text) = 0;
  // A final reply line for the registered handler.
  virtual void ControlReply(const ReplyHandler& handler, const std::string& reply) = 0;

 protected:
  ~ControlOwner() = default;
};

class ControlConnection {
 public:
  ControlConnection(EventLoop& loop, ControlOwner& owner);
  ~ControlConnection();
  ControlConnection(const ControlConnection&) = delete;
  ControlConnection& operator=(const ControlConnection&) = delete;

  // The socket itself, for the connection steps; its readable and writable slots belong to this
  // object.
  AsyncSocket& Socket() { return socket_; }
  const AsyncSocket& Socket() const { return socket_; }

  // The server as the user named it (a host name or an address) and its port.
  const std::string& Server() const { return socket_.Server(); }
  uint16_t Port() const { return socket_.Port(); }
  // The peer's address as text, whether it is an IPv6 one, and this end's address.
  std::string PeerAddress() const { return socket_.AddressText(); }
  bool PeerIsIpv6() const { return socket_.IsIpv6(); }
  std::string LocalAddress() { return socket_.LocalAddressText(); }
  uint16_t LastError() const { return socket_.LastError(); }
  // TLS: the handshake of the next connect (none with nullptr), one started on the open
  // connection now, whether one carries the connection, its channel and its failure.
  void SecureOnConnect(std::shared_ptr<TlsContext> context);
  void StartTls(std::shared_ptr<TlsContext> context);
  bool Secured() const { return socket_.Secured(); }
  const TlsChannel* Tls() const { return socket_.Tls(); }
  const std::string& TlsFailure() const { return socket_.TlsFailure(); }

  // Sends command + CR LF (in UTF-8 when names go so); `handler` takes the replies once the
  // whole line is out. The one place where a command holding CR, LF or NUL is refused: then
  // nothing is sent or told and the result is false.
  bool Send(std::string_view command, ReplyHandler handler);
  // Bytes outside any command line (the Telnet signals before ABOR), as urgent data when asked;
  // a full socket drops the rest. False when the connection failed.
  bool SendSignal(std::string_view bytes, bool urgent);
  // Part of a command line is still waiting for the socket.
  bool SendPending() const { return !pending_send_.empty(); }

  const ReplyHandler& Handler() const { return handler_; }
  void SetHandler(ReplyHandler handler) { handler_ = handler; }
  bool Processing() const { return processing_; }  // a handler is running
  const std::string& LastReply() const { return last_reply_; }
  void SetLastReply(std::string reply) { last_reply_ = std::move(reply); }
  bool Utf8Names() const { return utf8_names_; }
  void SetUtf8Names(bool on) { utf8_names_ = on; }
  // The lines of the next reply are kept for the step that reads them (at most 1024).
  void CollectReplyLines();
  std::vector<std::string> TakeReplyLines();
  // Changes whenever a connection ends: a step that sees it change stops.
  uint64_t Serial() const { return serial_; }

  void ResetForAttempt();                    // before a new connection attempt
  void StartReading(ReplyHandler greeting);  // connected: the greeting is awaited
  void DropUnread();                         // what came in clear before a TLS handshake
  void Ended();                              // the socket has closed
  // Closes the socket; the close it raises is known as the engine's own.
  void CloseOwn();
  bool ClosingOwn() const { return own_close_; }

  // The real target while the socket talks to a proxy.
  void SaveTarget();
  void RestoreTarget();
  bool TargetSaved() const { return target_saved_; }

 private:
  void Flush();
  void Readable();
  void HandleLine(const std::string& received);

  ControlOwner& owner_;
  AsyncSocket socket_;
  LineReader lines_;
  ReplyAssembler replies_;
  ReplyHandler handler_;
  std::string pending_send_;  // the rest of a command line the socket has not taken yet
  ReplyHandler pending_handler_;
  std::string last_reply_;
  bool utf8_names_ = false;
  bool collect_lines_ = false;
  std::vector<std::string> reply_lines_;
  Utf8PieceDecoder reply_decoder_;  // the reply text as the log shows it
  bool processing_ = false;
  bool own_close_ = false;
  uint64_t serial_ = 0;
  bool target_saved_ = false;
  std::string saved_server_;
  uint16_t saved_port_ = 21;
};

}  // namespace tarsil

// FtpEngine: the control connection. The connection attempt and its retries, sending commands,
// reading and assembling replies, the request lifecycle, keep-alive, QUIT, abort of a login, and
// the mapping of socket errors onto the engine's errors.
#include <array>
#include <cstring>
#include <utility>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpEngine.h"
#include "ftp/FtpText.h"
#include "ftp/FtpTlsSteps.h"
#include "net/SocketErrors.h"
#include "platform/CodePage.h"
#include "platform/TextHelpers.h"

namespace tarsil {

// Reply handlers of the control connection's own requests.
struct FtpControlSteps {
  static void KeepAliveReply(FtpEngine& ftp, const std::string& reply);
  static void QuitReply(FtpEngine& ftp, const std::string& reply);
};

namespace {

constexpr ReplyHandler kKeepAliveReply{"KeepAlive", &FtpControlSteps::KeepAliveReply};
constexpr ReplyHandler kQuitReply{"Quit", &FtpControlSteps::QuitReply};

constexpr size_t kReadSize = 4096;
constexpr size_t kMaxCollectedLines = 1024;  // of one reply whose lines a step reads

constexpr const char* kTextCommandRefused = "Command not sent: it holds a CR, LF or NUL byte";
constexpr const char* kTextLineTooLong = "Reply line longer than 8192 bytes";
constexpr const char* kTextReplyTooLong = "Multi-line reply longer than 1048576 bytes";
constexpr const char* kTextClosedByServer = "Connection closed by the server";

bool Begins(const std::string& reply, char digit) { return !reply.empty() && reply[0] == digit; }

}  // namespace

// ---- Connection attempt --------------------------------------------------------------------

void FtpEngine::LoginServer() {
  retries_left_ = retries_;
  busy_ = false;
  logged_in_ = false;
  Attempt();
}

void FtpEngine::Attempt() {
  retry_waiting_ = false;
  timers_.KillTimer(kRetryTimer);
  if (busy_) {
    RaiseInfo(ftpInfoBusy);
    return;
  }
  SetLastError(0);
  utf8_names_ = false;
  collect_reply_lines_ = false;
  reply_decoder_.Clear();
  current_directory_.clear();
  last_type_.clear();
  replies_.Clear();
  last_error_ = ftpErrorNone;
  request_ok_ = size_supported_ = noop_supported_ = true;
  quit_sent_ = false;
  --retries_left_;
  // A target saved by an attempt that never reached its greeting goes back first, so that a
  // retry through a proxy still names the real server.
  RestoreTarget();

  RecreateSocket();
  if (LastError() != 0) {  // no socket could be made: nothing will ever notify
    CheckSocketError();
    ControlClosed();
    return;
  }
  if (TrimBlanks(proxy_server_).empty()) {
    proxy_type_ = proxyNone;
  } else if (proxy_type_ != proxyNone) {
    SaveTarget();
    SetServer(proxy_server_);
    SetPort(static_cast<uint16_t>(proxy_port_));
  }
  if (TrimBlanks(Server()).empty()) {
    std::string answer = Server();
    AskInfo(needServer, answer);
    answer = TrimBlanks(answer);
    if (answer.empty()) {
      RaiseError(ftpErrorNoServer);
      FinishRequest();
      return;
    }
    SetServer(answer);
  }
  if (Port() == 0) SetPort(21);
  if (!FtpTlsSteps::PrepareAttempt(*this)) return;
  if (!AddressTextView().empty()) {
    SetAddressText(AddressTextView());
    SetPortNumber(Port());
    ConnectSocket();
  } else {
    RaiseInfo(ftpInfoResolving, HostNameView());
    LookupHost(HostNameView());
  }
  CheckSocketError();
}

void FtpEngine::LookupDone() {
  if (CheckSocketError()) return;
  TakeResolvedAddress();
  SetPortNumber(Port());
  SetAddressTextView(AddressText());
  RaiseInfo(ftpInfoResolved, AddressTextView());
  ConnectSocket();
  CheckSocketError();
}

void FtpEngine::ControlConnected() {
  if (CheckSocketError()) return;
  RaiseInfo(ftpInfoConnected, AddressTextView());
  connected_ = true;
  processing_reply_ = false;
  lines_.Clear();
  reply_handler_ = GreetingHandler();
}

void FtpEngine::SaveTarget() {
  saved_server_ = Server();
  saved_port_ = Port() == 0 ? 21 : Port();
  target_saved_ = true;
}

void FtpEngine::RestoreTarget() {
  if (!target_saved_) return;
  target_saved_ = false;
  SetServer(saved_server_);
  SetPort(saved_port_);
}

// ---- Errors --------------------------------------------------------------------------------

bool FtpEngine::CheckSocketError() {
  std::optional<FtpFailure> failure = FtpFailureForSocketError(LastError());
  if (!failure) {
    last_error_ = ftpErrorNone;
    return false;
  }
  if (LastError() == kTlsFailed && !TlsFailure().empty()) failure->text = TlsFailure();
  FailConnection(failure->member, std::move(failure->text));
  return true;
}

void FtpEngine::FailConnection(FtpError member, std::string text) {
  last_error_ = member;
  RaiseError(member, std::move(text));
  data_socket_.CloseSocket();
  listen_socket_.CloseSocket();
  // Also a socket still resolving or connecting: its close is what decides between a retry
  // and the disconnect.
  if (Handle() >= 0 || LookupPending()) {
    const bool was_own = own_close_;
    own_close_ = true;
    CloseSocket();
    own_close_ = was_own;
  }
}

// ---- Sending -------------------------------------------------------------------------------

bool FtpEngine::SendCommand(std::string_view command, ReplyHandler handler) {
  if (HoldsLineBreakOrNul(command)) {
    if (current_operation_ == FtpOperation::kLogin) {
      // The same value would be refused again at every retry.
      retries_left_ = -1;
      FailConnection(ftpErrorCommandFailed, kTextCommandRefused);
    } else {
      RaiseError(ftpErrorCommandFailed, kTextCommandRefused);
      FinishRequest();
    }
    return false;
  }
  std::string line(command);
  line += "\r\n";
  RaiseInfo(ftpInfoCommand, line);
  pending_send_ += utf8_names_ ? Cp932ToUtf8(line) : line;
  pending_handler_ = handler;
  FlushCommand();
  return true;
}

void FtpEngine::FlushCommand() {
  if (pending_send_.empty()) return;
  const uint64_t serial = connection_serial_;
  while (!pending_send_.empty()) {
    const size_t sent = SendBytes(pending_send_.data(), pending_send_.size());
    if (CheckSocketError() || serial != connection_serial_) return;
    // Nothing taken: the socket is full (the writable notification continues) or gone.
    if (sent == 0) return;
    pending_send_.erase(0, sent);
  }
  reply_handler_ = pending_handler_;
  pending_handler_ = {};
}

// ---- Reading -------------------------------------------------------------------------------

void FtpEngine::ControlReadable() {
  if (processing_reply_) return;  // the reading in progress takes the new data
  const uint64_t serial = connection_serial_;
  std::array<char, kReadSize> buffer;
  for (;;) {
    const size_t count = ReceiveBytes(buffer.data(), buffer.size());
    // NUL bytes are dropped one by one; the text after them is kept.
    const std::string chunk = WithoutNulBytes(std::string_view(buffer.data(), count));
    if (CheckSocketError()) return;
    RaiseInfo(ftpInfoReply, utf8_names_ ? reply_decoder_.Take(chunk) : chunk);
    // Nothing more, or only NUL bytes: the next readable notification goes on.
    if (chunk.empty() || serial != connection_serial_) return;
    lines_.Append(chunk);
    std::string line;
    for (;;) {
      const LineReader::Result result = lines_.NextLine(line);
      if (result == LineReader::Result::kNeedMore) break;
      if (result == LineReader::Result::kTooLong) {
        FailConnection(ftpErrorConnectionAborted, kTextLineTooLong);
        return;
      }
      HandleReplyLine(line);
      if (serial != connection_serial_) return;
    }
  }
}

void FtpEngine::HandleReplyLine(const std::string& received) {
  const std::string line = utf8_names_ ? Utf8ToCp932(received) : received;
  if (collect_reply_lines_ && reply_lines_.size() < kMaxCollectedLines) {
    reply_lines_.push_back(line);
  }
  switch (replies_.Take(line)) {
    case ReplyAssembler::Result::kIgnored:
      return;
    case ReplyAssembler::Result::kTooLong:
      FailConnection(ftpErrorConnectionAborted, kTextReplyTooLong);
      return;
    case ReplyAssembler::Result::kFinal:
      break;
  }
  last_reply_ = line;
  if (!reply_handler_) return;
  // The handler stays registered until a step sends the next command or the request ends.
  const ReplyHandler handler = reply_handler_;
  struct Processing {
    bool& flag;
    explicit Processing(bool& f) : flag(f) { flag = true; }
    ~Processing() { flag = false; }
  } processing(processing_reply_);
  handler.run(*this, line);
}

// ---- Requests ------------------------------------------------------------------------------

bool FtpEngine::BeginRequest() {
  if (connected_ && !busy_) {
    busy_ = true;
    Raise(OnFtpBusy);
    request_ok_ = true;
    SetKeepAlive(false);
    last_error_ = ftpErrorNone;
    return true;
  }
  RaiseInfo(connected_ ? ftpInfoBusy : ftpInfoDisconnected);
  request_ok_ = false;
  return false;
}

void FtpEngine::FinishRequest() {
  reply_handler_ = {};
  timers_.KillTimer(kDataReplyTimer);
  PostNotice(kReadyNoticeMessage);
}

void FtpEngine::KeepAliveTick() {
  if (busy_ || !logged_in_ || !noop_supported_) return;
  busy_ = true;
  current_operation_ = FtpOperation::kKeepAlive;
  SendCommand("NOOP", kKeepAliveReply);
}

void FtpControlSteps::KeepAliveReply(FtpEngine& ftp, const std::string& reply) {
  if (reply.compare(0, 2, "50") == 0) ftp.noop_supported_ = false;
  ftp.busy_ = false;
}

void FtpEngine::QuitServer() {
  if (!BeginRequest()) return;
  quit_sent_ = true;
  stop_retry_ = true;  // the close that follows ends in the disconnect, also before a login
  SendCommand("QUIT", kQuitReply);
}

void FtpControlSteps::QuitReply(FtpEngine& ftp, const std::string& reply) {
  ftp.logged_in_ = false;
  if (!Begins(reply, '2')) ftp.FailConnection(ftpErrorNone);
}

void FtpEngine::AbortRequest() {
  switch (current_operation_) {
    case FtpOperation::kIdle:
    case FtpOperation::kLogin:
      if (!logged_in_) GiveUpLogin();
      return;
    case FtpOperation::kDownload:
    case FtpOperation::kUpload:
    case FtpOperation::kListing:
      FtpDataSteps::Abort(*this);
      return;
    default:
      return;
  }
}

void FtpEngine::GiveUpLogin() {
  retries_left_ = -1;
  stop_retry_ = true;
  const bool was_waiting = retry_waiting_;
  if (!was_waiting) {
    // The close raises "Retry Finished" and disconnects.
    const bool was_own = own_close_;
    own_close_ = true;
    CloseSocket();
    own_close_ = was_own;
  }
  Raise(OnAborted);
  if (was_waiting && retry_waiting_) {
    // The wait ends early and no further attempt is made.
    retry_waiting_ = false;
    timers_.KillTimer(kRetryTimer);
    RunDisconnect();
  }
}

void FtpEngine::CancelRequest() {
  if (!logged_in_) {
    const bool attempting = connected_ || Handle() >= 0 || LookupPending() || retry_waiting_;
    if (attempting) GiveUpLogin();
    return;
  }
  if (!busy_) return;
  if (quit_sent_) {  // leaving anyway: no need to hear the server out
    FailConnection(ftpErrorTimedOut, kTextTimedOut);
    return;
  }
  if (aborting_) {
    // The abort's own wait is bounded; a completed transfer whose data connection stays open
    // is only waiting for that close.
    if (!reply_handler_) FtpDataSteps::CloseDataSockets(*this);
    return;
  }
  if (!reply_handler_) {
    // A command the server has not even taken (the socket stays full) leaves nothing to abort;
    // otherwise the request has ended and its ready notice is on its way.
    if (!pending_send_.empty()) FailConnection(ftpErrorTimedOut, kTextTimedOut);
    return;
  }
  switch (current_operation_) {
    case FtpOperation::kDownload:
    case FtpOperation::kUpload:
    case FtpOperation::kListing:
      FtpDataSteps::Abort(*this);
      return;
    default:
      FtpDataSteps::AbortCommand(*this);
      return;
  }
}

// ---- The end of the control connection -----------------------------------------------------

void FtpEngine::ControlClosed() {
  ++connection_serial_;
  pending_send_.clear();
  pending_handler_ = {};
  lines_.Clear();
  if (retry_waiting_) return;
  if (!own_close_) NoteUnexpectedClose();
  if (retries_left_ < 0) {
    RaiseInfo(ftpInfoRetryFinished, kTextRetryFinished);
    stop_retry_ = true;
  } else if (!logged_in_ && last_error_ != ftpErrorNone) {
    RaiseInfo(ftpInfoRetrying, kTextRetrying);
    retry_waiting_ = true;
    stop_retry_ = false;
    timers_.SetTimer(kRetryTimer, uint32_t{retry_interval_} * 1000);
    return;
  }
  if (stop_retry_) RunDisconnect();
}

void FtpEngine::NoteUnexpectedClose() {
  // The server or the network ended the connection while a login or a request was waiting on
  // it: that is a failure (so the login is retried or the request fails), not a quiet end.
  const bool waiting = !logged_in_ || (busy_ && current_operation_ != FtpOperation::kKeepAlive);
  if (quit_sent_ || last_error_ != ftpErrorNone || !waiting) return;
  std::optional<FtpFailure> failure = FtpFailureForSocketError(LastError());
  if (!failure) failure = FtpFailure{ftpErrorConnectionAborted, kTextClosedByServer};
  FailConnection(failure->member, std::move(failure->text));
}

void FtpEngine::RetryWaitOver() {
  if (!retry_waiting_) return;
  if (stop_retry_) {
    retry_waiting_ = false;
    RunDisconnect();
    return;
  }
  Attempt();
}

void FtpEngine::RunDisconnect() {
  connected_ = false;
  RestoreTarget();
  RaiseInfo(ftpInfoDisconnected, kTextDisconnected);
  PostNotice(kQuitNoticeMessage);
  current_operation_ = FtpOperation::kIdle;
  FinishRequest();
}

}  // namespace tarsil

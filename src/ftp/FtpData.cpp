// FtpEngine: the steps every data connection shares. TYPE, PASV (whose data connection always goes
// to the control connection's peer) and PORT (whose listening socket takes the first connection,
// from wherever it comes: servers with several addresses connect from another one), the wiring
// of the data socket, the data start, a failed data connection, and the ABOR sequence.
#include <limits>
#include <utility>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpDataText.h"
#include "ftp/FtpTlsSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

constexpr const char* kTextBadPasv = "PASV reply without six numbers of 0 to 255 in parentheses";
constexpr const char* kTextBadEpsv = "EPSV reply without a port in (|||port|)";
constexpr const char* kTextCannotListen = "No listening socket for the data connection";

// Telnet "interrupt process" in the normal stream, "data mark" as urgent data (RFC 959, ABOR).
constexpr char kIacIp[] = {'\xFF', '\xF4'};
constexpr char kIacDm[] = {'\xFF', '\xF2'};

// Sends all bytes on the control connection; false when the connection failed.
bool SendControlBytes(FtpEngine& ftp, const char (&bytes)[2], bool urgent) {
  size_t done = 0;
  while (done < sizeof bytes) {
    const size_t sent = urgent ? ftp.SendUrgent(bytes + done, sizeof bytes - done)
                               : ftp.SendBytes(bytes + done, sizeof bytes - done);
    if (ftp.LastError() != 0 && ftp.LastError() != kWsaENotSock) return false;
    if (sent == 0) return true;  // the socket is full or gone: the rest is dropped
    done += sent;
  }
  return true;
}

}  // namespace

void FtpEngine::SetListingLimits(uint64_t max_bytes, uint64_t max_lines) {
  data_.max_listing_bytes = max_bytes;
  data_.max_listing_lines = max_lines;
}

void FtpDataSteps::WaitWhileBusy(FtpEngine& ftp) {
  if (ftp.asynchronous_ || !ftp.busy_) return;
  ftp.loop().WaitUntil([&ftp] { return !ftp.busy_; }, EventLoop::Clock::time_point::max());
}

void FtpDataSteps::Fail(FtpEngine& ftp, FtpError member, std::string text) {
  ftp.RaiseError(member, std::move(text));
  ftp.FinishRequest();
}

// ---- TYPE, PASV, PORT ----------------------------------------------------------------------

void FtpDataSteps::SetType(FtpEngine& ftp, const char* letter, ReplyHandler next) {
  if (ftp.last_type_ != letter) {
    ftp.last_type_ = letter;
    ftp.SendCommand(std::string("TYPE ") + letter, next);
  } else {
    next.run(ftp, kSyntheticDone);
  }
}

void FtpDataSteps::UploadPasvPortStep(FtpEngine& ftp, const std::string& reply) {
  ftp.data_.data_closed = false;
  ftp.data_.final_reply_seen = false;
  PasvPortStep(ftp, reply);
}

void FtpDataSteps::PasvPortStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  if (ftp.passive_) {
    SendPassive(ftp);
  } else {
    SendPort(ftp, ftp.data_step_);
  }
}

void FtpDataSteps::SendPassive(FtpEngine& ftp) {
  // PASV cannot name an IPv6 address; EPSV names only a port, which also suits a server behind
  // an address translator (EPSV=Y).
  const bool extended = ftp.IsIpv6() || ftp.use_epsv_;
  ftp.SendCommand(extended ? "EPSV" : "PASV", extended ? kEpsvReply : kPasvReply);
}

void FtpDataSteps::PasvReply(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2') || !ftp.data_step_) return Fail(ftp, ftpErrorCommandFailed);
  const std::optional<PasvTarget> target = ParsePasvReply(reply);
  if (!target) return Fail(ftp, ftpErrorCommandFailed, kTextBadPasv);
  // Only the port is taken: a reply naming another host (a hostile server, or one behind an
  // address translator) must not send the client to some other machine.
  const std::string peer = ftp.AddressText();
  if (target->host != peer) {
    ftp.RaiseInfo(ftpInfoDebug, "PASV reply names " + target->host + "; the data connection goes" +
                                    " to the server's address " + peer + " instead");
  }
  ConnectData(ftp, target->port);
}

void FtpDataSteps::EpsvReply(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2') || !ftp.data_step_) return Fail(ftp, ftpErrorCommandFailed);
  const std::optional<uint16_t> port = ParseEpsvReply(reply);
  if (!port) return Fail(ftp, ftpErrorCommandFailed, kTextBadEpsv);
  ConnectData(ftp, *port);  // to the control connection's peer, as EPSV means
}

void FtpDataSteps::ConnectData(FtpEngine& ftp, uint16_t port) {
  const std::string peer = ftp.AddressText();
  AsyncSocket& data = ftp.data_socket_;
  data.RecreateSocket();
  if (data.LastError() == 0) {
    FtpTlsSteps::ArmDataSocket(ftp);
    data.SetAddressText(peer);
    data.SetPortNumber(port);
    data.ConnectSocket();
  }
  if (data.LastError() != 0) {  // failed at once: no notification would ever come
    // Nothing is wired to this connection yet, and no transfer command has gone out.
    data.OnClosed = nullptr;
    CloseDataSockets(ftp);
    return Fail(ftp, ftpErrorDataConnection, kTextDataFailed);
  }
  const ReplyHandler step = ftp.data_step_;
  step.run(ftp, kSyntheticDone);
}

void FtpDataSteps::SendPort(FtpEngine& ftp, ReplyHandler next) {
  AsyncSocket& listener = ftp.listen_socket_;
  // Some servers connect as soon as they have the PORT, before the transfer command (and before
  // Wire): that connection is taken when the data connection is wired.
  ftp.data_.accept_pending = false;
  listener.OnAcceptReady = [&ftp](AsyncSocket&) { ftp.data_.accept_pending = true; };
  const std::string local = ftp.LocalAddressText();
  listener.RecreateSocket();
  if (listener.LastError() == 0 && !local.empty()) {
    listener.SetAddressText(local);
    listener.SetPortNumber(0);  // any free port
    listener.ListenSocket();
  }
  const uint16_t port = listener.LastError() == 0 && !local.empty() ? listener.LocalPort() : 0;
  const std::string address = port != 0 ? listener.LocalAddressText() : std::string();
  if (address.empty()) {
    listener.CloseSocket();
    return Fail(ftp, ftpErrorDataConnection, kTextCannotListen);
  }
  ftp.data_.listing_leftover.clear();
  if (address.find(':') != std::string::npos) {
    ftp.SendCommand("EPRT " + EprtArgument(address, port), next);  // PORT has no IPv6 form
  } else {
    ftp.SendCommand("PORT " + PortArgument(address, port), next);
  }
}

// ---- The data connection -------------------------------------------------------------------

void FtpDataSteps::Wire(FtpEngine& ftp, DataWiring wiring) {
  FtpDataState& d = ftp.data_;
  ++d.data_serial;
  d.data_started = false;
  d.abort_replies = 0;
  d.send_begin = d.send_end = 0;
  d.upload_eof = false;
  d.data_failed = false;
  d.failure_text.clear();
  AsyncSocket& data = ftp.data_socket_;
  data.OnReadable = nullptr;
  data.OnWritable = nullptr;
  if (wiring == DataWiring::kDownload) {
    data.OnReadable = [&ftp](AsyncSocket&) { DownloadReader(ftp); };
  } else if (wiring == DataWiring::kListing) {
    data.OnReadable = [&ftp](AsyncSocket&) { ListingReader(ftp); };
  } else {
    data.OnWritable = [&ftp](AsyncSocket&) { UploadSender(ftp); };
  }
  if (wiring == DataWiring::kListing) {
    data.OnClosed = [&ftp](AsyncSocket&) { ListingCloser(ftp); };
  } else {
    data.OnClosed = [&ftp](AsyncSocket&) { TransferCloser(ftp); };
  }
  data.OnConnected = [&ftp, wiring](AsyncSocket&) { DataStart(ftp, wiring); };
  ftp.listen_socket_.OnAcceptReady = [&ftp, wiring](AsyncSocket&) { AcceptStart(ftp, wiring); };
  if (std::exchange(d.accept_pending, false)) AcceptStart(ftp, wiring);
}

void FtpDataSteps::AcceptStart(FtpEngine& ftp, DataWiring wiring) {
  AsyncSocket& data = ftp.data_socket_;
  FtpTlsSteps::ArmDataSocket(ftp);  // in active mode too the client side of TLS is ours
  data.AcceptFrom(ftp.listen_socket_);
  const uint16_t error = data.LastError();
  // Nothing there after all, or a connection that went before it was taken: wait on.
  if ((error == 0 && !data.IsOpen()) || error == kWsaEConnAborted) return;
  if (error == 0) {
    const std::string peer = ftp.AddressText();
    const std::string from = data.AddressText();
    if (from != peer) {
      ftp.RaiseInfo(ftpInfoDebug,
                    "Data connection from " + from + " accepted; the server's address is " + peer);
    }
    // One data connection per transfer: a later one must not replace it.
    ftp.listen_socket_.OnAcceptReady = nullptr;
    ftp.listen_socket_.CloseSocket();
  }
  DataStart(ftp, wiring);
}

void FtpDataSteps::DataStart(FtpEngine& ftp, DataWiring wiring) {
  FtpDataState& d = ftp.data_;
  const uint16_t error = ftp.data_socket_.LastError();
  if (error != 0) {
    const bool ignored = ftp.aborting_ || (error == kWsaENotSock && wiring != DataWiring::kUpload);
    if (!ignored) DataFailed(ftp);
    return;
  }
  d.bytes_transferred = 0;
  ftp.request_ok_ = true;
  d.listing_leftover.clear();
  ftp.aborting_ = false;
  d.data_started = true;
  if (wiring == DataWiring::kDownload) d.local_file.CutAtPositionOnClose();
  if (wiring == DataWiring::kUpload) {
    d.upload_size = d.local_file.Size();
    ftp.RaiseInfo(ftpInfoFileSize, std::to_string(d.upload_size));
    // A FIFO has no size: it is sent until its writer closes it.
    if (d.local_file.IsStream()) d.upload_size = std::numeric_limits<int64_t>::max();
  }
}

bool FtpDataSteps::SendTransferCommand(FtpEngine& ftp, const std::string& command,
                                       ReplyHandler handler) {
  ftp.data_.transfer_sent = true;
  if (ftp.SendCommand(command, handler)) return true;
  CloseDataSockets(ftp);  // the request has ended: its data connection goes with it
  return false;
}

void FtpDataSteps::CloseDataSockets(FtpEngine& ftp) {
  ftp.data_socket_.CloseSocket();
  ftp.listen_socket_.CloseSocket();
}

bool FtpDataSteps::ReceiveFailed(FtpEngine& ftp) {
  const uint16_t error = ftp.data_socket_.LastError();
  if (error == 0 || error == kWsaENotSock || ftp.aborting_) return error != 0;
  DataFailed(ftp);
  return true;
}

void FtpDataSteps::DataFailed(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (ftp.aborting_ || d.data_closed) return;
  NoteDataFailure(ftp, ftp.data_socket_.LastError());
  AsyncSocket& data = ftp.data_socket_;
  if (data.Handle() >= 0) {
    CloseDataSockets(ftp);  // its close runs the closer
    return;
  }
  // No socket left to close (an accept that failed): the closer is run here.
  ftp.listen_socket_.CloseSocket();
  const AsyncSocket::SocketEvent closer = data.OnClosed;
  if (closer) closer(data);
}

void FtpDataSteps::NoteDataFailure(FtpEngine& ftp, uint16_t error) {
  FtpDataState& d = ftp.data_;
  d.data_failed = true;
  if (d.failure_text.empty()) d.failure_text = FtpTlsSteps::DataFailureText(ftp, error);
}

std::string FtpDataSteps::DataFailureText(const FtpEngine& ftp) {
  return ftp.data_.failure_text.empty() ? std::string(kTextDataFailed) : ftp.data_.failure_text;
}

void FtpDataSteps::DataFailedEnd(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (!ftp.reply_handler_) return;  // the request has already ended
  if (d.final_reply_seen) return Fail(ftp, ftpErrorDataConnection, DataFailureText(ftp));
  ftp.timers_.SetTimer(kDataReplyTimer, kDataReplyWaitMs);
}

void FtpDataSteps::DataReplyWaitOver(FtpEngine& ftp) {
  ftp.timers_.KillTimer(kDataReplyTimer);
  const FtpDataState& d = ftp.data_;
  const bool waiting = ftp.busy_ && ftp.reply_handler_ && d.data_failed && !d.final_reply_seen;
  if (!waiting || ftp.aborting_) return;
  // The server keeps its reply to itself: the transfer is aborted, and that wait is bounded.
  ftp.RaiseError(ftpErrorDataConnection, DataFailureText(ftp));
  Abort(ftp);
}

bool FtpDataSteps::ClosedByFailure(FtpEngine& ftp, uint16_t error) {
  // A reset before the server's final reply: what came may be cut short. After a positive final
  // reply the server has said the data is complete, however it then closed.
  if (error == 0 || error == kWsaENotSock || error == kWsaENotConn) return false;
  return !ftp.aborting_ && !ftp.data_.final_reply_seen;
}

// ---- Abort ----------------------------------------------------------------------------------
//
// After ABOR a server answers twice: the aborted command's own final reply (426, or 226 when it
// had just completed) and then the reply to ABOR. The request ends with the second, so that a
// late ABOR reply is never taken as the reply to the next command. A server that has not
// stopped the transfer after a short grace has its data connection closed (several go on
// sending to a reader that keeps up, and read the ABOR only when the transfer is over), and one
// that leaves a reply out is not waited for long. An aborted transfer is a failed one, unless
// its positive final reply had come before the abort.

void FtpDataSteps::Abort(FtpEngine& ftp) { StartAbort(ftp, false); }

void FtpDataSteps::AbortCommand(FtpEngine& ftp) { StartAbort(ftp, true); }

void FtpDataSteps::StartAbort(FtpEngine& ftp, bool command) {
  // Not twice, and not after the request has already ended (its handler is gone).
  if (ftp.aborting_ || !ftp.reply_handler_) return;
  FtpDataState& d = ftp.data_;
  ftp.aborting_ = true;
  d.abort_command = command;
  d.abort_completed = !command && d.final_reply_seen;
  d.abort_replies = d.abort_completed ? 1 : 2;
  d.aborted_reply = d.abort_completed ? ftp.last_reply_ : std::string();
  d.abort_failed = false;
  d.abort_answered = false;
  // A completed transfer's data connection is not cut; a command has none.
  d.abort_waiting = d.abort_completed || command;
  // What a full FIFO still had to take is given up, and the rest is read only to be dropped.
  if (!d.file_held.empty()) ftp.CloseLocalFile();
  // Over TLS the Telnet signals have no place (urgent data would cut into a record): ABOR goes
  // alone, as servers expect there.
  if (!ftp.Secured() &&
      (!SendControlBytes(ftp, kIacIp, false) || !SendControlBytes(ftp, kIacDm, true))) {
    ftp.CheckSocketError();
    return;
  }
  // No second IAC DM follows in the normal stream: servers read it as the start of the next
  // command line, which they then refuse ("500 Unknown command").
  ftp.reply_handler_ = kAbortReply;
  if (!ftp.SendCommand("ABOR", kAbortReply)) return;
  ftp.timers_.SetTimer(kAbortTimer, d.abort_waiting ? kAbortReplyWaitMs : kAbortGraceMs);
}

void FtpDataSteps::AbortReply(FtpEngine& ftp, const std::string& reply) {
  FtpDataState& d = ftp.data_;
  if (ReplyIs(reply, '1')) return;
  d.abort_answered = true;
  if (d.abort_replies == 2) {  // the aborted command's own reply
    d.aborted_reply = reply;
    if (!d.abort_command) FailAbort(ftp);
  }
  if (--d.abort_replies > 0) {
    d.abort_waiting = true;  // the server has answered: its data connection is left to it
    ftp.timers_.SetTimer(kAbortTimer, kAbortReplyWaitMs);
    return;
  }
  EndAbort(ftp);
}

void FtpDataSteps::AbortWaitOver(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (ftp.reply_handler_.run != &AbortReply) {
    ftp.timers_.KillTimer(kAbortTimer);
    return;
  }
  if (d.abort_waiting) return EndAbort(ftp);
  d.abort_waiting = true;
  CloseDataSockets(ftp);
  ftp.timers_.SetTimer(kAbortTimer, kAbortReplyWaitMs);
}

void FtpDataSteps::FailAbort(FtpEngine& ftp) {
  if (ftp.data_.abort_failed) return;
  ftp.data_.abort_failed = true;
  CloseDataSockets(ftp);
  ftp.RaiseError(ftpErrorAccessDenied, kTextAccessDenied);
}

void FtpDataSteps::EndAbort(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  ftp.timers_.KillTimer(kAbortTimer);
  d.abort_replies = 0;
  if (!d.abort_answered) {
    // Not a word since ABOR: the connection cannot be trusted with another command.
    ftp.FailConnection(ftpErrorTimedOut, kTextAbortUnanswered);
    return;
  }
  if (d.abort_command) {  // the command's reply, when it came, stays the last reply
    ftp.FinishRequest();
    return;
  }
  // The request's outcome is the aborted command's reply, not ABOR's.
  if (d.abort_completed) {
    ftp.last_reply_ = d.aborted_reply;
    if (d.data_closed) {
      ftp.FinishRequest();
    } else {
      ftp.reply_handler_ = {};  // the close of the data connection ends the request
    }
    return;
  }
  FailAbort(ftp);
  const bool negative =
      d.transfer_sent && (ReplyIs(d.aborted_reply, '4') || ReplyIs(d.aborted_reply, '5'));
  ftp.last_reply_ = negative ? d.aborted_reply : std::string(kTextAbortedReply);
  ftp.FinishRequest();  // its ready notice closes what is left of the data connection
}

void FtpDataSteps::HandleNotice(FtpEngine& ftp, const Notice& notice) {
  if (notice.message == kUploadContinueMessage && notice.wparam == ftp.data_.data_serial) {
    UploadSender(ftp);
  }
}

}  // namespace tarsil

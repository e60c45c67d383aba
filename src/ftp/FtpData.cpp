// The FTP engine's steps every data connection shares. TYPE, PASV (whose data connection always
// goes to the control connection's peer) and PORT (whose listening socket takes the first
// connection, from wherever it comes: servers with several addresses connect from another one), the
// wiring of the data socket, the data start, a failed data connection, and the ABOR sequence.
#include <limits>
#include <string_view>
#include <utility>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpDataText.h"
#include "ftp/FtpListingSteps.h"
#include "ftp/FtpTlsSteps.h"
#include "ftp/FtpTransferSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

constexpr const char* kTextBadPasv = "PASV reply without six numbers of 0 to 255 in parentheses";
constexpr const char* kTextBadEpsv = "EPSV reply without a port in (|||port|)";
constexpr const char* kTextCannotListen = "No listening socket for the data connection";

// Telnet "interrupt process" in the normal stream, "data mark" as urgent data (RFC 959, ABOR).
constexpr std::string_view kIacIp("\xFF\xF4", 2);
constexpr std::string_view kIacDm("\xFF\xF2", 2);

}  // namespace

// ---- TYPE, PASV, PORT ----------------------------------------------------------------------

void FtpDataSteps::SetType(EngineContext& ftp, const char* letter, ReplyHandler next) {
  if (ftp.State().last_type != letter) {
    ftp.State().last_type = letter;
    ftp.SendCommand(std::string("TYPE ") + letter, next);
  } else {
    next.run(ftp, kSyntheticDone);
  }
}

void FtpDataSteps::UploadPasvPortStep(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  transfer.data_closed = false;
  transfer.final_reply_seen = false;
  PasvPortStep(ftp, reply);
}

void FtpDataSteps::PasvPortStep(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  if (ftp.Settings().passive) {
    SendPassive(ftp);
  } else {
    SendPort(ftp, ftp.Transfer().data_step);
  }
}

void FtpDataSteps::SendPassive(EngineContext& ftp) {
  // PASV cannot name an IPv6 address; EPSV names only a port, which also suits a server behind
  // an address translator (EPSV=Y).
  const bool extended = ftp.Control().PeerIsIpv6() || ftp.Settings().use_epsv;
  ftp.SendCommand(extended ? "EPSV" : "PASV", extended ? kEpsvReply : kPasvReply);
}

void FtpDataSteps::PasvReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2') || !ftp.Transfer().data_step) return ftp.Fail(ftpErrorCommandFailed);
  const std::optional<PasvTarget> target = ParsePasvReply(reply);
  if (!target) return ftp.Fail(ftpErrorCommandFailed, kTextBadPasv);
  // Only the port is taken: a reply naming another host (a hostile server, or one behind an
  // address translator) must not send the client to some other machine.
  const std::string peer = ftp.Control().PeerAddress();
  if (target->host != peer) {
    ftp.RaiseInfo(ftpInfoDebug, "PASV reply names " + target->host + "; the data connection goes" +
                                    " to the server's address " + peer + " instead");
  }
  ConnectData(ftp, target->port);
}

void FtpDataSteps::EpsvReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2') || !ftp.Transfer().data_step) return ftp.Fail(ftpErrorCommandFailed);
  const std::optional<uint16_t> port = ParseEpsvReply(reply);
  if (!port) return ftp.Fail(ftpErrorCommandFailed, kTextBadEpsv);
  ConnectData(ftp, *port);  // to the control connection's peer, as EPSV means
}

void FtpDataSteps::ConnectData(EngineContext& ftp, uint16_t port) {
  const std::string peer = ftp.Control().PeerAddress();
  AsyncSocket& data = ftp.Data().Socket();
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
    ftp.Data().CloseSockets();
    return ftp.Fail(ftpErrorDataConnection, kTextDataFailed);
  }
  const ReplyHandler step = ftp.Transfer().data_step;
  step.run(ftp, kSyntheticDone);
}

void FtpDataSteps::SendPort(EngineContext& ftp, ReplyHandler next) {
  TransferState& transfer = ftp.Transfer();
  AsyncSocket& listener = ftp.Data().Listener();
  // Some servers connect as soon as they have the PORT, before the transfer command (and before
  // Wire): that connection is taken when the data connection is wired.
  transfer.accept_pending = false;
  listener.OnAcceptReady = [&ftp](AsyncSocket&) { ftp.Transfer().accept_pending = true; };
  const std::string local = ftp.Control().LocalAddress();
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
    return ftp.Fail(ftpErrorDataConnection, kTextCannotListen);
  }
  ftp.Listing().leftover.clear();
  if (address.find(':') != std::string::npos) {
    ftp.SendCommand("EPRT " + EprtArgument(address, port), next);  // PORT has no IPv6 form
  } else {
    ftp.SendCommand("PORT " + PortArgument(address, port), next);
  }
}

// ---- The data connection -------------------------------------------------------------------

void FtpDataSteps::Wire(EngineContext& ftp, DataWiring wiring) {
  TransferState& d = ftp.Transfer();
  ++d.data_serial;
  d.data_started = false;
  d.abort_replies = 0;
  d.send_begin = d.send_end = 0;
  d.upload_eof = false;
  d.data_failed = false;
  d.failure_text.clear();
  AsyncSocket& data = ftp.Data().Socket();
  data.OnReadable = nullptr;
  data.OnWritable = nullptr;
  if (wiring == DataWiring::kDownload) {
    data.OnReadable = [&ftp](AsyncSocket&) { FtpTransferSteps::DownloadReader(ftp); };
  } else if (wiring == DataWiring::kListing) {
    data.OnReadable = [&ftp](AsyncSocket&) { FtpListingSteps::ListingReader(ftp); };
  } else {
    data.OnWritable = [&ftp](AsyncSocket&) { FtpTransferSteps::UploadSender(ftp); };
  }
  if (wiring == DataWiring::kListing) {
    data.OnClosed = [&ftp](AsyncSocket&) { FtpListingSteps::ListingCloser(ftp); };
  } else {
    data.OnClosed = [&ftp](AsyncSocket&) { FtpTransferSteps::TransferCloser(ftp); };
  }
  data.OnConnected = [&ftp, wiring](AsyncSocket&) { DataStart(ftp, wiring); };
  ftp.Data().Listener().OnAcceptReady = [&ftp, wiring](AsyncSocket&) { AcceptStart(ftp, wiring); };
  if (std::exchange(d.accept_pending, false)) AcceptStart(ftp, wiring);
}

void FtpDataSteps::AcceptStart(EngineContext& ftp, DataWiring wiring) {
  AsyncSocket& data = ftp.Data().Socket();
  FtpTlsSteps::ArmDataSocket(ftp);  // in active mode too the client side of TLS is ours
  data.AcceptFrom(ftp.Data().Listener());
  const uint16_t error = data.LastError();
  // Nothing there after all, or a connection that went before it was taken: wait on.
  if ((error == 0 && !data.IsOpen()) || error == kWsaEConnAborted) return;
  if (error == 0) {
    const std::string peer = ftp.Control().PeerAddress();
    const std::string from = data.AddressText();
    if (from != peer) {
      ftp.RaiseInfo(ftpInfoDebug,
                    "Data connection from " + from + " accepted; the server's address is " + peer);
    }
    // One data connection per transfer: a later one must not replace it.
    ftp.Data().CloseListener();
  }
  DataStart(ftp, wiring);
}

void FtpDataSteps::DataStart(EngineContext& ftp, DataWiring wiring) {
  TransferState& d = ftp.Transfer();
  const uint16_t error = ftp.Data().LastError();
  if (error != 0) {
    const bool ignored =
        ftp.State().aborting || (error == kWsaENotSock && wiring != DataWiring::kUpload);
    if (!ignored) DataFailed(ftp);
    return;
  }
  d.bytes_transferred = 0;
  ftp.State().request_ok = true;
  ftp.Listing().leftover.clear();
  ftp.State().aborting = false;
  d.data_started = true;
  if (wiring == DataWiring::kDownload) d.local_file.CutAtPositionOnClose();
  if (wiring == DataWiring::kUpload) {
    ftp.Data().Socket().LimitUnsent(DataChannel::kUploadUnsentLimit);
    d.upload_size = d.local_file.Size();
    ftp.RaiseInfo(ftpInfoFileSize, std::to_string(d.upload_size));
    // A FIFO has no size: it is sent until its writer closes it.
    if (d.local_file.IsStream()) d.upload_size = std::numeric_limits<int64_t>::max();
  }
}

bool FtpDataSteps::SendTransferCommand(EngineContext& ftp, const std::string& command,
                                       ReplyHandler handler) {
  ftp.Transfer().transfer_sent = true;
  if (ftp.SendCommand(command, handler)) return true;
  ftp.Data().CloseSockets();  // the request has ended: its data connection goes with it
  return false;
}

bool FtpDataSteps::ReceiveFailed(EngineContext& ftp) {
  const uint16_t error = ftp.Data().LastError();
  if (error == 0 || error == kWsaENotSock || ftp.State().aborting) return error != 0;
  DataFailed(ftp);
  return true;
}

void FtpDataSteps::DataFailed(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  if (ftp.State().aborting || d.data_closed) return;
  NoteDataFailure(ftp, ftp.Data().LastError());
  if (ftp.Data().HasConnection()) {
    ftp.Data().CloseSockets();  // its close runs the closer
    return;
  }
  // No socket left to close (an accept that failed): the closer is run here.
  ftp.Data().CloseListener();
  AsyncSocket& data = ftp.Data().Socket();
  const AsyncSocket::SocketEvent closer = data.OnClosed;
  if (closer) closer(data);
}

void FtpDataSteps::NoteDataFailure(EngineContext& ftp, uint16_t error) {
  TransferState& d = ftp.Transfer();
  d.data_failed = true;
  if (d.failure_text.empty()) d.failure_text = FtpTlsSteps::DataFailureText(ftp, error);
}

std::string FtpDataSteps::DataFailureText(EngineContext& ftp) {
  TransferState& transfer = ftp.Transfer();
  return transfer.failure_text.empty() ? std::string(kTextDataFailed) : transfer.failure_text;
}

void FtpDataSteps::DataFailedEnd(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  if (!ftp.Control().Handler()) return;  // the request has already ended
  if (d.final_reply_seen) return ftp.Fail(ftpErrorDataConnection, DataFailureText(ftp));
  ftp.Timers().SetTimer(kDataReplyTimer, kDataReplyWaitMs);
}

void FtpDataSteps::DataReplyWaitOver(EngineContext& ftp) {
  ftp.Timers().KillTimer(kDataReplyTimer);
  const TransferState& d = ftp.Transfer();
  const bool waiting =
      ftp.State().busy && ftp.Control().Handler() && d.data_failed && !d.final_reply_seen;
  if (!waiting || ftp.State().aborting) return;
  // The server keeps its reply to itself: the transfer is aborted, and that wait is bounded.
  ftp.RaiseError(ftpErrorDataConnection, DataFailureText(ftp));
  Abort(ftp);
}

bool FtpDataSteps::ClosedByFailure(EngineContext& ftp, uint16_t error) {
  // A reset before the server's final reply: what came may be cut short. After a positive final
  // reply the server has said the data is complete, however it then closed.
  if (error == 0 || error == kWsaENotSock || error == kWsaENotConn) return false;
  return !ftp.State().aborting && !ftp.Transfer().final_reply_seen;
}

void FtpDataSteps::FinalTransferReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  ftp.Timers().KillTimer(kDataReplyTimer);
  if (ReplyIs(reply, '2')) {
    // The server counts it done, but what reached us was cut short.
    if (transfer.data_failed) return ftp.Fail(ftpErrorDataConnection, DataFailureText(ftp));
    transfer.final_reply_seen = true;
    if (transfer.data_closed) ftp.FinishRequest();
    return;
  }
  ftp.Data().CloseSockets();
  ftp.Fail(ftpErrorAccessDenied, kTextAccessDenied);
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

void FtpDataSteps::Abort(EngineContext& ftp) { StartAbort(ftp, false); }

void FtpDataSteps::AbortCommand(EngineContext& ftp) { StartAbort(ftp, true); }

void FtpDataSteps::StartAbort(EngineContext& ftp, bool command) {
  // Not twice, and not after the request has already ended (its handler is gone).
  if (ftp.State().aborting || !ftp.Control().Handler()) return;
  TransferState& d = ftp.Transfer();
  ftp.State().aborting = true;
  d.abort_command = command;
  d.abort_completed = !command && d.final_reply_seen;
  d.abort_replies = d.abort_completed ? 1 : 2;
  d.aborted_reply = d.abort_completed ? ftp.Control().LastReply() : std::string();
  d.abort_failed = false;
  d.abort_answered = false;
  // A completed transfer's data connection is not cut; a command has none.
  d.abort_waiting = d.abort_completed || command;
  // What a full FIFO still had to take is given up, and the rest is read only to be dropped.
  if (!d.file_held.empty()) FtpTransferSteps::CloseLocalFile(ftp);
  // Over TLS the Telnet signals have no place (urgent data would cut into a record): ABOR goes
  // alone, as servers expect there.
  ControlConnection& control = ftp.Control();
  if (!ftp.Control().Secured() &&
      (!control.SendSignal(kIacIp, false) || !control.SendSignal(kIacDm, true))) {
    ftp.CheckSocketError();
    return;
  }
  // No second IAC DM follows in the normal stream: servers read it as the start of the next
  // command line, which they then refuse ("500 Unknown command").
  ftp.Control().SetHandler(kAbortReply);
  if (!ftp.SendCommand("ABOR", kAbortReply)) return;
  ftp.Timers().SetTimer(kAbortTimer, d.abort_waiting ? kAbortReplyWaitMs : kAbortGraceMs);
}

void FtpDataSteps::AbortReply(EngineContext& ftp, const std::string& reply) {
  TransferState& d = ftp.Transfer();
  if (ReplyIs(reply, '1')) return;
  d.abort_answered = true;
  if (d.abort_replies == 2) {  // the aborted command's own reply
    d.aborted_reply = reply;
    if (!d.abort_command) FailAbort(ftp);
  }
  if (--d.abort_replies > 0) {
    d.abort_waiting = true;  // the server has answered: its data connection is left to it
    ftp.Timers().SetTimer(kAbortTimer, kAbortReplyWaitMs);
    return;
  }
  EndAbort(ftp);
}

void FtpDataSteps::AbortWaitOver(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  if (ftp.Control().Handler().run != &AbortReply) {
    ftp.Timers().KillTimer(kAbortTimer);
    return;
  }
  if (d.abort_waiting) return EndAbort(ftp);
  d.abort_waiting = true;
  ftp.Data().CloseSockets();
  ftp.Timers().SetTimer(kAbortTimer, kAbortReplyWaitMs);
}

void FtpDataSteps::FailAbort(EngineContext& ftp) {
  TransferState& transfer = ftp.Transfer();
  if (transfer.abort_failed) return;
  transfer.abort_failed = true;
  ftp.Data().CloseSockets();
  ftp.RaiseError(ftpErrorAccessDenied, kTextAccessDenied);
}

void FtpDataSteps::EndAbort(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  ftp.Timers().KillTimer(kAbortTimer);
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
    ftp.Control().SetLastReply(d.aborted_reply);
    if (d.data_closed) {
      ftp.FinishRequest();
    } else {
      ftp.Control().SetHandler({});  // the close of the data connection ends the request
    }
    return;
  }
  FailAbort(ftp);
  const bool negative =
      d.transfer_sent && (ReplyIs(d.aborted_reply, '4') || ReplyIs(d.aborted_reply, '5'));
  ftp.Control().SetLastReply(negative ? d.aborted_reply : std::string(kTextAbortedReply));
  ftp.FinishRequest();  // its ready notice closes what is left of the data connection
}

void FtpDataSteps::HandleNotice(EngineContext& ftp, const Notice& notice) {
  if (notice.message == kUploadContinueMessage && notice.wparam == ftp.Transfer().data_serial) {
    FtpTransferSteps::UploadSender(ftp);
  }
}

}  // namespace tarsil

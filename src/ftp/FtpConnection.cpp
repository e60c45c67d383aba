// The FTP engine's connection chain: the connection attempt and its retries, keep-alive, QUIT,
// giving up a login, the abort and cancel of a request, and the end of the control connection.
#include <utility>

#include "ftp/FtpConnectionSteps.h"
#include "ftp/FtpDataSteps.h"
#include "ftp/FtpLoginSteps.h"
#include "ftp/FtpTlsSteps.h"
#include "platform/TextHelpers.h"

namespace tarsil {
namespace {

constexpr ReplyHandler kKeepAliveReply{"KeepAlive", &FtpConnectionSteps::KeepAliveReply};
constexpr ReplyHandler kQuitReply{"Quit", &FtpConnectionSteps::QuitReply};

constexpr const char* kTextClosedByServer = "Connection closed by the server";

// Requests with a data connection: their abort is the ABOR sequence of the data steps.
bool CarriesData(FtpOperation operation) {
  return operation == FtpOperation::kDownload || operation == FtpOperation::kUpload ||
         operation == FtpOperation::kListing;
}

}  // namespace

// ---- Connection attempt --------------------------------------------------------------------

void FtpConnectionSteps::Login(EngineContext& ftp) {
  RequestState& state = ftp.State();
  state.retries_left = ftp.Settings().retries;
  state.busy = false;
  state.logged_in = false;
  Attempt(ftp);
}

void FtpConnectionSteps::Attempt(EngineContext& ftp) {
  RequestState& state = ftp.State();
  FtpSettings& settings = ftp.Settings();
  AsyncSocket& socket = ftp.Control().Socket();
  state.retry_waiting = false;
  ftp.Timers().KillTimer(kRetryTimer);
  if (state.busy) {
    ftp.RaiseInfo(ftpInfoBusy);
    return;
  }
  socket.SetLastError(0);
  ftp.Control().ResetForAttempt();
  state.current_directory.clear();
  state.last_type.clear();
  state.last_error = state.request_error = ftpErrorNone;
  state.request_ok = state.size_supported = state.noop_supported = true;
  state.quit_sent = false;
  --state.retries_left;
  // A target saved by an attempt that never reached its greeting goes back first, so that a
  // retry through a proxy still names the real server.
  ftp.Control().RestoreTarget();

  socket.RecreateSocket();
  if (socket.LastError() != 0) {  // no socket could be made: nothing will ever notify
    ftp.CheckSocketError();
    Closed(ftp);
    return;
  }
  if (TrimBlanks(settings.proxy_server).empty()) {
    settings.proxy_type = proxyNone;
  } else if (settings.proxy_type != proxyNone) {
    ftp.Control().SaveTarget();
    socket.SetServer(settings.proxy_server);
    socket.SetPort(static_cast<uint16_t>(settings.proxy_port));
  }
  if (TrimBlanks(socket.Server()).empty()) {
    std::string answer = socket.Server();
    ftp.AskInfo(needServer, answer);
    answer = TrimBlanks(answer);
    if (answer.empty()) {
      ftp.Fail(ftpErrorNoServer);
      return;
    }
    socket.SetServer(answer);
  }
  if (socket.Port() == 0) socket.SetPort(21);
  if (!FtpTlsSteps::PrepareAttempt(ftp)) return;
  if (!socket.AddressTextView().empty()) {
    socket.SetAddressText(socket.AddressTextView());
    socket.SetPortNumber(socket.Port());
    socket.ConnectSocket();
  } else {
    ftp.RaiseInfo(ftpInfoResolving, socket.HostNameView());
    socket.LookupHost(socket.HostNameView());
  }
  ftp.CheckSocketError();
}

void FtpConnectionSteps::LookupDone(EngineContext& ftp) {
  if (ftp.CheckSocketError()) return;
  AsyncSocket& socket = ftp.Control().Socket();
  socket.TakeResolvedAddress();
  socket.SetPortNumber(socket.Port());
  socket.SetAddressTextView(socket.AddressText());
  ftp.RaiseInfo(ftpInfoResolved, socket.AddressTextView());
  socket.ConnectSocket();
  ftp.CheckSocketError();
}

void FtpConnectionSteps::Connected(EngineContext& ftp) {
  if (ftp.CheckSocketError()) return;
  ftp.RaiseInfo(ftpInfoConnected, ftp.Control().Socket().AddressTextView());
  ftp.State().connected = true;
  ftp.Control().StartReading(FtpLoginSteps::GreetingHandler());
}

// ---- Keep-alive and QUIT -------------------------------------------------------------------

void FtpConnectionSteps::KeepAliveTick(EngineContext& ftp) {
  RequestState& state = ftp.State();
  if (state.busy || !state.logged_in || !state.noop_supported) return;
  state.busy = true;
  state.operation = FtpOperation::kKeepAlive;
  ftp.SendCommand("NOOP", kKeepAliveReply);
}

void FtpConnectionSteps::KeepAliveReply(EngineContext& ftp, const std::string& reply) {
  if (reply.compare(0, 2, "50") == 0) ftp.State().noop_supported = false;
  ftp.State().busy = false;
}

void FtpConnectionSteps::Quit(EngineContext& ftp) {
  if (!ftp.BeginRequest()) return;
  ftp.State().quit_sent = true;
  ftp.State().stop_retry =
      true;  // the close that follows ends in the disconnect, also before a login
  ftp.SendCommand("QUIT", kQuitReply);
}

void FtpConnectionSteps::QuitReply(EngineContext& ftp, const std::string& reply) {
  ftp.State().logged_in = false;
  if (!ReplyIs(reply, '2')) ftp.FailConnection(ftpErrorNone);
}

// ---- Abort and cancel ----------------------------------------------------------------------

void FtpConnectionSteps::Abort(EngineContext& ftp) {
  const FtpOperation operation = ftp.State().operation;
  if (operation == FtpOperation::kIdle || operation == FtpOperation::kLogin) {
    if (!ftp.State().logged_in) GiveUpLogin(ftp);
  } else if (CarriesData(operation)) {
    FtpDataSteps::Abort(ftp);
  }
}

void FtpConnectionSteps::GiveUpLogin(EngineContext& ftp) {
  RequestState& state = ftp.State();
  state.retries_left = -1;
  state.stop_retry = true;
  const bool was_waiting = state.retry_waiting;
  // The close raises "Retry Finished" and disconnects.
  if (!was_waiting) ftp.Control().CloseOwn();
  ftp.Raise(&FtpEvents::OnAborted);
  if (was_waiting && state.retry_waiting) {
    // The wait ends early and no further attempt is made.
    state.retry_waiting = false;
    ftp.Timers().KillTimer(kRetryTimer);
    RunDisconnect(ftp);
  }
}

void FtpConnectionSteps::Cancel(EngineContext& ftp) {
  const RequestState& state = ftp.State();
  if (!state.logged_in) {
    const AsyncSocket& socket = ftp.Control().Socket();
    const bool attempting =
        state.connected || socket.Handle() >= 0 || socket.LookupPending() || state.retry_waiting;
    if (attempting) GiveUpLogin(ftp);
    return;
  }
  if (!state.busy) return;
  if (state.quit_sent) {  // leaving anyway: no need to hear the server out
    ftp.FailConnection(ftpErrorTimedOut, kTextTimedOut);
    return;
  }
  const bool waiting = static_cast<bool>(ftp.Control().Handler());
  if (state.aborting) {
    // The abort's own wait is bounded; a completed transfer whose data connection stays open
    // is only waiting for that close.
    if (!waiting) ftp.Data().CloseSockets();
    return;
  }
  if (!waiting) {
    // A command the server has not even taken (the socket stays full) leaves nothing to abort;
    // otherwise the request has ended and its ready notice is on its way.
    if (ftp.Control().SendPending()) ftp.FailConnection(ftpErrorTimedOut, kTextTimedOut);
    return;
  }
  if (CarriesData(state.operation)) {
    FtpDataSteps::Abort(ftp);
  } else {
    FtpDataSteps::AbortCommand(ftp);
  }
}

// ---- The end of the control connection -----------------------------------------------------

void FtpConnectionSteps::Closed(EngineContext& ftp) {
  RequestState& state = ftp.State();
  ftp.Control().Ended();
  if (state.retry_waiting) return;
  if (!ftp.Control().ClosingOwn()) NoteUnexpectedClose(ftp);
  if (state.retries_left < 0) {
    ftp.RaiseInfo(ftpInfoRetryFinished, kTextRetryFinished);
    state.stop_retry = true;
  } else if (!state.logged_in && state.last_error != ftpErrorNone) {
    ftp.RaiseInfo(ftpInfoRetrying, kTextRetrying);
    state.retry_waiting = true;
    state.stop_retry = false;
    ftp.Timers().SetTimer(kRetryTimer, uint32_t{ftp.Settings().retry_interval} * 1000);
    return;
  }
  if (state.stop_retry) RunDisconnect(ftp);
}

void FtpConnectionSteps::NoteUnexpectedClose(EngineContext& ftp) {
  // The server or the network ended the connection while a login or a request was waiting on
  // it: that is a failure (so the login is retried or the request fails), not a quiet end.
  const RequestState& state = ftp.State();
  const bool waiting =
      !state.logged_in || (state.busy && state.operation != FtpOperation::kKeepAlive);
  if (state.quit_sent || state.last_error != ftpErrorNone || !waiting) return;
  std::optional<FtpFailure> failure = FtpFailureForSocketError(ftp.Control().LastError());
  if (!failure) failure = FtpFailure{ftpErrorConnectionAborted, kTextClosedByServer};
  ftp.FailConnection(failure->member, std::move(failure->text));
}

void FtpConnectionSteps::RetryWaitOver(EngineContext& ftp) {
  RequestState& state = ftp.State();
  if (!state.retry_waiting) return;
  if (state.stop_retry) {
    state.retry_waiting = false;
    RunDisconnect(ftp);
    return;
  }
  Attempt(ftp);
}

void FtpConnectionSteps::RunDisconnect(EngineContext& ftp) {
  ftp.State().connected = false;
  ftp.Control().RestoreTarget();
  ftp.RaiseInfo(ftpInfoDisconnected, kTextDisconnected);
  ftp.PostNotice(kQuitNoticeMessage);
  ftp.State().operation = FtpOperation::kIdle;
  ftp.FinishRequest();
}

}  // namespace tarsil

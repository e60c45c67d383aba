// EngineContext: raising the engine's events, the request lifecycle, the posted notices and the
// timers, and what the control connection hands up.
#include "ftp/EngineContext.h"

#include <utility>

#include "ftp/FtpConnectionSteps.h"
#include "ftp/FtpDataSteps.h"
#include "ftp/FtpListingSteps.h"
#include "ftp/FtpText.h"
#include "ftp/FtpTlsSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

constexpr const char* kTextCommandRefused = "Command not sent: it holds a CR, LF or NUL byte";

template <typename Listener>
int AddListener(std::array<Listener, 4>& slots, Listener listener) {
  if (!listener) return -1;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i]) {
      slots[i] = std::move(listener);
      return static_cast<int>(i) + 1;
    }
  }
  return -1;
}

template <typename Listener>
void RemoveListener(std::array<Listener, 4>& slots, int slot) {
  if (slot >= 1 && slot <= static_cast<int>(slots.size())) slots[slot - 1] = nullptr;
}

}  // namespace

EngineContext::EngineContext(EventLoop& loop, FtpEngine& engine, FtpEvents& events,
                             FtpSettings& settings)
    : engine_(engine),
      events_(events),
      settings_(settings),
      control_(loop, *this),
      timers_(loop, [this](const Notice& notice) { HandleTimer(notice); }),
      data_(loop) {
  AsyncSocket& socket = control_.Socket();
  socket.OnLookupDone = [this](AsyncSocket&) { FtpConnectionSteps::LookupDone(*this); };
  socket.OnConnected = [this](AsyncSocket&) { FtpConnectionSteps::Connected(*this); };
  socket.OnClosed = [this](AsyncSocket&) { FtpConnectionSteps::Closed(*this); };
  socket.OnSecured = [this](AsyncSocket&) { FtpTlsSteps::ControlSecured(*this); };
  socket.OnTimeOut = [this](AsyncSocket&) { FailConnection(ftpErrorTimedOut, kTextTimedOut); };
  // A host name with several addresses: the socket moves on by itself; the log says so.
  socket.OnNextAddress = [this](AsyncSocket& control) {
    const std::optional<FtpFailure> failure = FtpFailureForSocketError(control.LastError());
    RaiseInfo(ftpInfoDebug, "Could not connect to " + control.AddressTextView() + " (" +
                                (failure ? failure->text : std::string()) + "); trying " +
                                control.AddressText());
    control.SetAddressTextView(control.AddressText());
  };
  socket.OnNotice = [this](const Notice& notice) { HandleNotice(notice); };
  SetKeepAlive(true);
}

EngineContext::~EngineContext() = default;

// ---- Events --------------------------------------------------------------------------------

int EngineContext::AddInfoListener(FtpInfoEvent listener) {
  return AddListener(info_listeners_, std::move(listener));
}

int EngineContext::AddErrorListener(FtpErrorEvent listener) {
  return AddListener(error_listeners_, std::move(listener));
}

void EngineContext::RemoveInfoListener(int slot) { RemoveListener(info_listeners_, slot); }

void EngineContext::RemoveErrorListener(int slot) { RemoveListener(error_listeners_, slot); }

void EngineContext::RaiseInfo(FtpInfo info, std::string_view text) {
  std::string addinfo = text.empty() ? FtpInfoDefaultText(info) : std::string(text);
  // A password or an account never reaches a listener.
  if (info == ftpInfoCommand) addinfo = MaskCommandLine(addinfo);
  // Each handler is copied before the call: it may replace or remove itself.
  if (events_.OnFtpInfo) {
    const FtpInfoEvent handler = events_.OnFtpInfo;
    handler(engine_, info, addinfo);
  }
  for (const FtpInfoEvent& slot : info_listeners_) {
    if (!slot) continue;
    const FtpInfoEvent handler = slot;
    handler(engine_, info, addinfo);
  }
}

void EngineContext::RaiseError(FtpError member, std::string text) {
  state_.request_ok = false;
  state_.last_error = member;
  state_.request_error = member;
  if (events_.OnFtpError) {
    const FtpErrorEvent handler = events_.OnFtpError;
    handler(engine_, member, text);
  }
  for (const FtpErrorEvent& slot : error_listeners_) {
    if (!slot) continue;
    const FtpErrorEvent handler = slot;
    handler(engine_, member, text);
  }
}

void EngineContext::Raise(NotifyEvent FtpEvents::*slot) {
  if (!(events_.*slot)) return;
  const NotifyEvent handler = events_.*slot;
  handler(engine_);
}

void EngineContext::AskInfo(FtpInfoNeeded need, std::string& value) {
  if (!events_.OnFtpNeedInfo) return;
  const FtpInfoNeededEvent handler = events_.OnFtpNeedInfo;
  handler(engine_, need, value);
}

// ---- Requests ------------------------------------------------------------------------------

bool EngineContext::BeginRequest() {
  if (state_.connected && !state_.busy) {
    state_.busy = true;
    Raise(&FtpEvents::OnFtpBusy);
    state_.request_ok = true;
    SetKeepAlive(false);
    state_.last_error = state_.request_error = ftpErrorNone;
    return true;
  }
  RaiseInfo(state_.connected ? ftpInfoBusy : ftpInfoDisconnected);
  state_.request_ok = false;
  return false;
}

void EngineContext::FinishRequest() {
  control_.SetHandler({});
  timers_.KillTimer(kDataReplyTimer);
  PostNotice(kReadyNoticeMessage);
}

void EngineContext::Fail(FtpError member, std::string text) {
  RaiseError(member, std::move(text));
  FinishRequest();
}

bool EngineContext::SendCommand(std::string_view command, ReplyHandler handler) {
  if (control_.Send(command, handler)) return true;
  if (state_.operation == FtpOperation::kLogin) {
    // The same value would be refused again at every retry.
    state_.retries_left = -1;
    FailConnection(ftpErrorCommandFailed, kTextCommandRefused);
  } else {
    Fail(ftpErrorCommandFailed, kTextCommandRefused);
  }
  return false;
}

bool EngineContext::CheckSocketError() {
  const AsyncSocket& socket = control_.Socket();
  std::optional<FtpFailure> failure = FtpFailureForSocketError(socket.LastError());
  if (!failure) {
    state_.last_error = ftpErrorNone;
    return false;
  }
  if (socket.LastError() == kTlsFailed && !socket.TlsFailure().empty()) {
    failure->text = socket.TlsFailure();
  }
  FailConnection(failure->member, std::move(failure->text));
  return true;
}

void EngineContext::FailConnection(FtpError member, std::string text) {
  state_.last_error = member;
  RaiseError(member, std::move(text));
  data_.CloseSockets();
  // Also a socket still resolving or connecting: its close is what decides between a retry
  // and the disconnect.
  const AsyncSocket& socket = control_.Socket();
  if (socket.Handle() >= 0 || socket.LookupPending()) control_.CloseOwn();
}

void EngineContext::WaitWhileBusy() {
  if (state_.asynchronous || !state_.busy) return;
  Loop().WaitUntil([this] { return !state_.busy; }, EventLoop::Clock::time_point::max());
}

void EngineContext::SetKeepAlive(bool running) {
  state_.keep_alive_on = running;
  if (running && state_.noop_interval_ms > 0) {
    timers_.SetTimer(kKeepAliveTimer, state_.noop_interval_ms);
  } else {
    timers_.KillTimer(kKeepAliveTimer);
  }
}

void EngineContext::PostNotice(uint32_t message, uint64_t wparam) {
  control_.Socket().PostNotice(message, wparam);
}

// ---- What the control connection hands up ---------------------------------------------------

void EngineContext::ControlInfo(FtpInfo info, std::string_view text) { RaiseInfo(info, text); }

bool EngineContext::ControlSocketFailed() { return CheckSocketError(); }

void EngineContext::ControlFailed(FtpError member, std::string text) {
  FailConnection(member, std::move(text));
}

void EngineContext::ControlReply(const ReplyHandler& handler, const std::string& reply) {
  handler.run(*this, reply);
}

// ---- Notices and timers --------------------------------------------------------------------

void EngineContext::HandleNotice(const Notice& notice) {
  if (notice.message == kReadyNoticeMessage) ReadyNotice();
  if (notice.message == kQuitNoticeMessage) QuitNotice();
  if (notice.message == kUploadContinueMessage) FtpDataSteps::HandleNotice(*this, notice);
}

void EngineContext::HandleTimer(const Notice& notice) {
  if (notice.message != kTimerMessage) return;
  if (notice.wparam == kKeepAliveTimer) FtpConnectionSteps::KeepAliveTick(*this);
  if (notice.wparam == kAbortTimer) FtpDataSteps::AbortWaitOver(*this);
  if (notice.wparam == kDataReplyTimer) FtpDataSteps::DataReplyWaitOver(*this);
  if (notice.wparam == kRetryTimer) {
    timers_.KillTimer(kRetryTimer);
    FtpConnectionSteps::RetryWaitOver(*this);
  }
}

void EngineContext::ReadyNotice() {
  state_.busy = false;
  SetKeepAlive(true);
  Raise(&FtpEvents::OnFtpReady);
  if (state_.aborting) {
    data_.CloseSockets();
    state_.aborting = false;
  }
  const FtpOperation operation = state_.operation;
  switch (operation) {
    case FtpOperation::kIdle:
    case FtpOperation::kKeepAlive:
      return;
    default:
      break;
  }
  state_.operation = FtpOperation::kIdle;
  switch (operation) {
    case FtpOperation::kLogin:
      state_.logged_in = true;
      state_.stop_retry = true;
      Raise(&FtpEvents::OnLoggedIn);
      break;
    case FtpOperation::kChangeDir:
    case FtpOperation::kParentDir:
      Raise(&FtpEvents::OnDirectoryChanged);
      break;
    case FtpOperation::kMakeDir:
      Raise(&FtpEvents::OnDirectoryCreated);
      break;
    case FtpOperation::kRemoveDir:
      Raise(&FtpEvents::OnDirectoryDeleted);
      break;
    case FtpOperation::kDeleteFile:
      Raise(&FtpEvents::OnFileDeleted);
      break;
    case FtpOperation::kDownload:
      Raise(&FtpEvents::OnFileReceived);
      break;
    case FtpOperation::kUpload:
      Raise(&FtpEvents::OnFileStored);
      break;
    case FtpOperation::kListing:
      FtpListingSteps::Completion(*this);
      Raise(&FtpEvents::OnListingDone);
      break;
    case FtpOperation::kRename:
      Raise(&FtpEvents::OnFileRenamed);
      break;
    default:
      break;
  }
}

void EngineContext::QuitNotice() {
  state_.busy = false;
  SetKeepAlive(false);
  state_.logged_in = false;
  Raise(&FtpEvents::OnFtpQuit);
}

}  // namespace tarsil

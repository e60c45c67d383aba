// FtpEngine: construction, published values, listeners, raising events, the posted notices and the
// timers. The connection and the reply machine are in FtpControl.cpp, the login in FtpLogin.cpp.
#include "ftp/FtpEngine.h"

#include <utility>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpText.h"
#include "ftp/FtpTlsSteps.h"

namespace tarsil {
namespace {

constexpr const char* kVersionBanner = "Tarsil FTP engine 2.6";

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

FtpEngine::FtpEngine(EventLoop& loop)
    : AsyncSocket(loop),
      timers_(loop, [this](const Notice& notice) { HandleTimer(notice); }),
      data_socket_(loop),
      listen_socket_(loop) {
  SetPort(21);
  OnConnected = [this](AsyncSocket&) { ControlConnected(); };
  // A host name with several addresses: the socket moves on by itself; the log says so.
  OnNextAddress = [this](AsyncSocket&) {
    const std::optional<FtpFailure> failure = FtpFailureForSocketError(LastError());
    RaiseInfo(ftpInfoDebug, "Could not connect to " + AddressTextView() + " (" +
                                (failure ? failure->text : std::string()) + "); trying " +
                                AddressText());
    SetAddressTextView(AddressText());
  };
  OnReadable = [this](AsyncSocket&) { ControlReadable(); };
  OnWritable = [this](AsyncSocket&) { FlushCommand(); };
  OnClosed = [this](AsyncSocket&) { ControlClosed(); };
  OnSecured = [this](AsyncSocket&) { FtpTlsSteps::ControlSecured(*this); };
  OnTimeOut = [this](AsyncSocket&) { FailConnection(ftpErrorTimedOut, kTextTimedOut); };
  OnNotice = [this](const Notice& notice) { HandleNotice(notice); };
  SetKeepAlive(true);
}

FtpEngine::~FtpEngine() {
  // The sockets, the look-up and the timers go without raising anything.
  OnConnected = OnReadable = OnWritable = OnClosed = OnTimeOut = OnSecured = nullptr;
  OnNextAddress = nullptr;
  OnNotice = nullptr;
}

// ---- Published values ----------------------------------------------------------------------

void FtpEngine::SetNoopInterval(uint16_t seconds) {
  noop_interval_ms_ = uint32_t{seconds} * 1000;
  SetKeepAlive(keep_alive_on_);
}

void FtpEngine::SetAsynchronous(bool value) {
  if (!busy_) asynchronous_ = value;
}

const std::string& FtpEngine::Version() const {
  static const std::string banner = kVersionBanner;
  return banner;
}

const char* FtpEngine::WaitingHandler() const { return reply_handler_ ? reply_handler_.name : ""; }

// ---- Listeners and events ------------------------------------------------------------------

int FtpEngine::AddInfoListener(FtpInfoEvent listener) {
  return AddListener(info_listeners_, std::move(listener));
}

int FtpEngine::AddErrorListener(FtpErrorEvent listener) {
  return AddListener(error_listeners_, std::move(listener));
}

void FtpEngine::RemoveInfoListener(int slot) { RemoveListener(info_listeners_, slot); }

void FtpEngine::RemoveErrorListener(int slot) { RemoveListener(error_listeners_, slot); }

void FtpEngine::RaiseInfo(FtpInfo info, std::string_view text) {
  std::string addinfo = text.empty() ? FtpInfoDefaultText(info) : std::string(text);
  // A password or an account never reaches a listener.
  if (info == ftpInfoCommand) addinfo = MaskCommandLine(addinfo);
  // Each handler is copied before the call: it may replace or remove itself.
  if (OnFtpInfo) {
    const FtpInfoEvent handler = OnFtpInfo;
    handler(*this, info, addinfo);
  }
  for (const FtpInfoEvent& slot : info_listeners_) {
    if (!slot) continue;
    const FtpInfoEvent handler = slot;
    handler(*this, info, addinfo);
  }
}

void FtpEngine::RaiseError(FtpError member, std::string text) {
  request_ok_ = false;
  last_error_ = member;
  if (OnFtpError) {
    const FtpErrorEvent handler = OnFtpError;
    handler(*this, member, text);
  }
  for (const FtpErrorEvent& slot : error_listeners_) {
    if (!slot) continue;
    const FtpErrorEvent handler = slot;
    handler(*this, member, text);
  }
}

void FtpEngine::Raise(const NotifyEvent& event) {
  if (!event) return;
  const NotifyEvent handler = event;
  handler(*this);
}

void FtpEngine::AskInfo(FtpInfoNeeded need, std::string& value) {
  if (!OnFtpNeedInfo) return;
  const FtpInfoNeededEvent handler = OnFtpNeedInfo;
  handler(*this, need, value);
}

// ---- Notices and timers --------------------------------------------------------------------

void FtpEngine::HandleNotice(const Notice& notice) {
  if (notice.message == kReadyNoticeMessage) ReadyNotice();
  if (notice.message == kQuitNoticeMessage) QuitNotice();
  if (notice.message == kUploadContinueMessage) FtpDataSteps::HandleNotice(*this, notice);
}

void FtpEngine::HandleTimer(const Notice& notice) {
  if (notice.message != kTimerMessage) return;
  if (notice.wparam == kKeepAliveTimer) KeepAliveTick();
  if (notice.wparam == kAbortTimer) FtpDataSteps::AbortWaitOver(*this);
  if (notice.wparam == kDataReplyTimer) FtpDataSteps::DataReplyWaitOver(*this);
  if (notice.wparam == kRetryTimer) {
    timers_.KillTimer(kRetryTimer);
    RetryWaitOver();
  }
}

void FtpEngine::ReadyNotice() {
  busy_ = false;
  SetKeepAlive(true);
  Raise(OnFtpReady);
  if (aborting_) {
    data_socket_.CloseSocket();
    listen_socket_.CloseSocket();
    aborting_ = false;
  }
  const FtpOperation operation = current_operation_;
  switch (operation) {
    case FtpOperation::kIdle:
    case FtpOperation::kKeepAlive:
      return;
    default:
      break;
  }
  current_operation_ = FtpOperation::kIdle;
  switch (operation) {
    case FtpOperation::kLogin:
      logged_in_ = true;
      stop_retry_ = true;
      Raise(OnLoggedIn);
      break;
    case FtpOperation::kChangeDir:
    case FtpOperation::kParentDir:
      Raise(OnDirectoryChanged);
      break;
    case FtpOperation::kMakeDir:
      Raise(OnDirectoryCreated);
      break;
    case FtpOperation::kRemoveDir:
      Raise(OnDirectoryDeleted);
      break;
    case FtpOperation::kDeleteFile:
      Raise(OnFileDeleted);
      break;
    case FtpOperation::kDownload:
      Raise(OnFileReceived);
      break;
    case FtpOperation::kUpload:
      Raise(OnFileStored);
      break;
    case FtpOperation::kListing:
      FtpDataSteps::ListingCompletion(*this);
      Raise(OnListingDone);
      break;
    case FtpOperation::kRename:
      Raise(OnFileRenamed);
      break;
    default:
      break;
  }
}

void FtpEngine::QuitNotice() {
  busy_ = false;
  SetKeepAlive(false);
  logged_in_ = false;
  Raise(OnFtpQuit);
}

void FtpEngine::SetKeepAlive(bool running) {
  keep_alive_on_ = running;
  if (running && noop_interval_ms_ > 0) {
    timers_.SetTimer(kKeepAliveTimer, noop_interval_ms_);
  } else {
    timers_.KillTimer(kKeepAliveTimer);
  }
}

}  // namespace tarsil

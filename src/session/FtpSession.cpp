#include "session/FtpSession.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "ftp/FtpText.h"
#include "net/TlsContext.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"
#include "platform/TextHelpers.h"
#include "session/LocalTransferFile.h"
#include "session/OpenTarget.h"
#include "session/ScriptResult.h"
#include "session/SessionMessages.h"

namespace tarsil {

// The silent abort of an operation: caught by the operation itself, which writes "999 " and the
// message and returns 999.
class FtpSession::SessionAbort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace {

std::string FormatStatistics(const char* format, int64_t totalbyte, double spend) {
  double seconds = std::nearbyint(spend * 86400.0);  // halves go to the even neighbour
  if (seconds == 0) seconds = 1;
  const double rate = static_cast<double>(totalbyte) / seconds;
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(totalbyte),
                FormatDuration(spend).c_str(), rate);
  return buffer;
}

bool IsLocalOrDataError(FtpError error) {
  return error == ftpErrorLocalOpen || error == ftpErrorLocalWrite || error == ftpErrorLocalRead ||
         error == ftpErrorDataConnection;
}

std::string LocalErrorText(FtpError error, const std::string& engine_text) {
  if (!engine_text.empty()) return engine_text;
  switch (error) {
    case ftpErrorLocalOpen:
      return "The local file cannot be opened";
    case ftpErrorLocalWrite:
      return "The local file cannot be written";
    case ftpErrorLocalRead:
      return "The local file cannot be read";
    default:
      return "The data connection failed";
  }
}

}  // namespace

FtpSession::FtpSession(EventLoop& loop) : loop_(loop), cache_(ListingCache::DefaultFolder()) {}

FtpSession::~FtpSession() {
  if (Log != nullptr) Log->SetClient(nullptr);
  if (ftp_) ftp_->QuitServer();
}

FtpEngine& FtpSession::Ftp() {
  if (!ftp_) {
    ftp_ = std::make_unique<FtpEngine>(loop_);
    cache_.PrepareCacheDirectory();
    ftp_->SetListingCache(&cache_);
  }
  return *ftp_;
}

void FtpSession::AddLog(std::string_view text, bool debug_only) {
  if (Log == nullptr) return;
  if (debug_only && !Debugmode) return;
  if (debug_only) {
    Log->AppendLine("[" + FormatShortDateLongTime(Now()) + "] " + std::string(text));
  } else {
    Log->AppendLine(text);
  }
}

void FtpSession::AddLogUtf8(std::string_view utf8) {
  if (Log != nullptr) Log->AppendLineUtf8(utf8);
}

void FtpSession::ReportLostServerLine(const LostListingLine& lost) {
  // Text that is no UTF-8 at all is shown as far as it goes.
  const std::string shown =
      IsValidUtf8(lost.utf8) ? lost.utf8 : Cp932ToUtf8(Utf8ToCp932(lost.utf8));
  AddLogUtf8("999 " + Cp932ToUtf8(kServerNameLeftOutText) + shown);
}

void FtpSession::ConnectedCheck() const {
  if (!ftp_ || !ftp_->Connected()) throw SessionAbort(std::string(kNotLoggedInText));
}

void FtpSession::RefuseControlBytes(std::string_view argument) const {
  // The engine's own rule for a command line, checked here so that the script's log names it.
  if (HoldsLineBreakOrNul(argument)) {
    throw SessionAbort("The name holds a line break or NUL and is not sent");
  }
}

void FtpSession::PrepareRequest() {
  // A request can end with an error and then its ready notice; one still queued from the last
  // operation must not end the wait of this one.
  loop_.ProcessMessages();
  done_ = false;
  local_failure_ = false;
  request_failed_ = false;
  request_error_text_.clear();
}

int FtpSession::Guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& failure) {
    AddLog("999 " + TrimBlanks(failure.what()), false);
    return 999;
  }
}

int FtpSession::WaitReply(bool may_disconnect) {
  const auto timeout = std::chrono::milliseconds(WaitTimeOut < 0 ? 0 : WaitTimeOut);
  wait_start_ = std::chrono::steady_clock::now();
  for (;;) {
    // Data progress moves wait_start_; the wait then goes on to the new deadline.
    if (loop_.WaitUntil([this] { return done_; }, wait_start_ + timeout)) break;
    if (std::chrono::steady_clock::now() >= wait_start_ + timeout) {
      EndEngineRequest();
      throw SessionAbort(std::string(kTimeOutText));
    }
  }
  // An error can end the wait while the engine is still finishing the request (closing its data
  // connection); the next request would then be refused as busy and never sent. Let it finish,
  // within the same time-out, and end it when it does not.
  if (!loop_.WaitUntil([this] { return !Ftp().Busy(); },
                       std::chrono::steady_clock::now() + timeout)) {
    EndEngineRequest();
  }
  const int result = ScriptResultOf(Ftp().Result(), !last_error_text_.empty());
  // The connection lost during the request (a reset instead of the reply) is its failure: the
  // last reply is then one of an earlier command and says nothing about this one.
  if (result <= 400 && !may_disconnect && request_failed_ && !Ftp().Connected()) {
    throw SessionAbort(request_error_text_.empty() ? std::string(kConnectionLostText)
                                                   : request_error_text_);
  }
  return result;
}

// The engine is told to end the request nobody waits for any more (ABOR, or the connection
// closed when the server answers nothing), and that end is awaited here, so that the next
// operation finds the engine idle: on the same connection, or with none, failing at once.
void FtpSession::EndEngineRequest() {
  FtpEngine& ftp = Ftp();
  ftp.CancelRequest();
  loop_.WaitUntil([&ftp] { return !ftp.Busy(); },
                  std::chrono::steady_clock::now() + kEngineEndLimit);
}

int FtpSession::Step(std::string_view start_marker, std::string_view end_marker,
                     const std::function<void()>& request, bool may_disconnect) {
  return Guarded([&] {
    ConnectedCheck();
    AddLog(start_marker, true);
    PrepareRequest();
    request();
    int result = WaitReply(may_disconnect);
    AddLog(end_marker, true);
    return result;
  });
}

void FtpSession::AttachEngine() {
  FtpEngine& ftp = Ftp();
  auto trace = [this](const char* text) { AddLog(text, true); };
  ftp.OnFtpReady = [this, trace](FtpEngine&) {
    done_ = true;
    trace("Event- FtpReady");
  };
  ftp.OnFtpError = [this, trace](FtpEngine&, FtpError error, const std::string& text) {
    done_ = true;
    last_error_text_ = text;
    request_failed_ = true;
    request_error_text_ = text;
    if (IsLocalOrDataError(error)) {
      local_failure_ = true;
      local_failure_text_ = LocalErrorText(error, text);
    }
    trace("Event- FtpError");
  };
  ftp.OnFileReceived = [this, trace](FtpEngine& engine) {
    trace("Event- FileReceived");
    DownloadFinished(engine.BytesTransferred(), Now() - download_start_);
  };
  ftp.OnFileStored = [this, trace](FtpEngine& engine) {
    trace("Event- FileStored");
    UploadFinished(engine.BytesTransferred(), Now() - transfer_start_);
  };
  // Called for every data block: only what a block needs (no calendar time, no text unless
  // the debug trace wants it).
  ftp.OnDataProgress = [this](FtpEngine& engine) {
    const int64_t bytes = engine.BytesTransferred();
    wait_start_ = std::chrono::steady_clock::now();
    const double spend =
        std::chrono::duration<double>(wait_start_ - transfer_clock_).count() / 86400.0;
    if (Debugmode && Log != nullptr) AddLog("Event- progress " + std::to_string(bytes), true);
    if (direction_ == Direction::kUpload && Ontransfer) Ontransfer(*this, bytes, spend);
    if (direction_ == Direction::kDownload && Onretrieveing) Onretrieveing(*this, bytes, spend);
  };
  ftp.OnRetrieveComplete = [trace](FtpEngine&) { trace("Event- DataSocked closed  "); };
  ftp.OnLoggedIn = [this, trace](FtpEngine&) {
    trace("Event- LoggedIn ");
    if (OnLoggedIn) OnLoggedIn(*this);
  };
  ftp.OnFtpQuit = [this, trace](FtpEngine&) {
    trace("Event- FtpQuit");
    if (OnFtpQuit) OnFtpQuit(*this);
  };
  ftp.OnListingDone = [trace](FtpEngine&) { trace("Event- ListingDone "); };
  ftp.OnAborted = [trace](FtpEngine&) { trace("Event- Aborted "); };
  ftp.OnDirectoryChanged = [trace](FtpEngine&) { trace("Event- DirectoryChanged "); };
  ftp.OnDirectoryCreated = [trace](FtpEngine&) { trace("Event- DirectoryCreated"); };
  ftp.OnDirectoryDeleted = [trace](FtpEngine&) { trace("Event- DirectoryDeleted"); };
  ftp.OnFileDeleted = [trace](FtpEngine&) { trace("Event- FileDeleted"); };
  ftp.OnFileRenamed = [trace](FtpEngine&) { trace("Event- FileRenamed"); };
  ftp.OnFtpBusy = [trace](FtpEngine&) { trace("Event- FtpBusy"); };
  ftp.OnFtpNeedInfo = [trace](FtpEngine&, FtpInfoNeeded, std::string&) {
    trace("Event- FtpNeedInfo");
  };
}

int FtpSession::Connect(std::string_view server, std::string_view proxy_server,
                        int32_t proxy_port) {
  FtpEngine& ftp = Ftp();
  const OpenTarget target = ParseOpenTarget(server);
  if (!target.error.empty()) {
    initialized_ = false;
    AddLog("999 " + target.error, false);
    return 999;
  }
  ftp.SetServer(target.host);
  ftp.SetPort(static_cast<uint16_t>(target.port));
  ftp.SetSecurity(target.security);
  ftp.SetNoopInterval(0);
  ftp.SetRetries(0);
  ftp.SetCache(false);
  AttachEngine();
  ftp.SetPassive(Passive);
  ftp.SetTimeOut(WaitTimeOut / 1000);
  if (Log != nullptr) {
    Log->SetClient(&ftp);
    AddLog("-- Connect Initialization End --", true);
  }
  if (!proxy_server.empty()) {
    ftp.SetProxyType(proxyHost);
    ftp.SetProxyPort(proxy_port);
    ftp.SetProxyServer(std::string(proxy_server));
  } else {
    ftp.SetProxyType(proxyNone);
  }
  initialized_ = true;
  if (Log != nullptr) {
    Log->SetStyle(Debugmode ? msgMFtpTime : msgMFtp);
    Log->SetSuppressBlankLines(true);
  }
  return 100;
}

int FtpSession::Login(std::string_view user, std::string_view password) {
  if (!initialized_) return 999;
  return Guarded([&] {
    RefuseControlBytes(user);
    RefuseControlBytes(password);
    AddLog("-- Login Start --", true);
    PrepareRequest();
    last_error_text_.clear();
    ApplyTransportParams();
    Ftp().SetUsername(std::string(user));
    Ftp().SetPassword(std::string(password));
    // setparam SERVERCHARSET wins over the option; an unknown value leaves the option in force.
    Ftp().SetServerNameCharset(
        ParseServerCharset(Params.Get("SERVERCHARSET")).value_or(ServerCharsetOption));
    Ftp().LoginServer();
    int result = WaitReply(true);
    AddLog("-- Login End -- ", true);
    // Only the engine knows whether the whole chain went through: the last reply may be a 331
    // that no password followed, a line that is no reply at all, or the one before a reset.
    if (result <= 400 && !Ftp().LoggedIn()) throw SessionAbort(std::string(kLoginIncompleteText));
    return result;
  });
}

int FtpSession::Dir(std::string_view directory, std::string& listing) {
  listing.clear();
  return List(directory, &listing);
}

int FtpSession::List(std::string_view directory, std::string* listing) {
  return Guarded([&] {
    ConnectedCheck();
    RefuseControlBytes(directory);
    AddLog("-- Dir Start --", true);
    if (!directory.empty()) {
      PrepareRequest();
      Ftp().ChangeDir(directory);
      int result = WaitReply();
      if (result > 400) return result;
    }
    PrepareRequest();
    Ftp().ListDirectory();
    int result = WaitReply();
    AddLog("-- Dir End --", true);
    if (listing != nullptr) {
      for (std::string_view line : Ftp().RawListing()) {
        *listing += line;
        *listing += "\r\n";
      }
    }
    if (!quiet_lost_names_ && !Ftp().LostListingLines().empty()) {
      for (const LostListingLine& lost : Ftp().LostListingLines()) ReportLostServerLine(lost);
      result = 999;
    }
    return result;
  });
}

// The request and its wait; the local file is closed whatever happens, and a local-file or
// data-connection error during it fails the operation whatever the server replied.
int FtpSession::RunTransfer(std::string_view end_marker, const std::function<void()>& request) {
  int result;
  try {
    request();
    result = WaitReply();
    Ftp().CloseLocalFile();
  } catch (...) {
    Ftp().CloseLocalFile();
    direction_ = Direction::kNone;
    throw;
  }
  AddLog(end_marker, true);
  direction_ = Direction::kNone;
  if (local_failure_) throw SessionAbort(local_failure_text_);
  return result;
}

int FtpSession::Download(std::string_view remote_file, std::string_view local_file) {
  return Guarded([&] {
    ConnectedCheck();
    RefuseControlBytes(remote_file);
    AddLog("-- Download Start -- " + std::string(remote_file), true);
    direction_ = Direction::kDownload;
    download_start_ = Now();
    transfer_start_ = download_start_;
    transfer_clock_ = std::chrono::steady_clock::now();
    PrepareRequest();
    const std::string local_name(local_file.empty() ? remote_file : local_file);
    Ftp().SetTransferMode(binary_mode_ ? BinaryTransfer : AsciiTransfer);
    // A regular file is received beside its old version and replaces it only when complete.
    LocalTransferFile target(local_name);
    const int result = RunTransfer("-- Download End --", [&] {
      Ftp().RetrieveFile(remote_file, target.ReceiveName());
      target.ProtectReceiveFile();
    });
    if (result <= 400 && !target.Commit()) {
      throw SessionAbort("The downloaded file cannot replace " + local_name);
    }
    return result;
  });
}

int FtpSession::Upload(std::string_view local_file, std::string_view remote_file) {
  return Guarded([&] {
    ConnectedCheck();
    RefuseControlBytes(remote_file);
    if (!FileExists(local_file)) throw SessionAbort(std::string(kLocalFileNotFoundText));
    direction_ = Direction::kUpload;
    transfer_start_ = Now();
    transfer_clock_ = std::chrono::steady_clock::now();
    AddLog("-- Upload Start -- " + std::string(local_file), true);
    PrepareRequest();
    std::string remote_name(remote_file);
    if (remote_name.empty()) {
      std::string folder;
      SplitPath(local_file, folder, remote_name);
    }
    RefuseControlBytes(remote_name);
    Ftp().SetTransferMode(binary_mode_ ? BinaryTransfer : AsciiTransfer);
    Ftp().SetSmallUploadBlocks(SmallUploadBlocks);
    return RunTransfer("-- Upload End --", [&] { Ftp().StoreFile(local_file, remote_name); });
  });
}

int FtpSession::AppendFile(std::string_view local_file, std::string_view remote_file) {
  Ftp().SetAppendUpload(true);
  int result = Upload(local_file, remote_file);
  Ftp().SetAppendUpload(false);
  return result;
}

int FtpSession::Disconnect() {
  return Step(
      "-- Disconnect Start --", "-- Disconnect End --", [this] { Ftp().QuitServer(); }, true);
}

int FtpSession::Delete(std::string_view remote_file) {
  return Step("-- Delete Start -- " + std::string(remote_file), "-- Delete End --", [&] {
    RefuseControlBytes(remote_file);
    Ftp().DeleteRemoteFile(remote_file);
  });
}

int FtpSession::DirectoryStep(const std::string& component) {
  return Step("-- Cwd Start -- " + component, "-- Cwd End --", [&] {
    RefuseControlBytes(component);
    if (component == "..") {
      Ftp().ParentDir();
    } else {
      Ftp().ChangeDir(component);
    }
  });
}

int FtpSession::Cwd(std::string_view path) {
  if (path.empty()) return 0;
  int result = 0;
  std::string rest(path);
  while (!rest.empty() && result <= 400) {
    size_t start = rest.find_first_not_of("\\/");
    rest.erase(0, start == std::string::npos ? rest.size() : start);
    result = DirectoryStep(NextToken(rest, "\\/"));
  }
  return result;
}

int FtpSession::DelDir(std::string_view directory) {
  return Step("-- DelDir Start -- " + std::string(directory), "-- DelDir End --", [&] {
    RefuseControlBytes(directory);
    Ftp().RemoveDir(directory);
  });
}

int FtpSession::MakeDir(std::string_view directory) {
  return Step("-- MakeDir Start --", "-- MakeDir End --", [&] {
    RefuseControlBytes(directory);
    Ftp().CreateDir(directory);
  });
}

int FtpSession::Rename(std::string_view old_name, std::string_view new_name) {
  return Step("-- Rename Start -- " + std::string(old_name) + "," + std::string(new_name),
              "-- Rename End --", [&] {
                RefuseControlBytes(old_name);
                RefuseControlBytes(new_name);
                Ftp().RenameRemoteFile(old_name, new_name);
              });
}

int FtpSession::FTPcmd(std::string_view command_line) {
  // The marker quotes the command, so a password sent with PASS is masked as in every log line.
  return Step("-- FTPcmd Start -- " + MaskCommandSecret(command_line), "-- FTPcmd End --", [&] {
    RefuseControlBytes(command_line);
    Ftp().SendRawCommand(command_line);
  });
}

void FtpSession::AbortFTP() {
  Guarded([this] {
    ConnectedCheck();
    AddLog("-- AbortFTP Start --", true);
    done_ = false;
    Ftp().AbortRequest();
    AddLog("-- AbortFTP End --", true);
    return 0;
  });
}

int FtpSession::SetAscii() {
  AddLog("-- set ascii mode --", true);
  binary_mode_ = false;
  return 100;
}

int FtpSession::SetBinary() {
  AddLog("-- set Binary mode --", true);
  binary_mode_ = true;
  return 100;
}

void FtpSession::ApplyTransportParams() {
  FtpEngine& ftp = Ftp();
  const std::string verify = Params.Get("TLSVERIFY");
  ftp.SetTlsVerify(!(verify == "NO" || verify == "N"));
  const std::string pin = Params.Get("TLSFINGERPRINT");
  const std::string normalised = NormaliseFingerprint(pin);
  if (!pin.empty() && normalised.empty()) {
    throw SessionAbort("TLSFINGERPRINT is not a SHA-256 fingerprint (SHA256: and 32 hex bytes): " +
                       pin);
  }
  ftp.SetTlsFingerprint(normalised);
  ftp.SetUseEpsv(Params.Get("EPSV") == "Y");
}

bool FtpSession::IsLoggedIn() const { return ftp_ && ftp_->Connected(); }

void FtpSession::UploadFinished(int64_t totalbyte, double spend) {
  AddLog(FormatStatistics("Upload End %lld Byte  time:%s (%.2fByte/sec)", totalbyte, spend), false);
  if (Ontransferfinished) Ontransferfinished(*this, totalbyte, spend);
}

void FtpSession::DownloadFinished(int64_t totalbyte, double spend) {
  AddLog(FormatStatistics("Download End %lld Byte  time:%s (%.2fByte/sec)", totalbyte, spend),
         false);
  if (Onretrievefinished) Onretrievefinished(*this, totalbyte, spend);
}

}  // namespace tarsil

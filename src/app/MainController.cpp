#include "app/MainController.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "app/AppMessages.h"
#include "app/CheckCommand.h"
#include "app/ExitStatus.h"
#include "app/RunLog.h"
#include "app/ScriptFile.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"
#include "script/ScriptMessages.h"

namespace tarsil {
namespace {

// The window message that starts the unattended run once the event loop runs (WM_USER + 100).
constexpr uint32_t kStartAutoRun = 0x0400 + 100;

const char* const kMenuItems[] = {
    "File1", "Newfile1",     "Open1",     "N6",    "Save1",    "SaveAs1", "Option1", "Run1",
    "Step1", "exit1",        "Edit1",     "Cut1",  "Copy1",    "Peast1",  "Delete1", "All1",
    "Log1",  "LogfileSave1", "LogClear1", "Help1", "Contets1", "Version1"};
const char* const kDisabledAtCreation[] = {"Save1", "SaveAs1", "Run1", "Step1", "Edit1"};
const char* const kDocumentMenus[] = {"Save1", "SaveAs1", "Run1", "Step1", "Edit1"};

// Why a script file cannot be read (the system's reason); empty when it can.
std::string WhyUnreadable(const std::string& cp932_path) {
  if (cp932_path.empty()) return "no path was given";
  // Non-blocking, so that a FIFO without a writer cannot hold the start.
  UniqueFd fd(::open(NativePath(cp932_path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return std::strerror(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  return {};
}

}  // namespace

MainController::MainController(EventLoop& loop, SettingsStore& store)
    : loop_(loop),
      store_(store),
      ftp_(loop),
      values_(store),
      runner_(*this, ftp_, values_),
      target_(loop, [this](const Notice& notice) {
        if (notice.message == kStartAutoRun) StartAutoRun();
      }) {
  ftp_.Log = &log_;
  ftp_.OnLoggedIn = [this](FtpSession&) { FTPLoggedIn(); };
  ftp_.OnFtpQuit = [this](FtpSession&) { FTPFtpQuit(); };
  ftp_.Onretrieveing = [this](FtpSession&, int64_t bytes, double spend) {
    Retrieving(bytes, spend);
  };
  ftp_.Onretrievefinished = [this](FtpSession&, int64_t bytes, double spend) {
    FTPretrievefinished(bytes, spend);
  };
  ftp_.Ontransfer = [this](FtpSession&, int64_t bytes, double spend) { FTPtransfer(bytes, spend); };
  ftp_.Ontransferfinished = [this](FtpSession&, int64_t bytes, double spend) {
    FTPtransferfinished(bytes, spend);
  };
  options_.on_debug_mode_changed = [this](bool on) { ftp_.Debugmode = on; };
  options_.on_send_wait_changed = [this](bool on) { ftp_.SmallUploadBlocks = on; };
  options_.on_file_encoding_changed = [this](TextEncoding encoding) {
    log_.KeepUtf8Spool(encoding == TextEncoding::kUtf8);
  };
  log_.KeepUtf8Spool(options_.FileEncoding() == TextEncoding::kUtf8);
  for (const char* item : kMenuItems) window_.SetMenu(item, true);
  for (const char* item : kDisabledAtCreation) window_.SetMenu(item, false);
  window_.SetPanel(1, "Disconnect");
  LoadRecallMenu();
}

MainController::~MainController() {
  SaveRecallMenu();
  // The log lets go of the engine before the session (declared after it) frees the engine.
  log_.SetClient(nullptr);
  ftp_.Log = nullptr;
}

void MainController::Changed() {
  if (view_ != nullptr) view_->StateChanged();
}

Answer MainController::Ask(std::string_view text, Buttons buttons) {
  if (view_ == nullptr) return Answer::kYes;
  return view_->ShowMessageBox(text, kDialogCaption, buttons, MessageIcon::kNone);
}

void MainController::SetScriptFileName(std::string name) {
  script_file_name_ = std::move(name);
  window_.caption = std::string(kCaptionPrefix) + script_file_name_;
  Changed();
}

void MainController::EnableDocumentMenus() {
  for (const char* item : kDocumentMenus) window_.SetMenu(item, true);
  Changed();
}

bool MainController::FormShow(std::optional<std::string> auto_script) {
  try {
    options_.Load(store_);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
    return false;
  }
  if (!auto_script) {
    NewFile();
    return true;
  }
  const std::string unreadable = WhyUnreadable(*auto_script);
  if (!unreadable.empty()) {
    // Nothing to run: said in the log, so that a job that did nothing is seen to have failed.
    WriteLog("999 Cannot read the script file \"" + *auto_script + "\": " + unreadable);
    auto_load_failed_ = true;
  } else {
    try {
      LoadScript(*auto_script);
    } catch (const std::exception& failure) {
      // A script that cannot be read whole is not run at all: running the part that could be
      // decoded would do half a job unattended.
      HandleFailure(failure.what());
      editor_lines_.clear();
      auto_load_failed_ = true;
    }
  }
  if (options_.HideWhenRunning()) window_.hidden = true;
  target_.Post(kStartAutoRun);
  return true;
}

void MainController::StartAutoRun() {
  if (options_.HideWhenRunning()) window_.hidden = true;
  window_.enabled = false;
  auto_mode_ = true;
  if (options_.ShowProgress()) progress_.Show(options_.ShowDetailButton());
  Changed();
  try {
    runner_.Run(editor_lines_);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
  }
  progress_.Close();
  window_.enabled = true;
  Changed();
  if (CloseQuery()) FormClose();
}

void MainController::NewFile() {
  AskSaveChanges();
  if (!modified_) {
    editor_lines_.clear();
    script_encoding_ = NewScriptEncoding(options_.FileEncoding());
  }
  SetScriptFileName(std::string(kNewFileName));
  EnableDocumentMenus();
}

void MainController::LoadScript(const std::string& file_name) {
  AskSaveChanges();
  if (!FileExists(file_name)) return;
  std::optional<std::string> text = ReadWholeFile(file_name);
  if (!text) throw std::runtime_error("Cannot read the script file " + file_name);
  if (IsScrambledScriptName(file_name)) {
    editor_lines_ = SplitTextLines(*text);
    script_encoding_ = {};
    Changed();
    DecodeScriptLines(editor_lines_);
  } else {
    ScriptText decoded = DecodeScriptText(*text);  // a line with no CP932 form stops here
    editor_lines_ = std::move(decoded.lines);
    script_encoding_ = decoded.encoding;
    Changed();
  }
  modified_ = false;
  window_.SetPanel(0, "");
  SetScriptFileName(file_name);
  EnableDocumentMenus();
  recall_.Add(file_name);
}

void MainController::OpenNamedScript(const std::string& file_name) {
  if (!FileExists(file_name)) {
    HandleFailure("The script file was not found: " + file_name);
    return;
  }
  try {
    LoadScript(file_name);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
  }
}

void MainController::SetEditorLines(std::vector<std::string> lines, bool modified) {
  editor_lines_ = std::move(lines);
  modified_ = modified;
  if (modified_) window_.SetPanel(0, kModifiedText);
  Changed();
}

bool MainController::AskSaveChanges() {
  if (!modified_) return true;
  switch (Ask(kAskSaveScript, Buttons::kYesNoCancel)) {
    case Answer::kYes:
      return Save();
    case Answer::kNo:
      modified_ = false;
      return true;
    default:
      return false;
  }
}

bool MainController::Save() {
  if (SameTextAscii(script_file_name_, kNewFileName)) {
    SaveAs();
    return !SameTextAscii(script_file_name_, kNewFileName);
  }
  StoreScript(script_file_name_);
  return true;
}

bool MainController::SaveAs() {
  std::string name;
  if (view_ == nullptr || !view_->ChooseSaveName(name)) return false;
  StoreScript(name);
  return true;
}

void MainController::StoreScript(const std::string& file_name) {
  StoreScriptFile(file_name, editor_lines_, script_encoding_);
  modified_ = false;
  window_.SetPanel(0, "");
  SetScriptFileName(file_name);
}

void MainController::Run() {
  // What the checker finds is shown, and the run goes ahead: the user decides.
  for (const std::string& finding : CheckScriptLines(editor_lines_, script_file_name_, store_)) {
    WriteLog(finding);
  }
  try {
    runner_.Run(editor_lines_);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
  }
}

int32_t MainController::Step(int32_t caret_line) {
  try {
    return runner_.Step(editor_lines_, caret_line);
  } catch (const std::exception& failure) {
    HandleFailure(failure.what());
    return caret_line;
  }
}

bool MainController::CloseQuery() {
  // A close asked for while the unattended run is still going (the window's close button): the
  // same question as any close during a run, and only Yes stops the transfer.
  bool run_end_confirmed = false;
  if (auto_mode_ && runner_.Running()) {
    if (Ask(kConfirmForceEnd, Buttons::kYesNo) != Answer::kYes) return false;
    run_end_confirmed = true;
  }
  if (ftp_.IsLoggedIn()) {
    if (!auto_mode_ && Ask(kConfirmDisconnect, Buttons::kYesNo) != Answer::kYes) return false;
    ftp_.AbortFTP();
    // The engine takes no request before the abort has run its course; QUIT would be refused.
    const auto limit = std::chrono::milliseconds(std::max<int32_t>(ftp_.WaitTimeOut, 0));
    loop_.WaitUntil([this] { return !ftp_.Ftp().Busy(); },
                    std::chrono::steady_clock::now() + limit);
    runner_.SetResultState(true);
    if (ftp_.Disconnect() > 400) runner_.SetResultState(false);
    runner_.ClearRunning();
  }
  if (runner_.Running()) {
    if (!run_end_confirmed && Ask(kConfirmForceEnd, Buttons::kYesNo) != Answer::kYes) return false;
    runner_.ClearRunning();
    ftp_.AbortFTP();
  }
  AskSaveChanges();
  return !modified_;
}

void MainController::FormClose() {
  LogSaveRequest request;
  request.save = options_.LogSave();
  request.option_name = options_.LogFileName();
  request.logfile_param = ftp_.Params.Get("LOGFILE");
  request.overwrite = options_.LogOverwrite();
  request.with_date = options_.LogNameTime();
  std::string name;
  // A UTF-8 log holds every line exactly, names CP932 lacks included.
  LogSpool& spool =
      options_.FileEncoding() == TextEncoding::kUtf8 ? log_.SpoolUtf8() : log_.Spool();
  if (SaveLogAtClose(spool, request, Now(), &name) == LogSaveResult::kFailed && request.overwrite) {
    // Reported, and the close goes on: an unattended run must end even when its log cannot be
    // written.
    HandleFailure("Cannot write the log file " + name);
  }
  closed_ = true;
  Changed();
}

int MainController::UnattendedExitStatus(bool errors_fail) const {
  if (auto_load_failed_) return kExitScriptUnreadable;
  if (std::optional<int> stop = runner_.StopStatus()) return *stop;
  return errors_fail && runner_.ErrorSeen() ? kExitErrors : 0;
}

bool MainController::RequestClose() {
  const bool in_run = runner_.Running();
  if (!CloseQuery()) return false;
  // A run on the stack ends after its current line; the one that started it closes the window.
  if (!in_run) FormClose();
  return true;
}

void MainController::HandleFailure(std::string_view message) {
  WriteLog(std::string(kUnexpectedErrorPrefix) + std::string(message));
}

void MainController::WriteLog(std::string_view line) { log_.AppendLine(line); }

void MainController::WriteLogUtf8(std::string_view utf8) { log_.AppendLineUtf8(utf8); }

void MainController::BeginRun() {
  window_.BeginRun(kRunningText);
  window_.cursor_busy = true;
  window_.DisableMenusForRun();
  Changed();
}

void MainController::EndRun() {
  window_.cursor_busy = false;
  window_.RestoreMenusAfterRun();
  window_.EndRun();
  Changed();
  ProcessMessages();
}

void MainController::WaitWithMessages(uint32_t milliseconds) {
  loop_.WaitWithMessages(milliseconds);
}

void MainController::ProcessMessages() { loop_.ProcessMessages(); }

void MainController::ShowMessage(std::string_view text, std::string_view caption,
                                 MessageIcon icon) {
  if (view_ != nullptr) view_->ShowMessageBox(text, caption, Buttons::kOk, icon);
}

int MainController::TimeoutSeconds() { return options_.Timeout().Value(); }

bool MainController::PassiveOption() { return options_.Passive(); }

void MainController::ServerOpened(std::string_view server) { server_name_ = std::string(server); }

}  // namespace tarsil

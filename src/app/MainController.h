// MainController: the main-window controller. It owns the execution log, the FTP session, the
// options, the executor and the document (editor lines, file name, modified flag), and keeps the
// window state (caption, status panels, menu enable flags) that a view renders. It implements the
// host the executor runs in. Created once per process; event thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/MainView.h"
#include "app/MainWindowState.h"
#include "app/Options.h"
#include "app/RecentFiles.h"
#include "app/ScriptText.h"
#include "app/TransferWindowState.h"
#include "platform/EventLoop.h"
#include "platform/SettingsStore.h"
#include "script/ScriptHost.h"
#include "script/ScriptRunner.h"
#include "script/StoredValues.h"
#include "session/ExecutionLog.h"
#include "session/FtpSession.h"

namespace tarsil {

class MainController : public ScriptHost {
 public:
  MainController(EventLoop& loop, SettingsStore& store);
  ~MainController() override;

  void SetView(MainView* view) { view_ = view; }

  // First showing: loads the options (false, after the failure handler, when that fails), then
  // starts a new script or, unattended, opens the script and posts the start of the run.
  bool FormShow(std::optional<std::string> auto_script);
  // The unattended run: runs the loaded script once and closes the window.
  void StartAutoRun();

  // Document commands.
  void NewFile();
  void LoadScript(const std::string& file_name);
  // The script named on the command line; one that cannot be read is reported in the log.
  void OpenNamedScript(const std::string& file_name);
  bool Save();
  bool SaveAs();
  void StoreScript(const std::string& file_name);
  void SetEditorLines(std::vector<std::string> lines, bool modified);

  // Run and Step (F9, F8); Run logs the checker's findings first. Step returns the caret line.
  void Run();
  int32_t Step(int32_t caret_line);

  // Closing: the confirmations (false: stay open), then the log file. RequestClose does both.
  bool CloseQuery();
  void FormClose();
  bool RequestClose();
  bool Closed() const { return closed_; }

  // Exit status of a closed unattended run: 2 (script unreadable), else N of "stop N", else 1 when
  // `errors_fail` and a line left Error, else 0. A signal's status is the face's business.
  int UnattendedExitStatus(bool errors_fail) const;

  // The application-wide failure handler: "999 予期せぬエラー：" and the message into the log.
  void HandleFailure(std::string_view message);

  // ScriptHost.
  void WriteLog(std::string_view line) override;
  void WriteLogUtf8(std::string_view utf8) override;
  TextEncoding FileEncoding() override { return options_.FileEncoding(); }
  ServerCharset ServerCharsetOption() override { return options_.ServerNames(); }
  void BeginRun() override;
  void EndRun() override;
  void WaitWithMessages(uint32_t milliseconds) override;
  void ProcessMessages() override;
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  int TimeoutSeconds() override;
  bool PassiveOption() override;
  void ServerOpened(std::string_view server) override;
  std::string ScriptFileName() override { return script_file_name_; }

  // The window's own parts (MainControllerWindow.cpp): the recall list under "開き直す", the
  // transfer window, the session events shown in the status bar, and the log menu.
  RecentFiles& RecallMenu1() { return recall_; }
  const MenuItemList& RecallItems() const { return recall_items_; }
  TransferWindowState& Progress() { return progress_; }
  const MainWindowState& Window() const { return window_; }
  void FTPLoggedIn();
  void FTPFtpQuit();
  void Retrieving(int64_t totalbyte, double spend);
  void FTPretrievefinished(int64_t totalbyte, double spend);
  void FTPtransfer(int64_t totalbyte, double spend);
  void FTPtransferfinished(int64_t totalbyte, double spend);
  // "ﾌｧｲﾙに保存": the whole log written to `file_name`, then cleared (kept when writing fails).
  void LogfileSave(const std::string& file_name);
  void LogClear();
  // Step for a view that places the caret: the line for it, or nothing when the step failed.
  std::optional<int32_t> StepForCaret(int32_t caret_line);

  // State for views and tests.
  ExecutionLog& Logmemo() { return log_; }
  FtpSession& FTP() { return ftp_; }
  tarsil::Options& Options() { return options_; }
  ScriptRunner& Runner() { return runner_; }
  const std::vector<std::string>& EditorLines() const { return editor_lines_; }
  bool Modified() const { return modified_; }
  const std::string& Caption() const { return window_.caption; }
  const std::string& Panel(int index) const { return window_.Panel(index); }
  bool AutoMode() const { return auto_mode_; }
  bool MenuEnabled(const std::string& item) const { return window_.MenuEnabled(item); }
  bool WindowEnabled() const { return window_.enabled; }
  bool WindowHidden() const { return window_.hidden; }
  bool CursorBusy() const { return window_.cursor_busy; }

 private:
  void EnableDocumentMenus();
  bool AskSaveChanges();
  void SetScriptFileName(std::string name);
  void Changed();
  Answer Ask(std::string_view text, Buttons buttons);
  void LoadRecallMenu();
  void SaveRecallMenu();

  EventLoop& loop_;
  SettingsStore& store_;
  MainView* view_ = nullptr;
  ExecutionLog log_;
  FtpSession ftp_;
  tarsil::Options options_;
  StoredValues values_;
  ScriptRunner runner_;
  EventTarget target_;

  std::vector<std::string> editor_lines_;
  bool modified_ = false;
  std::string script_file_name_;
  ScriptEncoding script_encoding_;  // as the script was read (a new one's: the option)
  std::string server_name_;
  MainWindowState window_;
  bool auto_mode_ = false;
  bool closed_ = false;
  bool auto_load_failed_ = false;
  MenuItemList recall_items_;  // the sub-items of "開き直す"
  RecentFiles recall_{"RecallMenu1"};
  TransferWindowState progress_;
};

}  // namespace tarsil

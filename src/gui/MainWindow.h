// MainController on the desktop: the main window as a view of the main-window controller. It lays
// out the script editor, the splitter and the execution log, the menus with their captions, keys
// and enable flags, and the status bar; it turns menu commands into controller calls and renders
// the controller's state on every change. It owns the options dialog, the about box and the
// transfer window. GUI thread.
#pragma once

#include <QMainWindow>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainController.h"
#include "app/MainView.h"

class QLabel;
class QMenu;
class QSplitter;

namespace tarsil::gui {

class DesktopDialogs;
class LogView;
class OptionsDialog;
class ScriptEditor;
class AboutBox;
class TransferWindow;

class MainWindow : public QMainWindow, public MainView {
 public:
  MainWindow(MainController& form, SettingsStore& store, DesktopDialogs& dialogs,
             const QString& user_guide);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // MainView.
  Answer ShowMessageBox(std::string_view text, std::string_view caption, Buttons buttons,
                        MessageIcon icon) override;
  void StateChanged() override;
  void ProgressChanged() override;
  bool ChooseSaveName(std::string& file_name) override;

  // Told once the controller has closed the window (the program ends).
  std::function<void()> on_closed;

  // The parts, by the names the controller uses (menu items "Save1", menus "File1", "N6").
  QAction* Action(const std::string& name) const;
  QMenu* Menu(const std::string& name) const;
  ScriptEditor* Editor() const { return editor_; }
  LogView* Log() const { return log_; }
  QLabel* StatusPanel(int index) const { return panels_.at(index); }
  QWidget* LogHome() const { return log_home_; }
  OptionsDialog& Options() const { return *options_; }
  AboutBox& About() const { return *about_; }
  TransferWindow& Progress() const { return *progress_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A script file dropped onto the window opens (MainWindowCommands.cpp).
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& key,
                   void (MainWindow::*command)());
  // Failures of a command go to the application-wide handler, as the log's "999" line.
  void Guard(const std::function<void()>& command);

  // Commands (MainWindowCommands.cpp).
  void NewFileCommand();
  void OpenCommand();
  void SaveCommand();
  void SaveAsCommand();
  void OptionCommand();
  void RunCommand();
  void StepCommand();
  void ExitCommand();
  void CutCommand();
  void CopyCommand();
  void PasteCommand();
  void DeleteCommand();
  void SelectAllCommand();
  void LogSaveCommand();
  void LogClearCommand();
  void HelpCommand();
  void VersionCommand();
  std::optional<std::string> ChooseName(int kind);
  void FinishPendingClose();

  // Rendering the controller's state.
  void EditorChanged();
  void SyncEditor();
  void SyncMenus();
  void SyncRecallMenu();
  void SyncStatusBar();
  void SyncWindows();
  void ReturnLogView();

  MainController& form_;
  SettingsStore& store_;
  DesktopDialogs& dialogs_;
  QString user_guide_;
  ScriptEditor* editor_ = nullptr;
  LogView* log_ = nullptr;
  QWidget* log_home_ = nullptr;  // Panel3
  QSplitter* splitter_ = nullptr;
  std::vector<QLabel*> panels_;
  std::map<std::string, QAction*> actions_;
  std::map<std::string, QMenu*> menus_;
  std::unique_ptr<OptionsDialog> options_;
  std::unique_ptr<AboutBox> about_;
  std::unique_ptr<TransferWindow> progress_;

  std::vector<std::string> synced_lines_;  // the editor's text as the controller last had it
  MenuItemList shown_recall_;
  bool syncing_editor_ = false;
  bool busy_cursor_ = false;
  bool close_after_run_ = false;
  bool closed_ = false;
  std::chrono::steady_clock::time_point progress_shown_;  // the transfer panel's last repaint
};

}  // namespace tarsil::gui

// MainController on the desktop: the menus, their keys, and the commands they run.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTextCursor>
#include <QUrl>

#include "app/AppMessages.h"
#include "gui/AboutBox.h"
#include "gui/Desktop.h"
#include "gui/Dialogs.h"
#include "gui/GuiMessages.h"
#include "gui/MainWindow.h"
#include "gui/OptionsDialog.h"
#include "gui/ScriptEditor.h"

namespace tarsil::gui {

QAction* MainWindow::AddItem(QMenu* menu, const char* name, const char* caption,
                             const QKeySequence& key, void (MainWindow::*command)()) {
  QAction* action = menu->addAction(Utf8(caption));
  action->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) action->setShortcut(key);
  connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
  actions_[name] = action;
  return action;
}

void MainWindow::BuildMenus() {
  auto add_menu = [this](const char* name, const char* caption) {
    QMenu* menu = menuBar()->addMenu(Utf8(caption));
    menu->setObjectName(QString::fromLatin1(name));
    menus_[name] = menu;
    return menu;
  };
  const QKeySequence none;
  QMenu* file = add_menu("File1", texts::kFileMenu);
  AddItem(file, "Newfile1", texts::kNewFile, QKeySequence(Qt::CTRL | Qt::Key_N),
          &MainWindow::NewFileCommand);
  AddItem(file, "Open1", texts::kOpen, QKeySequence(Qt::CTRL | Qt::Key_O),
          &MainWindow::OpenCommand);
  QMenu* recall = file->addMenu(Utf8(texts::kRecall));
  recall->setObjectName("N6");
  menus_["N6"] = recall;
  AddItem(file, "Save1", texts::kSave, QKeySequence(Qt::CTRL | Qt::Key_S),
          &MainWindow::SaveCommand);
  AddItem(file, "SaveAs1", texts::kSaveAs, QKeySequence(Qt::CTRL | Qt::Key_A),
          &MainWindow::SaveAsCommand);
  file->addSeparator();
  AddItem(file, "Option1", texts::kOption, none, &MainWindow::OptionCommand);
  file->addSeparator();
  AddItem(file, "Run1", texts::kRun, QKeySequence(Qt::Key_F9), &MainWindow::RunCommand);
  AddItem(file, "Step1", texts::kStep, QKeySequence(Qt::Key_F8), &MainWindow::StepCommand);
  file->addSeparator();
  AddItem(file, "exit1", texts::kExit, QKeySequence(Qt::CTRL | Qt::Key_Q),
          &MainWindow::ExitCommand);

  QMenu* edit = add_menu("Edit1", texts::kEditMenu);
  AddItem(edit, "Cut1", texts::kCut, none, &MainWindow::CutCommand);
  AddItem(edit, "Copy1", texts::kCopy, none, &MainWindow::CopyCommand);
  AddItem(edit, "Peast1", texts::kPaste, none, &MainWindow::PasteCommand);
  AddItem(edit, "Delete1", texts::kDelete, none, &MainWindow::DeleteCommand);
  AddItem(edit, "All1", texts::kSelectAll, none, &MainWindow::SelectAllCommand);

  QMenu* log = add_menu("Log1", texts::kLogMenu);
  AddItem(log, "LogfileSave1", texts::kLogSave, none, &MainWindow::LogSaveCommand);
  AddItem(log, "LogClear1", texts::kLogClear, none, &MainWindow::LogClearCommand);

  QMenu* help = add_menu("Help1", texts::kHelpMenu);
  AddItem(help, "Contets1", texts::kContents, none, &MainWindow::HelpCommand);
  help->addSeparator();
  AddItem(help, "Version1", texts::kVersion, none, &MainWindow::VersionCommand);
}

// ---- File --------------------------------------------------------------------------------

std::optional<std::string> MainWindow::ChooseName(int kind) {
  std::optional<QString> chosen = dialogs_.ChooseFile(this, static_cast<FileDialogKind>(kind));
  if (!chosen) return std::nullopt;
  std::optional<std::string> name = ToCp932Exact(*chosen);
  if (!name) {
    // The core holds names in Shift-JIS; this one could not designate the file once converted.
    form_.HandleFailure("The file name has no Shift-JIS form: " + ToCp932(*chosen));
  }
  return name;
}

bool MainWindow::ChooseSaveName(std::string& file_name) {
  std::optional<std::string> name = ChooseName(static_cast<int>(FileDialogKind::kSaveScript));
  if (!name) return false;
  file_name = *name;
  return true;
}

void MainWindow::NewFileCommand() {
  Guard([this] { form_.NewFile(); });
}

void MainWindow::OpenCommand() {
  std::optional<std::string> name = ChooseName(static_cast<int>(FileDialogKind::kOpenScript));
  if (name) Guard([&] { form_.LoadScript(*name); });
}

void MainWindow::SaveCommand() {
  Guard([this] { form_.Save(); });
}

void MainWindow::SaveAsCommand() {
  Guard([this] { form_.SaveAs(); });
}

void MainWindow::OptionCommand() { options_->Open(this); }

void MainWindow::RunCommand() {
  Guard([this] { form_.Run(); });
  FinishPendingClose();
}

void MainWindow::StepCommand() {
  const int caret = editor_->CaretLine();
  std::optional<int32_t> next;
  Guard([&] { next = form_.StepForCaret(caret); });
  if (next) editor_->PutCaretAtLine(*next, static_cast<int>(form_.EditorLines().size()));
  FinishPendingClose();
}

void MainWindow::ExitCommand() { close(); }

// ---- Edit --------------------------------------------------------------------------------

void MainWindow::CutCommand() { editor_->cut(); }
void MainWindow::CopyCommand() { editor_->copy(); }
void MainWindow::PasteCommand() { editor_->paste(); }
void MainWindow::DeleteCommand() { editor_->textCursor().removeSelectedText(); }
void MainWindow::SelectAllCommand() { editor_->selectAll(); }

// ---- Log and Help ------------------------------------------------------------------------

void MainWindow::LogSaveCommand() {
  std::optional<std::string> name = ChooseName(static_cast<int>(FileDialogKind::kSaveLog));
  if (name) Guard([&] { form_.LogfileSave(*name); });
}

void MainWindow::LogClearCommand() { form_.LogClear(); }

// The user guide in the desktop's browser; when there is none to open it (or no guide), a box
// says where the guide is, so that the user can open it another way.
void MainWindow::HelpCommand() {
  const bool found = !user_guide_.isEmpty() && QFileInfo::exists(user_guide_);
  if (found && dialogs_.OpenDocument(QUrl::fromLocalFile(user_guide_))) return;
  const QString text = found ? Utf8(texts::kGuideNotOpened) + QDir::toNativeSeparators(user_guide_)
                             : Utf8(texts::kGuideNotFound) + InstalledUserGuidePath();
  dialogs_.MessageBox(isVisible() ? this : nullptr, text, FromCp932(kDialogCaption), Buttons::kOk,
                      MessageIcon::kInformation);
}

// ---- Dropped files -----------------------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (form_.MenuEnabled("Open1") && !DroppedScript(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (form_.MenuEnabled("Open1") && !DroppedScript(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

// A dropped script opens as with Open (the save prompt first when the script was modified).
void MainWindow::dropEvent(QDropEvent* event) {
  const QString file = DroppedScript(event->mimeData());
  if (!form_.MenuEnabled("Open1") || file.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  std::optional<std::string> name = ToCp932Exact(file);
  if (!name) {
    form_.HandleFailure("The file name has no Shift-JIS form: " + ToCp932(file));
    return;
  }
  Guard([&] { form_.LoadScript(*name); });
}

void MainWindow::VersionCommand() {
  about_->SetVersion(std::string(kVersionText));
  about_->Open();
}

}  // namespace tarsil::gui

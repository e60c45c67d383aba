#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "gui/AboutBox.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/GuiMessages.h"
#include "gui/LogView.h"
#include "gui/OptionsDialog.h"
#include "gui/ScriptEditor.h"
#include "gui/TransferWindow.h"

namespace tarsil::gui {
namespace {

// A panel with its heading above the content, as the window's left and right panes.
QWidget* HeadedPanel(const char* name, const char* heading, QWidget* content) {
  auto* panel = new QWidget;
  panel->setObjectName(QString::fromLatin1(name));
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* label = new QLabel(Utf8(heading));
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Raised);
  layout->addWidget(label);
  layout->addWidget(content, 1);
  return panel;
}

}  // namespace

MainWindow::MainWindow(MainController& form, SettingsStore& store, DesktopDialogs& dialogs,
                       const QString& user_guide)
    : form_(form), store_(store), dialogs_(dialogs), user_guide_(user_guide) {
  setObjectName("MainWindow");
  setFont(UiFont());
  setAcceptDrops(true);
  resize(720, 480);
  BuildLayout();
  BuildMenus();
  // The other windows, in the order of start-up: options, about, transfer.
  options_ = std::make_unique<OptionsDialog>(
      form_.Options(), store_, dialogs_,
      [this](const std::string& message) { form_.HandleFailure(message); }, this);
  about_ = std::make_unique<AboutBox>(
      user_guide_.isEmpty() ? QString() : QUrl::fromLocalFile(user_guide_).toString(), this);
  progress_ = std::make_unique<TransferWindow>(form_.Progress());
  form_.SetView(this);
  StateChanged();
}

MainWindow::~MainWindow() {
  form_.SetView(nullptr);
  if (busy_cursor_) QApplication::restoreOverrideCursor();
  ReturnLogView();
}

void MainWindow::BuildLayout() {
  editor_ = new ScriptEditor;
  log_ = new LogView(form_.Logmemo());
  QWidget* panel1 = HeadedPanel("Panel1", texts::kScriptHeading, editor_);
  log_home_ = HeadedPanel("Panel3", texts::kLogHeading, log_);
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName("Panel2");
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(panel1);
  splitter_->addWidget(log_home_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({257, 459});
  setCentralWidget(splitter_);

  QStatusBar* bar = statusBar();
  bar->setObjectName("Stbar");
  bar->setAutoFillBackground(true);
  const int widths[4] = {50, 90, 120, 50};
  const Qt::Alignment alignments[4] = {Qt::AlignCenter, Qt::AlignCenter,
                                       Qt::AlignLeft | Qt::AlignVCenter,
                                       Qt::AlignLeft | Qt::AlignVCenter};
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel;
    panel->setObjectName(QStringLiteral("Panel%1").arg(i));
    panel->setFixedWidth(widths[i]);
    panel->setAlignment(alignments[i]);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    bar->addWidget(panel, i == 3 ? 1 : 0);
    panels_.push_back(panel);
  }
  panels_[3]->setMinimumWidth(50);
  panels_[3]->setMaximumWidth(QWIDGETSIZE_MAX);

  connect(editor_, &QPlainTextEdit::textChanged, this, [this] { EditorChanged(); });
}

QAction* MainWindow::Action(const std::string& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::Menu(const std::string& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

void MainWindow::Guard(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& failure) {
    form_.HandleFailure(failure.what());
  }
}

// ---- The controller's state on the widgets ---------------------------------------------------

Answer MainWindow::ShowMessageBox(std::string_view text, std::string_view caption, Buttons buttons,
                                  MessageIcon icon) {
  QWidget* owner = isVisible() ? this : nullptr;
  return dialogs_.MessageBox(owner, FromCp932(text), FromCp932(caption), buttons, icon);
}

void MainWindow::StateChanged() {
  if (closed_) return;
  setWindowTitle(FromCp932(form_.Caption()));
  SyncEditor();
  SyncMenus();
  SyncRecallMenu();
  SyncStatusBar();
  SyncWindows();
}

// Once per data block: only the transfer panel, and not more often than the eye can follow (the
// end of the file brings the whole status bar up to date).
void MainWindow::ProgressChanged() {
  if (closed_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - progress_shown_ < std::chrono::milliseconds(50)) return;
  progress_shown_ = now;
  panels_[3]->setText(FromCp932(form_.Panel(3)));
}

void MainWindow::EditorChanged() {
  if (syncing_editor_) return;
  synced_lines_ = EditorTextToLines(editor_->toPlainText());
  Guard([this] { form_.SetEditorLines(synced_lines_, true); });
}

void MainWindow::SyncEditor() {
  if (form_.EditorLines() != synced_lines_) {
    syncing_editor_ = true;
    editor_->setPlainText(LinesToEditorText(form_.EditorLines()));
    syncing_editor_ = false;
    synced_lines_ = form_.EditorLines();
  }
  editor_->document()->setModified(form_.Modified());
}

void MainWindow::SyncMenus() {
  for (const auto& [name, action] : actions_) action->setEnabled(form_.MenuEnabled(name));
  for (const auto& [name, menu] : menus_) menu->menuAction()->setEnabled(form_.MenuEnabled(name));
}

// The entries of the recall list under "開き直す", kept in a pool of actions updated in place:
// the entry chosen may be delivering its click while the list changes under it.
void MainWindow::SyncRecallMenu() {
  if (form_.RecallItems() == shown_recall_) return;
  shown_recall_ = form_.RecallItems();
  QMenu* menu = Menu("N6");
  while (menu->actions().size() < static_cast<qsizetype>(shown_recall_.size())) {
    const size_t index = menu->actions().size();
    QAction* action = menu->addAction(QString());
    connect(action, &QAction::triggered, this, [this, index] {
      if (index >= shown_recall_.size()) return;
      const int tag = shown_recall_[index].tag;
      Guard([this, tag] { form_.RecallMenu1().Click(tag); });
    });
  }
  const QList<QAction*> actions = menu->actions();
  for (qsizetype i = 0; i < actions.size(); ++i) {
    QAction* action = actions[i];
    if (i >= static_cast<qsizetype>(shown_recall_.size())) {
      action->setVisible(false);
      continue;
    }
    const MenuItemRecord& item = shown_recall_[i];
    action->setObjectName(QString::fromStdString(item.name));
    action->setSeparator(item.caption == "-");
    action->setText(item.caption == "-" ? QString() : FromCp932(item.caption));
    action->setEnabled(item.enabled);
    action->setVisible(true);
  }
}

void MainWindow::SyncStatusBar() {
  for (int i = 0; i < 4; ++i) panels_[i]->setText(FromCp932(form_.Panel(i)));
  QPalette palette = statusBar()->palette();
  const QColor face = QApplication::palette().color(QPalette::Button);
  palette.setColor(QPalette::Window, form_.Window().LoggedIn() ? QColor(0, 255, 0) : face);
  statusBar()->setPalette(palette);
}

void MainWindow::SyncWindows() {
  setEnabled(form_.WindowEnabled());
  editor_->setEnabled(form_.WindowEnabled());
  if (form_.CursorBusy() != busy_cursor_) {
    busy_cursor_ = form_.CursorBusy();
    if (busy_cursor_) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  }
  if (form_.WindowHidden() && isVisible()) hide();

  TransferWindowState& progress = form_.Progress();
  if (progress.Shown() && !progress_->isVisible()) {
    progress_->ShowWithLog(log_);
  } else if (!progress.Shown() && progress_->isVisible()) {
    progress_->hide();
    ReturnLogView();
  }
  progress_->Render();

  if (form_.Closed()) {
    closed_ = true;
    progress_->hide();
    ReturnLogView();
    close();
    if (on_closed) on_closed();
  }
}

void MainWindow::ReturnLogView() {
  if (log_ == nullptr || log_home_ == nullptr || log_->parentWidget() == log_home_) return;
  log_home_->layout()->addWidget(log_);
  log_->show();
}

// ---- Closing -------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_.Closed()) {
    event->accept();
    return;
  }
  bool closing = false;
  Guard([&] { closing = form_.RequestClose(); });
  if (!closing) {
    event->ignore();
    return;
  }
  if (form_.Closed()) {
    event->accept();
    return;
  }
  // A run is on the stack: it ends after its current line, and the command that started it
  // closes the window then.
  close_after_run_ = true;
  event->ignore();
}

void MainWindow::FinishPendingClose() {
  if (!close_after_run_ || form_.Closed()) return;
  close_after_run_ = false;
  Guard([this] { form_.FormClose(); });
}

}  // namespace tarsil::gui

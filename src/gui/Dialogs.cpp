#include "gui/Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>

#include "gui/GuiMessages.h"

namespace tarsil::gui {
namespace {

QString Filter(const char* description, const char* pattern) {
  return Utf8(description) + QStringLiteral(" (") + QLatin1String(pattern) + QLatin1Char(')');
}

}  // namespace

int CaptionWidth(const QString& caption) {
  // Title bars use a bold face, often larger than the window's; the rest is the window
  // manager's icon and its buttons.
  QFont title = QApplication::font();
  title.setBold(true);
  if (title.pixelSize() > 0) {
    title.setPixelSize(title.pixelSize() * 5 / 4);
  } else {
    title.setPointSizeF(title.pointSizeF() * 1.25);
  }
  constexpr int kTitleBarExtras = 160;
  return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarExtras;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text,
                                            const QString& caption, Buttons buttons,
                                            MessageIcon icon) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(caption);
  box->setText(text);
  box->setTextFormat(Qt::PlainText);
  switch (icon) {
    case MessageIcon::kNone:
      box->setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::kInformation:
      box->setIcon(QMessageBox::Information);
      break;
    case MessageIcon::kError:
      box->setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::kQuestion:
      box->setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case Buttons::kOk:
      box->setStandardButtons(QMessageBox::Ok);
      box->setDefaultButton(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->setDefaultButton(QMessageBox::Yes);
      break;
    case Buttons::kYesNoCancel:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box->setDefaultButton(QMessageBox::Yes);
      break;
  }
  // Shown also while the main window is hidden or disabled, and above it.
  box->setWindowModality(Qt::ApplicationModal);
  // Wide enough for the whole caption beside the window manager's icon and buttons: a box with
  // a short text is otherwise narrower than its title.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(
        new QSpacerItem(CaptionWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
        grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, FileDialogKind kind) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  QStringList filters;
  QStringList extensions;
  switch (kind) {
    case FileDialogKind::kOpenScript:
      dialog->setAcceptMode(QFileDialog::AcceptOpen);
      dialog->setFileMode(QFileDialog::ExistingFile);
      filters = {Filter(texts::kOpenFilterPlain, "*.fcs"),
                 Filter(texts::kOpenFilterScrambled, "*.fcx")};
      extensions = {"fcs", "fcx"};
      break;
    case FileDialogKind::kSaveScript:
      dialog->setAcceptMode(QFileDialog::AcceptSave);
      filters = {Filter(texts::kSaveFilterPlain, "*.fcs"),
                 Filter(texts::kSaveFilterScrambled, "*.fcx")};
      extensions = {"fcs", "fcx"};
      break;
    case FileDialogKind::kSaveLog:
      dialog->setAcceptMode(QFileDialog::AcceptSave);
      filters = {Filter(texts::kLogFilterLog, "*.log"), Filter(texts::kLogFilterAll, "*.*")};
      extensions = {"log", "log"};
      break;
    case FileDialogKind::kBrowseLog:
      dialog->setAcceptMode(QFileDialog::AcceptSave);
      filters = {Filter(texts::kOptionsFilterLog, "*.log"),
                 Filter(texts::kOptionsFilterAll, "*.*")};
      extensions = {"log", "log"};
      break;
  }
  dialog->setNameFilters(filters);
  dialog->setDefaultSuffix(extensions.front());
  // Switching the file type switches the extension given to a name typed without one. The
  // signal carries the type as shown, without its patterns.
  QFileDialog* raw = dialog.get();
  QObject::connect(
      raw, &QFileDialog::filterSelected, raw, [raw, filters, extensions](const QString& shown) {
        for (qsizetype i = 0; i < filters.size(); ++i) {
          const QString& filter = filters[i];
          if (filter == shown ||
              filter.left(filter.lastIndexOf(QStringLiteral(" ("))).trimmed() == shown.trimmed()) {
            raw->setDefaultSuffix(extensions[i]);
            return;
          }
        }
      });
  return dialog;
}

void PlaceRelativeTo(QWidget* window, const QWidget* owner, QPoint offset) {
  if (window == nullptr || owner == nullptr) return;
  if (!window->isVisible() && !window->testAttribute(Qt::WA_Resized)) window->adjustSize();
  window->setGeometry(QRect(owner->geometry().topLeft() + offset, window->size()));
}

Answer DesktopDialogs::MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                  Buttons buttons, MessageIcon icon) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, text, caption, buttons, icon);
  switch (box->exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Ok:
      return Answer::kOk;
    default:
      return buttons == Buttons::kOk ? Answer::kOk : Answer::kCancel;
  }
}

std::optional<QString> DesktopDialogs::ChooseFile(QWidget* parent, FileDialogKind kind,
                                                  const QString& preset) {
  std::unique_ptr<QFileDialog> dialog = MakeFileDialog(parent, kind);
  if (!preset.isEmpty()) {
    const QFileInfo info(preset);
    if (!info.path().isEmpty()) dialog->setDirectory(info.path());
    dialog->selectFile(info.fileName());
  }
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog->selectedFiles().front();
}

bool DesktopDialogs::OpenDocument(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace tarsil::gui

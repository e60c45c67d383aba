// The desktop's modal questions: message boxes with their texts, captions, buttons and icons, the
// file dialogs with their filters and default extensions, and opening a document in the desktop's
// viewer. DesktopDialogs runs them; tests put a scripted one in its place. GUI thread.
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

#include "app/MainView.h"

namespace tarsil::gui {

enum class FileDialogKind {
  kOpenScript,  // OpenDialog1: "fcs" / "fcx", default extension switching with the filter
  kSaveScript,  // SaveDialog1: the same for saving
  kSaveLog,     // SaveDialog2: saving the log, "log"
  kBrowseLog,   // the options dialog's dlg: the log file name, "log"
};

// The width a window needs to show `caption` whole in its title bar.
int CaptionWidth(const QString& caption);
// Builds the box without showing it: text, caption, buttons (Yes first and default) and icon,
// at least as wide as CaptionWidth(caption).
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text,
                                            const QString& caption, Buttons buttons,
                                            MessageIcon icon);
// Builds the dialog without showing it: mode, filters, default extension and its switching.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, FileDialogKind kind);

// Puts `window` with its client area `offset` below and right of `owner`'s client area, where the
// owner is now (both are decorated alike, so their frames keep the same offset). Placing by the
// client avoids the frame margins, which a window manager reports only after the first showing.
void PlaceRelativeTo(QWidget* window, const QWidget* owner, QPoint offset);

class DesktopDialogs {
 public:
  virtual ~DesktopDialogs() = default;

  virtual Answer MessageBox(QWidget* parent, const QString& text, const QString& caption,
                            Buttons buttons, MessageIcon icon);
  // The chosen full name, or nothing when cancelled. `preset` names the file to start with; its
  // folder is where the dialog starts.
  virtual std::optional<QString> ChooseFile(QWidget* parent, FileDialogKind kind,
                                            const QString& preset = QString());
  // Opens a document or address with the desktop's viewer; false when that failed.
  virtual bool OpenDocument(const QUrl& url);
};

}  // namespace tarsil::gui

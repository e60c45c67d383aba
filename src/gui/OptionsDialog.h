// Options on the desktop: the modal options dialog. Its controls show the options model of
// the main-window controller and write every change straight into it (the options in effect are
// the controls'); OK stores them, Cancel only closes. Opening reloads everything from the store.
// Created once at start-up; GUI thread.
#pragma once

#include <QDialog>
#include <functional>

#include "app/Options.h"
#include "platform/SettingsStore.h"

class QCheckBox;
class QComboBox;
class QVBoxLayout;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tarsil::gui {

class DesktopDialogs;

class OptionsDialog : public QDialog {
 public:
  // `on_failure` receives a failure of the store (the application-wide handler).
  OptionsDialog(Options& options, SettingsStore& store, DesktopDialogs& dialogs,
                std::function<void(const std::string&)> on_failure, QWidget* parent = nullptr);

  // FormShow: loads the options from the store into the controls. False when the load failed
  // (reported through on_failure; the options after the failing value keep their state).
  bool LoadOptions();
  // Opens modally, 50 pixels below and right of `owner`'s top-left corner.
  int Open(QWidget* owner);
  // The controls, by the names the rest of the program knows them by.
  template <typename T>
  T* Control(const char* name) const {
    return findChild<T*>(QString::fromLatin1(name));
  }

 private:
  void Build();
  void BuildEncodingRow(QVBoxLayout* layout);
  void ShowModel();
  void OkClick();
  void BrowseClick();

  Options& options_;
  SettingsStore& store_;
  DesktopDialogs& dialogs_;
  std::function<void(const std::string&)> on_failure_;
  bool showing_ = false;  // the controls are being filled from the model

  QSpinBox* ed_timeout_ = nullptr;
  QCheckBox* cb_passive_ = nullptr;
  QCheckBox* ch_runmode_ = nullptr;
  QCheckBox* cb_debugmode_ = nullptr;
  QCheckBox* ch_logsave_ = nullptr;
  QCheckBox* cb_log_overwrite_ = nullptr;
  QLineEdit* ed_logsave_ = nullptr;
  QPushButton* btn_brows_ = nullptr;
  QCheckBox* cb_lognametime_ = nullptr;
  QCheckBox* cb_wait_ = nullptr;
  QFrame* bvl_wait_ = nullptr;
  QSpinBox* sp_wsec_ = nullptr;
  QLabel* wsec_label_ = nullptr;
  QSpinBox* sp_wsize_ = nullptr;
  QLabel* wsize_label_ = nullptr;
  QCheckBox* cb_progress_ = nullptr;
  QCheckBox* cb_showbutton_ = nullptr;
  QComboBox* cb_text_encoding_ = nullptr;
  QComboBox* cb_server_charset_ = nullptr;
};

}  // namespace tarsil::gui

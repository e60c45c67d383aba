// Tprogfm on the desktop: the transfer window of the unattended run. A label, a busy animation,
// the detail button and the holder panel that takes the execution log view while the window is
// shown. It renders the controller's ProgressWindowState and gives the log view back on close.
// Created once at start-up; GUI thread.
#pragma once

#include <QDialog>
#include <functional>

#include "app/ProgressWindow.h"

class QLabel;
class QProgressBar;
class QToolButton;

namespace tarsil::gui {

class Tprogfm : public QDialog {
 public:
  explicit Tprogfm(ProgressWindowState& state, QWidget* parent = nullptr);

  // Shows the window as the state says, with `log_view` moved into the holder panel.
  void ShowWithLog(QWidget* log_view);
  // Follows the state: the detail button and the client height.
  void Render();
  // Told when the window closes, so that the log view goes back to the main window.
  std::function<void()> on_closed;

  QWidget* Holder() const { return panel_; }
  QToolButton* DetailButton() const { return detail_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  ProgressWindowState& state_;
  QLabel* label_ = nullptr;
  QProgressBar* animation_ = nullptr;
  QToolButton* detail_ = nullptr;
  QWidget* panel_ = nullptr;
};

}  // namespace tarsil::gui

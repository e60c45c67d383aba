// TransferWindow on the desktop: the transfer window of the unattended run. A label, a busy
// animation, the detail button and the holder panel that takes the execution log view while the
// window is shown. It renders the controller's TransferWindowState; only the run shows and hides
// it. Created once at start-up; GUI thread.
#pragma once

#include <QDialog>

#include "app/TransferWindowState.h"

class QLabel;
class QProgressBar;
class QToolButton;

namespace tarsil::gui {

class TransferWindow : public QDialog {
 public:
  explicit TransferWindow(TransferWindowState& state, QWidget* parent = nullptr);

  // Shows the window as the state says, with `log_view` moved into the holder panel.
  void ShowWithLog(QWidget* log_view);
  // Follows the state: the detail button and the client height.
  void Render();
  // A title bar without buttons (no system menu, close, minimise or maximise) and a fixed size.
  static constexpr Qt::WindowFlags kTitleOnly =
      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

  QWidget* Holder() const { return panel_; }
  QToolButton* DetailButton() const { return detail_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  TransferWindowState& state_;
  QLabel* label_ = nullptr;
  QProgressBar* animation_ = nullptr;
  QToolButton* detail_ = nullptr;
  QWidget* panel_ = nullptr;
};

}  // namespace tarsil::gui

#include "gui/TransferWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/Fonts.h"
#include "gui/GuiMessages.h"

namespace tarsil::gui {

TransferWindow::TransferWindow(TransferWindowState& state, QWidget* parent)
    : QDialog(parent, kTitleOnly), state_(state) {
  setObjectName("progfm");
  setWindowTitle(FromCp932(kProgressCaption));
  QFont font(Utf8(kProportionalFontFamily));
  font.setPixelSize(12);
  setFont(font);

  label_ = new QLabel(Utf8(texts::kTransferLabel), this);
  label_->setObjectName("Label1");
  label_->setAlignment(Qt::AlignCenter);
  label_->setGeometry(0, 0, 297, 25);
  // The standard busy animation stands in for the file-copy animation.
  animation_ = new QProgressBar(this);
  animation_->setObjectName("Animate1");
  animation_->setRange(0, 0);
  animation_->setTextVisible(false);
  animation_->setGeometry(8, 32 + 19, 272, 22);
  detail_ = new QToolButton(this);
  detail_->setObjectName("SpeedButton1");
  detail_->setText(Utf8(texts::kDetail));
  detail_->setCheckable(true);
  detail_->setGeometry(216, 96, 57, 22);
  panel_ = new QWidget(this);
  panel_->setObjectName("Panel1");
  panel_->setGeometry(0, TransferWindowState::kPanelTop, TransferWindowState::kClientWidth,
                      TransferWindowState::kPanelHeight);
  auto* holder = new QVBoxLayout(panel_);
  holder->setContentsMargins(0, 0, 0, 0);

  connect(detail_, &QToolButton::toggled, this, [this](bool down) {
    state_.SetDetailDown(down);
    Render();
  });
  Render();
}

void TransferWindow::Render() {
  detail_->setVisible(state_.DetailButtonVisible());
  {
    const QSignalBlocker block(detail_);
    detail_->setChecked(state_.DetailDown());
  }
  setFixedSize(TransferWindowState::kClientWidth, state_.ClientHeight());
}

void TransferWindow::ShowWithLog(QWidget* log_view) {
  Render();
  if (log_view != nullptr) panel_->layout()->addWidget(log_view);
  if (log_view != nullptr) log_view->show();
  show();
}

// The run decides when the window goes (it hides it); a close asked for through the window
// manager (a key, a menu of its own) is refused, so the window and the log it holds stay.
void TransferWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

// Escape does not close the window; it has no buttons to close it with either.
void TransferWindow::reject() {}

}  // namespace tarsil::gui

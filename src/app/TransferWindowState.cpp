#include "app/TransferWindowState.h"

namespace tarsil {

std::string AboutVersionLine(std::string_view version) { return "Version " + std::string(version); }

void TransferWindowState::Show(bool show_detail_button) {
  shown_ = true;
  detail_button_visible_ = show_detail_button;
  detail_down_ = false;  // every show starts collapsed, whatever the button was left at
}

void TransferWindowState::Close() {
  shown_ = false;
  detail_down_ = false;
}

void TransferWindowState::SetDetailDown(bool down) {
  if (!detail_button_visible_) return;
  detail_down_ = down;
}

int TransferWindowState::ClientHeight() const {
  return detail_down_ ? kPanelTop + kPanelHeight + 3 : kPanelTop - 3;
}

}  // namespace tarsil

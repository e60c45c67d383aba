#include "app/ProgressWindow.h"

namespace tarsil {

std::string AboutVersionLine(std::string_view version) { return "Version " + std::string(version); }

void ProgressWindowState::Show(bool show_detail_button) {
  shown_ = true;
  detail_button_visible_ = show_detail_button;
  detail_down_ = false;  // every show starts collapsed, whatever the button was left at
}

void ProgressWindowState::Close() {
  shown_ = false;
  detail_down_ = false;
}

void ProgressWindowState::SetDetailDown(bool down) {
  if (!detail_button_visible_) return;
  detail_down_ = down;
}

int ProgressWindowState::ClientHeight() const {
  return detail_down_ ? kPanelTop + kPanelHeight + 3 : kPanelTop - 3;
}

}  // namespace tarsil

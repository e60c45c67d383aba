// The transfer window TransferWindow as state: shown or not, the detail button (visible only with
// its option, up or down) and the client height it gives, and where the execution log lives. Also
// the version text of the about box. Owned by the main-window controller; event thread only.
#pragma once

#include <string>
#include <string_view>

#ifndef TARSIL_VERSION_TEXT
#error "TARSIL_VERSION_TEXT comes from the build (CMakeLists.txt)"
#endif

namespace tarsil {

// The version text the Help menu stores in the about box, and the caption of the transfer window:
// both from the build's one version text, followed by a blank.
inline constexpr std::string_view kVersionText = TARSIL_VERSION_TEXT " ";
inline constexpr std::string_view kProgressCaption = "Tarsil " TARSIL_VERSION_TEXT " ";

// "Version " + the version text, as the about box shows it.
std::string AboutVersionLine(std::string_view version);

class TransferWindowState {
 public:
  // The holder panel of the log view: top 128, height 305; the client is 289 wide.
  static constexpr int kClientWidth = 289;
  static constexpr int kPanelTop = 128;
  static constexpr int kPanelHeight = 305;

  // On show: collapsed, the button shown only with the option, the log view moved in.
  void Show(bool show_detail_button);
  // On close: the log view goes back to the main window. Nothing when not shown.
  void Close();
  // The detail button was toggled; ignored when the button is not there.
  void SetDetailDown(bool down);

  bool Shown() const { return shown_; }
  bool DetailButtonVisible() const { return detail_button_visible_; }
  bool DetailDown() const { return detail_down_; }
  // 125 collapsed (only the label, the animation and the button), 436 with the log revealed.
  int ClientHeight() const;
  // True while the log view is held by the transfer window.
  bool HoldsLog() const { return shown_; }

 private:
  bool shown_ = false;
  bool detail_button_visible_ = false;
  bool detail_down_ = false;
};

}  // namespace tarsil

// The face of the main window as the controller sees it: a console in headless runs, Qt widgets on
// the desktop. Views render the controller's state and the execution log and answer questions;
// they hold no state of their own that the core depends on. Event thread only.
#pragma once

#include <string_view>

#include "script/ScriptHost.h"

namespace tarsil {

enum class Buttons { kOk, kYesNo, kYesNoCancel };
enum class Answer { kOk, kYes, kNo, kCancel };

class MainView {
 public:
  virtual ~MainView() = default;
  // A modal message box; returns when it is closed.
  virtual Answer ShowMessageBox(std::string_view text, std::string_view caption, Buttons buttons,
                                MessageIcon icon) = 0;
  // The caption, the status panels, the colours or the menus changed.
  virtual void StateChanged() = 0;
  // Only the transfer panel changed (once per data block: kept cheap).
  virtual void ProgressChanged() { StateChanged(); }
  // Save As: the chosen name (CP932), or false when cancelled.
  virtual bool ChooseSaveName(std::string& file_name) = 0;
};

}  // namespace tarsil

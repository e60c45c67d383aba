// What the script executor needs from the window that runs it: the execution log, the run's
// window state (cursor, menus, status panel), waits that keep events flowing, message boxes, and
// the options read at the moment of use. The main-window controller implements it; tests fake it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarsil {

enum class MessageIcon { kNone, kInformation, kError, kQuestion };

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  virtual void WriteLog(std::string_view line) = 0;
  // Start of a run or step: remember status panel 0 and show "実行中", hourglass, disable menus.
  virtual void BeginRun() = 0;
  // End of a run or step, also after a failure: undo BeginRun.
  virtual void EndRun() = 0;
  // Waits while dispatching events; the executor's pacing and "WaitTimer" go through here.
  virtual void WaitWithMessages(uint32_t milliseconds) = 0;
  virtual void ProcessMessages() = 0;
  // A modal message box with an OK button; returns when it is closed.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  virtual int TimeoutSeconds() = 0;                        // the time-out option
  virtual bool PassiveOption() = 0;                        // the passive-mode option
  virtual void ServerOpened(std::string_view server) = 0;  // remembered for the status bar
  virtual std::string ScriptFileName() = 0;
};

}  // namespace tarsil

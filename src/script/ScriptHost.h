// What the script executor needs from the window that runs it: the execution log, the run's
// window state (cursor, menus, status panel), waits that keep events flowing, message boxes, and
// the options read at the moment of use. The main-window controller implements it; tests fake it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/FtpCharset.h"
#include "platform/CodePage.h"
#include "platform/TextEncoding.h"

namespace tarsil {

enum class MessageIcon { kNone, kInformation, kError, kQuestion };

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  virtual void WriteLog(std::string_view line) = 0;
  // A UTF-8 line that may name something CP932 cannot hold; by default written with "?" there.
  virtual void WriteLogUtf8(std::string_view utf8) { WriteLog(Utf8ToCp932(utf8)); }
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
  // The encoding of the files the script writes ("Dir" output) and which text the server's
  // names are in unless the script says otherwise; by default today's plain CP932.
  virtual TextEncoding FileEncoding() { return TextEncoding::kCp932; }
  virtual ServerCharset ServerCharsetOption() { return ServerCharset::kCp932; }
};

}  // namespace tarsil

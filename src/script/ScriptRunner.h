// The script executor: runs a script whole or one line at a time. Each line is expanded against
// the stored values, written to the execution log, dispatched by its keyword and paced by 500 ms.
// It keeps the result state that "if" tests. Owned by the main-window controller, which supplies
// the host (log, waits, message boxes, options); event thread only.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "script/ScriptHost.h"
#include "script/StoredValues.h"
#include "session/FtpSession.h"

namespace tarsil {

class ScriptRunner {
 public:
  // "stop" and a "goto" to a missing label set the line index here; it is past the end of any
  // script, however long.
  static constexpr int32_t kEndOfScript = std::numeric_limits<int32_t>::max() - 1;

  ScriptRunner(ScriptHost& host, FtpSession& ftp, StoredValues& values);

  // A whole run over a copy of the lines.
  void Run(const std::vector<std::string>& lines);
  // Executes the one line at `line_index` and returns the index of the line to put the caret on.
  // Failures of the line propagate to the caller.
  int32_t Step(const std::vector<std::string>& lines, int32_t line_index);

  // Runs the line through its keyword's handler; "goto" and "stop" overwrite `line_index`.
  void ExecuteLine(const std::string& line, int32_t& line_index);

  bool ResultState() const { return result_state_; }  // true: NonError
  void SetResultState(bool non_error) { result_state_ = non_error; }
  bool Running() const { return running_; }
  // Clearing makes a whole run stop after the current line (and a WaitTimer within a second).
  void ClearRunning() { running_ = false; }
  int32_t LineIndex() const { return line_index_; }

  // What the last whole run leaves for an exit status: the N of a "stop N" that ended it, and
  // whether any line set the result state to Error or failed outright (a dropped failure).
  std::optional<int> StopStatus() const { return stop_status_; }
  bool ErrorSeen() const { return error_seen_; }

 private:
  void RunScript();
  void RunWhole();
  void RunPreparation();
  std::string Expand(const std::string& line);

  void ExecuteFtpCommand(int keyword, std::string args);
  void ExecuteDir(std::string args);
  void ExecuteWaitTimer(const std::string& rest);
  void ExecuteLocalCd(std::string args);
  void ExecuteLocalDelete(std::string args);
  // A failure of the line's own: a "999 " line and the state Error.
  void LineFailed(std::string_view text);
  void SetFromCode(int code) {
    if (code > 400) SetError();
  }
  void SetError() {
    result_state_ = false;
    error_seen_ = true;
  }

  ScriptHost& host_;
  FtpSession& ftp_;
  StoredValues& values_;
  std::vector<std::string> run_list_;
  int32_t line_index_ = -1;
  bool result_state_ = false;  // Error at start-up
  bool running_ = false;
  std::optional<int> stop_status_;
  bool error_seen_ = false;
};

}  // namespace tarsil

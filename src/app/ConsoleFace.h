// The headless face of the main window: the execution log is echoed line by line to standard
// output in UTF-8, message boxes go to standard error, an OK box waits for Enter only when standard
// input is a terminal, and SIGINT/SIGTERM count as the user confirming the close. On a terminal a
// transfer shows one progress line that is redrawn in place and erased before the next log line.
// Owns its signal pipe and watches; event thread only.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "app/MainController.h"
#include "app/MainView.h"
#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

namespace tarsil {

class ConsoleFace : public MainView {
 public:
  // `out` and `err` receive the log and the message boxes; `input_fd` is read for Enter when it is
  // a terminal (or when `input_is_terminal` says so, for tests).
  ConsoleFace(EventLoop& loop, MainController& form, std::FILE* out = stdout,
              std::FILE* err = stderr, int input_fd = 0, bool input_is_terminal = false);

  // Colours the lines by their kind (ANSI escapes); on by default only when standard output is a
  // terminal, so files and pipes get the plain text.
  void SetColored(bool on) { colored_ = on; }
  // The progress line of transfers; on by default only when standard output is a terminal.
  void SetProgressLine(bool on, int columns = 80) {
    progress_line_ = on;
    columns_ = columns;
  }
  ~ConsoleFace() override;
  ConsoleFace(const ConsoleFace&) = delete;
  ConsoleFace& operator=(const ConsoleFace&) = delete;

  // Catches SIGINT and SIGTERM for as long as this face lives.
  void CatchSignals();
  // What a caught signal does: confirm the close of the window.
  void OnCloseSignal(int signal_number);
  // The first signal that forced the close, or 0.
  int CloseSignal() const { return close_signal_; }

  Answer ShowMessageBox(std::string_view text, std::string_view caption, Buttons buttons,
                        MessageIcon icon) override;
  void StateChanged() override {}
  void ProgressChanged() override;
  bool ChooseSaveName(std::string& file_name) override;

 private:
  void WaitForEnter();
  void EraseProgress();

  EventLoop& loop_;
  MainController& form_;
  std::FILE* out_;
  std::FILE* err_;
  int input_fd_;
  bool input_is_terminal_;
  int log_listener_ = 0;
  UniqueFd signal_read_;
  UniqueFd signal_write_;
  FdWatch signal_watch_;
  bool close_signalled_ = false;
  int close_signal_ = 0;
  bool colored_ = false;
  bool progress_line_ = false;
  bool progress_shown_ = false;
  int columns_ = 80;
  std::string transfer_name_;  // UTF-8
  std::chrono::steady_clock::time_point progress_drawn_;
};

}  // namespace tarsil

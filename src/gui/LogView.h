// Logmemo on the desktop: renders the execution log (ExecutionLog) as read-only rich text, each
// line in the colour it was added with, in the log's font (which follows its style), scrolled
// down one line per line added when AutoScroll is on. Keys, selection, copying and both scroll
// bars work as in any read-only text view. Like the log's memory, it keeps only the last lines of
// a long log, under a first line saying the earlier ones go to the log file. The widget may be
// moved between windows; it stays attached to the log. GUI thread.
#pragma once

#include <QPlainTextEdit>
#include <string>

#include "session/ExecutionLog.h"

namespace tarsil::gui {

class LogView : public QPlainTextEdit {
 public:
  LogView(ExecutionLog& log, QWidget* parent = nullptr);
  ~LogView() override;
  LogView(const LogView&) = delete;
  LogView& operator=(const LogView&) = delete;

 private:
  void AddLine(const LogLine& line);
  void FollowFont();
  void KeepTail();
  void ShowEarlierNote();

  ExecutionLog& log_;
  int line_listener_ = 0;
  int clear_listener_ = 0;
  bool has_lines_ = false;
  bool earlier_note_ = false;  // the first line is the note on earlier lines
  std::string shown_font_;
};

}  // namespace tarsil::gui

// Logmemo on the desktop: renders the execution log (TMFtpMessenger) as read-only rich text, each
// line in its kind's colour for the style it arrived in, the font following the style, scrolled
// down one line per line added when AutoScroll is on. The widget may be moved between windows;
// it stays attached to the log. GUI thread.
#pragma once

#include <QColor>
#include <QPlainTextEdit>

#include "session/FtpMsg.h"

namespace tarsil::gui {

// The colour of a line of `kind` added in `style`; plain lines are black.
QColor LogLineColour(LogKind kind, TMessengerStyle style);
// "Courier New" for msgClassic, "MS Sans Serif" for the others.
QString LogFontFamily(TMessengerStyle style);

class LogView : public QPlainTextEdit {
 public:
  LogView(TMFtpMessenger& log, QWidget* parent = nullptr);
  ~LogView() override;
  LogView(const LogView&) = delete;
  LogView& operator=(const LogView&) = delete;

 private:
  void AddLine(const LogLine& line);
  void FollowStyle();

  TMFtpMessenger& log_;
  int line_listener_ = 0;
  int clear_listener_ = 0;
  bool has_lines_ = false;
  TMessengerStyle shown_style_ = TMessengerStyle::msgClassic;
};

}  // namespace tarsil::gui

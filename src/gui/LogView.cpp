#include "gui/LogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>

#include "gui/Fonts.h"
#include "gui/GuiTexts.h"

namespace tarsil::gui {

QColor LogLineColour(LogKind kind, TMessengerStyle style) {
  const bool classic = style == TMessengerStyle::msgClassic;
  switch (kind) {
    case LogKind::kCommand:
      return classic ? QColor(0, 128, 0) : QColor(0, 0, 255);
    case LogKind::kError:
      return QColor(255, 0, 0);
    case LogKind::kReply:
      return classic ? QColor(0, 0, 0) : QColor(0, 128, 0);
    case LogKind::kStatus:
      return classic ? QColor(0, 0, 255) : QColor(128, 0, 128);
    case LogKind::kPlain:
      break;
  }
  return QColor(0, 0, 0);
}

QString LogFontFamily(TMessengerStyle style) {
  return Utf8(style == TMessengerStyle::msgClassic ? kClassicLogFontFamily : kMFtpLogFontFamily);
}

LogView::LogView(TMFtpMessenger& log, QWidget* parent) : QPlainTextEdit(parent), log_(log) {
  setObjectName("Logmemo");
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAttribute(Qt::WA_InputMethodEnabled, false);  // the input method stays closed
  QFont font(LogFontFamily(log_.Style()));
  font.setPixelSize(12);
  setFont(font);
  shown_style_ = log_.Style();
  for (const LogLine& line : log_.Lines()) AddLine(line);
  line_listener_ = log_.AddLineListener([this](const LogLine& line) { AddLine(line); });
  clear_listener_ = log_.AddClearListener([this] {
    clear();
    has_lines_ = false;
  });
}

LogView::~LogView() {
  log_.RemoveListener(line_listener_);
  log_.RemoveListener(clear_listener_);
}

void LogView::FollowStyle() {
  if (log_.Style() == shown_style_) return;
  shown_style_ = log_.Style();
  QFont changed = font();
  changed.setFamily(LogFontFamily(shown_style_));
  setFont(changed);
}

void LogView::AddLine(const LogLine& line) {
  FollowStyle();
  QTextCharFormat format;
  format.setForeground(LogLineColour(line.kind, shown_style_));
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (has_lines_) cursor.insertBlock();
  QString text = FromCp932(line.text);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // CR LF inside: several lines
  cursor.insertText(text, format);
  has_lines_ = true;
  if (log_.AutoScroll()) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + 1);
  }
}

}  // namespace tarsil::gui

#include "gui/LogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>

#include "gui/Fonts.h"
#include "gui/GuiMessages.h"

namespace tarsil::gui {

LogView::LogView(ExecutionLog& log, QWidget* parent) : QPlainTextEdit(parent), log_(log) {
  setObjectName("Logmemo");
  // Read-only, yet a text view for the keys: the caret moves with the arrows, Page Up/Down and
  // Ctrl+Home/End, Shift selects, Ctrl+C copies.
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Lines are not wrapped: a long one scrolls sideways instead of being cut off.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setAttribute(Qt::WA_InputMethodEnabled, false);  // the input method stays closed
  QFont font;
  font.setPixelSize(12);
  setFont(font);
  FollowFont();
  for (const LogLine& line : log_.Lines()) AddLine(line);
  if (log_.EarlierLines() > 0 && !earlier_note_) ShowEarlierNote();
  line_listener_ = log_.AddLineListener([this](const LogLine& line) { AddLine(line); });
  clear_listener_ = log_.AddClearListener([this] {
    clear();
    has_lines_ = false;
    earlier_note_ = false;
  });
}

LogView::~LogView() {
  log_.RemoveListener(line_listener_);
  log_.RemoveListener(clear_listener_);
}

// "Courier New" in the classic style, "MS Sans Serif" in the others; Fonts.cpp says what
// stands in for them.
void LogView::FollowFont() {
  if (log_.FontName() == shown_font_) return;
  shown_font_ = log_.FontName();
  QFont changed = font();
  changed.setFamily(FromCp932(shown_font_));
  setFont(changed);
}

void LogView::AddLine(const LogLine& line) {
  FollowFont();
  QTextCharFormat format;
  format.setForeground(QColor(line.color.red, line.color.green, line.color.blue));
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (has_lines_) cursor.insertBlock();
  QString text = QString::fromStdString(LineUtf8(line));       // names CP932 lacks included
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // CR LF inside: several lines
  cursor.insertText(text, format);
  has_lines_ = true;
  KeepTail();
  if (log_.AutoScroll()) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + 1);
  }
}

void LogView::ShowEarlierNote() {
  QTextCursor cursor(document());
  QTextCharFormat grey;
  grey.setForeground(QColor(128, 128, 128));
  cursor.insertText(Utf8(texts::kEarlierLogLines), grey);
  cursor.insertBlock();
  earlier_note_ = true;
}

// Past the log's tail, the oldest line goes for each new one.
void LogView::KeepTail() {
  const int limit = static_cast<int>(ExecutionLog::kTailLines) + (earlier_note_ ? 1 : 0);
  if (document()->blockCount() <= limit) return;
  if (!earlier_note_) ShowEarlierNote();
  QTextCursor cursor(document()->findBlockByNumber(1));
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

}  // namespace tarsil::gui

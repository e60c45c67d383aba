#include "gui/ScriptEditor.h"

#include <QKeyEvent>
#include <QTextBlock>

#include "gui/Fonts.h"
#include "gui/GuiTexts.h"

namespace tarsil::gui {

std::vector<std::string> EditorTextToLines(const QString& text) {
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  const QStringList pieces = text.split(QLatin1Char('\n'));
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    if (i == pieces.size() - 1 && pieces[i].isEmpty()) break;
    lines.push_back(ToCp932(pieces[i]));
  }
  return lines;
}

QString LinesToEditorText(const std::vector<std::string>& lines) {
  QString text;
  for (const std::string& line : lines) {
    text += FromCp932(line);
    text += QLatin1Char('\n');
  }
  return text;
}

ScriptEditor::ScriptEditor(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("Batmemo");
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFont(UiFont());
}

int ScriptEditor::CaretLine() const { return textCursor().blockNumber(); }

void ScriptEditor::PutCaretAtLine(int line, int line_count) {
  QTextCursor cursor(document());
  const QTextBlock block = document()->findBlockByNumber(line);
  if (line >= 0 && line < line_count && block.isValid()) {
    cursor.setPosition(block.position());
  } else {
    cursor.movePosition(QTextCursor::End);
  }
  setTextCursor(cursor);
}

bool ScriptEditor::event(QEvent* event) {
  // The text control claims Ctrl+A for select-all; in this window it is Save As.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_A && key->modifiers() == Qt::ControlModifier) {
      event->ignore();
      return false;
    }
  }
  return QPlainTextEdit::event(event);
}

void ScriptEditor::keyPressEvent(QKeyEvent* event) {
  // Not select-all either when Save As is disabled: Ctrl+A never selects the text.
  if (event->key() == Qt::Key_A && event->modifiers() == Qt::ControlModifier) {
    event->ignore();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

}  // namespace tarsil::gui

#include "gui/ScriptEditor.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QUrl>

#include "gui/Fonts.h"
#include "gui/GuiMessages.h"

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

namespace {

bool HoldsLocalFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

}  // namespace

QString DroppedScript(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString file = url.toLocalFile();
    const QString extension = QFileInfo(file).suffix().toLower();
    if (extension == QLatin1String("fcs") || extension == QLatin1String("fcx")) return file;
  }
  return QString();
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

void ScriptEditor::dragEnterEvent(QDragEnterEvent* event) {
  if (HoldsLocalFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  QPlainTextEdit::dragEnterEvent(event);
}

void ScriptEditor::dragMoveEvent(QDragMoveEvent* event) {
  if (HoldsLocalFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  QPlainTextEdit::dragMoveEvent(event);
}

void ScriptEditor::dropEvent(QDropEvent* event) {
  if (HoldsLocalFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  QPlainTextEdit::dropEvent(event);
}

}  // namespace tarsil::gui

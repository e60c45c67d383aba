// Batmemo on the desktop: the plain-text script editor with both scroll bars and no wrapping.
// It leaves Ctrl+A to the window (Save As) and dropped files to the window (which opens them),
// and converts between its Unicode text and the controller's CP932 lines. GUI thread.
#pragma once

#include <QPlainTextEdit>

class QMimeData;
#include <string>
#include <vector>

namespace tarsil::gui {

// The editor's lines: split at line ends; a final line end starts no further line.
std::vector<std::string> EditorTextToLines(const QString& text);
// The text for a list of lines: each line followed by a line end.
QString LinesToEditorText(const std::vector<std::string>& lines);
// The script file a drag carries: the first local file named .fcs or .fcx (any letter case);
// empty when there is none.
QString DroppedScript(const QMimeData* data);

class ScriptEditor : public QPlainTextEdit {
 public:
  explicit ScriptEditor(QWidget* parent = nullptr);

  // The line (0-based) that holds the caret: the line ends before it.
  int CaretLine() const;
  // The caret to the start of `line`, or to the end of the text past the last of `line_count`.
  void PutCaretAtLine(int line, int line_count);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Files dragged over the editor are not text for it: they go on to the window, which opens
  // a script file.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace tarsil::gui

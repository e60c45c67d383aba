// TMFtpMessenger: the execution-log model. It holds the lines of the log (script lines, session
// markers, protocol dialogue) with their kind, and tells attached views about every change so that
// a console or a window can render them. Owned by the main-window controller; event thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

// How a line is shown: plain lines come from the executor and the session; the others from the
// protocol engine through the log's kinds.
enum class LogKind { kPlain, kCommand, kError, kReply, kStatus };

// How protocol lines are labelled and coloured, and the view's font.
enum class TMessengerStyle { msgClassic, msgMFtp, msgMFtpTime };

struct LogLine {
  std::string text;  // CP932 bytes, no line end
  LogKind kind = LogKind::kPlain;
};

class TMFtpMessenger {
 public:
  using LineListener = std::function<void(const LogLine&)>;
  using ClearListener = std::function<void()>;

  // Appends one line of a kind with its surrounding blanks trimmed. With blank-line suppression
  // on, a blank text adds nothing.
  void AddLine(std::string_view text, LogKind kind);
  // Appends a plain line exactly as given (the executor's and the session's own lines).
  void AppendLine(std::string_view text);
  void Clear();

  const std::vector<LogLine>& Lines() const { return lines_; }
  std::vector<std::string> LineTexts() const;
  std::size_t LineCount() const { return lines_.size(); }

  bool AutoScroll() const { return auto_scroll_; }
  void SetAutoScroll(bool on) { auto_scroll_ = on; }
  // Views read it when a line arrives: a line keeps the colours of the style it came in.
  TMessengerStyle Style() const { return style_; }
  void SetStyle(TMessengerStyle style) { style_ = style; }
  bool SuppressBlankLines() const { return suppress_blank_; }
  void SetSuppressBlankLines(bool on) { suppress_blank_ = on; }

  // Views register here; the returned number removes the listener again.
  int AddLineListener(LineListener listener);
  int AddClearListener(ClearListener listener);
  void RemoveListener(int id);

 private:
  void Push(LogLine line);

  struct Listener {
    int id;
    LineListener on_line;
    ClearListener on_clear;
  };
  std::vector<LogLine> lines_;
  std::vector<Listener> listeners_;
  int next_listener_ = 1;
  bool auto_scroll_ = true;
  TMessengerStyle style_ = TMessengerStyle::msgClassic;
  bool suppress_blank_ = false;
};

}  // namespace tarsil

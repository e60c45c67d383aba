// ExecutionLog: the execution-log model. It takes the lines of the log (script lines, session
// markers, the protocol dialogue, engine notices and errors) with their kind and colour, turns the
// engine's information and error notices into lines in one of three styles, and tells attached
// views about every change so that a console or a window can render them. Every line goes to a
// spool file (the log files are written from it); memory holds only the last kTailLines lines for
// the views. Owned by the main-window controller; event thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpCodes.h"
#include "session/LogSpool.h"

namespace tarsil {

class FtpEngine;

// How a line is shown: plain lines come from the executor and the session; the others from the
// engine's notices.
enum class LogKind { kPlain, kCommand, kError, kReply, kStatus };

enum LogStyle { msgClassic, msgMFtp, msgMFtpTime };

struct LogColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const LogColor&) const = default;
};

struct LogLine {
  std::string text;  // CP932 bytes, no line end
  LogKind kind = LogKind::kPlain;
  LogColor color;  // the insertion colour in force when the line was added
  // Not empty for a line naming something CP932 cannot hold: its exact UTF-8 form (`text` then
  // shows "?" in place of such characters).
  std::string utf8{};
};

// A line as UTF-8 text: its exact form when it has one, else its text converted.
std::string LineUtf8(const LogLine& line);

// The colour of a kind in a style.
LogColor KindColor(LogStyle style, LogKind kind);
// The label put in front of a kind's first line in the classic style.
std::string_view KindLabel(LogKind kind);

class ExecutionLog {
 public:
  // Lines kept in memory for the views; older ones are only in the spool.
  static constexpr size_t kTailLines = 10000;

  using LineListener = std::function<void(const LogLine&)>;
  using ClearListener = std::function<void()>;
  // Asked before a notice is shown; setting `show` to false hides it.
  using ShowInfoQuery = std::function<void(FtpInfo info, bool& show)>;
  using ShowErrorQuery = std::function<void(FtpError error, bool& show)>;

  // Appends one line of a kind with its surrounding blanks trimmed. With blank-line suppression
  // on, a blank text adds nothing.
  void AddLine(std::string_view text, LogKind kind);
  // Appends a plain line exactly as given (the executor's and the session's own lines); it takes
  // the current insertion colour.
  void AppendLine(std::string_view text);
  // The same for a UTF-8 line that may name something with no CP932 form.
  void AppendLineUtf8(std::string_view utf8);
  // Shows a text of a kind in the current style: labels, colours, time stamps, several lines.
  void ShowText(std::string_view text, LogKind kind);
  void Clear();

  // The engine whose notices the log shows; attaching registers an information and an error
  // listener, detaching (or another engine) removes them. Null detaches.
  void SetClient(FtpEngine* engine);
  FtpEngine* Client() const { return client_; }
  ~ExecutionLog();

  // The engine's notices. `server` is the engine's Server property at the time.
  void HandleInfo(FtpInfo info, std::string_view text, std::string_view server);
  void HandleError(FtpError error, std::string_view text);

  // The last lines (at most kTailLines), oldest first.
  const std::deque<LogLine>& Lines() const { return tail_; }
  // Lines before the tail: they are in the spool (and so in the log file) only.
  uint64_t EarlierLines() const { return spool_.LineCount() - tail_.size(); }
  // Every line since the last Clear (from the spool when the tail no longer holds them all; a
  // line with a line break inside then comes back as several), and their number.
  std::vector<std::string> LineTexts() const;
  uint64_t LineCount() const { return spool_.LineCount(); }
  // Every line's text with CR LF after it, the bytes of a log file: in CP932, and in UTF-8 (where
  // a name CP932 lacks keeps its exact form). The UTF-8 one is kept only while UTF-8 log files
  // are wanted (on unless turned off); turning it on again fills it from the CP932 lines, so lines
  // from before keep CP932's form of such names.
  LogSpool& Spool() { return spool_; }
  LogSpool& SpoolUtf8() { return spool_utf8_; }
  void KeepUtf8Spool(bool on);

  LogStyle Style() const { return style_; }
  void SetStyle(LogStyle style);
  const std::string& FontName() const { return font_name_; }
  bool AutoScroll() const { return auto_scroll_; }
  void SetAutoScroll(bool on) { auto_scroll_ = on; }
  bool SuppressBlankLines() const { return suppress_blank_; }
  void SetSuppressBlankLines(bool on) { suppress_blank_ = on; }
  bool ConnectedLineShown() const { return connected_line_; }

  ShowInfoQuery OnMessageShow;
  ShowErrorQuery OnErrorShow;
  // The time stamp of the time-stamped style; replaceable for tests.
  std::function<std::string()> time_stamp;

  // Views register here; the returned number removes the listener again.
  int AddLineListener(LineListener listener);
  int AddClearListener(ClearListener listener);
  void RemoveListener(int id);

 private:
  void Push(LogLine line);
  void AddPiece(std::string_view text, LogKind kind);

  struct Listener {
    int id;
    LineListener on_line;
    ClearListener on_clear;
  };
  std::deque<LogLine> tail_;
  mutable LogSpool spool_;  // reading it back writes out what is pending first
  mutable LogSpool spool_utf8_;
  bool utf8_spool_ = true;
  std::vector<Listener> listeners_;
  int next_listener_ = 1;
  LogStyle style_ = msgClassic;
  std::string font_name_ = "Courier New";
  LogColor insertion_color_;
  bool auto_scroll_ = true;
  bool suppress_blank_ = false;
  bool connected_line_ = false;
  FtpEngine* client_ = nullptr;
  int info_slot_ = -1;
  int error_slot_ = -1;
};

}  // namespace tarsil

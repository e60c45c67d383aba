// Reading the control connection: LineReader cuts the received bytes into lines at CR LF and
// keeps the rest for the next read, knowing nothing of FTP; ReplyAssembler applies the FTP
// multi-line rule and says which line is the final line of a reply. Both are bounded, so a
// server cannot make them grow without limit. Plain values owned by the engine; one thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarsil {

// The received bytes without their NUL bytes: a NUL is dropped by itself, never what follows it.
std::string WithoutNulBytes(std::string_view bytes);

class LineReader {
 public:
  // A line (without its CR LF) may be at most this long; longer is a protocol fault.
  static constexpr size_t kMaxLineLength = 8192;

  enum class Result { kLine, kNeedMore, kTooLong };

  void Append(std::string_view bytes);
  // kLine: `line` holds the next complete line. kNeedMore: no complete line is left (the rest
  // stays as leftover). kTooLong: a line is longer than kMaxLineLength, ended or not; the
  // reader stays in that state until Clear.
  Result NextLine(std::string& line);
  // The bytes after the last CR LF taken so far.
  std::string_view Leftover() const;
  void Clear();

 private:
  std::string buffer_;
  size_t start_ = 0;  // bytes before this were handed out as lines
  size_t scan_ = 0;   // no CR LF starts before this position
  bool too_long_ = false;
};

class ReplyAssembler {
 public:
  // The lines of one multi-line reply, CR LF counted, may total at most this much.
  static constexpr size_t kMaxReplyLength = 1 << 20;

  enum class Result { kIgnored, kFinal, kTooLong };

  // kFinal: the line is the final line of a reply (a one-line reply, the last line of a
  // multi-line reply "xyz-" ... "xyz ", or a line shorter than four characters outside a
  // multi-line reply). kIgnored: an empty line, an opening "xyz-" line or a line inside.
  Result Take(std::string_view line);
  bool InMultiLine() const { return open_; }
  void Clear();

 private:
  bool open_ = false;
  std::string code_;  // the three characters of the open reply
  size_t length_ = 0;
};

}  // namespace tarsil

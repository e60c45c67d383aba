#include "ftp/ReplyReader.h"

namespace tarsil {

std::string WithoutNulBytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    if (c != '\0') text += c;
  }
  return text;
}

void LineReader::Append(std::string_view bytes) {
  if (too_long_) return;
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    scan_ -= start_;
    start_ = 0;
  }
  buffer_.append(bytes);
}

LineReader::Result LineReader::NextLine(std::string& line) {
  if (too_long_) return Result::kTooLong;
  const size_t end = buffer_.find("\r\n", scan_);
  if (end == std::string::npos) {
    // A CR at the very end may be the first half of a line end still on its way.
    const bool half_end = buffer_.size() > start_ && buffer_.back() == '\r';
    scan_ = half_end ? buffer_.size() - 1 : buffer_.size();
    if (scan_ - start_ > kMaxLineLength) {
      too_long_ = true;
      return Result::kTooLong;
    }
    return Result::kNeedMore;
  }
  if (end - start_ > kMaxLineLength) {
    too_long_ = true;
    return Result::kTooLong;
  }
  line.assign(buffer_, start_, end - start_);
  start_ = end + 2;
  scan_ = start_;
  return Result::kLine;
}

std::string_view LineReader::Leftover() const { return std::string_view(buffer_).substr(start_); }

void LineReader::Clear() {
  buffer_.clear();
  start_ = 0;
  scan_ = 0;
  too_long_ = false;
}

ReplyAssembler::Result ReplyAssembler::Take(std::string_view line) {
  if (line.empty()) return Result::kIgnored;
  if (open_) {
    const bool closing = line.size() >= 4 && line.substr(0, 3) == code_ && line[3] == ' ';
    if (!closing) {
      length_ += line.size() + 2;
      return length_ > kMaxReplyLength ? Result::kTooLong : Result::kIgnored;
    }
  } else if (line.size() >= 4 && line[3] == '-') {
    open_ = true;
    code_.assign(line.substr(0, 3));
    length_ = line.size() + 2;
    return Result::kIgnored;
  }
  open_ = false;
  return Result::kFinal;
}

void ReplyAssembler::Clear() {
  open_ = false;
  code_.clear();
  length_ = 0;
}

}  // namespace tarsil

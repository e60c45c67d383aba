#include "session/FtpMsg.h"

#include <algorithm>

namespace tarsil {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

void TMFtpMessenger::AddLine(std::string_view text, LogKind kind) {
  std::string_view trimmed = TrimmedBlanks(text);
  if (suppress_blank_ && trimmed.empty()) return;
  Push(LogLine{std::string(trimmed), kind});
}

void TMFtpMessenger::AppendLine(std::string_view text) {
  Push(LogLine{std::string(text), LogKind::kPlain});
}

void TMFtpMessenger::Push(LogLine line) {
  lines_.push_back(std::move(line));
  // Listeners may add or remove listeners while being told; iterate over a copy.
  auto listeners = listeners_;
  for (const Listener& listener : listeners) {
    if (listener.on_line) listener.on_line(lines_.back());
  }
}

void TMFtpMessenger::Clear() {
  lines_.clear();
  auto listeners = listeners_;
  for (const Listener& listener : listeners) {
    if (listener.on_clear) listener.on_clear();
  }
}

std::vector<std::string> TMFtpMessenger::LineTexts() const {
  std::vector<std::string> texts;
  texts.reserve(lines_.size());
  for (const LogLine& line : lines_) texts.push_back(line.text);
  return texts;
}

int TMFtpMessenger::AddLineListener(LineListener listener) {
  listeners_.push_back(Listener{next_listener_, std::move(listener), nullptr});
  return next_listener_++;
}

int TMFtpMessenger::AddClearListener(ClearListener listener) {
  listeners_.push_back(Listener{next_listener_, nullptr, std::move(listener)});
  return next_listener_++;
}

void TMFtpMessenger::RemoveListener(int id) {
  std::erase_if(listeners_, [id](const Listener& l) { return l.id == id; });
}

}  // namespace tarsil

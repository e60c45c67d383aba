#include "session/SessionParams.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace tarsil {

namespace {

// True when `line` is NAME=VALUE with NAME equal to `name`, letter case of ASCII letters
// ignored; bytes of two-byte characters compare exactly.
bool LineHasName(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == '=' &&
         SameTextAscii(line.substr(0, name.size()), name);
}

}  // namespace

std::vector<std::string>::iterator SessionParams::Find(std::string_view name) {
  return std::find_if(lines_.begin(), lines_.end(),
                      [name](const std::string& line) { return LineHasName(line, name); });
}

std::vector<std::string>::const_iterator SessionParams::Find(std::string_view name) const {
  return std::find_if(lines_.begin(), lines_.end(),
                      [name](const std::string& line) { return LineHasName(line, name); });
}

void SessionParams::Set(std::string_view name, std::string_view value) {
  auto it = Find(name);
  if (value.empty()) {
    if (it != lines_.end()) lines_.erase(it);
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (it != lines_.end()) {
    *it = std::move(line);
  } else {
    lines_.push_back(std::move(line));
  }
}

std::string SessionParams::Get(std::string_view name) const {
  auto it = Find(name);
  if (it == lines_.end()) return {};
  return it->substr(name.size() + 1);
}

}  // namespace tarsil

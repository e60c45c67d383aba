// The session parameters: an ordered NAME=VALUE list written by "setparam" and read by the
// multi-file operations and the log-file writer. Owned by the FTP session; cleared by the run
// preparation at the start of every run and step. Event thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

class SessionParams {
 public:
  // Replaces the value of `name` (letter case of ASCII letters ignored) or appends a new line;
  // an empty value removes the line. `name` is not expected to contain "=".
  void Set(std::string_view name, std::string_view value);
  // The value of `name`, or empty text when it is not in the list.
  std::string Get(std::string_view name) const;
  void Clear() { lines_.clear(); }
  // The lines as NAME=VALUE, in the order the names were first set.
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string>::iterator Find(std::string_view name);
  std::vector<std::string>::const_iterator Find(std::string_view name) const;

  std::vector<std::string> lines_;
};

}  // namespace tarsil

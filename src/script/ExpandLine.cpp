#include "script/ExpandLine.h"

#include "platform/CodePage.h"
#include "platform/TextHelpers.h"

namespace tarsil {

std::string ExpandLine(std::string_view line,
                       const std::function<std::string(std::string_view name)>& lookup) {
  std::string output;
  std::string pending;  // empty outside a reference; starts with "%" inside one
  for (std::size_t pos = 0; pos < line.size();) {
    const std::size_t length = CharLengthAt(line, pos);
    const std::string_view ch = line.substr(pos, length);
    pos += length;
    std::string& target = pending.empty() ? output : pending;
    if (ch == "\\" && pos < line.size() && line[pos] == '%') {
      ++pos;
      target += '%';
    } else if (ch == "%") {
      if (pending.empty()) {
        pending += '%';  // pending is empty here
      } else {
        output += lookup(std::string_view(pending).substr(1));
        pending.clear();
      }
    } else {
      target += ch;
    }
  }
  output += pending;
  return output;
}

SetCommand ParseSet(std::string_view word) {
  std::string rest(word);
  SetCommand command;
  command.name = NextToken(rest, "=");
  command.value = std::move(rest);
  return command;
}

std::optional<SetCommand> ParseSetParam(std::string_view rest) {
  SetCommand command = ParseSet(rest);
  if (command.name.empty()) return std::nullopt;
  command.name = UpperCaseAscii(command.name);
  command.value = UpperCaseAscii(command.value);
  return command;
}

}  // namespace tarsil

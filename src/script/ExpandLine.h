// Stored-value references in script lines: %name% expansion applied to every line before it runs,
// and the readers of the "set" and "setparam" arguments. Pure apart from the caller's lookup;
// the script thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

// Replaces each %name% by lookup(name) in one pass. "\%" writes a literal "%"; an inserted value
// is not expanded again; a reference left open at the end of the line stays as written. Failures
// raised by `lookup` propagate.
std::string ExpandLine(std::string_view line,
                       const std::function<std::string(std::string_view name)>& lookup);

struct SetCommand {
  std::string name;
  std::string value;  // empty: remove
};

// Reads the word name=value of "set": leading "=" are skipped, the name runs to the next "=",
// the value is the rest of the word. Letter case is kept.
SetCommand ParseSet(std::string_view word);

// Reads the rest of a "setparam" line, NAME=VALUE cut at the first "=", both upper-cased, spaces
// kept. Empty when NAME is empty (the line does nothing).
std::optional<SetCommand> ParseSetParam(std::string_view rest);

}  // namespace tarsil

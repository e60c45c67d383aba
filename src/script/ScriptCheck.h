// The script checker: reads a script's lines without running anything and lists what would go
// wrong or silently do nothing: unknown keywords, jumps to missing labels, "if" lines that test
// nothing, commands without a required argument, unclosed quotes, bad WaitTimer times, "stop"
// with a word that is no exit status, and %name% values that are not stored. Pure apart from the
// caller's lookup of stored values; any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

struct CheckFinding {
  int line = 0;          // 1 for the first line of the script
  bool warning = false;  // true when the line may still be right at run time
  std::string text;      // English text; names from the script inside it stay CP932
};

// The stored value of a name, or nothing when it is not stored. Must not change the store.
using StoredValueLookup = std::function<std::optional<std::string>(std::string_view name)>;

// Checks every line as a whole run would read it: each line expanded against the stored values,
// comments and labels skipped. A %name% that is neither stored nor set by a "set" line of the
// script gives one warning, at its first use; checks that depend on its value are left out on
// the lines that use it.
std::vector<CheckFinding> CheckScript(const std::vector<std::string>& lines,
                                      const StoredValueLookup& stored);

// "name:line: text", or "name:line: warning: text".
std::string FormatFinding(std::string_view script_name, const CheckFinding& finding);

}  // namespace tarsil

// libFuzzer target for the script checker: the input is a script cut into lines at LF; names
// whose first byte is odd count as stored (with the name itself as the value), so both the
// expanded and the unresolved paths run.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/Keywords.h"
#include "script/ScriptCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  const tarsil::StoredValueLookup stored = [](std::string_view name) -> std::optional<std::string> {
    if (!name.empty() && (static_cast<unsigned char>(name[0]) & 1) != 0) return std::string(name);
    return std::nullopt;
  };
  for (const tarsil::CheckFinding& finding : tarsil::CheckScript(lines, stored)) {
    if (finding.line < 1 || static_cast<size_t>(finding.line) > lines.size()) __builtin_trap();
    (void)tarsil::FormatFinding("fuzz.fcs", finding);
  }
  for (const std::string& line : lines) (void)tarsil::ParseStopStatus(line);
  return 0;
}

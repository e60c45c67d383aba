// `tarsil --check PATH` and the check the editor runs before a whole run: the script checker fed
// with a script file (plain or scrambled) and the stored values, read without changing the
// settings store. Event thread only.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"
#include "script/ScriptCheck.h"

namespace tarsil {

// The stored values as the checker sees them: read only; a store that cannot be read counts as
// holding nothing.
StoredValueLookup ReadOnlyStoredValues(const SettingsStore& store);

// The findings for the lines, each formatted with the script's name, in CP932.
std::vector<std::string> CheckScriptLines(const std::vector<std::string>& lines,
                                          const std::string& script_name,
                                          const SettingsStore& store);

// Checks the script at `path` (native text) against the store at its default place. Findings go
// to `out` in UTF-8, one line each; a script that cannot be read is reported on `err`. Returns 0
// when nothing was found, 1 when something was, 2 when the script could not be read.
int RunCheckCommand(const std::string& path, std::FILE* out, std::FILE* err);

}  // namespace tarsil

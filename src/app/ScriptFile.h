// Script files: plain `fcs` text and line-scrambled `fcx`, chosen by the extension alone. Lines are
// CP932 bytes; files end every line with CR LF; on reading CR LF, a lone CR and a lone LF each end
// a line. Pure functions plus whole-file reads and writes; event thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/ScriptText.h"

namespace tarsil {

std::vector<std::string> SplitTextLines(std::string_view text);
std::string JoinTextLines(const std::vector<std::string>& lines);

// True when the extension, upper-cased, is ".FCX".
bool IsScrambledScriptName(std::string_view file_name);

// Decodes every line of a scrambled script in place. A line that cannot be decoded stops the work
// there: the lines before it are decoded, it and the rest stay as they were, and the failure is
// thrown.
void DecodeScriptLines(std::vector<std::string>& lines);

// Writes a script, scrambled (always CP932) when its name says so, else in `encoding`. Throws
// std::runtime_error when it cannot.
void StoreScriptFile(std::string_view file_name, const std::vector<std::string>& lines,
                     const ScriptEncoding& encoding = {});

}  // namespace tarsil

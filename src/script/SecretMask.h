// Hides secrets in a script line before it is written to the execution log: the password word of
// "Login" (also behind "if") and the argument of a raw "FTP PASS ..." or "FTP ACCT ..." line. The
// line that is executed stays as it is. Pure function.
#pragma once

#include <string>
#include <string_view>

namespace tarsil {

inline constexpr std::string_view kMaskedSecret = "********";

std::string MaskSecretsForLog(std::string_view line);

}  // namespace tarsil

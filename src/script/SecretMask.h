// Hides secrets in a script line before it is written to the execution log: the password word of
// "Login" (also behind "if") and the argument of a raw "FTP PASS ..." or "FTP ACCT ..." line. The
// line is cut by the very tokenizer that executes it, so the mask covers the word that is sent.
// The line that is executed stays as it is. Pure function.
#pragma once

#include <string>
#include <string_view>

#include "ftp/FtpText.h"  // kMaskedSecret

namespace tarsil {

std::string MaskSecretsForLog(std::string_view line);

}  // namespace tarsil

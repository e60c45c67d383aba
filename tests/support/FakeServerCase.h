// The fake server's part of a case file (CaseFile.h): the directives that script a FakeFtpServer
// ("greeting", "on", "sequence", "serve", "transfer", ...) and the reply form they use. Shared by
// the engine cases and the script cases; test code only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/CaseFile.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {

// "[after 50ms] [raw] [bytes] [close] [reset] [silence] text": the text gets CR LF unless raw.
FakeReply ParseFakeReply(const std::string& value);
// Block lines "data BYTES", "preliminary REPLY", "complete REPLY", "failed REPLY", "endless",
// "stall", "cut N [reset]", "pace N 500ms" (N bytes at a time, a pause after each piece).
FakeTransfer ParseFakeTransfer(const std::vector<std::string>& lines);
// Applies one server directive; false when the keyword is none of them. `values` fills "{key}"
// in patterns and replies. Throws std::invalid_argument on a malformed one.
bool ApplyServerDirective(FakeFtpServer& server, const CaseDirective& directive,
                          const std::map<std::string, std::string>& values);

}  // namespace tarsil::testing

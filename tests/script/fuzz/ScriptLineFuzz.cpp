// libFuzzer target for one script line on its way through the executor: %name% expansion, the
// keyword split, the argument readers, and the log mask. The mask is checked against the words
// the executor would send: after masking, the password word of "Login" (behind any number of
// "if") reads "********" and the user word is unchanged; a raw PASS/ACCT argument likewise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/FtpCodes.h"
#include "ftp/FtpText.h"
#include "platform/TextHelpers.h"
#include "script/ExpandLine.h"
#include "script/Keywords.h"
#include "script/SecretMask.h"

namespace {

using tarsil::Keyword;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The command the executor runs for this line, "if" followed whatever the condition.
tarsil::CommandLine Executed(std::string line) {
  while (true) {
    tarsil::CommandLine command = tarsil::SplitCommand(line);
    if (!command.keyword || *command.keyword != Keyword::kIf) return command;
    std::string args = command.args;
    tarsil::NextToken(args, " ");
    line = args;
  }
}

struct LoginWords {
  std::string user;
  std::string password;
};

std::optional<LoginWords> Login(const std::string& line) {
  tarsil::CommandLine command = Executed(line);
  if (!command.keyword || *command.keyword != Keyword::kLogin) return std::nullopt;
  std::string args = command.args;
  LoginWords words;
  words.user = tarsil::NextToken(args, " ");
  words.password = tarsil::NextToken(args, " ");
  return words;
}

std::optional<std::string> RawCommand(const std::string& line) {
  tarsil::CommandLine command = Executed(line);
  if (!command.keyword || *command.keyword != Keyword::kFtp) return std::nullopt;
  return command.args;
}

void CheckMask(const std::string& line) {
  const std::string masked = tarsil::MaskSecretsForLog(line);
  if (std::optional<LoginWords> words = Login(line)) {
    std::optional<LoginWords> shown = Login(masked);
    Check(shown.has_value());
    Check(shown->user == words->user);
    Check(shown->password ==
          (words->password.empty() ? std::string() : std::string(tarsil::kMaskedSecret)));
  } else if (std::optional<std::string> raw = RawCommand(line)) {
    const tarsil::CommandSecret secret = tarsil::FindCommandSecret(*raw);
    std::optional<std::string> shown = RawCommand(masked);
    Check(shown.has_value());
    if (secret.found && secret.begin < secret.end) {
      Check(shown->substr(secret.begin) == tarsil::kMaskedSecret);
    } else {
      Check(*shown == *raw);
    }
    if (secret.found) {
      const std::string engine = tarsil::MaskCommandLine(*raw + "\r\n");
      Check(engine == tarsil::kMaskedPass || engine == tarsil::kMaskedAcct);
    }
  } else {
    Check(masked == line);
  }
}

void ReadArguments(const std::string& line) {
  tarsil::CommandLine command = tarsil::SplitCommand(line);
  std::string args = command.args;
  for (int i = 0; i < 4 && !args.empty(); ++i) (void)tarsil::NextArgument(args);
  (void)tarsil::ParseDirArgs(command.args);
  (void)tarsil::ParseSet(command.args);
  (void)tarsil::ParseSetParam(command.args);
  (void)tarsil::LooseStrToInt(command.args);
  (void)tarsil::TrimSpaces(command.args);
  (void)tarsil::TrimBlanks(command.args);
  (void)tarsil::FindLabel({line, command.args}, command.args);
  // NextToken and FindToken cut at the same place.
  for (std::string_view separators : {" ", " \t", "\"", "\r\n"}) {
    std::string source = command.args;
    const tarsil::TokenSpan span = tarsil::FindToken(source, separators);
    const std::string token = tarsil::NextToken(source, separators);
    Check(token == command.args.substr(span.begin, span.end - span.begin));
    Check(source == command.args.substr(span.rest));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  // Values that hold what a reference could trip on: percent signs, lead bytes, spaces.
  const std::string expanded = tarsil::ExpandLine(line, [](std::string_view name) {
    if (name.empty()) return std::string();
    return std::string(name.size() % 2 ? "%\x81 " : "p w") + std::string(name.substr(1));
  });
  CheckMask(line);
  CheckMask(expanded);
  ReadArguments(expanded);
  return 0;
}

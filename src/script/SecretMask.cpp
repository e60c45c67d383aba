#include "script/SecretMask.h"

#include "platform/TextHelpers.h"
#include "script/Keywords.h"

namespace tarsil {

std::string MaskSecretsForLog(std::string_view line) {
  const CommandLine command = SplitCommand(line);
  if (!command.keyword) return std::string(line);
  // SplitCommand only cuts from the front: the argument text is the end of the line.
  const size_t args_at = line.size() - command.args.size();
  const std::string_view args = line.substr(args_at);
  switch (*command.keyword) {
    case Keyword::kIf: {
      // The executor runs what follows the condition word as a line of its own.
      const size_t inner_at = args_at + FindToken(args, " ").rest;
      return std::string(line.substr(0, inner_at)) + MaskSecretsForLog(line.substr(inner_at));
    }
    case Keyword::kLogin: {
      // "Login" reads two words: the user, then the password.
      const TokenSpan user = FindToken(args, " ");
      const TokenSpan password = FindToken(args.substr(user.rest), " ");
      if (password.begin >= password.end) return std::string(line);
      const size_t begin = args_at + user.rest + password.begin;
      const size_t end = args_at + user.rest + password.end;
      return std::string(line.substr(0, begin)) + std::string(kMaskedSecret) +
             std::string(line.substr(end));
    }
    case Keyword::kFtp:
      // "FTP" sends the argument text unchanged as one command line.
      return std::string(line.substr(0, args_at)) + MaskCommandSecret(args);
    default:
      return std::string(line);
  }
}

}  // namespace tarsil

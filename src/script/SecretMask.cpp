#include "script/SecretMask.h"

#include "platform/CodePage.h"
#include "platform/TextHelpers.h"
#include "script/Keywords.h"

namespace tarsil {
namespace {

// Offset of the first byte that is not a half-width space.
size_t SkipSpaces(std::string_view text, size_t from) {
  while (from < text.size() && text[from] == ' ') ++from;
  return from;
}

// End of the word that starts at `from` (the next half-width space, lead-byte aware).
size_t WordEnd(std::string_view text, size_t from) {
  size_t i = from;
  while (i < text.size() && text[i] != ' ') {
    i += IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return i;
}

std::string ReplaceRange(std::string_view line, size_t begin, size_t end) {
  if (begin >= end) return std::string(line);
  return std::string(line.substr(0, begin)) + std::string(kMaskedSecret) +
         std::string(line.substr(end));
}

}  // namespace

std::string MaskSecretsForLog(std::string_view line) {
  std::string rest(line);
  std::string keyword_text = TrimSpaces(NextToken(rest, " \t"));
  std::optional<Keyword> keyword = FindKeyword(keyword_text);
  if (!keyword) return std::string(line);
  const size_t args_at = line.size() - rest.size();  // NextToken only cuts from the front

  if (*keyword == Keyword::kIf) {
    std::string after_condition = rest;
    NextToken(after_condition, " ");
    const size_t inner_at = line.size() - after_condition.size();
    return std::string(line.substr(0, inner_at)) + MaskSecretsForLog(line.substr(inner_at));
  }
  if (*keyword == Keyword::kLogin) {
    size_t user_begin = SkipSpaces(line, args_at);
    size_t user_end = WordEnd(line, user_begin);
    // NextToken consumes exactly one separator after the user word.
    size_t password_begin = SkipSpaces(line, user_end < line.size() ? user_end + 1 : user_end);
    return ReplaceRange(line, password_begin, WordEnd(line, password_begin));
  }
  if (*keyword == Keyword::kFtp) {
    size_t command_begin = SkipSpaces(line, args_at);
    size_t command_end = WordEnd(line, command_begin);
    std::string command = UpperCaseAscii(line.substr(command_begin, command_end - command_begin));
    if ((command == "PASS" || command == "ACCT") && command_end < line.size()) {
      return ReplaceRange(line, command_end + 1, line.size());
    }
  }
  return std::string(line);
}

}  // namespace tarsil

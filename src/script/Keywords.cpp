#include "script/Keywords.h"

#include <array>

#include "platform/CodePage.h"
#include "platform/TextHelpers.h"

namespace tarsil {

namespace {

struct KeywordEntry {
  Keyword keyword;
  std::string_view text;
  KeywordGroup group;
};

constexpr std::array<KeywordEntry, kKeywordCount> kKeywords = {{
    {Keyword::kOpen, "Open", KeywordGroup::kFtp},
    {Keyword::kLogin, "Login", KeywordGroup::kFtp},
    {Keyword::kGet, "Get", KeywordGroup::kFtp},
    {Keyword::kPut, "Put", KeywordGroup::kFtp},
    {Keyword::kAppend, "Append", KeywordGroup::kFtp},
    {Keyword::kBinary, "Binary", KeywordGroup::kFtp},
    {Keyword::kAscii, "Ascii", KeywordGroup::kFtp},
    {Keyword::kCd, "Cd", KeywordGroup::kFtp},
    {Keyword::kDir, "Dir", KeywordGroup::kFtp},
    {Keyword::kDel, "Del", KeywordGroup::kFtp},
    {Keyword::kMd, "md", KeywordGroup::kFtp},
    {Keyword::kRd, "rd", KeywordGroup::kFtp},
    {Keyword::kRename, "rename", KeywordGroup::kFtp},
    {Keyword::kMget, "Mget", KeywordGroup::kFtp},
    {Keyword::kMput, "Mput", KeywordGroup::kFtp},
    {Keyword::kMdel, "Mdel", KeywordGroup::kFtp},
    {Keyword::kFtp, "FTP", KeywordGroup::kFtp},
    {Keyword::kBye, "Bye", KeywordGroup::kFtp},
    {Keyword::kDialup, "Dialup", KeywordGroup::kFtp},
    {Keyword::kDisconnect, "Disconnect", KeywordGroup::kFtp},
    {Keyword::kRem, "Rem", KeywordGroup::kRemark},
    {Keyword::kIf, "if", KeywordGroup::kControl},
    {Keyword::kGoto, "goto", KeywordGroup::kControl},
    {Keyword::kStop, "stop", KeywordGroup::kControl},
    {Keyword::kPause, "pause", KeywordGroup::kControl},
    {Keyword::kWaitTimer, "WaitTimer", KeywordGroup::kControl},
    {Keyword::kSet, "set", KeywordGroup::kControl},
    {Keyword::kSetParam, "setparam", KeywordGroup::kControl},
    {Keyword::kLcd, "lcd", KeywordGroup::kLocal},
    {Keyword::kLdel, "ldel", KeywordGroup::kLocal},
    {Keyword::kLmdel, "lmdel", KeywordGroup::kLocal},
}};

const KeywordEntry& EntryOf(Keyword keyword) {
  return kKeywords[static_cast<std::size_t>(keyword)];
}

constexpr bool TableInEnumOrder() {
  for (std::size_t i = 0; i < kKeywords.size(); ++i) {
    if (static_cast<std::size_t>(kKeywords[i].keyword) != i) return false;
  }
  return true;
}
static_assert(TableInEnumOrder(), "keyword table must follow the order of Keyword");

}  // namespace

std::optional<Keyword> FindKeyword(std::string_view text) {
  for (const KeywordEntry& entry : kKeywords) {
    if (SameTextAscii(text, entry.text)) return entry.keyword;
  }
  return std::nullopt;
}

std::string_view KeywordText(Keyword keyword) { return EntryOf(keyword).text; }

KeywordGroup GroupOf(Keyword keyword) { return EntryOf(keyword).group; }

CommandLine SplitCommand(std::string_view line) {
  CommandLine command;
  command.args = std::string(line);
  command.keyword_text = TrimSpaces(NextToken(command.args, " \t"));
  command.keyword = FindKeyword(command.keyword_text);
  return command;
}

int FindLabel(const std::vector<std::string>& lines, std::string_view label_word) {
  const std::string label = ":" + std::string(label_word);
  for (std::size_t index = 0; index < lines.size(); ++index) {
    std::string line = lines[index];
    if (SameTextAscii(NextToken(line, " "), label)) return static_cast<int>(index);
  }
  return -1;
}

std::optional<int> ParseStopStatus(std::string_view args) {
  std::size_t begin = 0;
  std::size_t end = args.size();
  while (begin < end && static_cast<unsigned char>(args[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(args[end - 1]) <= 0x20) --end;
  const std::string_view digits = args.substr(begin, end - begin);
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return std::nullopt;
  return value;
}

DirArgs ParseDirArgs(std::string args) {
  DirArgs result;
  for (std::size_t pos = 0; pos < args.size(); pos += CharLengthAt(args, pos)) {
    if (args[pos] != '>') continue;
    std::string_view name = std::string_view(args).substr(pos + 1);
    // Cut at the limit without splitting a two-byte character.
    std::size_t length = 0;
    while (length < name.size()) {
      const std::size_t next = length + CharLengthAt(name, length);
      if (next > kDirOutputNameMax) break;
      length = next;
    }
    result.output_file = std::string(name.substr(0, length));
    args = TrimBlanks(std::string_view(args).substr(0, pos));
    break;
  }
  result.path = NextArgument(args);
  return result;
}

}  // namespace tarsil

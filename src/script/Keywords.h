// The script vocabulary: the 31 keywords with their groups and canonical spelling, the split of a
// command line into keyword and argument text, label search for "goto", and the argument split of
// "Dir". Pure functions over CP932 text; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

enum class Keyword {
  // FTP group: each sets the result state.
  kOpen,
  kLogin,
  kGet,
  kPut,
  kAppend,
  kBinary,
  kAscii,
  kCd,
  kDir,
  kDel,
  kMd,
  kRd,
  kRename,
  kMget,
  kMput,
  kMdel,
  kFtp,
  kBye,
  kDialup,
  kDisconnect,
  // Remark.
  kRem,
  // Control.
  kIf,
  kGoto,
  kStop,
  kPause,
  kWaitTimer,
  kSet,
  kSetParam,
  // Local.
  kLcd,
  kLdel,
  kLmdel,
};

inline constexpr int kKeywordCount = 31;

enum class KeywordGroup { kFtp, kControl, kLocal, kRemark };

// Matches `text` against the keywords without regard to ASCII letter case.
std::optional<Keyword> FindKeyword(std::string_view text);

// The keyword as the language spells it ("Open", "WaitTimer", "setparam").
std::string_view KeywordText(Keyword keyword);

KeywordGroup GroupOf(Keyword keyword);

struct CommandLine {
  std::string keyword_text;        // first word, full-width and half-width spaces trimmed
  std::optional<Keyword> keyword;  // empty when the word is no keyword
  std::string args;                // the rest after the keyword and one space or tab
};

// Cuts a line into its keyword (ended by a space or a tab) and its argument text.
CommandLine SplitCommand(std::string_view line);

// Index of the first line whose first space-separated word is ":" + `label_word` (letter case
// ignored), or -1 when there is none. `label_word` is the word after "goto", without the colon.
int FindLabel(const std::vector<std::string>& lines, std::string_view label_word);

// The exit status named by "stop N": the argument text, blanks trimmed, is a whole number 0-255
// written in at most three digits. Anything else (nothing, a sign, a fraction, a word, more words)
// gives nothing, and the line is a plain "stop".
std::optional<int> ParseStopStatus(std::string_view args);

inline constexpr std::size_t kDirOutputNameMax = 999;

struct DirArgs {
  std::string path;                        // first argument before ">" (may be empty)
  std::optional<std::string> output_file;  // text after the first ">", as written
};

// Reads the argument text of "Dir": an optional path and an optional ">" followed by the name
// of the file that receives the listing (leading spaces of that name kept).
DirArgs ParseDirArgs(std::string args);

}  // namespace tarsil

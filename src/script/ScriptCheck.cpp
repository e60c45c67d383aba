#include "script/ScriptCheck.h"

#include <algorithm>
#include <set>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/TextHelpers.h"
#include "script/ExpandLine.h"
#include "script/Keywords.h"

namespace tarsil {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Edit distance without regard to ASCII letter case, for "did you mean".
std::size_t Distance(std::string_view a, std::string_view b) {
  const std::string x = UpperCaseAscii(a);
  const std::string y = UpperCaseAscii(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

std::string Suggestion(std::string_view word) {
  if (word.size() < 3) return {};
  std::string best;
  std::size_t best_distance = 3;
  for (int k = 0; k < kKeywordCount; ++k) {
    const std::string_view keyword = KeywordText(static_cast<Keyword>(k));
    const std::size_t distance = Distance(word, keyword);
    if (distance < best_distance) {
      best_distance = distance;
      best = std::string(keyword);
    }
  }
  return best.empty() ? best : " (did you mean " + best + "?)";
}

// What one line needs; `what` names the missing argument.
struct Needs {
  enum class Form { kNone, kWord, kArg, kArgAndOptional, kTwoArgs, kRest };
  Form form = Form::kNone;
  const char* what = "";
};

Needs NeedsOf(Keyword keyword) {
  using F = Needs::Form;
  switch (keyword) {
    case Keyword::kOpen:
      return {F::kWord, "a server name"};
    case Keyword::kLogin:
      return {F::kWord, "a user name"};
    case Keyword::kGet:
      return {F::kArgAndOptional, "a remote file name"};
    case Keyword::kDel:
      return {F::kArg, "a remote file name"};
    case Keyword::kPut:
    case Keyword::kAppend:
      return {F::kArgAndOptional, "a local file name"};
    case Keyword::kLdel:
      return {F::kArg, "a local file name"};
    case Keyword::kCd:
    case Keyword::kMd:
    case Keyword::kRd:
      return {F::kArg, "a remote folder"};
    case Keyword::kLcd:
      return {F::kArg, "a local folder"};
    case Keyword::kMget:
    case Keyword::kMdel:
      return {F::kArg, "a remote name mask"};
    case Keyword::kMput:
      return {F::kArg, "a local name mask"};
    case Keyword::kRename:
      return {F::kTwoArgs, "an old and a new name"};
    case Keyword::kFtp:
      return {F::kRest, "an FTP command"};
    case Keyword::kLmdel:
      return {F::kRest, "a path and name mask"};
    default:
      return {};
  }
}

// Reads one argument as the executor does and tells whether it opens a quote it never closes.
std::string ReadArgument(std::string& args, bool& unclosed) {
  std::string copy = args;
  const std::string token = NextToken(copy, " ");
  if (!token.empty() && token[0] == '"') {
    // A double quote is never the second byte of a two-byte character, so bytes can be searched.
    const std::size_t open = args.find('"');
    const std::size_t start = args.find_first_not_of('"', open);
    if (start == std::string::npos || args.find('"', start) == std::string::npos) unclosed = true;
  }
  return NextArgument(args);
}

class Checker {
 public:
  Checker(const std::vector<std::string>& lines, const StoredValueLookup& stored)
      : lines_(lines), stored_(stored) {
    CollectSetNames();
  }

  std::vector<CheckFinding> Run() {
    for (std::size_t index = 0; index < lines_.size(); ++index) {
      line_ = static_cast<int>(index) + 1;
      unresolved_ = false;
      const std::string line = Expand(lines_[index]);
      if (!line.empty() && line[0] == '#') continue;
      CheckCommand(line);
    }
    return std::move(findings_);
  }

 private:
  void Add(std::string text, bool warning = false) {
    findings_.push_back(CheckFinding{line_, warning, std::move(text)});
  }

  void CollectSetNames() {
    for (const std::string& raw : lines_) {
      CommandLine command = SplitCommand(raw);
      if (command.keyword != Keyword::kSet) continue;
      std::string args = command.args;
      SetCommand set = ParseSet(NextToken(args, " "));
      if (!set.name.empty()) set_names_.insert(UpperCaseAscii(set.name));
    }
  }

  // Expands like a run; a name that is not stored keeps its reference text so that the shape of
  // the line stays, and the checks that need its value are skipped.
  std::string Expand(const std::string& raw) {
    return ExpandLine(raw, [&](std::string_view name) -> std::string {
      if (std::optional<std::string> value = stored_(name)) return *value;
      unresolved_ = true;
      const std::string key = UpperCaseAscii(name);
      if (!name.empty() && !set_names_.count(key) && warned_.insert(key).second) {
        Add("%" + std::string(name) +
                "% is not a stored value yet; it expands to nothing "
                "unless it is set before this line runs",
            true);
      }
      return "%" + std::string(name) + "%";
    });
  }

  void CheckCommand(const std::string& line) {
    CommandLine command = SplitCommand(line);
    if (command.keyword_text.empty() || command.keyword_text[0] == ':') return;
    if (!command.keyword) {
      if (unresolved_ && command.keyword_text.find('%') != std::string::npos) return;
      if (command.keyword_text[0] == '#') {
        Add("unknown keyword " + Quoted(command.keyword_text) +
            ": a comment needs # as the very first character of the line");
      } else {
        Add("unknown keyword " + Quoted(command.keyword_text) + ": the line does nothing" +
            Suggestion(command.keyword_text));
      }
      return;
    }
    const Keyword keyword = *command.keyword;
    const std::string name(KeywordText(keyword));
    std::string args = command.args;
    switch (keyword) {
      case Keyword::kIf:
        CheckIf(args);
        return;
      case Keyword::kGoto:
        CheckGoto(NextToken(args, " "));
        return;
      case Keyword::kStop:
        if (TrimSpaces(args).empty() || ParseStopStatus(args) || unresolved_) return;
        Add("stop: " + Quoted(TrimSpaces(args)) +
            " is not an exit status (0-255); the line is a plain stop");
        return;
      case Keyword::kWaitTimer:
        if (!unresolved_ && !TryStrToDateTime(args)) {
          Add("WaitTimer: " + Quoted(args) + " is not a time such as 0:01:30");
        }
        return;
      case Keyword::kSet: {
        const std::string word = NextToken(args, " ");
        if (word.find('=') == std::string::npos || ParseSet(word).name.empty()) {
          Add("set needs name=value");
        }
        return;
      }
      case Keyword::kSetParam:
        if (args.find('=') == std::string::npos || !ParseSetParam(args)) {
          Add("setparam needs NAME=VALUE");
        }
        return;
      default:
        CheckArguments(name, NeedsOf(keyword), args);
        return;
    }
  }

  void CheckIf(std::string args) {
    const std::string condition = NextToken(args, " ");
    if (condition.empty() || TrimSpaces(args).empty()) {
      Add("if without a command: the line does nothing");
      return;
    }
    if (!SameTextAscii(condition, "Error") && !SameTextAscii(condition, "NonError")) {
      Add("if " + Quoted(condition) +
          ": the condition is neither Error nor NonError, so the command always runs");
    }
    CheckCommand(args);
  }

  void CheckGoto(const std::string& label) {
    if (label.empty()) {
      Add("goto without a label: the run would end here");
    } else if (!unresolved_ && FindLabel(lines_, label) < 0) {
      Add("goto " + label + ": no line starts with :" + label + ", so the run would end here");
    }
  }

  void CheckArguments(const std::string& name, const Needs& needs, std::string args) {
    bool unclosed = false;
    bool missing = false;
    switch (needs.form) {
      case Needs::Form::kNone:
        return;
      case Needs::Form::kWord:
        missing = NextToken(args, " ").empty();
        break;
      case Needs::Form::kArg:
        missing = ReadArgument(args, unclosed).empty();
        break;
      case Needs::Form::kArgAndOptional:
        missing = ReadArgument(args, unclosed).empty();
        ReadArgument(args, unclosed);
        break;
      case Needs::Form::kTwoArgs: {
        const bool first = ReadArgument(args, unclosed).empty();
        missing = ReadArgument(args, unclosed).empty() || first;
        break;
      }
      case Needs::Form::kRest:
        missing = TrimSpaces(args).empty();
        break;
    }
    if (unclosed)
      Add(name + ": a double quote is not closed; the name runs to the end of the line");
    if (missing) Add(name + " needs " + needs.what);
  }

  const std::vector<std::string>& lines_;
  const StoredValueLookup& stored_;
  std::set<std::string> set_names_;
  std::set<std::string> warned_;  // once per name and script
  std::vector<CheckFinding> findings_;
  int line_ = 0;
  bool unresolved_ = false;
};

}  // namespace

std::vector<CheckFinding> CheckScript(const std::vector<std::string>& lines,
                                      const StoredValueLookup& stored) {
  return Checker(lines, stored).Run();
}

std::string FormatFinding(std::string_view script_name, const CheckFinding& finding) {
  return std::string(script_name) + ":" + std::to_string(finding.line) + ": " +
         (finding.warning ? "warning: " : "") + finding.text;
}

}  // namespace tarsil

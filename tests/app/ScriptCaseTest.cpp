// End-to-end runs of the real tarsil binary written as data (cases/*.case, described in
// cases/README.md): each case writes scripts, files and settings into a fresh home folder, scripts
// the fake server, runs the binary headless one or more times and compares the exit status, the
// log file, the console and the files left behind. One GoogleTest case per data case.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ScriptFile.h"
#include "platform/SettingsStore.h"
#include "support/CaseFile.h"
#include "support/FakeServerCase.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace tarsil::testing {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

std::vector<DataCase> Cases(const char* file) {
  return LoadCaseFile(std::filesystem::path(TARSIL_SCRIPT_CASES) / file);
}

bool LineMatches(const std::string& line, const std::string& pattern) {
  return !pattern.empty() && pattern.back() == '*'
             ? line.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0
             : line == pattern;
}

// Lines from `l` on against patterns from `p` on; "..." takes as few lines as it needs.
bool MatchFrom(const Strings& lines, size_t l, const Strings& patterns, size_t p) {
  if (p == patterns.size()) return l == lines.size();
  if (patterns[p] == "...") {
    for (size_t skip = l; skip <= lines.size(); ++skip) {
      if (MatchFrom(lines, skip, patterns, p + 1)) return true;
    }
    return false;
  }
  return l < lines.size() && LineMatches(lines[l], patterns[p]) &&
         MatchFrom(lines, l + 1, patterns, p + 1);
}

// A pattern line matches a line equal to it, or, ending in "*", a line starting with the rest;
// a pattern line "..." matches any lines (none included) where the order is not fixed.
::testing::AssertionResult LinesMatch(const Strings& lines, const Strings& patterns) {
  const bool same = MatchFrom(lines, 0, patterns, 0);
  if (same) return ::testing::AssertionSuccess();
  // Every line in full, one per line, ready to be copied into a case.
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "the lines are:\n";
  for (const std::string& line : lines) failure << "  " << line << "\n";
  failure << "expected:\n";
  for (const std::string& line : patterns) failure << "  " << line << "\n";
  return failure;
}

class ScriptCaseTest : public ::testing::TestWithParam<DataCase> {
 protected:
  ScriptCaseTest() {
    log_file_ = (dir_.path() / "run.log").string();
    SettingsStore store(Home("settings.reg"));
    store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
    store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file_);
    values_ = {
        {"dir", dir_.str()}, {"port", std::to_string(server_.port())}, {"host", server_.address()}};
  }

  std::string Home(const std::string& relative) const { return (dir_.path() / relative).string(); }
  std::string Text(const std::string& value) const {
    return Substitute(DecodeText(value), values_);
  }
  Strings Block(const CaseDirective& directive) const {
    Strings lines;
    for (const std::string& line : directive.block) lines.push_back(Substitute(line, values_));
    return lines;
  }

  // The lines of the log file, which must be CP932 text with CR LF after every line.
  Strings LogLines() const {
    const std::string text = TempDir::Read(log_file_);
    EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") << text;
    EXPECT_EQ(JoinTextLines(SplitTextLines(text)), text);
    return SplitTextLines(text);
  }

  void RunCase(const DataCase& data) {
    ASSERT_TRUE(data.error.empty()) << data.error;
    for (const CaseDirective& directive : data.directives) {
      SCOPED_TRACE(data.Where(directive) + ": " + directive.keyword + " " + directive.rest);
      try {
        Apply(directive);
      } catch (const std::exception& fault) {
        FAIL() << "cannot apply the line: " << fault.what();
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  void Apply(const CaseDirective& d);
  void Run(const CaseDirective& d);
  void Expect(const CaseDirective& d);

  TempDir dir_;
  FakeFtpServer server_;
  std::string log_file_;
  std::map<std::string, std::string> values_;
  ProcessResult result_;
  std::string script_;  // what the last run's /auto argument named
  bool ran_ = false;
};

void ScriptCaseTest::Apply(const CaseDirective& d) {
  std::string left;
  std::string right;
  if (d.keyword == "define" || ApplyServerDirective(server_, d, values_)) {
    // A named list (used by "@name" in blocks), or the server's part.
  } else if (d.keyword == "script") {
    dir_.Write(Text(d.rest), JoinTextLines(Block(d)));
  } else if (d.keyword == "scrambled") {
    StoreScriptFile(Home(Text(d.rest)), Block(d));
  } else if (d.keyword == "file" && SplitArrow(d.rest, left, right)) {
    dir_.Write(Text(left), DecodeBytes(Substitute(right, values_)));
  } else if (d.keyword == "folder") {
    std::filesystem::create_directories(Home(Text(d.rest)));
  } else if (d.keyword == "setting") {
    // setting KEY NAME int N | setting KEY NAME text VALUE
    const Strings words = SplitWords(Substitute(d.rest, values_));
    if (words.size() != 4) throw std::invalid_argument("setting KEY NAME int|text VALUE");
    SettingsStore store(Home("settings.reg"));
    if (words[2] == "int") {
      store.WriteInteger(words[0], words[1], std::stoi(words[3]));
    } else if (words[2] == "text") {
      store.WriteString(words[0], words[1], words[3]);
    } else {
      throw std::invalid_argument("a setting is int or text");
    }
  } else if (d.keyword == "run") {
    Run(d);
  } else if (d.keyword == "expect") {
    Expect(d);
  } else {
    throw std::invalid_argument("unknown line");
  }
}

void ScriptCaseTest::Run(const CaseDirective& d) {
  Strings argv = {TARSIL_BINARY};
  script_.clear();
  for (const std::string& word : SplitWords(Substitute(d.rest, values_))) {
    if (script_.empty() && (word.rfind("/auto", 0) == 0 || word.rfind("/AUTO", 0) == 0)) {
      script_ = word.substr(5);
    }
    argv.push_back(word);
  }
  result_ = RunProcess(argv, {{"TARSIL_HOME", dir_.str()}, {"TARSIL_HEADLESS", "1"}}, 60s);
  ran_ = true;
  ASSERT_NE(result_.exit_code, -1) << "the run did not end: " << result_.err;
}

void ScriptCaseTest::Expect(const CaseDirective& d) {
  const size_t space = d.rest.find(' ');
  const std::string what = d.rest.substr(0, space);
  const std::string value = space == std::string::npos ? "" : Text(d.rest.substr(space + 1));
  const bool about_run =
      what.rfind("status", 0) == 0 || what.rfind("std", 0) == 0 || what == "console-as-log";
  if (about_run) {
    ASSERT_TRUE(ran_) << "nothing has run yet";
  }
  if (what == "status") {
    EXPECT_EQ(result_.exit_code, std::stoi(value)) << result_.err;
  } else if (what == "status-not") {
    EXPECT_NE(result_.exit_code, std::stoi(value)) << result_.err;
  } else if (what == "log") {
    // The run's own lines, between its start and end lines.
    Strings patterns = Block(d);
    patterns.insert(patterns.begin(), "<<" + script_ + ">> start *");
    patterns.push_back("<<" + script_ + ">> end   *");
    EXPECT_TRUE(LinesMatch(LogLines(), patterns));
  } else if (what == "log-lines") {
    EXPECT_TRUE(LinesMatch(LogLines(), Block(d)));
  } else if (what == "log-first") {
    const Strings lines = SplitTextLines(TempDir::Read(log_file_));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), value);
  } else if (what == "log-has") {
    const std::string text = TempDir::Read(log_file_);
    const Strings lines = SplitTextLines(text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), value), lines.end()) << text;
  } else if (what == "log-lacks") {
    EXPECT_EQ(TempDir::Read(log_file_).find(value), std::string::npos);
  } else if (what == "log-contains") {
    EXPECT_NE(TempDir::Read(log_file_).find(value), std::string::npos);
  } else if (what == "console-as-log") {
    EXPECT_EQ(SplitTextLines(result_.out), LogLines());
  } else if (what == "stdout") {
    std::string expected;
    for (const std::string& line : Block(d)) expected += line + "\n";
    EXPECT_EQ(result_.out, expected);
  } else if (what == "stdout-has") {
    EXPECT_NE(result_.out.find(value), std::string::npos) << result_.out;
  } else if (what == "stdout-starts") {
    EXPECT_EQ(result_.out.rfind(value, 0), 0u) << result_.out;
  } else if (what == "stderr-has") {
    EXPECT_NE(result_.err.find(value), std::string::npos) << result_.err;
  } else if (what == "exists" || what == "missing") {
    EXPECT_EQ(std::filesystem::exists(Home(value)), what == "exists") << value;
  } else if (what == "file-lacks") {
    const Strings words = SplitWords(d.rest.substr(space + 1));
    if (words.size() != 2) throw std::invalid_argument("file-lacks NAME TEXT");
    EXPECT_EQ(TempDir::Read(Home(words[0])).find(words[1]), std::string::npos);
  } else if (what == "received") {
    EXPECT_TRUE(LinesMatch(server_.Commands(), Block(d)));
  } else {
    throw std::invalid_argument("unknown expectation " + what);
  }
}

TARSIL_CASE_RUNNER(ScriptCaseTest, ScriptCaseFiles, TARSIL_SCRIPT_CASES)

// One suite per file.
TARSIL_CASE_SUITE(Unattended, ScriptCaseTest, "unattended.case");
TARSIL_CASE_SUITE(Steering, ScriptCaseTest, "steering.case");
TARSIL_CASE_SUITE(Waits, ScriptCaseTest, "waits.case");
TARSIL_CASE_SUITE(ExitStatus, ScriptCaseTest, "exit-status.case");

}  // namespace
}  // namespace tarsil::testing

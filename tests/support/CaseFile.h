// Test cases written as data: a plain-text, line-oriented file of named cases, each a list of
// directives ("keyword rest of the line") with optional indented block lines under a directive.
// Directives before the first "case" line are shared by every case of the file and run first;
// "define NAME" blocks there name lists that a block line "@NAME" expands. The runners give the
// directives their meaning; this file only reads them and decodes the common value forms.
// Test code only; the cases folders' README describes the format.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace tarsil::testing {

struct CaseDirective {
  size_t line = 0;                 // in its file, for messages
  std::string keyword;             // first word
  std::string rest;                // the rest of the line, outer blanks removed
  std::vector<std::string> block;  // indented lines below it, decoded, "@NAME" expanded
};

struct DataCase {
  std::string file;  // file name without folder
  std::string name;  // after "case"; letters, digits and '_' (a GoogleTest name)
  std::vector<CaseDirective> directives;  // the shared ones first
  std::string error;                      // a fault of the file: the case fails with it

  std::string Where(const CaseDirective& directive) const;  // "file:line"
};

// What GoogleTest shows as the parameter of a case: its file name.
void PrintTo(const DataCase& data, std::ostream* out);

// Reads one file; a fault in it becomes a single case that fails with the reason.
std::vector<DataCase> LoadCaseFile(const std::filesystem::path& file);

// The names of the files LoadCaseFile has read so far, and of the *.case files in a folder: a
// runner checks that it reads every file of its folder.
std::vector<std::string> LoadedCaseFiles();
std::vector<std::string> CaseFilesIn(const std::filesystem::path& folder);

// GoogleTest's name for a case.
struct DataCaseName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return info.param.name;
  }
};

// A runner's one parameterised test, and the check (in suite `files`) that every case file of
// its folder has a suite of its own.
#define TARSIL_CASE_RUNNER(runner, files, folder) \
  TEST_P(runner, Run) { RunCase(GetParam()); }    \
  TEST(files, EveryFileIsRun) { EXPECT_EQ(LoadedCaseFiles(), CaseFilesIn(folder)); }

// One suite of a runner per case file: its cases as `runner`'s own Cases(file) loads them, each
// named by DataCaseName.
#define TARSIL_CASE_SUITE(suite, runner, file) \
  INSTANTIATE_TEST_SUITE_P(suite, runner, ::testing::ValuesIn(Cases(file)), DataCaseName())

// Value forms. Text: backslash escapes \r \n \t \\ \" \xHH (any other backslash stays as it is); a
// value wholly in double quotes keeps its outer blanks.
std::string DecodeText(const std::string& value);
// Bytes: pieces joined by " + ": "text T", "allbytes N" (0, 1, ..., 255, 0, ... of N bytes),
// "allbytes N from K" (the same sequence from byte K to N), "fill N C" (N times C), "empty".
// Throws std::invalid_argument on anything else.
std::string DecodeBytes(const std::string& value);
// Splits "a \"b c\" d" into words; quoted words are decoded as text.
std::vector<std::string> SplitWords(const std::string& value);
// Splits "left => right" at the first " => "; false when there is none.
bool SplitArrow(const std::string& value, std::string& left, std::string& right);
// Replaces every "{key}" by its value.
std::string Substitute(std::string text, const std::map<std::string, std::string>& values);
// "yes"/"true"/"1" or "no"/"false"/"0"; throws std::invalid_argument otherwise.
bool DecodeFlag(const std::string& value);

}  // namespace tarsil::testing

#include "script/Keywords.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tarsil {
namespace {

TEST(Keywords, EveryKeywordFoundInAnyCase) {
  std::map<KeywordGroup, int> per_group;
  for (int i = 0; i < kKeywordCount; ++i) {
    const auto keyword = static_cast<Keyword>(i);
    const std::string text(KeywordText(keyword));
    std::string lower, upper;
    for (char c : text) {
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(FindKeyword(text), keyword) << text;
    EXPECT_EQ(FindKeyword(lower), keyword) << text;
    EXPECT_EQ(FindKeyword(upper), keyword) << text;
    ++per_group[GroupOf(keyword)];
  }
  EXPECT_EQ(per_group[KeywordGroup::kFtp], 20);
  EXPECT_EQ(per_group[KeywordGroup::kControl], 7);
  EXPECT_EQ(per_group[KeywordGroup::kLocal], 3);
  EXPECT_EQ(per_group[KeywordGroup::kRemark], 1);
  EXPECT_EQ(GroupOf(Keyword::kDisconnect), KeywordGroup::kFtp);
  EXPECT_EQ(GroupOf(Keyword::kLmdel), KeywordGroup::kLocal);
  EXPECT_EQ(KeywordText(Keyword::kSetParam), "setparam");
  EXPECT_FALSE(FindKeyword("Gett"));
  EXPECT_FALSE(FindKeyword(""));
}

struct SplitCase {
  std::string line;
  std::string keyword_text;
  std::optional<Keyword> keyword;
  std::string args;
};

TEST(SplitCommand, KeywordAndArgumentText) {
  const std::vector<SplitCase> cases = {
      {"Get a.txt b.txt", "Get", Keyword::kGet, "a.txt b.txt"},
      {"GET  a.txt", "GET", Keyword::kGet, " a.txt"},
      {"Cd\tpub", "Cd", Keyword::kCd, "pub"},
      {"\x81\x40Get a", "Get", Keyword::kGet, "a"},
      {"Get\x81\x40"
       "a",
       "Get\x81\x40"
       "a",
       std::nullopt, ""},
      {" #Get", "#Get", std::nullopt, ""},
      {"", "", std::nullopt, ""},
      {"  bye", "bye", Keyword::kBye, ""},
      {":retry x", ":retry", std::nullopt, "x"},
      {"pause   hello", "pause", Keyword::kPause, "  hello"},
  };
  for (const SplitCase& c : cases) {
    const CommandLine command = SplitCommand(c.line);
    EXPECT_EQ(command.keyword_text, c.keyword_text) << c.line;
    EXPECT_EQ(command.keyword, c.keyword) << c.line;
    EXPECT_EQ(command.args, c.args) << c.line;
  }
}

TEST(FindLabel, FirstWordMatchesColonAndLabel) {
  const std::vector<std::string> lines = {
      "Open x", "  :Retry more words", ":end", ":endx", "\t:tab", "goto end", ":end",
  };
  EXPECT_EQ(FindLabel(lines, "retry"), 1);
  EXPECT_EQ(FindLabel(lines, "END"), 2);
  EXPECT_EQ(FindLabel(lines, "endx"), 3);
  EXPECT_EQ(FindLabel(lines, "tab"), -1);  // only spaces are skipped
  EXPECT_EQ(FindLabel(lines, "missing"), -1);
  EXPECT_EQ(FindLabel({}, "end"), -1);
}

struct DirCase {
  std::string args;
  std::string path;
  std::optional<std::string> output_file;
};

TEST(ParseDirArgs, PathAndOutputFile) {
  const std::vector<DirCase> cases = {
      {"*.txt >list.txt", "*.txt", "list.txt"},
      {">list.txt", "", "list.txt"},
      {"*.txt > list.txt", "*.txt", " list.txt"},
      {"*.txt", "*.txt", std::nullopt},
      {"\"my dir\" >out a>b", "my dir", "out a>b"},
      {"\t*.txt\t>x", "*.txt", "x"},
      {"", "", std::nullopt},
      {">", "", ""},
      {">" + std::string(1200, 'a'), "", std::string(999, 'a')},
      {">" + std::string(998, 'a') + "\x95\x5C", "", std::string(998, 'a')},
  };
  for (const DirCase& c : cases) {
    const DirArgs dir = ParseDirArgs(c.args);
    EXPECT_EQ(dir.path, c.path) << c.args;
    EXPECT_EQ(dir.output_file, c.output_file) << c.args;
  }
}

}  // namespace
}  // namespace tarsil

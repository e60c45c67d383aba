#include "platform/CodePage.h"
#include "platform/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarsil {
namespace {

// Two-byte characters whose second byte is a meaningful ASCII byte.
constexpr char kHyo[] = "\x95\x5C";        // second byte '\'
constexpr char kPo[] = "\x83\x7C";         // second byte '|'
constexpr char kFullB[] = "\x82\x61";      // second byte 'a'
constexpr char kWideSpace[] = "\x81\x40";  // full-width space, second byte '@'

struct TokenCase {
  std::string source;
  std::string separators;
  std::string token;
  std::string rest;
};

TEST(NextToken, CutsTokensAndOneSeparator) {
  const std::vector<TokenCase> cases = {
      {"abc def", " ", "abc", "def"},
      {"  abc  def", " ", "abc", " def"},
      {"abc", " ", "abc", ""},
      {"", " ", "", ""},
      {"   ", " ", "", ""},
      {"a\tb c", " ", "a\tb", "c"},
      {"Cd\tpub", " \t", "Cd", "pub"},
      {"==a=b=c", "=", "a", "b=c"},
      {std::string(kHyo) + "\\b", "\\", kHyo, "b"},
      {std::string(kPo) + "|z", "|", kPo, "z"},
      {std::string(kWideSpace) + "@x", "@", kWideSpace, "x"},
      {"ab\x81", " ", "ab\x81", ""},
  };
  for (const TokenCase& c : cases) {
    std::string source = c.source;
    EXPECT_EQ(NextToken(source, c.separators), c.token) << c.source;
    EXPECT_EQ(source, c.rest) << c.source;
  }
}

TEST(TrimSpaces, RemovesHalfAndFullWidthSpacesOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"  a b  ", "a b"},
      {std::string(kWideSpace) + " a" + kWideSpace + " ", "a"},
      {"\ta\t", "\ta\t"},
      {"", ""},
      {std::string(kWideSpace) + kWideSpace, ""},
      // 0x81 0x81 is one character, so the trailing 0x40 is '@', not half a full-width space.
      {"a\x81\x81\x40", "a\x81\x81\x40"},
      {std::string(kHyo) + " ", kHyo},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TrimSpaces(in), out) << in;
}

TEST(TrimBlanks, RemovesEveryByteUpToSpace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\t a \r\n", "a"},
      {"\x01x\x7F", "x\x7F"},
      {kWideSpace, kWideSpace},
      {" \t ", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TrimBlanks(in), out) << in;
}

struct ArgumentCase {
  std::string args;
  std::string argument;
  std::string rest;
};

TEST(NextArgument, ReadsWordsAndQuotedNames) {
  const std::vector<ArgumentCase> cases = {
      {"a.txt b.txt", "a.txt", "b.txt"},
      {"  a.txt", "a.txt", ""},
      {"\"my file.txt\" \"local copy.txt\"", "my file.txt", " \"local copy.txt\""},
      {" \"local copy.txt\"", "local copy.txt", ""},
      {"\"my file.txt local.txt", "my file.txt local.txt", ""},  // closing quote missing
      {"a.txt\tb.txt", "a.txt\tb.txt", ""},
      {"", "", ""},
      {"\"" + std::string(kHyo) + "\" x", kHyo, " x"},
      {"a" + std::string(kWideSpace) + "b c", "a" + std::string(kWideSpace) + "b", "c"},
      {"x\"y z", "x\"y", "z"},
  };
  for (const ArgumentCase& c : cases) {
    std::string args = c.args;
    EXPECT_EQ(NextArgument(args), c.argument) << c.args;
    EXPECT_EQ(args, c.rest) << c.args;
  }
}

TEST(LooseStrToInt, ForgivingDecimalReader) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"8,080", 8080},
      {"abc", 0},
      {"", 0},
      {"   ", 0},
      {" - ", 0},
      {"-", 0},
      {" 21 ", 21},
      {"\t21\r", 21},
      {"-5", -5},
      {"+7", 7},
      {"+-5", 0},
      {"2147483647", 2147483647},
      {"2147483648", 0},   // beyond 32 bits
      {"-2147483648", 0},  // 11 characters
      {"1,234,567,890", 1234567890},
      {"12345678901", 0},
      {"  8080     ", 0},  // longer than 10 before trimming
      {"1 2", 0},
      {"0x10", 0},
      {"1,,2", 12},
      {"\x82\x50", 0},  // full-width digit
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(LooseStrToInt(in), out) << in;
}

TEST(AsciiCase, TwoByteCharactersUntouched) {
  EXPECT_EQ(UpperCaseAscii(std::string("d:\\log") + kFullB + "x"),
            std::string("D:\\LOG") + kFullB + "X");
  EXPECT_TRUE(SameTextAscii("WaitTimer", "WAITTIMER"));
  EXPECT_FALSE(SameTextAscii(kFullB, "\x82\x41"));
  EXPECT_FALSE(SameTextAscii("ab", "abc"));
}

}  // namespace
}  // namespace tarsil

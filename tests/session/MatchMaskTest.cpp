#include "session/MatchMask.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

// 表 = 0x95 0x5C (trail "\"), ゼ = 0x83 0x5B (trail "["), ‐ = 0x81 0x5D (trail "]"),
// ア = 0x83 0x41 (trail "A"), チ = 0x83 0x60, ヂ = 0x83 0x61 (trail "a").
#define HYO "\x95\x5c"
#define ZE "\x83\x5b"
#define DASH "\x81\x5d"
#define KA_A "\x83\x41"
#define CHI "\x83\x60"
#define DI "\x83\x61"

struct MatchCase {
  const char* mask;
  const char* name;
  bool blind;      // MatchMask
  bool sensitive;  // MatchMaskCaseSensitive
};

const MatchCase kMatchCases[] = {
    {"*.txt", "a.txt", true, true},
    {"*.txt", "B.TXT", true, false},
    {"*.TXT", "a.txt", true, false},
    {"*.txt", "c.doc", false, false},
    {"*.txt", ".txt", true, true},
    {"*", "", true, true},
    {"*", "anything", true, true},
    {"", "", true, true},
    {"", "a", false, false},
    {"a", "", false, false},
    {"abc", "ABC", true, false},
    {"abc", "abcd", false, false},
    {"?", "a", true, true},
    {"?", "", false, false},
    {"?", "ab", false, false},
    {"??", "a", false, false},
    {"a?c", "abc", true, true},
    {"*?", "", true, true},  // "?" after "*" is absorbed
    {"a*?", "a", true, true},
    {"*??", "", true, true},
    {"?*", "", false, false},
    {"a*b*c", "aXXbYYc", true, true},
    {"a*b*c", "aXXbYYcb", false, false},
    {"a*b", "abab", true, true},
    {"*a*a*a*", "banana", true, true},
    {"*.*", "noext", false, false},
    {"*.*", "a.b.c", true, true},
    {"[abc]x", "bx", true, true},
    {"[abc]x", "Bx", true, false},
    {"[ABC]x", "bx", true, false},
    {"[a-c]", "C", true, false},
    {"[a-c]", "d", false, false},
    {"[!a-c]", "d", true, true},
    {"[!a-c]", "B", false, true},
    {"[!a-c]", "", false, false},
    {"[a-c-e]", "e", true, true},  // the second range starts again at "a"
    {"[Z-a]", "_", false, true},   // upper-cased, the range Z-A holds only Z
    {"[Z-a]", "z", true, false},
    {"[*?]", "*", true, true},
    {"[*?]", "x", false, false},
    {"[[]", "[", true, true},
    {"*[0-9].log", "run7.log", true, true},
    {"*[0-9].log", "run.log", false, false},
    // Two-byte characters compare whole and exactly; letters inside them never change case.
    {HYO, HYO, true, true},
    {HYO "*", HYO ".txt", true, true},
    {"*" HYO, "a" HYO, true, true},
    {"?", HYO, true, true},     // one character, two bytes
    {"??", HYO, false, false},  // never split
    {"?"
     "\x5c",
     HYO, false, false},  // the trail byte is not a character
    {"*\\", HYO, false, false},
    {"*[[]", ZE, false, false},
    {ZE, ZE, true, true},
    {"*" ZE "*", "x" ZE "y", true, true},
    {DI, CHI, false, false},
    {"x\x83", "x\x83", true, true},  // a lone lead byte at the end is one character
    {"x?", "x\x83", true, true},
    {"[" ZE DASH "]", DASH, true, true},  // trail "]" does not close the set
    {"[" ZE DASH "]", "]", false, false},
    {"[!" HYO "]", HYO, false, false},
    {"[!" HYO "]", "\\", true, true},
    {"[" KA_A "-" CHI "]", DI, false, false},
    {"[" KA_A "-" DI "]", CHI, true, true},
    {"[a-z]", KA_A, false, false},
    {"*" KA_A,
     "x"
     "\x83\x61",
     false, false},
};

TEST(MatchMaskTest, Table) {
  for (const MatchCase& c : kMatchCases) {
    EXPECT_EQ(MatchMask(c.mask, c.name), c.blind) << c.mask << " / " << c.name;
    EXPECT_EQ(MatchMaskCaseSensitive(c.mask, c.name), c.sensitive) << c.mask << " / " << c.name;
  }
}

std::string Repeat(const std::string& part, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += part;
  return out;
}

TEST(MatchMaskTest, IllFormedMasksReportWhereTheScanStopped) {
  struct Case {
    std::string mask;
    int position;
  };
  const Case cases[] = {
      {"[abc", 5},
      {"a[", 3},
      {"[]", 2},
      {"[!]", 3},
      {"x[-a]", 3},
      {"[!-a]", 3},
      {"[a-]", 4},
      {"[a-", 4},
      {"[" ZE, 4},  // a trail "[" opens nothing, the set stays open
      {"[" DASH, 4},
      {Repeat("*a", 31), 62},
      {Repeat("*a", 30) + "*", 62},
      {Repeat("*[ab]", 31), 155},
  };
  for (const Case& c : cases) {
    try {
      MatchMask(c.mask, "name");
      ADD_FAILURE() << "no error for " << c.mask;
    } catch (const MaskError& error) {
      const std::string expected = std::to_string(c.position) + " " + Utf8ToCp932("番目の文字（'") +
                                   c.mask + Utf8ToCp932("'）は正しくないマスク文字です");
      EXPECT_EQ(error.what(), expected) << c.mask;
    }
  }
  EXPECT_THROW(MatchMaskCaseSensitive("[", "x"), MaskError);
}

TEST(MatchMaskTest, ThirtyWildcardsAreAllowed) {
  EXPECT_TRUE(MatchMask(Repeat("*a", 30), Repeat("a", 30)));
  EXPECT_TRUE(MatchMask(Repeat("*a", 29) + "*", Repeat("a", 29)));
  EXPECT_TRUE(MatchMask(Repeat("*", 100) + "x", "x"));  // one run of "*" is one wildcard
  EXPECT_FALSE(MatchMask(Repeat("*a", 30), Repeat("a", 29)));
}

TEST(MatchMaskTest, ManyWildcardsOnALongNameStayFast) {
  // A back-tracking matcher would explode here; the walk is linear per wildcard.
  const std::string mask = Repeat("*a", 30) + "b";
  const std::string name(20000, 'a');
  EXPECT_FALSE(MatchMask(mask, name));
}

}  // namespace
}  // namespace tarsil

#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

TEST(CodePageTest, ConvertsBothWays) {
  struct Case {
    const char* cp932;
    const char* utf8;
  };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII 0-9 ~\\", "plain ASCII 0-9 ~\\"},
      {"\x95\x5c", "表"},            // trail byte 0x5C
      {"\x83\x5b\x81\x5b", "ゼー"},  // trail bytes "[" and "["
      {"\x93\xfa\x96\x7b\x8c\xea.txt", "日本語.txt"},
      {"\xb1\xb2\xb3", "ｱｲｳ"},      // half-width katakana
      {"\x87\x40\x81\x60", "①～"},  // NEC special row, wave dash
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
    EXPECT_EQ(Cp932ToUtf8Exact(c.cp932), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToCp932Exact(c.utf8), c.cp932) << c.utf8;
  }
}

TEST(CodePageTest, LongTextGrowsTheOutput) {
  std::string cp932;
  std::string utf8;
  for (int i = 0; i < 5000; ++i) {
    cp932 +=
        "\x95\x5c"
        "a";
    utf8 += "表a";
  }
  EXPECT_EQ(Cp932ToUtf8(cp932), utf8);
  EXPECT_EQ(Utf8ToCp932(utf8), cp932);
}

TEST(CodePageTest, BadCharactersBecomeOneQuestionMarkEach) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case from_cp932[] = {
      {"a\x80"
       "b",
       "a?b"},
      {"\xff\xfd", "??"},
      {"x\x81", "x?"},    // lead byte cut off by the end
      {"\x81 z", "? z"},  // a lead byte without a trail keeps the next character
      {"\x85\x40"
       "b\x95\x5c",
       "?b表"},  // unassigned pair: one character
  };
  for (const Case& c : from_cp932) {
    EXPECT_EQ(Cp932ToUtf8(c.input), c.expected);
    EXPECT_EQ(Cp932ToUtf8Exact(c.input), std::nullopt);
  }
  const Case from_utf8[] = {
      {"a😀b", "a?b"},  // no CP932 form
      {"\xff"
       "a",
       "?a"},               // not UTF-8
      {"a\xe3\x81", "a?"},  // cut off by the end
      {"\xe3\x81"
       "a\xe8\xa1\xa8",
       "??a\x95\x5c"},  // broken sequence then a good one
  };
  for (const Case& c : from_utf8) {
    EXPECT_EQ(Utf8ToCp932(c.input), c.expected);
    EXPECT_EQ(Utf8ToCp932Exact(c.input), std::nullopt);
  }
}

TEST(CodePageTest, UpperCaseLeavesTwoByteCharactersAlone) {
  // 0x83 0x61 and 0x83 0x41 are two different katakana whose trail bytes are "a" and "A".
  EXPECT_EQ(UpperCaseAscii("abc\x83\x61xyz"), "ABC\x83\x61XYZ");
  EXPECT_EQ(UpperCaseAscii("\x81"), "\x81");
  EXPECT_EQ(UpperCaseAscii("\x81 a"), "\x81 A");  // a lead byte without a trail is alone
  EXPECT_TRUE(SameTextAscii("Get", "gET"));
  EXPECT_TRUE(SameTextAscii("x\x83\x61", "X\x83\x61"));
  EXPECT_FALSE(SameTextAscii("\x83\x61", "\x83\x41"));
  EXPECT_FALSE(SameTextAscii("ab", "abc"));
}

}  // namespace
}  // namespace tarsil

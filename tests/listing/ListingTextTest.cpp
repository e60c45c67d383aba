#include "listing/ListingText.h"

#include <gtest/gtest.h>

#include <string>

namespace tarsil {
namespace {

TEST(ListingText, ListingWord) {
  struct Case {
    std::string line;
    int n;
    std::string word;
  };
  const Case cases[] = {
      {"a b c", 0, "a"},  {"a b c", 1, "b"},
      {"a b c", 2, ""},  // the last word has no space after it
      {"a b c ", 2, "c"}, {"a   b    c d", 2, "c"},
      {" a b", 0, ""},                            // a leading space makes an empty word 0
      {"   a b", 1, "a"}, {"a\tb c", 0, "a\tb"},  // tabs do not separate
      {"", 0, ""},        {"abc", 0, ""},
      {"a b", 7, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListingWord(c.line, c.n), c.word) << '"' << c.line << "\" word " << c.n;
  }
}

TEST(ListingText, ListingName) {
  struct Case {
    std::string line;
    int k;
    std::string name;
  };
  const Case cases[] = {
      {"-rw-r--r--   1 joe  staff   1234 Jan 15 12:34 My File.txt", 7, "My File.txt"},
      {"drwxr-xr-x    3 110      1002            3 Dec 02  2009 spaces   dir   name", 7,
       "spaces   dir   name"},
      {"-rwxr-xr-x    3 110      1002            1234567 Dec 02  2009  foo bar ", 7, "foo bar"},
      {"lrwxrwxrwx 1 root root 7 Jan 1 00:05 bin -> usr/bin", 7, "bin"},
      {"-rw-r--r-- 1 joe staff 9 Jan 1 12:00 a->b", 7, "a"},
      {"-rw-r--r-- 1 joe staff 9 Jan 1 12:00", 7, "12:00"},  // ends after the date
      {"-rw-r--r-- 1 joe staff 9 Jan 1", 7, ""},             // fewer words
      {"a b c \tname\r", 2, "name"},                         // trimmed of controls
      {"", 3, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListingName(c.line, c.k), c.name) << '"' << c.line << "\" k " << c.k;
  }
}

TEST(ListingText, ListingNameIsCutTo999BytesOnACharacterBoundary) {
  const std::string prefix = "-rw-r--r-- 1 u g 1 Jan 1 2000 ";
  EXPECT_EQ(ListingName(prefix + std::string(5000, 'x'), 7).size(), 999u);
  // 998 bytes, then a two-byte character that would straddle the limit.
  const std::string name = std::string(998, 'x') + "\x83\x41" + "tail";
  EXPECT_EQ(ListingName(prefix + name, 7), std::string(998, 'x'));
}

TEST(ListingText, ListingLink) {
  EXPECT_EQ(ListingLink("bin -> usr/bin"), "-> usr/bin");
  EXPECT_EQ(ListingLink("a->b -> c "), "->b -> c ");
  EXPECT_EQ(ListingLink("no link"), "");
}

TEST(ListingText, LinkIsFolder) {
  struct Case {
    std::string link;
    bool folder;
  };
  const Case cases[] = {
      {"-> usr/bin", true},
      {"->b", true},
      {"-> README.TXT", false},
      {"-> pkg.tar.GZ", false},
      {"-> setup.EXE", false},
      {"-> COPYING", false},
      {"-> fix.diff", false},
      {"-> el-capitan/base/R-3.4.0.pkg", true},
      // "R" here is the trail byte of a two-byte character: not the word readme.
      {"-> \x83README", true},
      {"-> \x83\x52 readme", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LinkIsFolder(c.link), c.folder) << c.link;
}

TEST(ListingText, LeadByteAwareHelpers) {
  EXPECT_EQ(FindOnCharBoundary("\x83totals: totals:", "totals:"), 9u);
  EXPECT_EQ(FindOnCharBoundary("abc", "x"), std::string_view::npos);
  EXPECT_EQ(LowerAscii("AB\x83\x41Z"), "ab\x83\x41z");
  EXPECT_EQ(CutOnCharBoundary("ab\x83\x41", 3), "ab");
  EXPECT_EQ(CutOnCharBoundary("ab\x83\x41", 4), "ab\x83\x41");
  EXPECT_EQ(TrimBlanksAndControls("\t \x01name x \r\n"), "name x");
  EXPECT_EQ(TrimBlanksAndControls(" \t "), "");
}

}  // namespace
}  // namespace tarsil

#include "app/ScriptFile.h"

#include <gtest/gtest.h>

#include "app/Scrambler.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

TEST(ScriptFileTest, EveryLineEndEndsALine) {
  EXPECT_EQ(SplitTextLines("a\r\nb\rc\nd"), std::vector<std::string>({"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\r\n\r\nb\r\n"), std::vector<std::string>({"a", "", "b"}));
  EXPECT_EQ(SplitTextLines("\n\n"), std::vector<std::string>({"", ""}));
  EXPECT_TRUE(SplitTextLines("").empty());
  EXPECT_EQ(JoinTextLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(ScriptFileTest, TheExtensionAloneDecidesScrambling) {
  EXPECT_TRUE(IsScrambledScriptName("x.fcx"));
  EXPECT_TRUE(IsScrambledScriptName("/jobs/X.FCX"));
  EXPECT_TRUE(IsScrambledScriptName("D:\\jobs\\x.Fcx"));
  EXPECT_FALSE(IsScrambledScriptName("x.fcs"));
  EXPECT_FALSE(IsScrambledScriptName("fcx"));
  EXPECT_FALSE(IsScrambledScriptName("dir.fcx/plain"));
}

TEST(ScriptFileTest, ScrambledScriptsSurviveAStoreAndALoad) {
  TempDir dir;
  const std::vector<std::string> lines = {"Open ftp1", "", "Login user secret",
                                          "Rem \x93\xfa\x96\x7b\x8c\xea"};
  std::string name = (dir.path() / "job.fcx").string();
  StoreScriptFile(name, lines);
  std::string stored = TempDir::Read(name);
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  std::vector<std::string> loaded = SplitTextLines(stored);
  DecodeScriptLines(loaded);
  EXPECT_EQ(loaded, lines);
}

TEST(ScriptFileTest, ABrokenLineStopsTheDecodeWhereItStands) {
  std::vector<std::string> lines = {EncodeLine("one"), "Rem plain", EncodeLine("three")};
  const std::vector<std::string> before = lines;
  EXPECT_THROW(DecodeScriptLines(lines), ScrambleError);
  EXPECT_EQ(lines[0], "one");
  EXPECT_EQ(lines[1], before[1]);
  EXPECT_EQ(lines[2], before[2]);
}

TEST(ScriptFileTest, AStoreThatCannotWriteThrows) {
  TempDir dir;
  EXPECT_THROW(StoreScriptFile((dir.path() / "no" / "such.fcs").string(), {"x"}),
               std::runtime_error);
}

}  // namespace
}  // namespace tarsil

// The packed string list: every string back byte for byte and in order, through all the ways of
// reading it, and emptied without leaving anything of the old strings behind.
#include "platform/PackedStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarsil {
namespace {

TEST(PackedStrings, GivesEveryStringBackInOrderByteForByte) {
  const std::vector<std::string> texts = {
      "first", "", std::string("nul\0inside", 10), std::string(70000, 'x'), "", "last\r\n"};
  PackedStrings list;
  EXPECT_TRUE(list.empty());
  for (const std::string& text : texts) list.Add(text);
  ASSERT_EQ(list.size(), texts.size());
  EXPECT_FALSE(list.empty());
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(list[i], texts[i]) << i;
  EXPECT_EQ(list.back(), "last\r\n");
  EXPECT_EQ(list.ToVector(), texts);
  std::vector<std::string> walked;
  for (std::string_view text : list) walked.emplace_back(text);
  EXPECT_EQ(walked, texts);
  EXPECT_EQ(list.end() - list.begin(), static_cast<std::ptrdiff_t>(texts.size()));
}

TEST(PackedStrings, AStringAddedFromTheListItselfIsCopiedWhole) {
  PackedStrings list;
  list.Add(std::string(100, 'a'));
  for (int i = 0; i < 12; ++i) list.Add(list.back());  // the buffer grows under the view
  ASSERT_EQ(list.size(), 13u);
  for (std::string_view text : list) EXPECT_EQ(text, std::string(100, 'a'));
}

TEST(PackedStrings, ClearReleaseAndShrinkKeepTheListConsistent) {
  PackedStrings list;
  for (int i = 0; i < 1000; ++i) list.Add("name" + std::to_string(i));
  list.ShrinkToFit();
  EXPECT_EQ(list[999], "name999");
  list.Clear();
  EXPECT_TRUE(list.empty());
  list.Add("again");
  EXPECT_EQ(list.ToVector(), std::vector<std::string>{"again"});
  list.Release();
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(list.begin(), list.end());
  list.Add("");
  EXPECT_EQ(list[0], "");
}

}  // namespace
}  // namespace tarsil

// The packed string list: every string back byte for byte and in order, also one added from the
// list itself while the buffer grows, and after the list is emptied.
#include "platform/PackedStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarsil {
namespace {

TEST(PackedStrings, GivesEveryStringBackInOrderByteForByte) {
  std::vector<std::string> texts = {"first", "", std::string("nul\0inside", 10),
                                    std::string(70000, 'x'), ""};
  PackedStrings list;
  for (const std::string& text : texts) list.Add(text);
  for (int i = 0; i < 12; ++i) {
    list.Add(list[3]);  // a view into the buffer that grows under it
    texts.push_back(texts[3]);
  }
  EXPECT_EQ(list.ToVector(), texts);
  EXPECT_EQ(list.back(), texts.back());
  list.Release();
  EXPECT_TRUE(list.empty());
  list.Add("again");
  EXPECT_EQ(list.ToVector(), std::vector<std::string>{"again"});
}

}  // namespace
}  // namespace tarsil

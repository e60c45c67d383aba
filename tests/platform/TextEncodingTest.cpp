#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

TEST(TextEncodingTest, StrictUtf8CheckTable) {
  struct Row {
    std::string bytes;
    bool valid;
  };
  const Row rows[] = {
      {"", true},
      {"plain ascii", true},
      {"caf\xC3\xA9", true},               // two bytes
      {"\xE6\x97\xA5\xE6\x9C\xAC", true},  // 日本
      {"\xF0\x9F\x98\x80", true},          // an emoji, four bytes
      {"\xC3", false},                     // cut off by the end
      {"\xE6\x97", false},
      {"\xC0\xAF", false},          // overlong "/"
      {"\xE0\x80\xAF", false},      // overlong, three bytes
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x80", false},              // a lone continuation byte
      {"\x93\xfa\x96\x7b", false},  // 日本 in CP932
  };
  for (const Row& row : rows) EXPECT_EQ(IsValidUtf8(row.bytes), row.valid) << row.bytes;
}

}  // namespace
}  // namespace tarsil

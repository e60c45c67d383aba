#include "script/ExpandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarsil {
namespace {

TEST(ExpandLine, ReferencesEscapesAndOpenReferences) {
  const std::map<std::string, std::string, std::less<>> store = {
      {"host", "ftp1"}, {"x", "VX"}, {"d", "7"}, {"y", "%y%"}, {"a%b", "AB"}, {"\x95\x5C", "HYO"},
  };
  const auto lookup = [&store](std::string_view name) -> std::string {
    auto it = store.find(name);
    return it == store.end() ? std::string() : it->second;
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Open %host%", "Open ftp1"},
      {"50\\% of %x%", "50% of VX"},
      {"%unclosed", "%unclosed"},
      {"x%b%y", "xy"},
      {"D:\\data\\%d%\\x", "D:\\data%d%\\x"},
      {"D:\\data\\x%d%", "D:\\data\\x7"},
      {"%y%", "%y%"},  // inserted once, not expanded again
      {"a%%b", "ab"},
      {"a\\", "a\\"},
      {"\\x", "\\x"},
      {"%", "%"},
      {"%a\\%b%", "AB"},
      {"\x95\x5C%x%", "\x95\x5CVX"},  // trail byte 0x5C is no backslash
      {"%\x95\x5C%", "HYO"},
      {"#%x%", "#VX"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ExpandLine(in, lookup), out) << in;
}

TEST(ExpandLine, LookupFailurePropagates) {
  const auto failing = [](std::string_view) -> std::string { throw std::runtime_error("bad"); };
  EXPECT_THROW(ExpandLine("a %x% b", failing), std::runtime_error);
  EXPECT_EQ(ExpandLine("no reference", failing), "no reference");
}

TEST(ParseSet, NameAndValue) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"host=ftp1", "host", "ftp1"}, {"Host=", "Host", ""}, {"=x", "x", ""},
      {"==a=b=c", "a", "b=c"},       {"", "", ""},
  };
  for (const auto& [word, name, value] : cases) {
    const SetCommand command = ParseSet(word);
    EXPECT_EQ(command.name, name) << word;
    EXPECT_EQ(command.value, value) << word;
  }
}

TEST(ParseSetParam, UpperCasedNameAndValue) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"logfile=d:\\log\\a.log", "LOGFILE", "D:\\LOG\\A.LOG"},
      {"LOGFILE=", "LOGFILE", ""},
      {"a = b", "A ", " B"},
      {"x=y=z", "X", "Y=Z"},
      {"n=\x82\x61x", "N", "\x82\x61X"},
  };
  for (const auto& [rest, name, value] : cases) {
    const auto command = ParseSetParam(rest);
    ASSERT_TRUE(command) << rest;
    EXPECT_EQ(command->name, name) << rest;
    EXPECT_EQ(command->value, value) << rest;
  }
  EXPECT_FALSE(ParseSetParam(""));
  EXPECT_FALSE(ParseSetParam("==="));
}

}  // namespace
}  // namespace tarsil

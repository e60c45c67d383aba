#include "session/SessionParams.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

using Lines = std::vector<std::string>;

TEST(SessionParams, SetReplaceRemoveClear) {
  SessionParams params;
  EXPECT_EQ(params.Get("LOGFILE"), "");
  params.Set("NAMETOKEN", "5");
  params.Set("LOGFILE", "D:\\A.LOG");
  params.Set("CHECKCASE", "Y");
  params.Set("logfile", "B.LOG");  // replaced in place
  EXPECT_EQ(params.Lines(), (Lines{"NAMETOKEN=5", "logfile=B.LOG", "CHECKCASE=Y"}));
  EXPECT_EQ(params.Get("LogFile"), "B.LOG");
  params.Set("NAMETOKEN", "");
  EXPECT_EQ(params.Lines(), (Lines{"logfile=B.LOG", "CHECKCASE=Y"}));
  params.Set("ABSENT", "");
  EXPECT_EQ(params.Lines().size(), 2u);
  params.Clear();
  EXPECT_TRUE(params.Lines().empty());
  EXPECT_EQ(params.Get("CHECKCASE"), "");
}

TEST(SessionParams, NamesMatchWholeAndTwoByteExactly) {
  SessionParams params;
  params.Set("NAME", "1");
  params.Set("X", "A=B");
  params.Set("\x82\x61", "2");
  EXPECT_EQ(params.Get("NAM"), "");
  EXPECT_EQ(params.Get("NAMEX"), "");
  EXPECT_EQ(params.Get("X"), "A=B");
  EXPECT_EQ(params.Get("\x82\x61"), "2");
  EXPECT_EQ(params.Get("\x82\x41"), "");  // a trail byte is not a letter
}

}  // namespace
}  // namespace tarsil

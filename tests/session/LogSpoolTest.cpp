// The execution log's spool and tail: every line comes back in order with its CR LF (also past
// the in-memory tail, in a file, after Clear), a folder where no file can be made keeps the lines
// in memory, and the log keeps only its last lines in memory while counting them all.
#include "session/LogSpool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/ExecutionLog.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

std::string Whole(LogSpool& spool) {
  std::string text;
  EXPECT_TRUE(spool.ReadAll([&](std::string_view piece) {
    text.append(piece);
    return true;
  }));
  return text;
}

// Lines of varying length with two-byte characters, so that pieces end anywhere in them.
std::string LineNumber(int i) {
  return "line " + std::to_string(i) + " \x83\x65\x83\x58\x83\x67 " + std::string(i % 300, 'x');
}

TEST(LogSpoolTest, EveryLineComesBackInOrder) {
  TempDir dir;
  LogSpool spool(dir.str());
  EXPECT_TRUE(spool.Empty());
  EXPECT_EQ(Whole(spool), "");
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    spool.Append(LineNumber(i));
    expected += LineNumber(i) + "\r\n";
  }
  spool.Append("");  // an empty line is a line
  expected += "\r\n";
  EXPECT_TRUE(spool.InFile());  // about 800 KB: not in memory
  EXPECT_EQ(spool.LineCount(), 5001u);
  EXPECT_EQ(Whole(spool), expected);
  EXPECT_EQ(spool.Lines().size(), 5001u);
  EXPECT_EQ(spool.Lines()[4999], LineNumber(4999));

  // Lines added after a read go after the ones read.
  spool.Append("after");
  EXPECT_EQ(Whole(spool), expected + "after\r\n");
  // A sink that stops ends the read.
  int pieces = 0;
  EXPECT_FALSE(spool.ReadAll([&](std::string_view) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2);

  spool.Clear();
  EXPECT_TRUE(spool.Empty());
  EXPECT_EQ(Whole(spool), "");
  spool.Append("again");
  EXPECT_EQ(Whole(spool), "again\r\n");
  // The file has no name: nothing is left in the folder.
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(LogSpoolTest, NoFileMeansTheLinesStayInMemory) {
  LogSpool spool("/nonexistent-folder/for-the-spool");
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    spool.Append(LineNumber(i));
    expected += LineNumber(i) + "\r\n";
  }
  EXPECT_FALSE(spool.InFile());
  EXPECT_EQ(Whole(spool), expected);
}

TEST(LogTailTest, MemoryHoldsTheTailAndTheSpoolEveryLine) {
  ExecutionLog log;
  std::vector<std::string> told;
  log.AddLineListener([&](const LogLine& line) { told.push_back(line.text); });
  const size_t total = ExecutionLog::kTailLines + 2500;
  for (size_t i = 0; i < total; ++i) log.AppendLine("n" + std::to_string(i));
  EXPECT_EQ(log.LineCount(), total);
  ASSERT_EQ(log.Lines().size(), ExecutionLog::kTailLines);
  EXPECT_EQ(log.EarlierLines(), 2500u);
  EXPECT_EQ(log.Lines().front().text, "n2500");
  EXPECT_EQ(log.Lines().back().text, "n" + std::to_string(total - 1));
  EXPECT_EQ(told.size(), total);  // views are told of every line
  const std::vector<std::string> all = log.LineTexts();
  ASSERT_EQ(all.size(), total);
  EXPECT_EQ(all.front(), "n0");
  EXPECT_EQ(all.back(), "n" + std::to_string(total - 1));

  log.Clear();
  EXPECT_EQ(log.LineCount(), 0u);
  EXPECT_EQ(log.EarlierLines(), 0u);
  EXPECT_TRUE(log.Lines().empty());
}

// The UTF-8 twin is kept only while wanted; turned on again it holds every line: the tail's with
// their exact UTF-8 names, the earlier ones converted from their CP932 form.
TEST(LogTailTest, TheUtf8SpoolIsKeptOnlyWhileWanted) {
  ExecutionLog log;
  log.AppendLineUtf8("caf\xC3\xA9 \xE5\x90\x8D");  // "café 名": CP932 lacks the é
  EXPECT_EQ(Whole(log.SpoolUtf8()), "caf\xC3\xA9 \xE5\x90\x8D\r\n");
  log.KeepUtf8Spool(false);
  log.AppendLine("\x96\xBC");  // "名" in CP932
  EXPECT_EQ(log.SpoolUtf8().LineCount(), 0u);
  log.KeepUtf8Spool(true);
  EXPECT_EQ(Whole(log.SpoolUtf8()), "caf\xC3\xA9 \xE5\x90\x8D\r\n\xE5\x90\x8D\r\n");

  log.KeepUtf8Spool(false);
  for (size_t i = 0; i < ExecutionLog::kTailLines; ++i) log.AppendLine(LineNumber(int(i)));
  ASSERT_GT(log.EarlierLines(), 0u);
  log.KeepUtf8Spool(true);
  log.AppendLine("last");
  std::string expected = "caf? \xE5\x90\x8D\r\n\xE5\x90\x8D\r\n";
  for (size_t i = 0; i < ExecutionLog::kTailLines; ++i) {
    expected += "line " + std::to_string(i) + " \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 " +
                std::string(i % 300, 'x') + "\r\n";
  }
  expected += "last\r\n";
  EXPECT_EQ(Whole(log.SpoolUtf8()), expected);
}

}  // namespace
}  // namespace tarsil

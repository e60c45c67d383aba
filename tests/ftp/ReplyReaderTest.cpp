#include "ftp/ReplyReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarsil {
namespace {

struct Outcome {
  std::vector<std::string> finals;  // final lines handed on, in order
  bool too_long = false;
  std::string leftover;
};

// Feeds the pieces one by one, as reads of the control connection would deliver them.
Outcome Read(const std::vector<std::string>& pieces) {
  LineReader lines;
  ReplyAssembler replies;
  Outcome outcome;
  std::string line;
  for (const std::string& piece : pieces) {
    lines.Append(piece);
    for (;;) {
      const LineReader::Result result = lines.NextLine(line);
      if (result == LineReader::Result::kNeedMore) break;
      if (result == LineReader::Result::kTooLong) {
        outcome.too_long = true;
        return outcome;
      }
      const ReplyAssembler::Result taken = replies.Take(line);
      if (taken == ReplyAssembler::Result::kTooLong) {
        outcome.too_long = true;
        return outcome;
      }
      if (taken == ReplyAssembler::Result::kFinal) outcome.finals.push_back(line);
    }
  }
  outcome.leftover = std::string(lines.Leftover());
  return outcome;
}

// The same bytes split in two at every position (or every `stride`-th), and one byte per read,
// give the same result.
void ExpectSameAtEverySplit(const std::string& bytes, const Outcome& expected, size_t stride = 1) {
  std::vector<std::vector<std::string>> splits;
  for (size_t cut = 0; cut <= bytes.size(); cut += stride) {
    splits.push_back({bytes.substr(0, cut), bytes.substr(cut)});
  }
  std::vector<std::string> single;
  for (char c : bytes) single.emplace_back(1, c);
  splits.push_back(single);
  for (const auto& pieces : splits) {
    SCOPED_TRACE("first piece: " + std::to_string(pieces[0].size()) + " bytes");
    const Outcome outcome = Read(pieces);
    EXPECT_EQ(outcome.finals, expected.finals);
    EXPECT_EQ(outcome.too_long, expected.too_long);
    EXPECT_EQ(outcome.leftover, expected.leftover);
  }
}

TEST(ReplyReaderTest, MultiLineGreetingHandsOnOnlyItsLastLineAtEverySplit) {
  const std::string greeting =
      "220-Welcome\r\n"
      "  any text at all\r\n"
      "220-still the greeting\r\n"
      "230 another code inside\r\n"
      "\r\n"
      "220 ready\r\n"
      "331 Password required\r\n"
      "250";
  ExpectSameAtEverySplit(greeting, {{"220 ready", "331 Password required"}, false, "250"});
}

TEST(ReplyReaderTest, LinesFollowTheMultiLineRules) {
  struct Row {
    std::vector<std::string> pieces;
    std::vector<std::string> finals;
  };
  const std::vector<Row> rows = {
      // A line without CR LF waits for it; a bare LF does not end a line.
      {{"200 ok"}, {}},
      {{"200 ok\n", "x\r\n"}, {"200 ok\nx"}},
      {{"200 o", "k\r", "\n"}, {"200 ok"}},
      // Empty lines are ignored; short lines are final outside a multi-line reply.
      {{"\r\n\r\n22\r\n"}, {"22"}},
      // Inside, a short line or a line of another code is ignored.
      {{"211-a\r\n21\r\n212 b\r\n211-c\r\n211 end\r\n"}, {"211 end"}},
      // The code must be followed by a blank to close.
      {{"250-a\r\n250\r\n250x\r\n250 done\r\n"}, {"250 done"}},
      // Two replies back to back.
      {{"226-x\r\n226 y\r\n200 z\r\n"}, {"226 y", "200 z"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pieces[0]);
    EXPECT_EQ(Read(row.pieces).finals, row.finals);
  }
}

TEST(ReplyReaderTest, LineLengthIsBoundedAtEightKiB) {
  const std::string longest(LineReader::kMaxLineLength, 'a');
  // The longest line passes whether its end has come or not; one byte more fails either way.
  EXPECT_EQ(Read({longest + "\r\n"}).finals, std::vector<std::string>{longest});
  EXPECT_FALSE(Read({longest + "\r"}).too_long);
  EXPECT_TRUE(Read({longest + "a\r\n"}).too_long);
  EXPECT_TRUE(Read({longest + "a"}).too_long);
  // Fed 4096 bytes at a time, as the engine reads, a line that never ends stops at the cap.
  LineReader lines;
  std::string line;
  size_t fed = 0;
  LineReader::Result result = LineReader::Result::kNeedMore;
  while (result == LineReader::Result::kNeedMore && fed < 100 * 4096) {
    lines.Append(std::string(4096, 'x'));
    fed += 4096;
    result = lines.NextLine(line);
  }
  EXPECT_EQ(result, LineReader::Result::kTooLong);
  EXPECT_LE(fed, LineReader::kMaxLineLength + 4096);
  // It stays failed until cleared.
  lines.Append("200 ok\r\n");
  EXPECT_EQ(lines.NextLine(line), LineReader::Result::kTooLong);
  lines.Clear();
  lines.Append("200 ok\r\n");
  EXPECT_EQ(lines.NextLine(line), LineReader::Result::kLine);
  EXPECT_EQ(line, "200 ok");
}

TEST(ReplyReaderTest, SplitLongLineAtEverySplitIsJudgedAlike) {
  ExpectSameAtEverySplit("200 " + std::string(LineReader::kMaxLineLength - 4, 'b') + "\r\n",
                         {{"200 " + std::string(LineReader::kMaxLineLength - 4, 'b')}, false, ""},
                         61);
}

TEST(ReplyReaderTest, MultiLineReplyThatNeverClosesIsBounded) {
  ReplyAssembler replies;
  ASSERT_EQ(replies.Take("220-start"), ReplyAssembler::Result::kIgnored);
  const std::string inner = "220-" + std::string(1000, 'm');
  size_t total = 11;
  ReplyAssembler::Result result = ReplyAssembler::Result::kIgnored;
  while (result == ReplyAssembler::Result::kIgnored &&
         total < 4 * ReplyAssembler::kMaxReplyLength) {
    result = replies.Take(inner);
    total += inner.size() + 2;
  }
  EXPECT_EQ(result, ReplyAssembler::Result::kTooLong);
  EXPECT_GT(total, ReplyAssembler::kMaxReplyLength);
  EXPECT_LE(total, ReplyAssembler::kMaxReplyLength + inner.size() + 2);
  // A reply just under the cap is fine, and the next reply starts afresh.
  replies.Clear();
  ASSERT_EQ(replies.Take("220-start"), ReplyAssembler::Result::kIgnored);
  EXPECT_EQ(replies.Take("220 end"), ReplyAssembler::Result::kFinal);
  EXPECT_FALSE(replies.InMultiLine());
}

}  // namespace
}  // namespace tarsil

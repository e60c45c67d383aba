#include "app/Scrambler.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tarsil {
namespace {

const std::string kJapanese = "\x93\xFA\x96\x7B\x8C\xEA\x83\x5C\x83\x74\x83\x67";  // 日本語ソフト

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

TEST(Scrambler, KnownEncodings) {
  EXPECT_EQ(EncodeLineAt("", 0), "Q");
  EXPECT_EQ(EncodeLineAt("A", 0), "Q10");
  EXPECT_EQ(EncodeLineAt("A", 10), "M0C");
  // Twelve zero bytes show the key itself, wrapping after the eleventh position.
  EXPECT_EQ(EncodeLineAt(std::string(12, '\0'), 0),
            "Q51573"
            "45A4B3750583944"
            "4D51");
}

TEST(Scrambler, RoundTripFromEveryStart) {
  const std::vector<std::string> lines = {"", "Open ftp1 user pass", kJapanese, AllBytes()};
  for (const std::string& line : lines) {
    for (std::size_t start = 0; start < ScrambleKey.size(); ++start) {
      const std::string scrambled = EncodeLineAt(line, start);
      ASSERT_EQ(scrambled.size(), 1 + 2 * line.size());
      EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF", 1), std::string::npos);
      EXPECT_EQ(DecodeLine(scrambled), line);
    }
  }
  EXPECT_EQ(DecodeLine(""), "");
  EXPECT_EQ(DecodeLine(EncodeLine(kJapanese)), kJapanese);
}

TEST(Scrambler, RandomStartUsesTickSource) {
  int calls = 0;
  Scrambler scrambler(42, [&calls] { return static_cast<uint32_t>(calls++); });
  std::set<char> starts;
  for (int i = 0; i < 50; ++i) {
    const std::string scrambled = scrambler.EncodeLine(kJapanese);
    ASSERT_NE(ScrambleKey.find(scrambled[0]), std::string_view::npos);
    starts.insert(scrambled[0]);
    EXPECT_EQ(DecodeLine(scrambled), kJapanese);
  }
  EXPECT_EQ(calls, 50);
  EXPECT_GT(starts.size(), 1u);
  // Same seed and the same tick count modulo 10 give the same lines.
  Scrambler a(7, [] { return 3u; });
  Scrambler b(7, [] { return 13u; });
  EXPECT_EQ(a.EncodeLine("abc"), b.EncodeLine("abc"));
}

TEST(Scrambler, DecodeAcceptsLowerCaseAndSingleDigit) {
  std::string lower = EncodeLineAt(kJapanese, 3);
  for (std::size_t i = 1; i < lower.size(); ++i) {
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
  }
  EXPECT_EQ(DecodeLine(lower), kJapanese);
  EXPECT_EQ(DecodeLine("Q1"), "P");      // 0x01 ^ 'Q'
  EXPECT_EQ(DecodeLine("Q101"), "AV");   // 0x01 ^ 'W'
  EXPECT_EQ(DecodeLine("M0C10"), "AA");  // wraps from the last key position
}

TEST(Scrambler, DecodeRejectsBadLines) {
  for (const std::string line : {"q10", "A10", "010", " Q10", "\x93\xFA"}) {
    EXPECT_THROW(DecodeLine(line), ScrambleError) << line;
  }
  for (const std::string line : {"Q1G", "Q 1", "Q10-1", "Q10\r\n", "Q0x"}) {
    EXPECT_THROW(DecodeLine(line), ScrambleError) << line;
  }
  try {
    DecodeLine("Q10zz");
    FAIL();
  } catch (const ScrambleError& error) {
    // "暗号化された行の4文字目が16進数ではありません"
    EXPECT_EQ(std::string(error.what()),
              "\x88\xC3\x8D\x86\x89\xBB\x82\xB3\x82\xEA\x82\xBD\x8Ds\x82\xCC"
              "4"
              "\x95\xB6\x8E\x9A\x96\xDA\x82\xAA"
              "16\x90i\x90\x94\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1");
  }
}

}  // namespace
}  // namespace tarsil

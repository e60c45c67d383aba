#include "app/ScriptText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "app/CheckCommand.h"
#include "app/ExitStatus.h"
#include "app/ScriptFile.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

// 日本語.txt in CP932 and in UTF-8.
const std::string kNameCp932 = "\x93\xfa\x96\x7b\x8c\xea.txt";
const std::string kNameUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";

TEST(ScriptTextTest, DetectionTable) {
  struct Row {
    const char* what;
    std::string bytes;
    TextEncoding expected;
  };
  const Row rows[] = {
      {"empty", "", TextEncoding::kCp932},
      {"ASCII only", "open ftp1\r\nget a.txt\r\n", TextEncoding::kCp932},
      {"mark alone", "\xEF\xBB\xBF", TextEncoding::kUtf8},
      {"mark and ASCII", "\xEF\xBB\xBFstop\r\n", TextEncoding::kUtf8},
      {"UTF-8 names", "get " + kNameUtf8 + "\n", TextEncoding::kUtf8},
      {"a real CP932 script",
       "open ftp.example.jp\r\nget " + kNameCp932 + "\r\nlcd C:\\\x83\x66\x81\x5b\x83\x5e\r\n",
       TextEncoding::kCp932},
      {"CP932 katakana (half width)", "Rem \xC3\xDE\xB0\xC0\r\n", TextEncoding::kCp932},
      {"CP932 hiragana", "Rem \x82\xa0\x82\xa2\r\n", TextEncoding::kCp932},
      // The hard cases: short CP932 texts that happen to be well-formed UTF-8.
      {"CP932 ﾂｱ reads as ±", "\xC2\xB1", TextEncoding::kUtf8},
      {"CP932 ﾐｰ reads as Cyrillic а", "\xD0\xB0", TextEncoding::kUtf8},
      {"CP932 縺 + full-width space reads as ぁ@", "\xE3\x81\x81\x40", TextEncoding::kUtf8},
      {"CP932 譌･ reads as 日", "\xE6\x97\xA5 ", TextEncoding::kUtf8},
      // One ordinary CP932 character beside them breaks the spell.
      {"the same with a hiragana line", "\xE6\x97\xA5 \r\nRem \x82\xa0\r\n", TextEncoding::kCp932},
      {"UTF-8 cut in the middle", "get \xE6\x97\r\n", TextEncoding::kCp932},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DetectScriptEncoding(row.bytes).encoding, row.expected) << row.what;
  }
}

TEST(ScriptTextTest, AMarkedUtf8ScriptLoadsAndSavesBackUnchanged) {
  const std::string file = "\xEF\xBB\xBFstop\nget " + kNameUtf8 + "\n";
  ScriptText text = DecodeScriptText(file);
  EXPECT_EQ(text.lines, std::vector<std::string>({"stop", "get " + kNameCp932}));
  EXPECT_TRUE(text.encoding.byte_order_mark);
  EXPECT_TRUE(text.encoding.lf_only);
  EXPECT_EQ(EncodeScriptText(text.lines, text.encoding), file);

  const std::string crlf = "get " + kNameUtf8 + "\r\n";
  ScriptText plain = DecodeScriptText(crlf);
  EXPECT_FALSE(plain.encoding.byte_order_mark);
  EXPECT_EQ(EncodeScriptText(plain.lines, plain.encoding), crlf);
}

TEST(ScriptTextTest, ACp932ScriptIsKeptByteForByte) {
  const std::string file = "open ftp1\nget " + kNameCp932 + "\r\n";  // mixed ends, as today
  ScriptText text = DecodeScriptText(file);
  EXPECT_EQ(text.encoding, ScriptEncoding{});
  EXPECT_EQ(text.lines[1], "get " + kNameCp932);
  EXPECT_EQ(EncodeScriptText(text.lines, text.encoding), JoinTextLines(text.lines));
}

TEST(ScriptTextTest, ALineWithNoCp932FormIsAnErrorNamingIt) {
  try {
    DecodeScriptText("open ftp1\nget caf\xC3\xA9.txt\n");
    FAIL() << "no error";
  } catch (const ScriptTextError& error) {
    EXPECT_NE(std::string(error.what()).find("Line 2 "), std::string::npos) << error.what();
  }
  EXPECT_THROW(DecodeScriptText("\xEF\xBB\xBFput \xF0\x9F\x98\x80.png\n"), ScriptTextError);
}

TEST(ScriptTextTest, NewScriptsAndScrambledScripts) {
  TempDir dir;
  const std::vector<std::string> lines = {"get " + kNameCp932};
  const std::string plain = (dir.path() / "new.fcs").string();
  StoreScriptFile(plain, lines, NewScriptEncoding(TextEncoding::kUtf8));
  EXPECT_EQ(TempDir::Read(plain), "get " + kNameUtf8 + "\r\n");
  // A scrambled script keeps its CP932 form whatever the encoding.
  const std::string scrambled = (dir.path() / "new.fcx").string();
  StoreScriptFile(scrambled, lines, NewScriptEncoding(TextEncoding::kUtf8));
  std::vector<std::string> back = SplitTextLines(TempDir::Read(scrambled));
  DecodeScriptLines(back);
  EXPECT_EQ(back, lines);
}

TEST(ScriptTextTest, TheCheckCommandReadsScriptsAsARunDoes) {
  TempDir dir;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out_file(std::tmpfile(), &std::fclose);
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err_file(std::tmpfile(), &std::fclose);
  std::FILE* out = out_file.get();
  std::FILE* err = err_file.get();
  const std::string good = dir.Write("good.fcs", "\xEF\xBB\xBFRem " + kNameUtf8 + "\n");
  EXPECT_EQ(RunCheckCommand(good, out, err), kExitOk);
  const std::string bad = dir.Write("bad.fcs", "Rem ok\nRem caf\xC3\xA9\n");
  EXPECT_EQ(RunCheckCommand(bad, out, err), kExitScriptUnreadable);
}

}  // namespace
}  // namespace tarsil

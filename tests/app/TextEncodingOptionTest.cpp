// The option "文字コード" and the script's own encoding in the main-window controller: scripts
// are saved back as they were read, new scripts follow the option, the log file and "Dir" files
// are UTF-8 with the option on and byte for byte today's CP932 with it off; the options store it.
#include <gtest/gtest.h>

#include "app/MainController.h"
#include "app/Options.h"
#include "app/ScriptFile.h"
#include "platform/PollEventLoop.h"
#include "support/FakeFtpServer.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

const std::string kNameCp932 = "\x93\xfa\x96\x7b.txt";  // 日本.txt
const std::string kNameUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
const std::string kHiraganaCp932 = "\x82\xa0";  // あ
const std::string kHiraganaUtf8 = "\xE3\x81\x82";

class TextEncodingOptionTest : public ::testing::Test {
 protected:
  void RunUntilClosed() {
    ASSERT_TRUE(
        loop_.WaitUntil([this] { return form_.Closed(); }, std::chrono::steady_clock::now() + 30s));
  }
  // Runs `script` unattended with log saving on and returns the log file's bytes.
  std::string RunAndReadLog(const std::string& script_bytes) {
    store_.WriteInteger(kOptionsKey, "ch_Logsave", 1);
    store_.WriteString(kOptionsKey, "Logsave", (dir_.path() / "run.log").string());
    const std::string script = dir_.Write("job.fcs", script_bytes);
    EXPECT_TRUE(form_.FormShow(script));
    RunUntilClosed();
    return TempDir::Read(dir_.path() / "run.log");
  }

  TempDir dir_;
  PollEventLoop loop_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MainController form_{loop_, store_};
};

TEST_F(TextEncodingOptionTest, ScriptsAreSavedBackAsTheyWereRead) {
  ASSERT_TRUE(form_.FormShow(std::nullopt));
  const std::string marked = "\xEF\xBB\xBFRem " + kNameUtf8 + "\nstop\n";
  const std::string utf8_file = dir_.Write("utf8.fcs", marked);
  form_.LoadScript(utf8_file);
  EXPECT_EQ(form_.EditorLines(), std::vector<std::string>({"Rem " + kNameCp932, "stop"}));
  form_.SetEditorLines({"Rem " + kNameCp932, "stop", "Rem " + kHiraganaCp932}, true);
  ASSERT_TRUE(form_.Save());
  EXPECT_EQ(TempDir::Read(utf8_file), marked + "Rem " + kHiraganaUtf8 + "\n");

  const std::string cp932 = "Rem " + kNameCp932 + "\r\n";
  const std::string cp932_file = dir_.Write("cp932.fcs", cp932);
  form_.LoadScript(cp932_file);
  ASSERT_TRUE(form_.Save());
  EXPECT_EQ(TempDir::Read(cp932_file), cp932);
}

TEST_F(TextEncodingOptionTest, ALineWithNoCp932FormStopsTheLoadAndTheRun) {
  const std::string victim = dir_.Write("victim.txt", "keep me");
  const std::string script = dir_.Write("bad.fcs", "ldel " + victim + "\nRem caf\xC3\xA9\n");
  ASSERT_TRUE(form_.FormShow(script));
  RunUntilClosed();
  EXPECT_TRUE(std::filesystem::exists(victim));
  const std::string first = form_.Logmemo().Lines().at(0).text;
  EXPECT_NE(first.find("Line 2 "), std::string::npos) << first;
}

TEST_F(TextEncodingOptionTest, NewScriptsFollowTheOption) {
  store_.WriteString(kOptionsKey, "TextEncoding", "UTF-8");
  ASSERT_TRUE(form_.FormShow(std::nullopt));
  form_.SetEditorLines({"Rem " + kNameCp932}, true);
  ASSERT_NO_THROW(form_.StoreScript((dir_.path() / "new.fcs").string()));
  EXPECT_EQ(TempDir::Read(dir_.path() / "new.fcs"), "Rem " + kNameUtf8 + "\r\n");
}

TEST_F(TextEncodingOptionTest, TheLogFileIsUtf8WithTheOptionOn) {
  store_.WriteString(kOptionsKey, "TextEncoding", "UTF-8");
  const std::string log = RunAndReadLog("Rem " + kNameCp932 + "\r\n");
  EXPECT_NE(log.find("Rem " + kNameUtf8 + "\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(kNameCp932), std::string::npos);
}

TEST_F(TextEncodingOptionTest, TheLogFileIsTodaysCp932WithTheOptionOff) {
  const std::string log = RunAndReadLog("Rem " + kNameCp932 + "\r\n");
  EXPECT_EQ(log, JoinTextLines(form_.Logmemo().LineTexts()));
  EXPECT_NE(log.find("Rem " + kNameCp932 + "\r\n"), std::string::npos);
}

TEST_F(TextEncodingOptionTest, AnLmdelLineNamesTheFileExactlyInUtf8AndWithAMarkInCp932) {
  for (const bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8 ? "UTF-8" : "CP932");
    TempDir run_dir;
    MainController form(loop_, store_);
    store_.WriteString(kOptionsKey, "TextEncoding", utf8 ? "UTF-8" : "CP932");
    store_.WriteInteger(kOptionsKey, "ch_Logsave", 1);
    store_.WriteString(kOptionsKey, "Logsave", (run_dir.path() / "run.log").string());
    run_dir.Write("caf\xC3\xA9.bak", "x");
    run_dir.Write("a.bak", "x");
    const std::string script = run_dir.Write("job.fcs", "lmdel " + run_dir.str() + "/*.bak\r\n");
    ASSERT_TRUE(form.FormShow(script));
    ASSERT_TRUE(
        loop_.WaitUntil([&] { return form.Closed(); }, std::chrono::steady_clock::now() + 30s));
    const std::string log = TempDir::Read(run_dir.path() / "run.log");
    const std::string line = "999 A local name has no CP932 form and was left out: caf";
    EXPECT_NE(log.find(line + (utf8 ? "\xC3\xA9" : "?") + ".bak\r\n"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(run_dir.path() / "a.bak"));
  }
}

// A UTF-8 script against a server taken as CP932, once because its FEAT does not list UTF8 and
// once because the script says so (no FEAT then, though the server would list UTF8): the names
// cross in CP932, and the local disk has them in UTF-8.
TEST_F(TextEncodingOptionTest, AUtf8ScriptAgainstACp932Server) {
  const std::string kLongCp932 = "\x93\xfa\x96\x7b\x8c\xea.txt";  // 日本語.txt
  const std::string kLongUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";
  for (const bool by_parameter : {false, true}) {
    SCOPED_TRACE(by_parameter ? "setparam" : "FEAT");
    TempDir run_dir;
    MainController form(loop_, store_);
    testing::FakeFtpServer server;
    server.On("FEAT", by_parameter ? "211-Features:\r\n UTF8\r\n211 End\r\n"
                                   : "211-Features:\r\n SIZE\r\n211 End\r\n");
    server.ServeData("RETR " + kLongCp932, "from the server");
    run_dir.Write(kNameUtf8, "from here");
    store_.WriteInteger(kOptionsKey, "ch_Logsave", 0);
    const std::string script =
        "\xEF\xBB\xBF" + std::string(by_parameter ? "setparam SERVERCHARSET=cp932\n" : "") +
        "Open 127.0.0.1:" + std::to_string(server.port()) + "\nLogin user secret\nlcd " +
        run_dir.str() + "\nPut " + kNameUtf8 + "\nGet " + kLongUtf8 + "\nBye\n";
    ASSERT_TRUE(form.FormShow(run_dir.Write("job.fcs", script)));
    ASSERT_TRUE(
        loop_.WaitUntil([&] { return form.Closed(); }, std::chrono::steady_clock::now() + 30s));
    EXPECT_EQ(server.ReceivedData("STOR " + kNameCp932), "from here");
    const std::string wire = server.RawInput();
    EXPECT_EQ(wire.find("FEAT\r\n") == std::string::npos, by_parameter) << wire;
    EXPECT_EQ(wire.find("OPTS"), std::string::npos);
    EXPECT_NE(wire.find("STOR " + kNameCp932 + "\r\n"), std::string::npos) << wire;
    EXPECT_NE(wire.find("RETR " + kLongCp932 + "\r\n"), std::string::npos) << wire;
    EXPECT_EQ(TempDir::Read(run_dir.path() / kLongUtf8), "from the server");
  }
}

// "Dir >file" against a UTF-8 server: with the option on the file is UTF-8 and holds even the name
// CP932 lacks exactly; with it off it is the CP932 listing with "?" for it, CR LF as always.
TEST_F(TextEncodingOptionTest, DirFilesFollowTheOption) {
  const std::string line = "-rw-r--r--   1 ftp ftp        5 Jan 02  2020 ";
  for (const bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8 ? "UTF-8" : "CP932");
    TempDir run_dir;
    MainController form(loop_, store_);
    testing::FakeFtpServer server;
    server.On("FEAT", "211-Features:\r\n UTF8\r\n211 End\r\n");
    server.ServeData("LIST", line + kNameUtf8 + "\r\n" + line + "caf\xC3\xA9.txt\r\n");
    store_.WriteInteger(kOptionsKey, "ch_Logsave", 0);
    store_.WriteString(kOptionsKey, "TextEncoding", utf8 ? "UTF-8" : "CP932");
    const std::string script = "Open 127.0.0.1:" + std::to_string(server.port()) +
                               "\r\nLogin user secret\r\nDir >" + run_dir.str() +
                               "/list.txt\r\nBye\r\n";
    ASSERT_TRUE(form.FormShow(run_dir.Write("job.fcs", script)));
    ASSERT_TRUE(
        loop_.WaitUntil([&] { return form.Closed(); }, std::chrono::steady_clock::now() + 30s));
    const std::string expected = utf8 ? line + kNameUtf8 + "\r\n" + line + "caf\xC3\xA9.txt\r\n"
                                      : line + kNameCp932 + "\r\n" + line + "caf?.txt\r\n";
    EXPECT_EQ(TempDir::Read(run_dir.path() / "list.txt"), expected + "\r\n");  // as always
  }
}

TEST(TextEncodingOptionsStoreTest, StoredAsTextAndReadBack) {
  TempDir dir;
  SettingsStore store((dir.path() / "settings.reg").string());
  Options options;
  options.Load(store);
  EXPECT_EQ(options.FileEncoding(), TextEncoding::kCp932);
  EXPECT_EQ(options.ServerNames(), ServerCharset::kAuto);
  options.SetFileEncoding(TextEncoding::kUtf8);
  options.SetServerNames(ServerCharset::kCp932);
  options.Store(store);
  EXPECT_EQ(store.ReadString(kOptionsKey, "TextEncoding"), "UTF-8");
  EXPECT_EQ(store.ReadString(kOptionsKey, "ServerCharset"), "CP932");
  Options again;
  again.Load(store);
  EXPECT_EQ(again.FileEncoding(), TextEncoding::kUtf8);
  EXPECT_EQ(again.ServerNames(), ServerCharset::kCp932);
  store.WriteString(kOptionsKey, "TextEncoding", "EBCDIC");  // unknown: the default
  again.Load(store);
  EXPECT_EQ(again.FileEncoding(), TextEncoding::kCp932);
}

}  // namespace
}  // namespace tarsil

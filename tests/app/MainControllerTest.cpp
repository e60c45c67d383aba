#include "app/MainController.h"

#include <gtest/gtest.h>

#include "app/AppMessages.h"
#include "app/Scrambler.h"
#include "app/ScriptFile.h"
#include "platform/PollEventLoop.h"
#include "script/ScriptMessages.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class RecordingView : public MainView {
 public:
  Answer ShowMessageBox(std::string_view text, std::string_view, Buttons buttons,
                        MessageIcon) override {
    asked.emplace_back(text);
    return buttons == Buttons::kOk ? Answer::kOk : answer;
  }
  void StateChanged() override { ++changes; }
  bool ChooseSaveName(std::string& file_name) override {
    if (save_name.empty()) return false;
    file_name = save_name;
    return true;
  }

  std::vector<std::string> asked;
  Answer answer = Answer::kYes;
  std::string save_name;
  int changes = 0;
};

class MainControllerTest : public ::testing::Test {
 protected:
  MainControllerTest() { form_.SetView(&view_); }

  void RunUntilClosed() {
    ASSERT_TRUE(
        loop_.WaitUntil([this] { return form_.Closed(); }, std::chrono::steady_clock::now() + 30s));
  }

  TempDir dir_;
  PollEventLoop loop_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MainController form_{loop_, store_};
  RecordingView view_;
};

TEST_F(MainControllerTest, InteractiveStartIsANewScriptWithDocumentMenus) {
  ASSERT_TRUE(form_.FormShow(std::nullopt));
  EXPECT_EQ(form_.ScriptFileName(), "newfile");
  EXPECT_EQ(form_.Caption(), "Tarsil -newfile");
  EXPECT_EQ(form_.Panel(1), "Disconnect");
  for (const char* item : {"Save1", "SaveAs1", "Run1", "Step1", "Edit1"}) {
    EXPECT_TRUE(form_.MenuEnabled(item)) << item;
  }
}

TEST_F(MainControllerTest, MenusAreDisabledDuringARunAndRestoredAfterIt) {
  // Before New, Save is disabled; it must stay so after a run, also one that fails.
  store_.WriteInteger(kTarsilKey, "n", 1);
  bool seen_disabled = false;
  form_.SetEditorLines({"pause", "Rem %n%"}, false);
  view_.asked.clear();
  struct Probe : RecordingView {
    MainController* form;
    bool* seen;
    Answer ShowMessageBox(std::string_view, std::string_view, Buttons, MessageIcon) override {
      *seen = !form->MenuEnabled("Open1") && !form->MenuEnabled("N6") &&
              form->Panel(0) == kRunningText && form->CursorBusy();
      return Answer::kOk;
    }
  } probe;
  probe.form = &form_;
  probe.seen = &seen_disabled;
  form_.SetView(&probe);
  form_.Run();
  EXPECT_TRUE(seen_disabled);
  EXPECT_TRUE(form_.MenuEnabled("Open1"));
  EXPECT_FALSE(form_.MenuEnabled("Save1"));
  EXPECT_FALSE(form_.CursorBusy());
  EXPECT_EQ(form_.Panel(0), "");
  // The expansion failure reached the failure handler.
  EXPECT_EQ(form_.Logmemo().Lines().back().text.rfind(kUnexpectedErrorPrefix, 0), 0u);
}

TEST_F(MainControllerTest, UnattendedRunClosesAndWritesTheLogUnderLogfile) {
  store_.WriteInteger(kOptionsKey, "ch_Logsave", 1);
  std::string param_log = (dir_.path() / "param.log").string();
  std::string script = dir_.Write("job.fcs", "setparam LOGFILE=" + param_log + "\r\nRem x\r\n");
  ASSERT_TRUE(form_.FormShow(script));
  EXPECT_FALSE(form_.Closed());  // the run starts only once the loop runs
  RunUntilClosed();
  EXPECT_TRUE(form_.AutoMode());
  EXPECT_TRUE(form_.WindowEnabled());
  std::vector<std::string> lines = SplitTextLines(TempDir::Read(param_log));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "Rem x");
  EXPECT_TRUE(view_.asked.empty());
}

TEST_F(MainControllerTest, ABrokenScrambledScriptIsReportedAndNotRun) {
  std::string script = dir_.Write("bad.fcx", EncodeLine("ldel victim.txt") + "\r\nQzz\r\n");
  std::string victim = dir_.Write("victim.txt", "keep me");
  ASSERT_TRUE(form_.FormShow(script));
  RunUntilClosed();
  EXPECT_TRUE(std::filesystem::exists(victim));
  const auto& lines = form_.Logmemo().Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].text.rfind(kUnexpectedErrorPrefix, 0), 0u);
  EXPECT_EQ(lines.size(), 3u);  // the failure, the start line and the end line
}

TEST_F(MainControllerTest, RunShowsTheCheckersFindingsAndRunsAnyway) {
  ASSERT_TRUE(form_.FormShow(std::nullopt));
  form_.SetEditorLines({"Gett a.txt", "Rem after"}, true);
  form_.Run();
  const auto& lines = form_.Logmemo().Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].text,
            "newfile:1: unknown keyword \"Gett\": the line does nothing (did you mean Get?)");
  EXPECT_EQ(lines[1].text.rfind("<<newfile>> start ", 0), 0u);
  EXPECT_EQ(lines[3].text, "Rem after");
  // A clean script adds nothing before its start line; a step checks nothing.
  form_.LogClear();
  form_.SetEditorLines({"Rem fine"}, true);
  form_.Run();
  EXPECT_EQ(form_.Logmemo().Lines()[0].text.rfind("<<newfile>> start ", 0), 0u);
  form_.LogClear();
  form_.SetEditorLines({"Gett a.txt"}, true);
  form_.Step(0);
  ASSERT_EQ(form_.Logmemo().LineCount(), 1u);
  EXPECT_EQ(form_.Logmemo().Lines()[0].text, "Gett a.txt");
}

TEST_F(MainControllerTest, UnattendedExitStatusFollowsTheRun) {
  std::string script = dir_.Write("job.fcs", "ldel none.txt\r\nif Error Rem handled\r\n");
  ASSERT_TRUE(form_.FormShow(script));
  RunUntilClosed();
  EXPECT_EQ(form_.UnattendedExitStatus(false), 0);
  EXPECT_EQ(form_.UnattendedExitStatus(true), 1);
}

TEST_F(MainControllerTest, OptionsThatCannotBeReadStopTheStart) {
  store_.WriteString(kOptionsKey, "Runmode", "text");
  std::string script = dir_.Write("job.fcs", "Rem x\r\n");
  EXPECT_FALSE(form_.FormShow(script));
  ASSERT_EQ(form_.Logmemo().LineCount(), 1u);
  EXPECT_EQ(form_.Logmemo().Lines()[0].text.rfind(kUnexpectedErrorPrefix, 0), 0u);
}

TEST_F(MainControllerTest, SavePromptAndScrambledStore) {
  ASSERT_TRUE(form_.FormShow(std::nullopt));
  form_.SetEditorLines({"Login user secret"}, true);
  EXPECT_EQ(form_.Panel(0), kModifiedText);

  // Cancel keeps the text, still modified, under "newfile".
  view_.answer = Answer::kCancel;
  form_.NewFile();
  EXPECT_EQ(form_.EditorLines().size(), 1u);
  EXPECT_TRUE(form_.Modified());

  // Yes on a new script asks for a name; the extension decides the scrambling.
  view_.answer = Answer::kYes;
  view_.save_name = (dir_.path() / "x.FCX").string();
  form_.NewFile();
  EXPECT_FALSE(form_.Modified());
  EXPECT_EQ(TempDir::Read(view_.save_name).find("secret"), std::string::npos);

  form_.LoadScript(view_.save_name);
  EXPECT_EQ(form_.EditorLines(), std::vector<std::string>({"Login user secret"}));
  EXPECT_EQ(form_.Caption(), "Tarsil -" + view_.save_name);
}

TEST_F(MainControllerTest, StepReturnsTheCaretLineAndKeepsItOnFailure) {
  store_.WriteInteger(kTarsilKey, "n", 1);
  form_.SetEditorLines({"Rem a", "Rem %n%"}, false);
  EXPECT_EQ(form_.Step(0), 1);
  EXPECT_EQ(form_.Step(1), 1);
  EXPECT_EQ(form_.Logmemo().Lines().back().text.rfind(kUnexpectedErrorPrefix, 0), 0u);
}

}  // namespace
}  // namespace tarsil

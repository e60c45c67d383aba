// The main-window controller's window parts: status panels for the session events, the log
// menu, the recall list fed by opening files, and the transfer window of the unattended run.
#include <gtest/gtest.h>

#include "app/AppMessages.h"
#include "app/MainController.h"
#include "app/TransferWindowState.h"
#include "platform/PollEventLoop.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

class MainControllerWindowTest : public ::testing::Test {
 protected:
  TempDir dir_;
  PollEventLoop loop_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MainController form_{loop_, store_};
};

TEST_F(MainControllerWindowTest, StatusPanelsFollowLoginQuitAndProgress) {
  form_.ServerOpened("ftp.example");
  form_.FTPLoggedIn();
  EXPECT_EQ(form_.Panel(1), "Connect");
  EXPECT_EQ(form_.Panel(2), "ftp.example");
  EXPECT_TRUE(form_.Window().LoggedIn());

  struct Case {
    void (MainController::*event)(int64_t, double);
    int64_t bytes;
    double spend;
    std::string panel;
  };
  const double second = 1.0 / 86400;
  for (const Case& c : std::vector<Case>{
           {&MainController::Retrieving, 4096, second, "Retrieve...4096"},
           {&MainController::FTPretrievefinished, 10, 4 * second,
            "Retrieved 10(2cps)"},  // 2.5: even
           {&MainController::FTPretrievefinished, 14, 4 * second,
            "Retrieved 14(4cps)"},                                                   // 3.5: even
           {&MainController::FTPretrievefinished, 700, 0, "Retrieved 700(700cps)"},  // no time: 1 s
           {&MainController::FTPtransfer, 8192, second, "Transfer...8192"},
           {&MainController::FTPtransferfinished, 3000, 2 * second, "Transfered 3000(1500cps)"},
           {&MainController::FTPtransferfinished, 5'000'000'000, 1,
            "Transfered 5000000000(57870cps)"},
       }) {
    (form_.*c.event)(c.bytes, c.spend);
    EXPECT_EQ(form_.Panel(3), c.panel);
  }

  EXPECT_FALSE(form_.FTP().SmallUploadBlocks);
  form_.Options().SetSendWait(true);  // zero seconds: only the text shows it
  form_.FTPtransfer(100, second);
  EXPECT_EQ(form_.Panel(3), "Transfer...100 Send Wait");
  // The pause follows every upload block, so the blocks stay small while it is on.
  EXPECT_TRUE(form_.FTP().SmallUploadBlocks);
  form_.Options().SetSendWait(false);
  EXPECT_FALSE(form_.FTP().SmallUploadBlocks);

  form_.FTPFtpQuit();
  EXPECT_EQ(form_.Panel(1), "DisConnect");
  EXPECT_EQ(form_.Panel(2), "");
  EXPECT_FALSE(form_.Window().LoggedIn());
}

TEST_F(MainControllerWindowTest, LogMenuSavesAndClearsOrKeepsTheLogOnFailure) {
  form_.WriteLog("one");
  form_.WriteLog("two");
  const std::string name = (dir_.path() / "saved.log").string();
  form_.LogfileSave(name);
  EXPECT_EQ(TempDir::Read(name), "one\r\ntwo\r\n");
  EXPECT_EQ(form_.Logmemo().LineCount(), 0u);

  form_.WriteLog("three");
  form_.LogfileSave((dir_.path() / "missing" / "x.log").string());
  ASSERT_EQ(form_.Logmemo().LineCount(), 2u);  // kept, with the failure line after it
  EXPECT_EQ(form_.Logmemo().Lines()[0].text, "three");
  EXPECT_EQ(form_.Logmemo().Lines()[1].text.rfind(kUnexpectedErrorPrefix, 0), 0u);

  form_.LogClear();
  EXPECT_EQ(form_.Logmemo().LineCount(), 0u);

  // A log longer than what memory keeps is saved whole.
  std::string expected;
  for (size_t i = 0; i < ExecutionLog::kTailLines + 10; ++i) {
    form_.WriteLog("line " + std::to_string(i));
    expected += "line " + std::to_string(i) + "\r\n";
  }
  form_.LogfileSave(name);
  EXPECT_EQ(TempDir::Read(name), expected);
  EXPECT_EQ(form_.Logmemo().LineCount(), 0u);
}

TEST_F(MainControllerWindowTest, OpenedFilesGoIntoTheRecallListWhichPersists) {
  const std::string a = dir_.Write("a.fcs", "Rem a\r\n");
  const std::string b = dir_.Write("b.fcs", "Rem b\r\n");
  auto form = std::make_unique<MainController>(loop_, store_);
  form->LoadScript(a);
  form->LoadScript(b);
  form->StoreScript((dir_.path() / "c.fcs").string());  // saving adds nothing
  ASSERT_EQ(form->RecallItems().size(), 2u);
  EXPECT_EQ(form->RecallItems()[0].caption, "&0 " + b);

  form->RecallMenu1().Click(1);  // opens a again and moves it to the top
  EXPECT_EQ(form->ScriptFileName(), a);
  EXPECT_EQ(form->RecallItems()[0].caption, "&0 " + a);
  EXPECT_TRUE(form->RecallItems()[0].enabled);
  form.reset();  // the list is saved when the window goes away

  form = std::make_unique<MainController>(loop_, store_);
  ASSERT_EQ(form->RecallItems().size(), 2u);
  EXPECT_EQ(form->RecallItems()[0].caption, "&0 " + a);
  EXPECT_EQ(form->RecallItems()[1].caption, "&1 " + b);
}

TEST_F(MainControllerWindowTest, TheUnattendedRunShowsAndClosesTheTransferWindow) {
  store_.WriteInteger(kOptionsKey, "cb_progress", 1);
  const std::string script = dir_.Write("job.fcs", "Rem x\r\n");
  struct Watcher : MainView {
    MainController* form = nullptr;
    bool seen_shown = false;
    Answer ShowMessageBox(std::string_view, std::string_view, Buttons, MessageIcon) override {
      return Answer::kOk;
    }
    void StateChanged() override {
      if (form->Progress().Shown()) {
        seen_shown = true;
        EXPECT_FALSE(form->Progress().DetailButtonVisible());
      }
    }
    bool ChooseSaveName(std::string&) override { return false; }
  } watcher;
  watcher.form = &form_;
  form_.SetView(&watcher);
  ASSERT_TRUE(form_.FormShow(script));
  ASSERT_TRUE(
      loop_.WaitUntil([&] { return form_.Closed(); }, std::chrono::steady_clock::now() + 30s));
  EXPECT_TRUE(watcher.seen_shown);
  EXPECT_FALSE(form_.Progress().Shown());
  form_.SetView(nullptr);
}

TEST(TransferWindowState, DetailButtonExpandsOnlyWhenShownAndEveryShowStartsCollapsed) {
  TransferWindowState state;
  state.Show(false);
  state.SetDetailDown(true);  // no button: cannot be expanded
  EXPECT_EQ(state.ClientHeight(), 125);
  state.Close();
  state.Show(true);
  state.SetDetailDown(true);
  EXPECT_EQ(state.ClientHeight(), 436);
  EXPECT_TRUE(state.HoldsLog());
  state.Close();
  EXPECT_FALSE(state.HoldsLog());
  state.Show(true);
  EXPECT_EQ(state.ClientHeight(), 125);
  EXPECT_FALSE(state.DetailDown());
  EXPECT_EQ(AboutVersionLine(kVersionText), "Version 2.6e ");
}

}  // namespace
}  // namespace tarsil

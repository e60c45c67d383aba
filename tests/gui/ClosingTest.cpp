// Closing the main window while a transfer is in progress: a confirmed close aborts the transfer,
// quits the server and ends the run, in that order, also when the save prompt that follows is
// cancelled; during the unattended run a close asks the run's question first and only Yes stops
// the transfer. The server is the scripted one, its download stalled so that the close always
// comes in the middle of it.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/AppMessages.h"
#include "gui/GuiTestSupport.h"
#include "gui/ScriptEditor.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {

class ClosingTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Desktop> d_;
  gui::MainWindow& W() { return *d_->window; }
  MainController& F() { return *d_->form; }

  static bool Received(const FakeFtpServer& server, const std::string& verb) {
    const std::vector<std::string> commands = server.Commands();
    return std::any_of(commands.begin(), commands.end(),
                       [&](const std::string& line) { return line.rfind(verb, 0) == 0; });
  }
  static std::ptrdiff_t Position(const std::vector<std::string>& commands, const char* verb) {
    auto it = std::find_if(commands.begin(), commands.end(),
                           [&](const std::string& line) { return line.rfind(verb, 0) == 0; });
    return it == commands.end() ? -1 : it - commands.begin();
  }
  // Runs `action` once the server has seen RETR (checked from the GUI thread's own loop).
  void WhenRetrieving(FakeFtpServer& server, QTimer& poll, std::function<void()> action) {
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, [&server, &poll, action] {
      if (!Received(server, "RETR")) return;
      poll.stop();
      action();
    });
    poll.start();
  }
  bool LogHolds(const std::string& text) {
    for (const LogLine& line : F().Logmemo().Lines()) {
      if (line.text.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::string Script(const FakeFtpServer& server) {
    return "Open 127.0.0.1:" + std::to_string(server.port()) +
           "\r\nLogin user secret\r\nGet big.bin " + (d_->dir.path() / "big.bin").string() +
           "\r\nRem after\r\n";
  }

 private slots:
  void init() { d_ = std::make_unique<Desktop>(); }
  void cleanup() { d_.reset(); }

  void aConfirmedCloseAbortsThenQuitsAlsoWhenTheSavePromptIsCancelled() {
    FakeFtpServer server;
    server.OnTransfer("RETR", FakeTransfer::Sending("x").Stalled());
    QVERIFY(d_->Start());
    W().Editor()->setPlainText(QString::fromStdString(Script(server)));  // modified: a prompt
    // Yes to the disconnect question, Cancel to the save prompt.
    d_->dialogs.answers = {Answer::kYes, Answer::kCancel};
    bool close_result = true;
    QTimer poll;
    WhenRetrieving(server, poll, [&] { close_result = W().close(); });
    W().Action("Run1")->trigger();

    QVERIFY(!close_result);  // the save prompt was cancelled: the window stays
    QVERIFY(!F().Closed());
    QVERIFY(W().isVisible());
    QCOMPARE(d_->dialogs.boxes.size(), size_t{2});
    QCOMPARE(d_->dialogs.boxes[0].text, Shown(kConfirmDisconnect));
    QCOMPARE(d_->dialogs.boxes[1].text, Shown(kAskSaveScript));
    // Aborted, then quit, before the save prompt was even asked.
    QVERIFY(server.WaitForCommand("QUIT", std::chrono::seconds(10)));
    const std::vector<std::string> commands = server.Commands();
    QVERIFY(Position(commands, "ABOR") > Position(commands, "RETR"));
    QVERIFY(Position(commands, "QUIT") > Position(commands, "ABOR"));
    QVERIFY(!F().FTP().IsLoggedIn());
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("DisConnect"));
    // The run ended after its current line: "Rem after" never ran, the menus are back.
    QVERIFY(!F().Runner().Running());
    for (const LogLine& line : F().Logmemo().Lines()) QVERIFY(line.text != "Rem after");
    QVERIFY(W().Action("Run1")->isEnabled());
    // A second close goes through: nothing to disconnect any more, only the script to drop.
    d_->dialogs.answers = {Answer::kNo};
    QVERIFY(W().close());
    QVERIFY(F().Closed());
  }

  void aCloseDuringTheUnattendedRunAsksAndOnlyYesStopsTheTransfer() {
    FakeFtpServer server;
    server.OnTransfer("RETR", FakeTransfer::Sending("x").Stalled());
    const std::string script = d_->dir.Write("job.fcs", Script(server));
    bool closed_after_no = true;
    bool aborted_after_no = true;
    QTimer poll;
    WhenRetrieving(server, poll, [&] {
      d_->dialogs.answers = {Answer::kNo};
      W().close();
      closed_after_no = F().Closed();
      aborted_after_no = LogHolds("ABOR");  // the log shows every command as it is sent
      d_->dialogs.answers = {Answer::kYes};
      W().close();  // the run ends after its line, then the window closes
    });
    QVERIFY(d_->Start(script));
    QVERIFY(d_->WaitUntilClosed());

    QVERIFY(!closed_after_no);
    QVERIFY(!aborted_after_no);  // No: the transfer went on untouched
    // Both closes asked the run's question; the logged-in session was then quit without another.
    QCOMPARE(d_->dialogs.boxes.size(), size_t{2});
    for (const ScriptedDialogs::Box& box : d_->dialogs.boxes) {
      QCOMPARE(box.text, Shown(kConfirmForceEnd));
      QCOMPARE(box.buttons, Buttons::kYesNo);
    }
    QVERIFY(server.WaitForCommand("QUIT", std::chrono::seconds(10)));
    const std::vector<std::string> commands = server.Commands();
    QVERIFY(Position(commands, "QUIT") > Position(commands, "ABOR"));
    QVERIFY(Position(commands, "ABOR") > Position(commands, "RETR"));
    for (const LogLine& line : F().Logmemo().Lines()) QVERIFY(line.text != "Rem after");
  }

  void theUnattendedRunThatEndsLoggedInStillClosesWithoutAQuestion() {
    FakeFtpServer server;
    const std::string script = d_->dir.Write(
        "job.fcs", "Open 127.0.0.1:" + std::to_string(server.port()) + "\r\nLogin user secret\r\n");
    QVERIFY(d_->Start(script));
    QVERIFY(d_->WaitUntilClosed());
    QVERIFY(d_->dialogs.boxes.empty());
    QVERIFY(server.WaitForCommand("QUIT", std::chrono::seconds(10)));
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::ClosingTest)
#include "ClosingTest.moc"

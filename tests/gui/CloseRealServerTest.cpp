// Closing the main window in the middle of an upload to a real server (vsftpd, whose protocol
// log shows what it received): Yes to the disconnect question aborts the transfer and quits the
// server even though the save prompt that follows is cancelled. The upload is slowed by the
// option that waits a second after every block, so the close always lands inside it (and the
// window must get its turn between two blocks).
#include <QApplication>
#include <QLabel>
#include <QTest>

#include "app/AppMessages.h"
#include "app/Options.h"
#include "gui/GuiTestSupport.h"
#include "gui/ScriptEditor.h"
#include "support/RealServers.h"

namespace tarsil::testing {

class CloseRealServerTest : public QObject {
  Q_OBJECT

 private slots:
  void closingDuringAnUploadAbortsAndQuitsTheServer() {
    std::string error;
    std::optional<RealServer> server = FindRealServer("vsftpd", &error);
    QVERIFY2(server.has_value(), error.c_str());
    Desktop d;
    d.store.WriteInteger(kOptionsKey, "Sendwait", 1);
    d.store.WriteInteger(kOptionsKey, "WaitSec", 1);
    d.store.WriteInteger(kOptionsKey, "Timeout", 30);
    const std::string local = d.dir.Write("slow.bin", std::string(1 << 20, 'x'));
    QVERIFY(d.Start());
    d.window->Editor()->setPlainText(QString::fromStdString(
        "Open " + server->address + "\nLogin " + server->user + " " + server->password +
        "\nCd upload\nPut " + local + " closed-early.bin\nRem after\n"));
    d.dialogs.answers = {Answer::kYes, Answer::kCancel};  // disconnect; keep the edited script
    // The first upload block asks for the close, as a click would: through the event queue.
    ProgressEvent shown = d.form->FTP().Ontransfer;
    bool asked = false;
    d.form->FTP().Ontransfer = [&](FtpSession& sender, int64_t bytes, double spend) {
      shown(sender, bytes, spend);
      if (asked) return;
      asked = true;
      QMetaObject::invokeMethod(
          d.window.get(), [&] { d.window->close(); }, Qt::QueuedConnection);
    };
    d.window->Action("Run1")->trigger();

    QCOMPARE(d.dialogs.boxes.size(), size_t{2});
    QCOMPARE(d.dialogs.boxes[0].text, Shown(kConfirmDisconnect));
    QCOMPARE(d.dialogs.boxes[1].text, Shown(kAskSaveScript));
    QVERIFY(!d.form->Closed());
    QVERIFY(!d.form->FTP().IsLoggedIn());
    QCOMPARE(d.window->StatusPanel(1)->text(), QStringLiteral("DisConnect"));
    // The server received the abort and then QUIT.
    auto log_text = [&] { return TempDir::Read(server->log); };
    QTRY_VERIFY_WITH_TIMEOUT(log_text().find("\"QUIT\"") != std::string::npos, 10000);
    const std::string log = log_text();
    const size_t stor = log.rfind("\"STOR closed-early.bin\"");
    QVERIFY2(stor != std::string::npos, log.c_str());
    const size_t abort = log.find("ABOR\"", stor);  // after the Telnet interrupt bytes
    QVERIFY2(abort != std::string::npos, log.c_str());
    QVERIFY(log.find("\"QUIT\"", abort) != std::string::npos);
    for (const LogLine& line : d.form->Logmemo().Lines()) QVERIFY(line.text != "Rem after");
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::CloseRealServerTest)
#include "CloseRealServerTest.moc"

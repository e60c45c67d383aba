// The main window: menus, keys and the enable rule, the document commands with the save prompt,
// runs and steps, the status bar, the recall list, the log view, the transfer window, closing,
// help and the unattended run with the window hidden.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include "app/AppMessages.h"
#include "app/ScriptFile.h"
#include "gui/AboutBox.h"
#include "gui/GuiMessages.h"
#include "gui/GuiTestSupport.h"
#include "gui/LogView.h"
#include "gui/ScriptEditor.h"
#include "gui/TransferWindow.h"
#include "script/ScriptMessages.h"
#include "support/FakeFtpServer.h"

namespace tarsil::testing {

using gui::FileDialogKind;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Desktop> d_;
  gui::MainWindow& W() { return *d_->window; }
  MainController& F() { return *d_->form; }
  QAction* A(const char* name) { return W().Action(name); }
  QString Native(const std::string& path) { return QString::fromStdString(path); }
  void Type(const QString& text) {
    W().Editor()->setFocus();
    W().Editor()->moveCursor(QTextCursor::End);
    W().Editor()->insertPlainText(text);
  }
  bool ItemEnabled(const char* name) {
    QAction* action = A(name);
    return action != nullptr ? action->isEnabled() : W().Menu(name)->menuAction()->isEnabled();
  }

 private slots:
  void init() { d_ = std::make_unique<Desktop>(); }
  void cleanup() { d_.reset(); }

  void menusHaveTheirCaptionsKeysAndSeparators() {
    struct Item {
      const char* name;
      const char* cp932;
      const char* key;
    };
    const Item items[] = {
        {"File1", "\xcc\xa7\xb2\xd9", ""},
        {"Newfile1",
         "\x90V\x82\xb5\x82\xa2\x83t\x83@\x83"
         "C\x83\x8b &N",
         "Ctrl+N"},
        {"Open1", "\x8aJ\x82\xad &O", "Ctrl+O"},
        {"N6", "\x8aJ\x82\xab\x92\xbc\x82\xb7", ""},
        {"Save1", "\x8f\xe3\x8f\x91\x82\xab\x95\xdb\x91\xb6 &S", "Ctrl+S"},
        {"SaveAs1", "\x96\xbc\x91O\x82\xf0\x95\xcf\x82\xa6\x82\xc4\x95\xdb\x91\xb6 &A", "Ctrl+A"},
        {"Option1", "\x90\xdd\x92\xe8", ""},
        {"Run1", "\x8e\xc0  \x8ds", "F9"},
        {"Step1", "Step\x8e\xc0\x8ds", "F8"},
        {"exit1", "\x8fI\x97\xb9 &Q", "Ctrl+Q"},
        {"Edit1", "\x95\xd2\x8fW", ""},
        {"Cut1", "\xb6\xaf\xc4", ""},
        {"Copy1", "\xba\xcb\xdf\xb0", ""},
        {"Peast1", "\xcd\xdf\xb0\xbd\xc4", ""},
        {"Delete1", "\x8d\xed\x8f\x9c", ""},
        {"All1", "\x91S\x82\xc4\x91I\x91\xf0", ""},
        {"Log1", "\xdb\xb8\xde", ""},
        {"LogfileSave1", "\xcc\xa7\xb2\xd9\x82\xc9\x95\xdb\x91\xb6", ""},
        {"LogClear1", "\xb8\xd8\xb1\xb0", ""},
        {"Help1", "\xcd\xd9\xcc\xdf", ""},
        {"Contets1", "\x96\xda\x8e\x9f", ""},
        {"Version1", "\x83o\x81[\x83W\x83\x87\x83\x93\x8f\xee\x95\xf1", ""},
    };
    for (const Item& item : items) {
      QAction* action = A(item.name);
      QString caption = action != nullptr ? action->text() : W().Menu(item.name)->title();
      QCOMPARE(caption, Shown(item.cp932));
      if (action != nullptr) {
        QCOMPARE(action->shortcut().toString(), QString::fromLatin1(item.key));
      }
    }
    // Order and separators.
    auto layout = [](QMenu* menu) {
      QStringList names;
      for (QAction* action : menu->actions()) {
        names << (action->isSeparator()       ? QStringLiteral("-")
                  : action->menu() != nullptr ? action->menu()->objectName()
                                              : action->objectName());
      }
      return names;
    };
    QCOMPARE(layout(W().Menu("File1")),
             QStringList({"Newfile1", "Open1", "N6", "Save1", "SaveAs1", "-", "Option1", "-",
                          "Run1", "Step1", "-", "exit1"}));
    QCOMPARE(layout(W().Menu("Help1")), QStringList({"Contets1", "-", "Version1"}));
    QCOMPARE(W().menuBar()->actions().size(), 4);
  }

  void documentMenusAreEnabledByNewAndStayEnabled() {
    for (const char* name : {"Save1", "SaveAs1", "Run1", "Step1", "Edit1"}) {
      QVERIFY2(!ItemEnabled(name), name);
    }
    QVERIFY(ItemEnabled("Open1"));
    QVERIFY(d_->Start());
    for (const char* name : {"Save1", "SaveAs1", "Run1", "Step1", "Edit1", "Cut1"}) {
      QVERIFY2(ItemEnabled(name), name);
    }
    QCOMPARE(W().windowTitle(), QStringLiteral("Tarsil -newfile"));
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("Disconnect"));
  }

  void keysRunTheirCommandsAndCtrlAIsSaveAs() {
    QVERIFY(d_->Start());
    QApplication::setActiveWindow(&W());
    QVERIFY(QTest::qWaitForWindowActive(&W()));
    Type("Rem one");
    QTest::keyClick(W().Editor(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(d_->dialogs.file_kinds, std::vector<FileDialogKind>{FileDialogKind::kSaveScript});
    QVERIFY(!W().Editor()->textCursor().hasSelection());  // not select-all
    QTest::keyClick(W().Editor(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(d_->dialogs.file_kinds.back(), FileDialogKind::kOpenScript);
    QTest::keyClick(W().Editor(), Qt::Key_S, Qt::ControlModifier);  // newfile: Save As
    QCOMPARE(d_->dialogs.file_kinds.back(), FileDialogKind::kSaveScript);
    QTest::keyClick(W().Editor(), Qt::Key_F8);
    QCOMPARE(F().Logmemo().Lines().back().text, std::string("Rem one"));
    QTest::keyClick(W().Editor(), Qt::Key_F9);
    QVERIFY(F().Logmemo().Lines().back().text.find(">> end   ") != std::string::npos);
    d_->dialogs.answers = {Answer::kNo};  // the save prompt of Ctrl+N
    QTest::keyClick(W().Editor(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(d_->dialogs.boxes.size(), size_t{1});
    QCOMPARE(d_->dialogs.boxes[0].text, Shown(kAskSaveScript));
    QCOMPARE(d_->dialogs.boxes[0].caption, QStringLiteral("Tarsil"));
    QCOMPARE(d_->dialogs.boxes[0].buttons, Buttons::kYesNoCancel);
    QCOMPARE(d_->dialogs.boxes[0].icon, MessageIcon::kNone);
    QCOMPARE(W().Editor()->toPlainText(), QString());
    QTest::keyClick(W().Editor(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(F().Closed());
  }

  void menusAreDisabledDuringARunAndRestoredAfterItAlsoAfterAFailure() {
    d_->store.WriteInteger(kTarsilKey, "n", 1);       // "%n%" cannot be read as text: a failure
    F().SetEditorLines({"pause", "Rem %n%"}, false);  // Save1 and the rest still disabled
    QStringList seen_enabled;
    d_->dialogs.during_box = [&] {
      for (const char* name : {"Open1", "N6", "Option1", "exit1", "Contets1", "File1", "Log1"}) {
        if (ItemEnabled(name)) seen_enabled << name;
      }
      QCOMPARE(W().StatusPanel(0)->text(), Shown(kRunningText));
      QVERIFY(QApplication::overrideCursor() != nullptr);
    };
    A("Run1")->trigger();  // disabled actions do nothing when triggered; call the command
    QCOMPARE(d_->dialogs.boxes.size(), size_t{0});
    F().Run();
    QCOMPARE(d_->dialogs.boxes.size(), size_t{1});
    QVERIFY2(seen_enabled.isEmpty(), qPrintable(seen_enabled.join(',')));
    QVERIFY(ItemEnabled("Open1") && ItemEnabled("N6") && ItemEnabled("exit1"));
    QVERIFY(!ItemEnabled("Save1") && !ItemEnabled("Run1") && !ItemEnabled("Edit1"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(W().StatusPanel(0)->text(), QString());
    QVERIFY(F().Logmemo().Lines().back().text.starts_with(kUnexpectedErrorPrefix));
  }

  void saveAsNewOpenAndTheScrambledExtension() {
    QVERIFY(d_->Start());
    Type(QString::fromUtf8("Login user 秘密\n"));
    QCOMPARE(W().StatusPanel(0)->text(), Shown(kModifiedText));
    // Save on a new script asks for a name; cancelled, it stays "newfile" and modified.
    A("Save1")->trigger();
    QCOMPARE(W().windowTitle(), QStringLiteral("Tarsil -newfile"));
    QVERIFY(F().Modified());
    // The extension decides: .FCX is scrambled, whatever filter was used.
    const std::string fcx = (d_->dir.path() / "x.FCX").string();
    d_->dialogs.files = {Native(fcx)};
    A("SaveAs1")->trigger();
    QVERIFY(!F().Modified());
    QCOMPARE(W().StatusPanel(0)->text(), QString());
    QCOMPARE(W().windowTitle(), Native("Tarsil -" + fcx));
    QVERIFY(TempDir::Read(fcx).find("Login") == std::string::npos);
    // A plain file holds the CP932 bytes of the editor's text, CR LF after each line.
    const std::string fcs = (d_->dir.path() / "x.fcs").string();
    d_->dialogs.files = {Native(fcs)};
    A("SaveAs1")->trigger();
    QCOMPARE(TempDir::Read(fcs), std::string("Login user \x94\xe9\x96\xa7\r\n"));

    // New after an edit: Cancel keeps the text, still modified, under "newfile".
    Type("Rem more");
    d_->dialogs.answers = {Answer::kCancel};
    A("Newfile1")->trigger();
    QCOMPARE(W().windowTitle(), QStringLiteral("Tarsil -newfile"));
    QVERIFY(W().Editor()->toPlainText().contains("Rem more"));
    QVERIFY(F().Modified());
    // Open: No drops the edits; the scrambled file comes back decoded.
    d_->dialogs.answers = {Answer::kNo};
    d_->dialogs.files = {Native(fcx)};
    A("Open1")->trigger();
    QCOMPARE(W().Editor()->toPlainText(), QString::fromUtf8("Login user 秘密\n"));
    QCOMPARE(W().windowTitle(), Native("Tarsil -" + fcx));
    QVERIFY(!F().Modified());
  }

  void theRecallListUnderReopen() {
    QVERIFY(d_->Start());
    std::vector<std::string> files;
    for (int i = 0; i < 11; ++i) {
      files.push_back(d_->dir.Write("f" + std::to_string(i) + ".fcs", "Rem x\r\n"));
      d_->dialogs.files.push_back(Native(files.back()));
      A("Open1")->trigger();
    }
    QMenu* recall = W().Menu("N6");
    QCOMPARE(recall->actions().size(), 10);  // the eleventh dropped the oldest
    QCOMPARE(recall->actions()[0]->text(), Native("&0 " + files[10]));
    QCOMPARE(recall->actions()[9]->text(), Native("&9 " + files[1]));
    // Choosing an entry opens it and moves it to the top; a file that has vanished is ignored,
    // and its entry is greyed.
    recall->actions()[4]->trigger();
    QCOMPARE(W().windowTitle(), Native("Tarsil -" + files[6]));
    QCOMPARE(recall->actions()[0]->text(), Native("&0 " + files[6]));
    std::filesystem::remove(files[1]);  // the last entry now
    recall->actions()[9]->trigger();
    QCOMPARE(W().windowTitle(), Native("Tarsil -" + files[6]));
    QVERIFY(!recall->actions()[9]->isEnabled());
    QVERIFY(recall->actions()[0]->isEnabled());
    // Letter case is ignored when the list looks a name up.
    std::string upper = files[3];
    upper.replace(upper.size() - 6, 2, "F3");
    F().RecallMenu1().Add(upper);
    QCOMPARE(recall->actions().size(), 10);
    QCOMPARE(recall->actions()[0]->text(), Native("&0 " + upper));
  }

  void stepPutsTheCaret_data() {
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("line");  // -1: the end of the text
    QTest::addColumn<QString>("logged");
    QTest::newRow("a plain line: the next line") << 0 << 1 << "Rem a";
    QTest::newRow("goto: the line after the label") << 1 << 4 << "goto x";
    QTest::newRow("stop: the end of the text") << 4 << -1 << "stop";
    QTest::newRow("past the end: nothing runs") << 5 << -1 << "";
  }
  void stepPutsTheCaret() {
    QFETCH(int, caret);
    QFETCH(int, line);
    QFETCH(QString, logged);
    QVERIFY(d_->Start());
    Type("Rem a\ngoto x\nRem b\n:x\nstop\n");
    W().Editor()->PutCaretAtLine(caret, 5);
    QCOMPARE(W().Editor()->CaretLine(), caret);
    A("Step1")->trigger();
    QTextCursor cursor = W().Editor()->textCursor();
    if (line < 0) {
      QVERIFY(cursor.atEnd());
    } else {
      QCOMPARE(cursor.blockNumber(), line);
      QVERIFY(cursor.atBlockStart());
    }
    const auto& log = F().Logmemo().Lines();
    QCOMPARE(log.empty() ? QString() : Shown(log.back().text), logged);
  }

  void statusBarFollowsTheSession() {
    QVERIFY(d_->Start());
    const QColor face = QApplication::palette().color(QPalette::Button);
    QCOMPARE(W().statusBar()->palette().color(QPalette::Window), face);
    QCOMPARE(W().StatusPanel(0)->width(), 50);
    QCOMPARE(W().StatusPanel(1)->width(), 90);
    QCOMPARE(W().StatusPanel(2)->width(), 120);
    F().ServerOpened("ftp.example");
    F().FTPLoggedIn();
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("Connect"));
    QCOMPARE(W().StatusPanel(2)->text(), QStringLiteral("ftp.example"));
    QCOMPARE(W().statusBar()->palette().color(QPalette::Window), QColor(0, 255, 0));
    F().Retrieving(1024, 1.0 / 86400);
    QCOMPARE(W().StatusPanel(3)->text(), QStringLiteral("Retrieve...1024"));
    F().FTPretrievefinished(2048, 2.0 / 86400);
    QCOMPARE(W().StatusPanel(3)->text(), QStringLiteral("Retrieved 2048(1024cps)"));
    F().FTPFtpQuit();
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("DisConnect"));
    QCOMPARE(W().StatusPanel(2)->text(), QString());
    QCOMPARE(W().statusBar()->palette().color(QPalette::Window), face);
  }

  void logViewColoursLinesAndFollowsTheFont() {
    ExecutionLog& log = F().Logmemo();
    log.ShowText("USER anonymous", LogKind::kCommand);
    log.ShowText("220 ready", LogKind::kReply);
    log.SetStyle(msgMFtp);
    log.ShowText("USER anonymous", LogKind::kCommand);
    log.ShowText("Login successful", LogKind::kStatus);
    log.AppendLine("  plain  ");  // the insertion colour in force
    QTextDocument* document = W().Log()->document();
    QCOMPARE(document->blockCount(), 5);
    auto colour = [&](int block) {
      return document->findBlockByNumber(block)
          .begin()
          .fragment()
          .charFormat()
          .foreground()
          .color();
    };
    QCOMPARE(Shown(log.Lines()[0].text), W().Log()->document()->firstBlock().text());
    QCOMPARE(colour(0), QColor(0, 128, 0));
    QCOMPARE(colour(1), QColor(0, 0, 0));
    QCOMPARE(colour(2), QColor(0, 0, 255));
    QCOMPARE(colour(3), QColor(128, 0, 128));
    QCOMPARE(colour(4), QColor(128, 0, 128));
    QCOMPARE(document->findBlockByNumber(4).text(), QStringLiteral("  plain  "));
    QCOMPARE(W().Log()->font().family(), QStringLiteral("MS Sans Serif"));
    log.Clear();
    QCOMPARE(W().Log()->toPlainText(), QString());
  }

  void aLongLogShowsItsTailUnderANoteOnEarlierLines() {
    ExecutionLog& log = F().Logmemo();
    const int total = static_cast<int>(ExecutionLog::kTailLines) + 25;
    for (int i = 0; i < total; ++i) log.AppendLine("line " + std::to_string(i));
    QTextDocument* document = W().Log()->document();
    QCOMPARE(document->blockCount(), static_cast<int>(ExecutionLog::kTailLines) + 1);
    QCOMPARE(document->firstBlock().text(), gui::Utf8(gui::texts::kEarlierLogLines));
    QCOMPARE(document->findBlockByNumber(1).text(), QStringLiteral("line 25"));
    QCOMPARE(document->lastBlock().text(), QStringLiteral("line %1").arg(total - 1));
    log.Clear();
    QCOMPARE(document->blockCount(), 1);
    QVERIFY(document->firstBlock().text().isEmpty());
  }

  void theTransferWindowHoldsTheLogDuringTheUnattendedRun() {
    d_->store.WriteInteger(kOptionsKey, "cb_progress", 1);
    d_->store.WriteInteger(kOptionsKey, "cb_showbutton", 1);
    const std::string script = d_->dir.Write("job.fcs", "# before\r\npause\r\n# after\r\n");
    gui::TransferWindow& progress = W().Progress();
    bool checked = false;
    d_->dialogs.during_box = [&] {
      QVERIFY(progress.isVisible());
      QCOMPARE(progress.windowTitle(), QStringLiteral("Tarsil 2.6e "));
      QCOMPARE(W().Log()->parentWidget(), progress.Holder());
      QVERIFY(progress.DetailButton()->isVisible());
      QCOMPARE(progress.height(), 125);
      progress.DetailButton()->click();
      QCOMPARE(progress.height(), 436);
      QVERIFY(!W().isEnabled());
      checked = true;
    };
    QVERIFY(d_->Start(script));
    QVERIFY(d_->WaitUntilClosed());
    QVERIFY(checked);
    QVERIFY(!progress.isVisible());
    QCOMPARE(W().Log()->parentWidget(), W().LogHome());
    QVERIFY(W().Log()->toPlainText().contains("# after"));  // written while it was away
    QCOMPARE(d_->dialogs.boxes[0].caption, QStringLiteral("TARSIL"));
    QCOMPARE(d_->dialogs.boxes[0].icon, MessageIcon::kInformation);
  }

  void theUnattendedRunWithTheWindowHidden() {
    d_->store.WriteInteger(kOptionsKey, "Runmode", 1);
    const std::string log_file = (d_->dir.path() / "run.log").string();
    d_->store.WriteInteger(kOptionsKey, "ch_Logsave", 1);
    d_->store.WriteString(kOptionsKey, "Logsave", log_file);
    const std::string script = d_->dir.Write("job.fcs", "# hidden\r\n");
    bool ever_visible = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] { ever_visible = ever_visible || W().isVisible(); });
    watch.start(1);
    QVERIFY(d_->Start(script));
    QVERIFY(!W().isVisible());
    QVERIFY(d_->WaitUntilClosed());
    QVERIFY(!ever_visible);
    QVERIFY(F().AutoMode());
    QVERIFY(TempDir::Read(log_file).find("# hidden\r\n") != std::string::npos);
    QVERIFY(d_->dialogs.boxes.empty());
  }

  void closingWhileRunningAsksAndEndsTheRunSoon() {
    QVERIFY(d_->Start());
    Type("WaitTimer 00:00:30\nRem after\n");
    d_->dialogs.answers = {Answer::kNo, Answer::kYes, Answer::kNo};
    QTimer::singleShot(200, &W(), [this] { W().close(); });   // No: the run goes on
    QTimer::singleShot(1200, &W(), [this] { W().close(); });  // Yes: it ends
    QElapsedTimer timer;
    timer.start();
    A("Run1")->trigger();
    QVERIFY(timer.elapsed() < 10'000);
    QCOMPARE(d_->dialogs.boxes.size(), size_t{3});
    QCOMPARE(d_->dialogs.boxes[0].text, Shown(kConfirmForceEnd));
    QCOMPARE(d_->dialogs.boxes[0].buttons, Buttons::kYesNo);
    QCOMPARE(d_->dialogs.boxes[2].text, Shown(kAskSaveScript));  // the edited script
    QVERIFY(F().Closed());
    QVERIFY(!W().isVisible());
    QVERIFY(F().Logmemo().Lines().back().text.find(">> end   ") != std::string::npos);
  }

  void closingWhileLoggedInAsksThenQuitsTheServer() {
    FakeFtpServer server;
    QVERIFY(d_->Start());
    Type(QStringLiteral("Open 127.0.0.1:%1\nLogin user secret\n").arg(server.port()));
    A("Run1")->trigger();
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("Connect"));
    QCOMPARE(W().statusBar()->palette().color(QPalette::Window), QColor(0, 255, 0));
    d_->dialogs.answers = {Answer::kNo};
    QVERIFY(!W().close());  // No: still logged in, nothing sent
    QCOMPARE(d_->dialogs.boxes.back().text, Shown(kConfirmDisconnect));
    QCOMPARE(d_->dialogs.boxes.back().buttons, Buttons::kYesNo);
    QVERIFY(W().isVisible());
    QVERIFY(server.Commands().back().rfind("QUIT", 0) != 0);
    d_->dialogs.answers = {Answer::kYes, Answer::kNo};  // disconnect; then do not save the script
    QVERIFY(W().close());
    QVERIFY(F().Closed());
    QCOMPARE(d_->dialogs.boxes.back().text, Shown(kAskSaveScript));
    QCOMPARE(server.Commands().back(), std::string("QUIT"));
    QVERIFY(server.WaitForConnectionsClosed(1, std::chrono::seconds(10)));
    QCOMPARE(W().StatusPanel(1)->text(), QStringLiteral("DisConnect"));
  }

  void closingAModifiedScriptOffersToSave() {
    QVERIFY(d_->Start());
    Type("Rem x");
    d_->dialogs.answers = {Answer::kCancel};
    QVERIFY(!W().close());
    QVERIFY(W().isVisible());
    d_->dialogs.answers = {Answer::kYes};  // Yes, then the name is not chosen: stay open
    QVERIFY(!W().close());
    d_->dialogs.answers = {Answer::kNo};
    QVERIFY(W().close());
    QVERIFY(F().Closed());
  }

  void helpAndVersion() {
    QVERIFY(d_->Start());
    A("Contets1")->trigger();
    QCOMPARE(d_->dialogs.opened.size(), size_t{1});
    QCOMPARE(d_->dialogs.opened[0], QUrl::fromLocalFile(d_->user_guide));
    QTimer::singleShot(0, [this] {
      QCOMPARE(W().About().VersionLabel()->text(), QStringLiteral("Version 2.6e "));
      W().About().accept();
    });
    A("Version1")->trigger();
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::MainWindowTest)
#include "MainWindowTest.moc"

// The main window as a desktop user handles it: the log view's keys, selection, copying and
// sideways scrolling; a script file dropped onto the window opens (other drops do not turn into
// text); a script named on the command line opens; Help says where the guide is when no browser
// shows it.
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "app/AppMessages.h"
#include "gui/Desktop.h"
#include "gui/GuiMessages.h"
#include "gui/GuiTestSupport.h"
#include "gui/LogView.h"
#include "gui/ScriptEditor.h"

namespace tarsil::testing {

class DesktopUseTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Desktop> d_;
  gui::MainWindow& W() { return *d_->window; }
  MainController& F() { return *d_->form; }

  // Drags `data` over `target` and drops it there, as a file manager would; returns whether
  // the drag was accepted.
  bool DragAndDrop(QWidget* target, QMimeData& data) {
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    // The drop goes where the enter was accepted: the window, not the editor.
    QDropEvent drop(W().mapFromGlobal(target->mapToGlobal(at)), Qt::CopyAction, &data,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &drop);
    return drop.isAccepted();
  }
  static std::unique_ptr<QMimeData> Files(const QStringList& files) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data->setUrls(urls);
    return data;
  }

 private slots:
  void init() { d_ = std::make_unique<Desktop>(); }
  void cleanup() { d_.reset(); }

  void theLogViewScrollsSelectsAndCopiesWithTheKeys() {
    QVERIFY(d_->Start());
    W().resize(420, 300);
    for (int i = 0; i < 300; ++i) F().WriteLog("line " + std::to_string(i));
    F().WriteLog("wide " + std::string(400, 'w') + " end");
    gui::LogView* log = W().Log();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QScrollBar* bar = log->verticalScrollBar();
    QTest::keyClick(log, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(log->textCursor().blockNumber(), 0);
    QTest::keyClick(log, Qt::Key_PageDown);
    const int after_page = bar->value();
    QVERIFY(after_page > 0);
    QTest::keyClick(log, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(log->textCursor().blockNumber(), log->document()->blockCount() - 1);
    QVERIFY(bar->value() > after_page);
    const QRect caret = log->cursorRect();
    QVERIFY(caret.top() >= 0 && caret.bottom() <= log->viewport()->height());  // scrolled to
    const int at_end = bar->value();
    QTest::keyClick(log, Qt::Key_PageUp);
    QVERIFY(bar->value() < at_end);
    // Selection with the keys, and Ctrl+C.
    QTest::keyClick(log, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(log, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(log->textCursor().selectedText(), QStringLiteral("line 0") + QChar(0x2029));
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("line 0\n"));
    // A line longer than the view scrolls sideways.
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QVERIFY(log->horizontalScrollBar()->maximum() > 0);
    QVERIFY(log->horizontalScrollBar()->isVisible());
    // Still read-only, still coloured.
    QTest::keyClicks(log, "typed");
    QVERIFY(!log->toPlainText().contains("typed"));
    QVERIFY(log->isReadOnly());
  }

  void aDroppedScriptOpensAsOpenDoes() {
    QVERIFY(d_->Start());
    const std::string fcs = d_->dir.Write("dropped.fcs", "Rem dropped\r\n");
    W().Editor()->setPlainText(QStringLiteral("Rem edited\n"));
    d_->dialogs.answers = {Answer::kNo};  // the save prompt: drop the edits
    auto data = Files({QString::fromStdString(fcs)});
    QVERIFY(DragAndDrop(W().Editor()->viewport(), *data));
    QCOMPARE(d_->dialogs.boxes.size(), size_t{1});
    QCOMPARE(d_->dialogs.boxes[0].text, Shown(kAskSaveScript));
    QCOMPARE(W().Editor()->toPlainText(), QStringLiteral("Rem dropped\n"));
    QCOMPARE(W().windowTitle(), QString::fromStdString("Tarsil -" + fcs));
    QVERIFY(!F().Modified());
    QCOMPARE(F().RecallItems().front().caption, "&0 " + fcs);
    // A scrambled script dropped onto the log comes back decoded.
    const std::string fcx = (d_->dir.path() / "scrambled.FCX").string();
    F().SetEditorLines({"Rem secret"}, false);
    F().StoreScript(fcx);
    F().SetEditorLines({}, false);
    auto scrambled = Files({QString::fromStdString(fcx)});
    QVERIFY(DragAndDrop(W().Log()->viewport(), *scrambled));
    QCOMPARE(W().Editor()->toPlainText(), QStringLiteral("Rem secret\n"));
  }

  void otherDropsNeverBecomeTextAndNothingOpensDuringARun() {
    QVERIFY(d_->Start());
    const std::string txt = d_->dir.Write("notes.txt", "hello\r\n");
    auto other = Files({QString::fromStdString(txt)});
    QVERIFY(!DragAndDrop(W().Editor()->viewport(), *other));
    QCOMPARE(W().Editor()->toPlainText(), QString());
    QCOMPARE(W().windowTitle(), QStringLiteral("Tarsil -newfile"));
    // Plain text is still text for the editor.
    QMimeData text;
    text.setText(QStringLiteral("Rem typed"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(W().Editor()->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    // During a run Open is disabled, and so is dropping.
    const std::string fcs = d_->dir.Write("later.fcs", "Rem later\r\n");
    bool accepted_during_run = true;
    d_->dialogs.during_box = [&] {
      auto data = Files({QString::fromStdString(fcs)});
      accepted_during_run = DragAndDrop(W().Editor()->viewport(), *data);
    };
    F().SetEditorLines({"pause"}, false);
    F().Run();
    QVERIFY(!accepted_during_run);
    QCOMPARE(F().EditorLines(), std::vector<std::string>{"pause"});
  }

  void aScriptNamedOnTheCommandLineOpens() {
    const std::string fcs = d_->dir.Write("nightly.fcs", "Rem nightly\r\n");
    QVERIFY(d_->Start());
    F().OpenNamedScript(fcs);
    QCOMPARE(W().windowTitle(), QString::fromStdString("Tarsil -" + fcs));
    QCOMPARE(W().Editor()->toPlainText(), QStringLiteral("Rem nightly\n"));
    QVERIFY(W().Action("Run1")->isEnabled());
    // A name that is not there: said in the log, and the new script stays.
    Desktop other;
    QVERIFY(other.Start());
    other.form->OpenNamedScript((d_->dir.path() / "gone.fcs").string());
    QCOMPARE(other.window->windowTitle(), QStringLiteral("Tarsil -newfile"));
    const std::string& last = other.form->Logmemo().Lines().back().text;
    QVERIFY(last.starts_with(kUnexpectedErrorPrefix));
    QVERIFY(last.find("gone.fcs") != std::string::npos);
  }

  void helpSaysWhereTheGuideIsWhenNoBrowserShowsIt() {
    QVERIFY(d_->Start());
    d_->dialogs.open_succeeds = false;
    W().Action("Contets1")->trigger();
    QCOMPARE(d_->dialogs.opened.size(), size_t{1});
    QCOMPARE(d_->dialogs.boxes.size(), size_t{1});
    QCOMPARE(d_->dialogs.boxes[0].caption, QStringLiteral("Tarsil"));
    QCOMPARE(d_->dialogs.boxes[0].buttons, Buttons::kOk);
    QVERIFY(d_->dialogs.boxes[0].text.startsWith(gui::Utf8(gui::texts::kGuideNotOpened)));
    QVERIFY(d_->dialogs.boxes[0].text.endsWith(d_->user_guide));
    QVERIFY(F().Logmemo().Lines().empty());  // no "999" line any more
    // No guide at all: the box names where an installation puts it.
    std::filesystem::remove(d_->user_guide.toStdString());
    W().Action("Contets1")->trigger();
    QCOMPARE(d_->dialogs.opened.size(), size_t{1});  // nothing to open
    QCOMPARE(d_->dialogs.boxes.size(), size_t{2});
    QVERIFY(d_->dialogs.boxes[1].text.startsWith(gui::Utf8(gui::texts::kGuideNotFound)));
    QVERIFY(d_->dialogs.boxes[1].text.endsWith(QStringLiteral("share/doc/tarsil/user-guide.html")));
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::DesktopUseTest)
#include "DesktopUseTest.moc"

// The windows as a window manager sees them: the about box and the options dialog open 50 pixels
// below and right of the main window wherever it is at that moment, the transfer window has no
// title-bar buttons and cannot be closed by the user, and a message box is wide enough for its
// whole caption. Runs offscreen in the suite; scripts/desktop-check.sh runs it again on a virtual
// display with a real window manager (QT_QPA_PLATFORM=xcb), where frames and placement are real.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/Options.h"
#include "gui/AboutBox.h"
#include "gui/Dialogs.h"
#include "gui/GuiTestSupport.h"
#include "gui/LogView.h"
#include "gui/OptionsDialog.h"
#include "gui/TransferWindow.h"

namespace tarsil::testing {

class WindowManagerTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Desktop> d_;
  gui::MainWindow& W() { return *d_->window; }

  static bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }
  // Polls (bounded) until `done` holds; a window manager answers asynchronously.
  static bool Eventually(const std::function<bool()>& done, int limit_ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > limit_ms) return false;
      QTest::qWait(20);
    }
    return true;
  }
  // Shows the main window at `place` and waits until the window manager has put it somewhere.
  void ShowMainAt(QPoint place) {
    W().move(place);
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    // Where the window manager leaves it is its own choice; only let it settle.
    Eventually([this, place] { return W().frameGeometry().topLeft() == place; }, 2000);
  }
  // Where `dialog` opened relative to the main window (frames and client areas), measured while
  // `open` holds it open; the dialog is then closed.
  struct Offsets {
    bool exposed = false;
    QPoint frame;
    QPoint client;
  };
  Offsets OffsetsWhileOpen(QDialog& dialog, const std::function<void()>& open) {
    Offsets seen;
    QTimer::singleShot(0, [&] {
      seen.exposed = QTest::qWaitForWindowExposed(&dialog);
      const QPoint expected(50, 50);
      Eventually([&] {
        return dialog.frameGeometry().topLeft() - W().frameGeometry().topLeft() == expected;
      });
      seen.frame = dialog.frameGeometry().topLeft() - W().frameGeometry().topLeft();
      seen.client = dialog.geometry().topLeft() - W().geometry().topLeft();
      dialog.reject();
    });
    open();
    return seen;
  }
  // One property of a window, as xprop prints it ("NAME(TYPE) = values").
  static QString Property(QWidget& window, const char* name) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QLatin1String(name)});
    if (!xprop.waitForFinished(5000)) return QString();
    return QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
  }

 private slots:
  void init() { d_ = std::make_unique<Desktop>(); }
  void cleanup() { d_.reset(); }

  void aboutAndOptionsOpenBesideTheMainWindowWhereverItIsNow() {
    QVERIFY(d_->Start());
    for (const QPoint place : {QPoint(40, 30), QPoint(260, 140)}) {
      ShowMainAt(place);
      for (const char* item : {"Version1", "Option1"}) {
        QDialog& dialog =
            std::string(item) == "Version1" ? static_cast<QDialog&>(W().About()) : W().Options();
        const Offsets seen = OffsetsWhileOpen(dialog, [&] { W().Action(item)->trigger(); });
        QVERIFY(seen.exposed);
        QCOMPARE(seen.frame, QPoint(50, 50));
        QCOMPARE(seen.client, QPoint(50, 50));
      }
    }
  }

  void theTransferWindowHasNoTitleBarButtonsAndStaysUntilTheRunEnds() {
    const Qt::WindowFlags flags = W().Progress().windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    for (Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                                  Qt::WindowMaximizeButtonHint, Qt::WindowSystemMenuHint}) {
      QVERIFY(!flags.testFlag(button));
    }
    d_->store.WriteInteger(kOptionsKey, "cb_progress", 1);
    const std::string script = d_->dir.Write("job.fcs", "# before\r\npause\r\n# after\r\n");
    gui::TransferWindow& progress = W().Progress();
    bool checked = false;
    QString allowed;
    QString hints;
    d_->dialogs.during_box = [&] {
      QVERIFY(QTest::qWaitForWindowExposed(&progress));
      if (OnX11()) {
        Eventually([&] { return Property(progress, "_NET_WM_ALLOWED_ACTIONS").contains('='); });
        allowed = Property(progress, "_NET_WM_ALLOWED_ACTIONS");
        hints = Property(progress, "_MOTIF_WM_HINTS");
      }
      progress.close();  // as the window manager's close would
      QVERIFY(progress.isVisible());
      QCOMPARE(W().Log()->parentWidget(), progress.Holder());
      checked = true;
    };
    QVERIFY(d_->Start(script));
    QVERIFY(d_->WaitUntilClosed());
    QVERIFY(checked);
    QVERIFY(!progress.isVisible());
    QCOMPARE(W().Log()->parentWidget(), W().LogHome());
    if (OnX11()) {
      // The window asks for moving only (Motif hints: flags, functions, decorations...): no
      // close, minimise or maximise function and no decorations but the title. Some window
      // managers keep a close button whatever a window asks; the close it sends is refused above.
      const QStringList fields = hints.section('=', 1).split(',', Qt::SkipEmptyParts);
      QVERIFY2(fields.size() >= 3, qPrintable(hints));
      const unsigned functions = fields[1].trimmed().toUInt(nullptr, 16);
      QVERIFY2((fields[0].trimmed().toUInt(nullptr, 16) & 1) != 0, qPrintable(hints));
      QVERIFY2((functions & (0x01 | 0x08 | 0x10 | 0x20)) == 0, qPrintable(hints));
      QVERIFY2(allowed.contains(QLatin1String("_NET_WM_ACTION_MOVE")), qPrintable(allowed));
      QVERIFY2(!allowed.contains(QLatin1String("_NET_WM_ACTION_MAXIMIZE")), qPrintable(allowed));
      QVERIFY2(!allowed.contains(QLatin1String("_NET_WM_ACTION_RESIZE")), qPrintable(allowed));
    }
  }

  void aMessageBoxIsWideEnoughForItsCaption() {
    for (const QString& caption : {QStringLiteral("TARSIL"), QStringLiteral("Tarsil"),
                                   QString::fromUtf8("ＦＴＰコマンドスクリプトを実行中です")}) {
      std::unique_ptr<QMessageBox> box = gui::MakeMessageBox(
          nullptr, QStringLiteral("x"), caption, Buttons::kOk, MessageIcon::kInformation);
      box->show();
      QVERIFY(QTest::qWaitForWindowExposed(box.get()));
      const int title = QFontMetrics(QApplication::font()).horizontalAdvance(caption);
      QVERIFY(gui::CaptionWidth(caption) > title + 100);  // the title bar's icon and buttons
      QVERIFY2(
          box->width() >= gui::CaptionWidth(caption),
          qPrintable(QStringLiteral("%1 < %2").arg(box->width()).arg(gui::CaptionWidth(caption))));
      box->accept();
    }
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::WindowManagerTest)
#include "WindowManagerTest.moc"

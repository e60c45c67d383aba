// The desktop's dialogs and small windows: message boxes, the file dialogs' filters and default
// extensions, the about box and its link label, the Japanese fonts, and the real program run
// unattended in its (hidden) window.
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AppMessages.h"
#include "gui/AboutBox.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/GuiMessages.h"
#include "gui/GuiTestSupport.h"
#include "gui/UrlLabel.h"
#include "support/Process.h"

namespace tarsil::testing {

using gui::FileDialogKind;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void messageBoxesHaveTheirTextsButtonsAndIcons() {
    struct Case {
      Buttons buttons;
      MessageIcon icon;
      QMessageBox::StandardButtons expected;
      QMessageBox::Icon expected_icon;
    };
    for (const Case& c : {
             Case{Buttons::kYesNoCancel, MessageIcon::kNone,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoIcon},
             Case{Buttons::kYesNo, MessageIcon::kNone, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::NoIcon},
             Case{Buttons::kOk, MessageIcon::kInformation, QMessageBox::Ok,
                  QMessageBox::Information},
             Case{Buttons::kOk, MessageIcon::kError, QMessageBox::Ok, QMessageBox::Critical},
         }) {
      auto box = gui::MakeMessageBox(nullptr, Shown(kConfirmDisconnect), QStringLiteral("Tarsil"),
                                     c.buttons, c.icon);
      QCOMPARE(box->standardButtons(), c.expected);
      QCOMPARE(box->icon(), c.expected_icon);
      QCOMPARE(box->windowTitle(), QStringLiteral("Tarsil"));
      QCOMPARE(gui::ToCp932(box->text()), std::string(kConfirmDisconnect));
      if (c.buttons != Buttons::kOk) QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
    }
  }

  void fileDialogsSwitchTheDefaultExtensionWithTheFilter() {
    struct Case {
      FileDialogKind kind;
      QStringList filters;
      QStringList extensions;
      QFileDialog::AcceptMode mode;
    };
    const QString scrambled_open = QString::fromUtf8("暗号化 Script( *. fcx ) (*.fcx)");
    for (const Case& c : {
             Case{FileDialogKind::kOpenScript,
                  {QStringLiteral("FTP Command Script( *. fcs ) (*.fcs)"), scrambled_open},
                  {"fcs", "fcx"},
                  QFileDialog::AcceptOpen},
             Case{FileDialogKind::kSaveScript,
                  {QStringLiteral("FTP Command Script( *.fcs ) (*.fcs)"),
                   QString::fromUtf8("暗号化 Script( *.fcx ) (*.fcx)")},
                  {"fcs", "fcx"},
                  QFileDialog::AcceptSave},
             Case{FileDialogKind::kSaveLog,
                  {QStringLiteral("Log file (*.log)"), QString::fromUtf8("全てのファイル (*.*)")},
                  {"log", "log"},
                  QFileDialog::AcceptSave},
             Case{FileDialogKind::kBrowseLog,
                  {QStringLiteral("Tarsil log (*.log)"),
                   QStringLiteral("all files (*.*)")},  // Qt folds blanks
                  {"log", "log"},
                  QFileDialog::AcceptSave},
         }) {
      auto dialog = gui::MakeFileDialog(nullptr, c.kind);
      QCOMPARE(dialog->nameFilters(), c.filters);
      QCOMPARE(dialog->acceptMode(), c.mode);
      QCOMPARE(dialog->defaultSuffix(), c.extensions[0]);
      // As a person switching the type in the dialog's filter box does.
      auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      QVERIFY(types != nullptr);
      types->setCurrentIndex(1);
      emit types->activated(1);
      emit types->textActivated(types->currentText());
      QCOMPARE(dialog->defaultSuffix(), c.extensions[1]);
      types->setCurrentIndex(0);
      emit types->activated(0);
      emit types->textActivated(types->currentText());
      QCOMPARE(dialog->defaultSuffix(), c.extensions[0]);
    }
    // The bytes of the scrambled type's description, in the program's code page.
    QCOMPARE(gui::ToCp932(scrambled_open),
             std::string("\x88\xc3\x8d\x86\x89\xbb Script( *. fcx ) (*.fcx)"));
  }

  void aboutBoxAndItsLinkLabel() {
    gui::AboutBox about(QStringLiteral("file:///usr/share/doc/tarsil/user-guide.html"));
    QCOMPARE(about.windowTitle(), QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(about.size(), QSize(374, 128));
    about.SetVersion("2.6e ");
    about.show();
    QCOMPARE(about.VersionLabel()->text(), QStringLiteral("Version 2.6e "));
    about.accept();

    gui::UrlLabel* link = about.Link();
    QCOMPARE(link->text(), QStringLiteral("file:///usr/share/doc/tarsil/user-guide.html"));
    QStringList opened;
    link->opener = [&](const QString& target) {
      opened << target;
      return true;
    };
    link->Click();
    QCOMPARE(opened, QStringList{link->URL()});
    bool handled = false;
    link->OnClick = [&] { handled = true; };  // replaces the opening
    link->Click();
    QVERIFY(handled);
    QCOMPARE(opened.size(), 1);

    gui::UrlLabel captioned;
    captioned.setText(QStringLiteral("Home"));
    captioned.SetURL(QStringLiteral("https://tarsil.example/"));
    QCOMPARE(captioned.text(), QStringLiteral("Home"));
    QCOMPARE(captioned.cursor().shape(), Qt::PointingHandCursor);
  }

  void japaneseTextRendersWithARealFont() {
    const QString sample = QString::fromUtf8("実行ログ ﾌｧｲﾙ");
    for (const char* family :
         {gui::kUiFontFamily, gui::kProportionalFontFamily, gui::kClassicLogFontFamily}) {
      QFont font(gui::Utf8(family));
      const QFontMetrics metrics(font);
      for (QChar c : sample) {
        QVERIFY2(metrics.inFont(c),
                 qPrintable(
                     QStringLiteral("%1 has no glyph for %2").arg(gui::Utf8(family), QString(c))));
      }
    }
    // The design font resolves to a Japanese Gothic font, not to a fallback by chance.
    const QString resolved = QFontInfo(gui::UiFont()).family();
    QVERIFY2(resolved.contains("Gothic") || resolved.contains("CJK"), qPrintable(resolved));
  }

  void theProgramRunsUnattendedInItsHiddenWindowAndExits() {
    TempDir dir;
    const std::string log_file = (dir.path() / "run.log").string();
    {
      SettingsStore store((dir.path() / "settings.reg").string());
      store.WriteInteger(kOptionsKey, "Runmode", 1);
      store.WriteInteger(kOptionsKey, "ch_Logsave", 1);
      store.WriteString(kOptionsKey, "Logsave", log_file);
    }
    const std::string script = dir.Write("job.fcs", "# in the window\r\nRem done\r\n");
    ProcessResult result = RunProcess(
        {TARSIL_BINARY, "/AUTO" + script},
        {{"TARSIL_HOME", dir.str()}, {"QT_QPA_PLATFORM", "offscreen"}, {"TARSIL_HEADLESS", "0"}},
        std::chrono::seconds(60));
    QCOMPARE(result.exit_code, 0);
    QCOMPARE(result.out, std::string());  // the window's log, not the console's
    const std::string log = TempDir::Read(log_file);
    QVERIFY(log.find("# in the window\r\nRem done\r\n") != std::string::npos);
    QVERIFY(log.find(">> end   ") != std::string::npos);
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::DialogsTest)
#include "DialogsTest.moc"

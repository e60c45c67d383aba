// The options dialog: the controls' captions and ranges, loading and storing every option, the
// click rules, Cancel leaving changes in effect until the next opening, and Browse.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/AppMessages.h"
#include "gui/GuiMessages.h"
#include "gui/GuiTestSupport.h"
#include "gui/OptionsDialog.h"

namespace tarsil::testing {

class OptionsDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Desktop> d_;
  gui::OptionsDialog& Dialog() { return d_->window->Options(); }
  template <typename T>
  T* C(const char* name) {
    T* control = Dialog().Control<T>(name);
    if (control == nullptr) qFatal("no control %s", name);
    return control;
  }
  // Opens the dialog modally and runs `inside` while it is open, then presses `button`.
  int OpenAnd(const std::function<void()>& inside, const char* button) {
    QTimer::singleShot(0, [this, inside, button] {
      inside();
      C<QPushButton>(button)->click();
      if (Dialog().isVisible()) Dialog().reject();  // OK refused: leave anyway
    });
    return Dialog().Open(d_->window.get());
  }

 private slots:
  void init() { d_ = std::make_unique<Desktop>(); }
  void cleanup() { d_.reset(); }

  void controlsHaveTheirCaptionsAndRanges() {
    QVERIFY(d_->Start());
    QCOMPARE(Dialog().windowTitle(), QStringLiteral("Tarsil -Options"));
    QCOMPARE(gui::ToCp932(C<QCheckBox>("ch_runmode")->text()),
             std::string("\x8e\xc0\x8ds\x8e\x9e\x82\xc9\x89"
                         "B\x82\xb7"));
    QCOMPARE(gui::ToCp932(C<QCheckBox>("cb_passive")->text()),
             std::string("\x83p\x83"
                         "b\x83V\x83u\x83\x82\x81[\x83h\x82\xc5\x93]\x91\x97\x82\xb7"
                         "\x82\xe9"));
    QCOMPARE(C<QPushButton>("btn_Brows")->text(), QStringLiteral("Brows"));
    QCOMPARE(C<QPushButton>("btn_Ng")->text(), QStringLiteral("Cancel"));
    struct Range {
      const char* name;
      int min, max, step;
    };
    for (const Range& r : {Range{"Ed_timeout", 5, 200, 1}, Range{"sp_Wsec", 0, 60, 1},
                           Range{"sp_Wsize", 4, 4096, 4}}) {
      QSpinBox* spin = C<QSpinBox>(r.name);
      QCOMPARE(spin->minimum(), r.min);
      QCOMPARE(spin->maximum(), r.max);
      QCOMPARE(spin->singleStep(), r.step);
    }
    QVERIFY(C<QSpinBox>("sp_Wsize")->isHidden());
    QVERIFY(C<QLabel>("lbl_Wsize")->isHidden());
  }

  void aFreshInstallationShowsTheDefaults() {
    QVERIFY(d_->Start());
    OpenAnd(
        [this] {
          QCOMPARE(C<QSpinBox>("Ed_timeout")->value(), 10);
          QVERIFY(!C<QCheckBox>("cb_passive")->isChecked());
          QVERIFY(C<QCheckBox>("cb_logOverwrite")->isChecked());
          QVERIFY(!C<QCheckBox>("ch_logsave")->isChecked());
          QVERIFY(!C<QLineEdit>("Ed_logsave")->isEnabled());
          QVERIFY(!C<QPushButton>("btn_Brows")->isEnabled());
          QVERIFY(!C<QSpinBox>("sp_Wsec")->isEnabled());
          QCOMPARE(Dialog().pos(), d_->window->frameGeometry().topLeft() + QPoint(50, 50));
        },
        "btn_Ng");
  }

  void clickRulesAndStoreWithOk() {
    QVERIFY(d_->Start());
    OpenAnd(
        [this] {
          C<QCheckBox>("ch_logsave")->click();  // an empty name becomes "Tarsil.log"
          QCOMPARE(C<QLineEdit>("Ed_logsave")->text(), QStringLiteral("Tarsil.log"));
          QVERIFY(C<QLineEdit>("Ed_logsave")->isEnabled());
          QTest::keyClicks(C<QLineEdit>("Ed_logsave"), "x");
          C<QCheckBox>("ch_logsave")->click();
          QVERIFY(!C<QPushButton>("btn_Brows")->isEnabled());
          C<QCheckBox>("ch_logsave")->click();  // a typed name is kept
          QCOMPARE(C<QLineEdit>("Ed_logsave")->text(), QStringLiteral("Tarsil.logx"));
          C<QCheckBox>("cb_wait")->click();
          QVERIFY(C<QSpinBox>("sp_Wsec")->isEnabled());
          QVERIFY(C<QLabel>("lbl_Wsec")->isEnabled());
          C<QSpinBox>("sp_Wsec")->setValue(70);  // brought into the range
          C<QCheckBox>("cb_debugmode")->click();
          QVERIFY(d_->form->FTP().Debugmode);  // at once, before OK
          C<QCheckBox>("ch_runmode")->click();
          C<QSpinBox>("Ed_timeout")->setValue(1000);
        },
        "btn_Ok");
    const std::string_view key = kOptionsKey;
    QCOMPARE(d_->store.ReadString(key, "Logsave"), std::string("Tarsil.logx"));
    QCOMPARE(d_->store.ReadInteger(key, "ch_Logsave"), 1);
    QCOMPARE(d_->store.ReadInteger(key, "Sendwait"), 1);
    QCOMPARE(d_->store.ReadInteger(key, "WaitSec"), 60);
    QCOMPARE(d_->store.ReadInteger(key, "Runmode"), 1);
    QCOMPARE(d_->store.ReadInteger(key, "Timeout"), 200);
    QCOMPARE(d_->form->TimeoutSeconds(), 200);
  }

  void typedNumbersOutsideTheRangeAreBroughtIntoIt() {
    QVERIFY(d_->Start());
    QString shown_after_enter;
    OpenAnd(
        [&] {
          QSpinBox* timeout = C<QSpinBox>("Ed_timeout");
          timeout->selectAll();
          QTest::keyClicks(timeout, "3");
          // Enter ends the typing (and, as in any dialog, presses the default button, OK).
          QTest::keyClick(timeout, Qt::Key_Return);
          shown_after_enter = timeout->text();
        },
        "btn_Ng");
    QCOMPARE(shown_after_enter, QStringLiteral("5"));
    QCOMPARE(d_->store.ReadInteger(kOptionsKey, "Timeout"), 5);
    OpenAnd(
        [this] {
          QSpinBox* timeout = C<QSpinBox>("Ed_timeout");
          timeout->selectAll();
          QTest::keyClicks(timeout, "1x000");  // the letter is refused, every digit taken
          QCOMPARE(timeout->text(), QStringLiteral("1000"));
          // OK while the typing is still going on: the number counts, brought into the range.
        },
        "btn_Ok");
    QCOMPARE(d_->store.ReadInteger(kOptionsKey, "Timeout"), 200);
    QCOMPARE(d_->form->TimeoutSeconds(), 200);
  }

  void cancelKeepsChangesInEffectUntilTheNextOpening() {
    d_->store.WriteInteger(kOptionsKey, "Timeout", 1000);  // shows as 200
    d_->store.WriteInteger(kOptionsKey, "cb_passive", 1);
    QVERIFY(d_->Start());
    QVERIFY(d_->form->PassiveOption());
    OpenAnd(
        [this] {
          QCOMPARE(C<QSpinBox>("Ed_timeout")->value(), 200);
          C<QCheckBox>("cb_passive")->click();
        },
        "btn_Ng");
    QVERIFY(!d_->form->PassiveOption());  // in effect although cancelled
    QCOMPARE(d_->store.ReadInteger(kOptionsKey, "cb_passive"), 1);
    OpenAnd([this] { QVERIFY(C<QCheckBox>("cb_passive")->isChecked()); }, "btn_Ng");
    QVERIFY(d_->form->PassiveOption());  // reloaded from the store
  }

  void aStoreThatRefusesTheWriteKeepsTheDialogOpen() {
    QVERIFY(d_->Start());
    bool stayed_open = false;
    OpenAnd(
        [this, &stayed_open] {
          // A folder where the settings file should be: the write fails.
          std::filesystem::remove(d_->store.path());
          std::filesystem::create_directory(d_->store.path());
          C<QPushButton>("btn_Ok")->click();
          stayed_open = Dialog().isVisible();
        },
        "btn_Ng");
    QVERIFY(stayed_open);
    QVERIFY(d_->form->Logmemo().Lines().back().text.starts_with(kUnexpectedErrorPrefix));
  }

  void browsePresetsTheNameAndTakesTheChoice() {
    QVERIFY(d_->Start());
    d_->dialogs.files = {QStringLiteral("/var/log/tarsil/job.log")};
    OpenAnd(
        [this] {
          C<QCheckBox>("ch_logsave")->click();
          C<QPushButton>("btn_Brows")->click();
          QCOMPARE(C<QLineEdit>("Ed_logsave")->text(), QStringLiteral("/var/log/tarsil/job.log"));
        },
        "btn_Ng");
    QCOMPARE(d_->dialogs.file_kinds,
             std::vector<gui::FileDialogKind>{gui::FileDialogKind::kBrowseLog});
    QCOMPARE(d_->form->Options().LogFileName(), std::string("/var/log/tarsil/job.log"));
  }

  void encodingChoicesShowAndStoreAsText() {
    d_->store.WriteString(kOptionsKey, "TextEncoding", "UTF-8");
    QVERIFY(d_->Start());
    OpenAnd(
        [this] {
          QCOMPARE(C<QComboBox>("cb_TextEncoding")->currentText(), QStringLiteral("UTF-8"));
          QCOMPARE(C<QComboBox>("cb_ServerCharset")->currentText(), QStringLiteral("AUTO"));
          C<QComboBox>("cb_TextEncoding")->setCurrentIndex(0);
          C<QComboBox>("cb_ServerCharset")->setCurrentIndex(2);
        },
        "btn_Ok");
    QCOMPARE(d_->store.ReadString(kOptionsKey, "TextEncoding"), std::string("CP932"));
    QCOMPARE(d_->store.ReadString(kOptionsKey, "ServerCharset"), std::string("CP932"));
    QVERIFY(d_->form->FileEncoding() == TextEncoding::kCp932);
  }
};

}  // namespace tarsil::testing

TARSIL_GUI_TEST_MAIN(tarsil::testing::OptionsDialogTest)
#include "OptionsDialogTest.moc"

// Support for the desktop tests: scripted dialogs that answer instead of a person (and record
// what was asked), and a main window on the Qt event loop with its settings in a temporary home.
#pragma once

#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainController.h"
#include "gui/Dialogs.h"
#include "gui/MainWindow.h"
#include "gui/QtEventLoop.h"
#include "platform/SettingsStore.h"
#include "support/TempDir.h"

namespace tarsil::testing {

class ScriptedDialogs : public gui::DesktopDialogs {
 public:
  struct Box {
    QString text;
    QString caption;
    Buttons buttons;
    MessageIcon icon;
  };

  Answer MessageBox(QWidget* parent, const QString& text, const QString& caption, Buttons buttons,
                    MessageIcon icon) override;
  std::optional<QString> ChooseFile(QWidget* parent, gui::FileDialogKind kind,
                                    const QString& preset) override;
  bool OpenDocument(const QUrl& url) override;

  std::vector<Box> boxes;
  std::deque<Answer> answers;        // taken in order; Yes (or OK) when none is left
  std::function<void()> during_box;  // runs while a box is "open"
  std::deque<QString> files;         // taken in order; an empty name, or none left, cancels
  std::vector<gui::FileDialogKind> file_kinds;
  std::vector<QUrl> opened;
  bool open_succeeds = true;  // false: as on a desktop with no browser
};

// A main window as the program makes it, settings in a temporary folder.
class Desktop {
 public:
  Desktop();
  ~Desktop();

  // The first showing: FormShow, and the window shown unless the controller hid it.
  bool Start(std::optional<std::string> auto_script = std::nullopt);
  // Waits (dispatching) until the controller has closed the window; false after 30 s.
  bool WaitUntilClosed();

  TempDir dir;
  gui::QtEventLoop loop;
  SettingsStore store;
  ScriptedDialogs dialogs;
  std::unique_ptr<MainController> form;
  std::unique_ptr<gui::MainWindow> window;
  QString user_guide;
};

// CP932 bytes shown as a widget would show them.
QString Shown(std::string_view cp932);

}  // namespace tarsil::testing

// main() of a desktop test: a QApplication on the platform of QT_QPA_PLATFORM, the fonts of the
// program, a watchdog, then the Qt Test class.
#define TARSIL_GUI_TEST_MAIN(TestClass)     \
  int main(int argc, char** argv) {         \
    QApplication app(argc, argv);           \
    ::tarsil::testing::PrepareGuiTest();    \
    TestClass test;                         \
    return QTest::qExec(&test, argc, argv); \
  }

namespace tarsil::testing {
// Fonts substitutions as the program installs them, and a watchdog of 110 s.
void PrepareGuiTest();
}  // namespace tarsil::testing

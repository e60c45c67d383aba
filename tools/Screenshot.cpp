// Takes the README's picture of the main window: the desktop face as the program builds it, on
// the display it is given (Xvfb with the real platform plugin), opens a script, runs it from the
// Run menu item, and saves what the display shows of the window as a PNG.
// Usage: tarsil_screenshot SCRIPT OUTPUT.png   (settings from TARSIL_HOME as usual)
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cstdio>

#include "app/MainController.h"
#include "gui/Desktop.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/MainWindow.h"
#include "gui/QtEventLoop.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: tarsil_screenshot SCRIPT OUTPUT.png\n", stderr);
    return 2;
  }
  using namespace tarsil;
  QApplication app(argc, argv);
  // Taken now: the script's "lcd" moves the current folder.
  const QString output = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
  QApplication::setWindowIcon(gui::TarsilIcon());
  gui::InstallFontSubstitutions();
  QApplication::setFont(gui::UiFont());
  gui::QtEventLoop loop;
  SettingsStore store(SettingsStore::DefaultPath());
  MainController form(loop, store);
  gui::DesktopDialogs dialogs;
  gui::MainWindow window(form, store, dialogs, gui::UserGuidePath());
  form.FormShow(std::nullopt);
  form.LoadScript(Utf8ToCp932(argv[1]));
  window.setGeometry(24, 24, 860, 520);
  window.show();
  const auto soon = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  loop.WaitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, soon);
  loop.WaitWithMessages(500);
  window.Action("Run1")->trigger();
  loop.WaitWithMessages(500);  // let the last paint land on the display
  const QRect frame = window.frameGeometry();
  const QPixmap shot =
      window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  const bool saved = !shot.isNull() && shot.save(output, "PNG");
  if (!saved) std::fprintf(stderr, "tarsil_screenshot: could not save %s\n", argv[2]);
  form.FormClose();
  return saved ? 0 : 1;
}

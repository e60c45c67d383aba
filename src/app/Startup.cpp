#include "app/Startup.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/ConsoleFace.h"
#include "app/ProgressWindow.h"
#include "app/Tarsilfm.h"
#include "platform/CodePage.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"

namespace tarsil {
namespace {

constexpr const char* kUsage =
    "Usage: tarsil [/autoSCRIPT | SCRIPT | --help | --version]\n"
    "\n"
    "  tarsil /autoSCRIPT   run the FTP command script SCRIPT unattended, write the log file\n"
    "                       (when the options say so) and exit. The switch and the path are one\n"
    "                       argument: tarsil /auto/home/ops/nightly.fcs\n"
    "  tarsil               open the script editor with a new script (needs a display)\n"
    "  tarsil SCRIPT        open the script SCRIPT (.fcs or .fcx) in the editor\n"
    "  --help               show this text\n"
    "  --version            show the version (the one the about box shows)\n"
    "\n"
    "With a display the unattended run shows its window (hidden when the option says so).\n"
    "Without one (or with TARSIL_HEADLESS=1) the execution log is written to standard\n"
    "output, message boxes to standard error. Settings live in $TARSIL_HOME/settings.reg, else\n"
    "$XDG_CONFIG_HOME/tarsil/settings.reg (~/.config/tarsil/settings.reg).\n";

// Exit status when the unattended run could not even start (the options could not be read).
constexpr int kExitStartFailed = 3;
constexpr int kExitNoDisplay = 2;

DesktopFace g_desktop_face = nullptr;

int RunUnattendedHeadless(const std::string& script) {
  PollEventLoop loop;
  SettingsStore store(SettingsStore::DefaultPath());
  TTarsilfm form(loop, store);
  ConsoleFace face(loop, form);
  form.SetView(&face);
  face.CatchSignals();
  if (!form.FormShow(Utf8ToCp932(script))) {
    // The options could not be read: nothing is run, but the window still closes cleanly.
    form.FormClose();
    return kExitStartFailed;
  }
  const auto far_future = std::chrono::steady_clock::now() + std::chrono::hours(24 * 365 * 10);
  loop.WaitUntil([&form] { return form.Closed(); }, far_future);
  return 0;
}

}  // namespace

StartOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  StartOptions options;
  if (arguments.empty()) return options;
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h") {
    options.mode = StartOptions::Mode::kHelp;
  } else if (first == "--version") {
    options.mode = StartOptions::Mode::kVersion;
  } else if (first.size() >= 5 && SameTextAscii(first.substr(0, 5), "/auto")) {
    options.mode = StartOptions::Mode::kUnattended;
    options.script = first.substr(5);
  } else if (!first.empty() && first.front() != '-') {
    // A script named alone (as a file manager hands it over) opens in the editor.
    options.script = first;
  }
  return options;
}

void SetDesktopFace(DesktopFace face) { g_desktop_face = face; }

bool HeadlessEnvironment() {
  const char* forced = std::getenv("TARSIL_HEADLESS");
  if (forced != nullptr && std::string(forced) == "1") return true;
  // A Qt platform chosen explicitly (offscreen, vnc...) is a display of its own.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return false;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0');
}

int RunTarsil(const std::vector<std::string>& arguments) {
  StartOptions options = ParseCommandLine(arguments);
  switch (options.mode) {
    case StartOptions::Mode::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case StartOptions::Mode::kVersion:
      std::printf("Tarsil %s\n", TARSIL_VERSION_TEXT);  // the about box's text, without its blank
      return 0;
    case StartOptions::Mode::kUnattended:
      if (g_desktop_face != nullptr && !HeadlessEnvironment()) return g_desktop_face(options);
      return RunUnattendedHeadless(options.script);
    case StartOptions::Mode::kInteractive:
      if (g_desktop_face != nullptr && !HeadlessEnvironment()) return g_desktop_face(options);
      break;
  }
  if (HeadlessEnvironment()) {
    std::fputs(
        "tarsil: the script editor needs a display (DISPLAY or WAYLAND_DISPLAY is not set).\n"
        "Run a script unattended with: tarsil /autoPATH   (see tarsil --help)\n",
        stderr);
  } else {
    std::fputs(
        "tarsil: this build has no desktop editor (it was built without Qt 6).\n"
        "Run a script unattended with: tarsil /autoPATH   (see tarsil --help)\n",
        stderr);
  }
  return kExitNoDisplay;
}

}  // namespace tarsil

#include "app/Startup.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/CheckCommand.h"
#include "app/ConsoleFace.h"
#include "app/ExitStatus.h"
#include "app/MainController.h"
#include "app/TransferWindowState.h"
#include "platform/CodePage.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"

namespace tarsil {
namespace {

constexpr const char* kUsage =
    "Usage: tarsil [--exit-status] /autoSCRIPT\n"
    "       tarsil --check SCRIPT | --help | --version\n"
    "       tarsil [SCRIPT]\n"
    "\n"
    "  tarsil /autoSCRIPT   run the FTP command script SCRIPT unattended, write the log file\n"
    "                       (when the options say so) and exit. The switch and the path are one\n"
    "                       argument: tarsil /auto/home/ops/nightly.fcs\n"
    "  tarsil               open the script editor with a new script (needs a display)\n"
    "  tarsil SCRIPT        open the script SCRIPT (.fcs or .fcx) in the editor\n"
    "  --exit-status        (before or after /auto) exit 1 when any command of the run left the\n"
    "                       result state at Error, even when an 'if Error' line handled it\n"
    "  --check SCRIPT       read SCRIPT (fcs or fcx) without running it and list what looks\n"
    "                       wrong, one line each with its line number\n"
    "  --help               show this text\n"
    "  --version            show the version (the one the about box shows)\n"
    "\n"
    "Exit status of an unattended run:\n"
    "  0        the run ended (whatever the script did, unless one of the rules below applies)\n"
    "  N        the script ended with 'stop N' (N from 0 to 255); this wins over --exit-status\n"
    "  1        with --exit-status: a command of the run left the result state at Error\n"
    "  2        the script file could not be read\n"
    "  3        the stored options could not be read; nothing was run\n"
    "  128+S    SIGINT (130) or SIGTERM (143) ended the run, after the clean close\n"
    "Exit status of --check: 0 nothing found, 1 findings listed, 2 the script could not be read.\n"
    "\n"
    "With a display the unattended run shows its window (hidden when the option says so).\n"
    "Without one (or with TARSIL_HEADLESS=1) the execution log is written to standard\n"
    "output, message boxes to standard error. Settings live in $TARSIL_HOME/settings.reg, else\n"
    "$XDG_CONFIG_HOME/tarsil/settings.reg (~/.config/tarsil/settings.reg).\n";

constexpr int kExitNoDisplay = 2;

DesktopFace g_desktop_face = nullptr;

int RunUnattendedHeadless(const StartOptions& options) {
  PollEventLoop loop;
  SettingsStore store(SettingsStore::DefaultPath());
  MainController form(loop, store);
  ConsoleFace face(loop, form);
  form.SetView(&face);
  face.CatchSignals();
  if (!form.FormShow(Utf8ToCp932(options.script))) {
    // The options could not be read: nothing is run, but the window still closes cleanly.
    form.FormClose();
    return kExitOptionsUnreadable;
  }
  const auto far_future = std::chrono::steady_clock::now() + std::chrono::hours(24 * 365 * 10);
  loop.WaitUntil([&form] { return form.Closed(); }, far_future);
  if (face.CloseSignal() != 0) return kExitSignalBase + face.CloseSignal();
  return form.UnattendedExitStatus(options.exit_status);
}

}  // namespace

StartOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  StartOptions options;
  std::vector<std::string> rest;
  for (const std::string& argument : arguments) {
    if (argument == "--exit-status") {
      options.exit_status = true;
    } else {
      rest.push_back(argument);
    }
  }
  if (rest.empty()) return options;
  const std::string& first = rest.front();
  if (first == "--help" || first == "-h") {
    options.mode = StartOptions::Mode::kHelp;
  } else if (first == "--version") {
    options.mode = StartOptions::Mode::kVersion;
  } else if (first == "--check") {
    options.mode = StartOptions::Mode::kCheck;
    if (rest.size() > 1) options.script = rest[1];
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
      return RunUnattendedHeadless(options);
    case StartOptions::Mode::kCheck:
      return RunCheckCommand(options.script, stdout, stderr);
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

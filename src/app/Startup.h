// Start-up of the process: reads the command line, chooses the face (headless console or the
// desktop window), runs the unattended script or the editor, and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace tarsil {

struct StartOptions {
  enum class Mode { kInteractive, kUnattended, kHelp, kVersion, kCheck };
  Mode mode = Mode::kInteractive;
  // The path after "/auto", or after "--check", or the script to open in the editor (empty: a
  // new script); as given (native text).
  std::string script;
  bool exit_status = false;  // --exit-status: a run with an Error exits 1
};

// "--exit-status" may stand anywhere; of the other arguments only the first counts: "/auto" (any
// letter case) directly followed by the script path starts the unattended run; "--check PATH"
// checks a script; "--help" and "--version" print and exit; anything else is interactive, and an
// argument that is not an option names the script to open.
StartOptions ParseCommandLine(const std::vector<std::string>& arguments);

// True when no display is there (neither DISPLAY nor WAYLAND_DISPLAY, nor a Qt platform named in
// QT_QPA_PLATFORM) or TARSIL_HEADLESS=1.
bool HeadlessEnvironment();

// The desktop face, when the executable has one: runs the editor, or the unattended run in its
// window, and returns the exit status. Registered by main() before RunTarsil.
using DesktopFace = int (*)(const StartOptions& options);
void SetDesktopFace(DesktopFace face);

// The whole life of the process; `arguments` excludes the program name.
int RunTarsil(const std::vector<std::string>& arguments);

}  // namespace tarsil

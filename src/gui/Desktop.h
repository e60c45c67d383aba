// The desktop face of the program: the Qt application, the Qt event loop, the main-window
// controller and its windows, for the interactive editor and for the unattended run in a window.
// Called from main() through the start-up code; GUI thread.
#pragma once

#include <QIcon>
#include <QString>

#include "app/Startup.h"

namespace tarsil::gui {

// The whole desktop life of the process; returns the exit status.
int RunDesktop(const StartOptions& options);

// The user guide shipped with the program (installed, else in the source tree); empty when none.
QString UserGuidePath();
// Where an installation puts the user guide (share/doc/tarsil/user-guide.html of its prefix).
QString InstalledUserGuidePath();

// The program's icon, drawn (the same design as the installed icon file).
QIcon TarsilIcon();

}  // namespace tarsil::gui

// The tarsil executable: hands the command line to the start-up code of the application core,
// with the desktop face registered when the build has one.
#include <exception>
#include <string>
#include <vector>

#include "app/Startup.h"
#ifdef TARSIL_HAVE_GUI
#include "gui/Desktop.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
#ifdef TARSIL_HAVE_GUI
  tarsil::SetDesktopFace(&tarsil::gui::RunDesktop);
#endif
  return tarsil::RunTarsil(arguments);
}

// The tarsil executable: hands the command line to the start-up code of the application core.
#include <exception>
#include <string>
#include <vector>

#include "app/Startup.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return tarsil::RunTarsil(arguments);
}

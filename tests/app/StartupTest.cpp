#include "app/Startup.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

using Mode = StartOptions::Mode;

TEST(StartupTest, CommandLineForms) {
  struct Case {
    std::vector<std::string> arguments;
    Mode mode;
    std::string script;
    bool exit_status;
  };
  const Case cases[] = {
      {{}, Mode::kInteractive, "", false},
      {{"/auto/jobs/a.fcs"}, Mode::kUnattended, "/jobs/a.fcs", false},
      {{"/AUTO/jobs/a.fcs"}, Mode::kUnattended, "/jobs/a.fcs", false},
      {{"--exit-status", "/auto/jobs/a.fcs"}, Mode::kUnattended, "/jobs/a.fcs", true},
      {{"/auto/jobs/a.fcs", "--exit-status"}, Mode::kUnattended, "/jobs/a.fcs", true},
      // The path as a second argument is still not seen.
      {{"/auto", "/jobs/a.fcs", "--exit-status"}, Mode::kUnattended, "", true},
      {{"--check", "/jobs/a.fcx"}, Mode::kCheck, "/jobs/a.fcx", false},
      {{"--check"}, Mode::kCheck, "", false},
      {{"--exit-status"}, Mode::kInteractive, "", true},
      {{"job.fcs", "/auto/jobs/a.fcs"}, Mode::kInteractive, "", false},
      {{"--help", "/auto/x"}, Mode::kHelp, "", false},
      {{"--version"}, Mode::kVersion, "", false},
  };
  for (const Case& c : cases) {
    const StartOptions options = ParseCommandLine(c.arguments);
    const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
    EXPECT_EQ(options.mode, c.mode) << shown;
    EXPECT_EQ(options.script, c.script) << shown;
    EXPECT_EQ(options.exit_status, c.exit_status) << shown;
  }
}

}  // namespace
}  // namespace tarsil

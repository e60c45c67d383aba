// The command line: which face starts and with which script, and the version text that
// --version and the about box share.
#include "app/Startup.h"

#include <gtest/gtest.h>

#include "app/TransferWindowState.h"
#include "support/Process.h"

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
      {{"/autoD:\\jobs\\daily.fcs"}, Mode::kUnattended, "D:\\jobs\\daily.fcs", false},
      {{"--exit-status", "/auto/jobs/a.fcs"}, Mode::kUnattended, "/jobs/a.fcs", true},
      {{"/auto/jobs/a.fcs", "--exit-status"}, Mode::kUnattended, "/jobs/a.fcs", true},
      // The path as a second argument is still not seen.
      {{"/auto", "/jobs/a.fcs", "--exit-status"}, Mode::kUnattended, "", true},
      {{"--check", "/jobs/a.fcx"}, Mode::kCheck, "/jobs/a.fcx", false},
      {{"--check"}, Mode::kCheck, "", false},
      {{"--exit-status"}, Mode::kInteractive, "", true},
      // A script named alone opens in the editor, as a file manager hands it over; only the
      // first argument counts.
      {{"job.fcs", "/auto/jobs/a.fcs"}, Mode::kInteractive, "job.fcs", false},
      {{"/home/ops/my job.FCX", "ignored"}, Mode::kInteractive, "/home/ops/my job.FCX", false},
      {{"--unknown-option"}, Mode::kInteractive, "", false},
      {{"--help", "/auto/x"}, Mode::kHelp, "", false},
      {{"-h"}, Mode::kHelp, "", false},
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

TEST(StartupTest, VersionPrintsTheAboutBoxText) {
  // The about box shows "Version " + kVersionText; --version the same text without its blank.
  ASSERT_EQ(kVersionText.back(), ' ');
  EXPECT_EQ(kVersionText, "2.6e ");
  EXPECT_EQ(kProgressCaption, "Tarsil " + std::string(kVersionText));
  const testing::ProcessResult version =
      testing::RunProcess({TARSIL_BINARY, "--version"}, {{"TARSIL_HEADLESS", "1"}});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out,
            "Tarsil " + std::string(kVersionText.substr(0, kVersionText.size() - 1)) + "\n");
  const testing::ProcessResult help =
      testing::RunProcess({TARSIL_BINARY, "--help"}, {{"TARSIL_HEADLESS", "1"}});
  EXPECT_NE(help.out.find("tarsil SCRIPT"), std::string::npos);
}

}  // namespace
}  // namespace tarsil

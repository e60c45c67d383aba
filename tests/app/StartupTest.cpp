// The command line: which face starts and with which script, and the version text that
// --version and the about box share.
#include <gtest/gtest.h>

#include "app/ProgressWindow.h"
#include "app/Startup.h"
#include "support/Process.h"

namespace tarsil {
namespace {

using Mode = StartOptions::Mode;

TEST(StartupTest, OnlyTheFirstArgumentChoosesTheFaceAndTheScript) {
  struct Case {
    std::vector<std::string> arguments;
    Mode mode;
    std::string script;
  };
  const Case cases[] = {
      {{}, Mode::kInteractive, ""},
      {{"/autoD:\\jobs\\daily.fcs"}, Mode::kUnattended, "D:\\jobs\\daily.fcs"},
      {{"/AUTO/home/ops/nightly.fcs"}, Mode::kUnattended, "/home/ops/nightly.fcs"},
      {{"/auto", "/home/ops/nightly.fcs"}, Mode::kUnattended, ""},  // a separate path is not seen
      // A script named alone opens in the editor, as a file manager hands it over.
      {{"nightly.fcs"}, Mode::kInteractive, "nightly.fcs"},
      {{"/home/ops/my job.FCX", "ignored"}, Mode::kInteractive, "/home/ops/my job.FCX"},
      {{"--unknown-option"}, Mode::kInteractive, ""},
      {{"--help", "x.fcs"}, Mode::kHelp, ""},
      {{"-h"}, Mode::kHelp, ""},
      {{"--version"}, Mode::kVersion, ""},
  };
  for (const Case& c : cases) {
    const StartOptions options = ParseCommandLine(c.arguments);
    const std::string first = c.arguments.empty() ? "(none)" : c.arguments.front();
    EXPECT_EQ(options.mode, c.mode) << first;
    EXPECT_EQ(options.script, c.script) << first;
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

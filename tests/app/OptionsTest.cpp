#include "app/Options.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

class OptionsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
};

TEST_F(OptionsTest, AFreshInstallationHasTheDefaults) {
  Options options;
  options.Load(store_);
  EXPECT_EQ(options.Timeout().Value(), 10);
  EXPECT_FALSE(options.Passive());
  EXPECT_TRUE(options.LogOverwrite());
  EXPECT_FALSE(options.LogSave());
  EXPECT_FALSE(options.LogNameEnabled());
  EXPECT_EQ(options.WaitSize().Value(), 4);  // a missing size reads as 0, raised to the minimum
  EXPECT_TRUE(store_.KeyExists(kOptionsKey));
}

TEST_F(OptionsTest, StoreAndLoadRoundTripEveryOption) {
  Options options;
  options.SetPassive(true);
  options.SetHideWhenRunning(true);
  options.SetDebugMode(true);
  options.SetLogSave(true);
  options.SetLogFileName("/var/log/job.log");
  options.SetLogOverwrite(false);
  options.SetLogNameTime(true);
  options.SetSendWait(true);
  options.SetShowProgress(true);
  options.SetShowDetailButton(true);
  options.Timeout().Set(30);
  options.WaitSeconds().Set(7);
  options.WaitSize().Set(64);
  options.Store(store_);
  EXPECT_EQ(store_.ReadInteger(kOptionsKey, "Runmode"), 1);
  EXPECT_EQ(store_.ReadInteger(kOptionsKey, "cb_passive"), 1);

  Options loaded;
  bool debug_told = false;
  loaded.on_debug_mode_changed = [&](bool on) { debug_told = on; };
  loaded.Load(store_);
  EXPECT_TRUE(loaded.Passive());
  EXPECT_TRUE(loaded.HideWhenRunning());
  EXPECT_TRUE(loaded.DebugMode());
  EXPECT_TRUE(debug_told);
  EXPECT_TRUE(loaded.LogSave());
  EXPECT_TRUE(loaded.LogNameEnabled());
  EXPECT_EQ(loaded.LogFileName(), "/var/log/job.log");
  EXPECT_FALSE(loaded.LogOverwrite());
  EXPECT_TRUE(loaded.LogNameTime());
  EXPECT_TRUE(loaded.SendWait());
  EXPECT_TRUE(loaded.WaitControlsEnabled());
  EXPECT_TRUE(loaded.ShowProgress());
  EXPECT_TRUE(loaded.ShowDetailButton());
  EXPECT_EQ(loaded.Timeout().Value(), 30);
  EXPECT_EQ(loaded.WaitSeconds().Value(), 7);
  EXPECT_EQ(loaded.WaitSize().Value(), 64);
}

TEST_F(OptionsTest, OutOfRangeValuesAreBroughtIntoRange) {
  store_.WriteInteger(kOptionsKey, "Timeout", 1000);
  store_.WriteInteger(kOptionsKey, "WaitSec", -5);
  Options options;
  options.Load(store_);
  EXPECT_EQ(options.Timeout().Value(), 200);
  EXPECT_EQ(options.WaitSeconds().Value(), 0);
}

TEST_F(OptionsTest, LogSaveClickFillsAnEmptyNameAndKeepsATypedOne) {
  Options options;
  options.SetLogSave(true);
  EXPECT_EQ(options.LogFileName(), "Tarsil.log");
  options.SetLogSave(false);
  EXPECT_FALSE(options.LogNameEnabled());
  options.SetLogFileName("mine.log");
  options.SetLogSave(true);
  EXPECT_EQ(options.LogFileName(), "mine.log");

  // Loaded: the name is read before the box, so an empty stored name becomes the default.
  store_.WriteInteger(kOptionsKey, "ch_Logsave", 1);
  Options loaded;
  loaded.Load(store_);
  EXPECT_EQ(loaded.LogFileName(), "Tarsil.log");
}

TEST_F(OptionsTest, MissingValuesLeaveSomeControlsAsTheyAre) {
  Options options;
  options.SetPassive(true);
  options.SetLogOverwrite(false);
  options.Load(store_);
  EXPECT_TRUE(options.Passive());
  EXPECT_FALSE(options.LogOverwrite());
}

TEST_F(OptionsTest, AWrongTypeStopsTheLoadThere) {
  store_.WriteInteger(kOptionsKey, "Timeout", 50);
  store_.WriteString(kOptionsKey, "WaitSec", "five");
  Options options;
  EXPECT_THROW(options.Load(store_), SettingsError);
  EXPECT_EQ(options.Timeout().Value(), 10);  // after the failing value: not loaded
}

}  // namespace
}  // namespace tarsil

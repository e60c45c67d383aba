// The recall list: insertion rule, menu items and captions, clicks and selection greying, and
// persistence under "\SOFTWARE\Tarsil\Recalls".
#include "app/RecentFiles.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

constexpr std::string_view kKey = "\\SOFTWARE\\Tarsil\\Recalls";

class RecentFilesTest : public ::testing::Test {
 protected:
  RecentFilesTest() {
    recall_.SetParentMenuItem(&items_);
    recall_.SetRegistryKey(std::string(kKey));
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const MenuItemRecord& item : items_) captions.push_back(item.caption);
    return captions;
  }

  TempDir dir_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MenuItemList items_;
  RecentFiles recall_{"RecallMenu1"};
};

TEST_F(RecentFilesTest, EleventhFileDropsTheOldestAndAReopenMovesToTheTop) {
  for (int i = 0; i < 10; ++i) recall_.Add("/jobs/f" + std::to_string(i) + ".fcs");
  recall_.Add("/jobs/f10.fcs");
  std::vector<std::string> entries = recall_.Entries();
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries.front(), "/jobs/f10.fcs");
  EXPECT_EQ(entries.back(), "/jobs/f1.fcs");  // f0 is gone

  recall_.Add("/JOBS/F5.FCS");  // already listed, other letter case: moved, nothing dropped
  entries = recall_.Entries();
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries.front(), "/JOBS/F5.FCS");
  EXPECT_EQ(entries.back(), "/jobs/f1.fcs");
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "/jobs/f5.fcs"), 0);
}

TEST_F(RecentFilesTest, CaptionsNumberTheEntriesMostRecentFirst) {
  recall_.Add("/a.fcs");
  recall_.Add("/b.fcs");
  EXPECT_EQ(Captions(), (std::vector<std::string>{"&0 /b.fcs", "&1 /a.fcs"}));
  EXPECT_EQ(items_[1].name, "RecallMenu11");
  EXPECT_EQ(items_[1].tag, 1);

  // Entry numbers past 9 take letters; OnSetCaption may change the shown text.
  recall_.SetCount(12);
  recall_.OnSetCaption = [](std::string& text) { text = "[" + text + "]"; };
  for (int i = 0; i < 12; ++i) recall_.Add("/f" + std::to_string(i));
  EXPECT_EQ(items_[10].caption, "&A [/f1]");
  EXPECT_EQ(items_[11].caption, "&B [/f0]");
}

TEST_F(RecentFilesTest, ChoosingAnEntryGreysOnlyItAndReportsIt) {
  recall_.Add("/a.fcs");
  recall_.Add("/b.fcs");
  std::vector<std::string> chosen;
  std::vector<std::string> senders;
  recall_.OnSelected = [&](const MenuItemRecord& item, const std::string& text) {
    senders.push_back(item.name);
    chosen.push_back(text);
  };
  recall_.Click(1);
  recall_.Click(7);  // out of range: nothing
  EXPECT_EQ(chosen, std::vector<std::string>{"/a.fcs"});
  EXPECT_EQ(senders, std::vector<std::string>{"RecallMenu11"});
  EXPECT_TRUE(items_[0].enabled);
  EXPECT_FALSE(items_[1].enabled);
  recall_.Click(0);
  EXPECT_FALSE(items_[0].enabled);
  EXPECT_TRUE(items_[1].enabled);  // MultiSelect off: one selection at a time

  // Opening the chosen file adds it again: it moves to the top, enabled.
  recall_.Add("/b.fcs");
  EXPECT_TRUE(items_[0].enabled);
  EXPECT_EQ(recall_.LastChosen(), "/b.fcs");
}

TEST_F(RecentFilesTest, SeparatorOnlyWhenTheParentHasOtherItems) {
  recall_.Add("/a.fcs");
  EXPECT_EQ(Captions(), std::vector<std::string>{"&0 /a.fcs"});

  MenuItemList shared = {MenuItemRecord{"Other1", "Other", -1, true}};
  MenuEntries control("Ctl");
  control.SetParentMenuItem(&shared);
  control.Add("x");
  control.Add("y");
  ASSERT_EQ(shared.size(), 4u);
  EXPECT_EQ(shared[1].name, "CtlBar");
  EXPECT_EQ(shared[1].caption, "-");
  control.SetVisible(false);  // removes its items and its separator, nothing else
  ASSERT_EQ(shared.size(), 1u);
  EXPECT_EQ(shared[0].name, "Other1");
}

TEST_F(RecentFilesTest, LoadCreatesMissingValuesAndKeepsTheOrder) {
  store_.WriteString(kKey, "History0", "/top.fcs");
  store_.WriteString(kKey, "History1", "");
  store_.WriteString(kKey, "History2", "/older.fcs");
  recall_.Load(store_);
  EXPECT_EQ(recall_.Entries(), (std::vector<std::string>{"/top.fcs", "/older.fcs"}));
  EXPECT_EQ(store_.ReadString(kKey, "History3"), std::string());  // created empty
  EXPECT_EQ(store_.ReadString(kKey, "History9"), std::string());

  recall_.Add("/new.fcs");
  recall_.Save(store_);
  EXPECT_EQ(store_.ReadString(kKey, "History0"), "/new.fcs");
  EXPECT_EQ(store_.ReadString(kKey, "History2"), "/older.fcs");
  EXPECT_EQ(store_.ReadString(kKey, "History3"), std::string());

  RecentFiles again("RecallMenu1");
  again.SetRegistryKey(std::string(kKey));
  again.Load(store_);
  EXPECT_EQ(again.Entries(), recall_.Entries());
}

}  // namespace
}  // namespace tarsil

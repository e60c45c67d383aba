#include "listing/RemoteEntryList.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "SampleEntry.h"

namespace tarsil {
namespace {

using testing::SampleEntry;

void Add(RemoteEntryList& list, const RemoteEntry& e) {
  list.AddEntry(e.FileName, e.Attributes, e.Date, e.Size, e.Link, e.Owner, e.Group, e.Description);
}

TEST(RemoteEntryList, StartsEmpty) {
  RemoteEntryList list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.GetEntry(0), std::out_of_range);
}

TEST(RemoteEntryList, AddEntryKeepsEveryFieldInItsPlaceAndOrder) {
  RemoteEntryList list;
  list.AddEntry("name", "attr", "date", "size", "link", "owner", "group", "desc");
  Add(list, SampleEntry("second"));
  Add(list, SampleEntry("second"));  // duplicates are kept
  ASSERT_EQ(list.Count(), 3);
  const RemoteEntry first = list.GetEntry(0);
  EXPECT_EQ(first.FileName, "name");
  EXPECT_EQ(first.Attributes, "attr");
  EXPECT_EQ(first.Date, "date");
  EXPECT_EQ(first.Size, "size");
  EXPECT_EQ(first.Link, "link");
  EXPECT_EQ(first.Owner, "owner");
  EXPECT_EQ(first.Group, "group");
  EXPECT_EQ(first.Description, "desc");
  EXPECT_EQ(first.Reserved, "");
  EXPECT_EQ(list.GetEntry(2), SampleEntry("second"));
}

TEST(RemoteEntryList, KeepsCp932BytesAsTheyAre) {
  RemoteEntryList list;
  const std::string name = "\x83\x65\x83\x58\x83\x67 \x95\x5c.txt";  // with 0x5C trail byte
  Add(list, SampleEntry(name, "\x90\xe0\x96\xbe"));
  EXPECT_EQ(list.GetEntry(0).FileName, name);
  EXPECT_EQ(list.GetEntry(0).Description, "\x90\xe0\x96\xbe");
}

TEST(RemoteEntryList, GetEntryOutsideTheListThrows) {
  RemoteEntryList list;
  Add(list, SampleEntry("a"));
  EXPECT_THROW(list.GetEntry(1), std::out_of_range);
  EXPECT_THROW(list.GetEntry(-1), std::out_of_range);
}

TEST(RemoteEntryList, ClearEntriesEmptiesTheList) {
  RemoteEntryList list;
  Add(list, SampleEntry("a"));
  Add(list, SampleEntry("b"));
  list.ClearEntries();
  EXPECT_EQ(list.Count(), 0);
  Add(list, SampleEntry("c"));
  EXPECT_EQ(list.GetEntry(0).FileName, "c");
}

TEST(RemoteEntryList, AssignFromReplacesTheEntries) {
  RemoteEntryList source;
  Add(source, SampleEntry("x", "kept"));
  Add(source, SampleEntry("y"));
  RemoteEntryList target;
  Add(target, SampleEntry("old"));
  target.AssignFrom(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.GetEntry(0), SampleEntry("x", "kept"));
  EXPECT_EQ(target.GetEntry(1), SampleEntry("y"));
  EXPECT_EQ(source.Count(), 2);
}

TEST(RemoteEntryList, AssignFromEmptyListEmptiesTarget) {
  RemoteEntryList empty;
  RemoteEntryList target;
  Add(target, SampleEntry("old"));
  target.AssignFrom(empty);
  EXPECT_EQ(target.Count(), 0);
}

// Fields of every length class the packing knows (one, two and three length bytes), empty ones
// and every byte value come back in their own places, also from the middle of a long list.
TEST(RemoteEntryList, FieldsOfAnyLengthAndByteComeBackInTheirPlaces) {
  std::string all_bytes;
  for (int i = 0; i < 256; ++i) all_bytes += static_cast<char>(i);
  const RemoteEntry odd{std::string(127, 'a'),   std::string(128, 'd'),   "",  "", all_bytes,
                        std::string(16384, 'n'), std::string(70000, 'l'), "o", ""};
  RemoteEntryList list;
  for (int i = 0; i < 3000; ++i) {
    Add(list, i == 1500 ? odd : SampleEntry("f" + std::to_string(i) + ".dat"));
  }
  ASSERT_EQ(list.Count(), 3000);
  RemoteEntry expected = odd;
  expected.Reserved.clear();  // never kept
  EXPECT_EQ(list.GetEntry(1500), expected);
  EXPECT_EQ(list.FileNameAt(1500), odd.FileName);
  EXPECT_EQ(list.GetEntry(1499), SampleEntry("f1499.dat"));
  EXPECT_EQ(list.GetEntry(1501), SampleEntry("f1501.dat"));
  EXPECT_EQ(list.FileNameAt(2999), "f2999.dat");
  EXPECT_THROW(list.FileNameAt(3000), std::out_of_range);
  EXPECT_THROW(list.FileNameAt(-1), std::out_of_range);
}

// Regression: clearing before copying would lose every entry when a list is assigned from itself.
TEST(RemoteEntryListRegression, AssignFromItselfKeepsEntries) {
  RemoteEntryList list;
  Add(list, SampleEntry("a"));
  Add(list, SampleEntry("b"));
  list.AssignFrom(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetEntry(1).FileName, "b");
}

}  // namespace
}  // namespace tarsil

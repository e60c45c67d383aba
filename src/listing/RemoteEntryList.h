// One directory entry (RemoteEntry) and the ordered list of entries (RemoteEntryList) that the
// engine fills from a listing and the listing cache saves and restores. The list owns its texts;
// single-threaded (the engine's thread).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

// The nine text fields of one entry, in their fixed order. Texts are the server's words (CP932
// bytes), never numbers. Whether the entry is a folder is kept by the list it is in.
struct RemoteEntry {
  std::string Attributes;   // permission word of a Unix-style line
  std::string Date;         // date text, e.g. "1/15/99 12:00 AM"
  std::string Reserved;     // never filled
  std::string Description;  // kept by the cache; the parser never fills it
  std::string FileName;
  std::string Size;
  std::string Link;  // "-> target", or the EPLF identifier
  std::string Owner;
  std::string Group;

  bool operator==(const RemoteEntry&) const = default;
};

// Entries stored column-wise (one list of texts per field, all in step), in the order added.
// No sorting, no search, no duplicate check.
class RemoteEntryList {
 public:
  RemoteEntryList() = default;

  // Appends one entry at the end (Reserved empty).
  void AddEntry(std::string_view file_name, std::string_view attributes, std::string_view date,
                std::string_view size, std::string_view link, std::string_view owner,
                std::string_view group, std::string_view description);

  // Copies entry `index` (0-based). An index outside 0..Count()-1 throws std::out_of_range.
  RemoteEntry GetEntry(int index) const;

  int Count() const { return count_; }

  // Count 0, all columns emptied.
  void ClearEntries();

  // Becomes a copy of `other`, entry by entry in order. Assigning a list from itself keeps it.
  void AssignFrom(const RemoteEntryList& other);

 private:
  enum Column {
    kAttributes,
    kDate,
    kReserved,
    kDescription,
    kFileName,
    kSize,
    kLink,
    kOwner,
    kGroup,
    kColumnCount
  };

  std::array<std::vector<std::string>, kColumnCount> columns_;
  int count_ = 0;
};

}  // namespace tarsil

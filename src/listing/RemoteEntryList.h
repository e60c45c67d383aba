// One directory entry (RemoteEntry) and the ordered list of entries (RemoteEntryList) that the
// engine fills from a listing and the listing cache saves and restores. The list owns its texts;
// single-threaded (the engine's thread).
#pragma once

#include <cstddef>
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

// Entries packed into one buffer in the order added: per entry its eight stored fields, each as
// its length (seven bits a byte, lowest first) and its bytes, so that an entry costs its texts and
// a few bytes more, not nine string objects. No sorting, no search, no duplicate check.
class RemoteEntryList {
 public:
  RemoteEntryList() = default;

  // Appends one entry at the end (Reserved empty).
  void AddEntry(std::string_view file_name, std::string_view attributes, std::string_view date,
                std::string_view size, std::string_view link, std::string_view owner,
                std::string_view group, std::string_view description);

  // Copies entry `index` (0-based). An index outside 0..Count()-1 throws std::out_of_range.
  RemoteEntry GetEntry(int index) const;
  // The FileName of entry `index`, without copying the entry; valid until the list changes.
  // An index outside 0..Count()-1 throws std::out_of_range.
  std::string_view FileNameAt(int index) const;

  int Count() const { return static_cast<int>(starts_.size()); }

  // Count 0, all entries emptied.
  void ClearEntries();

  // Becomes a copy of `other`, entry by entry in order. Assigning a list from itself keeps it.
  void AssignFrom(const RemoteEntryList& other);

  // Gives back the room the buffers hold beyond the entries.
  void ShrinkToFit();

 private:
  size_t StartOf(int index) const;

  std::string bytes_;
  std::vector<size_t> starts_;  // where each entry begins in bytes_
};

}  // namespace tarsil

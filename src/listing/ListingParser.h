// Turns one line of a directory listing into an entry, by the rules of the server family
// (EPLF, VMS, VM, VM/VPS, Unix-style, DOS-style). Bytes in, entry out: no I/O. The engine owns
// one parser; its only state between lines is the VMS name waiting for its continuation line.
// Single-threaded (the engine's thread).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "listing/RemoteEntryList.h"
#include "listing/ServerType.h"

namespace tarsil {

// One parsed line: the entry's fields (Reserved and Description stay empty) and whether it is
// a folder.
struct ListingEntry {
  RemoteEntry info;
  bool is_folder = false;
};

class ListingParser {
 public:
  // Recent Unix-style entries get CurrentYearText().
  ListingParser();
  // Recent Unix-style entries get `current_year_text` (two digits, such as "26").
  explicit ListingParser(std::string current_year_text);

  // Parses one line without its line end. Nothing when the line is not an entry (headings,
  // totals, blank lines, or half of a VMS entry that the next line completes).
  std::optional<ListingEntry> ParseListingLine(FtpServerType server_type, std::string_view line);

  // An EPLF line ("+facts,<TAB>name"); any server type may send one.
  static std::optional<ListingEntry> ParseEplfLine(std::string_view line);

  // A VMS name that waits for the line holding the rest of its entry.
  const std::string& PendingVmsText() const { return pending_vms_text_; }
  // Forgets it; the engine calls this when a new listing starts, so that a listing cut off after
  // a name-only line cannot leak that name into the next one.
  void ClearPendingVmsText() { pending_vms_text_.clear(); }

 private:
  std::optional<ListingEntry> ParseVmsLine(std::string_view line);
  std::optional<ListingEntry> ParseGeneralLine(FtpServerType server_type,
                                               std::string_view line) const;
  std::optional<ListingEntry> ParseUnixLine(FtpServerType server_type, std::string_view line,
                                            bool is_folder) const;

  std::string current_year_text_;
  std::string pending_vms_text_;
};

}  // namespace tarsil

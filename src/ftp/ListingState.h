// What the engine's listing keeps: the lists and raw lines of the last listing, those being
// received, the lines whose names have no CP932 form, and the bounds one listing may reach. The
// listing cache is the program's (not owned). Owned by the engine's context, read by the engine's
// listing accessors; loop thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "listing/ListingCache.h"
#include "listing/ListingParser.h"
#include "listing/RemoteEntryList.h"
#include "platform/PackedStrings.h"

namespace tarsil {

// A listing line whose name has no CP932 form: where it stands in the raw lines, as it came, and
// what the parser made of it with "?" for the missing characters (empty name: nothing).
struct LostListingLine {
  size_t raw_index = 0;
  std::string utf8;
  std::string shown_name;
  bool folder = false;
};

struct ListingState {
  static constexpr size_t kReceiveBlock = 4096;  // at most this much per listing read
  // What a listing may hold before it fails: a server could otherwise send lines forever.
  static constexpr uint64_t kDefaultListingBytes = uint64_t{256} << 20;
  static constexpr uint64_t kDefaultListingLines = 2'000'000;

  RemoteEntryList current_files, current_folders;
  RemoteEntryList new_files, new_folders;
  PackedStrings raw_listing;
  std::vector<LostListingLine> lost_lines;
  std::string leftover;  // after the last line end received
  uint64_t bytes = 0;
  uint64_t max_bytes = kDefaultListingBytes;
  uint64_t max_lines = kDefaultListingLines;
  bool overflow = false;
  bool from_cache = false;
  ListingParser parser;
  ListingCache* cache = nullptr;
  std::array<char, kReceiveBlock> receive_buffer{};
};

}  // namespace tarsil

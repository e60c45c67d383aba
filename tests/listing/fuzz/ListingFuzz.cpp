// libFuzzer target for the listing parser: the first byte picks the server type, the rest is a
// listing cut into lines at LF, parsed in order by one parser (so VMS names meet continuations).
// The lines and the entries are kept as the engine keeps them, and must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "listing/ListingDates.h"
#include "listing/ListingParser.h"
#include "platform/PackedStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto type = static_cast<tarsil::FtpServerType>(data[0] % tarsil::kServerTypeCount);
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  tarsil::ListingParser parser("26");
  tarsil::PackedStrings lines;
  std::vector<std::string_view> line_views;
  tarsil::RemoteEntryList list;
  std::vector<tarsil::RemoteEntry> entries;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    lines.Add(line);
    line_views.push_back(line);
    if (const auto entry = parser.ParseListingLine(type, line)) {
      const tarsil::RemoteEntry& e = entry->info;
      list.AddEntry(e.FileName, e.Attributes, e.Date, e.Size, e.Link, e.Owner, e.Group,
                    e.Description);
      entries.push_back(e);
    }
    const size_t space = line.find(' ');
    (void)tarsil::HostDateText(line.substr(0, space),
                               space == std::string_view::npos ? "" : line.substr(space + 1));
    (void)tarsil::DosDateText(line.substr(0, space), line);
    (void)tarsil::EpochDateText(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (lines.size() != line_views.size()) std::abort();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != line_views[i]) std::abort();
  }
  if (list.Count() != static_cast<int>(entries.size())) std::abort();
  for (int i = 0; i < list.Count(); ++i) {
    if (!(list.GetEntry(i) == entries[static_cast<size_t>(i)])) std::abort();
    if (list.FileNameAt(i) != entries[static_cast<size_t>(i)].FileName) std::abort();
  }
  return 0;
}

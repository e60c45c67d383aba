// libFuzzer target for the listing parser: the first byte picks the server type, the rest is a
// listing cut into lines at LF, parsed in order by one parser (so VMS names meet continuations).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "listing/ListingDates.h"
#include "listing/ListingParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto type = static_cast<tarsil::FtpServerType>(data[0] % tarsil::kServerTypeCount);
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  tarsil::ListingParser parser("26");
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    (void)parser.ParseListingLine(type, line);
    const size_t space = line.find(' ');
    (void)tarsil::HostDateText(line.substr(0, space),
                               space == std::string_view::npos ? "" : line.substr(space + 1));
    (void)tarsil::DosDateText(line.substr(0, space), line);
    (void)tarsil::EpochDateText(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return 0;
}

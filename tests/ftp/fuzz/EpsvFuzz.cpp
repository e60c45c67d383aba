// libFuzzer target for the data side's reply parsers (EPSV, PASV, SIZE): any bytes give a
// result or nothing, never a crash; a port found is never 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/FtpDataText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  if (const auto port = tarsil::ParseEpsvReply(reply); port && *port == 0) std::abort();
  if (const auto target = tarsil::ParsePasvReply(reply); target && target->port == 0) std::abort();
  tarsil::ParseSizeReply(reply);
  return 0;
}

// libFuzzer target for the server word of Open (schemes, IPv6 brackets, ports): any bytes must
// give either a target or a reason, never a crash; a target's port is always a valid one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "session/OpenTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view word(reinterpret_cast<const char*>(data), size);
  const tarsil::OpenTarget target = tarsil::ParseOpenTarget(word);
  if (target.error.empty() && (target.port < 1 || target.port > 65535)) std::abort();
  return 0;
}

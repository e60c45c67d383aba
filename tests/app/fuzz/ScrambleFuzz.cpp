// libFuzzer target for the line decoder of scrambled (fcx) scripts. Any bytes are decoded; what
// decodes is encoded again from the same key position and must give the same line (hex digits
// compared without letter case). And every plain line, scrambled from any position, decodes back
// to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/Scrambler.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const std::string plain = tarsil::DecodeLine(bytes);
    if (!bytes.empty()) {
      const size_t start = tarsil::ScrambleKey.find(bytes[0]);
      Check(start != std::string_view::npos);
      const std::string again = tarsil::EncodeLineAt(plain, start);
      // A single digit at the end is a byte of its own: compare whole pairs only.
      if ((bytes.size() - 1) % 2 == 0) Check(Upper(again) == Upper(bytes));
      Check(plain.size() == bytes.size() / 2);
    }
  } catch (const tarsil::ScrambleError&) {
  }
  for (size_t start = 0; start < tarsil::ScrambleKey.size(); ++start) {
    Check(tarsil::DecodeLine(tarsil::EncodeLineAt(bytes, start)) == bytes);
  }
  return 0;
}

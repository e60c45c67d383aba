// Text in the program is bytes in the Japanese double-byte code page (CP932). This unit knows
// which bytes start a two-byte character and converts between CP932 and UTF-8 at the edges
// (file names, console, widgets). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarsil {

// True for the first byte of a two-byte CP932 character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsDBCSLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace tarsil

// Text in the program is bytes in the Japanese double-byte code page (CP932). This unit knows
// which bytes start a two-byte character and converts between CP932 and UTF-8 at the edges
// (file names, console, widgets). Pure functions; any thread (each thread keeps its own
// converters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

// True for the first byte of a two-byte CP932 character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsDBCSLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True for a byte that may follow a lead byte (0x40-0x7E, 0x80-0xFC).
constexpr bool IsDBCSTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Length in bytes (1 or 2) of the character starting at text[pos]: two when a lead byte is
// followed by a trail byte, otherwise one (a lone lead byte stands for itself). pos < size.
constexpr std::size_t CharLengthAt(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && IsDBCSLeadByte(static_cast<unsigned char>(text[pos])) &&
      IsDBCSTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  return 1;
}

// Conversions. A character that is invalid in the source or has no counterpart in the target
// becomes one "?" and the conversion goes on with the next character; nothing throws.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// The same, but empty when any character could not be converted (for names that must
// designate exactly one file).
std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932);
std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8);

// ASCII letters upper-cased; the bytes of two-byte characters are left alone.
std::string UpperCaseAscii(std::string_view text);

// Equal when equal after UpperCaseAscii.
bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace tarsil

#include "platform/TextEncoding.h"

#include "platform/CodePage.h"

namespace tarsil {

std::optional<TextEncoding> ParseTextEncoding(std::string_view name) {
  const std::string upper = UpperCaseAscii(name);
  if (upper == "CP932") return TextEncoding::kCp932;
  if (upper == "UTF-8" || upper == "UTF8") return TextEncoding::kUtf8;
  return std::nullopt;
}

std::string_view TextEncodingName(TextEncoding encoding) {
  return encoding == TextEncoding::kUtf8 ? "UTF-8" : "CP932";
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80) {
      ++pos;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range the second byte must lie in
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (bytes.size() - pos < length) return false;
    const auto second = static_cast<unsigned char>(bytes[pos + 1]);
    if (second < low || second > high) return false;
    for (std::size_t i = 2; i < length; ++i) {
      const auto next = static_cast<unsigned char>(bytes[pos + i]);
      if (next < 0x80 || next > 0xBF) return false;
    }
    pos += length;
  }
  return true;
}

bool HasNonAscii(std::string_view bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) return true;
  }
  return false;
}

std::string ToFileText(std::string_view cp932, TextEncoding encoding) {
  if (encoding == TextEncoding::kCp932) return std::string(cp932);
  return Cp932ToUtf8(cp932);
}

}  // namespace tarsil

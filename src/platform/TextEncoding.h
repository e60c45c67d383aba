// The two encodings text files may have at the edges of the program: CP932 (the program's own
// text, the default) and UTF-8. Names of the choice as stored in the settings, a strict UTF-8
// check for telling the two apart, and the conversion of CP932 text into a file's encoding.
// Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

enum class TextEncoding { kCp932, kUtf8 };

// "CP932" or "UTF-8" (letter case ignored; "UTF8" is taken too); nothing for other text.
std::optional<TextEncoding> ParseTextEncoding(std::string_view name);
// "CP932" or "UTF-8".
std::string_view TextEncodingName(TextEncoding encoding);

// True when every byte belongs to a well-formed UTF-8 sequence: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut off by the end.
bool IsValidUtf8(std::string_view bytes);
// True when the bytes hold at least one byte above 0x7F.
bool HasNonAscii(std::string_view bytes);

// CP932 text as a file of that encoding holds it: unchanged for CP932, converted for UTF-8.
std::string ToFileText(std::string_view cp932, TextEncoding encoding);

}  // namespace tarsil

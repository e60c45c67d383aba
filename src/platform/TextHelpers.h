// Shift-JIS-aware tokenizing of script lines: cutting tokens and quoted arguments, trimming, and
// the forgiving number reader. A two-byte character is one character throughout: its second byte
// is never taken for a separator, a quote or a space, and it is never split. Pure; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarsil {

// Cuts the next token off the front of `source`: leading separator characters are skipped, the
// token runs up to the next separator character, and that one separator is removed with it (any
// further separators stay). Without a following separator the token is the whole rest and
// `source` becomes empty.
std::string NextToken(std::string& source, std::string_view separators);

// Where NextToken would cut: the token is source[begin, end) and the source that NextToken
// leaves starts at `rest`. Lets a caller find a token's place in the line it came from.
struct TokenSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t rest = 0;
};
TokenSpan FindToken(std::string_view source, std::string_view separators);

// Removes runs of half-width (0x20) and full-width (0x81 0x40) spaces at both ends. Tabs stay.
std::string TrimSpaces(std::string_view text);

// Removes every byte up to 0x20 (spaces, tabs, control bytes) at both ends.
std::string TrimBlanks(std::string_view text);

// Reads one argument off the front of `args`: a space-separated word, or, when the word begins
// with a double quote, the text up to the next double quote (to the end when it is missing).
std::string NextArgument(std::string& args);

// Commas are dropped ("8,080" is 8080); anything else that is not a plain decimal 32-bit
// integer, including empty text, "-", and text longer than 10 characters, gives 0.
int32_t LooseStrToInt(std::string_view text);

}  // namespace tarsil

// Word access on one listing line (CP932 bytes): the words, the entry name, the link text, and
// the small text helpers the listing rules share. Only the half-width space separates words.
// Pure functions on copies or views of one line; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarsil {

// Longest entry name ListingName gives, in bytes (never splitting a two-byte character).
inline constexpr size_t kMaxListingNameLength = 999;

// Word n (from 0) after collapsing runs of spaces. The last word of the line, having no space
// after it, comes out empty; a line that begins with a space has an empty word 0. The view
// points into `line`.
std::string_view ListingWord(std::string_view line, int n);

// The name that follows word k-1 (see the Unix-style rule): the line is cut before its first
// "->", k words with their spaces are dropped (empty when the line runs out of spaces), and
// the name is the rest after its first space (or the whole rest), trimmed, at most 999 bytes.
std::string ListingName(std::string_view line, int k);

// The text from the first "->" (included) to the end of the line, untrimmed; empty without one.
std::string_view ListingLink(std::string_view line);

// False (a file) when the lowercased link holds ".gz", ".exe", ".txt", ".tar", "copying",
// "readme" or ".diff"; true (a folder) otherwise.
bool LinkIsFolder(std::string_view link);

// `text` without the blanks and control characters (bytes 0x00-0x20) at both ends.
std::string_view TrimBlanksAndControls(std::string_view text);

// Position of the first occurrence of `needle` that starts on a character boundary (never on the
// trail byte of a two-byte character), or npos.
size_t FindOnCharBoundary(std::string_view text, std::string_view needle);

// `text` with ASCII capitals made small; trail bytes of two-byte characters stay as they are.
std::string LowerAscii(std::string_view text);

// At most `max_bytes` bytes of `text`, one byte fewer when the cut would split a character.
std::string_view CutOnCharBoundary(std::string_view text, size_t max_bytes);

}  // namespace tarsil

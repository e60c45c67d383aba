#include "listing/ListingText.h"

#include "platform/CodePage.h"

namespace tarsil {

namespace {

constexpr std::string_view kLinkArrow = "->";

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Drops the first word and the run of spaces after it. False when no space is left.
bool DropWord(std::string_view& text) {
  const size_t space = text.find(' ');
  if (space == std::string_view::npos) return false;
  const size_t next = text.find_first_not_of(' ', space);
  text.remove_prefix(next == std::string_view::npos ? text.size() : next);
  return true;
}

}  // namespace

std::string_view ListingWord(std::string_view line, int n) {
  // Words never hold a space, so collapsing runs of spaces changes only where words start;
  // stepping over each run reads the words in place.
  std::string_view rest = line;
  for (int i = 0; i < n; ++i) {
    if (!DropWord(rest)) return {};
  }
  const size_t end = rest.find(' ');
  if (end == std::string_view::npos) return {};
  return rest.substr(0, end);
}

std::string ListingName(std::string_view line, int k) {
  std::string_view rest = line.substr(0, line.find(kLinkArrow));
  for (int i = 0; i < k; ++i) {
    if (!DropWord(rest)) return {};
  }
  const size_t space = rest.find(' ');
  if (space != std::string_view::npos) rest.remove_prefix(space);
  return std::string(CutOnCharBoundary(TrimBlanksAndControls(rest), kMaxListingNameLength));
}

std::string_view ListingLink(std::string_view line) {
  const size_t arrow = line.find(kLinkArrow);
  if (arrow == std::string_view::npos) return {};
  return line.substr(arrow);
}

bool LinkIsFolder(std::string_view link) {
  static constexpr std::string_view kFileMarks[] = {".gz",     ".exe",   ".txt", ".tar",
                                                    "copying", "readme", ".diff"};
  const std::string lowered = LowerAscii(link);
  for (std::string_view mark : kFileMarks) {
    if (FindOnCharBoundary(lowered, mark) != std::string_view::npos) return false;
  }
  return true;
}

std::string_view TrimBlanksAndControls(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  // A trail byte is never below 0x40, so the last byte here is never half of a character.
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

size_t FindOnCharBoundary(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
    i += IsDBCSLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  return std::string_view::npos;
}

std::string LowerAscii(std::string_view text) {
  std::string lowered(text);
  for (size_t i = 0; i < lowered.size(); ++i) {
    const auto byte = static_cast<unsigned char>(lowered[i]);
    if (IsDBCSLeadByte(byte)) {
      ++i;  // skip the trail byte
    } else if (byte >= 'A' && byte <= 'Z') {
      lowered[i] = static_cast<char>(byte - 'A' + 'a');
    }
  }
  return lowered;
}

std::string_view CutOnCharBoundary(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = 0;
  while (end < max_bytes) {
    const size_t width = IsDBCSLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
    if (end + width > max_bytes) break;
    end += width;
  }
  return text.substr(0, end);
}

}  // namespace tarsil

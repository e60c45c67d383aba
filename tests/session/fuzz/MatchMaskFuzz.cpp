// libFuzzer target for the file-name mask matcher, against a plain reference written here: the
// mask is cut into one pattern element per character, and matching is the textbook table over
// (element, character) instead of the matcher's single back-track point. The first byte picks
// letter case; the mask runs to the first NUL, the name is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "session/MatchMask.h"

namespace {

struct Element {
  explicit Element(char k, unsigned c = 0) : kind(k), code(c) {}
  char kind;  // '*', '?', 'c' (one character), '[' (a set)
  bool negate = false;
  unsigned code = 0;
  std::vector<std::pair<unsigned, unsigned>> ranges;
};

// Characters as numbers: a two-byte character is one number, letters folded unless sensitive.
std::vector<unsigned> Codes(std::string_view text, bool sensitive) {
  std::vector<unsigned> codes;
  for (size_t i = 0; i < text.size();) {
    const size_t length = tarsil::CharLengthAt(text, i);
    unsigned code = static_cast<unsigned char>(text[i]);
    if (length == 2) {
      code = code << 8 | static_cast<unsigned char>(text[i + 1]);
    } else if (!sensitive && code >= 'a' && code <= 'z') {
      code -= 'a' - 'A';
    }
    codes.push_back(code);
    i += length;
  }
  return codes;
}

// The mask's elements, or nothing when it is ill-formed. Rules: "*" runs count as one wildcard
// (at most 30), "?" right after a "*" run is taken by it, "[" opens a set up to "]" with an
// optional "!" and "a-b" ranges from the last single member.
std::optional<std::vector<Element>> Parse(std::string_view mask, bool sensitive) {
  std::vector<Element> elements;
  int stars = 0;
  bool after_star = false;
  for (size_t i = 0; i < mask.size();) {
    const size_t length = tarsil::CharLengthAt(mask, i);
    const char c = mask[i];
    if (length == 1 && c == '*') {
      if (!after_star) ++stars;
      after_star = true;
      elements.emplace_back('*');
      ++i;
      continue;
    }
    if (length == 1 && c == '?') {
      if (!after_star) elements.emplace_back('?');
      ++i;
      continue;
    }
    after_star = false;
    if (length == 1 && c == '[') {
      Element set('[');
      size_t j = i + 1;
      if (j < mask.size() && mask[j] == '!') {
        set.negate = true;
        ++j;
      }
      std::optional<unsigned> last;
      while (j < mask.size() && mask[j] != ']') {
        const size_t member_length = tarsil::CharLengthAt(mask, j);
        if (member_length == 1 && mask[j] == '-') {
          if (!last || j + 1 >= mask.size() || mask[j + 1] == ']') return std::nullopt;
          const size_t high_length = tarsil::CharLengthAt(mask, j + 1);
          const unsigned high = Codes(mask.substr(j + 1, high_length), sensitive)[0];
          set.ranges.push_back({*last, high});
          j += 1 + high_length;
        } else {
          last = Codes(mask.substr(j, member_length), sensitive)[0];
          set.ranges.push_back({*last, *last});
          j += member_length;
        }
      }
      if (j >= mask.size() || set.ranges.empty()) return std::nullopt;
      elements.push_back(set);
      i = j + 1;
      continue;
    }
    elements.emplace_back('c', Codes(mask.substr(i, length), sensitive)[0]);
    i += length;
  }
  if (stars > 30) return std::nullopt;
  return elements;
}

bool One(const Element& element, unsigned code) {
  if (element.kind == '?') return true;
  if (element.kind == 'c') return element.code == code;
  bool member = false;
  for (const auto& [low, high] : element.ranges) member = member || (code >= low && code <= high);
  return member != element.negate;
}

bool Reference(const std::vector<Element>& mask, const std::vector<unsigned>& name) {
  // match[i][j]: the first i elements match the first j characters.
  std::vector<std::vector<char>> match(mask.size() + 1, std::vector<char>(name.size() + 1, 0));
  match[0][0] = 1;
  for (size_t i = 1; i <= mask.size(); ++i) {
    for (size_t j = 0; j <= name.size(); ++j) {
      if (mask[i - 1].kind == '*') {
        match[i][j] = match[i - 1][j] || (j > 0 && match[i][j - 1]);
      } else {
        match[i][j] = j > 0 && match[i - 1][j - 1] && One(mask[i - 1], name[j - 1]);
      }
    }
  }
  return match[mask.size()][name.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 512) return 0;
  const bool sensitive = data[0] & 1;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = rest.find('\0');
  const std::string_view mask = rest.substr(0, cut);
  const std::string_view name = cut == std::string_view::npos ? "" : rest.substr(cut + 1);
  const std::optional<std::vector<Element>> elements = Parse(mask, sensitive);
  try {
    const tarsil::FileMask compiled(mask, sensitive);
    if (!elements) std::abort();  // the reference refuses what the matcher took
    if (compiled.Matches(name) != Reference(*elements, Codes(name, sensitive))) std::abort();
  } catch (const tarsil::MaskError&) {
    if (elements) std::abort();  // the matcher refuses what the reference took
  }
  return 0;
}

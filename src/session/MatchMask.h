// File-name masks of the multi-file commands and "lmdel": "*", "?", sets "[...]" with ranges
// and "!" negation, ASCII letters case-blind unless asked otherwise, two-byte characters whole.
// A FileMask is compiled once and then matched against many names; immutable, any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

// An ill-formed mask. what() is the CP932 text
// "<position> 番目の文字（'<mask>'）は正しくないマスク文字です".
class MaskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FileMask {
 public:
  // Throws MaskError for a "[" without "]", an empty set, a range without a start or an end
  // character, or more than 30 "*" wildcards (a run of "*" counts once).
  explicit FileMask(std::string_view mask, bool case_sensitive = false);

  // True when the whole name matches the whole mask.
  bool Matches(std::string_view name) const;

 private:
  enum class Kind : uint8_t { kStar, kAny, kChar, kSet };
  struct Range {
    uint16_t low;
    uint16_t high;
  };
  struct Token {
    explicit Token(Kind k) : kind(k) {}
    Kind kind;
    bool negate = false;
    uint16_t code = 0;           // kChar
    std::vector<Range> members;  // kSet
  };

  uint16_t CodeAt(std::string_view text, std::size_t pos, std::size_t& length) const;
  bool MatchesOne(const Token& token, uint16_t code) const;

  bool case_sensitive_;
  std::vector<Token> tokens_;
};

// Case-blind match (ASCII letters); throws MaskError for an ill-formed mask.
bool MatchMask(std::string_view mask, std::string_view name);

// The same rules with letter case significant.
bool MatchMaskCaseSensitive(std::string_view mask, std::string_view name);

}  // namespace tarsil

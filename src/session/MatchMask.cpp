#include "session/MatchMask.h"

#include "platform/CodePage.h"

namespace tarsil {
namespace {

constexpr int kMaxWildcards = 30;

// "%1:d 番目の文字（'%0:s'）は正しくないマスク文字です" around the position and the mask.
constexpr std::string_view kErrorMiddle = " \x94\xd4\x96\xda\x82\xcc\x95\xb6\x8e\x9a\x81\x69'";
constexpr std::string_view kErrorEnd =
    "'\x81\x6a\x82\xcd\x90\xb3\x82\xb5\x82\xad\x82\xc8\x82\xa2\x83\x7d\x83\x58\x83\x4e\x95\xb6"
    "\x8e\x9a\x82\xc5\x82\xb7";

// position is 1-based.
[[noreturn]] void ThrowMaskError(std::string_view mask, std::size_t position) {
  std::string text = std::to_string(position);
  text += kErrorMiddle;
  text += mask;
  text += kErrorEnd;
  throw MaskError(text);
}

}  // namespace

uint16_t FileMask::CodeAt(std::string_view text, std::size_t pos, std::size_t& length) const {
  length = CharLengthAt(text, pos);
  const auto first = static_cast<unsigned char>(text[pos]);
  if (length == 2)
    return static_cast<uint16_t>(first << 8 | static_cast<unsigned char>(text[pos + 1]));
  if (!case_sensitive_ && first >= 'a' && first <= 'z')
    return static_cast<uint16_t>(first - 'a' + 'A');
  return first;
}

FileMask::FileMask(std::string_view mask, bool case_sensitive) : case_sensitive_(case_sensitive) {
  int wildcards = 0;
  bool star_pending = false;
  // Adds a token; `pos` (0-based) is where the scan stands, for the error text.
  auto add = [&](Token token, std::size_t pos) {
    if (star_pending) {
      if (++wildcards > kMaxWildcards) ThrowMaskError(mask, pos + 1);
      tokens_.push_back(Token{Kind::kStar});
      star_pending = false;
    }
    tokens_.push_back(std::move(token));
  };

  std::size_t pos = 0;
  while (pos < mask.size()) {
    const char c = mask[pos];
    if (c == '*') {
      star_pending = true;
      ++pos;
    } else if (c == '?') {
      if (!star_pending) add(Token{Kind::kAny}, pos);  // "?" after "*" is absorbed by it
      ++pos;
    } else if (c == '[') {
      Token set{Kind::kSet};
      std::size_t scan = pos + 1;
      if (scan < mask.size() && mask[scan] == '!') {
        set.negate = true;
        ++scan;
      }
      bool have_start = false;
      uint16_t start = 0;
      while (scan < mask.size() && mask[scan] != ']') {
        std::size_t length = 0;
        if (mask[scan] == '-') {
          if (!have_start) ThrowMaskError(mask, scan + 1);
          ++scan;
          if (scan >= mask.size() || mask[scan] == ']') ThrowMaskError(mask, scan + 1);
          set.members.push_back(Range{start, CodeAt(mask, scan, length)});
        } else {
          start = CodeAt(mask, scan, length);
          have_start = true;
          set.members.push_back(Range{start, start});
        }
        scan += length;
      }
      if (scan >= mask.size() || set.members.empty()) ThrowMaskError(mask, scan + 1);
      add(std::move(set), scan);
      pos = scan + 1;
    } else {
      std::size_t length = 0;
      Token literal{Kind::kChar};
      literal.code = CodeAt(mask, pos, length);
      add(std::move(literal), pos + length - 1);
      pos += length;
    }
  }
  if (star_pending) {
    if (++wildcards > kMaxWildcards) ThrowMaskError(mask, mask.size() + 1);
    tokens_.push_back(Token{Kind::kStar});
  }
}

bool FileMask::MatchesOne(const Token& token, uint16_t code) const {
  switch (token.kind) {
    case Kind::kAny:
      return true;
    case Kind::kChar:
      return token.code == code;
    case Kind::kSet: {
      bool member = false;
      for (const Range& range : token.members) {
        if (code >= range.low && code <= range.high) {
          member = true;
          break;
        }
      }
      return member != token.negate;
    }
    case Kind::kStar:
      break;
  }
  return false;
}

bool FileMask::Matches(std::string_view name) const {
  // Greedy walk with one back-track point: the last "*" seen and where its run began.
  const std::size_t none = tokens_.size();
  std::size_t token = 0;
  std::size_t pos = 0;
  std::size_t star_token = none;
  std::size_t star_pos = 0;
  while (pos < name.size()) {
    if (token < tokens_.size() && tokens_[token].kind == Kind::kStar) {
      star_token = token++;
      star_pos = pos;
      continue;
    }
    std::size_t length = 0;
    const uint16_t code = CodeAt(name, pos, length);
    if (token < tokens_.size() && MatchesOne(tokens_[token], code)) {
      ++token;
      pos += length;
      continue;
    }
    if (star_token == none) return false;
    token = star_token + 1;
    star_pos += CharLengthAt(name, star_pos);
    pos = star_pos;
  }
  while (token < tokens_.size() && tokens_[token].kind == Kind::kStar) ++token;
  return token == tokens_.size();
}

bool MatchMask(std::string_view mask, std::string_view name) {
  return FileMask(mask).Matches(name);
}

bool MatchMaskCaseSensitive(std::string_view mask, std::string_view name) {
  return FileMask(mask, true).Matches(name);
}

}  // namespace tarsil

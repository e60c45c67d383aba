#include "platform/TextHelpers.h"

#include <charconv>

#include "platform/CodePage.h"

namespace tarsil {

namespace {

constexpr std::size_t kLooseIntMaxLength = 10;

bool IsSingleByteIn(std::string_view text, std::size_t pos, std::size_t length,
                    std::string_view set) {
  return length == 1 && set.find(text[pos]) != std::string_view::npos;
}

// Byte range [begin, end) of `text` left after dropping, at both ends, every character for which
// `is_trimmed(text, pos, length)` holds. Walks forward so that character boundaries are known.
template <typename Pred>
std::string_view TrimWith(std::string_view text, Pred is_trimmed) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = CharLengthAt(text, pos);
    if (!is_trimmed(text, pos, length)) {
      if (begin == text.size()) begin = pos;
      end = pos + length;
    }
    pos += length;
  }
  if (begin >= end) return {};
  return text.substr(begin, end - begin);
}

}  // namespace

TokenSpan FindToken(std::string_view source, std::string_view separators) {
  std::size_t start = 0;
  while (start < source.size() &&
         IsSingleByteIn(source, start, CharLengthAt(source, start), separators)) {
    ++start;
  }
  std::size_t pos = start;
  while (pos < source.size()) {
    const std::size_t length = CharLengthAt(source, pos);
    if (IsSingleByteIn(source, pos, length, separators)) return {start, pos, pos + 1};
    pos += length;
  }
  return {start, source.size(), source.size()};
}

std::string NextToken(std::string& source, std::string_view separators) {
  const TokenSpan span = FindToken(source, separators);
  std::string token = source.substr(span.begin, span.end - span.begin);
  source.erase(0, span.rest);
  return token;
}

std::string TrimSpaces(std::string_view text) {
  return std::string(TrimWith(text, [](std::string_view t, std::size_t pos, std::size_t length) {
    if (length == 1) return t[pos] == ' ';
    return t[pos] == '\x81' && t[pos + 1] == '\x40';
  }));
}

std::string TrimBlanks(std::string_view text) {
  return std::string(TrimWith(text, [](std::string_view t, std::size_t pos, std::size_t length) {
    return length == 1 && static_cast<unsigned char>(t[pos]) <= 0x20;
  }));
}

std::string NextArgument(std::string& args) {
  std::string rest = args;
  std::string word = NextToken(rest, " ");
  if (word.empty() || word[0] != '"') {
    args = std::move(rest);
    return word;
  }
  // The word begins with a quote, so the first quote of the text is its opening quote.
  for (std::size_t pos = 0; pos < args.size(); pos += CharLengthAt(args, pos)) {
    if (args[pos] == '"') {
      args.erase(0, pos + 1);
      break;
    }
  }
  return NextToken(args, "\"");
}

int32_t LooseStrToInt(std::string_view text) {
  std::string digits;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = CharLengthAt(text, pos);
    if (!IsSingleByteIn(text, pos, length, ",")) digits.append(text.substr(pos, length));
    pos += length;
  }
  if (digits.size() > kLooseIntMaxLength) return 0;
  std::string trimmed = TrimBlanks(digits);
  std::string_view number = trimmed;
  if (!number.empty() && number[0] == '+') {
    number.remove_prefix(1);
    if (!number.empty() && number[0] == '-') return 0;
  }
  if (number.empty() || number == "-") return 0;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return 0;
  return value;
}

}  // namespace tarsil

#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>

namespace tarsil {
namespace {

// Owns one iconv conversion descriptor.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (ok()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Length of the character at the start of `rest` (non-empty) in the source encoding, used to
// skip exactly one character that the converter refused.
using CharLengthFn = std::size_t (*)(std::string_view rest);

std::size_t Cp932Length(std::string_view rest) { return CharLengthAt(rest, 0); }

std::size_t Utf8Length(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (length > rest.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(rest[i]);
    if (byte < 0x80 || byte > 0xBF) return 1;
  }
  return length;
}

// Converts `input`, replacing every refused character with "?". `exact` is cleared when that
// happened.
std::string Convert(const IconvHandle& converter, std::string_view input, CharLengthFn char_length,
                    bool& exact) {
  exact = true;
  std::string out;
  if (input.empty()) return out;
  if (!converter.ok()) {
    // No converter on this system: ASCII passes, everything else is unknown.
    for (std::size_t pos = 0; pos < input.size();) {
      const auto byte = static_cast<unsigned char>(input[pos]);
      if (byte < 0x80) {
        out.push_back(input[pos]);
        ++pos;
      } else {
        out.push_back('?');
        exact = false;
        pos += char_length(input.substr(pos));
      }
    }
    return out;
  }
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  out.resize(input.size() * 2 + 16);
  std::size_t used = 0;
  char* in = const_cast<char*>(input.data());  // iconv does not write through it
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    const std::size_t result = iconv(converter.get(), &in, &in_left, &out_ptr, &out_left);
    used = static_cast<std::size_t>(out_ptr - out.data());
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ: a character the converter refuses; EINVAL: a character cut off by the end.
    const std::size_t skip = errno == EILSEQ ? char_length(std::string_view(in, in_left)) : in_left;
    if (used == out.size()) out.resize(out.size() * 2);
    out[used++] = '?';
    exact = false;
    in += skip;
    in_left -= skip;
  }
  out.resize(used);
  return out;
}

const IconvHandle& ToUtf8() {
  thread_local const IconvHandle handle("UTF-8", "CP932");
  return handle;
}

const IconvHandle& ToCp932() {
  thread_local const IconvHandle handle("CP932", "UTF-8");
  return handle;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  bool exact = true;
  return Convert(ToUtf8(), cp932, Cp932Length, exact);
}

std::string Utf8ToCp932(std::string_view utf8) {
  bool exact = true;
  return Convert(ToCp932(), utf8, Utf8Length, exact);
}

std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932) {
  bool exact = true;
  std::string out = Convert(ToUtf8(), cp932, Cp932Length, exact);
  if (!exact) return std::nullopt;
  return out;
}

std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8) {
  bool exact = true;
  std::string out = Convert(ToCp932(), utf8, Utf8Length, exact);
  if (!exact) return std::nullopt;
  return out;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (std::size_t pos = 0; pos < out.size();) {
    const std::size_t length = CharLengthAt(out, pos);
    if (length == 1 && out[pos] >= 'a' && out[pos] <= 'z') out[pos] = out[pos] - 'a' + 'A';
    pos += length;
  }
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCaseAscii(a) == UpperCaseAscii(b);
}

}  // namespace tarsil

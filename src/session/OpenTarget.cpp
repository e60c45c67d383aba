#include "session/OpenTarget.h"

#include <arpa/inet.h>

#include <cctype>

namespace tarsil {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// 1 to 65535 written with 1 to 5 digits, else 0.
int PortNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return 0;
  }
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value <= 65535 ? value : 0;
}

// The "host:port" form as it always was: digits after the last colon make the port, anything
// else stays part of the host.
void SplitHostPort(std::string_view word, OpenTarget& target) {
  target.host = std::string(word);
  const size_t colon = word.rfind(':');
  if (colon == std::string_view::npos || colon + 1 >= word.size()) return;
  const int port = PortNumber(word.substr(colon + 1));
  if (port == 0) return;
  target.host = std::string(word.substr(0, colon));
  target.port = port;
}

void ParseBracketed(std::string_view word, OpenTarget& target) {
  const size_t close = word.find(']');
  if (close == std::string_view::npos) {
    target.error = "The IPv6 address has no closing bracket: " + std::string(word);
    return;
  }
  const std::string address(word.substr(1, close - 1));
  in6_addr parsed{};
  if (address.find('\0') != std::string::npos ||
      inet_pton(AF_INET6, address.c_str(), &parsed) != 1) {
    target.error = "Not an IPv6 address: " + std::string(word);
    return;
  }
  std::string_view rest = word.substr(close + 1);
  if (!rest.empty() && rest != "/") {
    const int port = rest[0] == ':' ? PortNumber(rest.substr(1)) : 0;
    if (port == 0) {
      target.error = "Not a port after the IPv6 address: " + std::string(word);
      return;
    }
    target.port = port;
  }
  target.host = address;
}

}  // namespace

OpenTarget ParseOpenTarget(std::string_view word) {
  OpenTarget target;
  if (StartsWithNoCase(word, "ftpes://")) {
    target.security = FtpSecurity::kExplicit;
    word.remove_prefix(8);
  } else if (StartsWithNoCase(word, "ftps://")) {
    target.security = FtpSecurity::kImplicit;
    target.port = 990;
    word.remove_prefix(7);
  }
  if (!word.empty() && word[0] == '[') {
    ParseBracketed(word, target);
    return target;
  }
  if (target.security != FtpSecurity::kNone) {
    if (!word.empty() && word.back() == '/') word.remove_suffix(1);
    if (word.empty()) {
      target.error = "No host after the scheme";
      return target;
    }
  }
  SplitHostPort(word, target);
  return target;
}

}  // namespace tarsil

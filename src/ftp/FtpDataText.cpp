#include "ftp/FtpDataText.h"

#include <array>

#include "platform/TextHelpers.h"

namespace tarsil {
namespace {

// 1 to 3 decimal digits with a value of at most 255.
std::optional<int> ByteField(std::string_view text) {
  const std::string field = TrimBlanks(text);
  if (field.empty() || field.size() > 3) return std::nullopt;
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return std::nullopt;
  return value;
}

}  // namespace

std::optional<PasvTarget> ParsePasvReply(std::string_view reply) {
  const size_t open = reply.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  std::string_view inside = reply.substr(open + 1);
  inside = inside.substr(0, inside.find(')'));
  const std::string text = TrimBlanks(inside);

  std::array<int, 6> numbers{};
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string_view field =
        std::string_view(text).substr(start, comma == std::string::npos ? comma : comma - start);
    const std::optional<int> value = ByteField(field);
    if (!value || count == numbers.size()) return std::nullopt;
    numbers[count++] = *value;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (count != numbers.size()) return std::nullopt;
  const int port = numbers[4] * 256 + numbers[5];
  if (port == 0) return std::nullopt;
  PasvTarget target;
  target.host = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
                std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
  target.port = static_cast<uint16_t>(port);
  return target;
}

std::string PortArgument(std::string_view dotted, uint16_t port) {
  std::string argument(dotted);
  for (char& c : argument) {
    if (c == '.') c = ',';
  }
  return argument + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string PreliminarySize(std::string_view reply) {
  const size_t open = reply.rfind('(');
  if (open == std::string_view::npos) return std::string();
  const size_t blank = reply.find(' ', open);
  if (blank == std::string_view::npos) return std::string();
  return std::string(reply.substr(open + 1, blank - open - 1));
}

std::optional<int64_t> ParseSizeReply(std::string_view reply) {
  if (reply.size() < 5) return std::nullopt;
  const std::string text = TrimBlanks(reply.substr(4));
  if (text.empty() || text.size() > 18) return std::nullopt;  // 18 digits always fit
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string RemovedDirectoryPath(std::string_view current, std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  std::string path(current);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::optional<uint16_t> ParseEpsvReply(std::string_view reply) {
  const size_t open = reply.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = reply.find(')', open);
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view inside = reply.substr(open + 1, close - open - 1);
  if (inside.size() < 5) return std::nullopt;
  const char delimiter = inside[0];
  if (delimiter < 33 || delimiter > 126 || (delimiter >= '0' && delimiter <= '9')) {
    return std::nullopt;
  }
  if (inside[1] != delimiter || inside[2] != delimiter || inside.back() != delimiter) {
    return std::nullopt;
  }
  const std::string_view digits = inside.substr(3, inside.size() - 4);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

std::string EprtArgument(std::string_view address, uint16_t port) {
  const bool v6 = address.find(':') != std::string_view::npos;
  return std::string(v6 ? "|2|" : "|1|") + std::string(address) + "|" + std::to_string(port) + "|";
}

}  // namespace tarsil

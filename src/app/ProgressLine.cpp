#include "app/ProgressLine.h"

#include <cstdio>

#include "platform/Clock.h"

namespace tarsil {
namespace {

std::string Amount(double value) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (value >= 1024.0 && unit < 4) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%.0f B", value);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

// Characters of UTF-8 text (bytes that do not continue a sequence).
std::size_t Characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The last `keep` characters of UTF-8 text.
std::string_view Tail(std::string_view text, std::size_t keep) {
  std::size_t pos = text.size();
  std::size_t kept = 0;
  while (pos > 0 && kept < keep) {
    --pos;
    if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) ++kept;
  }
  return text.substr(pos);
}

}  // namespace

std::string FormatProgressLine(std::string_view name_utf8, int64_t bytes, double seconds,
                               int columns) {
  std::string name;
  for (char c : name_utf8) name += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
  const std::string figures = "  " + Amount(static_cast<double>(bytes)) + "  " + Amount(rate) +
                              "/s  " + FormatDuration(seconds / 86400.0);
  // One column is left free so that the cursor never wraps to the next line.
  const std::size_t room = columns > 1 ? static_cast<std::size_t>(columns) - 1 : 0;
  const std::size_t figures_width = Characters(figures);
  if (figures_width >= room) return figures.substr(2, room);
  if (Characters(name) + figures_width > room) {
    const std::size_t keep = room - figures_width;
    name = keep > 3 ? "..." + std::string(Tail(name, keep - 3)) : std::string(Tail(name, keep));
  }
  return name + figures;
}

std::optional<std::string> TransferNameOfCommand(std::string_view log_text) {
  for (std::string_view verb : {"RETR ", "STOR ", "APPE "}) {
    const std::size_t at = log_text.find(verb);
    if (at == std::string_view::npos) continue;
    if (at > 0 && log_text[at - 1] != ' ' && log_text[at - 1] != '>') continue;
    return std::string(log_text.substr(at + verb.size()));
  }
  return std::nullopt;
}

}  // namespace tarsil

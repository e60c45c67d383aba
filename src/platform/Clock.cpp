#include "platform/Clock.h"

#include "platform/CalendarDays.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tarsil {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Taken on first use, and forced at start-up below, so that it is the process start even when
// another start-up routine asks first.
std::chrono::steady_clock::time_point ProcessStart() {
  static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  return start;
}
[[maybe_unused]] const std::chrono::steady_clock::time_point kForceProcessStart = ProcessStart();

double Combine(int64_t days, int64_t time_ms) {
  const double time = static_cast<double>(time_ms) / kMsPerDay;
  const auto date = static_cast<double>(days);
  return days < 0 ? date - time : date + time;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A cursor over text for the date-time reader.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++pos_;
    return true;
  }
  // Skips blanks; tells whether there were any.
  bool SkipBlanks() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    return pos_ != start;
  }
  // An unsigned number of min_digits to max_digits digits.
  std::optional<int> Number(std::size_t min_digits, std::size_t max_digits) {
    std::size_t digits = 0;
    int value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9' && digits < max_digits) {
      value = value * 10 + (text_[pos_] - '0');
      ++pos_;
      ++digits;
    }
    if (digits < min_digits) return std::nullopt;
    if (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') return std::nullopt;
    return value;
  }
  // The next character is a digit and a ":" follows the digits (a time, not a date).
  bool TimeAhead() const {
    std::size_t pos = pos_;
    while (pos < text_.size() && text_[pos] >= '0' && text_[pos] <= '9') ++pos;
    return pos != pos_ && pos < text_.size() && text_[pos] == ':';
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// "h:nn" or "h:nn:ss" as milliseconds.
std::optional<int64_t> ScanTime(Scanner& scanner) {
  const std::optional<int> hour = scanner.Number(1, 2);
  if (!hour || *hour > 23 || !scanner.Take(':')) return std::nullopt;
  const std::optional<int> minute = scanner.Number(1, 2);
  if (!minute || *minute > 59) return std::nullopt;
  int second = 0;
  if (scanner.Take(':')) {
    const std::optional<int> value = scanner.Number(1, 2);
    if (!value || *value > 59) return std::nullopt;
    second = *value;
  }
  return ((*hour * 60 + *minute) * 60 + second) * int64_t{1000};
}

// "yyyy/mm/dd" as days since 1899-12-30.
std::optional<int64_t> ScanDate(Scanner& scanner) {
  const std::optional<int> year = scanner.Number(4, 4);
  if (!year || *year < 1 || !scanner.Take('/')) return std::nullopt;
  const std::optional<int> month = scanner.Number(1, 2);
  if (!month || *month < 1 || *month > 12 || !scanner.Take('/')) return std::nullopt;
  const std::optional<int> day = scanner.Number(1, 2);
  if (!day || *day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
  return DayNumberFromDate(*year, *month, *day);
}

}  // namespace

double Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000));
}

uint32_t TickCount() {
  const auto elapsed = std::chrono::steady_clock::now() - ProcessStart();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
  const int64_t days = DayNumberFromDate(year, month, day);
  const int64_t time_ms = ((hour * int64_t{60} + minute) * 60 + second) * 1000 + millisecond;
  return Combine(days, time_ms);
}

DateTimeParts DecodeDateTime(double value) {
  DateTimeParts parts;
  if (!std::isfinite(value)) return parts;
  const auto total = static_cast<int64_t>(std::llround(value * kMsPerDay));
  const int64_t days = total / kMsPerDay;  // toward zero: the date of negative values
  int64_t time_ms = (total < 0 ? -total : total) % kMsPerDay;
  const CivilDate date = DateFromDayNumber(days);
  parts.year = date.year;
  parts.month = date.month;
  parts.day = date.day;
  parts.millisecond = static_cast<int>(time_ms % 1000);
  time_ms /= 1000;
  parts.second = static_cast<int>(time_ms % 60);
  time_ms /= 60;
  parts.minute = static_cast<int>(time_ms % 60);
  parts.hour = static_cast<int>(time_ms / 60);
  return parts;
}

std::string FormatShortDateLongTime(double value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return text;
}

std::string FormatDuration(double value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  return text;
}

std::string FormatDateStamp(double value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d", p.year, p.month, p.day);
  return text;
}

std::optional<double> TryStrToDateTime(std::string_view text) {
  Scanner scanner(text);
  scanner.SkipBlanks();
  int64_t days = 0;
  int64_t time_ms = 0;
  if (scanner.TimeAhead()) {
    const std::optional<int64_t> time = ScanTime(scanner);
    if (!time) return std::nullopt;
    time_ms = *time;
  } else {
    const std::optional<int64_t> date = ScanDate(scanner);
    if (!date) return std::nullopt;
    days = *date;
    if (scanner.SkipBlanks() && !scanner.AtEnd()) {
      const std::optional<int64_t> time = ScanTime(scanner);
      if (!time) return std::nullopt;
      time_ms = *time;
    }
  }
  scanner.SkipBlanks();
  if (!scanner.AtEnd()) return std::nullopt;
  return Combine(days, time_ms);
}

}  // namespace tarsil

#include "listing/ListingDates.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "listing/ListingText.h"
#include "platform/CalendarDays.h"

namespace tarsil {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// A short run of decimal digits (at most 4) as a number; nothing for anything else.
std::optional<int> SmallNumber(std::string_view text) {
  if (text.size() > 4 || !AllDigits(text)) return std::nullopt;
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

// substr that yields empty text instead of throwing when `pos` lies past the end.
std::string_view Part(std::string_view text, size_t pos, size_t count = std::string_view::npos) {
  if (pos >= text.size()) return {};
  return text.substr(pos, count);
}

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

// 12-hour time text; `two_digit_hour` keeps the leading zero of hours 1 to 9 (DOS-style).
std::string TwelveHourText(int hour, std::string_view minutes, bool two_digit_hour) {
  int shown = hour;
  if (hour == 0) {
    shown = 12;
  } else if (hour > 12) {
    shown = hour - 12;
  }
  std::string text = two_digit_hour ? TwoDigits(shown) : std::to_string(shown);
  text += ':';
  text += minutes;
  text += hour >= 12 ? " PM" : " AM";
  return text;
}

// "Jan".."Dec" in any letter case -> 1..12.
std::optional<int> MonthFromName(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name.size() != 3) return std::nullopt;
  const std::string lowered = LowerAscii(name);
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (lowered == kMonths[i]) return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

bool AllLetters(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

struct ShortDate {
  int month = 0;
  int day = 0;
  int year = 0;  // two digits
};

// d-MMM-yyyy, MMM-d-yyyy, yyyy-mm-dd, m/d/yy (and the same with either separator); years of
// two, three (years since 1900) or four digits.
std::optional<ShortDate> ReadHostDate(std::string_view word) {
  std::array<std::string_view, 3> fields;
  size_t count = 0;
  while (true) {
    const size_t separator = word.find_first_of("-/");
    if (count == fields.size()) return std::nullopt;
    fields[count++] = word.substr(0, separator);
    if (separator == std::string_view::npos) break;
    word.remove_prefix(separator + 1);
  }
  if (count != fields.size()) return std::nullopt;

  std::optional<int> month, day, year;
  std::string_view year_field;
  if (AllLetters(fields[1])) {
    month = MonthFromName(fields[1]);
    day = SmallNumber(fields[0]);
    year_field = fields[2];
  } else if (AllLetters(fields[0])) {
    month = MonthFromName(fields[0]);
    day = SmallNumber(fields[1]);
    year_field = fields[2];
  } else if (fields[0].size() == 4) {
    year_field = fields[0];
    month = SmallNumber(fields[1]);
    day = SmallNumber(fields[2]);
  } else {
    month = SmallNumber(fields[0]);
    day = SmallNumber(fields[1]);
    year_field = fields[2];
  }
  year = SmallNumber(year_field);
  if (!month || !day || !year || year_field.size() < 2) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  int full_year = *year;
  if (year_field.size() == 3) full_year += 1900;  // 102 is 2002
  return ShortDate{*month, *day, full_year % 100};
}

struct ClockTime {
  int hour = 0;
  std::string minutes;
};

// h:mm, hh:mm, hh:mm:ss, hh:mm:ss.cc on a 24-hour clock.
std::optional<ClockTime> ReadHostTime(std::string_view word) {
  const size_t colon = word.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<int> hour = SmallNumber(word.substr(0, colon));
  const std::string_view minutes = Part(word, colon + 1, 2);
  const std::string_view after = Part(word, colon + 3);
  if (!hour || colon > 2 || *hour > 23 || minutes.size() != 2 || !AllDigits(minutes) ||
      minutes[0] > '5' || (!after.empty() && after[0] != ':')) {
    return std::nullopt;
  }
  return ClockTime{*hour, std::string(minutes)};
}

}  // namespace

const std::string& CurrentYearText() {
  static const std::string text = [] {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return YearText(local.tm_year + 1900);
  }();
  return text;
}

std::string YearText(int year) {
  const std::string digits = std::to_string(year);
  return digits.size() > 2 ? digits.substr(2) : std::string();
}

std::string UnixDateText(std::string_view text, std::string_view current_year_text) {
  std::string_view month;
  if (!text.empty()) {
    const char second = text.size() > 1 ? text[1] : '\0';
    const char third = text.size() > 2 ? text[2] : '\0';
    switch (text[0]) {
      case 'A':
        month = second == 'p' ? "4" : "8";
        break;
      case 'D':
        month = "12";
        break;
      case 'F':
        month = "2";
        break;
      case 'J':
        month = second == 'a' ? "1" : third == 'n' ? "6" : "7";
        break;
      case 'M':
        month = third == 'r' ? "3" : "5";
        break;
      case 'N':
        month = "11";
        break;
      case 'O':
        month = "10";
        break;
      case 'S':
        month = "9";
        break;
      default:
        break;
    }
  }

  std::string_view rest = text;
  const size_t space = rest.find(' ');
  if (space != std::string_view::npos) rest.remove_prefix(space + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);

  const std::string_view day = TrimBlanksAndControls(rest.substr(0, 2));
  rest = Part(rest, rest.size() > 2 && rest[2] == ' ' ? 3 : 2);

  std::string year;
  std::string time;
  if (rest.find(':') != std::string_view::npos) {
    // A time: a recent entry of the current year.
    year = current_year_text;
    const std::string_view clock = TrimBlanksAndControls(rest);
    if (clock.size() == 5) {
      const std::optional<int> hour = SmallNumber(clock.substr(0, 2));
      if (!hour) return std::string(kUnreadableDateText);
      time = TwelveHourText(*hour, clock.substr(3), /*two_digit_hour=*/false);
    } else {
      time = std::string(clock) + " AM";
    }
  } else {
    const std::string_view year_word = TrimBlanksAndControls(rest);
    if (year_word.empty()) return std::string(kUnreadableDateText);
    year = Part(year_word, 2);  // 1999 gives 99
    time = "12:00 AM";
  }
  std::string result(month);
  result += '/';
  result += day;
  result += '/';
  result += year;
  result += ' ';
  result += time;
  return result;
}

std::optional<std::string> DosDateText(std::string_view date_word, std::string_view time_word) {
  if (date_word.size() < 6) return std::nullopt;

  std::string date;
  if (date_word.size() == 10 && AllDigits(date_word.substr(0, 4)) && date_word[4] == '-' &&
      date_word[7] == '-') {
    // yyyy-mm-dd: the month and the day go first, as in the other DOS-style dates.
    date = std::string(date_word.substr(5, 2)) + "/" + std::string(date_word.substr(8, 2)) + "/" +
           std::string(date_word.substr(0, 4));
  } else {
    date = date_word;
    date[2] = '/';
    date[5] = '/';
  }

  std::string time;
  const std::optional<int> hour = SmallNumber(time_word.substr(0, 2));
  if (time_word.size() == 5 && time_word[2] == ':' && hour && *hour <= 23 &&
      AllDigits(time_word.substr(3))) {
    // A 24-hour clock (Windows CE, IIS set so): the same 12-hour shape as "03:45PM".
    time = TwelveHourText(*hour, time_word.substr(3), /*two_digit_hour=*/true);
  } else {
    time = std::string(time_word.substr(0, 5)) + " " + std::string(Part(time_word, 5, 2));
  }
  return date + " " + time;
}

std::string EpochDateText(std::string_view seconds) {
  std::string_view digits = seconds;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (!AllDigits(digits)) return std::string(kUnreadableDateText);
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > int64_t{2147483648}) return std::string(kUnreadableDateText);
  }
  if (negative) value = -value;
  if (value > int64_t{2147483647}) return std::string(kUnreadableDateText);

  int64_t days = value / 86400;
  int64_t second_of_day = value % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    --days;
  }
  const CivilDate date = DateFromDayNumber(kUnixEpochDayNumber + days);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d", date.month, date.day,
                date.year % 100, static_cast<int>(second_of_day / 3600),
                static_cast<int>(second_of_day % 3600 / 60));
  return buffer;
}

std::string HostDateText(std::string_view first_word, std::string_view second_word) {
  const bool first_is_time = first_word.find(':') != std::string_view::npos;
  const bool second_is_time = second_word.find(':') != std::string_view::npos;
  if (first_is_time == second_is_time) return std::string(kUnreadableDateText);
  const std::optional<ShortDate> date = ReadHostDate(first_is_time ? second_word : first_word);
  const std::optional<ClockTime> time = ReadHostTime(first_is_time ? first_word : second_word);
  if (!date || !time) return std::string(kUnreadableDateText);
  return std::to_string(date->month) + "/" + std::to_string(date->day) + "/" +
         TwoDigits(date->year) + " " + TwelveHourText(time->hour, time->minutes, false);
}

}  // namespace tarsil

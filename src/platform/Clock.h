// Wall-clock date-times and the millisecond tick. A date-time is a double: days since
// 1899-12-30 in local time, the fraction being the time of day (before that day the whole part
// is negative and the fraction still counts forward from midnight). Pure functions except Now
// and TickCount, which read the clocks; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The current local date and time.
double Now();

// Milliseconds since the process started, from a monotonic clock; wraps after about 49.7 days.
uint32_t TickCount();

// Fields must be in range (month 1-12, day valid for the month, hour 0-23, ...).
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond = 0);

// Fields of a date-time, rounded to the nearest millisecond.
DateTimeParts DecodeDateTime(double value);

// "yyyy/mm/dd h:nn:ss", for example "2001/01/31 9:05:07".
std::string FormatShortDateLongTime(double value);

// The time of day part as "hh:nn:ss" (so durations of 24 hours or more wrap round).
std::string FormatDuration(double value);

// "yyyymmdd".
std::string FormatDateStamp(double value);

// Reads "h:nn:ss" or "h:nn" (a fraction of a day), "yyyy/mm/dd", or a date, blanks and a time;
// blanks around are allowed. Hours 0-23, minutes and seconds 0-59, years 1-9999 (dates before
// 1899-12-30 give negative values). Anything else gives nothing.
std::optional<double> TryStrToDateTime(std::string_view text);

}  // namespace tarsil

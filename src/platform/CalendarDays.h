// Day arithmetic of date-time values, listing texts and the listing cache: whole days counted from
// 30 December 1899 (day 0) in the proleptic Gregorian calendar. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace tarsil {

struct CivilDate {
  int year = 1899;
  int month = 12;  // 1-12
  int day = 30;    // 1-31
};

// The day number of a calendar date (1899-12-30 gives 0, 1970-01-01 gives 25569).
int64_t DayNumberFromDate(int year, int month, int day);

// The calendar date of a day number; the inverse of DayNumberFromDate.
CivilDate DateFromDayNumber(int64_t day_number);

// Day number of 1 January 1970, the start of the seconds count of EPLF dates.
inline constexpr int64_t kUnixEpochDayNumber = 25569;

}  // namespace tarsil

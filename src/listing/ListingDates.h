// The date texts of listing entries: Unix-style "m/d/yy h:mm AM", DOS-style "mm/dd/yy hh:mm PM",
// EPLF "mm/dd/yy hh:mm", and the readings of VMS and VM dates into the Unix-style shape.
// "1/1/80 12:00" stands for a date that could not be read. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarsil {

inline constexpr std::string_view kUnreadableDateText = "1/1/80 12:00";

// The last two digits of the local year, taken once, the first time it is asked for (the
// program asks at start-up). Recent Unix-style entries carry it.
const std::string& CurrentYearText();

// A year in decimal without its first two digits (2026 gives "26").
std::string YearText(int year);

// Month name, day, and a time hh:mm or a year, as Unix-style lines write them ("Jan 15 12:34",
// "Mar 7 1999") -> "1/15/26 12:34 PM", "3/7/99 12:00 AM". `current_year_text` stands in for
// the year of a dated-by-time entry.
std::string UnixDateText(std::string_view text, std::string_view current_year_text);

// DOS-style date and time words ("12-31-99", "03:45PM") -> "12/31/99 03:45 PM". A 24-hour time
// ("17:03") is given the same 12-hour shape; a year-first date ("2002-09-02") is read as such.
// No value (the line fails) when the date word is shorter than six characters.
std::optional<std::string> DosDateText(std::string_view date_word, std::string_view time_word);

// Decimal seconds since 1970-01-01 00:00, no time-zone correction -> "03/01/96 22:15".
// Not an integer, or outside the 32-bit signed range: kUnreadableDateText.
std::string EpochDateText(std::string_view seconds);

// A date word and a time word, in either order, as VMS ("30-DEC-1996", "17:44" or
// "03:33:12.50") and VM ("10/21/98", "1998-10-21", "1/03/102", "7:35:29") servers write
// them -> "12/30/96 5:44 PM". kUnreadableDateText when they cannot be read.
std::string HostDateText(std::string_view first_word, std::string_view second_word);

}  // namespace tarsil

#include "listing/ListingDates.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/CalendarDays.h"

namespace tarsil {
namespace {

constexpr const char* kUnreadable = "1/1/80 12:00";

TEST(ListingDates, UnixDateText) {
  struct Case {
    std::string text;
    std::string date;
  };
  const Case cases[] = {
      {"Jan 15 12:34", "1/15/26 12:34 PM"},
      {"Mar 7 1999", "3/7/99 12:00 AM"},
      {"Jan 1 00:05", "1/1/26 12:05 AM"},
      {"Jan 1 09:00", "1/1/26 9:00 AM"},
      {"Dec 02 2009", "12/02/09 12:00 AM"},  // the day keeps what the server wrote
      {"Apr 27 23:59", "4/27/26 11:59 PM"},
      {"Aug 5 12:00", "8/5/26 12:00 PM"},
      {"Feb 2 2000", "2/2/00 12:00 AM"},
      {"Jun 6 2000", "6/6/00 12:00 AM"},
      {"Jul 7 2000", "7/7/00 12:00 AM"},
      {"May 5 2000", "5/5/00 12:00 AM"},
      {"Nov 1 2000", "11/1/00 12:00 AM"},
      {"Oct 1 2000", "10/1/00 12:00 AM"},
      {"Sep 1 2000", "9/1/00 12:00 AM"},
      {"Jam 4 00:03", "1/4/26 12:03 AM"},    // "J" then "a"
      {"Feb 23 30:01", "2/23/26 18:01 PM"},  // hours above 12 lose 12, whatever they are
      {"Mar 25 0:23", "3/25/26 0:23 AM"},    // not hh:mm: " AM" appended
      {"jan 1 2000", "/1/00 12:00 AM"},      // unknown month letter: empty month
      {"Dec 19 ab:11", kUnreadable},         // hour not a number
      {"Jan 1 ", kUnreadable},               // empty rest
      {"", kUnreadable},
  };
  for (const Case& c : cases) EXPECT_EQ(UnixDateText(c.text, "26"), c.date) << c.text;
}

TEST(ListingDates, DosDateText) {
  struct Case {
    std::string date_word, time_word, date;
  };
  const Case cases[] = {
      {"12-31-99", "03:45PM", "12/31/99 03:45 PM"},
      {"05-26-95", "10:57AM", "05/26/95 10:57 AM"},
      {"05-26-1995", "10:57AM", "05/26/1995 10:57 AM"},
      {"01-01-98", "05:00", "01/01/98 05:00 AM"},  // 24-hour clock
      {"09-13-10", "13:08", "09/13/10 01:08 PM"},
      {"09-13-10", "00:08", "09/13/10 12:08 AM"},
      {"05-22-97", "12:08", "05/22/97 12:08 PM"},
      {"2002-09-02", "18:48", "09/02/2002 06:48 PM"},  // year first
      {"07-17-00", "ab:08AM", "07/17/00 ab:08 AM"},
      {"123456", "", "12/45/  "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DosDateText(c.date_word, c.time_word), c.date) << c.date_word << ' ' << c.time_word;
  }
  EXPECT_EQ(DosDateText("12-31", "03:45PM"), std::nullopt);
  EXPECT_EQ(DosDateText("", ""), std::nullopt);
}

TEST(ListingDates, EpochDateText) {
  struct Case {
    std::string seconds, date;
  };
  const Case cases[] = {
      {"825718503", "03/01/96 22:15"},
      {"824255902", "02/13/96 23:58"},
      {"0", "01/01/70 00:00"},
      {"-1", "12/31/69 23:59"},
      {"2147483647", "01/19/38 03:14"},
      {"-2147483648", "12/13/01 20:45"},
      {"2147483648", kUnreadable},
      {"-2147483649", kUnreadable},
      {"99999999999999999999", kUnreadable},
      {"12a", kUnreadable},
      {"", kUnreadable},
      {"-", kUnreadable},
      {" 5", kUnreadable},
  };
  for (const Case& c : cases) EXPECT_EQ(EpochDateText(c.seconds), c.date) << c.seconds;
}

TEST(ListingDates, HostDateTextReadsVmsAndVmLayouts) {
  struct Case {
    std::string first, second, date;
  };
  const Case cases[] = {
      {"30-DEC-1996", "17:44", "12/30/96 5:44 PM"},  // MultiNet
      {"4-NOV-2009", "05:55", "11/4/09 5:55 AM"},
      {"29-JAN-1996", "03:33:12", "1/29/96 3:33 AM"},   // UCX, seconds
      {"5-MAR-1993", "18:09:01.12", "3/5/93 6:09 PM"},  // hundredths
      {"JUN-2-1998", "07:32:04", "6/2/98 7:32 AM"},     // month first
      {"2-jun-98", "00:00:00", "6/2/98 12:00 AM"},      // small letters, two-digit year
      {"16-FEB-2009", "00:49", "2/16/09 12:49 AM"},
      {"10/21/98", "12:10:56", "10/21/98 12:10 PM"},  // VM minidisk
      {"7/24/98", "7:35:29", "7/24/98 7:35 AM"},
      {"1998-10-21", "12:10:56", "10/21/98 12:10 PM"},  // VM, ISO dates
      {"1/03/102", "10:11:12", "1/3/02 10:11 AM"},      // years since 1900
      {"12:10:56", "10/21/98", "10/21/98 12:10 PM"},    // time first (VM/VPS order)
      {"13-FED-1997", "08:13:43", kUnreadable},
      {"13/45/98", "10:00", kUnreadable},
      {"10/21/98", "25:00", kUnreadable},
      {"10/21/98", "10:6", kUnreadable},
      {"1/9", "2-JUN-1998", kUnreadable},
      {"insufficient", "privilege", kUnreadable},
      {"", "", kUnreadable},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HostDateText(c.first, c.second), c.date) << c.first << ' ' << c.second;
  }
}

TEST(ListingDates, YearTexts) {
  EXPECT_EQ(YearText(2026), "26");
  EXPECT_EQ(YearText(2105), "05");
  EXPECT_EQ(CurrentYearText().size(), 2u);
  EXPECT_EQ(&CurrentYearText(), &CurrentYearText());  // taken once
}

TEST(CalendarDays, CountsFromThe30thOfDecember1899) {
  EXPECT_EQ(DayNumberFromDate(1899, 12, 30), 0);
  EXPECT_EQ(DayNumberFromDate(1900, 3, 1), 61);  // 1900 is no leap year
  EXPECT_EQ(DayNumberFromDate(1970, 1, 1), kUnixEpochDayNumber);
  EXPECT_EQ(DayNumberFromDate(2000, 2, 29), 36585);
  for (int64_t day = -800000; day < 3000000; day += 97) {
    const CivilDate date = DateFromDayNumber(day);
    ASSERT_EQ(DayNumberFromDate(date.year, date.month, date.day), day);
  }
  const CivilDate leap = DateFromDayNumber(36585);
  EXPECT_EQ(leap.year, 2000);
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
}

}  // namespace
}  // namespace tarsil

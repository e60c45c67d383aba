#include "platform/Clock.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace tarsil {
namespace {

constexpr double kSecond = 1.0 / 86400;

TEST(ClockTest, EncodesDaysSinceTheEpochDay) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1, 0, 0, 0), 2.0);
  EXPECT_EQ(EncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
  EXPECT_EQ(EncodeDateTime(2000, 3, 1, 18, 0, 0), 36586.75);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);  // before the epoch day
}

TEST(ClockTest, DecodeRoundTrips) {
  const DateTimeParts samples[] = {
      {2001, 1, 31, 9, 5, 7, 0},  {1899, 12, 30, 0, 0, 0, 0}, {2024, 2, 29, 23, 59, 59, 999},
      {1899, 12, 29, 6, 0, 0, 0}, {1, 1, 1, 12, 0, 0, 0},     {9999, 12, 31, 23, 59, 59, 0},
      {1600, 3, 1, 0, 0, 1, 1},
  };
  for (const DateTimeParts& p : samples) {
    const DateTimeParts back = DecodeDateTime(
        EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
    EXPECT_EQ(back.year, p.year);
    EXPECT_EQ(back.month, p.month);
    EXPECT_EQ(back.day, p.day);
    EXPECT_EQ(back.hour, p.hour);
    EXPECT_EQ(back.minute, p.minute);
    EXPECT_EQ(back.second, p.second);
    EXPECT_EQ(back.millisecond, p.millisecond) << p.year;
  }
}

TEST(ClockTest, Formats) {
  const double value = EncodeDateTime(2001, 1, 31, 9, 5, 7);
  EXPECT_EQ(FormatShortDateLongTime(value), "2001/01/31 9:05:07");
  EXPECT_EQ(FormatShortDateLongTime(EncodeDateTime(1999, 12, 5, 23, 0, 0)), "1999/12/05 23:00:00");
  EXPECT_EQ(FormatDateStamp(value), "20010131");
  EXPECT_EQ(FormatDuration(90 * kSecond), "00:01:30");
  EXPECT_EQ(FormatDuration(0.0), "00:00:00");
  EXPECT_EQ(FormatDuration(1 + (3600 + 62) * kSecond), "01:01:02");  // wraps at 24 hours
  EXPECT_EQ(FormatDuration(59.9996 * kSecond), "00:01:00");  // rounded to the millisecond first
  EXPECT_EQ(FormatDuration(59.4 * kSecond), "00:00:59");
}

TEST(ClockTest, TryStrToDateTime) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const double day1 = EncodeDateTime(2001, 1, 31, 0, 0, 0);
  const Case cases[] = {
      {"00:01:30", 90 * kSecond},
      {"1:2:3", 3723 * kSecond},
      {"23:59:59", 86399 * kSecond},
      {"0:00:00", 0.0},
      {"12:30", 45000 * kSecond},
      {"  00:00:01\t ", kSecond},
      {"2001/01/31", day1},
      {"2001/1/31", day1},
      {"2001/01/31 09:05:07", EncodeDateTime(2001, 1, 31, 9, 5, 7)},
      {" 2001/01/31   9:05 ", EncodeDateTime(2001, 1, 31, 9, 5, 0)},
      {"2000/02/29", EncodeDateTime(2000, 2, 29, 0, 0, 0)},
      {"1899/12/31 01:00:00", 1 + 3600 * kSecond},
      {"1899/12/29 06:00", -1.25},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"25:00:00", std::nullopt},
      {"24:00", std::nullopt},
      {"1:60", std::nullopt},
      {"1:00:60", std::nullopt},
      {"1:2:3:4", std::nullopt},
      {"1:", std::nullopt},
      {":30", std::nullopt},
      {"100:00", std::nullopt},
      {"1:000:00", std::nullopt},
      {"-1:00", std::nullopt},
      {"10", std::nullopt},
      {"00:01:30x", std::nullopt},
      {"00:01:30 00:01", std::nullopt},
      {"2001/02/29", std::nullopt},
      {"2001/13/01", std::nullopt},
      {"2001/00/10", std::nullopt},
      {"01/01/31", std::nullopt},
      {"0000/01/01", std::nullopt},
      {"2001/01/31 25:00", std::nullopt},
      {"2001/01/31x", std::nullopt},
      {"2001/01/31 abc", std::nullopt},
      {"2001-01-31", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<double> got = TryStrToDateTime(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text << '"';
    if (got) {
      EXPECT_NEAR(*got, *c.expected, 1e-9) << '"' << c.text << '"';
    }
  }
}

// Sets TZ for one test and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST(ClockTest, NowIsLocalTime) {
  ScopedTimeZone zone("JST-9");  // nine hours east of UTC, no summer time
  const double unix_days = static_cast<double>(std::time(nullptr)) / 86400;
  const double expected = unix_days + 25569 + 9.0 / 24;  // 1970-01-01 is day 25569
  EXPECT_NEAR(Now(), expected, 3 * kSecond);
}

TEST(ClockTest, TickCountDoesNotGoBack) {
  const uint32_t first = TickCount();
  uint32_t previous = first;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = TickCount();
    EXPECT_GE(now, previous);
    previous = now;
  }
  EXPECT_LT(first, 100'000u);  // counted from this process's start
}

}  // namespace
}  // namespace tarsil

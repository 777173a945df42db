// Date serials: the calendar rules, encoding and decoding at the edges of the
// range and around serial 0, and the day of the week.
#include "rtl/Dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rtl {
namespace {

TEST(Dates, LeapYearsAndMonthLengths) {
  struct Case {
    int year;
    bool leap;
  };
  const Case cases[] = {{2012, true},  {2013, false}, {1900, false}, {2000, true},
                        {2100, false}, {2400, true},  {4, true},     {1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(IsLeapYear(c.year), c.leap);
    EXPECT_EQ(DaysInMonth(c.year, 2), c.leap ? 29 : 28);
  }
  EXPECT_EQ(DaysInMonth(2013, 1), 31);
  EXPECT_EQ(DaysInMonth(2013, 4), 30);
  EXPECT_EQ(DaysInMonth(2013, 12), 31);
  EXPECT_EQ(DaysInMonth(2013, 0), 0);
  EXPECT_EQ(DaysInMonth(2013, 13), 0);
}

TEST(Dates, ValidDates) {
  struct Case {
    const char* name;
    int year, month, day;
    bool valid;
  };
  const Case cases[] = {
      {"leap day", 2012, 2, 29, true},    {"no leap day", 2013, 2, 29, false},
      {"first date", 1, 1, 1, true},      {"last date", 9999, 12, 31, true},
      {"year 0", 0, 12, 31, false},       {"year 10000", 10000, 1, 1, false},
      {"month 0", 2012, 0, 1, false},     {"month 13", 2012, 13, 1, false},
      {"day 0", 2012, 1, 0, false},       {"April 31", 2012, 4, 31, false},
      {"negative year", -1, 1, 1, false}, {"huge year", 2000000000, 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid);
    EXPECT_EQ(EncodeDate(c.year, c.month, c.day).has_value(), c.valid);
  }
}

TEST(Dates, SerialsEncodeAndDecode) {
  struct Case {
    const char* name;
    int year, month, day;
    double serial;
  };
  const Case cases[] = {
      {"serial 0", 1899, 12, 30, 0},
      {"serial 1", 1899, 12, 31, 1},
      {"1900-01-01", 1900, 1, 1, 2},
      {"day before serial 0", 1899, 12, 29, -1},
      {"long before 1899", 1800, 1, 1, -36522},
      {"1970-01-01", 1970, 1, 1, 25569},
      {"2012-01-01", 2012, 1, 1, 40909},
      {"leap day", 2012, 2, 29, 40968},
      {"first date", 1, 1, 1, -693593},
      {"last date", 9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeDate(c.year, c.month, c.day), c.serial);
    const std::optional<DateParts> parts = DecodeDate(c.serial);
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->year, c.year);
    EXPECT_EQ(parts->month, c.month);
    EXPECT_EQ(parts->day, c.day);
  }
}

TEST(Dates, DecodeTakesTheWholePartTowardMinusInfinity) {
  const std::optional<DateParts> afternoon = DecodeDate(40909.75);
  ASSERT_TRUE(afternoon.has_value());
  EXPECT_EQ(afternoon->day, 1);
  const std::optional<DateParts> before_zero = DecodeDate(-0.25);
  ASSERT_TRUE(before_zero.has_value());
  EXPECT_EQ(before_zero->year, 1899);
  EXPECT_EQ(before_zero->day, 29);
}

TEST(Dates, DecodeRefusesSerialsOutsideTheCalendar) {
  for (double serial :
       {-693594.0, -693593.5, 2958466.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(serial);
    EXPECT_FALSE(DecodeDate(serial).has_value());
  }
}

TEST(Dates, DayOfWeek) {
  struct Case {
    const char* name;
    double serial;
    int expected;
  };
  const Case cases[] = {
      {"2012-01-01 Sunday", 40909, 1},
      {"2012-01-07 Saturday", 40915, 7},
      {"2011-01-01 Saturday", *EncodeDate(2011, 1, 1), 7},
      {"serial 0 Saturday", 0, 7},
      {"serial 1 Sunday", 1, 1},
      {"before serial 0 Friday", -1, 6},
      {"fraction before serial 0 Friday", -0.5, 6},
      {"0001-01-01 Monday", -693593, 2},
      {"9999-12-31 Friday", 2958465, 6},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DayOfWeek(c.serial), c.expected);
  }
}

TEST(Dates, CurrentDateAndTimeTexts) {
  const std::string today = TodayText();
  ASSERT_EQ(today.size(), 10u);
  EXPECT_EQ(today[4], '-');
  EXPECT_EQ(today[7], '-');
  const std::string now = NowTimeText();
  ASSERT_EQ(now.size(), 8u);
  EXPECT_EQ(now[2], ':');
  EXPECT_EQ(now[5], ':');
}

}  // namespace
}  // namespace rtl

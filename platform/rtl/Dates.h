// Date serials: days since 1899-12-30 as a double (the fraction is the time of
// day), for calendar dates 0001-01-01 .. 9999-12-31 in the proleptic Gregorian
// calendar.
#pragma once

#include <optional>
#include <string>

namespace rtl {

// Every fourth year, except centuries not divisible by 400.
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12
// Year 1..9999, month 1..12, day within the month.
bool IsValidDate(int year, int month, int day);

// nullopt when the parts form no valid date.
std::optional<double> EncodeDate(int year, int month, int day);

struct DateParts {
  int year = 0;
  int month = 0;
  int day = 0;
};
// The calendar date of a serial's whole part (toward minus infinity); nullopt
// outside 0001-01-01 .. 9999-12-31.
std::optional<DateParts> DecodeDate(double serial);

// 1 = Sunday .. 7 = Saturday, for the serial's whole part (toward minus
// infinity); 0 for a serial that is not finite or beyond +-1E15 days.
int DayOfWeek(double serial);

// Today's date as "yyyy-mm-dd" and the current time as "hh:mm:ss" (local time).
std::string TodayText();
std::string NowTimeText();

}  // namespace rtl

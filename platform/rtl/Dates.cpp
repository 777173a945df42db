// Date serials over the proleptic Gregorian calendar of <chrono>: serial 0 is
// 1899-12-30, which lies 25569 days before the system clock's epoch 1970-01-01.
#include "rtl/Dates.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace rtl {
namespace {

namespace chr = std::chrono;

constexpr long kEpochSerial = 25569;    // 1970-01-01
constexpr long kFirstSerial = -693593;  // 0001-01-01
constexpr long kLastSerial = 2958465;   // 9999-12-31

chr::year_month_day Ymd(int year, int month, int day) {
  return chr::year_month_day{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                             chr::day{static_cast<unsigned>(day)}};
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

}  // namespace

// By hand rather than through std::chrono::year, which holds only -32767..32767.
bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

std::optional<double> EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) return std::nullopt;
  const chr::sys_days days{Ymd(year, month, day)};
  return static_cast<double>(days.time_since_epoch().count() + kEpochSerial);
}

std::optional<DateParts> DecodeDate(double serial) {
  if (!std::isfinite(serial)) return std::nullopt;
  const double whole = std::floor(serial);
  if (whole < kFirstSerial || whole > kLastSerial) return std::nullopt;
  const chr::sys_days days{chr::days{static_cast<long>(whole) - kEpochSerial}};
  const chr::year_month_day ymd{days};
  return DateParts{static_cast<int>(ymd.year()),
                   static_cast<int>(static_cast<unsigned>(ymd.month())),
                   static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

int DayOfWeek(double serial) {
  if (!std::isfinite(serial) || std::fabs(serial) > 1e15) return 0;
  // Serial 1, 1899-12-31, was a Sunday.
  const long day = static_cast<long>(std::floor(serial)) - 1;
  return static_cast<int>(((day % 7) + 7) % 7) + 1;
}

std::string TodayText() {
  const std::tm now = LocalNow();
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday);
  return text;
}

std::string NowTimeText() {
  const std::tm now = LocalNow();
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
  return text;
}

}  // namespace rtl

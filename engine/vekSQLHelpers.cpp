// Free routines of the engine: position search, writing a new file, the sound
// code, Easter Sunday, "yyyy-mm-dd" dates and week numbers. Dates are the
// run-time library's serials, whose whole part (toward zero) is the day.
#include "engine/vekSQLHelpers.h"

#include <cmath>
#include <cstdio>

#include "rtl/Dates.h"
#include "rtl/FileAccess.h"
#include "rtl/Numbers.h"

namespace vek {
namespace {

// The sound digit of a character from "A" to "z"; the six characters between
// "Z" and "a" count as vowels. -1 for every other character.
int SoundDigit(unsigned char c) {
  // Digits of A..Z; the lower-case letters share them.
  static constexpr char kDigits[] = "01230120022455012623010202";
  if (c >= 'A' && c <= 'Z') return kDigits[c - 'A'] - '0';
  if (c >= 'a' && c <= 'z') return kDigits[c - 'a'] - '0';
  if (c > 'Z' && c < 'a') return 0;
  return -1;
}

// The calendar date of a serial's day: the whole part toward zero, so that
// -1.25 (six in the morning of 1899-12-29) is still that day.
std::optional<rtl::DateParts> DayOf(double date) { return rtl::DecodeDate(std::trunc(date)); }

}  // namespace

int PosEx(std::string_view sub, std::string_view s, int from) {
  if (sub.empty() || from < 1 || static_cast<std::size_t>(from) > s.size()) return 0;
  const std::size_t found = s.find(sub, static_cast<std::size_t>(from) - 1);
  return found == std::string_view::npos ? 0 : static_cast<int>(found) + 1;
}

Status SaveStringToFile(const std::string& file_name, std::string_view text) {
  std::string error;
  if (!rtl::CreateNewFile(file_name, text, error)) return Status::Error(std::move(error));
  return Status::OK();
}

std::int32_t Soundex(std::string_view text) {
  if (text.empty()) return 0;
  unsigned char first = static_cast<unsigned char>(text[0]);
  if (first >= 'a' && first <= 'z') first = static_cast<unsigned char>(first - 'a' + 'A');
  std::int32_t result = first;
  std::int32_t multiplier = 26;
  int previous = 0;
  int counted = 0;
  for (std::size_t i = 1; i < text.size() && counted < 3; ++i) {
    const int digit = SoundDigit(static_cast<unsigned char>(text[i]));
    // A vowel does not reset `previous`: in Tymczak the k after the a repeats
    // the 2 of the z and is skipped.
    if (digit <= 0 || digit == previous) continue;
    result += digit * multiplier;
    previous = digit;
    multiplier *= 6;
    ++counted;
  }
  return result;
}

std::optional<double> EasterDate(int year) {
  if (year < 1 || year > 9999) return std::nullopt;
  const int g = year % 19 + 1;
  const int c = year / 100 + 1;
  const int x = (3 * c) / 4 - 12;
  const int z = (8 * c + 5) / 25 - 5;
  const int d = (5 * year) / 4 - x - 10;
  int e = (11 * g + 20 + z - x) % 30;
  if (e < 0) e += 30;
  if ((e == 25 && g > 11) || e == 24) ++e;
  int n = 44 - e;
  if (n < 21) n += 30;
  n = n + 7 - ((d + n) % 7);
  if (n > 31) return rtl::EncodeDate(year, 4, n - 31);
  return rtl::EncodeDate(year, 3, n);
}

std::string DateToISO(double date) {
  const std::optional<rtl::DateParts> parts = DayOf(date);
  if (!parts) return {};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parts->year, parts->month, parts->day);
  return buffer;
}

std::optional<std::int64_t> DatePart(std::string_view text, int first_byte, int length) {
  if (first_byte < 1 || length < 1 || static_cast<std::size_t>(first_byte) > text.size()) {
    return std::nullopt;
  }
  // Like a substring copy: a part cut short by the end of the text is read as
  // far as it goes ("2012-03-4" has the day 4).
  return rtl::TextToInt64(
      text.substr(static_cast<std::size_t>(first_byte) - 1, static_cast<std::size_t>(length)));
}

std::optional<double> ISOToDate(std::string_view text) {
  const std::optional<std::int64_t> year = DatePart(text, 1, 4);
  const std::optional<std::int64_t> month = DatePart(text, 6, 2);
  const std::optional<std::int64_t> day = DatePart(text, 9, 2);
  if (!year || !month || !day) return std::nullopt;
  // Four bytes and two bytes cannot overflow an int, save for hexadecimal forms
  // such as "$FFFF"; anything outside the calendar is no date.
  if (*year < 1 || *year > 9999 || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
    return std::nullopt;
  }
  return rtl::EncodeDate(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day));
}

int WeekNumber(double date) {
  const std::optional<rtl::DateParts> parts = DayOf(date);
  if (!parts) return 0;
  const double day = std::trunc(date);
  const double january_first = *rtl::EncodeDate(parts->year, 1, 1);
  // The Sunday on or before January 1st, and the Sunday that starts week 2.
  const double first_sunday = january_first - rtl::DayOfWeek(january_first) + 1;
  const double second_week = first_sunday + 7;
  if (day < second_week) return 1;
  const double sunday = day - rtl::DayOfWeek(day) + 1;
  return static_cast<int>(sunday - second_week) / 7 + 2;
}

}  // namespace vek

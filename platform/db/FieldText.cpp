// Texts of field values that the run-time library does not provide: date
// serials as ISO dates and times, and the float display format.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "db/Field.h"
#include "rtl/Dates.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace db {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::string TwoDigits(std::int64_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", static_cast<int>(value));
  return text;
}

std::string TimeText(std::int64_t seconds) {
  return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
         TwoDigits(seconds % 60);
}

// Reads an unsigned number of 1 to `max_digits` digits at `pos`.
bool ReadNumber(std::string_view text, std::size_t& pos, int max_digits, int& value) {
  std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
         pos - start < static_cast<std::size_t>(max_digits)) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

bool ReadTime(std::string_view text, std::size_t& pos, double& fraction) {
  int hours = 0, minutes = 0, seconds = 0;
  if (!ReadNumber(text, pos, 2, hours) || pos >= text.size() || text[pos] != ':') return false;
  ++pos;
  if (!ReadNumber(text, pos, 2, minutes)) return false;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadNumber(text, pos, 2, seconds)) return false;
  }
  if (hours > 23 || minutes > 59 || seconds > 59) return false;
  fraction = static_cast<double>(hours * 3600 + minutes * 60 + seconds) / kSecondsPerDay;
  return true;
}

}  // namespace

std::string DateTimeToText(FieldType type, double serial) {
  if (!std::isfinite(serial) || std::fabs(serial) > 1e7) return rtl::FloatToText(serial);
  auto total = static_cast<std::int64_t>(std::llround(serial * kSecondsPerDay));
  std::int64_t day = total / kSecondsPerDay;
  std::int64_t seconds = total % kSecondsPerDay;
  if (seconds < 0) {
    seconds += kSecondsPerDay;
    --day;
  }
  if (type == FieldType::ftTime) return TimeText(seconds);
  auto parts = rtl::DecodeDate(static_cast<double>(day));
  if (!parts) return rtl::FloatToText(serial);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", parts->year, parts->month, parts->day);
  std::string text = date;
  if (type != FieldType::ftDate && seconds != 0) text += " " + TimeText(seconds);
  return text;
}

bool ParseDateTimeText(std::string_view text, double& serial) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::size_t pos = 0;
  double fraction = 0.0;
  if (text.find('-') == std::string_view::npos) {
    if (!ReadTime(text, pos, fraction) || pos != text.size()) return false;
    serial = fraction;
    return true;
  }
  int year = 0, month = 0, day = 0;
  if (!ReadNumber(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-' ||
      !ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-' ||
      !ReadNumber(text, pos, 2, day)) {
    return false;
  }
  auto date = rtl::EncodeDate(year, month, day);
  if (!date) return false;
  if (pos < text.size()) {
    if (text[pos++] != ' ' || !ReadTime(text, pos, fraction) || pos != text.size()) return false;
  }
  // Before 1899-12-30 the serial is negative and its fraction still counts forward.
  serial = *date >= 0 ? *date + fraction : *date - fraction;
  return true;
}

std::string FormatFloat(std::string_view format, double value) {
  if (format.empty()) return rtl::FloatToText(value);
  // Split into sections at ";" outside quotes.
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  char quote = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(format.substr(start));

  std::string_view section = sections[0];
  bool write_sign = value < 0;
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
    section = sections[1];
    write_sign = false;
  }

  // Read the section: literal prefix, placeholders, literal suffix.
  std::string prefix, suffix;
  int int_zeros = 0, frac_zeros = 0, frac_digits = 0;
  bool seen_placeholder = false, seen_point = false, group = false;
  quote = 0;
  for (char c : section) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        (seen_placeholder ? suffix : prefix) += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (!suffix.empty()) continue;  // placeholders after trailing text are not used
      seen_placeholder = true;
      if (seen_point) {
        ++frac_digits;
        if (c == '0') frac_zeros = frac_digits;
      } else if (c == '0') {
        ++int_zeros;
      }
    } else if (c == '.' && suffix.empty()) {
      seen_placeholder = true;
      seen_point = true;
    } else if (c == ',' && suffix.empty() && seen_placeholder) {
      group = true;
    } else {
      (seen_placeholder ? suffix : prefix) += c;
    }
  }
  if (!seen_placeholder) return prefix;

  char digits[400];
  std::snprintf(digits, sizeof digits, "%.*f", frac_digits, std::fabs(value));
  std::string number = digits;
  std::string int_part = number.substr(0, number.find('.'));
  std::string frac_part =
      number.find('.') == std::string::npos ? "" : number.substr(number.find('.') + 1);
  while (static_cast<int>(frac_part.size()) > frac_zeros && frac_part.back() == '0') {
    frac_part.pop_back();
  }
  if (int_part == "0") int_part.clear();
  while (static_cast<int>(int_part.size()) < int_zeros) int_part.insert(0, "0");

  // A zero value takes the third section, when given, as it stands.
  bool is_zero = int_part.find_first_not_of('0') == std::string::npos &&
                 frac_part.find_first_not_of('0') == std::string::npos;
  if (is_zero && sections.size() > 2) return FormatFloat(sections[2], 0.0);

  std::string grouped;
  if (group) {
    for (std::size_t i = 0; i < int_part.size(); ++i) {
      if (i > 0 && (int_part.size() - i) % 3 == 0) grouped += rtl::ThousandSeparator();
      grouped += int_part[i];
    }
  } else {
    grouped = int_part;
  }
  std::string out = prefix;
  if (write_sign && !is_zero) out += '-';
  out += grouped;
  if (!frac_part.empty()) {
    out += rtl::DecimalSeparator();
    out += frac_part;
  }
  out += suffix;
  return out;
}

}  // namespace db

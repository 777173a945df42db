// Number readings and the general number format. The readings validate the
// syntax by hand and leave the conversion to std::from_chars, which follows no
// locale (short plain numbers take one exact operation that gives the same
// double); the writer takes the shortest digits from std::to_chars.
#include "rtl/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "rtl/DecimalDigits.h"
#include "rtl/Separators.h"

namespace rtl {
namespace {

constexpr std::size_t kMaxNumberText = 255;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view SkipSpacesAndTabs(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return text.substr(i);
}

// Reads exactly [sign]digits[.digits][(e|E)[sign]digits], at least one mantissa
// digit, nothing before or after.
std::optional<double> ReadDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const char* const number = p;
  // Decimal position of the first non-zero digit, to tell an overflow from an
  // underflow when from_chars finds the value out of range.
  long magnitude = 0;
  bool seen_nonzero = false;
  int digits = 0;
  // The digits as a whole number while they fit, and how many follow the point.
  std::uint64_t mantissa = 0;
  int fraction_digits = 0;
  for (; p < end && IsDigit(*p); ++p, ++digits) {
    if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    if (seen_nonzero) {
      ++magnitude;
    } else if (*p != '0') {
      seen_nonzero = true;
    }
  }
  if (p < end && *p == '.') {
    for (++p; p < end && IsDigit(*p); ++p, ++digits, ++fraction_digits) {
      if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      if (!seen_nonzero) {
        --magnitude;
        if (*p != '0') seen_nonzero = true;
      }
    }
  }
  if (digits == 0) return std::nullopt;
  long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool exponent_negative = false;
    if (p < end && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
    if (p == end || !IsDigit(*p)) return std::nullopt;
    for (; p < end && IsDigit(*p); ++p) {
      if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (p != end) return std::nullopt;

  // A whole number of at most 2^53 and a power of ten of at most 10^22 are
  // both exact doubles, and one multiplication or division of them is rounded
  // once: the nearest double, as from_chars gives, without its general search.
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const long scale = exponent - fraction_digits;
  if (digits <= 19 && mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
    const double whole = static_cast<double>(mantissa);
    const double value = scale < 0 ? whole / kPowersOfTen[-scale] : whole * kPowersOfTen[scale];
    return negative ? -value : value;
  }

  double value = 0;
  const std::from_chars_result r = std::from_chars(number, end, value);
  if (r.ec == std::errc::result_out_of_range) {
    if (magnitude + exponent > 0) return std::nullopt;  // beyond the floating range
    value = 0;                                          // too small: zero
  } else if (r.ec != std::errc() || r.ptr != end) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

}  // namespace

std::optional<double> ParsePlainFloat(std::string_view text) {
  return ReadDecimal(SkipSpacesAndTabs(text));
}

std::optional<double> TextToFloat(std::string_view text) {
  if (text.size() > kMaxNumberText) return std::nullopt;
  const char decimal = DecimalSeparator();
  const char thousand = ThousandSeparator();
  if (decimal == '.' && std::memchr(text.data(), thousand, text.size()) == nullptr) {
    return ParsePlainFloat(text);
  }
  char buffer[kMaxNumberText];
  std::size_t n = 0;
  for (char c : text) {
    if (c == thousand) continue;
    buffer[n++] = c == decimal ? '.' : c;
  }
  return ParsePlainFloat(std::string_view(buffer, n));
}

std::optional<double> StrictTextToFloat(std::string_view text) {
  const char decimal = DecimalSeparator();
  const char thousand = ThousandSeparator();
  if (thousand != decimal && std::memchr(text.data(), thousand, text.size()) != nullptr) {
    return std::nullopt;
  }
  auto strip = [](std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return s;
  };
  if (decimal == '.') return ReadDecimal(strip(text));
  if (std::memchr(text.data(), '.', text.size()) != nullptr) return std::nullopt;
  const std::size_t at = text.find(decimal);
  if (at == std::string_view::npos) return ReadDecimal(strip(text));
  // Only one byte changes; long texts cannot be numbers of interest but must
  // still be read, so they get a heap copy.
  char small[kMaxNumberText];
  std::string large;
  char* copy = small;
  if (text.size() > sizeof small) {
    large.assign(text);
    copy = large.data();
  } else {
    std::memcpy(small, text.data(), text.size());
  }
  copy[at] = '.';
  return ReadDecimal(strip(std::string_view(copy, text.size())));
}

std::optional<std::int64_t> TextToInt64(std::string_view text) {
  text = SkipSpacesAndTabs(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '%') {
    base = 2;
    ++i;
  } else if (i < text.size() && text[i] == '&') {
    base = 8;
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Decimal digits must fit the signed range; the other bases give a 64-bit
  // pattern, so "$FFFFFFFFFFFFFFFF" is -1.
  const std::uint64_t limit =
      base != 10 ? std::numeric_limits<std::uint64_t>::max()
                 : (negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1);
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit >= base) return std::nullopt;
    if (value > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
      return std::nullopt;
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

std::optional<bool> TextToBool(std::string_view text) {
  if (const std::optional<double> number = ParsePlainFloat(text)) return *number != 0;
  auto same = [text](std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != word[i]) return false;
    }
    return true;
  };
  if (same("TRUE")) return true;
  if (same("FALSE")) return false;
  return std::nullopt;
}

std::optional<std::int64_t> FloatToInt64(double value) {
  if (std::isnan(value)) return std::nullopt;
  // Rounded on the magnitude: floor of a negative value would make the tie test
  // inexact (-0.49999999999999994 + 1 rounds to 0.5).
  const double magnitude = std::fabs(value);
  const double whole = std::floor(magnitude);
  const double fraction = magnitude - whole;
  double rounded = whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) rounded = whole + 1;
  if (value < 0) rounded = -rounded;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (!(rounded >= -kTwoTo63 && rounded < kTwoTo63)) return std::nullopt;
  return static_cast<std::int64_t>(rounded);
}

void AppendFloatText(double value, std::string& out) {
  if (const char* text = detail::NonFiniteText(value)) {
    out += text;
    return;
  }
  if (value == 0) {
    out += '0';
    return;
  }
  constexpr int kSignificant = 15;
  detail::DecimalDigits d;
  const double magnitude = std::fabs(value);
  // For a normal double the shortest digits that read back, when there are at
  // most 15 of them, are its 15-digit rounding: the binary spacing is finer than
  // the decimal one. Subnormals are coarser (5E-324 reads back but is really
  // 4.94065645841247E-324).
  if (magnitude >= std::numeric_limits<double>::min()) detail::ShortestDigits(magnitude, d);
  if (magnitude < std::numeric_limits<double>::min() || d.count > kSignificant) {
    detail::RoundToSignificant(magnitude, kSignificant, d);
  }
  if (value < 0) out += '-';
  detail::AppendGeneral(d, kSignificant, DecimalSeparator(), out);
}

double ThroughGeneralText(double value) {
  if (!std::isfinite(value)) return 0.0;
  if (value == 0) return 0.0;
  constexpr int kSignificant = 15;
  detail::DecimalDigits d;
  const double magnitude = std::fabs(value);
  if (magnitude >= std::numeric_limits<double>::min()) detail::ShortestDigits(magnitude, d);
  // Shortest digits within 15 read back as the value itself.
  if (magnitude >= std::numeric_limits<double>::min() && d.count <= kSignificant) return value;
  detail::RoundToSignificant(magnitude, kSignificant, d);
  char buffer[48];
  char* p = buffer;
  if (value < 0) *p++ = '-';
  for (int i = 0; i < d.count; ++i) *p++ = d.digits[i];
  *p++ = 'e';
  p = std::to_chars(p, buffer + sizeof buffer, d.exponent - (d.count - 1)).ptr;
  double back = 0.0;
  std::from_chars(buffer, p, back);
  return back;
}

std::string FloatToText(double value) {
  std::string text;
  AppendFloatText(value, text);
  return text;
}

void AppendIntText(std::int64_t value, std::string& out) {
  char buffer[24];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

std::string IntToText(std::int64_t value) {
  std::string text;
  AppendIntText(value, text);
  return text;
}

}  // namespace rtl

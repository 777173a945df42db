// Rounding a double to decimal digits half away from zero. std::to_chars rounds
// exact ties to even, so it is asked for three guard digits beyond the rounding
// position; only when they read "500" can the tie direction be wrong, and then
// the exact expansion decides.
#include "rtl/DecimalDigits.h"

#include <charconv>
#include <cmath>

namespace rtl::detail {
namespace {

// Enough precision for the exact expansion of any double.
constexpr int kExactPrecision = 770;

// Parses to_chars' scientific output "d[.ddd]e(+|-)xx" of a positive value.
void ParseScientific(const char* first, const char* last, DecimalDigits& out) {
  out.count = 0;
  const char* p = first;
  for (; p < last && *p != 'e'; ++p) {
    if (*p != '.') out.digits[out.count++] = *p;
  }
  ++p;  // 'e'
  const bool negative = *p == '-';
  ++p;
  int exponent = 0;
  for (; p < last; ++p) exponent = exponent * 10 + (*p - '0');
  out.exponent = negative ? -exponent : exponent;
}

// `significant` digits (>= 1), rounded by to_chars.
void ToScientific(double abs_value, int significant, DecimalDigits& out) {
  char buffer[kExactPrecision + 16];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, abs_value,
                                               std::chars_format::scientific, significant - 1);
  ParseScientific(buffer, r.ptr, out);
}

// Keeps `raw`'s digits before index `keep` and rounds on the ones after. Returns
// false when `raw` is rounded itself and its guard digits cannot tell the tie.
bool RoundRaw(const DecimalDigits& raw, bool raw_exact, int keep, bool fixed, DecimalDigits& out) {
  out.exponent = raw.exponent;
  if (keep < 0) {
    out.count = 0;
    return true;
  }
  auto digit_at = [&raw](int i) { return i < raw.count ? raw.digits[i] - '0' : 0; };
  bool up;
  if (raw_exact) {
    up = digit_at(keep) >= 5;
  } else {
    const int guard = digit_at(keep) * 100 + digit_at(keep + 1) * 10 + digit_at(keep + 2);
    if (guard == 500) return false;
    up = guard > 500;
  }
  for (int i = 0; i < keep; ++i) out.digits[i] = i < raw.count ? raw.digits[i] : '0';
  out.count = keep;
  if (!up) {
    if (keep == 0) out.count = 0;
    return true;
  }
  int i = keep - 1;
  while (i >= 0 && out.digits[i] == '9') out.digits[i--] = '0';
  if (i >= 0) {
    ++out.digits[i];
    return true;
  }
  // Every kept digit was 9 (or none was kept): the value grows a digit, 1000...
  out.digits[0] = '1';
  for (int j = 1; j <= keep; ++j) out.digits[j] = '0';
  ++out.exponent;
  // A fixed count of decimals keeps every digit; a count of significant ones drops one.
  out.count = fixed ? keep + 1 : (keep == 0 ? 1 : keep);
  return true;
}

void Round(double abs_value, bool fixed, int n, DecimalDigits& out) {
  if (abs_value == 0) {
    out.count = 0;
    out.exponent = 0;
    return;
  }
  int wanted = n;
  if (fixed) {
    // The shortest form's exponent is the exact one or one above it.
    DecimalDigits shortest;
    ShortestDigits(abs_value, shortest);
    wanted = shortest.exponent + 1 + n;
    if (wanted < 0) wanted = 0;
  }
  DecimalDigits raw;
  ToScientific(abs_value, wanted + 3, raw);
  if (RoundRaw(raw, false, fixed ? raw.exponent + 1 + n : n, fixed, out)) return;
  ToScientific(abs_value, kExactPrecision, raw);
  RoundRaw(raw, true, fixed ? raw.exponent + 1 + n : n, fixed, out);
}

}  // namespace

void ShortestDigits(double abs_value, DecimalDigits& out) {
  if (abs_value == 0) {
    out.count = 0;
    out.exponent = 0;
    return;
  }
  char buffer[40];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, abs_value, std::chars_format::scientific);
  ParseScientific(buffer, r.ptr, out);
}

void RoundToSignificant(double abs_value, int significant, DecimalDigits& out) {
  Round(abs_value, false, significant, out);
}

void RoundToDecimals(double abs_value, int decimals, DecimalDigits& out) {
  Round(abs_value, true, decimals, out);
}

const char* NonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return nullptr;
}

void AppendGeneral(const DecimalDigits& d, int precision, char decimal, std::string& out) {
  int count = d.count;
  while (count > 1 && d.digits[count - 1] == '0') --count;
  const int x = d.exponent;
  if (x >= precision || x < -4) {
    out += d.digits[0];
    if (count > 1) {
      out += decimal;
      out.append(d.digits + 1, static_cast<std::size_t>(count - 1));
    }
    out += 'E';
    if (x < 0) out += '-';
    char exponent[8];
    const std::to_chars_result r =
        std::to_chars(exponent, exponent + sizeof exponent, x < 0 ? -x : x);
    out.append(exponent, r.ptr);
  } else if (x < 0) {
    out += '0';
    out += decimal;
    out.append(static_cast<std::size_t>(-x - 1), '0');
    out.append(d.digits, static_cast<std::size_t>(count));
  } else if (x + 1 >= count) {
    out.append(d.digits, static_cast<std::size_t>(count));
    out.append(static_cast<std::size_t>(x + 1 - count), '0');
  } else {
    out.append(d.digits, static_cast<std::size_t>(x + 1));
    out += decimal;
    out.append(d.digits + x + 1, static_cast<std::size_t>(count - x - 1));
  }
}

}  // namespace rtl::detail

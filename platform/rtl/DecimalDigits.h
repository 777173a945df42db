// Decimal digits of a double, for the number writers (general format and the
// format routine's e, f, g, n, m). Internal to the run-time library.
#pragma once

#include <string>

namespace rtl::detail {

// value = d[0].d[1]d[2]... x 10^exponent; no digits (count 0) means zero. The
// first digit is never '0'. Room for the longest exact expansion of a double
// (767 significant digits).
struct DecimalDigits {
  char digits[800];
  int count = 0;
  int exponent = 0;
};

// The shortest digits that read back as `abs_value` (finite, >= 0).
void ShortestDigits(double abs_value, DecimalDigits& out);

// `abs_value` (finite, >= 0) rounded half away from zero on its exact binary value:
// 0.125 to two decimals is 0.13, while 2.675 (really 2.67499999...) is 2.67.
// RoundToSignificant gives exactly `significant` (>= 1) digits, trailing zeros
// included; RoundToDecimals gives every digit down to 10^-decimals (decimals >= 0),
// so count = exponent + 1 + decimals, or no digits when the value rounds to zero.
void RoundToSignificant(double abs_value, int significant, DecimalDigits& out);
void RoundToDecimals(double abs_value, int decimals, DecimalDigits& out);

// "NAN", "INF" or "-INF"; nullptr for a finite value.
const char* NonFiniteText(double value);

// Appends non-zero digits in the general layout, trailing zeros dropped: plain
// when -4 <= exponent < precision (1234.5, 0.00012), else mantissa "E" exponent
// with a "-" only when negative (1.5E20, 1.5E-7). No sign.
void AppendGeneral(const DecimalDigits& d, int precision, char decimal, std::string& out);

}  // namespace rtl::detail

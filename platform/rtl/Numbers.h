// Reading texts as numbers and writing numbers as texts. Every reading is done by
// hand over std::from_chars: never strtod/strtol, which follow the C locale and
// accept "inf", "nan" and hexadecimal floats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {

// Text read as a number under the process-wide separators: at most 255 characters;
// every thousand separator is removed (first, so when both separators are the
// same character it is removed) and every decimal separator becomes ".";
// what remains must be [spaces/tabs][sign]digits[.digits][(e|E)[sign]digits]
// with at least one digit in the mantissa and nothing after it.
// Returns nullopt on failure (empty text, trailing blank, "nan", "inf", "0x1p3",
// a value beyond the floating range such as "1e400"); "1e-400" reads as 0.
// Allocates nothing.
std::optional<double> TextToFloat(std::string_view text);

// The plain "." syntax above, without any separator processing or length limit:
// SQL number literals and the number step of the truth-value reading.
std::optional<double> ParsePlainFloat(std::string_view text);

// Strict reading: fails when the thousand separator (if it differs from the
// decimal one) occurs anywhere, or when the decimal separator is not "." and the
// text holds a "."; the first decimal separator becomes "."; leading and trailing
// characters with codes up to 32 are stripped; then [sign]digits[.digits][exp].
// nullopt on failure.
std::optional<double> StrictTextToFloat(std::string_view text);

// Text read as a whole number: [spaces/tabs][sign] then decimal digits, or
// hexadecimal after "$" or "0x"/"0X", binary after "%", octal after "&";
// nothing after. Decimal digits must fit the signed 64-bit range; the other
// bases may use all 64 bits, read as two's complement ("$FFFFFFFFFFFFFFFF" is
// -1). nullopt on failure.
std::optional<std::int64_t> TextToInt64(std::string_view text);

// Text read as a truth value: first read as a plain "." number (true when not 0),
// else "TRUE"/"FALSE" in any letter case. nullopt for anything else, the empty
// text included.
std::optional<bool> TextToBool(std::string_view text);

// A floating number rounded to the nearest whole number, ties to even (2.5 is 2,
// 3.5 is 4); nullopt when it is NaN or outside the 64-bit range.
std::optional<std::int64_t> FloatToInt64(double value);

// General format: at most 15 significant digits, no trailing zeros, no thousand
// separators, the process-wide decimal separator. Magnitudes from 1E15 up and
// below 1E-4 use the exponent form mantissa + "E" + exponent, with a "-" only
// when negative: 1E15, 1.5E20, 1.5E-7. Zero (also -0) is "0". A value with more
// than 15 significant digits is rounded half away from zero on its exact binary
// value. Infinity is "INF" or "-INF", an undefined number "NAN".
std::string FloatToText(double value);

// The number that FloatToText's text of `value` reads back as (15 significant
// digits, ties away from zero), without building the text; 0 for an infinite
// or undefined value, whose texts read as no number.
double ThroughGeneralText(double value);
// The same text appended to `out`, for writers that reuse one buffer.
void AppendFloatText(double value, std::string& out);

std::string IntToText(std::int64_t value);
void AppendIntText(std::int64_t value, std::string& out);

inline const char* BoolToText(bool value) { return value ? "True" : "False"; }

}  // namespace rtl

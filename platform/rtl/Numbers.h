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
// every thousand separator is removed and every decimal separator becomes ".";
// what remains must be [spaces/tabs][sign]digits[.digits][(e|E)[sign]digits]
// with at least one digit in the mantissa and nothing after it.
// Returns nullopt on failure (empty text, trailing blank, "nan", "inf", "0x1p3").
std::optional<double> TextToFloat(std::string_view text);

// The plain "." syntax above, without any separator processing: SQL number
// literals and the number step of the truth-value reading.
std::optional<double> ParsePlainFloat(std::string_view text);

// Strict reading: fails when the thousand separator (if it differs from the
// decimal one) occurs anywhere, or when the decimal separator is not "." and the
// text holds a "."; the first decimal separator becomes "."; leading and trailing
// characters with codes up to 32 are stripped; then [sign]digits[.digits][exp].
std::optional<double> StrictTextToFloat(std::string_view text);

// Text read as a whole number: [spaces/tabs][sign] then decimal digits, or
// hexadecimal after "$" or "0x"/"0X", binary after "%", octal after "&";
// nothing after; must fit 64 bits. nullopt on failure.
std::optional<std::int64_t> TextToInt64(std::string_view text);

// Text read as a truth value: upper-cased, first read as a plain "." number (true
// when not 0), else "TRUE"/"FALSE" in any case. nullopt for anything else,
// the empty text included.
std::optional<bool> TextToBool(std::string_view text);

// A floating number rounded to the nearest whole number, ties to even; nullopt
// when it is NaN or outside the 64-bit range.
std::optional<std::int64_t> FloatToInt64(double value);

// General format: at most 15 significant digits, no trailing zeros, no thousand
// separators, the process-wide decimal separator. Magnitudes from 1E15 up and
// below 1E-4 use the exponent form mantissa + "E" + signed-less exponent with a
// "-" only when negative: 1E15, 1.5E20, 1.5E-7. Infinity is "INF" or "-INF",
// an undefined number "NAN".
std::string FloatToText(double value);

std::string IntToText(std::int64_t value);

inline const char* BoolToText(bool value) { return value ? "True" : "False"; }

}  // namespace rtl

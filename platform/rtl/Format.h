// The one-argument format routine: literal text with directives
//   "%" [index ":"] ["-"] [width] ["." precision] type
// applied to one argument. "%%" writes one "%". Numbers use the process-wide
// separators. Width pads with blanks on the left ("-": on the right); widths and
// lengths count bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {

enum class FormatArgKind { kInt, kFloat, kText };

struct FormatArg {
  FormatArgKind kind;
  std::int64_t i = 0;
  double f = 0.0;
  std::string_view s;
};

// Every directive of `format` is applied to the one argument. The types, in lower
// case only:
//   d  whole number in decimal; precision = minimum digits, zero-padded after
//      the sign ("%.5d" of -42 is "-00042")
//   u  the whole number's 64 bits as an unsigned number (-1 is 18446744073709551615)
//   x  the whole number's 64 bits in upper-case hexadecimal; precision = minimum
//      digits (-1 is "FFFFFFFFFFFFFFFF")
//   e  scientific "-d.ddd...E+ddd" (at least three exponent digits); precision =
//      significant digits, 15 when absent, 1..17
//   f  fixed; precision = decimals, 2 when absent, at most 18
//   g  general (as FloatToText); precision = significant digits, 15 when absent,
//      1..17; trailing zeros dropped; exponent form "1.5E20" when the exponent
//      is at least the precision or below -4
//   n  as f with thousand separators
//   m  money: as n, with the decimals (when no precision is given) and the
//      currency symbol from localeconv(): the symbol before the amount when
//      p_cs_precedes is 1, else after it, with a blank between when
//      p_sep_by_space is 1; a negative amount gets a leading "-"
//   s  text; precision = maximum length
// A whole-number argument suits d u x and also e f g n m (as a float); a float
// argument suits e f g n m only; a text suits s only. Floats are rounded half away
// from zero on their exact binary value: "%.2f" of 0.125 is "0.13", of 2.675
// (really 2.67499999...) "2.67"; a value that rounds to zero has no sign. An
// infinite or undefined float writes "INF", "-INF" or "NAN".
// Returns nullopt when a directive is malformed or refused: a type that does not
// suit the argument, an unknown or upper-case type, an index other than 0 (there
// is one argument), "*" for the index, width or precision, a "." without digits,
// a width or precision above 65535, a "%" at the end.
std::optional<std::string> Format(std::string_view format, const FormatArg& arg);

// The type character of the first directive ("%%" skipped), or '\0' when the
// format holds no directive or its first directive is malformed. Lets callers
// choose how to pass the value.
char FirstDirectiveType(std::string_view format);

}  // namespace rtl

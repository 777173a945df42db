// The one-argument format routine: literal text with directives
//   "%" [index ":"] ["-"] [width] ["." precision] type
// where width and precision may be "*" (taken as the argument itself is not
// possible with one argument, so "*" refuses) and type is one of
//   d u x  (whole numbers; precision = minimum digits, x in upper case)
//   e f g n m  (numbers: scientific, fixed, general, fixed with thousand
//              separators, money from the locale's currency settings)
//   s  (text; precision = maximum length)
// "%%" writes one "%". Numbers use the process-wide separators.
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

// Every directive of `format` is applied to the one argument. Returns nullopt when
// a directive is malformed or does not suit the argument's kind (a text for "%d",
// a number for "%s", any argument for a second directive with another type).
std::optional<std::string> Format(std::string_view format, const FormatArg& arg);

// The type character of the first directive ("%%" skipped), or '\0' when the
// format holds no complete directive. Lets callers choose how to pass the value.
char FirstDirectiveType(std::string_view format);

}  // namespace rtl

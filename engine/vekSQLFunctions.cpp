// The built-in functions of the expression language: text (lower, left, replace
// ...), numbers (sqr, ceil, format, fix ...) and dates written as "yyyy-mm-dd"
// (dateadd, year, easter, weeknumber ...). Each either fails the expression,
// returns a fixed value for bad input, or cannot fail; see RunFunction.
#include "engine/vekSQLFunctions.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/vekSQLHelpers.h"
#include "engine/vekSQLOperators.h"
#include "rtl/Dates.h"
#include "rtl/Format.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"
#include "rtl/Text.h"

namespace vek {

namespace {

using rtl::Variant;

// Texts of arguments that are not texts already (a number given to left()).
struct Scratch {
  std::string text[3];
};

Scratch& Buffers() {
  thread_local Scratch scratch;
  return scratch;
}

std::string_view TextArg(const Variant* args, int i) {
  return ValueTextView(args[i], Buffers().text[i]);
}

// Whole numbers that cannot be 64-bit values fail the expression (ceil, floor).
bool SetWholeOfFloat(double x, Variant& out) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(x >= -kLimit && x < kLimit)) return false;
  out.SetInt(static_cast<std::int64_t>(x));
  return true;
}

// ---- Dates ------------------------------------------------------------------------

// More days or months than the calendar spans can only leave it.
constexpr std::int64_t kMaxDaySpan = 3652059;
constexpr std::int64_t kMaxMonthSpan = 9999 * 12;

// The date moved by `count` units of `interval` (d, w, m, q, y; any other
// interval keeps it); nullopt when the result leaves the years 1..9999. Month and
// year steps keep the day or take the last day of a shorter month, so
// 2012-01-31 + 1 month is 2012-02-29 and 2012-02-29 + 1 year is 2013-02-28.
std::optional<double> MoveDate(double serial, std::string_view interval, std::int64_t count) {
  std::int64_t days = 0;
  std::int64_t months = 0;
  if (interval == "d") {
    days = count;
  } else if (interval == "w") {
    if (count > kMaxDaySpan || count < -kMaxDaySpan) return std::nullopt;
    days = count * 7;
  } else if (interval == "m" || interval == "q" || interval == "y") {
    if (count > kMaxMonthSpan || count < -kMaxMonthSpan) return std::nullopt;
    months = count * (interval == "m" ? 1 : interval == "q" ? 3 : 12);
  } else {
    return serial;
  }
  if (days != 0) {
    if (days > kMaxDaySpan || days < -kMaxDaySpan) return std::nullopt;
    double moved = serial + static_cast<double>(days);
    if (!rtl::DecodeDate(moved)) return std::nullopt;
    return moved;
  }
  std::optional<rtl::DateParts> date = rtl::DecodeDate(serial);
  if (!date) return std::nullopt;
  std::int64_t total = std::int64_t{date->year} * 12 + (date->month - 1) + months;
  if (total < 12 || total >= 10000 * 12) return std::nullopt;
  int year = static_cast<int>(total / 12);
  int month = static_cast<int>(total % 12) + 1;
  int day = std::min(date->day, rtl::DaysInMonth(year, month));
  return rtl::EncodeDate(year, month, day);
}

bool DateAdd(const Variant* args, Variant& out) {
  std::string interval = rtl::AsciiLowerCase(TextArg(args, 0));
  std::int64_t count;
  if (!ValueToWhole(args[1], count)) return false;
  std::string_view text = TextArg(args, 2);
  std::optional<double> date = ISOToDate(text);
  std::optional<double> moved = date ? MoveDate(*date, interval, count) : std::nullopt;
  if (moved) {
    out.SetText(DateToISO(*moved));
  } else {
    out.SetText(text);
  }
  return true;
}

// ---- Numbers as text ----------------------------------------------------------

// format(value, formatstring): the type character of the directive decides how
// the value is passed; any failure returns the value's text unchanged.
void FormatValue(const Variant* args, Variant& out) {
  std::string_view value = TextArg(args, 0);
  std::string_view format = TextArg(args, 1);
  if (format.empty()) {
    out.SetText(value);
    return;
  }
  rtl::FormatArg arg;
  arg.kind = rtl::FormatArgKind::kFloat;
  switch (rtl::FirstDirectiveType(format)) {
    case 'd':
    case 'u':
    case 'x':
    case 'D':
    case 'U':
    case 'X':
      arg.kind = rtl::FormatArgKind::kInt;
      if (!ValueToWhole(args[0], arg.i)) {
        out.SetText(value);
        return;
      }
      break;
    case 's':
    case 'S':
      arg.kind = rtl::FormatArgKind::kText;
      arg.s = value;
      break;
    default: {
      std::optional<double> x = rtl::StrictTextToFloat(value);
      if (!x) {
        out.SetText(value);
        return;
      }
      arg.f = *x;
      break;
    }
  }
  std::optional<std::string> text = rtl::Format(format, arg);
  if (text) {
    out.SetText(*text);
  } else {
    out.SetText(value);
  }
}

// fix(x, p) and trunc(x, p): x rounded to p decimals through "%.<p>f"; x as it
// is when it is no number or p makes no directive.
void FixValue(const Variant* args, Variant& out) {
  std::string_view value = TextArg(args, 0);
  std::optional<double> x = rtl::StrictTextToFloat(value);
  std::optional<std::string> text;
  if (x) {
    std::string format = "%.";
    format += TextArg(args, 1);
    format += 'f';
    rtl::FormatArg arg;
    arg.kind = rtl::FormatArgKind::kFloat;
    arg.f = *x;
    text = rtl::Format(format, arg);
  }
  if (text) {
    out.SetText(*text);
  } else {
    out.SetText(value);
  }
}

// ---- Texts ----------------------------------------------------------------------

// Every occurrence of `pattern` found ignoring case, character by character on
// the original bytes; a match may differ from the pattern in byte length ("ı"
// matches "i"), so the matched bytes of `text` are the ones replaced.
void Replace(std::string_view text, std::string_view pattern, std::string_view replacement,
             Variant& out) {
  out.SetText({});
  std::size_t from = 0;
  std::size_t length = 0;
  for (;;) {
    std::size_t at = rtl::FindTextIgnoreCase(text, pattern, from, length);
    if (at == std::string_view::npos) break;
    out.s.append(text, from, at - from);
    out.s.append(replacement);
    from = at + length;
  }
  out.s.append(text, from);
}

void Mid(std::string_view text, std::int64_t from, std::int64_t count, Variant& out) {
  if (from < 1) from = 1;
  if (count <= 0 || from > static_cast<std::int64_t>(text.size())) {
    out.SetText({});
    return;
  }
  out.SetText(text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count)));
}

}  // namespace

bool IsFunctionOperator(TTokenOperator op) { return op >= toLOWER && op <= toReplace; }

int FunctionArgCount(TTokenOperator op) {
  switch (op) {
    case toLeft:
    case toRight:
    case tosubstr_after:
    case tosubstr_before:
    case toFormat:
    case toFix:
      return 2;
    case toMid:
    case toDateAdd:
    case toReplace:
      return 3;
    default:
      return IsFunctionOperator(op) ? 1 : 0;
  }
}

bool RunFunction(TTokenOperator op, const Variant* args, Variant& out) {
  switch (op) {
    case toLOWER:
    case toUPPER:
      out.SetText(op == toUPPER ? rtl::AsciiUpperCase(TextArg(args, 0))
                                : rtl::AsciiLowerCase(TextArg(args, 0)));
      return true;
    case toTRIM:
      out.SetText(rtl::TrimBlanks(TextArg(args, 0)));
      return true;
    case toSoundex:
      out.SetInt(Soundex(TextArg(args, 0)));
      return true;
    case toSin:
    case toCos:
    case toSqrt: {
      double x;
      if (!ValueToNumber(args[0], x)) return false;
      out.SetFloat(op == toSin ? std::sin(x) : op == toCos ? std::cos(x) : std::sqrt(x));
      return true;
    }
    case toSqr: {
      std::int64_t x;
      std::int64_t square;
      if (!ValueToWhole(args[0], x) || __builtin_mul_overflow(x, x, &square)) return false;
      out.SetInt(square);
      return true;
    }
    case toAsNumber: {
      std::optional<double> x = rtl::StrictTextToFloat(TextArg(args, 0));
      if (x) {
        out.SetFloat(*x);
      } else {
        out.SetInt(0);
      }
      return true;
    }
    case toLeft:
    case toRight: {
      std::int64_t n;
      if (!ValueToWhole(args[1], n)) return false;
      std::string_view t = TextArg(args, 0);
      std::size_t keep =
          n <= 0 ? 0 : std::min(t.size(), static_cast<std::size_t>(static_cast<std::uint64_t>(n)));
      out.SetText(op == toLeft ? t.substr(0, keep) : t.substr(t.size() - keep));
      return true;
    }
    case toMid: {
      std::int64_t from;
      std::int64_t count;
      if (!ValueToWhole(args[1], from) || !ValueToWhole(args[2], count)) return false;
      Mid(TextArg(args, 0), from, count, out);
      return true;
    }
    case tosubstr_after:
    case tosubstr_before: {
      std::string_view source = TextArg(args, 0);
      std::string_view sub = TextArg(args, 1);
      int at = PosEx(sub, source);
      if (at == 0) {
        out.SetText({});
      } else if (op == tosubstr_after) {
        out.SetText(source.substr(static_cast<std::size_t>(at) - 1 + sub.size()));
      } else {
        out.SetText(source.substr(0, static_cast<std::size_t>(at) - 1));
      }
      return true;
    }
    case toFormat:
      FormatValue(args, out);
      return true;
    case toDateAdd:
      return DateAdd(args, out);
    case toYear:
    case toMonth:
    case toDay: {
      int first = op == toYear ? 1 : op == toMonth ? 6 : 9;
      out.SetInt(DatePart(TextArg(args, 0), first, op == toYear ? 4 : 2).value_or(0));
      return true;
    }
    case toEaster: {
      std::int64_t year;
      std::optional<double> easter;
      if (ValueToWhole(args[0], year) && year >= 1 && year <= 9999) {
        easter = EasterDate(static_cast<int>(year));
      }
      out.SetText(easter ? DateToISO(*easter) : std::string());
      return true;
    }
    case toWeekNumber: {
      std::optional<double> date = ISOToDate(TextArg(args, 0));
      out.SetInt(date ? WeekNumber(*date) : 0);
      return true;
    }
    case toLen:
      out.SetInt(static_cast<std::int64_t>(TextArg(args, 0).size()));
      return true;
    case toFix:
      FixValue(args, out);
      return true;
    case toCeil:
    case toFloor: {
      double x;
      if (!ValueToNumber(args[0], x)) return false;
      return SetWholeOfFloat(op == toCeil ? std::ceil(x) : std::floor(x), out);
    }
    case toIsNumeric:
      out.SetBool(rtl::StrictTextToFloat(TextArg(args, 0)).has_value());
      return true;
    case toIsDate:
      out.SetBool(ISOToDate(TextArg(args, 0)).has_value());
      return true;
    case toReplace:
      Replace(TextArg(args, 0), TextArg(args, 1), TextArg(args, 2), out);
      return true;
    default:
      return false;
  }
}

}  // namespace vek

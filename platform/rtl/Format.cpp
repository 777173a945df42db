// The one-argument format routine: a scanner over the format text that copies
// literal text and expands each directive with the one argument.
#include "rtl/Format.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <mutex>
#include <string>

#include "rtl/DecimalDigits.h"
#include "rtl/Separators.h"

namespace rtl {
namespace {

constexpr int kMaxWidth = 65535;
constexpr int kMaxSignificant = 17;  // all a double holds
constexpr int kMaxDecimals = 18;

struct Directive {
  bool left = false;
  int width = 0;
  int precision = -1;  // -1: none given
  char type = '\0';
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads digits at `i`; false when there are none or their value exceeds kMaxWidth.
bool ReadCount(std::string_view f, std::size_t& i, int& value) {
  if (i >= f.size() || !IsDigit(f[i])) return false;
  long n = 0;
  for (; i < f.size() && IsDigit(f[i]); ++i) {
    n = n * 10 + (f[i] - '0');
    if (n > kMaxWidth) return false;
  }
  value = static_cast<int>(n);
  return true;
}

// Parses the directive after a "%" at `i` (which does not start "%%") and
// leaves `i` after its type character. False when malformed or refused: an
// index other than 0, "*", a type outside "duxefgnms".
bool ParseDirective(std::string_view f, std::size_t& i, Directive& d) {
  bool have_width = false;
  if (i < f.size() && IsDigit(f[i])) {
    int number = 0;
    if (!ReadCount(f, i, number)) return false;
    if (i < f.size() && f[i] == ':') {
      if (number != 0) return false;  // there is only argument 0
      ++i;
    } else {
      d.width = number;
      have_width = true;
    }
  }
  if (!have_width) {
    if (i < f.size() && f[i] == '-') {
      d.left = true;
      ++i;
    }
    if (i < f.size() && IsDigit(f[i]) && !ReadCount(f, i, d.width)) return false;
  }
  if (i < f.size() && f[i] == '.') {
    ++i;
    if (!ReadCount(f, i, d.precision)) return false;
  }
  if (i >= f.size()) return false;
  d.type = f[i++];
  // "*" lands here too: one argument cannot also be a width.
  return std::string_view("duxefgnms").find(d.type) != std::string_view::npos;
}

void AppendPadded(std::string& out, const Directive& d, std::string_view body) {
  const std::size_t width = static_cast<std::size_t>(d.width);
  const std::size_t pad = body.size() < width ? width - body.size() : 0;
  if (!d.left) out.append(pad, ' ');
  out += body;
  if (d.left) out.append(pad, ' ');
}

// d, u, x: digits of the magnitude padded with zeros to the precision.
void FormatWhole(std::int64_t value, const Directive& d, std::string& body) {
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (d.type == 'd' && value < 0) {
    body += '-';
    magnitude = 0 - magnitude;
  }
  char digits[24];
  const int base = d.type == 'x' ? 16 : 10;
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, magnitude, base);
  const std::size_t count = static_cast<std::size_t>(r.ptr - digits);
  if (d.precision > 0 && static_cast<std::size_t>(d.precision) > count) {
    body.append(static_cast<std::size_t>(d.precision) - count, '0');
  }
  for (const char* p = digits; p < r.ptr; ++p) {
    body += *p >= 'a' && *p <= 'f' ? static_cast<char>(*p - 'a' + 'A') : *p;
  }
}

// Fixed decimals, optionally with thousand separators in the whole part.
// Returns false when the value rounds to zero.
bool AppendFixed(double magnitude, int decimals, bool grouped, bool negative, std::string& body) {
  detail::DecimalDigits digits;
  detail::RoundToDecimals(magnitude, decimals, digits);
  // A value that rounds to zero loses its sign: -0.001 is "0.00".
  if (negative && digits.count > 0) body += '-';
  const int whole = digits.count > 0 ? digits.exponent + 1 : 0;
  auto digit = [&digits](int i) { return i >= 0 && i < digits.count ? digits.digits[i] : '0'; };
  if (whole <= 0) {
    body += '0';
  } else {
    const char thousand = ThousandSeparator();
    for (int i = 0; i < whole; ++i) {
      if (grouped && i > 0 && (whole - i) % 3 == 0) body += thousand;
      body += digit(i);
    }
  }
  if (decimals > 0) {
    body += DecimalSeparator();
    for (int i = 0; i < decimals; ++i) body += digit(whole + i);
  }
  return digits.count > 0;
}

void AppendScientific(double magnitude, int significant, bool negative, std::string& body) {
  detail::DecimalDigits digits;
  detail::RoundToSignificant(magnitude, significant, digits);
  if (negative && digits.count > 0) body += '-';
  body += digits.count > 0 ? digits.digits[0] : '0';
  if (significant > 1) {
    body += DecimalSeparator();
    for (int i = 1; i < significant; ++i) body += i < digits.count ? digits.digits[i] : '0';
  }
  body += 'E';
  const int exponent = digits.count > 0 ? digits.exponent : 0;
  body += exponent < 0 ? '-' : '+';
  char text[8];
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, exponent < 0 ? -exponent : exponent);
  body.append(static_cast<std::size_t>(3 - std::min<long>(3, r.ptr - text)), '0');
  body.append(text, r.ptr);
}

void AppendGeneral(double magnitude, int significant, bool negative, std::string& body) {
  detail::DecimalDigits digits;
  detail::RoundToSignificant(magnitude, significant, digits);
  if (digits.count == 0) {
    body += '0';
    return;
  }
  if (negative) body += '-';
  detail::AppendGeneral(digits, significant, DecimalSeparator(), body);
}

// The locale's currency symbol before or after the amount, with a space between
// when the locale asks for one; a negative amount gets a plain leading "-".
// The locale's currency fields, read under a lock: the C library keeps them in
// one static structure that each call rewrites, and a statement may format on
// several threads.
struct MoneyFields {
  int frac_digits = 0;
  std::string symbol;
  bool before = false;
  bool separated = false;
};

MoneyFields LocaleMoney() {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  const std::lconv* conv = std::localeconv();
  return {static_cast<unsigned char>(conv->frac_digits), conv->currency_symbol,
          conv->p_cs_precedes == 1, conv->p_sep_by_space == 1};
}

void AppendMoney(double magnitude, int precision, bool negative, std::string& body) {
  const MoneyFields money = LocaleMoney();
  int decimals = precision;
  if (decimals < 0) {
    const int locale_decimals = money.frac_digits;
    decimals = locale_decimals <= kMaxDecimals ? locale_decimals : 2;
  }
  std::string amount;
  const bool nonzero =
      AppendFixed(magnitude, std::min(decimals, kMaxDecimals), true, false, amount);
  const std::string_view symbol = money.symbol;
  const bool before = money.before;
  const bool space = !symbol.empty() && money.separated;
  if (negative && nonzero) body += '-';
  if (before) {
    body += symbol;
    if (space) body += ' ';
  }
  body += amount;
  if (!before) {
    if (space) body += ' ';
    body += symbol;
  }
}

bool FormatFloat(double value, const Directive& d, std::string& body) {
  if (const char* text = detail::NonFiniteText(value)) {
    body += text;
    return true;
  }
  const double magnitude = std::fabs(value);
  const bool negative = value < 0;
  auto significant = [&d](int fallback) {
    return d.precision < 0 ? fallback : std::clamp(d.precision, 1, kMaxSignificant);
  };
  const int decimals = d.precision < 0 ? 2 : std::min(d.precision, kMaxDecimals);
  switch (d.type) {
    case 'e':
      AppendScientific(magnitude, significant(15), negative, body);
      return true;
    case 'f':
    case 'n':
      AppendFixed(magnitude, decimals, d.type == 'n', negative, body);
      return true;
    case 'g':
      AppendGeneral(magnitude, significant(15), negative, body);
      return true;
    case 'm':
      AppendMoney(magnitude, d.precision, negative, body);
      return true;
    default:
      return false;  // d, u, x do not take a fraction; s takes text
  }
}

bool FormatOne(const FormatArg& arg, const Directive& d, std::string& body) {
  switch (arg.kind) {
    case FormatArgKind::kInt:
      if (d.type == 'd' || d.type == 'u' || d.type == 'x') {
        FormatWhole(arg.i, d, body);
        return true;
      }
      return d.type != 's' && FormatFloat(static_cast<double>(arg.i), d, body);
    case FormatArgKind::kFloat:
      return FormatFloat(arg.f, d, body);
    case FormatArgKind::kText:
      if (d.type != 's') return false;
      body += d.precision >= 0 ? arg.s.substr(0, static_cast<std::size_t>(d.precision)) : arg.s;
      return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> Format(std::string_view format, const FormatArg& arg) {
  std::string out;
  std::string body;
  for (std::size_t i = 0; i < format.size();) {
    const std::size_t percent = format.find('%', i);
    out.append(format.substr(i, percent - i));
    if (percent == std::string_view::npos) break;
    i = percent + 1;
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Directive d;
    if (!ParseDirective(format, i, d)) return std::nullopt;
    body.clear();
    if (!FormatOne(arg, d, body)) return std::nullopt;
    AppendPadded(out, d, body);
  }
  return out;
}

char FirstDirectiveType(std::string_view format) {
  for (std::size_t i = format.find('%'); i != std::string_view::npos; i = format.find('%', i)) {
    ++i;
    if (i < format.size() && format[i] == '%') {
      ++i;
      continue;
    }
    Directive d;
    return ParseDirective(format, i, d) ? d.type : '\0';
  }
  return '\0';
}

}  // namespace rtl

// The value rules of the expression language: how a value reads as text, as a
// number, as a whole number and as a truth value, and what the operators make
// of each pair of kinds (texts join with "+", a text meets a number as a
// number, Booleans count as -1 and 0, empty spreads through arithmetic).
#include "engine/vekSQLOperators.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "engine/vekSQLExpression2.h"
#include "engine/vekSQLHelpers.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"

namespace vek {

using rtl::Variant;
using rtl::VarType;

// ---- Value conversions --------------------------------------------------------

void AppendValueText(const Variant& v, std::string& out) {
  switch (v.type) {
    case VarType::kText:
      out += v.s;
      break;
    case VarType::kFloat:
      out += rtl::FloatToText(v.f);
      break;
    case VarType::kInt: {
      char buffer[24];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v.i);
      out.append(buffer, end);
      break;
    }
    case VarType::kBool:
      out += rtl::BoolToText(v.b);
      break;
    case VarType::kDate:
      out += DateToISO(v.f);
      break;
    case VarType::kEmpty:
    case VarType::kNull:
      break;
  }
}

std::string ValueToText(const Variant& v) {
  std::string text;
  AppendValueText(v, text);
  return text;
}

bool ValueToBool(const Variant& v, bool& out) {
  switch (v.type) {
    case VarType::kBool:
      out = v.b;
      return true;
    case VarType::kFloat:
    case VarType::kDate:
      out = v.f != 0;
      return true;
    case VarType::kInt:
      out = v.i != 0;
      return true;
    case VarType::kText: {
      std::optional<bool> b = rtl::TextToBool(v.s);
      if (!b) return false;
      out = *b;
      return true;
    }
    case VarType::kEmpty:
    case VarType::kNull:
      out = false;
      return true;
  }
  return false;
}

bool ValueToNumber(const Variant& v, double& out) {
  switch (v.type) {
    case VarType::kText: {
      std::optional<double> x = rtl::TextToFloat(v.s);
      if (!x) return false;
      out = *x;
      return true;
    }
    case VarType::kFloat:
    case VarType::kDate:
      out = v.f;
      return true;
    case VarType::kInt:
      out = static_cast<double>(v.i);
      return true;
    case VarType::kBool:
      out = v.b ? -1 : 0;
      return true;
    case VarType::kEmpty:
    case VarType::kNull:
      out = 0;
      return true;
  }
  return false;
}

bool ValueToWhole(const Variant& v, std::int64_t& out) {
  std::optional<std::int64_t> x;
  switch (v.type) {
    case VarType::kText:
      x = rtl::TextToInt64(v.s);
      break;
    case VarType::kFloat:
    case VarType::kDate:
      x = rtl::FloatToInt64(v.f);
      break;
    case VarType::kInt:
      x = v.i;
      break;
    case VarType::kBool:
      x = v.b ? -1 : 0;
      break;
    case VarType::kEmpty:
    case VarType::kNull:
      x = 0;
      break;
  }
  if (!x) return false;
  out = *x;
  return true;
}

std::string_view ValueTextView(const Variant& v, std::string& scratch) {
  if (v.type == VarType::kText) return v.s;
  scratch.clear();
  AppendValueText(v, scratch);
  return scratch;
}
namespace {

enum class Kind { kEmpty, kText, kNumber, kWhole, kBool };

Kind KindOf(const Variant& v) {
  switch (v.type) {
    case VarType::kText:
      return Kind::kText;
    case VarType::kFloat:
    case VarType::kDate:
      return Kind::kNumber;
    case VarType::kInt:
      return Kind::kWhole;
    case VarType::kBool:
      return Kind::kBool;
    case VarType::kEmpty:
    case VarType::kNull:
      break;
  }
  return Kind::kEmpty;
}

// Both operands read as numbers; the result replaces the left one. A result
// beyond the floating range fails; a division by zero gives infinity.
bool FloatArithmetic(ArithmeticOp op, Variant& left, const Variant& right) {
  double a;
  double b;
  if (!ValueToNumber(left, a) || !ValueToNumber(right, b)) return false;
  double x = 0;
  switch (op) {
    case ArithmeticOp::kAdd:
      x = a + b;
      break;
    case ArithmeticOp::kSubtract:
      x = a - b;
      break;
    case ArithmeticOp::kMultiply:
      x = a * b;
      break;
    default:
      x = a / b;
      break;
  }
  if (std::isinf(x) && std::isfinite(a) && std::isfinite(b) &&
      !(op == ArithmeticOp::kDivide && b == 0)) {
    return false;
  }
  left.SetFloat(x);
  return true;
}

// Whole numbers (Booleans as -1 and 0) in 64 bits; a result beyond 64 bits is
// computed as a floating number instead.
bool WholeArithmetic(ArithmeticOp op, Variant& left, const Variant& right) {
  std::int64_t a = left.type == VarType::kBool ? (left.b ? -1 : 0) : left.i;
  std::int64_t b = right.type == VarType::kBool ? (right.b ? -1 : 0) : right.i;
  std::int64_t x = 0;
  bool overflow = false;
  switch (op) {
    case ArithmeticOp::kAdd:
      overflow = __builtin_add_overflow(a, b, &x);
      break;
    case ArithmeticOp::kSubtract:
      overflow = __builtin_sub_overflow(a, b, &x);
      break;
    default:
      overflow = __builtin_mul_overflow(a, b, &x);
      break;
  }
  if (overflow) return FloatArithmetic(op, left, right);
  left.SetInt(x);
  return true;
}

int CompareDoubles(double a, double b) {
  if (a < b) return -1;
  if (a > b) return 1;
  return a == b ? 0 : kUnordered;
}

int CompareBytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);  // char_traits<char>::compare compares as unsigned bytes
  return (c > 0) - (c < 0);
}

}  // namespace

// ---- Operators ------------------------------------------------------------------

// "+", "-", "*", "/" by the kinds of their operands.
bool Arithmetic(ArithmeticOp op, Variant& left, const Variant& right) {
  if (left.IsNull() || right.IsNull()) {
    left.type = VarType::kNull;
    return true;
  }
  const bool divide = op == ArithmeticOp::kDivide;
  const Kind lk = KindOf(left);
  const Kind rk = KindOf(right);
  if (lk == Kind::kEmpty || rk == Kind::kEmpty) {
    if (divide) return false;
    left.SetEmpty();
    return true;
  }
  if (lk == Kind::kText && rk == Kind::kText) {
    if (op == ArithmeticOp::kAdd) {
      left.s += right.s;
      return true;
    }
    return FloatArithmetic(op, left, right);
  }
  if (lk == Kind::kBool || rk == Kind::kBool) {
    const Kind other = lk == Kind::kBool ? rk : lk;
    if (other == Kind::kBool || other == Kind::kText) {
      return divide ? false : FloatArithmetic(op, left, right);
    }
    if (other == Kind::kNumber) return FloatArithmetic(op, left, right);
    if (lk == Kind::kBool) {  // Boolean, whole number
      return divide ? FloatArithmetic(op, left, right) : WholeArithmetic(op, left, right);
    }
    return divide ? false : FloatArithmetic(op, left, right);  // whole number, Boolean
  }
  if (lk == Kind::kWhole && rk == Kind::kWhole && !divide) {
    return WholeArithmetic(op, left, right);
  }
  return FloatArithmetic(op, left, right);
}

bool UnarySign(Variant& v, bool negate) {
  switch (KindOf(v)) {
    case Kind::kEmpty:
      return true;
    case Kind::kWhole:
      if (negate) {
        if (v.i == std::numeric_limits<std::int64_t>::min()) {
          v.SetFloat(-static_cast<double>(v.i));
        } else {
          v.i = -v.i;
        }
      }
      return true;
    default: {  // texts read as numbers, Booleans as -1 and 0
      double x;
      if (!ValueToNumber(v, x)) return false;
      v.SetFloat(negate ? -x : x);
      return true;
    }
  }
}

// Writes -1, 0, 1 or kUnordered into `out`; false when a text that has to be read
// as a number is none.
bool CompareValues(const Variant& left, const Variant& right, int& out) {
  const Kind lk = KindOf(left);
  const Kind rk = KindOf(right);
  if (lk == Kind::kEmpty || rk == Kind::kEmpty) {
    out = (lk != Kind::kEmpty) - (rk != Kind::kEmpty);
    return true;
  }
  if (lk == Kind::kText && rk == Kind::kText) {
    out = CompareBytes(left.s, right.s);
    return true;
  }
  if (lk == Kind::kText && rk == Kind::kBool) {
    out = CompareBytes(left.s, rtl::BoolToText(right.b));
    return true;
  }
  if (lk == Kind::kBool && rk == Kind::kText) {
    out = CompareBytes(rtl::BoolToText(left.b), right.s);
    return true;
  }
  if (lk == Kind::kBool && rk == Kind::kBool) {
    out = int{left.b} - int{right.b};
    return true;
  }
  if (lk == Kind::kWhole && rk == Kind::kBool) {
    out = int{left.i != 0} - int{right.b};
    return true;
  }
  if (lk == Kind::kWhole && rk == Kind::kWhole) {
    out = (left.i > right.i) - (left.i < right.i);
    return true;
  }
  double a;
  double b;
  if (!ValueToNumber(left, a) || !ValueToNumber(right, b)) return false;
  out = CompareDoubles(a, b);
  return true;
}

// LIKE. Without "%" the texts are compared ignoring case under the locale. With
// "%" the pattern is a glob of literal pieces matched byte for byte in order:
// 'abc' like 'a%c', 'abab' like '%ab'; "%" alone matches every value.
bool Like(std::string_view value, std::string_view pattern) {
  std::size_t first = pattern.find('%');
  if (first == std::string_view::npos) return rtl::AnsiSameText(value, pattern);
  std::size_t last = pattern.rfind('%');
  std::string_view head = pattern.substr(0, first);
  std::string_view tail = pattern.substr(last + 1);
  if (value.size() < head.size() + tail.size()) return false;
  if (!value.starts_with(head) || !value.ends_with(tail)) return false;
  std::string_view rest = value.substr(head.size(), value.size() - head.size() - tail.size());
  std::string_view pieces = pattern.substr(first + 1, last - first);  // up to and with the last %
  std::size_t from = 0;
  while (!pieces.empty()) {
    std::size_t end = pieces.find('%');
    std::string_view piece = pieces.substr(0, end);
    if (!piece.empty()) {
      std::size_t at = rest.find(piece, from);
      if (at == std::string_view::npos) return false;
      from = at + piece.size();
    }
    pieces.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace vek

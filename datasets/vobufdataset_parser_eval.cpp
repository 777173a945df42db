// Evaluating a compiled filter tree over the field variables' current values,
// with the text comparisons (collation, case folding, "*" patterns) and the
// functions STR, DTOS, SUBSTR, UPPER and LOWER, and the tree's printed form.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "datasets/vobufdataset_parser_tree.h"
#include "rtl/Dates.h"
#include "rtl/Format.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace vofilter {
namespace {

// Whole-number arithmetic wraps around in 64 bits instead of overflowing.
std::int64_t Wrap(std::uint64_t value) { return static_cast<std::int64_t>(value); }

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

bool Holds(CompareOp op, int order) {
  switch (op) {
    case CompareOp::kEqual:
      return order == 0;
    case CompareOp::kNotEqual:
      return order != 0;
    case CompareOp::kLess:
      return order < 0;
    case CompareOp::kGreater:
      return order > 0;
    case CompareOp::kLessEqual:
      return order <= 0;
    case CompareOp::kGreaterEqual:
      return order >= 0;
  }
  return false;
}

// The locale's collation; equal bytes are equal without asking it.
int CompareTexts(std::string_view a, std::string_view b, bool case_insensitive) {
  if (case_insensitive) return rtl::AnsiCompareText(a, b);
  if (a == b) return 0;
  return rtl::AnsiCompareStr(a, b);
}

// "=" with "*" patterns on the right: '*A*' contains A, '*A' ends with A, 'A*'
// begins with A, anything else is the whole text. Without regard to case both
// sides are upper-cased first.
bool PartialEqual(std::string_view left, std::string_view right, bool case_insensitive) {
  bool leading = !right.empty() && right.front() == '*';
  bool trailing = !right.empty() && right.back() == '*';
  if (!leading && !trailing) return CompareTexts(left, right, case_insensitive) == 0;
  std::string_view pattern = right.substr(leading ? 1 : 0);
  if (trailing && !pattern.empty()) pattern.remove_suffix(1);
  std::string upper_left, upper_pattern;
  if (case_insensitive) {
    upper_left = rtl::AnsiUpperCase(left);
    upper_pattern = rtl::AnsiUpperCase(pattern);
    left = upper_left;
    pattern = upper_pattern;
  }
  if (leading && trailing) return left.find(pattern) != std::string_view::npos;
  return leading ? left.ends_with(pattern) : left.starts_with(pattern);
}

bool EvalCompare(const Node& node, const Vars& vars) {
  const Node& left = *node.args[0];
  const Node& right = *node.args[1];
  if (left.type == TExpressionType::etString) {
    std::string_view a = EvalText(left, vars);
    std::string_view b = EvalText(right, vars);
    if (node.partial) return PartialEqual(a, b, node.case_insensitive);
    return Holds(node.op, CompareTexts(a, b, node.case_insensitive));
  }
  if (IsWholeNumber(left.type) && IsWholeNumber(right.type)) {
    std::int64_t a = EvalInt(left, vars);
    std::int64_t b = EvalInt(right, vars);
    return Holds(node.op, a < b ? -1 : (a > b ? 1 : 0));
  }
  double a = EvalFloat(left, vars);
  double b = EvalFloat(right, vars);
  if (std::isnan(a) || std::isnan(b)) return node.op == CompareOp::kNotEqual;
  return Holds(node.op, Sign(a, b));
}

constexpr std::int64_t kStrDefaultWidth = 10;
constexpr std::int64_t kStrMaxWidth = 255;
constexpr std::int64_t kStrMaxDecimals = 18;

// STR(number, width, decimals): the number rounded to `decimals` places (0 when
// absent) with a full stop, right-aligned in `width` characters (10 when absent,
// at most 255); a number that does not fit gives `width` asterisks, a width
// below 1 the empty text. STR(3.14159, 6, 2) is "  3.14", STR(12345, 3) "***".
void FormatStr(const Node& node, const Vars& vars, std::string& out) {
  std::int64_t width = node.args.size() > 1 ? EvalInt(*node.args[1], vars) : kStrDefaultWidth;
  std::int64_t decimals = node.args.size() > 2 ? EvalInt(*node.args[2], vars) : 0;
  out.clear();
  if (width < 1) return;
  width = std::min(width, kStrMaxWidth);
  decimals = std::clamp<std::int64_t>(decimals, 0, kStrMaxDecimals);
  const Node& value = *node.args[0];
  if (IsWholeNumber(value.type)) {
    rtl::AppendIntText(EvalInt(value, vars), out);
    if (decimals > 0) {
      out.push_back('.');
      out.append(static_cast<std::size_t>(decimals), '0');
    }
  } else {
    rtl::FormatArg arg{rtl::FormatArgKind::kFloat, 0, 0.0, {}};
    arg.f = EvalFloat(value, vars);
    std::string format = "%." + rtl::IntToText(decimals) + "f";
    out = rtl::Format(format, arg).value_or(std::string());
    std::size_t separator = out.find(rtl::DecimalSeparator());
    if (decimals > 0 && separator != std::string::npos) out[separator] = '.';
  }
  auto size = static_cast<std::size_t>(width);
  if (out.size() > size) {
    out.assign(size, '*');
  } else {
    out.insert(0, size - out.size(), ' ');
  }
}

// DTOS(date): "yyyymmdd"; eight blanks for a serial outside the calendar.
void FormatDtos(double serial, std::string& out) {
  auto parts = rtl::DecodeDate(serial);
  if (!parts) {
    out.assign(8, ' ');
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", parts->year, parts->month, parts->day);
  out.assign(text);
}

// SUBSTR(text, from, count): `count` bytes from byte `from` (1-based); a start
// below 1 counts as 1; nothing when count is not positive or from is past the end.
std::string_view SubText(std::string_view text, std::int64_t from, std::int64_t count) {
  if (from < 1) from = 1;
  if (count <= 0 || from > static_cast<std::int64_t>(text.size())) return {};
  return text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
}

std::string_view OperatorText(const Node& node) {
  switch (node.kind) {
    case NodeKind::kNegate:
    case NodeKind::kSubtract:
      return "-";
    case NodeKind::kAdd:
    case NodeKind::kConcat:
      return "+";
    case NodeKind::kMultiply:
      return "*";
    case NodeKind::kDivide:
      return "/";
    case NodeKind::kNot:
      return "NOT";
    case NodeKind::kAnd:
      return "AND";
    case NodeKind::kOr:
      return "OR";
    case NodeKind::kStr:
      return "STR";
    case NodeKind::kDtos:
      return "DTOS";
    case NodeKind::kSubstr:
      return "SUBSTR";
    case NodeKind::kUpper:
      return "UPPER";
    case NodeKind::kLower:
      return "LOWER";
    case NodeKind::kCompare: {
      static constexpr std::string_view kCompareTexts[] = {"=", "<>", "<", ">", "<=", ">="};
      return kCompareTexts[static_cast<int>(node.op)];
    }
    default:
      return "";
  }
}

}  // namespace

bool EvalBool(const Node& node, const Vars& vars) {
  switch (node.kind) {
    case NodeKind::kVariable:
      return vars[static_cast<std::size_t>(node.variable)].Value.i != 0;
    case NodeKind::kNot:
      return !EvalBool(*node.args[0], vars);
    case NodeKind::kAnd:
      return EvalBool(*node.args[0], vars) && EvalBool(*node.args[1], vars);
    case NodeKind::kOr:
      return EvalBool(*node.args[0], vars) || EvalBool(*node.args[1], vars);
    case NodeKind::kCompare:
      return EvalCompare(node, vars);
    default:
      return false;
  }
}

std::int64_t EvalInt(const Node& node, const Vars& vars) {
  auto arg = [&](std::size_t i) {
    return static_cast<std::uint64_t>(EvalInt(*node.args[i], vars));
  };
  switch (node.kind) {
    case NodeKind::kConstant:
      return node.int_value;
    case NodeKind::kVariable:
      return vars[static_cast<std::size_t>(node.variable)].Value.i;
    case NodeKind::kNegate:
      return Wrap(0 - arg(0));
    case NodeKind::kAdd:
      return Wrap(arg(0) + arg(1));
    case NodeKind::kSubtract:
      return Wrap(arg(0) - arg(1));
    case NodeKind::kMultiply:
      return Wrap(arg(0) * arg(1));
    default:
      return 0;
  }
}

double EvalFloat(const Node& node, const Vars& vars) {
  if (IsWholeNumber(node.type)) return static_cast<double>(EvalInt(node, vars));
  auto arg = [&](std::size_t i) { return EvalFloat(*node.args[i], vars); };
  switch (node.kind) {
    case NodeKind::kConstant:
      return node.float_value;
    case NodeKind::kVariable:
      return vars[static_cast<std::size_t>(node.variable)].Value.f;
    case NodeKind::kNegate:
      return -arg(0);
    case NodeKind::kAdd:
      return arg(0) + arg(1);
    case NodeKind::kSubtract:
      return arg(0) - arg(1);
    case NodeKind::kMultiply:
      return arg(0) * arg(1);
    case NodeKind::kDivide:
      return arg(0) / arg(1);
    default:
      return 0.0;
  }
}

std::string_view EvalText(const Node& node, const Vars& vars) {
  switch (node.kind) {
    case NodeKind::kConstant:
      return node.text_value;
    case NodeKind::kVariable:
      return vars[static_cast<std::size_t>(node.variable)].Value.s;
    case NodeKind::kConcat: {
      // The children's views point into their own storage, never into this buffer.
      std::string_view left = EvalText(*node.args[0], vars);
      std::string_view right = EvalText(*node.args[1], vars);
      node.buffer.assign(left);
      node.buffer.append(right);
      return node.buffer;
    }
    case NodeKind::kUpper:
      node.buffer = rtl::AnsiUpperCase(EvalText(*node.args[0], vars));
      return node.buffer;
    case NodeKind::kLower:
      node.buffer = rtl::AnsiLowerCase(EvalText(*node.args[0], vars));
      return node.buffer;
    case NodeKind::kSubstr:
      return SubText(EvalText(*node.args[0], vars), EvalInt(*node.args[1], vars),
                     EvalInt(*node.args[2], vars));
    case NodeKind::kStr:
      FormatStr(node, vars, node.buffer);
      return node.buffer;
    case NodeKind::kDtos:
      FormatDtos(EvalFloat(*node.args[0], vars), node.buffer);
      return node.buffer;
    default:
      return {};
  }
}

std::string NodeToString(const Node& node, const Vars& vars) {
  switch (node.kind) {
    case NodeKind::kConstant:
      if (node.type == TExpressionType::etString) return "'" + node.text_value + "'";
      if (node.type == TExpressionType::etFloat) return rtl::FloatToText(node.float_value);
      return rtl::IntToText(node.int_value);
    case NodeKind::kVariable:
      return vars[static_cast<std::size_t>(node.variable)].FieldName;
    default: {
      std::string out = "(";
      out.append(OperatorText(node));
      for (const auto& arg : node.args) {
        out.push_back(' ');
        out.append(NodeToString(*arg, vars));
      }
      out.push_back(')');
      return out;
    }
  }
}

}  // namespace vofilter

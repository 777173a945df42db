// The compiled form of a filter expression, shared by the filter parser's
// syntax and evaluation files: a tree of typed nodes. Types are checked while
// the tree is built, so evaluation never meets an operand of the wrong type.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/vobufdataset_parser.h"

namespace vofilter {

enum class NodeKind : std::uint8_t {
  kConstant,
  kVariable,
  kNegate,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kConcat,
  kCompare,
  kNot,
  kAnd,
  kOr,
  kStr,
  kDtos,
  kSubstr,
  kUpper,
  kLower,
};

enum class CompareOp : std::uint8_t {
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessEqual,
  kGreaterEqual,
};

struct Node {
  NodeKind kind = NodeKind::kConstant;
  TExpressionType type = TExpressionType::etInteger;  // the type of the node's value
  CompareOp op = CompareOp::kEqual;                   // kCompare
  bool case_insensitive = false;                      // kCompare of texts
  bool partial = false;                               // kCompare of texts with "="
  int variable = -1;                                  // kVariable: index into the field variables
  std::int64_t int_value = 0;                         // whole-number constants
  double float_value = 0.0;                           // float constants
  std::string text_value;                             // text constants
  std::vector<std::unique_ptr<Node>> args;
  // Text a node computes (concatenation, functions); reused by every evaluation.
  mutable std::string buffer;
};

using Vars = std::vector<TFieldVar>;

struct BoundVariable {
  int index;
  TExpressionType type;
};
// Answers a name that is not a word of the language: its field variable, made
// on first use. Throws db::DatabaseError for an unknown field.
using VariableBinder = std::function<BoundVariable(std::string_view name)>;

struct SyntaxOptions {
  bool case_insensitive = false;
  bool partial_match = false;
};

// Parses and type-checks a whole filter expression. Throws db::DatabaseError
// for a syntax or operand-type error and whatever `bind` throws.
std::unique_ptr<Node> ParseExpression(std::string_view text, const SyntaxOptions& options,
                                      const VariableBinder& bind);

// Evaluation of a node of the matching type over the variables' current values.
bool EvalBool(const Node& node, const Vars& vars);
std::int64_t EvalInt(const Node& node, const Vars& vars);  // etInteger, etLargeInt
double EvalFloat(const Node& node, const Vars& vars);      // any number or date
// Views text that the node, one of its children, a constant or a variable holds;
// valid until the next evaluation.
std::string_view EvalText(const Node& node, const Vars& vars);

std::string NodeToString(const Node& node, const Vars& vars);

inline bool IsWholeNumber(TExpressionType type) {
  return type == TExpressionType::etInteger || type == TExpressionType::etLargeInt;
}
inline bool IsNumber(TExpressionType type) {
  return IsWholeNumber(type) || type == TExpressionType::etFloat;
}

}  // namespace vofilter

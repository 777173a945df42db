// The expression compiler and evaluator: an expression of the SQL dialect (a
// condition, an output column, the right side of an assignment) is compiled once
// into a postfix program and then evaluated once per row. Names that are not
// constants or operators are variables, asked of a VariableSource.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vekSQLStatus.h"
#include "engine/vekSQLTokenizer.h"
#include "rtl/Variant.h"

namespace vek {

// Answers the values of variables. Names are bound once per program (after the
// owner has set up its tables), values are read once per evaluation.
class VariableSource {
 public:
  virtual ~VariableSource() = default;
  // A handle >= 0 for a name the source knows; -1 makes the variable evaluate to
  // its own name as written (an unknown name is a text).
  virtual int BindVariable(std::string_view name) = 0;
  // Writes the value of a bound variable into `out` (reuse its buffer). Returns
  // false when reading failed, which fails the evaluation.
  virtual bool GetVariable(int handle, rtl::Variant& out) = 0;
};

// ---- The value rules, shared with the statements ---------------------------

// Any value as text: text as it is, whole numbers in decimal, numbers in the
// general format, Booleans "True"/"False", empty as "".
std::string ValueToText(const rtl::Variant& v);
void AppendValueText(const rtl::Variant& v, std::string& out);

// A value read as a truth value: Boolean as it is, numbers true when not 0, text
// by the truth-text rule, empty false. Returns false when the value is no truth
// value (the empty text a failed evaluation gives, "abc").
bool ValueToBool(const rtl::Variant& v, bool& out);

class TvekSQLExpression2 {
 public:
  TvekSQLExpression2();
  ~TvekSQLExpression2();
  TvekSQLExpression2(const TvekSQLExpression2&) = delete;
  TvekSQLExpression2& operator=(const TvekSQLExpression2&) = delete;

  // Not owned; must outlive every Evaluate. Setting it drops earlier bindings.
  void SetVariableSource(VariableSource* source);

  // Tokenizes `text` (no sub-select handler) and compiles it. A text that cannot
  // be tokenized or parsed gives an error and an empty program.
  //
  // Operators from the loosest: or; and; prefix not; comparisons, like and the
  // postfix "in (...)"; binary + and -; * and /; unary - and +. Binary operators
  // group from the left (10 - 2 + 3 is 11). not, and, or are logical on truth
  // values (see ValueToBool; an empty value is false). A function call takes
  // its comma-separated arguments; a missing trailing argument is the empty
  // text, and of surplus arguments the last ones are used. Errors: unbalanced
  // brackets, a missing operand or operator, a keyword, "*=" or "=*", a comma
  // outside a call.
  Status SetExpression(std::string_view text);

  // Compiles tokens[first..last] (both included; nothing when last < first).
  Status SetInfixTokens(const std::vector<TToken>& tokens, int first, int last);

  // Runs the program. On any failure the result is the empty text and the
  // function returns false. An empty program gives the empty text and true.
  // std::bad_alloc passes through.
  bool Evaluate(rtl::Variant& result);
  rtl::Variant Evaluate();

  // The variable source's handle when the program is one variable that the
  // source knows: it then evaluates to exactly what the source reads for that
  // handle. -1 for any other program.
  int SingleVariableHandle();

  const std::string& ExpressionText() const { return expression_text_; }
  bool IsEmpty() const;

  // The compiled program in postfix order, tokens separated by blanks, for tests
  // that compare trees: numbers and variables as written, texts in apostrophes
  // (one inside doubled), the words date and time as written, operators as
  // written but "and", "or", "not", "like" in lower case, "u-" and "u+" for
  // unary minus and plus, "in[a][b]" for an IN test with its items, functions
  // in lower case with the number of arguments written: "x 2 left/2",
  // "a 1 u- =", "'x y' name =".
  std::string ToString() const;

  // Names of all variables the program reads, in program order (repeats kept).
  std::vector<std::string> VariableNames() const;

  // Binds the program's variables to the source, once; Evaluate does it at
  // its first run unless it was done before. For an expression evaluated where
  // the source cannot look names up (rows without their column names). A
  // source that throws leaves the names unbound.
  void Bind();

 private:
  struct Program;
  std::unique_ptr<Program> program_;
  std::string expression_text_;
  VariableSource* source_ = nullptr;
};

}  // namespace vek

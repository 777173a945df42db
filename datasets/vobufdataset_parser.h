// The filter expression parser of the buffered dataset. A filter text (field
// names, text and number literals, arithmetic, comparisons, NOT/AND/OR and the
// functions STR, DTOS, SUBSTR, UPPER and LOWER) is compiled once against a list of
// field descriptions, then evaluated record by record through a value source.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Field.h"
#include "db/FieldType.h"

namespace db {
class DataSet;
}

// The type of an expression's value; the numbers are the expression types'
// codes (integer 0, string 1, ...).
enum class TExpressionType : std::uint8_t {
  etInteger = 0,  // 32-bit field values; whole-number literals that fit 32 bits
  etString = 1,
  etBoolean = 2,
  etLargeInt = 3,  // 64-bit
  etFloat = 4,
  etDateTime = 5,  // date serial
};

// "integer", "string", "boolean", "large integer", "float", "date-time".
std::string_view ExpressionTypeName(TExpressionType type);

// A field that a filter text may name.
struct TFilterField {
  std::string Name;
  db::FieldType DataType = db::FieldType::ftUnknown;
  int Size = 0;  // characters of a string field
};

// The fields of `dataset` in field order: the list to compile its filters
// against. A field's position in it is the index a value source is asked for.
std::vector<TFilterField> FilterFieldsOf(db::DataSet& dataset);

// Reads field number `field_index` (its position in the parser's field list) of
// the record under test into `data` as the dataset stores its kind: text in `s`,
// whole numbers and truth values in `i`, floats and date serials in `f`. Returns
// false for a null field (`data` is then ignored). A text view must stay valid
// for as long as the evaluation's result is used.
using TFilterValueSource = std::function<bool(int field_index, db::FieldData& data)>;

// A field the compiled expression reads, refreshed before every evaluation.
struct TFieldVar {
  std::string FieldName;  // the field's own name, whatever case the text used
  int FieldIndex = 0;
  TExpressionType ValueType = TExpressionType::etInteger;
  // The value of the record under test; a null field reads as "", 0, 0.0 and
  // false. A text is cut at its first zero byte.
  db::FieldData Value;
};

// The value of one evaluation; the member that counts follows Type (Integer for
// both whole-number types, Float for floats and dates).
struct TFilterResult {
  TExpressionType Type = TExpressionType::etBoolean;
  bool Boolean = false;
  std::int64_t Integer = 0;
  double Float = 0.0;
  std::string_view Text;  // valid until the next evaluation or a change of the record

  // The filter verdict: a true boolean, a number or date other than zero, a text
  // whose first byte is not zero (so not the empty text).
  bool Accepted() const;
};

namespace vofilter {
struct Node;
}

// One compiled filter. A dataset keeps one and, for a new filter text, compiles
// into a fresh parser and swaps it in only when CompileFilter returned: a text
// that fails leaves the previous parser, its expression and its text untouched.
class TVoBufDatasetParser {
 public:
  explicit TVoBufDatasetParser(std::vector<TFilterField> fields);
  ~TVoBufDatasetParser();
  TVoBufDatasetParser(const TVoBufDatasetParser&) = delete;
  TVoBufDatasetParser& operator=(const TVoBufDatasetParser&) = delete;

  // How texts compare: without regard to case (true at creation), and with "*"
  // patterns on the right of "=" (false at creation): 'A*' begins with A, '*A'
  // ends with A, '*A*' contains A. Changing either compiles CurrentExpression
  // again (with CompileFilter's errors, which a text compiled once cannot meet).
  bool CaseInsensitive() const { return case_insensitive_; }
  void SetCaseInsensitive(bool value);
  bool PartialMatch() const { return partial_match_; }
  void SetPartialMatch(bool value);

  // Compiles `text`: a field name alone (found as the framework finds fields,
  // without regard to case), or an expression. Throws db::DatabaseError for an
  // unknown name (kSUnknownField), a field of a type filters cannot read
  // (kSInvalidFieldType), a text result longer than 100 characters with every
  // field null, or a string field alone whose size is above 100 (kSResultTooLong),
  // and for syntax and operand-type errors. After a throw nothing is compiled and
  // CurrentExpression is "".
  void CompileFilter(std::string_view text);

  // The text last compiled successfully; "" when nothing is compiled.
  const std::string& CurrentExpression() const { return current_expression_; }
  bool Compiled() const { return root_ != nullptr; }
  // False when the text compiled is a field name alone.
  bool IsExpression() const { return is_expression_; }
  // The type of a field compiled alone.
  TExpressionType FieldType() const { return field_type_; }
  // The type of the compiled expression's value (the field's type for a field alone).
  TExpressionType GetResultType() const { return result_type_; }
  // Bytes of the result: the text's length with every field null (a field's
  // size for a string field alone), else 1 for a boolean, 4 for an integer and 8
  // for the other types.
  int ResultLength() const { return result_length_; }
  // The fields the compiled expression reads, in the order the text first names them.
  const std::vector<TFieldVar>& FieldVars() const { return field_vars_; }

  // Refreshes every field variable from `source`, then evaluates. With nothing
  // compiled `source` is not called and the result is a false boolean.
  const TFilterResult& EvaluateRecord(const TFilterValueSource& source);
  // EvaluateRecord(source).Accepted().
  bool AcceptsRecord(const TFilterValueSource& source) { return EvaluateRecord(source).Accepted(); }

  // Drops the compiled expression and its field variables; CurrentExpression "".
  void ClearExpressions();

  // The compiled expression as a bracketed prefix form ("(+ 1 (* 2 3))"), for tests.
  std::string ToString() const;

  static constexpr std::string_view kSUnknownField = "Index based on unknown field \"%s\".";
  static constexpr std::string_view kSInvalidFieldType =
      "Field \"%s\" has an invalid field type (%s) to base index on.";
  static constexpr std::string_view kSResultTooLong =
      "Index result for \"%s\" too long, >100 characters (%s).";
  static constexpr int kMaxResultLength = 100;

 private:
  // The variable of the field `name` names, made on its first use; throws for an
  // unknown field or a type without a variable.
  int HandleUnknownVariable(std::string_view name);
  // Compiles CurrentExpression again after an option changed.
  void FillExpressList();

  std::vector<TFilterField> fields_;
  std::vector<TFieldVar> field_vars_;
  std::unique_ptr<vofilter::Node> root_;
  TFilterResult result_;
  std::string current_expression_;
  int result_length_ = 0;
  bool is_expression_ = true;
  TExpressionType field_type_ = TExpressionType::etInteger;
  TExpressionType result_type_ = TExpressionType::etBoolean;
  bool case_insensitive_ = true;
  bool partial_match_ = false;
};

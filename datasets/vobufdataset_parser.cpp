// The filter parser's own steps: compiling a text (a field alone or an
// expression), binding field names to field variables, the result length check,
// the matching options, and evaluating one record.
#include "datasets/vobufdataset_parser.h"

#include <cstring>

#include "datasets/vobufdataset_parser_tree.h"
#include "db/DatabaseError.h"
#include "db/DataSet.h"
#include "rtl/Numbers.h"
#include "rtl/Text.h"

std::string_view ExpressionTypeName(TExpressionType type) {
  switch (type) {
    case TExpressionType::etInteger:
      return "integer";
    case TExpressionType::etString:
      return "string";
    case TExpressionType::etBoolean:
      return "boolean";
    case TExpressionType::etLargeInt:
      return "large integer";
    case TExpressionType::etFloat:
      return "float";
    case TExpressionType::etDateTime:
      return "date-time";
  }
  return "unknown";
}

std::vector<TFilterField> FilterFieldsOf(db::DataSet& dataset) {
  std::vector<TFilterField> fields;
  fields.reserve(static_cast<std::size_t>(dataset.FieldCount()));
  for (int i = 0; i < dataset.FieldCount(); ++i) {
    const db::Field& field = dataset.Fields(i);
    fields.push_back({field.FieldName(), field.DataType(), field.Size()});
  }
  return fields;
}

bool TFilterResult::Accepted() const {
  switch (Type) {
    case TExpressionType::etBoolean:
      return Boolean;
    case TExpressionType::etInteger:
    case TExpressionType::etLargeInt:
      return Integer != 0;
    case TExpressionType::etFloat:
    case TExpressionType::etDateTime:
      return Float != 0.0;
    case TExpressionType::etString:
      return !Text.empty() && Text.front() != '\0';
  }
  return false;
}

namespace {

// The variable type of a field type; false for the types filters cannot read.
bool VariableType(db::FieldType type, TExpressionType& out) {
  switch (type) {
    case db::FieldType::ftString:
      out = TExpressionType::etString;
      return true;
    case db::FieldType::ftSmallint:
    case db::FieldType::ftInteger:
    case db::FieldType::ftAutoInc:
      out = TExpressionType::etInteger;
      return true;
    case db::FieldType::ftBoolean:
      out = TExpressionType::etBoolean;
      return true;
    case db::FieldType::ftFloat:
      out = TExpressionType::etFloat;
      return true;
    case db::FieldType::ftDate:
    case db::FieldType::ftDateTime:
      out = TExpressionType::etDateTime;
      return true;
    case db::FieldType::ftLargeint:
      out = TExpressionType::etLargeInt;
      return true;
    default:
      return false;
  }
}

// A null field reads as the empty text, 0, 0.0 or false; a text ends at its
// first zero byte.
void Refresh(TFieldVar& var, const TFilterValueSource& source) {
  db::FieldData data;
  if (!source(var.FieldIndex, data)) data = db::FieldData();
  if (var.ValueType == TExpressionType::etString && !data.s.empty()) {
    const void* zero = std::memchr(data.s.data(), '\0', data.s.size());
    if (zero != nullptr) data.s = data.s.substr(0, static_cast<const char*>(zero) - data.s.data());
  }
  var.Value = data;
}

}  // namespace

TVoBufDatasetParser::TVoBufDatasetParser(std::vector<TFilterField> fields)
    : fields_(std::move(fields)) {}

TVoBufDatasetParser::~TVoBufDatasetParser() = default;

void TVoBufDatasetParser::SetCaseInsensitive(bool value) {
  if (value == case_insensitive_) return;
  case_insensitive_ = value;
  FillExpressList();
}

void TVoBufDatasetParser::SetPartialMatch(bool value) {
  if (value == partial_match_) return;
  partial_match_ = value;
  FillExpressList();
}

void TVoBufDatasetParser::FillExpressList() {
  std::string text = current_expression_;
  ClearExpressions();
  if (!text.empty()) CompileFilter(text);
}

void TVoBufDatasetParser::ClearExpressions() {
  root_.reset();
  result_ = TFilterResult();  // its text may have viewed the dropped tree
  field_vars_.clear();
  current_expression_.clear();
}

int TVoBufDatasetParser::HandleUnknownVariable(std::string_view name) {
  int field_index = -1;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (rtl::SameText(fields_[i].Name, name)) {
      field_index = static_cast<int>(i);
      break;
    }
  }
  if (field_index < 0) throw db::DatabaseError(db::FormatMessage(kSUnknownField, {name}));
  for (std::size_t i = 0; i < field_vars_.size(); ++i) {
    if (field_vars_[i].FieldIndex == field_index) return static_cast<int>(i);
  }
  const TFilterField& field = fields_[static_cast<std::size_t>(field_index)];
  TFieldVar var;
  if (!VariableType(field.DataType, var.ValueType)) {
    throw db::DatabaseError(
        db::FormatMessage(kSInvalidFieldType, {field.Name, db::FieldTypeName(field.DataType)}));
  }
  var.FieldName = field.Name;
  var.FieldIndex = field_index;
  field_vars_.push_back(std::move(var));
  return static_cast<int>(field_vars_.size()) - 1;
}

void TVoBufDatasetParser::CompileFilter(std::string_view text) {
  ClearExpressions();
  try {
    is_expression_ = true;
    for (const TFilterField& field : fields_) {
      if (rtl::SameText(field.Name, text)) is_expression_ = false;
    }
    if (is_expression_) {
      vofilter::SyntaxOptions options{case_insensitive_, partial_match_};
      vofilter::VariableBinder bind = [this](std::string_view name) {
        int index = HandleUnknownVariable(name);
        return vofilter::BoundVariable{index,
                                       field_vars_[static_cast<std::size_t>(index)].ValueType};
      };
      root_ = vofilter::ParseExpression(text, options, bind);
      if (root_->type == TExpressionType::etString) {
        // Measured with every field null, so the verdict on a text's length
        // does not depend on whichever record happens to be current.
        const TFilterValueSource all_null = [](int, db::FieldData&) { return false; };
        for (TFieldVar& var : field_vars_) Refresh(var, all_null);
        result_length_ = static_cast<int>(vofilter::EvalText(*root_, field_vars_).size());
      }
    } else {
      int index = HandleUnknownVariable(text);
      root_ = std::make_unique<vofilter::Node>();
      root_->kind = vofilter::NodeKind::kVariable;
      root_->variable = index;
      root_->type = field_vars_[static_cast<std::size_t>(index)].ValueType;
      field_type_ = root_->type;
      if (field_type_ == TExpressionType::etString) {
        result_length_ = fields_[static_cast<std::size_t>(field_vars_[0].FieldIndex)].Size;
      }
    }
    result_type_ = root_->type;
    switch (result_type_) {
      case TExpressionType::etBoolean:
        result_length_ = 1;
        break;
      case TExpressionType::etInteger:
        result_length_ = 4;
        break;
      case TExpressionType::etLargeInt:
      case TExpressionType::etFloat:
      case TExpressionType::etDateTime:
        result_length_ = 8;
        break;
      case TExpressionType::etString:
        break;
    }
    if (result_length_ > kMaxResultLength) {
      throw db::DatabaseError(
          db::FormatMessage(kSResultTooLong, {text, rtl::IntToText(result_length_)}));
    }
    current_expression_.assign(text);
  } catch (...) {
    ClearExpressions();
    throw;
  }
}

const TFilterResult& TVoBufDatasetParser::EvaluateRecord(const TFilterValueSource& source) {
  if (root_ == nullptr) return result_;
  for (TFieldVar& var : field_vars_) Refresh(var, source);
  result_.Type = root_->type;
  switch (root_->type) {
    case TExpressionType::etBoolean:
      result_.Boolean = vofilter::EvalBool(*root_, field_vars_);
      break;
    case TExpressionType::etInteger:
    case TExpressionType::etLargeInt:
      result_.Integer = vofilter::EvalInt(*root_, field_vars_);
      break;
    case TExpressionType::etFloat:
    case TExpressionType::etDateTime:
      result_.Float = vofilter::EvalFloat(*root_, field_vars_);
      break;
    case TExpressionType::etString:
      result_.Text = vofilter::EvalText(*root_, field_vars_);
      break;
  }
  return result_;
}

std::string TVoBufDatasetParser::ToString() const {
  return root_ == nullptr ? std::string() : vofilter::NodeToString(*root_, field_vars_);
}

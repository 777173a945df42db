// A field object: one column of a dataset as the program reads and writes it,
// with conversions between the field's own type and text, whole numbers,
// floating numbers, truth values, date serials and variants. A field reads the
// dataset's active record (the current record, or the record being edited) and
// writes through the dataset, which checks that it is in the edit or insert state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/FieldDefs.h"
#include "db/FieldType.h"
#include "rtl/Variant.h"

namespace db {

class DataSet;

// One field's value as a dataset stores it; which member counts follows the
// field's storage kind. `s` views bytes that the dataset owns: valid until the
// dataset changes.
struct FieldData {
  std::int64_t i = 0;  // kInteger; kBcd (value x 10000); kBoolean (0 or 1)
  double f = 0.0;      // kFloat; kDateTime (date serial)
  std::string_view s;  // kText; kBytes
};

class Field {
 public:
  // Made by the dataset from a definition; the dataset owns it.
  Field(DataSet& dataset, const FieldDef& def);
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  DataSet& GetDataSet() const { return dataset_; }
  const std::string& FieldName() const { return name_; }
  // The field name: this framework has no separate display label.
  const std::string& DisplayName() const { return name_; }
  FieldType DataType() const { return type_; }
  StorageKind Kind() const { return kind_; }
  int Size() const { return size_; }
  // 1-based position of the field's definition in the dataset's FieldDefs; 0
  // while the dataset is closed and the field is not bound.
  int FieldNo() const { return field_no_; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  // Display format of float fields ("0.00", "#,##0.###"): used by DisplayText only.
  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(std::string format) { display_format_ = std::move(format); }

  // Reading. A null field (or no active record) reads as "", 0, 0.0, false and a
  // null variant. A value that has no form of the asked kind ("abc" as an
  // integer) throws ConversionError.
  bool IsNull() const;
  std::string AsString() const;
  // Appends AsString's text to `out`; a text is copied once, straight from
  // the dataset's bytes (a writer of many values saves a string per value).
  void AppendAsString(std::string& out) const;
  std::int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;
  double AsDateTime() const;  // date serial
  rtl::Variant Value() const;
  // The value the field had before the active record's logged changes, read in
  // the dataset's old-value state; null when the dataset keeps no old value for
  // the record (or is closed).
  rtl::Variant OldValue() const;
  // AsString, except that a float field with a display format is formatted by it.
  std::string DisplayText() const;

  // Writing, in the edit or insert state only (DatabaseError otherwise, and for a
  // read-only field), or in the filter state into a dataset's search record.
  // Text is cut at the field's size, except in the filter state; an empty text
  // makes a non-text field null; a value the type cannot hold throws
  // ConversionError and changes nothing.
  void SetAsString(std::string_view value);
  void SetAsInteger(std::int64_t value);
  void SetAsFloat(double value);
  void SetAsBoolean(bool value);
  void SetAsDateTime(double value);
  // Null or empty clears; text, numbers, truth values and dates go through the
  // setters above.
  void SetValue(const rtl::Variant& value);
  void Clear();

  // Raised after each write of the field's value (not for the dataset's own
  // temporary states).
  std::function<void(Field&)> OnChange;

 private:
  friend class DataSet;

  bool Read(FieldData& data) const;
  void Write(const FieldData& data);
  void WriteInteger(std::int64_t value);
  void WriteText(std::string_view text);
  [[noreturn]] void ThrowInvalid(std::string_view text, std::string_view kind) const;

  DataSet& dataset_;
  std::string name_;
  FieldType type_;
  StorageKind kind_;
  int size_;
  int field_no_ = 0;
  bool required_;
  bool read_only_;
  std::string display_format_;
};

// Date serial to "yyyy-mm-dd", "hh:mm:ss" or "yyyy-mm-dd hh:mm:ss" by the field
// type (date, time, the others; a date-time at midnight is written as a date);
// and back, accepting "yyyy-mm-dd", "hh:mm[:ss]" and the two joined by a blank.
// ParseDateTimeText returns false on anything else.
std::string DateTimeToText(FieldType type, double serial);
bool ParseDateTimeText(std::string_view text, double& serial);

// The float display format: up to three sections "positive;negative;zero" of
// digit placeholders "0" (always a digit) and "#" (a digit when significant), one
// "." (decimal separator) and "," (group the thousands), with literal text
// before and after them (quoted or not). The process-wide separators are used.
// An empty format gives the general number text.
std::string FormatFloat(std::string_view format, double value);

}  // namespace db

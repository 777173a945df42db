// Field objects: reading and writing one column of the active record with the
// conversions between the field's type and the program's value kinds.
#include "db/Field.h"

#include <cmath>
#include <limits>

#include "db/DataSet.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace db {

namespace {

constexpr std::int64_t kBcdScale = 10000;

// The exact decimal text of a fixed-point value: 123450 -> "12.345".
std::string BcdToText(std::int64_t scaled) {
  bool negative = scaled < 0;
  // Through unsigned so that the most negative value has a magnitude too.
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / kBcdScale);
  std::uint64_t fraction = magnitude % kBcdScale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction + kBcdScale).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += rtl::DecimalSeparator();
    text += digits;
  }
  return text;
}

bool FloatToBcd(double value, std::int64_t& scaled) {
  double product = std::round(value * kBcdScale);
  // 2^63 is exactly representable; anything from it up does not fit.
  if (!(product > -9223372036854775808.0 && product < 9223372036854775808.0)) return false;
  scaled = static_cast<std::int64_t>(product);
  return true;
}

bool IntegerFits(FieldType type, std::int64_t value) {
  switch (type) {
    case FieldType::ftSmallint:
      return value >= -32768 && value <= 32767;
    case FieldType::ftWord:
      return value >= 0 && value <= 65535;
    case FieldType::ftInteger:
    case FieldType::ftAutoInc:
      return value >= std::numeric_limits<std::int32_t>::min() &&
             value <= std::numeric_limits<std::int32_t>::max();
    default:
      return true;
  }
}

// Cuts a text at the field's size: bytes for 8-bit string types, characters
// (UTF-8 sequences) for the wide ones.
std::string_view CutText(std::string_view text, FieldType type, int size) {
  std::size_t limit = size > 0 ? static_cast<std::size_t>(size) : 0;
  if (!IsWideType(type)) return text.substr(0, std::min(limit, text.size()));
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == limit) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

}  // namespace

Field::Field(DataSet& dataset, const FieldDef& def)
    : dataset_(dataset),
      name_(def.Name),
      type_(def.DataType),
      kind_(StorageOf(def.DataType)),
      size_(def.Size),
      required_(def.Required),
      read_only_(def.ReadOnly) {}

bool Field::Read(FieldData& data) const { return dataset_.ReadFieldData(*this, data); }

void Field::Write(const FieldData& data) { dataset_.WriteFieldData(*this, &data); }

void Field::Clear() { dataset_.WriteFieldData(*this, nullptr); }

void Field::ThrowInvalid(std::string_view text, std::string_view kind) const {
  throw ConversionError(
      PrefixedMessage(dataset_.Name(), FormatMessage(kSInvalidValue, {text, kind, DisplayName()})));
}

bool Field::IsNull() const {
  FieldData data;
  return !Read(data);
}

std::string Field::AsString() const {
  FieldData data;
  if (!Read(data)) return {};
  switch (kind_) {
    case StorageKind::kText:
    case StorageKind::kBytes:
      return std::string(data.s);
    case StorageKind::kInteger:
      return rtl::IntToText(data.i);
    case StorageKind::kFloat:
      return rtl::FloatToText(data.f);
    case StorageKind::kDateTime:
      return DateTimeToText(type_, data.f);
    case StorageKind::kBcd:
      return BcdToText(data.i);
    case StorageKind::kBoolean:
      return rtl::BoolToText(data.i != 0);
  }
  return {};
}

void Field::AppendAsString(std::string& out) const {
  if (kind_ == StorageKind::kText || kind_ == StorageKind::kBytes) {
    FieldData data;
    if (Read(data)) out.append(data.s);
    return;
  }
  out += AsString();
}

std::int64_t Field::AsInteger() const {
  FieldData data;
  if (!Read(data)) return 0;
  switch (kind_) {
    case StorageKind::kInteger:
    case StorageKind::kBoolean:
      return data.i;
    case StorageKind::kBcd:
      return data.i / kBcdScale;
    case StorageKind::kFloat:
    case StorageKind::kDateTime: {
      auto value = rtl::FloatToInt64(data.f);
      if (!value) ThrowInvalid(rtl::FloatToText(data.f), "integer");
      return *value;
    }
    case StorageKind::kText:
    case StorageKind::kBytes: {
      auto value = rtl::TextToInt64(data.s);
      if (!value) ThrowInvalid(data.s, "integer");
      return *value;
    }
  }
  return 0;
}

double Field::AsFloat() const {
  FieldData data;
  if (!Read(data)) return 0.0;
  switch (kind_) {
    case StorageKind::kInteger:
    case StorageKind::kBoolean:
      return static_cast<double>(data.i);
    case StorageKind::kBcd:
      return static_cast<double>(data.i) / kBcdScale;
    case StorageKind::kFloat:
    case StorageKind::kDateTime:
      return data.f;
    case StorageKind::kText:
    case StorageKind::kBytes: {
      auto value = rtl::TextToFloat(data.s);
      if (!value) ThrowInvalid(data.s, "float");
      return *value;
    }
  }
  return 0.0;
}

bool Field::AsBoolean() const {
  FieldData data;
  if (!Read(data)) return false;
  switch (kind_) {
    case StorageKind::kInteger:
    case StorageKind::kBoolean:
    case StorageKind::kBcd:
      return data.i != 0;
    case StorageKind::kFloat:
    case StorageKind::kDateTime:
      return data.f != 0.0;
    case StorageKind::kText:
    case StorageKind::kBytes: {
      auto value = rtl::TextToBool(data.s);
      if (!value) ThrowInvalid(data.s, "boolean");
      return *value;
    }
  }
  return false;
}

double Field::AsDateTime() const {
  FieldData data;
  if (!Read(data)) return 0.0;
  switch (kind_) {
    case StorageKind::kFloat:
    case StorageKind::kDateTime:
      return data.f;
    case StorageKind::kInteger:
      return static_cast<double>(data.i);
    case StorageKind::kBcd:
      return static_cast<double>(data.i) / kBcdScale;
    case StorageKind::kText:
    case StorageKind::kBytes: {
      double serial = 0.0;
      if (!ParseDateTimeText(data.s, serial)) ThrowInvalid(data.s, "date");
      return serial;
    }
    case StorageKind::kBoolean:
      ThrowInvalid(rtl::BoolToText(data.i != 0), "date");
  }
  return 0.0;
}

rtl::Variant Field::Value() const {
  FieldData data;
  if (!Read(data)) return rtl::Variant::Null();
  switch (kind_) {
    case StorageKind::kText:
    case StorageKind::kBytes:
      return rtl::Variant::Text(data.s);
    case StorageKind::kInteger:
      return rtl::Variant::Int(data.i);
    case StorageKind::kFloat:
      return rtl::Variant::Float(data.f);
    case StorageKind::kDateTime:
      return rtl::Variant::Date(data.f);
    case StorageKind::kBcd:
      return rtl::Variant::Float(static_cast<double>(data.i) / kBcdScale);
    case StorageKind::kBoolean:
      return rtl::Variant::Bool(data.i != 0);
  }
  return rtl::Variant::Null();
}

rtl::Variant Field::OldValue() const {
  if (!dataset_.Active()) return rtl::Variant::Null();
  DataSetState previous = dataset_.SetTempState(DataSetState::kOldValue);
  try {
    rtl::Variant value = Value();
    dataset_.RestoreState(previous);
    return value;
  } catch (...) {
    dataset_.RestoreState(previous);
    throw;
  }
}

std::string Field::DisplayText() const {
  if (kind_ == StorageKind::kFloat && !display_format_.empty()) {
    FieldData data;
    if (!Read(data)) return {};
    return FormatFloat(display_format_, data.f);
  }
  return AsString();
}

void Field::WriteText(std::string_view text) {
  FieldData data;
  // A search key is written in the filter state and kept whole: cut to the
  // field's size, "abcdefgh" would find "abcde".
  bool cut = kind_ == StorageKind::kText && dataset_.State() != DataSetState::kFilter;
  data.s = cut ? CutText(text, type_, size_) : text;
  Write(data);
}

void Field::WriteInteger(std::int64_t value) {
  if (!IntegerFits(type_, value)) {
    throw ConversionError(PrefixedMessage(
        dataset_.Name(), FormatMessage(kSOutOfRange, {rtl::IntToText(value), DisplayName()})));
  }
  FieldData data;
  data.i = value;
  Write(data);
}

void Field::SetAsString(std::string_view value) {
  if (kind_ == StorageKind::kText || kind_ == StorageKind::kBytes) {
    WriteText(value);
    return;
  }
  if (value.empty()) {
    Clear();
    return;
  }
  switch (kind_) {
    case StorageKind::kInteger: {
      auto number = rtl::TextToInt64(value);
      if (!number) ThrowInvalid(value, "integer");
      WriteInteger(*number);
      return;
    }
    case StorageKind::kFloat:
    case StorageKind::kBcd: {
      auto number = rtl::TextToFloat(value);
      if (!number) ThrowInvalid(value, "float");
      SetAsFloat(*number);
      return;
    }
    case StorageKind::kBoolean: {
      auto truth = rtl::TextToBool(value);
      if (!truth) ThrowInvalid(value, "boolean");
      SetAsBoolean(*truth);
      return;
    }
    case StorageKind::kDateTime: {
      double serial = 0.0;
      if (!ParseDateTimeText(value, serial)) ThrowInvalid(value, "date");
      SetAsDateTime(serial);
      return;
    }
    default:
      return;
  }
}

void Field::SetAsInteger(std::int64_t value) {
  switch (kind_) {
    case StorageKind::kInteger:
      WriteInteger(value);
      return;
    case StorageKind::kBoolean: {
      FieldData data;
      data.i = value != 0 ? 1 : 0;
      Write(data);
      return;
    }
    case StorageKind::kBcd:
      if (value > std::numeric_limits<std::int64_t>::max() / kBcdScale ||
          value < std::numeric_limits<std::int64_t>::min() / kBcdScale) {
        throw ConversionError(PrefixedMessage(
            dataset_.Name(), FormatMessage(kSOutOfRange, {rtl::IntToText(value), DisplayName()})));
      } else {
        FieldData data;
        data.i = value * kBcdScale;
        Write(data);
      }
      return;
    case StorageKind::kFloat:
    case StorageKind::kDateTime: {
      FieldData data;
      data.f = static_cast<double>(value);
      Write(data);
      return;
    }
    case StorageKind::kText:
    case StorageKind::kBytes:
      WriteText(rtl::IntToText(value));
      return;
  }
}

void Field::SetAsFloat(double value) {
  switch (kind_) {
    case StorageKind::kInteger: {
      auto number = rtl::FloatToInt64(value);
      if (!number) ThrowInvalid(rtl::FloatToText(value), "integer");
      WriteInteger(*number);
      return;
    }
    case StorageKind::kBoolean:
      SetAsInteger(value != 0.0 ? 1 : 0);
      return;
    case StorageKind::kBcd: {
      FieldData data;
      if (!FloatToBcd(value, data.i)) {
        throw ConversionError(
            PrefixedMessage(dataset_.Name(),
                            FormatMessage(kSOutOfRange, {rtl::FloatToText(value), DisplayName()})));
      }
      Write(data);
      return;
    }
    case StorageKind::kFloat:
    case StorageKind::kDateTime: {
      FieldData data;
      data.f = value;
      Write(data);
      return;
    }
    case StorageKind::kText:
    case StorageKind::kBytes:
      WriteText(rtl::FloatToText(value));
      return;
  }
}

void Field::SetAsBoolean(bool value) {
  switch (kind_) {
    case StorageKind::kText:
    case StorageKind::kBytes:
      WriteText(rtl::BoolToText(value));
      return;
    case StorageKind::kFloat:
    case StorageKind::kDateTime:
    case StorageKind::kBcd:
      SetAsFloat(value ? 1.0 : 0.0);
      return;
    case StorageKind::kInteger:
    case StorageKind::kBoolean:
      SetAsInteger(value ? 1 : 0);
      return;
  }
}

void Field::SetAsDateTime(double value) {
  switch (kind_) {
    case StorageKind::kText:
    case StorageKind::kBytes:
      WriteText(DateTimeToText(type_, value));
      return;
    case StorageKind::kBoolean:
      ThrowInvalid(rtl::FloatToText(value), "boolean");
    default:
      SetAsFloat(value);
      return;
  }
}

void Field::SetValue(const rtl::Variant& value) {
  switch (value.type) {
    case rtl::VarType::kEmpty:
    case rtl::VarType::kNull:
      Clear();
      return;
    case rtl::VarType::kText:
      SetAsString(value.s);
      return;
    case rtl::VarType::kFloat:
      SetAsFloat(value.f);
      return;
    case rtl::VarType::kInt:
      SetAsInteger(value.i);
      return;
    case rtl::VarType::kBool:
      SetAsBoolean(value.b);
      return;
    case rtl::VarType::kDate:
      SetAsDateTime(value.f);
      return;
  }
}

}  // namespace db

// Names and storage classes of the field types.
#include "db/FieldType.h"

#include <array>

namespace db {

namespace {

constexpr std::array<std::string_view, 40> kTypeNames = {
    "Unknown",     "String",    "Smallint",  "Integer",       "Word",     "Boolean",    "Float",
    "Currency",    "BCD",       "Date",      "Time",          "DateTime", "Bytes",      "VarBytes",
    "AutoInc",     "Blob",      "Memo",      "Graphic",       "FmtMemo",  "ParadoxOle", "DBaseOle",
    "TypedBinary", "Cursor",    "FixedChar", "WideString",    "Largeint", "ADT",        "Array",
    "Reference",   "DataSet",   "OraBlob",   "OraClob",       "Variant",  "Interface",  "IDispatch",
    "Guid",        "TimeStamp", "FMTBcd",    "FixedWideChar", "WideMemo",
};

}  // namespace

std::string_view FieldTypeName(FieldType type) {
  auto index = static_cast<std::size_t>(type);
  return index < kTypeNames.size() ? kTypeNames[index] : kTypeNames[0];
}

StorageKind StorageOf(FieldType type) {
  switch (type) {
    case FieldType::ftString:
    case FieldType::ftFixedChar:
    case FieldType::ftGuid:
    case FieldType::ftWideString:
    case FieldType::ftFixedWideChar:
      return StorageKind::kText;
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftAutoInc:
    case FieldType::ftLargeint:
      return StorageKind::kInteger;
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
      return StorageKind::kFloat;
    case FieldType::ftDate:
    case FieldType::ftTime:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
      return StorageKind::kDateTime;
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
      return StorageKind::kBcd;
    case FieldType::ftBoolean:
      return StorageKind::kBoolean;
    default:
      return StorageKind::kBytes;
  }
}

bool IsBlobType(FieldType type) {
  switch (type) {
    case FieldType::ftBlob:
    case FieldType::ftMemo:
    case FieldType::ftGraphic:
    case FieldType::ftFmtMemo:
    case FieldType::ftParadoxOle:
    case FieldType::ftDBaseOle:
    case FieldType::ftTypedBinary:
    case FieldType::ftOraBlob:
    case FieldType::ftOraClob:
    case FieldType::ftWideMemo:
      return true;
    default:
      return false;
  }
}

bool IsWideType(FieldType type) {
  return type == FieldType::ftWideString || type == FieldType::ftFixedWideChar;
}

bool IsStringType(FieldType type) {
  return type == FieldType::ftString || type == FieldType::ftFixedChar || IsWideType(type);
}

}  // namespace db

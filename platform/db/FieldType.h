// The field types of the dataset framework, in the framework's order (their names
// appear in messages), and how a value of each type is held in memory.
#pragma once

#include <cstdint>
#include <string_view>

namespace db {

enum class FieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
};

// "String", "Smallint", ... ("Unknown" for a value outside the list).
std::string_view FieldTypeName(FieldType type);

// How a value is held. Every kind but kText and kBytes has a fixed width.
enum class StorageKind : std::uint8_t {
  kText,      // characters, cut at the field's size
  kInteger,   // 64-bit whole number (range-checked per type on write)
  kFloat,     // double
  kDateTime,  // date serial as a double (days since 1899-12-30)
  kBcd,       // fixed point: the value times 10000 in 64 bits
  kBoolean,
  kBytes,  // blobs, memos and every type without a value form of its own
};

StorageKind StorageOf(FieldType type);

// Blob, memo and graphic types: the ones read and written through blob streams.
bool IsBlobType(FieldType type);

// String types whose size counts characters of two bytes in the framework's
// terms; their values are cut at Size characters, not bytes.
bool IsWideType(FieldType type);
// The string kinds: ftString, ftFixedChar, ftWideString and ftFixedWideChar
// (not the memos).
bool IsStringType(FieldType type);

}  // namespace db

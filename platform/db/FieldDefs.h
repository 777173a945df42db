// Field definitions (name, type, size, flags) and their list, and index
// definitions and their list. Field names are unique without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/FieldType.h"

namespace db {

struct FieldDef {
  std::string Name;
  FieldType DataType = FieldType::ftUnknown;
  int Size = 0;  // characters for string types; unused by the others
  bool Required = false;
  int Precision = 0;
  bool ReadOnly = false;
};

class FieldDefList {
 public:
  // Appends a definition. Throws DatabaseError "Duplicate name '<name>' in TFieldDefs"
  // when a definition of that name exists, in any letter case. The reference stays
  // valid until the next Add or Clear.
  FieldDef& Add(std::string_view name, FieldType type, int size = 0, bool required = false);
  FieldDef& Add(const FieldDef& def);

  void Clear() { defs_.clear(); }
  int Count() const { return static_cast<int>(defs_.size()); }
  FieldDef& operator[](int index) { return defs_[static_cast<std::size_t>(index)]; }
  const FieldDef& operator[](int index) const { return defs_[static_cast<std::size_t>(index)]; }

  // Position of the definition named `name` in any letter case; -1 when absent.
  int IndexOf(std::string_view name) const;
  const FieldDef* Find(std::string_view name) const;

  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

 private:
  std::vector<FieldDef> defs_;
};

// Index options, combined as bits.
using IndexOptions = unsigned;
inline constexpr IndexOptions ixPrimary = 1;
inline constexpr IndexOptions ixUnique = 2;
inline constexpr IndexOptions ixDescending = 4;
inline constexpr IndexOptions ixCaseInsensitive = 8;
inline constexpr IndexOptions ixExpression = 16;
inline constexpr IndexOptions ixNonMaintained = 32;

struct IndexDef {
  std::string Name;
  std::string Fields;         // key field names separated by ";"
  std::string DescFields;     // those of them sorted descending
  std::string CaseInsFields;  // those of them compared without regard to case
  IndexOptions Options = 0;
};

class IndexDefList {
 public:
  IndexDef& Add(IndexDef def) {
    defs_.push_back(std::move(def));
    return defs_.back();
  }
  void Clear() { defs_.clear(); }
  int Count() const { return static_cast<int>(defs_.size()); }
  const IndexDef& operator[](int index) const { return defs_[static_cast<std::size_t>(index)]; }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

 private:
  std::vector<IndexDef> defs_;
};

// Splits a ";"-separated name list; empty names are dropped ("a;;b" gives a, b).
std::vector<std::string> SplitFieldNames(std::string_view names);

}  // namespace db

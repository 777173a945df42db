// Cells, rows and record sets held in memory, and the output-column list of a
// statement. The text-table file (reading, writing, splitting, cell encoding)
// is in vekSQL_files.cpp.
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "Locale.h"
#include "vekSQL.h"

namespace vek {

namespace {

[[noreturn]] void ThrowListIndex(int index) {
  throw std::out_of_range("List index (" + std::to_string(index) + ") out of bounds");
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

char AsciiFold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Column names compare ignoring case under the locale. Pure-ASCII names (nearly
// all of them) are compared byte by byte without building upper-cased copies.
bool SameName(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (AsciiFold(a[i]) != AsciiFold(b[i])) return false;
    }
    return true;
  }
  return rtl::AnsiSameText(a, b);
}

// Empty items before the first non-empty one leave no trace: names "", "", "a",
// "", "b" give "a;;b".
template <typename NameOf>
std::string JoinNames(std::size_t count, NameOf name_of) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (!out.empty()) out += ';';
    out += name_of(i);
  }
  return out;
}

}  // namespace

// ---- TvekSQLRecordField ----------------------------------------------------

void TvekSQLRecordField::assign_new(std::string_view text) {
  const std::size_t n = text.size();
  if (n <= kInlineMax) {
    if (n != 0) std::memcpy(inline_, text.data(), n);
    inline_[kInlineMax] = static_cast<char>(kInlineMax - n);
    return;
  }
  if (n > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("A cell value cannot exceed 4 GiB");
  }
  char* block = std::allocator<char>().allocate(n);
  std::memcpy(block, text.data(), n);
  heap_.ptr = block;
  heap_.len = static_cast<std::uint32_t>(n);
  heap_.tag = static_cast<char>(kHeapTag);
}

void TvekSQLRecordField::release() {
  if (is_heap()) {
    std::allocator<char>().deallocate(heap_.ptr, heap_.len);
    clear_inline();
  }
}

TvekSQLRecordField::TvekSQLRecordField(TvekSQLRecordField&& other) noexcept {
  std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(*this));
  other.clear_inline();
}

TvekSQLRecordField& TvekSQLRecordField::operator=(const TvekSQLRecordField& other) {
  if (this != &other) SetValue(other.value());
  return *this;
}

TvekSQLRecordField& TvekSQLRecordField::operator=(TvekSQLRecordField&& other) noexcept {
  if (this != &other) {
    release();
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(*this));
    other.clear_inline();
  }
  return *this;
}

// `text` may point into this very cell (a cell set to a part of itself), so the
// old storage is given up only after the new text is safely copied.
void TvekSQLRecordField::SetValue(std::string_view text) {
  const std::size_t n = text.size();
  if (n <= kInlineMax) {
    char copy[kInlineMax];
    if (n != 0) std::memcpy(copy, text.data(), n);
    release();
    if (n != 0) std::memcpy(inline_, copy, n);
    inline_[kInlineMax] = static_cast<char>(kInlineMax - n);
  } else if (is_heap() && heap_.len == n) {
    std::memmove(heap_.ptr, text.data(), n);
  } else {
    TvekSQLRecordField fresh(text);
    *this = std::move(fresh);
  }
}

// ---- TvekRecord --------------------------------------------------------------

TvekSQLRecordField& TvekRecord::GetField(int index) {
  if (index == -1 || index >= FieldCount()) throw EFieldCount(FieldCount());
  if (index < 0) ThrowListIndex(index);
  return Fields[index];
}

void TvekRecord::SetCell(int index, std::string_view value) {
  if (index < 0) ThrowListIndex(index);
  if (index >= FieldCount()) Fields.resize(static_cast<std::size_t>(index) + 1);
  Fields[index].SetValue(value);
}

bool TvekRecord::DeleteField(int index) {
  if (index < 0 || index >= FieldCount()) return false;
  Fields.erase(Fields.begin() + index);
  return true;
}

// ---- TvekRecordSet -----------------------------------------------------------

bool TvekRecordSet::AddField(std::string_view name, std::string_view value) {
  if (FieldIndex(name) >= 0) return false;
  const std::size_t column = FieldNames.size();
  FieldNames.emplace_back(name);
  // The new cell goes to the column's index: a short row is padded up to it, and
  // in a row longer than the header the surplus cells move one to the right.
  for (TvekRecord& row : Records) {
    if (row.Fields.size() < column) row.Fields.resize(column);
    row.Fields.emplace(row.Fields.begin() + column, value);
  }
  Modified = true;
  return true;
}

bool TvekRecordSet::DeleteField(int index) {
  if (index < 0 || index >= FieldCount()) return false;
  FieldNames.erase(FieldNames.begin() + index);
  if (index < static_cast<int>(Aggregates.size())) Aggregates.erase(Aggregates.begin() + index);
  for (TvekRecord& row : Records) row.DeleteField(index);
  if (!Records.empty()) Modified = true;
  return true;
}

bool TvekRecordSet::DeleteField(std::string_view name) {
  const int index = FieldIndex(name);
  return index >= 0 && DeleteField(index);
}

int TvekRecordSet::AddRecord() {
  TvekRecord& row = Records.emplace_back();
  row.Fields.resize(FieldNames.size());
  if (!FieldNames.empty()) Modified = true;
  return RecordCount() - 1;
}

void TvekRecordSet::DeleteRecord(int index) {
  if (index < 0 || index >= RecordCount()) return;
  Records.erase(Records.begin() + index);
  Modified = true;
}

TvekRecord* TvekRecordSet::GetRecord(int index) {
  if (Records.empty()) return nullptr;
  if (index < 0 || index >= RecordCount()) ThrowListIndex(index);
  return &Records[index];
}

int TvekRecordSet::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < FieldNames.size(); ++i) {
    if (SameName(FieldNames[i], name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TvekRecordSet::FieldList() const {
  return JoinNames(FieldNames.size(),
                   [&](std::size_t i) -> const std::string& { return FieldNames[i]; });
}

std::string TvekRecordSet::QualifiedFieldList() const {
  return JoinNames(FieldNames.size(), [&](std::size_t i) { return Name + "." + FieldNames[i]; });
}

void TvekRecordSet::Clear() {
  FieldNames.clear();
  Aggregates.clear();
  Records.clear();
}

// ---- TvekSQLOutput -------------------------------------------------------------

TvekSQLCalcField* TvekSQLOutput::AddField() {
  return Fields.emplace_back(std::make_unique<TvekSQLCalcField>()).get();
}

TvekSQLCalcField* TvekSQLOutput::GetField(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  return Fields[index].get();
}

std::string TvekSQLOutput::FieldNameList() const {
  return JoinNames(Fields.size(),
                   [&](std::size_t i) -> const std::string& { return Fields[i]->Name; });
}

}  // namespace vek

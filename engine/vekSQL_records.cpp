// Cells, rows and record sets held in memory, and the output-column list of a
// statement (it joins its names as a set joins its columns). The text-table
// format is in vekSQLTextTable.cpp, reading and writing files in vekSQL_files.cpp.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/vekSQLStatements.h"
#include "engine/vekSQLThreads.h"
#include "rtl/Text.h"

namespace vek {

namespace {

[[noreturn]] void ThrowListIndex(int index) {
  throw std::out_of_range("List index (" + std::to_string(index) + ") out of bounds");
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

// ---- Packed rows ---------------------------------------------------------------

void CheckRowBytes(std::size_t bytes) {
  if (bytes > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("A row cannot exceed 4 GiB");
  }
}

namespace {

// A row's own block starts with its capacity, so that a row rebuilt again and
// again (a grouping scratch row) can reuse it.
constexpr std::size_t kOwnedHeader = sizeof(std::size_t);

char* AllocateOwned(std::size_t size) {
  char* base = static_cast<char*>(::operator new(kOwnedHeader + size));
  std::memcpy(base, &size, sizeof size);
  return base + kOwnedHeader;
}

std::size_t OwnedCapacity(const char* block) {
  std::size_t capacity;
  std::memcpy(&capacity, block - kOwnedHeader, sizeof capacity);
  return capacity;
}

}  // namespace

void TvekRecord::Release() {
  if (owned_) ::operator delete(const_cast<char*>(block_) - kOwnedHeader);
  block_ = nullptr;
  count_ = 0;
  owned_ = false;
  narrow_ = false;
}

template <typename CellOf>
void TvekRecord::Rebuild(std::uint32_t count, CellOf cell_of) {
  if (count == 0) {
    const bool marked = Marked;
    Release();
    Marked = marked;
    return;
  }
  const std::size_t bytes = CellBytes(count, cell_of);
  char* block = AllocateOwned(PackedSize(count, bytes));
  PackCells(block, count, bytes, cell_of);
  const bool marked = Marked;
  Release();
  block_ = block;
  count_ = count;
  owned_ = true;
  narrow_ = NarrowEnds(bytes);
  Marked = marked;
}

TvekRecord::TvekRecord(const TvekRecord& other) : Marked(other.Marked) {
  if (other.count_ != 0) Rebuild(other.count_, [&](std::uint32_t i) { return other.Cell(i); });
}

TvekRecord::TvekRecord(TvekRecord&& other) noexcept
    : block_(other.block_),
      count_(other.count_),
      owned_(other.owned_),
      narrow_(other.narrow_),
      Marked(other.Marked) {
  other.block_ = nullptr;
  other.count_ = 0;
  other.owned_ = false;
  other.narrow_ = false;
}

TvekRecord& TvekRecord::operator=(const TvekRecord& other) {
  if (this != &other) {
    Rebuild(other.count_, [&](std::uint32_t i) { return other.Cell(i); });
    Marked = other.Marked;
  }
  return *this;
}

TvekRecord& TvekRecord::operator=(TvekRecord&& other) noexcept {
  if (this != &other) {
    Release();
    block_ = other.block_;
    count_ = other.count_;
    owned_ = other.owned_;
    narrow_ = other.narrow_;
    Marked = other.Marked;
    other.block_ = nullptr;
    other.count_ = 0;
    other.owned_ = false;
    other.narrow_ = false;
  }
  return *this;
}

TvekSQLRecordField TvekRecord::GetField(int index) const {
  if (index == -1 || index >= FieldCount()) throw EFieldCount(FieldCount());
  if (index < 0) ThrowListIndex(index);
  return TvekSQLRecordField(Cell(index));
}

void TvekRecord::AddField(std::string_view value) {
  const std::uint32_t n = count_;
  Rebuild(n + 1, [&](std::uint32_t i) { return i == n ? value : Cell(static_cast<int>(i)); });
}

void TvekRecord::SetCell(int index, std::string_view value) {
  if (index < 0) ThrowListIndex(index);
  const auto at = static_cast<std::uint32_t>(index);
  Rebuild(std::max(count_, at + 1),
          [&](std::uint32_t i) { return i == at ? value : Cell(static_cast<int>(i)); });
}

void TvekRecord::InsertField(int index, std::string_view value) {
  if (index < 0) ThrowListIndex(index);
  const auto at = static_cast<std::uint32_t>(index);
  Rebuild(std::max(count_, at) + 1, [&](std::uint32_t i) {
    if (i == at) return value;
    return Cell(static_cast<int>(i < at ? i : i - 1));
  });
}

bool TvekRecord::DeleteField(int index) {
  if (index < 0 || index >= FieldCount()) return false;
  const auto at = static_cast<std::uint32_t>(index);
  Rebuild(count_ - 1, [&](std::uint32_t i) { return Cell(static_cast<int>(i < at ? i : i + 1)); });
  return true;
}

void TvekRecord::Resize(int count) {
  if (count < 0) ThrowListIndex(count);
  if (static_cast<std::uint32_t>(count) == count_) return;
  Rebuild(static_cast<std::uint32_t>(count), [&](std::uint32_t i) { return Cell(static_cast<int>(i)); });
}

void TvekRecord::Assign(const std::vector<std::string_view>& cells) {
  const auto count = static_cast<std::uint32_t>(cells.size());
  const auto cell_of = [&](std::uint32_t i) { return cells[i]; };
  const std::size_t bytes = CellBytes(count, cell_of);
  const std::size_t size = PackedSize(count, bytes);
  const char* const own = block_;
  const auto inside_own = [&](std::string_view text) {
    return !text.empty() && text.data() < own + OwnedCapacity(own) && text.data() + text.size() > own;
  };
  if (owned_ && OwnedCapacity(own) >= size &&
      std::none_of(cells.begin(), cells.end(), inside_own)) {
    PackCells(const_cast<char*>(own), count, bytes, cell_of);
    count_ = count;
    narrow_ = NarrowEnds(bytes);
    return;
  }
  Rebuild(count, cell_of);
}

// ---- TvekRowStorage ------------------------------------------------------------

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void TvekRowStorage::BlockFree::operator()(char* block) const {
  if (huge) {
    ::operator delete(block, std::align_val_t{kHugePage});
  } else {
    delete[] block;
  }
}

char* TvekRowStorage::Allocate(std::size_t size, std::size_t alignment) {
  // Blocks start at least 4-byte aligned; a row starts at the next multiple of
  // its alignment (2 or 4).
  const std::uintptr_t misaligned = reinterpret_cast<std::uintptr_t>(cursor_) & (alignment - 1);
  const std::size_t pad = misaligned == 0 ? 0 : alignment - misaligned;
  if (static_cast<std::size_t>(limit_ - cursor_) < pad + size) {
    // Blocks grow with the set, so a small result stays small and a large table
    // is a few dozen blocks.
    std::size_t block_size = std::max(next_block_size_, size);
    next_block_size_ = std::min(next_block_size_ * 2, std::size_t{8} << 20);
    if (block_size < kHugePage) {
      blocks_.push_back(std::unique_ptr<char[], BlockFree>(new char[block_size]));
    } else {
      // Rows are written straight into a fresh block, so with 4 KiB pages a
      // large table's load spends much of its time in the kernel, one fault per
      // page. Whole aligned huge pages, with the advice asked of the kernel, take
      // one fault per 2 MiB, and every program using the engine gets them
      // without a setting of its own. Where the kernel gives no huge pages the
      // advice fails and nothing changes.
      block_size = (block_size + kHugePage - 1) & ~(kHugePage - 1);
      char* block = static_cast<char*>(::operator new(block_size, std::align_val_t{kHugePage}));
      blocks_.push_back(std::unique_ptr<char[], BlockFree>(block, BlockFree{true}));
      ::madvise(block, block_size, MADV_HUGEPAGE);
    }
    cursor_ = blocks_.back().get();
    limit_ = cursor_ + block_size;
  } else {
    cursor_ += pad;
  }
  char* block = cursor_;
  cursor_ += size;
  return block;
}

void TvekRowStorage::Adopt(TvekRowStorage& other) {
  if (&other == this) return;
  for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
  other.blocks_.clear();
  other.cursor_ = other.limit_ = nullptr;
}

void TvekRowStorage::Take(TvekRowStorage& other) noexcept {
  blocks_ = std::move(other.blocks_);
  cursor_ = other.cursor_;
  limit_ = other.limit_;
  next_block_size_ = other.next_block_size_;
  other.blocks_.clear();
  other.cursor_ = other.limit_ = nullptr;
}

void TvekRowStorage::Clear() { *this = TvekRowStorage(); }

void TvekRowStorage::Rewind() {
  if (blocks_.empty()) return;
  std::unique_ptr<char[], BlockFree> newest = std::move(blocks_.back());
  blocks_.clear();
  cursor_ = newest.get();  // limit_ stays the newest block's end
  blocks_.push_back(std::move(newest));
}

// ---- TvekRows ------------------------------------------------------------------

void TvekRows::Reorder(const std::vector<std::uint32_t>& order) {
  // Each row is moved once, by whichever part of the new order holds it.
  std::vector<Slot> ordered(order.size());
  ForEachPart(order.size(), std::size_t{1} << 17, [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) ordered[k] = std::move(slots_[order[k]]);
  });
  slots_.swap(ordered);
}

// ---- TvekRecordSet -----------------------------------------------------------

bool TvekRecordSet::AddField(std::string_view name, std::string_view value) {
  if (FieldIndex(name) >= 0) return false;
  const std::size_t column = FieldNames.size();
  FieldNames.emplace_back(name);
  // The new cell goes to the column's index: a short row is padded up to it, and
  // in a row longer than the header the surplus cells move one to the right.
  for (TvekRecord& row : Records) row.InsertField(static_cast<int>(column), value);
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
  Records.Append(storage_.Pack(static_cast<std::uint32_t>(FieldNames.size()),
                               [](std::uint32_t) { return std::string_view(); }));
  if (!FieldNames.empty()) Modified = true;
  return RecordCount() - 1;
}

TvekRecord& TvekRecordSet::AppendRow(const std::vector<std::string_view>& cells) {
  return Records.Append(storage_.Pack(static_cast<std::uint32_t>(cells.size()),
                                      [&](std::uint32_t i) { return cells[i]; }));
}

TvekRecord& TvekRecordSet::AppendRow(const TvekRecord& row) {
  return Records.Append(storage_.Copy(row));
}

void TvekRecordSet::MoveRowsFrom(TvekRecordSet& other) {
  if (&other == this) return;
  storage_.Adopt(other.storage_);
  // Sets taken over one after another grow the rows as appending one by one
  // would, not by exactly each set's rows.
  const std::size_t needed = Records.size() + other.Records.size();
  if (needed > Records.capacity()) Records.reserve(std::max(needed, 2 * Records.capacity()));
  for (TvekRows::Slot& slot : other.Records.slots_) Records.Append(std::move(slot.row));
  other.Records.clear();
}

void TvekRecordSet::ClearRecords() {
  Records.clear();
  storage_.Clear();
}

void TvekRecordSet::RewindRecords() {
  Records.clear();
  storage_.Rewind();
}

void TvekRecordSet::DeleteRecord(int index) {
  if (index < 0 || index >= RecordCount()) return;
  Records.erase(static_cast<std::size_t>(index));
  Modified = true;
}

TvekRecord* TvekRecordSet::GetRecord(int index) {
  if (Records.empty()) return nullptr;
  if (index < 0 || index >= RecordCount()) ThrowListIndex(index);
  return &Records[index];
}

int TvekRecordSet::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < FieldNames.size(); ++i) {
    if (rtl::SameText(FieldNames[i], name)) return static_cast<int>(i);
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
  ClearRecords();
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

// Records held in memory: a cell's text, rows packed into their record set's
// storage, and record sets (tables and results) with their columns. Reading
// and writing a set as a table file is in vekSQL_files.cpp.
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/vekSQLStatus.h"
#include "engine/vekSQLTokenizer.h"

namespace rtl {
class FileReader;
}

namespace vek {

// One cell's text on its own, as TvekRecord::GetField hands it out (rows keep
// their cells packed; see TvekRecord).
class TvekSQLRecordField {
 public:
  TvekSQLRecordField() = default;
  explicit TvekSQLRecordField(std::string_view text) : value_(text) {}
  TvekSQLRecordField(const TvekSQLRecordField&) = default;
  TvekSQLRecordField& operator=(const TvekSQLRecordField&) = default;
  // A cell moved from is empty; one moved onto itself keeps its text.
  TvekSQLRecordField(TvekSQLRecordField&& other) noexcept : value_(std::move(other.value_)) {
    other.value_.clear();
  }
  TvekSQLRecordField& operator=(TvekSQLRecordField&& other) noexcept {
    if (this != &other) {
      value_ = std::move(other.value_);
      other.value_.clear();
    }
    return *this;
  }

  std::string_view value() const { return value_; }
  void SetValue(std::string_view text) { value_.assign(text.data(), text.size()); }

 private:
  std::string value_;
};

// Raised by TvekRecord::GetField for an index outside the row: "fieldcount:" + count.
class EFieldCount : public std::runtime_error {
 public:
  explicit EFieldCount(int count) : std::runtime_error("fieldcount:" + std::to_string(count)) {}
};

class TvekRecordSet;
class TvekRowStorage;
class TableFileReader;

// A row. Its cells are packed in one block: the end offset of every cell (two
// bytes each while the cells' bytes fit, else four), then the cells' bytes one
// after the other. A row read from a file
// or made by a statement lives in its record set's storage; a row that is
// changed gets a block of its own, so only changed rows are ever copied and a
// table of a million rows costs a handful of allocations, not one per cell.
//
// A row that lives in a set's storage must not outlive it, so rows are never
// moved by their users: a copy has a block of its own, and rows change lists
// only inside their set (TvekRows) or together with the storage they point
// into (TvekRecordSet::MoveRowsFrom).
class TvekRecord {
 public:
  TvekRecord() = default;
  TvekRecord(const TvekRecord& other);  // an own copy of the cells
  TvekRecord& operator=(const TvekRecord& other);
  ~TvekRecord() { Release(); }

  int FieldCount() const { return static_cast<int>(count_); }
  // Throws EFieldCount for -1 or an index not below the count, std::out_of_range
  // for other negative indexes. The cell is a copy: change cells with SetCell.
  TvekSQLRecordField GetField(int index) const;
  // The text of a cell; "" for a cell the row does not have (a short row).
  std::string_view Cell(int index) const {
    if (index < 0 || static_cast<std::uint32_t>(index) >= count_) return {};
    return narrow_ ? CellOfBlock<std::uint16_t>(index) : CellOfBlock<std::uint32_t>(index);
  }
  void AddField(std::string_view value);
  // Stores into a cell, padding a short row with empty cells first.
  void SetCell(int index, std::string_view value);
  // Inserts a cell at `index`, padding a short row up to it first.
  void InsertField(int index, std::string_view value);
  bool DeleteField(int index);
  // Pads with empty cells or cuts to `count` cells.
  void Resize(int count);
  void ClearFields() { Release(); }
  // Replaces the cells by `cells`, reusing the row's own block when it fits and
  // none of the texts points into it.
  void Assign(const std::vector<std::string_view>& cells);

  // Asks the processor to fetch the row's cells, for a walk over rows that lie
  // all over memory (sorted rows) to overlap their cache misses.
  void Prefetch() const { __builtin_prefetch(block_); }

  // The row as a file line (cells encoded, joined with ";") and back.
  std::string GetRow() const;
  void SetRow(std::string_view line);

 private:
  friend class TvekRowStorage;
  friend class TvekRows;
  TvekRecord(const char* block, std::uint32_t count, bool narrow)
      : block_(block), count_(count), narrow_(narrow) {}
  TvekRecord(TvekRecord&& other) noexcept;
  TvekRecord& operator=(TvekRecord&& other) noexcept;
  // Gives the row a block of its own holding `count` cells, cell i being
  // cell_of(i). The old block is given up only afterwards, so the cells may be
  // read from the row itself.
  template <typename CellOf>
  void Rebuild(std::uint32_t count, CellOf cell_of);
  void Release();
  // The bytes of all the cells.
  std::size_t TotalBytes() const {
    if (count_ == 0) return 0;
    return narrow_ ? reinterpret_cast<const std::uint16_t*>(block_)[count_ - 1]
                   : reinterpret_cast<const std::uint32_t*>(block_)[count_ - 1];
  }
  template <typename End>
  std::string_view CellOfBlock(int index) const {
    const auto* ends = reinterpret_cast<const End*>(block_);
    const std::uint32_t start = index == 0 ? 0 : ends[index - 1];
    return {block_ + std::size_t{count_} * sizeof(End) + start, ends[index] - start};
  }

  const char* block_ = nullptr;
  std::uint32_t count_ = 0;
  bool owned_ = false;   // the block is the row's own, not its set's
  bool narrow_ = false;  // two-byte end offsets

 public:
  // Free for a caller's own marks; the engine clears it on rows it moves and
  // reads it nowhere (it costs nothing: it fills the row's padding).
  bool Marked = false;
};
static_assert(sizeof(TvekRecord) == 16);

// Cells of at most 65535 bytes in all get two-byte end offsets, as most rows
// of a table do; others four.
constexpr bool NarrowEnds(std::size_t bytes) { return bytes <= 0xFFFF; }
// The size of a packed row of `count` cells holding `bytes` bytes.
inline std::size_t PackedSize(std::uint32_t count, std::size_t bytes) {
  return std::size_t{count} * (NarrowEnds(bytes) ? 2 : 4) + bytes;
}
// The alignment a packed row's block needs.
inline std::size_t PackedAlignment(std::size_t bytes) { return NarrowEnds(bytes) ? 2 : 4; }
template <typename End, typename CellOf>
void PackEnds(char* block, std::uint32_t count, CellOf cell_of) {
  auto* ends = reinterpret_cast<End*>(block);
  char* bytes = block + std::size_t{count} * sizeof(End);
  std::uint32_t at = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string_view cell = cell_of(i);
    if (!cell.empty()) std::memcpy(bytes + at, cell.data(), cell.size());
    at += static_cast<std::uint32_t>(cell.size());
    ends[i] = static_cast<End>(at);
  }
}
// Packs `count` cells of `bytes` bytes in all (CellBytes), cell i being
// cell_of(i), into `block`: the end offsets, then the bytes. `block` must hold
// PackedSize bytes and be aligned to PackedAlignment.
template <typename CellOf>
void PackCells(char* block, std::uint32_t count, std::size_t bytes, CellOf cell_of) {
  if (NarrowEnds(bytes)) {
    PackEnds<std::uint16_t>(block, count, cell_of);
  } else {
    PackEnds<std::uint32_t>(block, count, cell_of);
  }
}
// Throws std::length_error for a row of more than 4 GiB.
void CheckRowBytes(std::size_t bytes);
// The bytes of `count` cells; throws std::length_error when a row would pass 4 GiB.
template <typename CellOf>
std::size_t CellBytes(std::uint32_t count, CellOf cell_of) {
  std::size_t bytes = 0;
  for (std::uint32_t i = 0; i < count; ++i) bytes += cell_of(i).size();
  CheckRowBytes(bytes);
  return bytes;
}

// The memory a record set's rows are packed into: large blocks of bytes that
// live as long as the set. Only the set packs rows into it.
class TvekRowStorage {
 public:
  TvekRowStorage() = default;
  // A storage moved from is empty and packs its next rows into blocks of its own.
  TvekRowStorage(TvekRowStorage&& other) noexcept { Take(other); }
  TvekRowStorage& operator=(TvekRowStorage&& other) noexcept {
    if (this != &other) Take(other);
    return *this;
  }
  // A copied set's rows are copies with blocks of their own (see TvekRecord), so
  // a copy of the storage starts empty, and the storage copied into is given up.
  TvekRowStorage(const TvekRowStorage&) {}
  TvekRowStorage& operator=(const TvekRowStorage& other) {
    if (this != &other) Clear();
    return *this;
  }

  void Clear();
  // Gives up every block but the newest, and packs the next rows from its start.
  void Rewind();

 private:
  friend class TvekRecordSet;
  // A row of `count` cells, cell i being cell_of(i), packed into this storage.
  template <typename CellOf>
  TvekRecord Pack(std::uint32_t count, CellOf cell_of) {
    const std::size_t bytes = CellBytes(count, cell_of);
    char* block = Allocate(PackedSize(count, bytes), PackedAlignment(bytes));
    PackCells(block, count, bytes, cell_of);
    return TvekRecord(block, count, NarrowEnds(bytes));
  }
  // A copy of a row packed into this storage: its block copied whole, its
  // end offsets as they are.
  TvekRecord Copy(const TvekRecord& row) {
    const std::size_t width = row.narrow_ ? 2 : 4;
    const std::size_t size = row.count_ * width + row.TotalBytes();
    char* block = Allocate(size, width);
    if (size != 0) std::memcpy(block, row.block_, size);
    return TvekRecord(block, row.count_, row.narrow_);
  }
  // Takes over the other storage's blocks (its rows stay valid here).
  void Adopt(TvekRowStorage& other);

  // Frees a block the way Allocate made it: blocks of 2 MiB and more are
  // 2 MiB-aligned (`huge`) so that the kernel can back them with huge pages.
  struct BlockFree {
    bool huge = false;
    void operator()(char* block) const;
  };
  char* Allocate(std::size_t size, std::size_t alignment);
  void Take(TvekRowStorage& other) noexcept;

  std::vector<std::unique_ptr<char[], BlockFree>> blocks_;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  std::size_t next_block_size_ = std::size_t{16} << 10;
};

// The rows of one record set, in order. Rows may point into their set's
// storage, so none can be moved out of the list: they are reordered or dropped
// in place, and they reach another set only with their storage
// (TvekRecordSet::MoveRowsFrom). A copied list holds copies with blocks of
// their own.
class TvekRows {
  // The element: movable by the list alone.
  struct Slot {
    TvekRecord row;
    Slot() = default;
    Slot(TvekRecord&& r) noexcept : row(std::move(r)) {}
    Slot(Slot&& other) noexcept : row(std::move(other.row)) {}
    Slot& operator=(Slot&& other) noexcept {
      row = std::move(other.row);
      return *this;
    }
    Slot(const Slot&) = default;
    Slot& operator=(const Slot&) = default;
  };

 public:
  template <typename Row, typename SlotPtr>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TvekRecord;
    using difference_type = std::ptrdiff_t;
    using pointer = Row*;
    using reference = Row&;
    Iterator() = default;
    explicit Iterator(SlotPtr at) : at_(at) {}
    Row& operator*() const { return at_->row; }
    Row* operator->() const { return &at_->row; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) { return Iterator(at_++); }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    SlotPtr at_ = nullptr;
  };
  using iterator = Iterator<TvekRecord, Slot*>;
  using const_iterator = Iterator<const TvekRecord, const Slot*>;

  TvekRows() = default;
  TvekRows(const TvekRows&) = default;
  TvekRows& operator=(const TvekRows&) = default;

  std::size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  TvekRecord& operator[](std::size_t i) { return slots_[i].row; }
  const TvekRecord& operator[](std::size_t i) const { return slots_[i].row; }
  iterator begin() { return iterator(slots_.data()); }
  iterator end() { return iterator(slots_.data() + slots_.size()); }
  const_iterator begin() const { return const_iterator(slots_.data()); }
  const_iterator end() const { return const_iterator(slots_.data() + slots_.size()); }
  void reserve(std::size_t count) { slots_.reserve(count); }
  std::size_t capacity() const { return slots_.capacity(); }
  // A new last row without cells.
  TvekRecord& emplace_back() { return slots_.emplace_back().row; }
  void erase(std::size_t index) { slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(index)); }
  // Drops the rows `drop` holds for, keeping the others in their order; `drop`
  // sees each row once, first to last.
  template <typename Drop>
  void EraseIf(Drop drop) {
    std::erase_if(slots_, [&](const Slot& slot) { return drop(slot.row); });
  }
  // Puts the rows in the order `order` lists them: a permutation of 0..size-1.
  void Reorder(const std::vector<std::uint32_t>& order);

 private:
  friend class TvekRecordSet;
  TvekRows(TvekRows&&) noexcept = default;
  TvekRows& operator=(TvekRows&&) noexcept = default;
  TvekRecord& Append(TvekRecord&& row) { return slots_.emplace_back(std::move(row)).row; }
  void clear() { slots_.clear(); }

  std::vector<Slot> slots_;
};

class TvekRecordSet {
 public:
  TvekRecordSet() = default;
  // A copy's rows have blocks of their own; a moved set takes its rows along
  // with their storage.
  TvekRecordSet(const TvekRecordSet&) = default;
  TvekRecordSet& operator=(const TvekRecordSet&) = default;
  TvekRecordSet(TvekRecordSet&&) noexcept = default;
  TvekRecordSet& operator=(TvekRecordSet&&) noexcept = default;

  std::string Name;
  std::vector<std::string> FieldNames;
  std::vector<TTokenOperator> Aggregates;  // results only: one per column
  TvekRows Records;
  bool Persistent = false;
  bool Modified = false;
  // The row a statement walked last (UPDATE leaves the last, DELETE 0), for
  // whoever inspects the set; the engine reads rows through RowResolver.
  std::int32_t CurrentRow = 0;
  bool IsVariable = false;
  // The file this set was read from or last saved to; COMMIT and ROLLBACK use it.
  std::string FileName;

  // Appends a column (unless one of that name exists, case ignored) and a cell
  // holding `value` at the column's index of every row (short rows padded).
  bool AddField(std::string_view name, std::string_view value);
  bool DeleteField(int index);
  bool DeleteField(std::string_view name);
  // Index of a new last row with one empty cell per column.
  int AddRecord();
  // Appends a row of these cells, packed into the set's storage.
  TvekRecord& AppendRow(const std::vector<std::string_view>& cells);
  // Appends a copy of `row`'s cells, packed into the set's storage.
  TvekRecord& AppendRow(const TvekRecord& row);
  // Removes every row and gives back their storage.
  void ClearRecords();
  // Removes every row and keeps the storage's newest block for the next rows:
  // for a set that holds a few rows at a time, again and again.
  void RewindRecords();
  // Appends every row of `other`, which is left without rows, and takes over
  // the storage they point into: the one way rows move between sets.
  void MoveRowsFrom(TvekRecordSet& other);
  void DeleteRecord(int index);
  // nullptr for a set without rows; throws std::out_of_range outside the rows.
  TvekRecord* GetRecord(int index);
  int RecordCount() const { return static_cast<int>(Records.size()); }
  int FieldCount() const { return static_cast<int>(FieldNames.size()); }
  // 0-based, letter case ignored (first match); -1 when absent.
  int FieldIndex(std::string_view name) const;
  std::string FieldList() const;
  std::string QualifiedFieldList() const;
  void Clear();

  // Reads the whole file into this set. `loaded` is false for a missing file
  // (set unchanged) and for an empty one (set emptied). An unreadable file, and
  // one that is no regular file (a named pipe, a device), gives an error and
  // leaves the set as it was; the latter is refused before a byte is read.
  // The file is read `chunk_bytes` at a time (tests use small pieces).
  Status LoadFromFile(const std::string& file_name, bool& loaded,
                      std::size_t chunk_bytes = kLoadPieceBytes);
  static constexpr std::size_t kLoadPieceBytes = std::size_t{256} << 10;

  // A table listed by its columns alone: a SELECT read its rows straight from
  // its file without keeping them, and they are read again, from the file it
  // opened, at the next use. `file` is that open file: a file renamed over
  // the table's or a removed one does not change the rows the table has.
  void SetRowsPending(std::shared_ptr<rtl::FileReader> file);
  bool RowsPending() const { return pending_file_ != nullptr; }
  // Reads the pending rows (nothing for other sets). A file written in place
  // since (rather than replaced) no longer holds them: that is an error, as is
  // a file that does not read; the rows stay pending and unread.
  Status ReadPendingRows();
  // Writes header and rows to a temporary file beside the target and renames it
  // over the target (keeping the old file's permission bits), flushed to disk
  // before and after the rename; a target that is a symbolic link keeps the link
  // and replaces the file it names. On failure the old file is intact and the
  // error says why.
  Status SaveToFile(const std::string& file_name) const;

 private:
  Status LoadFrom(TableFileReader& reader, bool& loaded);

  TvekRowStorage storage_;
  std::shared_ptr<rtl::FileReader> pending_file_;
};

using RecordSetPtr = std::shared_ptr<TvekRecordSet>;

}  // namespace vek

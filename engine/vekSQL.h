// The text-table SQL engine: record sets (tables and results held in memory),
// the text-table file, and the engine object that runs batches of statements
// over one catalog folder.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mwStringHashList.h"
#include "vekSQLExpression2.h"
#include "vekSQLStatus.h"
#include "vekSQLTokenizer.h"

namespace vek {

// ---- Cells, rows and record sets -------------------------------------------

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

// A row. Its cells are packed in one block: the end offset of every cell (four
// bytes each), then the cells' bytes one after the other. A row read from a file
// or made by a statement lives in its record set's storage; a row that is
// changed gets a block of its own, so only changed rows are ever copied and a
// table of a million rows costs a handful of allocations, not one per cell.
class TvekRecord {
 public:
  TvekRecord() = default;
  TvekRecord(const TvekRecord& other);  // an own copy of the cells
  TvekRecord(TvekRecord&& other) noexcept;
  TvekRecord& operator=(const TvekRecord& other);
  TvekRecord& operator=(TvekRecord&& other) noexcept;
  ~TvekRecord() { Release(); }

  int FieldCount() const { return static_cast<int>(count_); }
  // Throws EFieldCount for -1 or an index not below the count, std::out_of_range
  // for other negative indexes. The cell is a copy: change cells with SetCell.
  TvekSQLRecordField GetField(int index) const;
  // The text of a cell; "" for a cell the row does not have (a short row).
  std::string_view Cell(int index) const {
    if (index < 0 || static_cast<std::uint32_t>(index) >= count_) return {};
    const std::uint32_t start = index == 0 ? 0 : ends_[index - 1];
    return {reinterpret_cast<const char*>(ends_ + count_) + start, ends_[index] - start};
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

  // The row as a file line (cells encoded, joined with ";") and back.
  std::string GetRow() const;
  void SetRow(std::string_view line);

 private:
  friend class TvekRowStorage;
  TvekRecord(const std::uint32_t* ends, std::uint32_t count) : ends_(ends), count_(count) {}
  // Gives the row a block of its own holding `count` cells, cell i being
  // cell_of(i). The old block is given up only afterwards, so the cells may be
  // read from the row itself.
  template <typename CellOf>
  void Rebuild(std::uint32_t count, CellOf cell_of);
  void Release();

  const std::uint32_t* ends_ = nullptr;
  std::uint32_t count_ = 0;
  bool owned_ = false;  // the block is the row's own, not its set's

 public:
  bool Marked = false;
};
static_assert(sizeof(TvekRecord) == 16);

// Packs `count` cells, cell i being cell_of(i), into `block`: the end offsets,
// then the bytes. `block` must hold PackedSize bytes and be 4-byte aligned.
std::size_t PackedSize(std::uint32_t count, std::size_t bytes);
template <typename CellOf>
void PackCells(char* block, std::uint32_t count, CellOf cell_of) {
  auto* ends = reinterpret_cast<std::uint32_t*>(block);
  char* bytes = block + std::size_t{count} * sizeof(std::uint32_t);
  std::uint32_t at = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string_view cell = cell_of(i);
    if (!cell.empty()) std::memcpy(bytes + at, cell.data(), cell.size());
    at += static_cast<std::uint32_t>(cell.size());
    ends[i] = at;
  }
}
// The bytes of `count` cells; throws std::length_error when a row would pass 4 GiB.
template <typename CellOf>
std::size_t CellBytes(std::uint32_t count, CellOf cell_of) {
  std::size_t bytes = 0;
  for (std::uint32_t i = 0; i < count; ++i) bytes += cell_of(i).size();
  return PackedSize(count, bytes) - std::size_t{count} * sizeof(std::uint32_t);
}

// The memory a record set's rows are packed into: large blocks that live as long
// as the set. Rows moved to another set must have their storage adopted by it.
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

  // A row of `count` cells, cell i being cell_of(i), packed into this storage.
  template <typename CellOf>
  TvekRecord Pack(std::uint32_t count, CellOf cell_of) {
    const std::size_t size = PackedSize(count, CellBytes(count, cell_of));
    char* block = Allocate(size);
    PackCells(block, count, cell_of);
    return TvekRecord(reinterpret_cast<const std::uint32_t*>(block), count);
  }
  // Takes over the other storage's blocks (its rows stay valid here).
  void Adopt(TvekRowStorage& other);
  void Clear();

 private:
  // Frees a block the way Allocate made it: blocks of 2 MiB and more are
  // 2 MiB-aligned (`huge`) so that the kernel can back them with huge pages.
  struct BlockFree {
    bool huge = false;
    void operator()(char* block) const;
  };
  char* Allocate(std::size_t size);
  void Take(TvekRowStorage& other) noexcept;

  std::vector<std::unique_ptr<char[], BlockFree>> blocks_;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  std::size_t next_block_size_ = std::size_t{16} << 10;
};

class TvekRecordSet {
 public:
  std::string Name;
  std::vector<std::string> FieldNames;
  std::vector<TTokenOperator> Aggregates;  // results only: one per column
  // Rows may point into this set's storage: a row moved into another set needs
  // that set to adopt this one's storage (AdoptStorage) first.
  std::vector<TvekRecord> Records;
  bool Persistent = false;
  bool Modified = false;
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
  // Removes every row and gives back their storage.
  void ClearRecords();
  // Takes over the storage of `other`, so that its rows may move here.
  void AdoptStorage(TvekRecordSet& other) { storage_.Adopt(other.storage_); }
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
                      std::size_t chunk_bytes = std::size_t{4} << 20);
  // Writes header and rows to a temporary file beside the target and renames it
  // over the target (keeping the old file's permission bits), flushed to disk
  // before and after the rename; a target that is a symbolic link keeps the link
  // and replaces the file it names. On failure the old file is intact and the
  // error says why.
  Status SaveToFile(const std::string& file_name) const;

 private:
  TvekRowStorage storage_;
};

using RecordSetPtr = std::shared_ptr<TvekRecordSet>;

// ---- The splitter of delimited text and the cell encoding ------------------

// Cuts `text` at ";" outside quoted stretches (opened by ", ' or `, closed by the
// same character). Inside a double-quoted stretch a backslash steps over the
// next character. The empty text gives no pieces.
void SplitText(std::string_view text, std::vector<std::string>& list);
// The same pieces as views into `text`.
void SplitTextViews(std::string_view text, std::vector<std::string_view>& list);
std::string JoinText(const std::vector<std::string>& list);

// Fails with "Invalid column name: " + name when the names joined into a header
// line would not read back as the same names.
Status CheckHeaderNames(const std::vector<std::string>& names);
// Fails with "Invalid column name: " + name for a name holding ";", a quote
// character, CR, LF or NUL: new columns must fit the header line.
Status CheckColumnName(std::string_view name);

// A cell as written in a file line and back; see README's file format.
std::string EncodeCell(std::string_view value);
void EncodeCell(std::string_view value, std::string& out);
std::string DecodeCell(std::string_view piece);

// ---- Statements -------------------------------------------------------------

class TvekSQL;

class TvekSQLQuery {
 public:
  // The statement's text the tokens were read from: a view of the batch's own
  // text, or of StatementCopy when line ends had to be joined first. Either
  // lives as long as the query.
  std::string_view Statement;
  std::string StatementCopy;
  std::vector<TToken> Tokens;
  TvekSQLExpression2 Parser;
  TvekSQL* Engine = nullptr;
  const TToken& TokenAt(int index) const { return Tokens.at(index); }
};

class TvekSQLCalcField {
 public:
  TvekSQLExpression2 Expression;
  std::string ExpressionText;
  std::string Name;
  std::int32_t FieldIndex = 0;
};

class TvekSQLOutput {
 public:
  std::vector<std::unique_ptr<TvekSQLCalcField>> Fields;
  TvekSQLCalcField* AddField();
  TvekSQLCalcField* GetField(int index);
  int Count() const { return static_cast<int>(Fields.size()); }
  void Clear() { Fields.clear(); }
  std::string FieldNameList() const;
};

// ---- The engine ---------------------------------------------------------------

class TvekSQL {
 public:
  TvekSQL();
  ~TvekSQL();
  TvekSQL(const TvekSQL&) = delete;
  TvekSQL& operator=(const TvekSQL&) = delete;

  // Runs a batch of ";"-separated statements: 0 when one failed (reason in the
  // last error text), -1 when the last produced no record set, else the number
  // of the last statement's record set. Exceptions from below pass through with
  // the last error text saying what happened; running out of memory is none:
  // that statement fails with "Out of memory" and the engine stays usable.
  int ExecuteSQL(std::string_view sql);
  // The process-wide last error text, shared by every engine object: "OK"
  // after a batch that succeeded.
  static std::string GetLastError();
  // nullptr when n is outside 1..RecordSetCount().
  TvekRecordSet* GetRecordSet(int n);
  bool ReleaseRecordSet(int n);

  // ---- for the statement handlers ----
  int RecordSetCount() const { return static_cast<int>(record_sets_.size()); }
  // The set numbered n (1-based) as a handle that keeps it alive; null outside.
  RecordSetPtr RecordSetAt(int n) const;
  // The current number of a set, -1 when it is no longer listed.
  int NumberOf(const TvekRecordSet* set) const;
  // First set whose name equals `name` ignoring case; -1 when none.
  int FindRecordSet(std::string_view name) const;
  // Finds an open table or opens it from its file; -1 when it cannot.
  int GetTableIndex(std::string_view name);
  // The same, with `n` -1 for a table that is not there; fails with the
  // reader's error for a table file that does not read.
  Status FindOrOpenTable(std::string_view name, int& n);
  // The table's number; fails with the reader's error, or with `missing` when
  // there is no such table.
  StatementResult OpenTable(std::string_view name, std::string missing);
  // Appends a new empty set and returns its number.
  int AddRecordSet(std::string_view name);
  // Appends a set made elsewhere and returns its number.
  int AddRecordSet(RecordSetPtr set);
  void DeleteRecordSet(int n);
  std::string NewResultName();

  // The one place where table paths are built: Catalog + "/" + name + ".txt".
  // Fails with "Invalid table name: " + name for an empty name or one holding
  // "/" or NUL.
  Status TablePath(std::string_view name, std::string& path) const;
  // Like TablePath, and fails unless the catalog is a real folder: for
  // statements that write or delete a table file.
  Status WritableTablePath(std::string_view name, std::string& path) const;
  bool TableFileExists(std::string_view name) const;
  bool CatalogIsFolder() const;

  // Runs a sub-select as a nested batch and returns its first column.
  Status RunSubSelect(std::string_view sql, std::vector<std::string>& values);

  const std::string& Catalog() const { return catalog_; }
  bool InMemory() const { return in_memory_; }
  Status SetCatalog(std::string_view folder);

  TmwStringHashList NameSpace;
  std::int32_t CurrentRecordSet = 0;
  bool WholeFieldNames = false;
  std::int32_t ResultCounter = 0;

 private:
  // A batch's or a statement's outcome; ExecuteSQL alone turns an error into
  // 0 and the last error text.
  StatementResult RunBatch(std::string_view sql);
  StatementResult ExecuteStatement(std::string_view statement);
  StatementResult DispatchStatement(TvekSQLQuery& query, std::string_view statement);

  std::vector<RecordSetPtr> record_sets_;
  std::string catalog_;
  bool in_memory_ = false;
  int depth_ = 0;
};

// What a statement whose tokens do not form the statement its first word
// starts fails with.
inline constexpr std::string_view kNoTokens = "No tokens";

// Statement handlers: a record-set number, StatementResult::kNoRecordSet, or the
// error. `statement` is the statement's text after line breaks were joined and
// blanks trimmed.
StatementResult SQLConnect(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLCreateTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLDropTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLAlterTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLInsertValues(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLInsertSelect(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLUpdate(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLDelete(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLAssign(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLSaveTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLReleaseTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLCommit(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLRollback(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
// SELECT from query.Tokens[first_token..]; `target` is empty or the ASSIGN TO name.
StatementResult SQLSelect(TvekSQL& engine, TvekSQLQuery& query, int first_token,
                          std::string_view target);

}  // namespace vek

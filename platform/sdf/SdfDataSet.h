// TSdfDataSet: reads a delimited text file (";" between values, the first line
// as column names) the way the dataset package reads table files and headers.
// Its own row rules differ from the engine's reader: no escapes are decoded,
// quotes only group a value and blanks around values are dropped; a reader of
// table files plugs in the engine's row rules instead (SetRowCutter).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sdf {

// A value found in a row line: where it starts in the line and how long it is.
struct TSdfValue {
  std::size_t offset;
  std::size_t length;
};

// Cuts one row line into its values, in column order, into `values` (which it
// empties first). It may rewrite the line's bytes in place, so that a value it
// decodes is a stretch of the line: a decoded value must be no longer than its
// text in the line.
using TSdfRowCutter = std::function<void(std::span<char> line, std::vector<TSdfValue>& values)>;

// Takes one row's values in column order: at most one per column, fewer for a
// row whose line ends before the last column (the columns after them are
// null). The views are valid during the call only.
using TSdfRowVisitor = std::function<void(std::span<const std::string_view> values)>;

// An open file descriptor, closed when its holder goes or takes another.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~FileHandle() { Reset(); }
  explicit operator bool() const { return fd_ >= 0; }
  int Get() const { return fd_; }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

class TSdfDataSet {
 public:
  // Rows of a regular file are read this many bytes at a time.
  static constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;

  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  bool FirstLineAsSchema() const { return first_line_as_schema_; }
  void SetFirstLineAsSchema(bool value) { first_line_as_schema_ = value; }
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char value) { delimiter_ = value; }
  bool FileMustExist() const { return file_must_exist_; }
  void SetFileMustExist(bool value) { file_must_exist_ = value; }
  // The rules row lines are cut by; none (the default) cuts them by this
  // reader's own rules. The header line is always read by this reader's rules.
  // Values past the last column are dropped, and the columns a row has no value
  // for read as null.
  void SetRowCutter(TSdfRowCutter cutter) { row_cutter_ = std::move(cutter); }

  // Rows of a regular file read again from it when first asked for (VisitRows,
  // Value), a block at a time, instead of being held from Open on: a large file
  // is then never held whole, nor read into memory never touched before. The
  // file stays open until then, so a file replaced meanwhile (written aside
  // and renamed over) still gives the rows counted; one rewritten in place
  // gives its new lines, never more rows than were counted. Off by default:
  // Open takes the file whole.
  void SetRowsFromFile(bool value) { rows_from_file_ = value; }
  // Refuses, before reading, a file that is not a regular one (a named pipe, a
  // device behind a link), whose reading would never start or never end:
  // "Could not read file <name>: not a regular file". Off by default.
  void SetRegularFilesOnly(bool value) { regular_files_only_ = value; }

  // Reads the whole file and goes to the first row. A missing file is created
  // empty unless FileMustExist is set. Throws db::DatabaseError when the file
  // cannot be read or created ("Could not open file <name>: <reason>"), and
  // "Duplicate name '<name>' in TFieldDefs" when two column names are equal
  // ignoring case (the dataset stays closed and keeps its earlier columns).
  // Does nothing on an open dataset: Close first to read the file again.
  //
  // With FirstLineAsSchema set, a file without a header (an empty file, or a
  // first line of bytes 0..32 only) has no columns: its lines are rows without
  // values. The columns of a file read before must not stand in for them, or a
  // save would write one table's names over another's.
  // With FirstLineAsSchema off every line is a row and the columns stay those
  // of the last header read; a reader that never read one has the single
  // column "Line", sized after the longest line of the file it reads (or 250).
  void Open();
  // Drops the rows (RecordCount reads 0 again); the columns stay.
  void Close();
  bool Active() const { return active_; }

  // The columns: every one a string field. Its size is the number after "=" in
  // its header name when that is a whole number (rtl::TextToInt64) from 0 to
  // INT_MAX, else the length in bytes of the longest line of the file, header
  // included, or 250 when that is 0. Read with FirstLineAsSchema off, a file
  // keeps the names (and "=" sizes) of the header read before, the others sized
  // after itself.
  int FieldDefCount() const { return static_cast<int>(names_.size()); }
  const std::string& FieldName(int index) const { return names_.at(index); }
  int FieldSize(int index) const { return sizes_.at(index); }

  // The number of lines of the file, header included.
  int RecordCount() const { return line_count_; }

  // Row navigation over the rows read by Open.
  void First() { row_ = 0; }
  void Next() {
    if (row_ < row_count_) ++row_;
  }
  bool Eof() const { return row_ >= row_count_; }
  // The current row's value of column `index`: nullopt (null) for a column the
  // line ends before (every column of an empty or blank line), else the text
  // (spaces only read as ""), valid until the next Open, Close or VisitRows.
  // Throws std::out_of_range for a column outside the row or at the end of the
  // rows.
  std::optional<std::string_view> Value(int index) const;

  // Hands every row, in file order, to `visit`, the same values Value gives,
  // without keeping them: a reader that copies a large file's rows elsewhere
  // needs no offsets for all of its values at once. Afterwards the reader has
  // no rows left (Eof; RecordCount and the columns stay) until it is opened
  // again. Does nothing on a closed reader.
  void VisitRows(const TSdfRowVisitor& visit);

 private:
  std::string file_name_;
  bool first_line_as_schema_ = false;
  char delimiter_ = ',';
  bool file_must_exist_ = true;
  TSdfRowCutter row_cutter_;
  bool rows_from_file_ = false;
  bool regular_files_only_ = false;
  bool active_ = false;
  // The columns a reader has before it ever reads a header.
  std::vector<std::string> names_{"Line"};
  std::vector<int> sizes_{250};
  // The sizes given with "=" in the header the names came from, by column.
  std::vector<std::optional<int>> given_sizes_{std::nullopt};
  int line_count_ = 0;
  // Every value is a stretch of one line of the file. VisitRows reads a regular
  // file's lines again a block at a time; for Value the file's bytes are taken
  // whole and cut once (a row cutter may decode a line in place) into one span
  // per value: rows one after the other, `row_width_` spans each, kNull for a
  // null value.
  struct Span {
    std::size_t offset;
    std::size_t length;
  };
  static constexpr std::size_t kNull = static_cast<std::size_t>(-1);
  // Calls on_row(values) for every row line, cutting it.
  template <typename OnRow>
  void CutLines(OnRow&& on_row) const;
  // Cuts every row line into spans_, once: Open only counts the lines.
  void CutRows() const;
  // The file a regular file's rows are read from when first asked for, or
  // (any other file, or once the rows are cut for Value) its bytes, whole.
  mutable FileHandle file_;
  mutable std::string bytes_;
  std::size_t header_lines_ = 0;  // lines before the rows: 1 after a header
  mutable std::vector<Span> spans_;
  mutable bool rows_cut_ = false;
  std::size_t row_width_ = 0;
  std::size_t row_count_ = 0;
  std::size_t row_ = 0;
};

}  // namespace sdf

// The files of one dBase level 7 table: the .dbf (header, field descriptors,
// fixed-length records) and its .dbt memo file, read whole on open and changed
// in place record by record; the exclusive lock; and the pack, which writes new
// files beside the old ones and renames them over. No dataset logic here.
//
// The .dbf layout (all numbers little-endian unless said otherwise):
//   header, 68 bytes
//     0      version: 0x04 (level 7), 0x8C (level 7 with a .dbt memo file)
//     1..3   last update: year - 1900, month, day
//     4..7   record count (32-bit)
//     8..9   header length: 68 + 48 per field + 1 (the 0x0D terminator), or more
//     10..11 record length: 1 (the deleted flag) + the field lengths
//     28     production index flag (0: this table has no index file)
//     29     language driver id (0x57, "DBWINUS0"; texts are stored as given, UTF-8)
//     32..63 language driver name, zero-padded
//   field descriptors, 48 bytes each
//     0..31  name, zero-padded        32 type byte ('C', 'I', '+', 'L', 'M')
//     33     length                   34 decimal count (0)
//     37     production index flag (0)
//     40..43 next auto-increment value (for '+' fields)
//   0x0D, then the records from the header length on: a flag byte (' ' live,
//   '*' deleted) and the field values; 0x1A after the last record.
// Values: C blank-padded text; I and + 4 bytes big-endian with the sign bit
// inverted (1 is 80 00 00 01, -1 is 7F FF FF FF), all zero bytes for null; L 'T'
// or 'F', blank or '?' for null; M the memo's first block number in ASCII digits,
// right-aligned in 10 bytes, all blank for no memo.
//
// The .dbt layout: block 0 is the header (bytes 0..3 the next free block
// number, 8..15 the table's name without extension, 20..21 the block size, 512);
// a memo starts at a block boundary with FF FF 08 00 and its length (32-bit,
// counting these 8 bytes), then the text; it fills as many blocks as it needs.
// A changed memo is written to new blocks at the end, so a record keeps naming
// intact blocks until it is itself rewritten; the pack reclaims the old ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbf/Dbf.h"

namespace dbf {

// One field of the open table and where its value lies in a record image.
struct FieldLayout {
  std::string name;
  FieldKind kind;
  int length = 0;      // bytes in the record
  int offset = 0;      // from the start of the record (the flag byte is 0)
  int memo_slot = -1;  // memo fields: index into Row::memos
  std::uint32_t next_autoinc = 0;
};

// One record as the file holds it, and the texts of its memo fields.
struct Row {
  std::string image;
  std::vector<std::string> memos;
  bool Deleted() const { return !image.empty() && image[0] == '*'; }
};

inline constexpr int kHeaderSize = 68;
inline constexpr int kDescriptorSize = 48;
inline constexpr int kMemoBlockSize = 512;
inline constexpr int kMemoRefLength = 10;

class TableFile {
 public:
  TableFile() = default;
  ~TableFile();
  TableFile(const TableFile&) = delete;
  TableFile& operator=(const TableFile&) = delete;

  // Opens `path` and takes the exclusive lock; a missing file is created from
  // `create_defs` (none: a missing file is an error). Finishes a pack that a
  // crash broke off. Throws db::DatabaseError naming the file: not a level 7
  // table, a field type this layer does not know, the lock held elsewhere, a
  // file that cannot be read or created.
  void Open(const std::string& path, const std::vector<FieldDef>& create_defs);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  const std::vector<FieldLayout>& Fields() const { return fields_; }
  int RecordLength() const { return record_length_; }
  int MemoCount() const { return memo_count_; }
  const std::vector<Row>& Rows() const { return rows_; }

  // A record image of a new row: every value null.
  std::string BlankImage() const;

  // Writes `row` as a new record at the end: its memos first, then the record,
  // then the auto-increment counters, then the record count. The auto-increment
  // fields get their numbers here. On failure nothing is counted and the
  // in-memory table is unchanged. Returns the new row's index.
  std::size_t Append(Row row);
  // Rewrites record `index` in place with `row`; memos flagged in
  // `memo_changed` go to new blocks first.
  void Rewrite(std::size_t index, Row row, const std::vector<bool>& memo_changed);
  void MarkDeleted(std::size_t index);
  // Drops the deleted rows and unused memo blocks; row indexes change.
  void Pack();

 private:
  void OpenExisting(const std::vector<FieldDef>& create_defs);
  void Create(const std::vector<FieldDef>& defs);
  bool RecoverPack();
  void Load();
  void LoadMemos();
  void CreateMemoFile();
  std::string MemoRef(const std::string& text, std::uint32_t& next_free);
  std::string MemoBlocks(const std::string& text) const;
  std::string MemoHeader(std::uint32_t next_free) const;
  void WriteAt(int fd, const std::string& bytes, std::uint64_t offset, const std::string& name);
  void WriteHeaderCounts(std::size_t through = 8);
  void CheckUsable() const;
  [[noreturn]] void Fail(const std::string& what) const;
  [[noreturn]] void FailErrno(const std::string& what) const;

  std::string path_;
  std::string memo_path_;
  int fd_ = -1;
  int memo_fd_ = -1;
  std::string header_;  // the header bytes up to the header length, as read
  int header_length_ = 0;
  int record_length_ = 0;
  int memo_count_ = 0;
  std::uint32_t memo_next_free_ = 1;
  std::vector<FieldLayout> fields_;
  std::vector<Row> rows_;
  // Set when a pack failed after its first rename: the files on disk are no
  // longer the ones in memory, so no further write may reach them.
  bool broken_ = false;
};

// Little-endian numbers written into byte strings; the file name of a path.
void PutLE16(std::string& bytes, std::size_t at, std::uint32_t value);
void PutLE32(std::string& bytes, std::size_t at, std::uint32_t value);
std::string FileNameOf(const std::string& path);

// Creates `path` afresh for writing (what was there is removed first; a link
// planted there is never followed) with the permission bits of the file
// `like`, 0644 when it does not exist. The open descriptor, or -1 with errno.
int CreateFreshFile(const std::string& path, const std::string& like, int flags);

// A dBase date stamp for today: year - 1900, month, day.
void TodayStamp(std::uint8_t out[3]);

// Field values in a record image. The readers return false (or -1) for null.
std::string_view CharValue(std::string_view image, const FieldLayout& field);
bool IntValue(std::string_view image, const FieldLayout& field, std::int64_t& value);
int BoolValue(std::string_view image, const FieldLayout& field);  // -1, 0 or 1
// `text` must fit the field; it is blank-padded.
void PutChar(std::string& image, const FieldLayout& field, std::string_view text);
void PutInt(std::string& image, const FieldLayout& field, std::int32_t value);
void PutNull(std::string& image, const FieldLayout& field);
void PutBool(std::string& image, const FieldLayout& field, bool value);

}  // namespace dbf

// TDbf: one table of the catalogue kept in a dBase level 7 file (.dbf, with a
// .dbt memo file when it has a memo field), read whole into memory on open and
// written in place as each post or delete happens, so that the files are
// current after every change. Index tags live in memory only (no index file).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/DataSet.h"

namespace dbf {

// The field types of the catalogue tables, by their type byte in the file.
enum class FieldKind : char {
  kCharacter = 'C',
  kInteger = 'I',
  kAutoInc = '+',
  kLogical = 'L',
  kMemo = 'M'
};

struct FieldDef {
  std::string name;
  FieldKind kind;
  int size = 0;  // character fields: their size in bytes; others: ignored (I/+ 4, L 1, M 10)
  bool may_cut =
      false;  // a longer text may be cut (at a UTF-8 character boundary) instead of refused
};

// Index tag options, combined as bits.
inline constexpr unsigned ixPrimary = 1, ixUnique = 2;
// One tag over one field: a primary tag refuses a duplicate key; a unique-only
// tag leaves a duplicate row out of the tag (the row is stored all the same).
struct IndexDef {
  std::string name;
  std::string field;
  unsigned options = 0;
};

class TDbf : public db::DataSet {
 public:
  TDbf();
  ~TDbf() override;

  void SetFilePath(std::string folder);      // the folder, ending in a path separator
  void SetTableName(std::string file_name);  // "Projects.dbf"
  const std::string& TableName() const;
  // Every open table holds an exclusive advisory lock on its file, whatever
  // this says: a second opener (another process or another TDbf) gets a
  // DatabaseError instead of a copy that would drift apart. Kept for callers
  // that set it before opening and packing.
  void SetExclusive(bool value);
  // The definitions a missing file is created from (auto-create), and the tags.
  // The fields of an existing file are read from the file itself; its tags are
  // always these.
  void SetStoredDefs(std::vector<FieldDef> fields, std::vector<IndexDef> indexes);
  // The active tag; empty: record order. Changing it on an open table reorders
  // it. Open throws DatabaseError for a tag that is not among the stored ones.
  void SetIndexName(std::string tag);
  const std::string& IndexName() const;
  // Detail link: shows only the rows whose active tag's field equals the
  // master's current value of `master_field` (matched without regard to case);
  // follows the master's moves. nullptr: no master. The master must outlive the
  // link (or be unset first).
  void SetMasterSource(db::DataSet* master);
  void SetMasterFields(std::string master_field);  // e.g. "Project_id"
  // Physically removes the rows marked deleted and unused memo blocks. Works on
  // an open table (in browse state) or a closed one; the new files replace the
  // old ones by renaming, so a crash leaves either the old or the new table.
  // Throws DatabaseError when the files cannot be written (the old ones stay).
  void PackTable();

  // The full path of the .dbf file (folder + table name).
  std::string FullPath() const;

  // Open (the framework's) throws a DatabaseError whose text begins with the
  // file's path and names the fault: a missing file without stored fields, a
  // file that is not a level 7 table (version byte, header length, record
  // length, a damaged memo), a field type other than the five above, a file
  // that cannot be created, or one locked by another opener.
  //
  // Fields: character fields are ftString (their Size one byte more than the
  // file holds, so that a longer text reaches the table: a post refuses it with
  // a DatabaseError naming the field and its size, or cuts it at a UTF-8
  // character boundary when the field may be cut); all-blank texts read as
  // null. I is ftInteger (-2147483647 to 2147483647), + is ftAutoInc (read-only,
  // numbered at the post of a new row), L ftBoolean, M ftMemo.
  //
  // A post fails with a DatabaseError, keeping the row in edit, for a primary
  // tag's duplicate key ("key violation"), a text too long, or (in a detail)
  // a master without a current row; nothing is written then.
  bool Locate(std::string_view key_fields, const std::vector<rtl::Variant>& key_values,
              db::LocateOptionSet options) override;
  using db::DataSet::Locate;
  std::unique_ptr<db::BlobStream> CreateBlobStream(db::Field& field,
                                                   db::BlobStreamMode mode) override;
  bool BookmarkValid(const db::Bookmark& bookmark) const override;
  int CompareBookmarks(const db::Bookmark& a, const db::Bookmark& b) const override;
  void SetRecNo(int value) override;

  // Implementation detail, declared here so the implementation files share it.
  struct Impl;

 protected:
  // The master's moves reach its detail tables from these hooks, not through
  // the observers, so that a detail follows its master also while the master's
  // controls are disabled (a cascade walking the master's rows).
  void DoAfterOpen() override;
  void DoAfterClose() override;
  void DoAfterPost() override;
  void DoAfterScroll() override;

  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  db::GetResult GetRecord(db::GetMode mode, bool do_check) override;
  void InternalInsert(bool append) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  db::Bookmark InternalGetBookmark() const override;
  void InternalGotoBookmark(const db::Bookmark& bookmark) override;
  int GetRecordCount() const override;
  int GetRecNo() const override;
  bool GetFieldData(const db::Field& field, db::FieldData& data) const override;
  void SetFieldData(db::Field& field, const db::FieldData* data) override;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dbf

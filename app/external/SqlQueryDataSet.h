// A read-only dataset over the rows of an executed Qt SQL query, so that the
// in-memory datasets can copy an external table (ImportFromDataset) like any
// other dataset. The field kinds come from the query's record.
#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
#include <string>
#include <vector>

#include "db/DataSet.h"
#include "db/RecordStore.h"

namespace app {

// The field type of a column of a Qt SQL record: integer, large integer,
// float, boolean, date, time, date-time, blob, string with its size, or memo
// for text without a size. `wide_integers`: every integer column is a large
// integer (SQLite's are 64 bits whatever Qt reports).
db::FieldDef FieldDefOf(const QSqlField& field, bool wide_integers = false);

class SqlQueryDataSet : public db::DataSet {
 public:
  // `query` is an executed query that can move back (not forward-only); it
  // must outlive the dataset while the dataset is open.
  explicit SqlQueryDataSet(QSqlQuery& query);
  ~SqlQueryDataSet() override;

 protected:
  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  void InternalClose() override {}
  void InternalFirst() override { cursor_ = -1; }
  void InternalLast() override { cursor_ = GetRecordCount(); }
  db::GetResult GetRecord(db::GetMode mode, bool do_check) override;
  void InternalInsert(bool append) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override {}
  void InternalDelete() override;
  db::Bookmark InternalGetBookmark() const override;
  void InternalGotoBookmark(const db::Bookmark& bookmark) override;
  int GetRecordCount() const override;
  int GetRecNo() const override { return HasCurrentRecord() ? cursor_ + 1 : 0; }
  bool GetFieldData(const db::Field& field, db::FieldData& data) const override;
  void SetFieldData(db::Field& field, const db::FieldData* data) override;

 private:
  // Moves the query to row `row` and reads its values; false past either end.
  // Throws db::DatabaseError when fetching the row failed.
  bool Load(int row);
  bool Accepts();
  [[noreturn]] void ReadOnly() const;

  QSqlQuery& query_;
  int cursor_ = -1;
  int loaded_ = -2;
  mutable int count_ = -1;
  db::RecordBuffer row_;
};

}  // namespace app

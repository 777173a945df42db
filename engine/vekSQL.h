// The text-table SQL engine object: it runs batches of statements over one
// catalog folder and keeps the numbered list of record sets they open and
// make. The records are in vekSQLRecords.h, the file format in vekSQLTextTable.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/mwStringHashList.h"
#include "engine/vekSQLRecords.h"
#include "engine/vekSQLStatus.h"
#include "engine/vekSQLTextTable.h"

namespace vek {

class TvekSQLQuery;

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
  // nullptr when n is outside 1..RecordSetCount(). A table whose rows are
  // pending has them read first (nullptr when they no longer read).
  TvekRecordSet* GetRecordSet(int n);
  bool ReleaseRecordSet(int n);

  // ---- for the statement handlers ----
  int RecordSetCount() const { return static_cast<int>(record_sets_.size()); }
  // The set numbered n (1-based) as a handle that keeps it alive; null outside.
  // A table's rows may be pending (FindOrOpenTable reads them).
  RecordSetPtr RecordSetAt(int n) const;
  // The current number of a set, -1 when it is no longer listed.
  int NumberOf(const TvekRecordSet* set) const;
  // First set whose name equals `name` ignoring case; -1 when none.
  int FindRecordSet(std::string_view name) const;
  // Finds an open table (reading its rows if they are pending) or opens it from
  // its file; -1 when it cannot.
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
  // Lists the table `name` of file `path` by its columns alone, its rows
  // pending in the open `file` (see TvekRecordSet::SetRowsPending), as a
  // statement that reads the file itself opens it; returns it.
  RecordSetPtr AddPendingTable(std::string_view name, std::string path,
                               std::vector<std::string> field_names,
                               std::shared_ptr<rtl::FileReader> file);
  // Each pending table holds its file open.
  int PendingTableCount() const;
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

  // The state of the last statement, kept up to date for whoever inspects the
  // engine; the statements themselves read rows and names through their own
  // RowResolver, so nothing in the engine reads these three.
  TmwStringHashList NameSpace;  // the tables and aliases of a join, to numbers
  std::int32_t CurrentRecordSet = 0;
  bool WholeFieldNames = false;
  std::int32_t ResultCounter = 0;  // the next result is named "$$$" + this

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

}  // namespace vek

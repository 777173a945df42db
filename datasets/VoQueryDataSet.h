// TVoQueryDataSet: the buffered dataset that the windows show, filled from a
// source and kept in memory: the result of its SQL text run through the
// connection's engine, or a table file read and written directly; and the
// machinery every load shares (emptying, keeping or rebuilding field
// definitions, float text).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "CSVExporter.h"
#include "Params.h"
#include "SdfDataSet.h"
#include "VoBufDataset.h"
#include "VoConnection.h"

// Where the current rows came from.
enum TSourceData { sdSdfDataset = 0, sdVekSQL = 1, sdOtherDataset = 2 };

class TVoQueryDataSet : public TVoBufDataset {
 public:
  TVoQueryDataSet();
  // Detaches from its connection and never throws.
  ~TVoQueryDataSet() override;

  // The connection every load and query goes through. Not owned; when the
  // connection is destroyed first, this becomes nullptr.
  TVoConnection* VoConnection() const { return connection_; }
  void SetVoConnection(TVoConnection* connection);

  // The SQL text, one item per line.
  std::vector<std::string>& SQL() { return sql_; }
  void SetSQL(const std::vector<std::string>& lines) { sql_ = lines; }
  // Named values put in place of ":" + name in the SQL text.
  db::ParamList& Parameters() { return parameters_; }

  // Runs the SQL text into this dataset: reconnects (a refused folder is
  // reported by the connection and the run goes on), empties the dataset, sends
  // the expanded text and copies a result set in. A statement the engine refuses
  // (answer 0), or an exception from the engine, is reported as "Error while
  // trying to execute query." + the engine's text and leaves the dataset open
  // and empty with its earlier field definitions. Raises DatabaseError without a
  // connection; a parameter without a value (ConversionError) and a float text
  // no conversion accepts pass out after the cleanup.
  void RunSqlText();

  // Trigger. Writing true (when false) connects if need be and runs RunSqlText;
  // any exception is swallowed and leaves the flag false and the dataset closed.
  // Writing false (when true) empties the dataset and closes it.
  bool QueryExecuted() const { return query_executed_; }
  void SetQueryExecuted(bool value);

  // SqlText: the lines of SQL, each preceded by one blank, without line breaks.
  // ExpandedSql: SqlText with each parameter's placeholder replaced by its value
  // as text (no quotes), parameter by parameter. A placeholder is ":" and the
  // whole name in any letter case under the locale (":PRÉCO" is préco's): with
  // parameters a and ab, ":ab" is ab's.
  // Throws ConversionError for a parameter whose value is null.
  void ExpandQueryParameters();
  const std::string& SqlText() const { return sql_text_; }
  const std::string& ExpandedSql() const { return expanded_sql_; }

  // ---- Table files ----
  // The table whose file ReadTableFile and WriteTableFile use: the connection's
  // DatabaseFolder + TableName + ".txt".
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }
  // When set, the table file is written after a load, after a query that gave
  // a result set, after every post and delete outside a load, and on
  // destruction; with an empty TableName a message says why nothing is written.
  bool PersistentSave() const { return persistent_save_; }
  void SetPersistentSave(bool value) { persistent_save_ = value; }
  // Trigger. Writing true (when false) runs ReadTableFile; any exception is
  // swallowed and leaves the flag false and the dataset closed. Writing false
  // (when true) empties the dataset (rows leave memory only: nothing is saved
  // for their deletes) and closes it.
  bool TableLoaded() const { return table_loaded_; }
  void SetTableLoaded(bool value);
  // Trigger. Writing true runs WriteTableFile and reads false again afterwards;
  // its exception passes to the caller.
  bool TableSaved() const { return table_saved_; }
  void SetTableSaved(bool value);

  // Loads the table file: reconnects (a refused folder is reported and the
  // load goes on), empties the dataset, reads the file through CsvReader (a
  // missing file is created empty), keeps or rebuilds the field definitions and
  // copies the rows in; the dataset ends open on its first row, filtered as
  // before. Raises DatabaseError without a connection, for a TableName holding
  // "/" or NUL ("Invalid table name: " + name), for duplicate column names and
  // unreadable files; a float text no conversion accepts passes out too, after
  // the cleanup.
  void ReadTableFile();
  // Writes every row, whatever the filter, in the current order, through
  // CsvWriter: the field names, then one line per row, string values always in
  // double quotes. The file is replaced whole or not at all. The second form
  // writes floats with `decimal_separator`. Raises DatabaseError for a TableName
  // holding "/" or NUL, and for a string value that the file could not keep (a
  // line break, or a double quote followed by ";"), before anything is written.
  void WriteTableFile();
  void WriteTableFile(char decimal_separator);
  // Appends every row of CsvReader, column by column, and goes to the first row.
  void CopyRowsFromCsvReader();
  sdf::TSdfDataSet& CsvReader() { return csv_reader_; }
  sdf::TCSVExporter& CsvWriter() { return csv_writer_; }

  // The engine's answer of the last run: 0, -1 or the result set's number.
  int ResultSetNumber() const { return result_set_number_; }
  TSourceData SourceKind() const { return source_kind_; }
  int SourceRecordCount() const { return source_record_count_; }
  int SourceFieldCount() const { return source_field_count_; }
  // True while rows are loaded.
  bool InternalLoading() const { return internal_loading_; }
  bool MasterDetailSuspended() const { return master_detail_suspended_; }

  // Opens the dataset if closed and deletes every row, with the filter off
  // meanwhile (it is put back, and the dataset refreshed, also on an exception).
  void DeleteAllRows();

  // A float written with "." or "," as its decimal mark, whatever the
  // process-wide decimal separator is ("3,5" and "3.5" are both 3.5); blanks and
  // control characters around it are ignored. ConversionError for anything else,
  // a thousand separator or a second mark included ("1,234.5"), and when the
  // process-wide decimal separator is neither "." nor ",".
  static double ParseFloatLocal(std::string_view text);

 protected:
  // Closes the dataset and removes its field definitions and field objects.
  void ClearFieldDefinitions();
  // True when the dataset has field definitions and their names, in order and
  // letter case, are the source's column names.
  bool SourceMatchesFieldDefs() const;
  // Empties the dataset and keeps its field definitions, except that a string
  // definition shorter than the source's longest value in its column is widened
  // to it: no value arrives cut.
  void ReuseFieldDefs();
  // Empties the dataset and makes one field definition per source column: for an
  // engine result a string as long as the column's longest value in bytes, 255
  // when every value is empty or there are no rows. Two columns of one name
  // raise "<name> : Duplicate name '<column>' in TFieldDefs" and leave the
  // dataset closed without field definitions.
  void RebuildFieldDefsFromSource();
  // Gives every float field the connection's FloatDisplayFormat, when it has one.
  void ApplyFloatDisplayFormat();
  // Takes result set ResultSetNumber of the engine as the source, keeps or
  // rebuilds the field definitions and copies its rows in.
  void LoadEngineResult();
  // The automatic save of PersistentSave: WriteTableFile, or `message` shown
  // when TableName is empty.
  void AutoSave(std::string_view message);
  // A post or a delete outside a load makes the automatic save.
  void DoAfterPost() override;
  void DoAfterDelete() override;
  // Appends every row of the engine result as one bulk load (the sort indexes
  // are built once at its end) and goes to the first row. A row whose value no
  // field conversion accepts is dropped and its error passes on.
  void CopyRowsFromEngineResult();

 private:
  friend class TVoConnection;

  // Resets and reopens the connection's engine; DatabaseError without one.
  TVoConnection& Reconnect();
  // Runs `copy` (which appends and posts rows into `fields`, the first
  // `columns` fields) as one bulk load, then goes to the first row. A row that
  // fails part way is dropped and its error passes on.
  using RowCopier =
      std::function<void(const std::vector<db::Field*>& fields, const std::vector<bool>& is_float)>;
  void BulkCopy(int columns, const RowCopier& copy);
  // Stores a source text: into a float field through ParseFloatLocal, or
  // through the field's own text conversion when that refuses.
  static void StoreText(db::Field& field, std::string_view text, bool is_float);
  // The longest value, in bytes, of each source column (for a table file, the
  // reader's column sizes).
  std::vector<int> SourceColumnWidths() const;
  // Whether the current source can be read, and the name of its column `index`.
  bool HasSource() const;
  const std::string& SourceColumnName(int index) const;
  // Releases record set `ResultSetNumber` in the connection's engine, if any;
  // never throws.
  void ReleaseResultSet() noexcept;

  TVoConnection* connection_ = nullptr;
  std::vector<std::string> sql_;
  db::ParamList parameters_;
  bool query_executed_ = false;
  std::string sql_text_;
  std::string expanded_sql_;
  int result_set_number_ = 0;
  TSourceData source_kind_ = sdSdfDataset;
  int source_record_count_ = 0;
  int source_field_count_ = 0;
  bool internal_loading_ = false;
  bool master_detail_suspended_ = false;
  // The engine's result set while it is loaded; nullptr otherwise.
  vek::TvekRecordSet* engine_result_ = nullptr;
  std::string table_name_;
  bool persistent_save_ = false;
  bool table_loaded_ = false;
  bool table_saved_ = false;
  sdf::TSdfDataSet csv_reader_;
  sdf::TCSVExporter csv_writer_;
};

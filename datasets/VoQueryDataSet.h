// TVoQueryDataSet: the buffered dataset that the windows show, filled from a
// source and kept in memory: the result of its SQL text run through the
// connection's engine, or a table file read and written directly; and the
// machinery every load shares (emptying, keeping or rebuilding field
// definitions, float text); a copy of another dataset, sorting by one field,
// the master/detail link between query datasets, and the referential keys
// whose cascades run in its hooks.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "datasets/VoConnection.h"
#include "datasets/VoReferentialKey.h"
#include "db/DataSource.h"
#include "db/Params.h"
#include "sdf/SdfDataSet.h"

// Runs `body`, then `cleanup`, also when `body` throws; the body's exception
// is then the one that passes on (a cleanup failing after it is not heard).
template <typename Body, typename Cleanup>
void RunThenCleanUp(Body&& body, Cleanup&& cleanup) {
  try {
    body();
  } catch (...) {
    try {
      cleanup();
    } catch (...) {
    }
    throw;
  }
  cleanup();
}

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
  // Writing false (when true) empties the dataset and closes it; as in a load,
  // no automatic save and no referential-key cascade runs meanwhile.
  bool QueryExecuted() const { return query_executed_; }
  void SetQueryExecuted(bool value);

  // SqlText: the lines of SQL, each preceded by one blank, without line breaks.
  // ExpandedSql: SqlText with each parameter's placeholder replaced by its value
  // as text (no quotes). A placeholder is ":" and the whole name in any letter
  // case under the locale (":PRÉCO" is préco's): with parameters a and ab,
  // ":ab" is ab's. Placeholders are found in SqlText only: a value put in is
  // never searched again (a = "x:b" gives "x:b" whatever b holds).
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
  // destruction while open; with an empty TableName a message says why nothing
  // is written. A dataset destroyed closed writes nothing and says nothing.
  bool PersistentSave() const { return persistent_save_; }
  void SetPersistentSave(bool value) { persistent_save_ = value; }
  // Trigger. Writing true (when false) runs ReadTableFile; any exception is
  // swallowed and leaves the flag false and the dataset closed. Writing false
  // (when true) deletes the rows one by one and closes the dataset; as in a
  // load, no automatic save (the table file keeps its rows) and no
  // referential-key cascade (the slaves keep theirs) runs meanwhile.
  bool TableLoaded() const { return table_loaded_; }
  void SetTableLoaded(bool value);
  // Trigger. Writing true runs WriteTableFile and reads false again afterwards;
  // its exception passes to the caller.
  bool TableSaved() const { return table_saved_; }
  void SetTableSaved(bool value);

  // Loads the table file: reconnects (a refused folder is reported and the
  // load goes on), empties the dataset, reads the file through CsvReader (a
  // missing file is created empty; the header by the reader's rules, the rows
  // by the engine's, see VoTableFile.h; a file without a header has no
  // columns), keeps or rebuilds the field definitions and copies the rows in; the dataset ends open on its first row, filtered as
  // before. Raises DatabaseError without a connection, for a TableName holding
  // "/" or NUL ("Invalid table name: " + name), for duplicate column names and
  // unreadable files; a float text no conversion accepts passes out too, after
  // the cleanup.
  void ReadTableFile();
  // Writes every row, whatever the filter, in the current order, in the
  // engine's format (SaveDataSetToTableFile). The file is replaced whole or not
  // at all. The second form writes floats with `decimal_separator`. Raises
  // DatabaseError for a TableName holding "/" or NUL, and for field names the
  // header line could not keep, before anything is written.
  void WriteTableFile();
  void WriteTableFile(char decimal_separator);
  // Appends every row of CsvReader, column by column, and goes to the first row.
  void CopyRowsFromCsvReader();
  sdf::TSdfDataSet& CsvReader() { return csv_reader_; }

  // The engine's answer of the last run: 0, -1 or the result set's number.
  int ResultSetNumber() const { return result_set_number_; }
  TSourceData SourceKind() const { return source_kind_; }
  int SourceRecordCount() const { return source_record_count_; }
  int SourceFieldCount() const { return source_field_count_; }
  // True while rows are loaded, and while a trigger empties the dataset.
  bool InternalLoading() const { return internal_loading_; }
  // True while the dataset loads or saves: the master/detail filter and the
  // refresh of the detail datasets are off meanwhile.
  bool MasterDetailSuspended() const { return master_detail_suspended_; }
  void SetMasterDetailSuspended(bool value);

  // ---- Copying another dataset ----
  // Empties this dataset and copies every row of `source` into it from the
  // source's first row on (the source is left after its last row; its filter,
  // index and events apply while it is read). Field definitions whose names
  // equal the source's, in order and letter case, are kept with their types
  // and sizes; otherwise they are rebuilt from the source's definitions (name,
  // type, required, precision, read-only) with the sizes of its field objects.
  // Values go by position, as values, through the receiving field's conversion
  // (a float into an integer field is rounded, a longer text is cut at the
  // field's size). Read-only fields are written too.
  // Reconnects first as RunSqlText does; DatabaseError without a connection,
  // and "A dataset can not be imported into itself" for `source` being this
  // dataset, both before anything changes. A
  // value a kept field cannot take (ConversionError) and a duplicate column name
  // pass out, after InternalLoading and MasterDetailSuspended are cleared and
  // the controls of both datasets enabled again.
  void ImportFromDataset(db::DataSet& source);
  // The dataset last copied from; not owned, and read only during a copy.
  db::DataSet* ImportSource() const { return import_source_; }

  // ---- Sorting by one field ----
  // Selects `field_name` + "__IdxA" (ascending), or "__IdxD" (descending) when
  // the ascending one is current, making the index the first time it is asked
  // for; the name is used as written, the field found with the letters a to z
  // in any case. False, and nothing changes, for an unknown field or a blob,
  // memo, graphic, variant or binary one. "The maximum amount of indexes is
  // reached" passes out when no further index fits.
  bool ToggleIndexOnField(std::string_view field_name);

  // ---- Master/detail ----
  // The data source of the master dataset, which must be a TVoQueryDataSet
  // ("Invalid class typecast" otherwise) and must not be this dataset or one of
  // its own details, directly or through others ("Circular master/detail
  // link"); both errors change nothing. Not owned: the data source must outlive
  // the link. Writing a new value (none included) opens this dataset if it is
  // closed and switches its filter on, then moves it from the old master's
  // DetailDatasets to the new one's. The rows are filtered against the master's
  // current row from the master's next move on.
  db::DataSource* MasterSource() const { return master_source_; }
  void SetMasterSource(db::DataSource* source);
  // The last non-empty master source before the current one.
  db::DataSource* PreviousMasterSource() const { return previous_master_source_; }
  // Lines "detail field=master field"; a line without "=" names one field on
  // both sides. A detail shows the records whose fields equal the master's
  // current row in every pair: as values (numbers as numbers, texts exactly,
  // null only null), or else by identical texts.
  std::vector<std::string>& MasterFields() { return master_fields_; }
  void SetMasterFields(const std::vector<std::string>& lines);
  // The query datasets whose master source shows this one; not owned. A dataset
  // destroyed while linked leaves its master's list, and its details become
  // unlinked (their MasterSource none, their rows as they are).
  const std::vector<TVoQueryDataSet*>& DetailDatasets() const { return detail_datasets_; }

  // ---- The row before a change ----
  // One row: the definitions (name, type, size, required) and values of the row
  // that was current just before the last edit, insert or delete outside a
  // load began; all null when there was no current row. Its own fields never
  // refuse a null, so that a row without values can be held.
  TVoBufDataset& OldValuesBuffer() { return old_values_buffer_; }
  // True when the post in progress, or the last one, began as an edit.
  bool PostWasEdit() const { return post_was_edit_; }

  // ---- Referential keys ----
  // The keys in which this dataset is the master, and those in which it is the
  // slave; not owned. A key puts itself in and takes itself out (see
  // TVoReferentialKey). A dataset destroyed while keys name it leaves them
  // without it. While a key acts: an insert into its slave fills the joined
  // fields from the master's current row; a post of the master that began as
  // an edit rewrites the slave rows that matched the master's row as it was
  // before; a delete of a master row first deletes the slave rows that match
  // it. Rows match when the texts of every pair of joined fields are equal. A
  // cascade walks every slave row, its filter and master/detail filter off
  // meanwhile (put back, and the slave refreshed, also on an exception); an
  // error passes out of the insert, post or delete that caused it, and what the
  // cascade changed before it stays changed. A cascade that would run into a
  // dataset whose own cascade is running (keys that form a cycle) raises
  // "Referential keys form a cycle: ..." instead of touching that dataset.
  const std::vector<TVoReferentialKey*>& MasterKeys() const { return key_lists_.master_keys; }
  const std::vector<TVoReferentialKey*>& SlaveKeys() const { return key_lists_.slave_keys; }

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
  // A load or query closes and reopens the dataset to take the new columns:
  // those closes and opens neither save nor read the packet file, which would
  // otherwise put the old packet back over the new columns.
  bool PacketFileInUse() const override {
    return !internal_loading_ && TVoBufDataset::PacketFileInUse();
  }
  // Closes the dataset and removes its field definitions and field objects.
  void ClearFieldDefinitions();
  // True when the dataset has field definitions and their names, in order and
  // letter case, are the source's column names.
  bool SourceMatchesFieldDefs() const;
  // Empties the dataset and keeps its field definitions, except that, for an
  // engine result or a table file, a string definition shorter than the
  // source's longest value in its column is widened to it: no value arrives cut.
  void ReuseFieldDefs();
  // Empties the dataset and makes one field definition per source column: for an
  // engine result a string as long as the column's longest value in bytes, 255
  // when every value is empty or there are no rows. Two columns of one name
  // raise "<name> : Duplicate name '<column>' in TFieldDefs" and leave the
  // dataset closed without field definitions.
  void RebuildFieldDefsFromSource();
  // Closes the dataset, keeps its field definitions when they match the
  // source's columns (ReuseFieldDefs) or rebuilds them, and opens it again.
  void FitFieldDefsToSource();
  // Gives every float field the connection's FloatDisplayFormat, when it has one.
  void ApplyFloatDisplayFormat();
  // Takes result set ResultSetNumber of the engine as the source, keeps or
  // rebuilds the field definitions and copies its rows in.
  void LoadEngineResult();
  // The automatic save of PersistentSave: WriteTableFile, or `message` shown
  // when TableName is empty.
  void AutoSave(std::string_view message);
  // Rebuilds `snapshot` as a one-row copy of the current row of `source`.
  static void SnapshotRow(TVoBufDataset& snapshot, db::DataSet& source);
  // Snapshots the current row into OldValuesBuffer when open and not loading.
  void SnapshotIfActive();
  // Moves this dataset from the list of the master it was registered with to
  // the list of its master source's dataset, when they differ.
  void RegisterWithMaster();

  // Outside a load: an edit, insert or delete first snapshots the current row;
  // a post notes whether it began as an edit; a post or a delete makes the
  // automatic save; an insert, a delete and a post of an edit let the details
  // follow the new current row.
  void DoBeforeEdit() override;
  void DoBeforeInsert() override;
  void DoBeforeDelete() override;
  void DoBeforePost() override;
  void DoAfterInsert() override;
  void DoAfterPost() override;
  void DoAfterDelete() override;
  // Fires AfterScroll, then refreshes each detail and moves it to its first
  // row, when both it and this dataset are open, hold rows and have one field
  // object per definition, and no load or save of this dataset is running.
  void DoAfterScroll() override;
  // The buffered dataset's own filter, then, while a master source is linked
  // and open and no load runs, the MasterFields test against the master's
  // current row; then the details of this dataset follow.
  void DoFilterRecord(bool& accept) override;
  // Appends every row of the engine result as one bulk load (the sort indexes
  // are built once at its end) and goes to the first row. A row whose value no
  // field conversion accepts is dropped and its error passes on.
  void CopyRowsFromEngineResult();

 private:
  friend class TVoConnection;
  friend class TVoReferentialKey;

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
  // Empties the dataset, runs `after_rows` (when set) and closes it, with
  // none of the dataset's own hooks meanwhile; `loaded` is false afterwards,
  // also after a failure.
  void Unload(bool& loaded, const std::function<void()>& after_rows);
  // Copies the rows of `source` into the first `columns` fields.
  void CopyRowsFromDataset(db::DataSet& source, int columns);
  // The query dataset a master source shows; nullptr for none. DatabaseError
  // "Invalid class typecast" for a dataset of another class.
  static TVoQueryDataSet* MasterDatasetOf(const db::DataSource* source);
  // Leaves the master's detail list and unlinks the details; never throws.
  void UnlinkMasterDetail() noexcept;

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
  db::DataSet* import_source_ = nullptr;
  std::vector<std::string> master_fields_;
  db::DataSource* master_source_ = nullptr;
  db::DataSource* previous_master_source_ = nullptr;
  // The dataset whose DetailDatasets lists this one. It differs from the master
  // source's dataset only while a write is half done, or after the data source
  // was pointed at another dataset behind the link's back.
  TVoQueryDataSet* registered_master_ = nullptr;
  std::vector<TVoQueryDataSet*> detail_datasets_;
  TVoBufDataset old_values_buffer_;
  // The values of a row being posted as an edit, for the update cascade.
  TVoBufDataset posted_values_buffer_;
  bool post_was_edit_ = false;

  // ---- Referential keys ----
  // The insert fill of every acting key in which this dataset is the slave,
  // into its new row.
  void FillFromMasterKeys();
  // The update or delete cascade of every acting key in which this dataset
  // is the master, against its row snapshot.
  void CascadeToSlaveKeys(TVoReferentialAction action);
  void CascadeToSlave(const TVoReferentialKey& key, TVoReferentialAction action);
  // Set while this dataset's update or delete cascade runs. Keys that lead
  // back to a dataset whose cascade is running (A to B and B to A) would go
  // round for ever: such a cascade is refused before it touches the slave.
  bool cascading_ = false;

  // The key lists. Whatever the key names this dataset as (master, slave, a
  // previous one) is in naming_keys; when the dataset goes, the lists go
  // first and make those keys forget it.
  struct ReferentialKeyLists {
    explicit ReferentialKeyLists(TVoQueryDataSet* dataset) : owner(dataset) {}
    ~ReferentialKeyLists();
    ReferentialKeyLists(const ReferentialKeyLists&) = delete;
    ReferentialKeyLists& operator=(const ReferentialKeyLists&) = delete;

    TVoQueryDataSet* owner;
    std::vector<TVoReferentialKey*> master_keys;
    std::vector<TVoReferentialKey*> slave_keys;
    std::vector<TVoReferentialKey*> naming_keys;
  };
  // Declared last: destroyed before the other members, after the destructor's
  // own body.
  ReferentialKeyLists key_lists_{this};
};

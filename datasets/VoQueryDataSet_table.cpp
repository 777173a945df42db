// The query dataset's table files: loading a table file through the delimited
// text reader with the engine's row rules, writing the rows back in the
// engine's format, the automatic save of PersistentSave and the two trigger
// properties.
#include <algorithm>
#include <exception>
#include <span>
#include <string>
#include <string_view>

#include "datasets/Reporter.h"
#include "datasets/VoQueryDataSet.h"
#include "datasets/VoTableFile.h"
#include "db/DatabaseError.h"

namespace {

// The file of a table, refusing a name that would leave the database folder.
std::string TableFilePath(const TVoConnection* connection, const std::string& table_name) {
  if (table_name.find('/') != std::string::npos || table_name.find('\0') != std::string::npos) {
    throw db::DatabaseError("Invalid table name: " + table_name);
  }
  return connection->DatabaseFolder() + table_name + ".txt";
}

}  // namespace

void TVoQueryDataSet::SetTableLoaded(bool value) {
  if (value == table_loaded_) return;
  if (value) {
    try {
      ReadTableFile();
      table_loaded_ = true;
    } catch (...) {
      table_loaded_ = false;
      Close();
    }
    return;
  }
  Unload(table_loaded_, nullptr);
}

void TVoQueryDataSet::SetTableSaved(bool value) {
  if (value == table_saved_) return;
  if (!value) {
    table_saved_ = false;
    return;
  }
  table_saved_ = true;
  try {
    WriteTableFile();
  } catch (...) {
    table_saved_ = false;
    throw;
  }
  table_saved_ = false;
}

void TVoQueryDataSet::ReadTableFile() {
  if (connection_ == nullptr) Raise("VoConnection property is not set");
  DisableControls();
  internal_loading_ = true;
  master_detail_suspended_ = true;
  auto finish = [this] {
    internal_loading_ = false;
    master_detail_suspended_ = false;
    if (Active()) Refresh();
    csv_reader_.Close();
    EnableControls();
  };
  RunThenCleanUp(
      [&] {
        TVoConnection& connection = Reconnect();
        const std::string path = TableFilePath(&connection, table_name_);

        csv_reader_.Close();
        csv_reader_.SetFileName(path);
        csv_reader_.SetFirstLineAsSchema(true);
        csv_reader_.SetDelimiter(';');
        csv_reader_.SetFileMustExist(false);
        // Rows are read as the engine reads them: quotes, escapes and blanks
        // mean the same on both sides, so no value changes on its way through.
        csv_reader_.SetRowCutter(CutTableFileRow);
        // The rows are copied once, straight from the file.
        csv_reader_.SetRowsFromFile(true);
        // A pipe or a device is no table file: refused as the engine refuses it.
        csv_reader_.SetRegularFilesOnly(true);
        csv_reader_.Open();
        if (!Active()) Open();
        DeleteAllRows();
        source_kind_ = sdSdfDataset;
        source_field_count_ = csv_reader_.FieldDefCount();
        source_record_count_ = csv_reader_.RecordCount();

        FitFieldDefsToSource();
        // A load that failed part way is not saved: it would write the rows read
        // so far over the whole table.
        CopyRowsFromCsvReader();
        // A file without a header line gives no columns; saving that would
        // write an empty header over whatever lines the file holds.
        if (persistent_save_ && FieldCount() > 0) {
          AutoSave("Dataset " + Name() + " can not be saved because TableName property is not set");
        }
      },
      finish);
}

void TVoQueryDataSet::CopyRowsFromCsvReader() {
  if (!Active()) Open();
  if (!csv_reader_.Active()) csv_reader_.Open();
  csv_reader_.First();
  const int columns = std::min(source_field_count_, FieldCount());
  BulkCopy(columns, [&](const std::vector<db::Field*>& fields, const std::vector<bool>& is_float) {
    // Without columns (a file without a header) a line holds nothing to keep.
    if (columns == 0) return;
    // Text fields and nothing listening per row (a slave key would fill each
    // new row from its master): the rows go straight into the record store,
    // cut one by one, without a cell offset kept for the whole file.
    const auto lines = static_cast<std::size_t>(std::max(source_record_count_, 0));
    if (key_lists_.slave_keys.empty() && BeginTextAppends(lines)) {
      post_was_edit_ = false;
      csv_reader_.VisitRows([&](std::span<const std::string_view> values) {
        AppendTexts(values.first(std::min(values.size(), static_cast<std::size_t>(columns))));
      });
      return;
    }
    for (; !csv_reader_.Eof(); csv_reader_.Next()) {
      Append();
      for (int c = 0; c < columns; ++c) {
        // A column the line ended before stays null.
        const std::optional<std::string_view> value = csv_reader_.Value(c);
        if (value) StoreText(*fields[static_cast<std::size_t>(c)], *value, is_float[c]);
      }
      Post();
    }
  });
}

void TVoQueryDataSet::WriteTableFile() { WriteTableFile('\0'); }

void TVoQueryDataSet::WriteTableFile(char decimal_separator) {
  if (connection_ == nullptr) Raise("VoConnection property is not set");
  const std::string path = TableFilePath(connection_, table_name_);
  // A pending edit is posted first, so that its row is written and the
  // position the writer takes is a stored row.
  if (State() == db::DataSetState::kEdit || State() == db::DataSetState::kInsert) Post();
  master_detail_suspended_ = true;
  RunThenCleanUp(
      [&] {
        TableFileOptions options;
        options.all_rows = true;
        options.decimal_separator = decimal_separator;
        SaveDataSetToTableFile(*this, path, options);
      },
      [&] {
        master_detail_suspended_ = false;
        if (Active()) Refresh();
      });
}

void TVoQueryDataSet::AutoSave(std::string_view message) {
  if (table_name_.empty()) {
    ShowMessage(message);
    return;
  }
  WriteTableFile();
}

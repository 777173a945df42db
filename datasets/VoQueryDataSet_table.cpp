// The query dataset's table files: loading a table file through the delimited
// text reader, writing the rows back through the CSV exporter, the automatic
// save of PersistentSave and the two trigger properties.
#include <exception>
#include <string>

#include "DatabaseError.h"
#include "Reporter.h"
#include "VoQueryDataSet.h"

namespace {

// The file of a table, refusing a name that would leave the database folder.
std::string TableFilePath(const TVoConnection* connection, const std::string& table_name) {
  if (table_name.find('/') != std::string::npos || table_name.find('\0') != std::string::npos) {
    throw db::DatabaseError("Invalid table name: " + table_name);
  }
  return connection->DatabaseFolder() + table_name + ".txt";
}

// Why a string value would not read back from the file as it was written
// (values are written between double quotes, unescaped); nullptr when it would.
const char* UnwritableReason(std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) return "a line break";
  if (value.find("\";") != std::string_view::npos) return "a double quote followed by \";\"";
  return nullptr;
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
  // Unloading deletes the rows one by one, as real deletes (their hooks run),
  // but must not write the emptied dataset over the table file.
  unloading_ = true;
  try {
    DeleteAllRows();
  } catch (...) {
    unloading_ = false;
    table_loaded_ = false;
    Close();
    throw;
  }
  unloading_ = false;
  table_loaded_ = false;
  Close();
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
        if (!Active()) Open();
        DeleteAllRows();

        csv_reader_.Close();
        csv_reader_.SetFileName(path);
        csv_reader_.SetFirstLineAsSchema(true);
        csv_reader_.SetDelimiter(';');
        csv_reader_.SetFileMustExist(false);
        csv_reader_.Open();
        source_kind_ = sdSdfDataset;
        source_field_count_ = csv_reader_.FieldDefCount();
        source_record_count_ = csv_reader_.RecordCount();

        FitFieldDefsToSource();
        // A load that failed part way is not saved: it would write the rows read
        // so far over the whole table.
        CopyRowsFromCsvReader();
        if (persistent_save_) {
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
  // position taken below is a stored row.
  if (State() == db::DataSetState::kEdit || State() == db::DataSetState::kInsert) Post();
  DisableControls();
  master_detail_suspended_ = true;
  const db::Bookmark position = GetBookmark();
  const bool filtered = Filtered();
  // The filter text is never changed; the flag and the position come back,
  // also after a failure, and the controls are enabled again in every case.
  auto restore = [&] {
    SetFiltered(filtered);
    if (position.IsSet() && BookmarkValid(position)) GotoBookmark(position);
    if (Active()) Refresh();
  };
  auto finish = [&] {
    master_detail_suspended_ = false;
    EnableControls();
  };
  RunThenCleanUp(
      [&] {
        SetFiltered(false);
        if (Active()) Refresh();
        // A value the file could not keep would come back cut or split into other
        // columns: nothing is written then, and the old file stays.
        for (First(); !Eof(); Next()) {
          for (int c = 0; c < FieldCount(); ++c) {
            db::Field& field = Fields(c);
            if (!db::IsStringType(field.DataType()) || field.IsNull()) continue;
            if (const char* reason = UnwritableReason(field.AsString())) {
              Raise("Value of field " + field.FieldName() + " in row " + std::to_string(RecNo()) +
                    " can not be written to a table file: it holds " + reason);
            }
          }
        }
        First();
        csv_writer_.SetDataset(this);
        csv_writer_.SetFileName(path);
        csv_writer_.SetFromCurrent(false);
        sdf::TCSVFormatSettings& settings = csv_writer_.FormatSettings();
        settings.FieldDelimiter = ';';
        settings.HeaderRow = true;
        settings.QuoteStrings = sdf::TQuoteStrings::qsAlways;
        settings.QuoteChar = '"';
        settings.BooleanFalse = "False";
        settings.BooleanTrue = "True";
        settings.DateFormat = "yyyy-mm-dd";
        settings.DateTimeFormat = "yyyy-mm-dd hh:mm:ss";
        settings.DecimalSeparator = decimal_separator;
        csv_writer_.Execute();
      },
      // Whatever restoring the position does, the controls come back.
      [&] { RunThenCleanUp(restore, finish); });
}

void TVoQueryDataSet::AutoSave(std::string_view message) {
  if (table_name_.empty()) {
    ShowMessage(message);
    return;
  }
  WriteTableFile();
}

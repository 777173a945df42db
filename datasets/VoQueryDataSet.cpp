// The query dataset's SQL side: running the SQL text through the connection's
// engine, copying the result set in, and the machinery every load shares.
#include "datasets/VoQueryDataSet.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "datasets/Reporter.h"
#include "db/DatabaseError.h"
#include "engine/vekSQLExpression2.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace {

constexpr std::string_view kQueryFailed = "Error while trying to execute query.";
constexpr int kEmptyColumnSize = 255;

bool IsNameChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u >= 0x80;
}

// One placeholder found in the SQL text: where it stands, how long it is, and
// the value that takes its place.
struct Placeholder {
  std::size_t at;
  std::size_t length;
  std::size_t value;
};

// Finds every ":" + `name` in `text`, the name in any letter case under the
// locale (":PRÉCO" names préco, even where a letter's two cases differ in byte
// length), that is not followed by a further name character (":ab" is not
// ":a" followed by "b") and lies outside the places already claimed, and
// claims it for value number `value`.
void ClaimPlaceholders(const std::string& text, std::string_view name, std::size_t value,
                       std::vector<Placeholder>& claimed) {
  const std::string placeholder = ":" + std::string(name);
  std::size_t from = 0;
  std::size_t length = 0;
  std::size_t at;
  while ((at = rtl::FindTextIgnoreCase(text, placeholder, from, length)) != std::string::npos) {
    const std::size_t end = at + length;
    const bool overlaps = std::any_of(claimed.begin(), claimed.end(), [&](const Placeholder& p) {
      return at < p.at + p.length && p.at < end;
    });
    if (overlaps || (end < text.size() && IsNameChar(text[end]))) {
      from = at + 1;
      continue;
    }
    claimed.push_back({at, length, value});
    from = end;
  }
}

// The report of a failed run: the engine's text, and the exception's own
// message when the engine's text does not already hold it.
std::string FailureText(const std::string& last_error, std::string_view exception_message) {
  std::string text = last_error;
  if (!exception_message.empty() && text.find(exception_message) == std::string::npos) {
    if (!text.empty()) text += ": ";
    text += exception_message;
  }
  return text;
}

}  // namespace

TVoQueryDataSet::TVoQueryDataSet() = default;

TVoQueryDataSet::~TVoQueryDataSet() {
  // A closed dataset holds no rows: there is nothing to save, and writing it
  // would either fail or put an empty table over the file.
  if (persistent_save_ && Active()) {
    try {
      AutoSave("Dataset can not be saved because TableName property is not set");
    } catch (const std::exception& e) {
      ShowMessage(e.what());
    } catch (...) {
      // A destructor must not throw; the failed save has nothing more to say.
    }
  }
  UnlinkMasterDetail();
  ReleaseResultSet();
  if (connection_ != nullptr) connection_->Detach(this);
}

void TVoQueryDataSet::SetVoConnection(TVoConnection* connection) {
  if (connection == connection_) return;
  if (connection_ != nullptr) connection_->Detach(this);
  connection_ = connection;
  if (connection_ != nullptr) connection_->Attach(this);
}

void TVoQueryDataSet::ReleaseResultSet() noexcept {
  engine_result_ = nullptr;
  if (connection_ == nullptr) return;
  try {
    connection_->VekSQLInstance().ReleaseRecordSet(result_set_number_);
  } catch (...) {
    // A release is housekeeping: a failing one must not stop a run's cleanup
    // or a destruction.
  }
}

TVoConnection& TVoQueryDataSet::Reconnect() {
  if (connection_ == nullptr) Raise("VoConnection property is not set");
  connection_->ResetEngine();
  connection_->OpenEngine();
  if (!connection_->Connected()) connection_->SetConnected(true);
  return *connection_;
}

void TVoQueryDataSet::RunSqlText() {
  if (connection_ == nullptr) Raise("VoConnection property is not set");
  DisableControls();
  internal_loading_ = true;
  master_detail_suspended_ = true;
  auto finish = [this] {
    EnableControls();
    internal_loading_ = false;
    master_detail_suspended_ = false;
    if (Active()) Refresh();
  };
  RunThenCleanUp(
      [&] {
        TVoConnection& connection = Reconnect();
        if (!Active()) Open();
        DeleteAllRows();
        ExpandQueryParameters();

        result_set_number_ = 0;
        TVoEngine& engine = connection.VekSQLInstance();
        try {
          result_set_number_ = engine.ExecuteSQL(expanded_sql_);
          if (result_set_number_ == 0)
            ShowMessage(std::string(kQueryFailed) + engine.GetLastError());
        } catch (const std::exception& e) {
          result_set_number_ = 0;
          ShowMessage(std::string(kQueryFailed) + FailureText(engine.GetLastError(), e.what()));
        } catch (...) {
          result_set_number_ = 0;
          ShowMessage(std::string(kQueryFailed) + engine.GetLastError());
        }

        if (result_set_number_ > 0) {
          try {
            LoadEngineResult();
            // A load that failed part way is not saved: it would write the rows
            // copied so far over the whole table.
            if (persistent_save_) {
              AutoSave("Dataset " + Name() +
                       " can not be saved because TableName property is not set");
            }
          } catch (...) {
            ReleaseResultSet();
            throw;
          }
          ReleaseResultSet();
        }
      },
      finish);
}

void TVoQueryDataSet::SetQueryExecuted(bool value) {
  if (value == query_executed_) return;
  if (value) {
    try {
      if (connection_ != nullptr) connection_->SetConnected(true);
      RunSqlText();
      query_executed_ = true;
    } catch (...) {
      query_executed_ = false;
      Close();
    }
    return;
  }
  Unload(query_executed_, [this] { ReleaseResultSet(); });
}

void TVoQueryDataSet::Unload(bool& loaded, const std::function<void()>& after_rows) {
  // The rows are deleted one by one (the dataset's own events fire), but as in
  // a load none of the query dataset's hooks run: no automatic save writes the
  // emptied dataset over a table file, and no referential key deletes the
  // slaves' rows, whose automatic saves would empty their table files.
  internal_loading_ = true;
  RunThenCleanUp(
      [&] {
        DeleteAllRows();
        if (after_rows) after_rows();
      },
      [&] {
        internal_loading_ = false;
        loaded = false;
        Close();
      });
}

void TVoQueryDataSet::ExpandQueryParameters() {
  sql_text_.clear();
  for (const std::string& line : sql_) {
    sql_text_ += ' ';
    sql_text_ += line;
  }
  // Every placeholder is looked for in the text as written, never in a value
  // put in before: with :a = 'x:b' and b = 1, "select :a" sends "select x:b".
  // Where two parameters' names differ only in letter case, the first one's
  // value wins.
  std::vector<std::string> values;
  std::vector<Placeholder> claimed;
  for (int i = 0; i < parameters_.Count(); ++i) {
    const db::Param& param = parameters_[i];
    if (param.Value.IsNull()) {
      throw db::ConversionError("Parameter \"" + param.Name + "\" has no value");
    }
    if (param.Name.empty()) continue;  // no placeholder can name it
    values.push_back(vek::ValueToText(param.Value));
    ClaimPlaceholders(sql_text_, param.Name, values.size() - 1, claimed);
  }
  std::sort(claimed.begin(), claimed.end(),
            [](const Placeholder& a, const Placeholder& b) { return a.at < b.at; });
  expanded_sql_.clear();
  std::size_t copied = 0;
  for (const Placeholder& p : claimed) {
    expanded_sql_.append(sql_text_, copied, p.at - copied);
    expanded_sql_ += values[p.value];
    copied = p.at + p.length;
  }
  expanded_sql_.append(sql_text_, copied, std::string::npos);
}

void TVoQueryDataSet::DeleteAllRows() {
  if (!Active()) Open();
  const std::string filter = Filter();
  const bool filtered = Filtered();
  SetFilterText("");
  SetFiltered(false);
  auto restore = [&] {
    SetFilterText(filter);
    SetFiltered(filtered);
    Refresh();
  };
  RunThenCleanUp(
      [&] {
        First();
        while (!IsEmpty()) Delete();
      },
      restore);
}

void TVoQueryDataSet::ClearFieldDefinitions() {
  Close();
  FieldDefs().Clear();
  DestroyFields();
}

bool TVoQueryDataSet::HasSource() const {
  return source_kind_ == sdSdfDataset || (source_kind_ == sdVekSQL && engine_result_ != nullptr) ||
         (source_kind_ == sdOtherDataset && import_source_ != nullptr);
}

const std::string& TVoQueryDataSet::SourceColumnName(int index) const {
  if (source_kind_ == sdSdfDataset) return csv_reader_.FieldName(index);
  if (source_kind_ == sdOtherDataset) return import_source_->FieldDefs()[index].Name;
  return engine_result_->FieldNames[static_cast<std::size_t>(index)];
}

bool TVoQueryDataSet::SourceMatchesFieldDefs() const {
  const db::FieldDefList& defs = FieldDefs();
  if (defs.Count() == 0 || defs.Count() != source_field_count_) return false;
  if (!HasSource()) return false;
  for (int i = 0; i < defs.Count(); ++i) {
    if (defs[i].Name != SourceColumnName(i)) return false;
  }
  return true;
}

std::vector<int> TVoQueryDataSet::SourceColumnWidths() const {
  std::vector<int> widths(static_cast<std::size_t>(source_field_count_), 0);
  if (source_kind_ == sdSdfDataset) {
    // The reader's column sizes already hold its longest line.
    for (int c = 0; c < source_field_count_; ++c) widths[c] = csv_reader_.FieldSize(c);
    return widths;
  }
  // A copy of another dataset keeps kept definitions as they are: its values
  // go through the receiving field's conversion and a longer text is cut.
  if (source_kind_ == sdOtherDataset) return widths;
  if (source_kind_ != sdVekSQL || engine_result_ == nullptr) return widths;
  for (const vek::TvekRecord& row : engine_result_->Records) {
    for (int c = 0; c < source_field_count_; ++c) {
      int& width = widths[static_cast<std::size_t>(c)];
      width = std::max(width, static_cast<int>(row.Cell(c).size()));
    }
  }
  return widths;
}

void TVoQueryDataSet::ReuseFieldDefs() {
  if (!Active()) Open();
  DeleteAllRows();
  // Kept definitions would cut a longer value at their size; such a column is
  // widened to the longest value instead.
  std::vector<int> widths = SourceColumnWidths();
  db::FieldDefList& defs = FieldDefs();
  bool widen = false;
  for (int i = 0; i < defs.Count() && i < static_cast<int>(widths.size()); ++i) {
    if (db::StorageOf(defs[i].DataType) == db::StorageKind::kText &&
        defs[i].Size < widths[static_cast<std::size_t>(i)]) {
      widen = true;
    }
  }
  if ((FieldCount() == 0 && defs.Count() > 0) || widen) {
    Close();
    for (int i = 0; i < defs.Count() && i < static_cast<int>(widths.size()); ++i) {
      if (db::StorageOf(defs[i].DataType) == db::StorageKind::kText) {
        defs[i].Size = std::max(defs[i].Size, widths[static_cast<std::size_t>(i)]);
      }
    }
    if (MaxIndexesCount() < 2 * defs.Count() + 3) SetMaxIndexesCount(2 * defs.Count() + 3);
    CreateDataset();
  }
  ApplyFloatDisplayFormat();
}

void TVoQueryDataSet::RebuildFieldDefsFromSource() {
  if (!Active()) Open();
  DeleteAllRows();
  Close();
  ClearFieldDefinitions();
  std::vector<int> widths = SourceColumnWidths();
  try {
    for (int i = 0; i < source_field_count_; ++i) {
      if (source_kind_ == sdOtherDataset) {
        // The source's own definition, sized as its field object is.
        db::FieldDef def = import_source_->FieldDefs()[i];
        if (i < import_source_->FieldCount()) def.Size = import_source_->Fields(i).Size();
        FieldDefs().Add(def);
        continue;
      }
      int width = widths[static_cast<std::size_t>(i)];
      // A table file's columns take the reader's sizes as they are.
      if (source_kind_ == sdVekSQL && width == 0) width = kEmptyColumnSize;
      FieldDefs().Add(SourceColumnName(i), db::FieldType::ftString, width);
    }
  } catch (const db::DatabaseError& e) {
    // Two columns of one name ("select id, id from t") cannot both be fields:
    // no half of the definitions is kept, and the error names the dataset.
    FieldDefs().Clear();
    Raise(e.what());
  }
  // One ascending and one descending sort index per column, the two built-in
  // indexes, and one to spare.
  if (MaxIndexesCount() < 2 * source_field_count_ + 3) {
    SetMaxIndexesCount(2 * source_field_count_ + 3);
  }
  CreateDataset();
  ApplyFloatDisplayFormat();
}

void TVoQueryDataSet::ApplyFloatDisplayFormat() {
  if (connection_ == nullptr || connection_->FloatDisplayFormat().empty()) return;
  const db::FieldDefList& defs = FieldDefs();
  for (int i = 0; i < defs.Count() && i < FieldCount(); ++i) {
    if (defs[i].DataType == db::FieldType::ftFloat) {
      Fields(i).SetDisplayFormat(connection_->FloatDisplayFormat());
    }
  }
}

void TVoQueryDataSet::FitFieldDefsToSource() {
  Close();
  if (SourceMatchesFieldDefs()) {
    ReuseFieldDefs();
  } else {
    RebuildFieldDefsFromSource();
  }
  Open();
}

void TVoQueryDataSet::LoadEngineResult() {
  source_kind_ = sdVekSQL;
  engine_result_ = connection_->VekSQLInstance().GetRecordSet(result_set_number_);
  if (engine_result_ == nullptr) {
    Raise("The engine has no record set " + std::to_string(result_set_number_));
  }
  source_record_count_ = engine_result_->RecordCount();
  source_field_count_ = engine_result_->FieldCount();
  FitFieldDefsToSource();
  CopyRowsFromEngineResult();
}

void TVoQueryDataSet::CopyRowsFromEngineResult() {
  if (!Active()) Open();
  const int columns = std::min(source_field_count_, FieldCount());
  BulkCopy(columns, [&](const std::vector<db::Field*>& fields, const std::vector<bool>& is_float) {
    for (const vek::TvekRecord& row : engine_result_->Records) {
      Append();
      for (int c = 0; c < columns; ++c) {
        StoreText(*fields[static_cast<std::size_t>(c)], row.Cell(c), is_float[c]);
      }
      Post();
    }
  });
}

void TVoQueryDataSet::BulkCopy(int columns, const RowCopier& copy) {
  std::vector<db::Field*> fields;
  std::vector<bool> is_float;
  for (int c = 0; c < columns; ++c) {
    fields.push_back(&Fields(c));
    is_float.push_back(Fields(c).DataType() == db::FieldType::ftFloat);
  }
  // Rows go to the default order alone; the sort indexes are built once at the
  // end, so that a reloaded dataset is still sorted by its current index.
  BeginBulkLoad();
  try {
    copy(fields, is_float);
  } catch (...) {
    // A row that failed part way is dropped, not posted by the rebuild.
    if (State() == db::DataSetState::kInsert) Cancel();
    EndBulkLoad();
    throw;
  }
  EndBulkLoad();
  First();
}

void TVoQueryDataSet::StoreText(db::Field& field, std::string_view text, bool is_float) {
  if (!is_float) {
    field.SetAsString(text);
    return;
  }
  try {
    field.SetAsFloat(ParseFloatLocal(text));
  } catch (const db::ConversionError&) {
    field.SetAsString(text);
  }
}

double TVoQueryDataSet::ParseFloatLocal(std::string_view text) {
  const char decimal = rtl::DecimalSeparator();
  std::string swapped(text);
  if (decimal == ',') {
    std::replace(swapped.begin(), swapped.end(), '.', ',');
  } else if (decimal == '.') {
    std::replace(swapped.begin(), swapped.end(), ',', '.');
  }
  std::optional<double> value;
  if (decimal == ',' || decimal == '.') value = rtl::StrictTextToFloat(swapped);
  if (!value) throw db::ConversionError("\"" + std::string(text) + "\" is an invalid float");
  return *value;
}

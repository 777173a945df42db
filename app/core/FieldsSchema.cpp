// Reading a table's header into its Fields rows, and changing its file's
// columns to the registered names.
#include "FieldsSchema.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>

#include "rtl/AtomicFile.h"
#include "db/DatabaseError.h"
#include "engine/vekSQLTextTable.h"
#include "rtl/FileAccess.h"
#include "SchemaStatements.h"
#include "sdf/SdfDataSet.h"
#include "TableNames.h"

namespace app {

namespace {



// Replaces the current table's Fields rows by `names`, each keeping the
// comment its name had.
void ReplaceFields(Catalogue& catalogue, const std::vector<std::string>& names) {
  dbf::TDbf& fields = catalogue.Fields();
  const std::int64_t table_id = catalogue.Tables().FieldByName("TABLE_ID").AsInteger();
  std::map<std::string, std::string> comments;
  fields.CheckActive();
  for (fields.First(); !fields.Eof(); fields.Next()) {
    comments.emplace(fields.FieldByName("FIELDNAME").AsString(),
                     fields.FieldByName("FIELDCOMMENT").AsString());
  }
  fields.First();
  while (!fields.IsEmpty()) {
    // Fields follows Tables: a row of another table here would be a broken
    // link, and deleting on would remove what is not this table's.
    if (fields.FieldByName("TABLE_ID").AsInteger() != table_id) {
      fields.Raise("A field of another table is shown; nothing more was deleted.");
    }
    fields.Delete();
  }
  for (const std::string& name : names) {
    fields.Append();
    fields.FieldByName("FIELDNAME").SetAsString(name);
    const auto comment = comments.find(name);
    if (comment != comments.end() && !comment->second.empty()) {
      fields.FieldByName("FIELDCOMMENT").SetAsString(comment->second);
    }
    fields.Post();
  }
}

// Writes `names` joined by ";" as the first line of the headerless `file`,
// in place of its blank first line; the lines after it stay. An empty file
// gets the line alone, as CREATE TABLE writes it. DatabaseError when a name
// could not be read back as one column, or the file cannot be written (the
// old one then stays).
void WriteHeaderLine(const std::string& file, const std::vector<std::string>& names) {
  std::string header;
  for (const std::string& name : names) {
    if (const vek::Status s = vek::CheckColumnName(name); !s.ok()) {
      throw db::DatabaseError(s.message());
    }
    if (!header.empty()) header += ';';
    header += name;
  }
  std::string bytes;
  {
    rtl::FileReader reader;
    if (!reader.Open(file)) throw db::DatabaseError(reader.Error());
    bytes.resize(reader.Size());
    std::size_t done = 0;
    while (done < bytes.size()) {
      const long got = reader.Read(bytes.data() + done, bytes.size() - done);
      if (got < 0) throw db::DatabaseError(reader.Error());
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
  }
  const std::size_t line_end = std::min(bytes.find_first_of("\r\n"), bytes.size());
  rtl::AtomicFileWriter writer(file);
  if (!writer.Open() || !writer.Append(header) || !writer.Append(bytes.substr(line_end)) ||
      !writer.Commit()) {
    throw db::DatabaseError(writer.Error());
  }
}

// Runs `text` through `action_query`; false when the engine refused it (the
// query dataset has shown why) or the run failed (shown here).
bool RunStatements(TVoQueryDataSet& action_query, const std::string& text, Messages& messages) {
  try {
    action_query.SetSQL({text});
    action_query.RunSqlText();
  } catch (const std::exception& e) {
    messages.Info(e.what());
    return false;
  }
  return action_query.ResultSetNumber() != 0;
}

}  // namespace

std::vector<std::string> ReadHeaderNames(const std::string& file) {
  sdf::TSdfDataSet reader;
  reader.SetRegularFilesOnly(true);
  reader.SetFileName(file);
  reader.SetFirstLineAsSchema(true);
  reader.SetDelimiter(';');
  reader.SetFileMustExist(true);
  reader.Open();
  std::vector<std::string> names;
  for (int i = 0; i < reader.FieldDefCount(); ++i) names.push_back(reader.FieldName(i));
  reader.Close();
  return names;
}

std::vector<std::string> RegisteredFieldNames(Catalogue& catalogue) {
  dbf::TDbf& fields = catalogue.Fields();
  std::vector<std::string> names;
  if (!fields.Active() || fields.IsEmpty()) return names;
  const db::Bookmark here = fields.GetBookmark();
  for (fields.First(); !fields.Eof(); fields.Next()) {
    names.push_back(fields.FieldByName("FIELDNAME").AsString());
  }
  fields.GotoBookmark(here);
  return names;
}

bool GetFieldsSchema(Catalogue& catalogue, const TVoConnection& connection, Messages& messages) {
  dbf::TDbf& fields = catalogue.Fields();
  db::ControlsDisabled suspended(fields);
  try {
    const std::optional<std::string> table = CurrentTableName(catalogue);
    if (!table) throw db::DatabaseError(std::string(kNoCurrentTable));
    const std::string problem = TableNameProblem(*table);
    if (!problem.empty()) throw db::DatabaseError(problem);
    const std::string file = TableFilePath(connection.DatabaseFolder(), *table);
    const std::vector<std::string> names = ReadHeaderNames(file);
    // Without a header the reader has no names to give: the registered fields
    // are all there is to know about the table, so they stay.
    if (names.empty()) {
      throw db::DatabaseError("The file " + file + " holds no column names in its first line.");
    }
    ReplaceFields(catalogue, names);
  } catch (const std::exception& e) {
    if (fields.State() == db::DataSetState::kInsert || fields.State() == db::DataSetState::kEdit) {
      fields.Cancel();
    }
    messages.Info(std::string("I could not retrieve fields schema information. ") + e.what());
    return false;
  }
  return true;
}

bool SetFieldsSchema(Catalogue& catalogue, TVoConnection& connection,
                     TVoQueryDataSet& action_query, TableData& table_data, Messages& messages) {
  const std::optional<std::string> table = CurrentTableToWorkOn(catalogue, messages);
  if (!table) return false;
  // Before any connect the engine has no folder, and CREATE TABLE would put
  // "/" + T + ".txt" at the root of the file system.
  const std::string folder = connection.DatabaseFolder();
  if (folder.empty() || rtl::KindOfPath(folder) != rtl::PathKind::kDirectory) {
    messages.Info("The project folder " + folder + " does not exist.");
    return false;
  }
  const std::string file = TableFilePath(folder, *table);
  const bool reload = table_data.Loaded() && table_data.LoadedFile() == file;
  if (reload && table_data.HasUnsavedChanges() &&
      !messages.YesNo("The data of table " + table_data.LoadedTable() +
                      " has changes that are not saved to its file. Discard them?")) {
    return false;
  }

  db::ControlsDisabled suspended(catalogue.Fields());
  const std::vector<std::string> registered = RegisteredFieldNames(catalogue);
  // Each step is followed by a reload of the changed table's loaded data, and
  // the whole operation by one more: the grid shows every stage the file
  // went through.
  const auto reload_after_step = [&] {
    if (reload) table_data.Reload(messages);
  };
  if (rtl::KindOfPath(file) == rtl::PathKind::kMissing) {
    RunStatements(action_query, CreateTableFromFields(*table, registered), messages);
    reload_after_step();
  } else {
    std::optional<std::vector<std::string>> header;
    try {
      header = ReadHeaderNames(file);
    } catch (const std::exception&) {
      // Unreadable, or two names equal but for case: the read-back below
      // reports it, and nothing is changed.
    }
    if (header && header->empty()) {
      if (!registered.empty()) {
        try {
          WriteHeaderLine(file, registered);
        } catch (const std::exception& e) {
          messages.Info(e.what());
        }
      }
      reload_after_step();
    } else if (header) {
      // Dropping first would lose a renamed column's values for good when its
      // new name is then refused.
      const std::string add = AddMissingColumns(*table, registered, *header);
      const bool added = add.empty() || RunStatements(action_query, add, messages);
      reload_after_step();
      if (added) {
        const std::string drop = DropSurplusColumns(*table, registered, *header);
        if (!drop.empty()) RunStatements(action_query, drop, messages);
        reload_after_step();
      }
    }
  }
  if (reload) table_data.Reload(messages);
  GetFieldsSchema(catalogue, connection, messages);
  return true;
}

}  // namespace app

// Table definition statements: CREATE TABLE writes a new header-only table file,
// DROP TABLE deletes a table file and forgets the table, ALTER TABLE adds or
// removes a column of a table in memory (COMMIT or SAVE TABLE writes it later).
#include <cstdio>
#include <string>
#include <vector>

#include "vekSQL.h"
#include "vekSQLHelpers.h"

namespace vek {

namespace {

int Fail(const Status& s) {
  SetLastError(s.message());
  return 0;
}

}  // namespace

// CREATE TABLE name ( column, column, ... )
int SQLCreateTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  const std::size_t n = tokens.size();
  if (n < 6 || tokens[0].Operator != tosqlCREATE || tokens[1].Operator != tosqlTABLE ||
      tokens[3].Kind != tkOpen || tokens[n - 1].Kind != tkClose) {
    return 0;
  }
  const std::string& name = tokens[2].Name;

  // Token texts between two commas run together: "CREATE TABLE t (first name, b)"
  // gives the header "firstname;b".
  std::string header;
  std::vector<std::string> columns(1);
  for (std::size_t i = 4; i + 1 < n; ++i) {
    if (tokens[i].Name == ",") {
      header += ';';
      columns.emplace_back();
    } else {
      header += tokens[i].Name;
      columns.back() += tokens[i].Name;
    }
  }
  if (name.empty() || header.empty()) return 0;
  for (const std::string& column : columns) {
    Status s = CheckColumnName(column);
    if (!s.ok()) return Fail(s);
  }

  std::string path;
  Status s = engine.WritableTablePath(name, path);
  if (!s.ok()) return Fail(s);
  if (engine.TableFileExists(name)) {
    SetLastError("Table already exist");
    return 0;
  }
  // Created exclusively: a file that appeared since the test above is never
  // truncated.
  std::string error = SaveStringToFile(path, header);
  if (!error.empty()) {
    SetLastError(engine.TableFileExists(name) ? std::string("Table already exist") : error);
    return 0;
  }
  return -1;
}

// DROP TABLE name
int SQLDropTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  if (tokens.size() < 3 || tokens[0].Operator != tosqlDROP || tokens[1].Operator != tosqlTABLE) {
    return 0;
  }
  const std::string& name = tokens[2].Name;
  SetLastError("DROP TABLE: table name missing");
  if (name.empty()) return 0;

  std::string path;
  Status s = engine.WritableTablePath(name, path);
  if (!s.ok()) return Fail(s);
  if (!engine.TableFileExists(name)) {
    SetLastError("DROP TABLE: can not find file " + path);
    return 0;
  }
  // The table in memory goes only with its file: if the file stays, so do the
  // table and its unsaved changes.
  if (std::remove(path.c_str()) != 0) {
    SetLastError("DROP TABLE: can not delete file " + path);
    return 0;
  }
  int n = engine.FindRecordSet(name);
  if (n > 0) engine.DeleteRecordSet(n);
  return -1;
}

// ALTER TABLE name ADD COLUMN column [value] | ALTER TABLE name DROP COLUMN column
int SQLAlterTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  if (tokens.size() < 6 || tokens[0].Operator != tosqlALTER || tokens[1].Operator != tosqlTABLE ||
      tokens[4].Operator != tosqlCOLUMN) {
    return 0;
  }
  int t = engine.GetTableIndex(tokens[2].Name);
  if (t == -1) return 0;
  RecordSetPtr table = engine.RecordSetAt(t);
  const std::string& column = tokens[5].Name;

  switch (tokens[3].Operator) {
    case tosqlADD: {
      Status s = CheckColumnName(column);
      if (!s.ok()) return Fail(s);
      // The value is one token: "ADD COLUMN c -1" fills the rows with "-".
      std::string_view value = tokens.size() > 6 ? std::string_view(tokens[6].Name) : "";
      if (!table->AddField(column, value)) return 0;
      table->Modified = true;
      return -1;
    }
    case tosqlDROP:
      if (!table->DeleteField(std::string_view(column))) return 0;
      table->Modified = true;
      return -1;
    default:
      return 0;
  }
}

}  // namespace vek

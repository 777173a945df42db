// Table definition statements: CREATE TABLE writes a new header-only table file,
// DROP TABLE deletes a table file and forgets the table, ALTER TABLE adds or
// removes a column of a table in memory (COMMIT or SAVE TABLE writes it later).
#include <string>
#include <vector>

#include "engine/vekSQLHelpers.h"
#include "engine/vekSQLStatements.h"
#include "rtl/FileAccess.h"

namespace vek {

namespace {

StatementResult Fail(const Status& s) { return StatementResult::Error(s.message()); }
StatementResult Malformed() { return StatementResult::Error(std::string(kNoTokens)); }

}  // namespace

// CREATE TABLE name ( column, column, ... )
StatementResult SQLCreateTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  const std::size_t n = tokens.size();
  if (n < 6 || tokens[0].Operator != tosqlCREATE || tokens[1].Operator != tosqlTABLE ||
      tokens[3].Kind != tkOpen || tokens[n - 1].Kind != tkClose) {
    return Malformed();
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
  if (name.empty() || header.empty()) return Malformed();
  for (const std::string& column : columns) {
    Status s = CheckColumnName(column);
    if (!s.ok()) return Fail(s);
  }

  std::string path;
  Status s = engine.WritableTablePath(name, path);
  if (!s.ok()) return Fail(s);
  if (engine.TableFileExists(name)) return StatementResult::Error("Table already exist");
  // Created exclusively: a file that appeared since the test above is never
  // truncated.
  s = SaveStringToFile(path, header);
  if (!s.ok()) {
    return StatementResult::Error(engine.TableFileExists(name) ? std::string("Table already exist")
                                                               : s.message());
  }
  return StatementResult::Done();
}

// DROP TABLE name
StatementResult SQLDropTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  if (tokens.size() < 3 || tokens[0].Operator != tosqlDROP || tokens[1].Operator != tosqlTABLE) {
    return Malformed();
  }
  const std::string& name = tokens[2].Name;
  if (name.empty()) return StatementResult::Error("DROP TABLE: table name missing");

  std::string path;
  Status s = engine.WritableTablePath(name, path);
  if (!s.ok()) return Fail(s);
  if (!engine.TableFileExists(name)) {
    return StatementResult::Error("DROP TABLE: can not find file " + path);
  }
  // The table in memory goes only with its file: if the file stays, so do the
  // table and its unsaved changes.
  if (!rtl::RemoveFile(path)) {
    return StatementResult::Error("DROP TABLE: can not delete file " + path);
  }
  int n = engine.FindRecordSet(name);
  if (n > 0) engine.DeleteRecordSet(n);
  return StatementResult::Done();
}

// ALTER TABLE name ADD COLUMN column [value] | ALTER TABLE name DROP COLUMN column
StatementResult SQLAlterTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::vector<TToken>& tokens = query.Tokens;
  if (tokens.size() < 6 || tokens[0].Operator != tosqlALTER || tokens[1].Operator != tosqlTABLE ||
      tokens[4].Operator != tosqlCOLUMN) {
    return Malformed();
  }
  StatementResult t = engine.OpenTable(tokens[2].Name, std::string(kNoTokens));
  if (!t.ok()) return t;
  RecordSetPtr table = engine.RecordSetAt(t.value());
  const std::string& column = tokens[5].Name;

  switch (tokens[3].Operator) {
    case tosqlADD: {
      Status s = CheckColumnName(column);
      if (!s.ok()) return Fail(s);
      // The value is one token: "ADD COLUMN c -1" fills the rows with "-".
      std::string_view value = tokens.size() > 6 ? std::string_view(tokens[6].Name) : "";
      if (!table->AddField(column, value)) return Malformed();
      table->Modified = true;
      return StatementResult::Done();
    }
    case tosqlDROP:
      if (!table->DeleteField(std::string_view(column))) return Malformed();
      table->Modified = true;
      return StatementResult::Done();
    default:
      return Malformed();
  }
}

}  // namespace vek

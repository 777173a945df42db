// Persistence and named results: COMMIT writes changed tables back to their
// files, ROLLBACK reads them again, SAVE TABLE writes one record set into the
// catalog, RELEASE TABLE forgets one, and ASSIGN TO keeps a SELECT's rows by name.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/vekSQLStatements.h"
#include "rtl/Text.h"

namespace vek {

namespace {

// COMMIT and ROLLBACK stand alone or take WORK; anything else must not pass
// silently ("ROLLBACK WORK; COMMIT" must not be read as a COMMIT of the deletes
// before it, nor "ROLLBACK everything" as a no-op).
Status CheckBareOrWork(const std::vector<TToken>& tokens, std::string_view statement,
                       const char* keyword) {
  if (tokens.size() == 1) return Status::OK();
  if (tokens.size() == 2 && tokens[1].Operator == toVariable) {
    if (rtl::SameAsciiText(tokens[1].Name, "work")) return Status::OK();
  }
  std::string_view rest = statement.substr(std::min(tokens[1].Position, statement.size()));
  return Status::Error(std::string(keyword) + ": expected nothing or WORK after " + keyword +
                       ", found " + std::string(rest));
}

// Every persistent, modified set in number order, with the file it was read
// from or last saved to (never one built from the current catalog: a CONNECT TO
// in between must not redirect the write to another folder's table).
template <typename Action>
StatementResult ForEachChangedTable(TvekSQL& engine, Action action) {
  for (int n = 1; n <= engine.RecordSetCount(); ++n) {
    RecordSetPtr set = engine.RecordSetAt(n);
    if (!set->Persistent || !set->Modified) continue;
    Status s = action(*set);
    if (!s.ok()) return StatementResult::Error(s.message());
  }
  return StatementResult::Done();
}

// The number of the set named by the statement's second token, letter case
// ignored; fails with the text `missing` when there is no name, or with
// `unknown` and the name when no set has it.
StatementResult NamedSet(TvekSQL& engine, const TvekSQLQuery& query, const char* missing,
                         const char* unknown) {
  if (query.Tokens.size() < 2 || query.Tokens[1].Name.empty()) {
    return StatementResult::Error(missing);
  }
  const std::string& name = query.Tokens[1].Name;
  const int n = engine.FindRecordSet(name);
  if (n <= 0) return StatementResult::Error(unknown + name);
  return StatementResult::RecordSet(n);
}

}  // namespace

StatementResult SQLCommit(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement) {
  Status s = CheckBareOrWork(query.Tokens, statement, "COMMIT");
  if (!s.ok()) return StatementResult::Error(s.message());
  // A missing file is never created again; the sets before it stay written and
  // the text is "No tokens".
  return ForEachChangedTable(engine, [](TvekRecordSet& set) {
    if (!IsFile(set.FileName)) return Status::Error(std::string(kNoTokens));
    Status saved = set.SaveToFile(set.FileName);
    if (saved.ok()) set.Modified = false;
    return saved;
  });
}

StatementResult SQLRollback(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement) {
  Status s = CheckBareOrWork(query.Tokens, statement, "ROLLBACK");
  if (!s.ok()) return StatementResult::Error(s.message());
  // A set whose file has gone is skipped and stays modified.
  return ForEachChangedTable(engine, [](TvekRecordSet& set) {
    if (!IsFile(set.FileName)) return Status::OK();
    bool loaded = false;
    Status read = set.LoadFromFile(set.FileName, loaded);
    if (read.ok()) set.Modified = false;
    return read;
  });
}

// SAVE TABLE name
StatementResult SQLSaveTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  // Only sets already in memory: a table no statement has used is not opened here.
  StatementResult n =
      NamedSet(engine, query, "SAVE TABLE: missing tablename", "SAVE TABLE: unknown table name ");
  if (!n.ok()) return n;
  RecordSetPtr set = engine.RecordSetAt(n.value());
  // A table a SELECT read from its file without keeping the rows: they are
  // read now, so that the file is written with every row.
  if (Status read = set->ReadPendingRows(); !read.ok()) return StatementResult::Error(read.message());

  // The set's own name gives the file, so the letter case of the statement does
  // not matter.
  std::string path;
  Status s = engine.WritableTablePath(set->Name, path);
  // A result's column names come from aliases, which may hold what the header
  // line cannot: such a file would read back with its values under other names.
  if (s.ok()) s = CheckHeaderNames(set->FieldNames);
  if (s.ok()) s = set->SaveToFile(path);
  if (!s.ok()) return StatementResult::Error(s.message());
  set->IsVariable = false;
  set->Persistent = true;
  set->FileName = path;
  set->Modified = false;
  return StatementResult::Done();
}

// RELEASE TABLE name
StatementResult SQLReleaseTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  StatementResult n = NamedSet(engine, query, "RELEASE TABLE: table name missing",
                               "RELEASE TABLE: unknown table name ");
  if (!n.ok()) return n;
  engine.DeleteRecordSet(n.value());
  return StatementResult::Done();
}

// ASSIGN TO name SELECT ...; the SELECT itself applies the rules of the target
// name (an existing table file, a set that is not a variable, replacing one).
StatementResult SQLAssign(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  if (query.Tokens.size() < 4) return StatementResult::Error("SELECT: Need at least 4 token");
  const std::string name = query.Tokens[1].Name;
  if (query.Tokens[2].Operator != tosqlSELECT) {
    return StatementResult::Error("SELECT: missing SELECT");
  }
  StatementResult n = SQLSelect(engine, query, 2, name);
  return n.ok() ? StatementResult::Done() : n;
}

}  // namespace vek

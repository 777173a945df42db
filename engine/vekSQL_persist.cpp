// Persistence and named results: COMMIT writes changed tables back to their
// files, ROLLBACK reads them again, SAVE TABLE writes one record set into the
// catalog, RELEASE TABLE forgets one, and ASSIGN TO keeps a SELECT's rows by name.
#include <algorithm>
#include <string>
#include <vector>

#include "FileAccess.h"
#include "vekSQL.h"

namespace vek {

namespace {

bool IsFile(const std::string& path) {
  const rtl::PathKind kind = rtl::KindOfPath(path);
  return kind == rtl::PathKind::kRegular || kind == rtl::PathKind::kOther;
}

int Fail(const Status& s) {
  SetLastError(s.message());
  return 0;
}

// COMMIT and ROLLBACK stand alone or take WORK; anything else must not pass
// silently ("ROLLBACK WORK; COMMIT" must not be read as a COMMIT of the deletes
// before it, nor "ROLLBACK everything" as a no-op).
bool CheckBareOrWork(const std::vector<TToken>& tokens, std::string_view statement,
                     const char* keyword) {
  if (tokens.size() == 1) return true;
  if (tokens.size() == 2 && tokens[1].Operator == toVariable) {
    const std::string& word = tokens[1].Name;
    if (word.size() == 4 && (word[0] | 0x20) == 'w' && (word[1] | 0x20) == 'o' &&
        (word[2] | 0x20) == 'r' && (word[3] | 0x20) == 'k') {
      return true;
    }
  }
  std::string_view rest = statement.substr(std::min(tokens[1].Position, statement.size()));
  SetLastError(std::string(keyword) + ": expected nothing or WORK after " + keyword + ", found " +
               std::string(rest));
  return false;
}

// Every persistent, modified set in number order, with the file it was read
// from or last saved to (never one built from the current catalog: a CONNECT TO
// in between must not redirect the write to another folder's table).
template <typename Action>
int ForEachChangedTable(TvekSQL& engine, Action action) {
  for (int n = 1; n <= engine.RecordSetCount(); ++n) {
    RecordSetPtr set = engine.RecordSetAt(n);
    if (!set->Persistent || !set->Modified) continue;
    int r = action(*set);
    if (r == 0) return 0;
  }
  return -1;
}

// The number of the set named by the statement's second token, letter case
// ignored; 0 with the text `missing` when there is no name, or with `unknown`
// and the name when no set has it.
int NamedSet(TvekSQL& engine, const TvekSQLQuery& query, const char* missing, const char* unknown) {
  SetLastError(missing);
  if (query.Tokens.size() < 2 || query.Tokens[1].Name.empty()) return 0;
  const std::string& name = query.Tokens[1].Name;
  SetLastError(unknown + name);
  return std::max(engine.FindRecordSet(name), 0);
}

}  // namespace

int SQLCommit(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement) {
  if (!CheckBareOrWork(query.Tokens, statement, "COMMIT")) return 0;
  // A missing file is never created again; the sets before it stay written and
  // the text stays "No tokens".
  return ForEachChangedTable(engine, [](TvekRecordSet& set) {
    if (!IsFile(set.FileName)) return 0;
    Status s = set.SaveToFile(set.FileName);
    if (!s.ok()) return Fail(s);
    set.Modified = false;
    return -1;
  });
}

int SQLRollback(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement) {
  if (!CheckBareOrWork(query.Tokens, statement, "ROLLBACK")) return 0;
  // A set whose file has gone is skipped and stays modified.
  return ForEachChangedTable(engine, [](TvekRecordSet& set) {
    if (!IsFile(set.FileName)) return -1;
    bool loaded = false;
    Status s = set.LoadFromFile(set.FileName, loaded);
    if (!s.ok()) return Fail(s);
    set.Modified = false;
    return -1;
  });
}

// SAVE TABLE name
int SQLSaveTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  // Only sets already in memory: a table no statement has used is not opened here.
  int n =
      NamedSet(engine, query, "SAVE TABLE: missing tablename", "SAVE TABLE: unknown table name ");
  if (n == 0) return 0;
  RecordSetPtr set = engine.RecordSetAt(n);

  // The set's own name gives the file, so the letter case of the statement does
  // not matter.
  std::string path;
  Status s = engine.WritableTablePath(set->Name, path);
  if (!s.ok()) return Fail(s);
  // A result's column names come from aliases, which may hold what the header
  // line cannot: such a file would read back with its values under other names.
  s = CheckHeaderNames(set->FieldNames);
  if (!s.ok()) return Fail(s);
  s = set->SaveToFile(path);
  if (!s.ok()) return Fail(s);
  set->IsVariable = false;
  set->Persistent = true;
  set->FileName = path;
  set->Modified = false;
  return -1;
}

// RELEASE TABLE name
int SQLReleaseTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  int n = NamedSet(engine, query, "RELEASE TABLE: table name missing",
                   "RELEASE TABLE: unknown table name ");
  if (n == 0) return 0;
  engine.DeleteRecordSet(n);
  return -1;
}

// ASSIGN TO name SELECT ...; the SELECT itself applies the rules of the target
// name (an existing table file, a set that is not a variable, replacing one).
int SQLAssign(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  SetLastError("SELECT: Need at least 4 token");
  if (query.Tokens.size() < 4) return 0;
  const std::string name = query.Tokens[1].Name;
  SetLastError("SELECT: missing SELECT");
  if (query.Tokens[2].Operator != tosqlSELECT) return 0;
  int n = SQLSelect(engine, query, 2, name);
  return n >= 1 ? -1 : n;
}

}  // namespace vek

// The engine object: batches of statements, the dispatcher, CONNECT TO, the
// numbered list of record sets, table look-up and the one place table paths are
// built.
#include <new>
#include <utility>

#include "engine/vekSQLStatements.h"
#include "rtl/FileAccess.h"
#include "rtl/Locale.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace vek {

namespace {

using rtl::TrimBlanks;

// The process-wide last error text, shared by every engine object.
std::string& LastError() {
  static std::string text;
  return text;
}

void SetLastError(std::string_view text) { LastError().assign(text); }

bool IsDirectory(const std::string& path) {
  return rtl::KindOfPath(path) == rtl::PathKind::kDirectory;
}

// Each nested "in (select ...)" holds its statement's text and a few frames of
// the stack while the select inside it runs; thousands of levels would take
// the stack and memory that grows with the square of the depth.
constexpr int kMaxSubSelectNesting = 64;

}  // namespace

// Anything but a folder: a named pipe in the catalog is a table file that
// cannot be read, which the reader says, not a table that is missing.
bool IsFile(const std::string& path) {
  const rtl::PathKind kind = rtl::KindOfPath(path);
  return kind == rtl::PathKind::kRegular || kind == rtl::PathKind::kOther;
}

TvekSQL::TvekSQL() = default;
TvekSQL::~TvekSQL() = default;

std::string TvekSQL::GetLastError() { return LastError(); }

int TvekSQL::ExecuteSQL(std::string_view sql) {
  StatementResult result = StatementResult::Done();
  try {
    result = RunBatch(sql);
    SetLastError(result.ok() ? std::string_view("OK") : std::string_view(result.message()));
  } catch (const std::bad_alloc&) {
    SetLastError("Out of memory");
    return 0;
  } catch (const std::exception& e) {
    SetLastError(e.what());
    throw;
  }
  return result.value();
}

StatementResult TvekSQL::RunBatch(std::string_view sql) {
  StatementResult result = StatementResult::Done();
  try {
    sql = TrimBlanks(sql);
    if (sql.empty()) return StatementResult::Error("Empty SQL statement");
    // Each call has its own list, so a nested batch (a sub-select run while a
    // statement is tokenized) cannot disturb the batch that started it. The
    // pieces point into `sql`, which outlives the call.
    std::vector<std::string_view> statements;
    SplitTextViews(sql, statements);
    std::erase_if(statements, [](std::string_view s) { return TrimBlanks(s).empty(); });
    if (statements.empty()) return StatementResult::Error("Empty SQL statement");
    for (std::string_view statement : statements) {
      NameSpace.Clear();
      result = ExecuteStatement(statement);
      if (!result.ok()) return result;
    }
  } catch (const std::bad_alloc&) {
    // A statement that needs more memory than there is fails alone; what it
    // built so far has been given back on the way out, and the tables it did
    // not change are as they were. The text fits a string's own small buffer
    // and the last error's buffer, so reporting it allocates nothing.
    return StatementResult::Error("Out of memory");
  }
  return result;
}

StatementResult TvekSQL::ExecuteStatement(std::string_view statement) {
  TvekSQLQuery query;
  query.Engine = this;
  return DispatchStatement(query, statement);
}

StatementResult TvekSQL::DispatchStatement(TvekSQLQuery& query, std::string_view raw) {
  query.Tokens.clear();
  // CR LF pairs become one blank; a lone CR or LF stays (the tokenizer reads
  // every control character as white space). Only then is the text copied: a
  // nested sub-select reads its text where its parent has it, so a deep nest
  // does not hold a copy per level.
  raw = TrimBlanks(raw);
  if (raw.find("\r\n") == std::string_view::npos) {
    query.Statement = raw;
  } else {
    std::string& statement = query.StatementCopy;
    statement.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
        statement += ' ';
        ++i;
      } else {
        statement += raw[i];
      }
    }
    query.Statement = statement;
  }
  std::string_view text = query.Statement;
  if (text.empty()) return StatementResult::Error("Empty SQL statement");

  TvekSQLTokenizer tokenizer;
  tokenizer.SetOnSubExpression(
      [this](std::string_view sub, std::vector<std::string>& values) {
        return RunSubSelect(sub, values);
      });
  TokenizeResult tokenized = tokenizer.Tokenize(text, query.Tokens);
  if (!tokenized.ok()) {
    if (tokenized.error == TokenizeError::kSubSelect) return StatementResult::Error(tokenized.message);
    return StatementResult::Error("Could not tokenize: " + std::string(text));
  }
  if (query.Tokens.empty()) return StatementResult::Error(std::string(kNoTokens));

  switch (query.Tokens[0].Operator) {
    case tosqlALTER:
      return SQLAlterTable(*this, query, text);
    case tosqlCREATE:
      return SQLCreateTable(*this, query, text);
    case tosqlDROP:
      return SQLDropTable(*this, query, text);
    case tosqlINSERT:
      if (query.Tokens.size() < 5) return StatementResult::Error(std::string(kNoTokens));
      if (query.Tokens[3].Operator == tosqlSELECT) return SQLInsertSelect(*this, query, text);
      return SQLInsertValues(*this, query, text);
    case tosqlUPDATE:
      return SQLUpdate(*this, query, text);
    case tosqlDELETE:
      return SQLDelete(*this, query, text);
    case tosqlSELECT:
      return SQLSelect(*this, query, 0, {});
    case tosqlCONNECT:
      return SQLConnect(*this, query, text);
    case tosqlASSIGN:
      return SQLAssign(*this, query, text);
    case tosqlSAVETABLE:
      return SQLSaveTable(*this, query, text);
    case tosqlRELEASETABLE:
      return SQLReleaseTable(*this, query, text);
    case tosqlCOMMIT:
      return SQLCommit(*this, query, text);
    case tosqlROLLBACK:
      return SQLRollback(*this, query, text);
    default:
      return StatementResult::Error("Unknown SQL command");
  }
}

Status TvekSQL::RunSubSelect(std::string_view sql, std::vector<std::string>& values) {
  if (depth_ >= kMaxSubSelectNesting) return Status::Error("Sub-select nested too deeply");
  const StatementResult r = [&] {
    ++depth_;
    rtl::ScopeExit leave([this] { --depth_; });
    return RunBatch(sql);
  }();
  if (!r.ok()) return Status::Error(r.message());
  // A sub-select that is no SELECT has no column to offer either.
  if (r.value() == StatementResult::kNoRecordSet) {
    return Status::Error("Sub-select produced no result: " + std::string(sql));
  }
  const int n = r.value();
  RecordSetPtr result = RecordSetAt(n);
  values.clear();
  if (result->FieldCount() > 0) {
    values.reserve(result->Records.size());
    for (const TvekRecord& row : result->Records) values.emplace_back(row.Cell(0));
  }
  ReleaseRecordSet(n);
  return Status::OK();
}

TvekRecordSet* TvekSQL::GetRecordSet(int n) {
  if (n < 1 || n > RecordSetCount()) return nullptr;
  // Whoever asks by number gets the rows: none when they no longer read.
  if (!record_sets_[n - 1]->ReadPendingRows().ok()) return nullptr;
  return record_sets_[n - 1].get();
}

RecordSetPtr TvekSQL::RecordSetAt(int n) const {
  if (n < 1 || n > RecordSetCount()) return nullptr;
  return record_sets_[n - 1];
}

bool TvekSQL::ReleaseRecordSet(int n) {
  if (n < 1 || n > RecordSetCount()) return false;
  record_sets_.erase(record_sets_.begin() + (n - 1));
  return true;
}

void TvekSQL::DeleteRecordSet(int n) { ReleaseRecordSet(n); }

int TvekSQL::NumberOf(const TvekRecordSet* set) const {
  for (int i = 0; i < RecordSetCount(); ++i) {
    if (record_sets_[i].get() == set) return i + 1;
  }
  return -1;
}

int TvekSQL::FindRecordSet(std::string_view name) const {
  for (int i = 0; i < RecordSetCount(); ++i) {
    if (rtl::SameAsciiText(record_sets_[i]->Name, name)) return i + 1;
  }
  // Names outside ASCII fold by the locale; the ASCII pass above is the common case.
  for (int i = 0; i < RecordSetCount(); ++i) {
    if (rtl::AnsiSameText(record_sets_[i]->Name, name)) return i + 1;
  }
  return -1;
}

int TvekSQL::AddRecordSet(std::string_view name) {
  auto set = std::make_shared<TvekRecordSet>();
  set->Name.assign(name);
  record_sets_.push_back(std::move(set));
  return RecordSetCount();
}

int TvekSQL::AddRecordSet(RecordSetPtr set) {
  record_sets_.push_back(std::move(set));
  return RecordSetCount();
}

RecordSetPtr TvekSQL::AddPendingTable(std::string_view name, std::string path,
                                      std::vector<std::string> field_names,
                                      std::shared_ptr<rtl::FileReader> file) {
  auto set = std::make_shared<TvekRecordSet>();
  set->Name.assign(name);
  set->Persistent = true;
  set->FileName = std::move(path);
  set->FieldNames = std::move(field_names);
  set->SetRowsPending(std::move(file));
  record_sets_.push_back(set);
  return set;
}

int TvekSQL::PendingTableCount() const {
  int count = 0;
  for (const RecordSetPtr& set : record_sets_) count += set->RowsPending() ? 1 : 0;
  return count;
}

std::string TvekSQL::NewResultName() { return "$$$" + std::to_string(ResultCounter++); }

Status TvekSQL::TablePath(std::string_view name, std::string& path) const {
  if (name.empty() || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return Status::Error("Invalid table name: " + std::string(name));
  }
  // Joined as a string: the catalog is used as the statement wrote it, and a
  // doubled separator ("/data/shop//t.txt") is harmless.
  path = catalog_;
  path += '/';
  path.append(name);
  path += ".txt";
  return Status::OK();
}

Status TvekSQL::WritableTablePath(std::string_view name, std::string& path) const {
  Status s = TablePath(name, path);
  if (!s.ok()) return s;
  if (in_memory_ || !CatalogIsFolder()) {
    return Status::Error("No catalog folder to write table " + std::string(name) + " to");
  }
  return Status::OK();
}

bool TvekSQL::CatalogIsFolder() const { return !in_memory_ && IsDirectory(catalog_); }

bool TvekSQL::TableFileExists(std::string_view name) const {
  std::string path;
  if (!CatalogIsFolder() || !TablePath(name, path).ok()) return false;
  return IsFile(path);
}

int TvekSQL::GetTableIndex(std::string_view name) {
  int n = -1;
  return FindOrOpenTable(name, n).ok() ? n : -1;
}

Status TvekSQL::FindOrOpenTable(std::string_view name, int& n) {
  n = FindRecordSet(name);
  if (n > 0) {
    Status s = record_sets_[n - 1]->ReadPendingRows();
    if (!s.ok()) n = -1;
    return s;
  }
  n = -1;

  if (in_memory_) {
    // A memory-only catalog has no files: the name stands for a new empty table
    // from now on, though this first look-up reports it as not found.
    AddRecordSet(name);
    return Status::OK();
  }
  std::string path;
  if (!CatalogIsFolder() || !TablePath(name, path).ok() || !IsFile(path)) return Status::OK();

  auto set = std::make_shared<TvekRecordSet>();
  set->Name.assign(name);
  set->Persistent = true;
  set->FileName = path;
  bool loaded = false;
  Status s = set->LoadFromFile(path, loaded);
  if (!s.ok()) return s;
  record_sets_.push_back(std::move(set));
  // A file without any line stays listed as a table without columns, so the
  // next look-up finds it.
  if (loaded) n = RecordSetCount();
  return Status::OK();
}

StatementResult TvekSQL::OpenTable(std::string_view name, std::string missing) {
  int n = -1;
  Status s = FindOrOpenTable(name, n);
  // The caller's "can not find table" would hide why a file did not read.
  if (!s.ok()) return StatementResult::Error(s.message());
  if (n == -1) return StatementResult::Error(std::move(missing));
  return StatementResult::RecordSet(n);
}

Status TvekSQL::SetCatalog(std::string_view folder) {
  const bool memory = rtl::SameAsciiText(TrimBlanks(folder), ":memory:");
  std::string text(folder);
  // The system reads a path up to its first NUL: '/data\0x' would name /data.
  if (text.find('\0') != std::string::npos) return Status::Error("Invalid catalog: " + text);
  if (!memory && !IsDirectory(text)) {
    return Status::Error("Catalog " + text + " does not exist");
  }
  in_memory_ = memory;
  catalog_ = std::move(text);
  return Status::OK();
}

StatementResult SQLConnect(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement) {
  if (query.Tokens.size() < 2) return StatementResult::Error("Expected 2 statement parts");
  const TToken& target = query.Tokens[1];
  // Exactly one operand, a quoted text or a plain name: "connect to /data/shop"
  // would otherwise connect to "/".
  bool one_operand = query.Tokens.size() == 2 &&
                     (target.Operator == toAString || target.Operator == toVariable);
  if (!one_operand) {
    return StatementResult::Error(
        "Catalog " + std::string(TrimBlanks(statement.substr(target.Position))) + " does not exist");
  }
  Status s = engine.SetCatalog(target.Name);
  if (!s.ok()) return StatementResult::Error(s.message());
  return StatementResult::Done();
}

}  // namespace vek

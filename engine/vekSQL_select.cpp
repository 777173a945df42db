// SELECT: the statement's clauses cut from its tokens, the output columns, the
// result record set (anonymous or named by ASSIGN TO), and the execution over one
// table or over the product of several, then grouping, HAVING and ordering.
#include "engine/vekSQL_select.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/vekSQL_join.h"
#include "engine/vekSQLRowResolver.h"
#include "engine/vekSQLTableFile.h"
#include "rtl/Text.h"

namespace vek {

namespace {

// A range of token indexes, both ends included; empty when last < first.
struct TokenRange {
  int first = 0;
  int last = -1;
  bool empty() const { return last < first; }
  int size() const { return last - first + 1; }
};

// The clauses of one SELECT, as token ranges of the statement.
struct SelectClauses {
  std::vector<TokenRange> columns;  // the field list, cut at commas outside brackets
  bool star = false;                // the field list is "*"
  std::vector<std::string> tables;  // FROM entries: "name" or "name|alias[|...]"
  TokenRange where;
  std::string group_text;  // keys joined with ";"
  TokenRange having;
  std::string order_text;  // keys joined with ";", each [#]name[+|-]
};

// One output column: its result name, aggregate kind and compiled expression
// (none for a plain copy of a source column).
struct OutputColumn {
  std::string name;
  TTokenOperator aggregate = toNone;
  TvekSQLCalcField* field = nullptr;
};

bool IsClauseStart(TTokenOperator op) {
  return op == tosqlWHERE || op == tosqlGROUP || op == tosqlHAVING || op == tosqlORDER;
}

// The text of a range of tokens joined without separators, as the field list
// and the GROUP BY keys are read: a quoted text loses its quotes.
std::string TokensText(const std::vector<TToken>& tokens, TokenRange r) {
  std::string text;
  for (int i = r.first; i <= r.last; ++i) text += tokens[i].Name;
  return text;
}

// The statement's own text of a token range, for error messages.
std::string SourceText(const TvekSQLQuery& query, TokenRange r) {
  if (r.empty()) return {};
  std::size_t begin = query.Tokens[r.first].Position;
  std::size_t end = r.last + 1 < static_cast<int>(query.Tokens.size())
                        ? query.Tokens[r.last + 1].Position
                        : query.Statement.size();
  return std::string(rtl::TrimBlanks(std::string_view(query.Statement).substr(begin, end - begin)));
}

StatementResult Fail(std::string text) { return StatementResult::Error(std::move(text)); }

// Cuts the statement into its clauses; fails when the statement is malformed.
Status ParseSelect(const TvekSQLQuery& query, int first, SelectClauses& out) {
  const std::vector<TToken>& tokens = query.Tokens;
  const int n = static_cast<int>(tokens.size());

  if (n - first < 4) return Status::Error("SELECT: Need at least 4 token");
  if (tokens[first].Operator != tosqlSELECT) return Status::Error("SELECT: missing SELECT");
  int from = -1;
  for (int i = first + 1; i < n; ++i) {
    if (tokens[i].Operator == tosqlFROM) {
      from = i;
      break;
    }
  }
  if (from < 0) return Status::Error("SELECT: missing FROM");
  if (from < first + 2 || from == n - 1) return Status::Error("SELECT: missing selected field list");

  // Field list: columns end at commas outside brackets.
  int depth = 0;
  TokenRange column{first + 1, first};
  for (int i = first + 1; i < from; ++i) {
    TTokenOperator op = tokens[i].Operator;
    if (op == toOpen) ++depth;
    if (op == toClose) --depth;
    if (op == toComma && depth == 0) {
      out.columns.push_back(column);
      column = {i + 1, i};
      continue;
    }
    column.last = i;
  }
  out.columns.push_back(column);
  out.star = from == first + 2 && tokens[first + 1].Operator == toMultiply;

  // Table list: operands and commas.
  int i = from + 1;
  bool new_entry = true;
  for (; i < n && (tokens[i].Kind == tkOperand || tokens[i].Kind == tkComma); ++i) {
    if (tokens[i].Kind == tkComma) {
      out.tables.emplace_back();
      new_entry = true;
      continue;
    }
    if (out.tables.empty()) out.tables.emplace_back();
    if (!new_entry) out.tables.back() += '|';
    out.tables.back() += tokens[i].Name;
    new_entry = false;
  }
  if (i < n && !IsClauseStart(tokens[i].Operator)) {
    // FROM a JOIN b ON ...: answering from a alone would be a different query.
    return Status::Error("SELECT: unexpected " + tokens[i].Name);
  }
  // SELECT a FROM WHERE a = 1: a clause straight after FROM leaves no table to
  // read the rows of.
  if (out.tables.empty()) return Status::Error("SELECT: missing table name after FROM");

  auto clause_end = [&](int from_index, std::initializer_list<TTokenOperator> stops) {
    int j = from_index;
    for (; j < n; ++j) {
      for (TTokenOperator stop : stops) {
        if (tokens[j].Operator == stop) return j;
      }
    }
    return j;
  };

  if (i < n && tokens[i].Operator == tosqlWHERE) {
    ++i;
    if (n - i < 2) return Status::Error("SELECT: missing expression after WHERE");
    int end = clause_end(i, {tosqlORDER, tosqlGROUP, tosqlHAVING});
    out.where = {i, end - 1};
    i = end;
  }
  if (i < n - 1 && tokens[i].Operator == tosqlGROUP) {
    int end = clause_end(i + 1, {tosqlORDER, tosqlHAVING});
    std::string text = TokensText(tokens, {i + 1, end - 1});
    for (char& c : text) {
      if (c == ',') c = ';';
    }
    out.group_text = std::move(text);
    i = end;
  }
  if (i < n - 1 && tokens[i].Operator == tosqlHAVING) {
    int end = clause_end(i + 1, {tosqlORDER});
    out.having = {i + 1, end - 1};
    i = end;
  }
  if (i < n - 1 && tokens[i].Operator == tosqlORDER) {
    std::string text;
    for (int j = i + 1; j < n; ++j) {
      if (tokens[j].Operator == tosqlASC) {
        text += '+';
      } else if (tokens[j].Operator == tosqlDESC) {
        text += '-';
      } else if (tokens[j].Kind == tkComma) {
        text += ';';
      } else {
        text += tokens[j].Name;
      }
    }
    out.order_text = std::move(text);
  }
  return Status::OK();
}

TTokenOperator AggregateOf(std::string_view word) {
  static constexpr std::pair<std::string_view, TTokenOperator> kAggregates[] = {
      {"count", tosqlCount}, {"sum", tosqlSum}, {"avg", tosqlAvg},
      {"max", tosqlMAX},     {"min", tosqlMIN}, {"stddev", tosqlStdDev}};
  for (const auto& [name, op] : kAggregates) {
    if (rtl::SameAsciiText(word, name)) return op;
  }
  return toNone;
}

// Builds the output columns from the field list's tokens. An aggregate column
// (its first word is count, sum, avg, max, min or stddev followed by a bracket)
// is named by the text between its first "(" and the first ")" after it unless
// it has an alias, and computes per row the column with the aggregate word
// removed: sum(price)+1 gives price + 1 for every row, which grouping then sums.
bool BuildOutput(const TvekSQLQuery& query, const SelectClauses& clauses, TvekSQLOutput& output,
                 std::vector<OutputColumn>& columns, bool& has_aggregate,
                 VariableSource& resolver) {
  const std::vector<TToken>& tokens = query.Tokens;
  has_aggregate = false;
  for (TokenRange column : clauses.columns) {
    OutputColumn out;
    TokenRange expr = column;
    std::string alias;
    for (int i = column.first; i <= column.last; ++i) {
      if (tokens[i].Operator == tosqlAS) {
        expr.last = i - 1;
        alias = TokensText(tokens, {i + 1, column.last});
        break;
      }
    }
    if (expr.empty()) return false;

    std::vector<TToken> program(tokens.begin() + expr.first, tokens.begin() + expr.last + 1);
    std::string text = TokensText(tokens, expr);
    if (expr.size() >= 3 && tokens[expr.first].Operator == toVariable &&
        tokens[expr.first + 1].Operator == toOpen) {
      out.aggregate = AggregateOf(tokens[expr.first].Name);
    }
    if (out.aggregate != toNone) {
      has_aggregate = true;
      std::size_t open = text.find('(');
      std::size_t close = text.find(')', open);
      std::string argument = close == std::string::npos ? text.substr(open + 1)
                                                        : text.substr(open + 1, close - open - 1);
      out.name = alias.empty() ? argument : alias;
      if (alias.empty()) {
        // Without an alias the column is computed whole, the aggregate word
        // dropped: sum(price)+1 sums price + 1.
        program.erase(program.begin());
      } else {
        // With an alias it is the argument alone, up to the matching bracket.
        int depth = 0;
        std::size_t close_at = 1;
        for (; close_at < program.size(); ++close_at) {
          if (program[close_at].Operator == toOpen) ++depth;
          if (program[close_at].Operator == toClose && --depth == 0) break;
        }
        program.erase(program.begin() + std::min(close_at + 1, program.size()), program.end());
        program.erase(program.begin());
      }
      // count(*) counts rows; its argument is no expression.
      if (program.size() == 3 && program[1].Operator == toMultiply) program.clear();
    } else {
      out.name = alias.empty() ? text : alias;
    }

    TvekSQLCalcField* field = output.AddField();
    field->Name = out.name;
    field->ExpressionText = text;
    field->Expression.SetVariableSource(&resolver);
    if (!program.empty() &&
        !field->Expression.SetInfixTokens(program, 0, static_cast<int>(program.size()) - 1).ok()) {
      return false;
    }
    out.field = field;
    columns.push_back(std::move(out));
  }
  return true;
}

// Creates the result record set: "$$$" + counter, or the ASSIGN TO target.
// Fails when the target is taken. The set is listed in the engine only when
// the statement succeeds (PublishResult), so a failing ASSIGN TO keeps the
// variable it would have replaced.
Status CreateResult(TvekSQL& engine, std::string_view target, RecordSetPtr& result) {
  result = std::make_shared<TvekRecordSet>();
  if (target.empty()) {
    result->Name = engine.NewResultName();
    return Status::OK();
  }
  std::string name(target);
  if (engine.TableFileExists(name)) {
    return Status::Error("SELECT INTO: table " + name + " allready exists.");
  }
  int existing = engine.FindRecordSet(name);
  if (existing > 0 && !engine.RecordSetAt(existing)->IsVariable) {
    return Status::Error("ASSIGN: table " + name + " is not a variable");
  }
  result->Name = name;
  result->IsVariable = true;
  return Status::OK();
}

// Lists a finished result, replacing the variable of its name; returns its number.
int PublishResult(TvekSQL& engine, RecordSetPtr result) {
  if (result->IsVariable) {
    int existing = engine.FindRecordSet(result->Name);
    if (existing > 0) engine.DeleteRecordSet(existing);
  }
  return engine.AddRecordSet(std::move(result));
}

// Reads the WHERE or HAVING value of the current row as a truth value.
bool ConditionHolds(TvekSQLExpression2& condition, rtl::Variant& value, bool& holds) {
  condition.Evaluate(value);
  return ValueToBool(value, holds);
}

// A result row's cells gathered as views: into the tables' rows for a column
// that is one name of a table (read as it stands, without the evaluator), else
// into a text per column computed by its expression.
class RowCells {
 public:
  void Start(const std::vector<OutputColumn>& columns, RowResolver& resolver) {
    columns_ = &columns;
    resolver_ = &resolver;
    direct_.assign(columns.size(), -1);
    for (std::size_t c = 0; c < columns.size(); ++c) {
      direct_[c] = columns[c].field->Expression.SingleVariableHandle();
    }
    texts_.assign(columns.size(), {});
  }
  // The cells of the resolver's current row.
  const std::vector<std::string_view>& Fill() {
    cells_.clear();
    for (std::size_t c = 0; c < direct_.size(); ++c) {
      if (direct_[c] >= 0) {
        if (std::optional<std::string_view> cell = resolver_->CellText(direct_[c])) {
          cells_.push_back(*cell);
          continue;
        }
      }
      TvekSQLExpression2& expression = (*columns_)[c].field->Expression;
      if (expression.IsEmpty()) {
        cells_.emplace_back();
        continue;
      }
      expression.Evaluate(value_);
      std::string& text = texts_[c];
      if (value_.IsText()) {
        text.assign(value_.s);
      } else {
        text.clear();
        AppendValueText(value_, text);
      }
      cells_.push_back(text);
    }
    return cells_;
  }

 private:
  const std::vector<OutputColumn>* columns_ = nullptr;
  RowResolver* resolver_ = nullptr;
  std::vector<int> direct_;
  std::vector<std::string> texts_;
  std::vector<std::string_view> cells_;
  rtl::Variant value_;
};

struct SourceTable {
  std::string name;
  std::string alias;
  RecordSetPtr set;   // the table as listed in the engine
  RecordSetPtr rows;  // the set whose rows the statement walks: `set`, or a scan's piece
};

// The WHERE of a scanned table's SELECT, evaluated on a worker for every row
// of the pieces it cuts: 1 where it holds, 0 where not, 2 where it is no
// truth value. Compiled from the statement's tokens for this worker alone
// (a sub-select in them has run already, while the statement was read).
class WhereMarks : public PieceWork {
 public:
  static constexpr char kFalse = 0, kTrue = 1, kNoTruthValue = 2;

  // False when the condition does not compile here (it did for the
  // statement, so this is not expected; the statement then evaluates alone).
  bool Compile(const TvekSQLQuery& query, int first, int last, const RecordSetPtr& table,
               const std::string& name) {
    resolver_.AddEntry(table, name, name, false);
    condition_.SetVariableSource(&resolver_);
    if (!condition_.SetInfixTokens(query.Tokens, first, last).ok()) return false;
    // Bound here, by the table's column names: only the first piece's rows
    // come with them.
    try {
      condition_.Bind();
    } catch (...) {
      return false;
    }
    return true;
  }
  void Mark(const RecordSetPtr& rows, std::vector<char>& marks,
            std::unique_ptr<PieceProduct>& /*product*/) override {
    resolver_.SetSet(0, rows);
    marks.resize(rows->Records.size());
    for (std::size_t r = 0; r < marks.size(); ++r) {
      resolver_.SetRow(0, static_cast<int>(r));
      bool holds = false;
      marks[r] = !ConditionHolds(condition_, value_, holds) ? kNoTruthValue
                                                            : (holds ? kTrue : kFalse);
    }
  }

 private:
  RowResolver resolver_;
  TvekSQLExpression2 condition_;
  rtl::Variant value_;
};

// The result rows a piece's rows give on their own: as they are, or grouped
// with their aggregates' states.
struct PieceResult : PieceProduct {
  TvekRecordSet rows;  // the rows, or the groups' first rows
  GroupAccumulator groups;
  bool grouped = false;
  bool complete = false;  // every row passed the WHERE or not, and was taken
};

// In a join answered on the workers, each worker looks up the other tables'
// rows on its own: up to this many of them.
constexpr std::size_t kJoinedRowsPerWorker = 100000;

// A scanned table's result rows made on the workers: each piece's rows that
// pass the WHERE (with the other tables' rows they join, in a join) are made
// into result rows, which the statement's thread takes over as they are, or
// grouped on their own, so that the statement's thread only adds up the
// pieces' groups (GroupAccumulator::AddGroups) or, where that would not give
// the same answer, walks the piece itself. A piece whose condition is no
// truth value somewhere is left to the statement's thread, which fails there.
class ResultPieces : public PieceWork {
 public:
  // False when the statement does not compile here. `tables` are the FROM's,
  // the first one scanned; a join's condition must be one HashJoin walks.
  bool Compile(const TvekSQLQuery& query, const SelectClauses& clauses,
               const std::vector<SourceTable>& tables, const TvekRecordSet& result,
               bool grouped) {
    grouped_ = grouped;
    join_walk_ = tables.size() > 1;
    for (const SourceTable& table : tables) {
      resolver_.AddEntry(table.set, table.name, table.alias, join_walk_);
    }
    has_where_ = !clauses.where.empty();
    if (join_walk_ &&
        !join_.Compile(query.Tokens, clauses.where.first, clauses.where.last, resolver_)) {
      return false;
    }
    if (!join_walk_ && has_where_ &&
        !where_.Compile(query, clauses.where.first, clauses.where.last, tables.front().set,
                        tables.front().name)) {
      return false;
    }
    bool has_aggregate = false;
    if (!BuildOutput(query, clauses, output_, columns_, has_aggregate, resolver_)) return false;
    has_aggregate_ = has_aggregate;
    group_text_ = clauses.group_text;
    field_names_ = result.FieldNames;
    aggregates_ = result.Aggregates;
    // Bound here, by the tables' column names: only the first piece's rows
    // come with them.
    try {
      for (OutputColumn& column : columns_) {
        if (!column.field->Expression.IsEmpty()) column.field->Expression.Bind();
      }
      if (join_walk_) join_.Bind();
    } catch (...) {
      return false;
    }
    cells_.Start(columns_, resolver_);
    return true;
  }
  void Mark(const RecordSetPtr& rows, std::vector<char>& marks,
            std::unique_ptr<PieceProduct>& product) override {
    if (!product) product = std::make_unique<PieceResult>();
    auto& piece = static_cast<PieceResult&>(*product);
    piece.complete = false;
    piece.grouped = grouped_;
    if (has_where_ && !join_walk_) where_.Mark(rows, marks, product);
    // A piece's rows are taken over with their storage, so each piece's
    // rows get storage of their own.
    piece.rows.ClearRecords();
    piece.rows.FieldNames = field_names_;
    piece.rows.Aggregates = aggregates_;
    if (grouped_ && !piece.groups.Start(piece.rows, group_text_, has_aggregate_).ok()) return;
    auto take = [&] {
      const std::vector<std::string_view>& cells = cells_.Fill();
      if (grouped_) {
        piece.groups.Add(cells);
      } else {
        piece.rows.AppendRow(cells);
      }
    };
    resolver_.SetSet(0, rows);
    if (join_walk_) {
      const JoinOutcome walked = join_.Walk([&] {
        take();
        return true;
      });
      piece.complete = walked == JoinOutcome::kDone;
      return;
    }
    const int count = rows->RecordCount();
    for (int r = 0; r < count; ++r) {
      if (has_where_) {
        if (marks[r] == WhereMarks::kNoTruthValue) return;  // the statement fails there
        if (marks[r] == WhereMarks::kFalse) continue;
      }
      resolver_.SetRow(0, r);
      take();
    }
    piece.complete = true;
  }

 private:
  RowResolver resolver_;
  WhereMarks where_;
  HashJoin join_;
  bool grouped_ = false;
  bool has_where_ = false;
  bool join_walk_ = false;
  TvekSQLOutput output_;
  std::vector<OutputColumn> columns_;
  RowCells cells_;
  bool has_aggregate_ = false;
  std::string group_text_;
  std::vector<std::string> field_names_;
  std::vector<TTokenOperator> aggregates_;
};

// The one table of a SELECT read straight from its file, a piece at a time,
// when no statement has opened it yet: only the rows of the current piece are
// in memory, and the table is listed by its columns with its rows pending, as
// if it had been opened. Answers, errors and the numbers of the sets are those
// of opening the table and walking its rows.
class ScannedTable {
 public:
  // Starts reading the table: false when it is open already or its file is not
  // a table that reads (the caller then opens it as usual, which says why).
  bool Start(TvekSQL& engine, const std::string& name) {
    std::string path;
    if (engine.FindRecordSet(name) > 0 || engine.PendingTableCount() >= kMaxPendingTables ||
        !engine.CatalogIsFolder() || !engine.TablePath(name, path).ok() || !IsFile(path)) {
      return false;
    }
    bool missing = false;
    if (!reader_.Open(path, kPieceBytes, missing).ok() || missing) return false;
    pieces_.emplace(reader_, TableFileRows::WorkersFor(reader_.FileSize()));
    if (!pieces_->Next(window_).ok() || !pieces_->HeaderSeen()) {
      pieces_.reset();
      return false;
    }
    window_->Name = name;
    engine_ = &engine;
    listed_ = engine.AddPendingTable(name, path, window_->FieldNames, reader_.File());
    return true;
  }
  bool Active() const { return engine_ != nullptr; }
  bool Done() const { return !pieces_.has_value(); }
  const RecordSetPtr& Listed() const { return listed_; }
  // The rows of the current piece.
  const RecordSetPtr& Window() const { return window_; }

  // Moves on to the next piece's rows (Done after the last); on a read error
  // the table is no longer listed, as a table whose file does not read is
  // never opened.
  Status Next() {
    Status s = pieces_->Next(window_);
    if (!s.ok()) Unlist();
    if (!s.ok() || window_ == nullptr) {
      pieces_.reset();
    } else if (window_->FieldNames.empty()) {
      window_->FieldNames = listed_->FieldNames;
    }
    return s;
  }
  // The text a statement failing with `text` gives: the rest of the file is
  // read first, since opening the table would have met its read error before.
  // `read_failed` tells the file's error from `text`.
  std::string FailureText(std::string text, bool& read_failed) {
    Status s = Drain();
    read_failed = !s.ok();
    return read_failed ? s.message() : text;
  }
  // Reads the rest of the file without walking it, for its read errors, and
  // stops reading.
  Status Drain() {
    if (!Active() || Done()) return Status::OK();
    Status s = pieces_->Drain();
    pieces_.reset();
    if (!s.ok()) Unlist();
    return s;
  }

  // The workers cutting pieces ahead; each can work on the rows it cuts
  // (SetPieceWork: the WHERE's marks, result rows), which then come with the
  // piece.
  int WorkerCount() const { return pieces_ ? pieces_->WorkerCount() : 0; }
  void SetPieceWork(std::vector<std::unique_ptr<PieceWork>> work) {
    pieces_->SetPieceWork(std::move(work));
  }
  const std::vector<char>* Marks() const { return pieces_ ? pieces_->Marks() : nullptr; }
  PieceProduct* Product() const { return pieces_ ? pieces_->Product() : nullptr; }

 private:
  // Small enough for a piece's rows to stay in the processor's caches.
  static constexpr std::size_t kPieceBytes = std::size_t{256} << 10;
  // Each pending table holds its file open; past this many, tables are
  // opened as usual, so that a long batch does not run out of descriptors.
  static constexpr int kMaxPendingTables = 64;

  void Unlist() {
    const int n = engine_->NumberOf(listed_.get());
    if (n > 0) engine_->DeleteRecordSet(n);
  }

  TableFileReader reader_;
  std::optional<TableFileRows> pieces_;  // reads through reader_
  TvekSQL* engine_ = nullptr;
  RecordSetPtr listed_;
  RecordSetPtr window_;
};

// A FROM entry's table name and alias. One table takes the whole entry as its
// name ("t|u" is not found); in a join the text after the first "|" is the alias.
SourceTable EntryTable(const std::string& entry, bool join) {
  SourceTable table;
  std::size_t bar = entry.find('|');
  if (join && bar != std::string::npos) {
    table.name = entry.substr(0, bar);
    table.alias = entry.substr(bar + 1);
  } else {
    table.name = entry;
    table.alias = entry;
  }
  return table;
}

// Resolves the FROM entries from the `from`th on.
StatementResult OpenTables(TvekSQL& engine, const SelectClauses& clauses, std::size_t from,
                           std::vector<SourceTable>& tables) {
  const bool join = clauses.tables.size() > 1;
  for (std::size_t e = from; e < clauses.tables.size(); ++e) {
    SourceTable table = EntryTable(clauses.tables[e], join);
    StatementResult t = engine.OpenTable(table.name, "SELECT: can not find table " + table.name);
    if (!t.ok()) return t;
    table.set = engine.RecordSetAt(t.value());
    table.rows = table.set;
    tables.push_back(std::move(table));
  }
  return StatementResult::Done();
}

// Calls `visit` for every combination of rows of the tables, the first table
// varying slowest. Returns false as soon as `visit` does.
template <typename Visit>
bool ForEachCombination(RowResolver& resolver, int level, Visit& visit) {
  const int rows = resolver.Set(level)->RecordCount();
  const bool last = level == resolver.EntryCount() - 1;
  for (int r = 0; r < rows; ++r) {
    resolver.SetRow(level, r);
    if (last ? !visit() : !ForEachCombination(resolver, level + 1, visit)) return false;
  }
  return true;
}

}  // namespace

StatementResult SQLSelect(TvekSQL& engine, TvekSQLQuery& query, int first_token,
                          std::string_view target) {
  SelectClauses clauses;
  Status s = ParseSelect(query, first_token, clauses);
  if (!s.ok()) return Fail(s.message());
  const bool join = clauses.tables.size() > 1;

  engine.WholeFieldNames = false;
  // A scanned table's file that fails further on fails the statement as the
  // table's opening would have: before any result was named or made current,
  // and before the tables after it in a join were opened.
  const int sets_before = engine.RecordSetCount();
  const std::int32_t result_counter = engine.ResultCounter;
  const std::int32_t current_set = engine.CurrentRecordSet;
  const TmwStringHashList names_before = engine.NameSpace;
  auto read_failure = [&](std::string text) {
    engine.ResultCounter = result_counter;
    engine.CurrentRecordSet = current_set;
    engine.NameSpace = names_before;
    while (engine.RecordSetCount() > sets_before) engine.DeleteRecordSet(engine.RecordSetCount());
    return Fail(std::move(text));
  };
  // The first table is read a piece at a time when no statement has opened it.
  std::vector<SourceTable> tables;
  ScannedTable scan;
  SourceTable first_table = EntryTable(clauses.tables.front(), join);
  if (scan.Start(engine, first_table.name)) {
    first_table.set = scan.Listed();
    first_table.rows = scan.Window();
    tables.push_back(std::move(first_table));
  }
  // Fails the statement; while the scanned table is being read, with the
  // error its file gives further on, if any.
  auto fail = [&](std::string text) {
    bool read_failed = false;
    text = scan.FailureText(std::move(text), read_failed);
    return read_failed ? read_failure(std::move(text)) : Fail(std::move(text));
  };
  if (StatementResult opened = OpenTables(engine, clauses, tables.size(), tables); !opened.ok()) {
    return scan.Active() ? fail(opened.message()) : opened;
  }

  RowResolver resolver;
  for (const SourceTable& table : tables) {
    resolver.AddEntry(table.rows, table.name, table.alias, join);
    if (join) {
      engine.NameSpace.AddString(table.name, engine.NumberOf(table.set.get()));
      engine.NameSpace.AddString(table.alias, engine.NumberOf(table.set.get()));
    }
  }

  // Output columns: "*" copies every source column as it stands; anything else
  // is compiled from the statement's tokens.
  TvekSQLOutput output;
  std::vector<OutputColumn> columns;
  std::vector<std::pair<int, int>> copies;  // (entry, column) per output column of "*"
  bool has_aggregate = false;
  if (clauses.star) {
    for (int e = 0; e < static_cast<int>(tables.size()); ++e) {
      const TvekRecordSet& set = *tables[e].set;
      for (int c = 0; c < set.FieldCount(); ++c) {
        OutputColumn out;
        out.name = join ? set.Name + "." + set.FieldNames[c] : set.FieldNames[c];
        columns.push_back(std::move(out));
        copies.emplace_back(e, c);
      }
    }
  } else {
    if (!BuildOutput(query, clauses, output, columns, has_aggregate, resolver)) {
      return fail("SELECT dev: can not set output fields");
    }
  }

  RecordSetPtr result;
  s = CreateResult(engine, target, result);
  if (!s.ok()) return fail(s.message());
  for (const OutputColumn& column : columns) {
    result->FieldNames.push_back(column.name);
    result->Aggregates.push_back(column.aggregate);
  }

  TvekSQLExpression2& condition = query.Parser;
  const bool has_where = !clauses.where.empty();
  if (has_where) {
    condition.SetVariableSource(&resolver);
    s = condition.SetInfixTokens(query.Tokens, clauses.where.first, clauses.where.last);
    if (!s.ok()) return fail("SELECT: " + s.message() + ": " + SourceText(query, clauses.where));
  }

  engine.CurrentRecordSet = engine.NumberOf(tables.front().set.get());
  rtl::Variant value;
  std::string text;
  bool condition_failed = false;
  // Grouped rows are folded as they are made, so only one row per group is
  // kept. With an unknown key column the rows are kept and GroupBy reports it
  // after the scan, as the WHERE's failures come first.
  const bool grouped = has_aggregate || !clauses.group_text.empty();
  GroupAccumulator groups;
  const bool streaming = grouped && groups.Start(*result, clauses.group_text, has_aggregate).ok();
  // A join whose condition allows it is walked by hash look-ups.
  HashJoin hash_join;
  const bool hashed =
      join && has_where &&
      hash_join.Compile(query.Tokens, clauses.where.first, clauses.where.last, resolver);
  // The workers reading a scanned table ahead make the result rows of their
  // pieces, grouped where the pieces' groups add up to the answer (in a join,
  // where the other tables are small enough for each worker to look them up
  // on its own); or else evaluate the WHERE, when it reads that table alone.
  if (scan.WorkerCount() > 0) {
    std::size_t joined_rows = 0;
    for (std::size_t e = 1; e < tables.size(); ++e) joined_rows += tables[e].set->Records.size();
    const bool adds_up = std::all_of(
        result->Aggregates.begin(), result->Aggregates.end(), [](TTokenOperator op) {
          return op == toNone || op == tosqlCount || op == tosqlSum || op == tosqlMAX ||
                 op == tosqlMIN;
        });
    const bool on_workers = copies.empty() && (!streaming || adds_up) &&
                            (!join || (hashed && joined_rows <= kJoinedRowsPerWorker));
    std::vector<std::unique_ptr<PieceWork>> work;
    const SourceTable& scanned = tables.front();
    for (int w = 0; w < scan.WorkerCount(); ++w) {
      if (on_workers) {
        auto pieces = std::make_unique<ResultPieces>();
        if (!pieces->Compile(query, clauses, tables, *result, streaming)) break;
        work.push_back(std::move(pieces));
      } else if (has_where && !join) {
        auto where = std::make_unique<WhereMarks>();
        if (!where->Compile(query, clauses.where.first, clauses.where.last, scanned.set,
                            scanned.name)) {
          break;
        }
        work.push_back(std::move(where));
      }
    }
    if (static_cast<int>(work.size()) == scan.WorkerCount()) scan.SetPieceWork(std::move(work));
  }
  // A row's cells are gathered as views (into the tables, or into one text per
  // column) and packed once into the result's storage.
  std::vector<std::string_view> copied;
  RowCells row_cells;
  if (copies.empty()) row_cells.Start(columns, resolver);
  auto fill_cells = [&]() -> const std::vector<std::string_view>& {
    if (copies.empty()) return row_cells.Fill();
    copied.clear();
    for (auto [entry, column] : copies) {
      copied.push_back(resolver.Set(entry)->Records[resolver.Row(entry)].Cell(column));
    }
    return copied;
  };
  auto add_row = [&]() {
    const std::vector<std::string_view>& cells = fill_cells();
    if (!streaming) {
      result->AppendRow(cells);
    } else {
      groups.Add(cells);
    }
    return true;
  };
  // The WHERE's marks of the current piece of a scanned table, where its
  // workers evaluated it.
  const std::vector<char>* marks = nullptr;
  auto visit = [&]() {
    if (has_where) {
      bool holds = false;
      if (marks != nullptr) {
        const char mark = (*marks)[resolver.Row(0)];
        if (mark == WhereMarks::kNoTruthValue) {
          condition_failed = true;
          return false;
        }
        holds = mark == WhereMarks::kTrue;
      } else if (!ConditionHolds(condition, value, holds)) {
        condition_failed = true;
        return false;
      }
      if (!holds) return true;
    }
    return add_row();
  };
  // Moves a scanned table on to its next piece: false after the last, or
  // when its file fails to read further on.
  std::optional<Status> read_error;
  auto next_piece = [&] {
    Status read = scan.Next();
    if (!read.ok()) read_error = std::move(read);
    if (read_error || scan.Done()) return false;
    resolver.SetSet(0, scan.Window());
    marks = scan.Marks();
    return true;
  };
  // A piece whose result rows a worker made is taken as a whole: its rows as
  // they are, or its groups added up where that gives the same answer.
  auto added_up = [&] {
    auto* piece = dynamic_cast<PieceResult*>(scan.Product());
    if (piece == nullptr || !piece->complete) return false;
    if (piece->grouped) return groups.AddGroups(piece->groups);
    result->MoveRowsFrom(piece->rows);
    return true;
  };
  if (hashed) {
    std::function<bool()> next_rows, handled;
    if (scan.Active()) {
      next_rows = next_piece;
      handled = added_up;
    }
    const JoinOutcome joined = hash_join.Walk([&] { return add_row(); }, next_rows, handled);
    condition_failed = joined == JoinOutcome::kConditionFailed;
  } else {
    // A scanned table's pieces, each walked as it is read.
    do {
      if (!added_up()) ForEachCombination(resolver, 0, visit);
    } while (scan.Active() && !scan.Done() && !condition_failed && next_piece());
  }
  if (read_error) return read_failure(read_error->message());
  if (condition_failed) {
    return fail("SELECT: condition is not a truth value: " + SourceText(query, clauses.where));
  }
  // The rest of a file the walk did not need is still read for its errors.
  if (Status read = scan.Drain(); !read.ok()) return read_failure(read.message());

  if (streaming) {
    groups.Finish();
  } else if (grouped) {
    s = GroupBy(engine, *result, clauses.group_text, has_aggregate);
    if (!s.ok()) return Fail(s.message());
  }

  // HAVING and ORDER BY read the result's columns by their whole names.
  engine.WholeFieldNames = true;
  if (!clauses.having.empty() && result->RecordCount() > 0) {
    RowResolver result_names;
    result_names.AddEntry(result, result->Name, result->Name, false);
    result_names.SetWholeFieldNames(true);
    if (streaming && groups.AnsweredNoRows()) {
      // select sum(a) as s from t where a > 5 having s > 1: the sum of no rows
      // is no value, so the comparison is false and the row goes; a count of
      // no rows is 0 and compares as one.
      std::vector<bool> nulls(result->FieldCount());
      for (int k = 0; k < result->FieldCount(); ++k) nulls[k] = result->Aggregates[k] != tosqlCount;
      result_names.SetNullColumns(0, std::move(nulls));
    }
    condition.SetVariableSource(&result_names);
    // An aggregate written in HAVING is not computed again: "count(b) > 1" tests
    // the result column b, which for an unaliased count(b) holds the count.
    std::vector<TToken> having;
    for (int i = clauses.having.first; i <= clauses.having.last; ++i) {
      const TToken& token = query.Tokens[i];
      bool aggregate_word = token.Operator == toVariable && i < clauses.having.last &&
                            query.Tokens[i + 1].Operator == toOpen &&
                            AggregateOf(token.Name) != toNone;
      if (!aggregate_word) having.push_back(token);
    }
    s = condition.SetInfixTokens(having, 0, static_cast<int>(having.size()) - 1);
    if (!s.ok()) return Fail("HAVING: " + s.message() + ": " + SourceText(query, clauses.having));
    std::vector<char> keep(result->Records.size());
    for (int k = 0; k < result->RecordCount(); ++k) {
      result_names.SetRow(0, k);
      bool holds = false;
      if (!ConditionHolds(condition, value, holds)) {
        return Fail("HAVING: condition is not a truth value: " + SourceText(query, clauses.having));
      }
      keep[k] = holds;
    }
    std::size_t k = 0;
    result->Records.EraseIf([&](const TvekRecord&) { return !keep[k++]; });
    condition.SetVariableSource(nullptr);
  }

  if (!clauses.order_text.empty()) {
    s = OrderBy(engine, *result, clauses.order_text);
    if (!s.ok()) return Fail(s.message());
  }
  int number = PublishResult(engine, std::move(result));
  engine.CurrentRecordSet = number;
  return StatementResult::RecordSet(number);
}

}  // namespace vek

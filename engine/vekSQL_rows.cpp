// Row statements: INSERT INTO ... VALUES, INSERT INTO ... SELECT, UPDATE and
// DELETE FROM. They change a table's record set in memory and mark it
// modified; only COMMIT or SAVE TABLE write the change to the table's file.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/vekSQLRowResolver.h"
#include "engine/vekSQLStatements.h"
#include "rtl/Text.h"

namespace vek {

namespace {

StatementResult Fail(std::string text) { return StatementResult::Error(std::move(text)); }
StatementResult Malformed() { return Fail(std::string(kNoTokens)); }

using rtl::TrimBlanks;

int TokenCount(const TvekSQLQuery& query) { return static_cast<int>(query.Tokens.size()); }

// Whether the statement has at least `min_count` tokens, the first with
// operator `first` and the one at index `at` with operator `second`.
bool Opens(const TvekSQLQuery& query, int min_count, TTokenOperator first, int at,
           TTokenOperator second) {
  return TokenCount(query) >= min_count && query.Tokens[0].Operator == first &&
         query.Tokens[at].Operator == second;
}

// Index of the first token at or after `from` with operator `op`; -1 when none.
int FindOperator(const TvekSQLQuery& query, int from, TTokenOperator op) {
  for (int i = from; i < TokenCount(query); ++i) {
    if (query.Tokens[i].Operator == op) return i;
  }
  return -1;
}

// Index of the first ")" token at or after `from`; -1 when none.
int FindClose(const TvekSQLQuery& query, int from) {
  for (int i = from; i < TokenCount(query); ++i) {
    if (query.Tokens[i].Kind == tkClose) return i;
  }
  return -1;
}

// The statement's own text from token `first` to its end, as the user wrote it:
// the condition named in an error text.
std::string TextFrom(const TvekSQLQuery& query, int first) {
  std::string_view statement = query.Statement;
  std::size_t at = query.Tokens[first].Position;
  return std::string(TrimBlanks(at < statement.size() ? statement.substr(at) : std::string_view()));
}

// A token as the statement's texts write it back: a quoted text in quotes.
void AppendToken(const TToken& token, std::string& out) {
  if (token.Operator == toAString) {
    // An apostrophe inside the text is written doubled, as the statement had it.
    out += '\'';
    for (char c : token.Name) {
      out += c;
      if (c == '\'') out += '\'';
    }
    out += '\'';
  } else {
    out += token.Name;
  }
}

// ---- INSERT INTO ... VALUES ---------------------------------------------------

// The values are literal texts, never evaluated: the tokens between the
// brackets run together, a quoted text in quotes, so "(1 2)" is the value 12 and
// "('x, y', 3)" keeps the comma inside the first value.
std::string ValuesText(const TvekSQLQuery& query, int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    // Two quoted texts in a row stay two ('a' 'b' is no value 'a''b').
    if (query.Tokens[i].Operator == toAString && !text.empty() && text.back() == '\'') text += ' ';
    AppendToken(query.Tokens[i], text);
  }
  return text;
}

// Takes the values text apart at its commas; a quoted value is kept exactly and
// must be followed by a comma or the end. A comma at the end adds an empty last
// value, as a comma between two commas adds an empty one.
Status SplitValues(std::string_view s, std::vector<std::string>& values) {
  s = TrimBlanks(s);
  while (true) {
    // A quoted value closes at an apostrophe that is not doubled; '' inside it
    // stands for one apostrophe.
    std::size_t close = std::string_view::npos;
    std::string quoted;
    if (s.size() > 1 && s.front() == '\'') {
      for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] != '\'') {
          quoted += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == '\'') {
          quoted += '\'';
          ++i;
        } else {
          close = i;
          break;
        }
      }
    }
    if (close != std::string_view::npos) {
      values.push_back(std::move(quoted));
      s = TrimBlanks(s.substr(close + 1));
      if (s.empty()) return Status::OK();
      if (s.front() != ',') return Status::Error("INSERT INTO parsing values:missing ,");
    } else {
      std::size_t comma = s.find(',');
      values.emplace_back(TrimBlanks(s.substr(0, comma)));
      if (comma == std::string_view::npos) return Status::OK();
      s = s.substr(comma);
    }
    s = TrimBlanks(s.substr(1));  // past the comma
    if (s.empty()) {
      values.emplace_back();
      return Status::OK();
    }
  }
}

// The target column of every value. Without a column list value k goes to
// column k; with one, to the column named k-th (letter case ignored).
Status MapValues(const TvekRecordSet& table, const std::vector<std::string>* names,
                 std::size_t value_count, std::vector<int>& targets) {
  const Status mismatch = Status::Error("INSERT INTO: number of columns and values is different");
  if (!names) {
    // Checked before the row is appended, so a surplus value adds no row.
    if (value_count > static_cast<std::size_t>(table.FieldCount())) return mismatch;
    for (std::size_t k = 0; k < value_count; ++k) targets.push_back(static_cast<int>(k));
    return Status::OK();
  }
  if (names->size() != value_count) return mismatch;
  for (const std::string& name : *names) {
    int column = table.FieldIndex(name);
    if (column < 0) return mismatch;
    targets.push_back(column);
  }
  return Status::OK();
}

StatementResult InsertValues(TvekSQL& engine, std::string_view table_name,
                             const std::string* column_text, const std::string& values_text) {
  if (table_name.empty()) return Fail("Missing table name in INSERT INTO component");
  StatementResult t =
      engine.OpenTable(table_name, "Table " + std::string(table_name) + " not open");
  if (!t.ok()) return t;
  RecordSetPtr table = engine.RecordSetAt(t.value());

  std::vector<std::string> values;
  Status s = SplitValues(values_text, values);
  if (!s.ok()) return Fail(s.message());
  std::vector<std::string> names;
  if (column_text) SplitText(*column_text, names);
  std::vector<int> targets;
  s = MapValues(*table, column_text ? &names : nullptr, values.size(), targets);
  if (!s.ok()) return Fail(s.message());

  std::vector<std::string_view> cells(table->FieldNames.size());
  // In list order, so of a column named twice the later value stays.
  for (std::size_t k = 0; k < values.size(); ++k) cells[targets[k]] = values[k];
  table->AppendRow(cells);
  table->Modified = true;
  return StatementResult::Done();
}

// ---- UPDATE and DELETE: conditions ---------------------------------------------

// Reads the condition tokens[first..last] as a truth value for every row of the
// table in `rows` (entry 0) and sets hits[i] for the rows where it holds. The
// condition is compiled from the statement's own tokens, so quoted texts, the
// words date and time and the lists of IN keep what they were read as. Every
// row is decided before the caller changes any, so a condition that fails on
// one row changes nothing. An empty range holds for every row.
Status MatchRows(const TvekSQLQuery& query, int first, int last, RowResolver& rows,
                 std::vector<char>& hits) {
  const int count = rows.Set(0)->RecordCount();
  hits.assign(count, 1);
  if (last < first) return Status::OK();

  const std::string condition = TextFrom(query, first);
  TvekSQLExpression2 expression;
  expression.SetVariableSource(&rows);
  Status s = expression.SetInfixTokens(query.Tokens, first, last);
  if (!s.ok()) return Status::Error("WHERE: " + s.message() + ": " + condition);
  rtl::Variant value;
  for (int i = 0; i < count; ++i) {
    rows.SetRow(0, i);
    bool holds = false;
    // A failed evaluation gives the empty text, which is no truth value either.
    if (!expression.Evaluate(value) || !ValueToBool(value, holds)) {
      return Status::Error("WHERE: condition is not a truth value: " + condition);
    }
    hits[i] = holds;
  }
  return Status::OK();
}

// ---- UPDATE: assignments ---------------------------------------------------------

// The column named left of "=" in an assignment, written as the tokens read
// (each followed by a blank, brackets and commas without one), then trimmed:
// "first name = 'x'" names the column "first name".
std::string AssignedName(const TvekSQLQuery& query, int first, int last) {
  std::string name;
  for (int i = first; i <= last; ++i) {
    const TToken& token = query.Tokens[i];
    AppendToken(token, name);
    if (token.Kind != tkOpen && token.Kind != tkClose && token.Kind != tkComma) name += ' ';
  }
  return std::string(TrimBlanks(name));
}

// Compiles "column = expression, ..." from tokens[first..last] into `list`, each
// expression reading the row through `rows`. Assignments are separated by the
// commas outside brackets: "a = left(b, 2), c = 1" holds two.
Status BuildAssignments(const TvekSQLQuery& query, int first, int last,
                        const TvekRecordSet& table, RowResolver& rows, TvekSQLOutput& list) {
  const Status failed = Status::Error("SELECT dev: can not set output fields");
  int depth = 0;
  int start = first;
  for (int i = first; i <= last + 1; ++i) {
    if (i <= last) {
      const TToken& token = query.Tokens[i];
      if (token.Kind == tkOpen) ++depth;
      if (token.Kind == tkClose && depth > 0) --depth;
      if (token.Kind != tkComma || depth > 0) continue;
    }
    // tokens[start..i-1] is one assignment.
    int eq = -1;
    for (int k = start; k < i && eq < 0; ++k) {
      if (query.Tokens[k].Operator == toEq) eq = k;
    }
    if (eq < 0) return failed;
    int column = table.FieldIndex(AssignedName(query, start, eq - 1));
    if (column < 0) return failed;
    TvekSQLCalcField* field = list.AddField();
    field->Name = table.FieldNames[column];
    field->FieldIndex = column;
    field->Expression.SetVariableSource(&rows);
    if (!field->Expression.SetInfixTokens(query.Tokens, eq + 1, i - 1).ok()) return failed;
    start = i + 1;
  }
  return Status::OK();
}

}  // namespace

// INSERT INTO table [(column, ...)] VALUES (value, ...)
StatementResult SQLInsertValues(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const int n = TokenCount(query);
  if (!Opens(query, 3, tosqlINSERT, 1, tosqlINTO)) return Malformed();
  const std::string& table_name = query.Tokens[2].Name;

  std::string column_text;
  bool has_columns = false;
  int values_at = 3;
  if (n > 3 && query.Tokens[3].Kind == tkOpen) {
    int close = FindClose(query, 4);
    if (close < 0 || close == 4) return Malformed();
    for (int i = 4; i < close; ++i) {
      column_text += query.Tokens[i].Kind == tkComma ? std::string(";") : query.Tokens[i].Name;
    }
    has_columns = true;
    values_at = close + 1;
  }

  if (values_at + 2 >= n || query.Tokens[values_at].Operator != tosqlVALUES) {
    return Fail("SQLInsert: missing VALUES");
  }
  const int open = values_at + 1;
  if (query.Tokens[open].Kind != tkOpen) return Fail("SQLInsert: missing ( after VALUES");
  const int close = FindClose(query, open + 1);
  if (close < 0) return Fail("SQLInsert: missing ) after VALUES");
  if (close == open + 1) return Fail("SQLInsert: no values after VALUES");

  return InsertValues(engine, table_name, has_columns ? &column_text : nullptr,
                      ValuesText(query, open + 1, close - 1));
}

// INSERT INTO table SELECT ...: the result's columns go to the table's columns
// of the same names, letter case ignored; the others are left out.
StatementResult SQLInsertSelect(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const std::string& table_name = query.Tokens[2].Name;
  StatementResult t = engine.OpenTable(table_name, "INSERT INTO: can not find table " + table_name);
  if (!t.ok()) return t;
  RecordSetPtr table = engine.RecordSetAt(t.value());

  // The result is complete before the first row is appended, so the SELECT may
  // read the very table it fills.
  StatementResult r = SQLSelect(engine, query, 3, {});
  if (!r.ok()) return r;
  RecordSetPtr result = engine.RecordSetAt(r.value());

  // A failure from here on leaves the result listed in the engine.
  if (result->RecordCount() == 0) return Fail("No result records");

  std::vector<int> targets(result->FieldNames.size());
  bool any = false;
  for (std::size_t c = 0; c < targets.size(); ++c) {
    targets[c] = table->FieldIndex(result->FieldNames[c]);
    any = any || targets[c] >= 0;
  }
  if (!any) return Fail("INSERT INTO..SELECT: no mathing fields");

  // The result is released below, so when its columns are the table's, in
  // order, its rows move whole (with the storage they point into); otherwise
  // each row is packed anew from the cells it gives.
  bool same_columns = result->FieldCount() == table->FieldCount();
  for (std::size_t c = 0; c < targets.size(); ++c) {
    same_columns = same_columns && targets[c] == static_cast<int>(c);
  }
  if (same_columns) {
    const std::size_t first = table->Records.size();
    table->MoveRowsFrom(*result);
    for (std::size_t r = first; r < table->Records.size(); ++r) {
      TvekRecord& row = table->Records[r];
      row.Resize(table->FieldCount());
      row.Marked = false;
    }
  } else {
    table->Records.reserve(table->Records.size() + result->Records.size());
    std::vector<std::string_view> cells;
    for (const TvekRecord& from : result->Records) {
      cells.assign(table->FieldNames.size(), std::string_view());
      const int count = std::min(from.FieldCount(), static_cast<int>(targets.size()));
      for (int c = 0; c < count; ++c) {
        if (targets[c] >= 0) cells[targets[c]] = from.Cell(c);
      }
      table->AppendRow(cells);
    }
  }
  table->Modified = true;
  engine.ReleaseRecordSet(engine.NumberOf(result.get()));
  return StatementResult::Done();
}

// UPDATE table SET column = expression [, ...] [WHERE condition]
StatementResult SQLUpdate(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const int n = TokenCount(query);
  if (!Opens(query, 6, tosqlUPDATE, 2, tosqlSET)) return Malformed();
  const std::string& table_name = query.Tokens[1].Name;
  // A WHERE anywhere after SET ends the assignments, also inside brackets.
  const int where = FindOperator(query, 3, tosqlWHERE);
  const int last_assignment = where < 0 ? n - 1 : where - 1;

  if (table_name.empty()) return Fail("UPDATE: missing tablename");
  if (last_assignment < 3) return Fail("UPDATE: missing update fields");
  StatementResult t = engine.OpenTable(table_name, "UPDATE: cannot find table " + table_name);
  if (!t.ok()) return t;
  RecordSetPtr table = engine.RecordSetAt(t.value());

  RowResolver rows;
  rows.AddEntry(table, table->Name, {}, false);
  TvekSQLOutput assignments;
  Status s = BuildAssignments(query, 3, last_assignment, *table, rows, assignments);
  if (!s.ok()) return Fail(s.message());
  if (table->RecordCount() == 0) return StatementResult::Done();

  engine.CurrentRecordSet = t.value();
  std::vector<char> hits;
  if (where >= 0) {
    s = MatchRows(query, where + 1, n - 1, rows, hits);
    if (!s.ok()) return Fail(s.message());
  } else {
    hits.assign(table->RecordCount(), 1);
  }

  rtl::Variant value;
  std::string text;
  for (int i = 0; i < table->RecordCount(); ++i) {
    if (!hits[i]) continue;
    rows.SetRow(0, i);
    TvekRecord& row = table->Records[i];
    // Each value is stored at once, so "SET a = b, b = a" reads the new a.
    for (const auto& assignment : assignments.Fields) {
      // A failed evaluation gives the empty text, which is stored as it is.
      assignment->Expression.Evaluate(value);
      if (value.IsText()) {
        row.SetCell(assignment->FieldIndex, value.s);
      } else {
        text.clear();
        AppendValueText(value, text);
        row.SetCell(assignment->FieldIndex, text);
      }
    }
  }
  table->CurrentRow = table->RecordCount() - 1;
  table->Modified = true;
  return StatementResult::Done();
}

// DELETE FROM table [WHERE condition]
StatementResult SQLDelete(TvekSQL& engine, TvekSQLQuery& query, std::string_view) {
  const int n = TokenCount(query);
  if (!Opens(query, 3, tosqlDELETE, 1, tosqlFROM)) return Malformed();
  const std::string& table_name = query.Tokens[2].Name;
  if (n > 3 && (n < 6 || query.Tokens[3].Operator != tosqlWHERE)) {
    return Fail("`WHERE` expected but `" + query.Tokens[3].Name + "` found.");
  }
  StatementResult t = engine.OpenTable(table_name, std::string(kNoTokens));
  if (!t.ok()) return t;
  RecordSetPtr table = engine.RecordSetAt(t.value());
  if (table->RecordCount() == 0) return StatementResult::Done();

  engine.CurrentRecordSet = t.value();
  if (n == 3) {
    table->ClearRecords();
  } else {
    RowResolver rows;
    rows.AddEntry(table, table->Name, {}, false);
    std::vector<char> hits;
    Status s = MatchRows(query, 4, n - 1, rows, hits);
    if (!s.ok()) return Fail(s.message());
    // One compaction pass keeps the remaining rows in their order.
    std::size_t i = 0;
    table->Records.EraseIf([&](const TvekRecord&) { return hits[i++] != 0; });
  }
  table->CurrentRow = 0;
  table->Modified = true;
  return StatementResult::Done();
}

}  // namespace vek

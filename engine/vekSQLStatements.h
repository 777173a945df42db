// For the statement handlers only: a statement's query (its text and tokens),
// the output-column list, and the handlers the engine dispatches to.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vekSQL.h"
#include "engine/vekSQLExpression2.h"
#include "engine/vekSQLTokenizer.h"

namespace vek {

class TvekSQLQuery {
 public:
  // The statement's text the tokens were read from: a view of the batch's own
  // text, or of StatementCopy when line ends had to be joined first. Either
  // lives as long as the query.
  std::string_view Statement;
  std::string StatementCopy;
  std::vector<TToken> Tokens;
  TvekSQLExpression2 Parser;
  TvekSQL* Engine = nullptr;  // the engine running it; handlers get it as an argument
  const TToken& TokenAt(int index) const { return Tokens.at(index); }
};

class TvekSQLCalcField {
 public:
  TvekSQLExpression2 Expression;
  std::string ExpressionText;  // the column as written, for inspection; not read back
  std::string Name;
  std::int32_t FieldIndex = 0;
};

class TvekSQLOutput {
 public:
  std::vector<std::unique_ptr<TvekSQLCalcField>> Fields;
  TvekSQLCalcField* AddField();
  TvekSQLCalcField* GetField(int index);
  int Count() const { return static_cast<int>(Fields.size()); }
  void Clear() { Fields.clear(); }
  std::string FieldNameList() const;
};

// Whether `path` names a table file: anything there but a folder (a named pipe
// is a file the reader refuses, not a missing table).
bool IsFile(const std::string& path);

// What a statement whose tokens do not form the statement its first word
// starts fails with.
inline constexpr std::string_view kNoTokens = "No tokens";

// Statement handlers: a record-set number, StatementResult::kNoRecordSet, or the
// error. `statement` is the statement's text after line breaks were joined and
// blanks trimmed.
StatementResult SQLConnect(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLCreateTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLDropTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLAlterTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLInsertValues(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLInsertSelect(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLUpdate(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLDelete(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLAssign(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLSaveTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLReleaseTable(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLCommit(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
StatementResult SQLRollback(TvekSQL& engine, TvekSQLQuery& query, std::string_view statement);
// SELECT from query.Tokens[first_token..]; `target` is empty or the ASSIGN TO name.
StatementResult SQLSelect(TvekSQL& engine, TvekSQLQuery& query, int first_token,
                          std::string_view target);

}  // namespace vek

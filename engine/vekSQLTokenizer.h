// The engine's tokenizer: one SQL statement or expression to a list of tokens.
// Fixes the dialect's vocabulary (keywords, function words, operators) and runs
// the sub-select of "in (select ...)" through a handler the engine supplies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vekSQLStatus.h"
#include "rtl/Variant.h"

namespace vek {

enum TTokenKind : std::uint8_t {
  tkKeyword,
  tkOperator,
  tkOperand,
  tkOpen,
  tkClose,
  tkComma,
  tkHash,
};

enum TTokenOperator : std::uint8_t {
  toNone,
  toAString,
  toNumber,
  toVariable,
  toComma,
  toOpen,
  toClose,
  toHash,
  tosqlCount,
  tosqlSum,
  tosqlAvg,
  tosqlMAX,
  tosqlMIN,
  tosqlStdDev,
  toEq,
  toNe,
  toGt,
  toGe,
  toLt,
  toLe,
  toLOJ,
  toROJ,
  toAdd,
  toSubtract,
  toMultiply,
  toDivide,
  toAnd,
  toOr,
  toNot,
  toLike,
  tosqlALTER,
  tosqlTABLE,
  tosqlCOLUMN,
  tosqlADD,
  tosqlDROP,
  tosqlCOMMIT,
  tosqlCREATE,
  tosqlDELETE,
  tosqlFROM,
  tosqlWHERE,
  tosqlINSERT,
  tosqlINTO,
  tosqlVALUES,
  tosqlSELECT,
  tosqlAS,
  tosqlORDER,
  tosqlUPDATE,
  tosqlSELECTDISTINCT,
  tosqlINNERJOIN,
  tosqlLEFTOUTERJOIN,
  tosqlRIGHTOUTERJOIN,
  tosqlFULLOUTERJOIN,
  tosqlCROSSJOIN,
  tosqlON,
  tosqlUSING,
  tosqlSET,
  tosqlCONNECT,
  tosqlASSIGN,
  tosqlSAVETABLE,
  tosqlRELEASETABLE,
  tosqlGROUP,
  tosqlASC,
  tosqlDESC,
  tosqlHAVING,
  tosqlIN,
  toLOWER,
  toUPPER,
  toTRIM,
  toSoundex,
  toSin,
  toCos,
  toSqr,
  toSqrt,
  toAsNumber,
  toLeft,
  toRight,
  toMid,
  tosubstr_after,
  tosubstr_before,
  toFormat,
  toDateAdd,
  toYear,
  toMonth,
  toDay,
  toEaster,
  toWeekNumber,
  toLen,
  toFix,
  toCeil,
  toFloor,
  toIsNumeric,
  toIsDate,
  toReplace,
  tosqlROLLBACK,
};

// The operator's name as written in the enumeration ("toGe", "tosqlSELECT"), for
// test output and ToString() dumps.
const char* TokenOperatorName(TTokenOperator op);

struct TToken {
  std::string Name;  // as read; a quoted text without its quotes; first word of a pair
  TTokenKind Kind = tkOperand;
  TTokenOperator Operator = toNone;
  rtl::Variant Value;      // constant of a text or number; "," and "#"
  std::int32_t Level = 0;  // precedence level of operators, functions, brackets
  std::string Expression;  // IN: the list text "[item1][item2]..."
  std::vector<std::string> Items;  // IN: the list's items, exact texts, in order
  std::size_t Position = 0;        // 0-based byte offset of the token in the text
};

// Why tokenizing stopped before the end of the text.
enum class TokenizeError {
  kNone,
  kScan,       // a character or construct the tokenizer cannot read
  kSubSelect,  // the handler of "in (select ...)" failed; `message` holds its text
};

struct TokenizeResult {
  TokenizeError error = TokenizeError::kNone;
  std::size_t position = 0;  // 0-based byte offset where scanning stopped
  std::string message;
  bool ok() const { return error == TokenizeError::kNone; }
};

// Runs "select ..." (the trimmed list text of an IN) and fills `values` with the
// texts of its first column, in row order. A failed status carries the
// sub-select's own error text.
using SubExpressionHandler =
    std::function<Status(std::string_view subselect, std::vector<std::string>& values)>;

class TvekSQLTokenizer {
 public:
  void SetOnSubExpression(SubExpressionHandler handler) { on_sub_expression_ = std::move(handler); }

  // Appends the tokens of `text` to `list` (not emptied first). Stops at the
  // first thing it cannot read and says where; the tokens before it remain.
  TokenizeResult Tokenize(std::string_view text, std::vector<TToken>& list);

 private:
  SubExpressionHandler on_sub_expression_;
};

}  // namespace vek

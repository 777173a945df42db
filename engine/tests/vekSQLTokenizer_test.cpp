// Tests of the tokenizer: token shapes of statements and expressions, keyword
// pairs, quoting, number literals, white space, IN lists with and without a
// sub-select, and every construct that stops tokenizing with its position.
#include "engine/vekSQLTokenizer.h"

#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <vector>

#include "rtl/Dates.h"
#include "rtl/Separators.h"

namespace vek {
namespace {

// "operator:name" for each token, separated by blanks, so that a whole token
// list compares as one line: "tosqlSELECT:select toMultiply:*".
std::string Describe(const std::vector<TToken>& tokens) {
  std::string out;
  for (const TToken& token : tokens) {
    if (!out.empty()) out += ' ';
    out += TokenOperatorName(token.Operator);
    out += ':';
    out += token.Name;
  }
  return out;
}

std::vector<TToken> Tokens(std::string_view text) {
  std::vector<TToken> tokens;
  TokenizeResult result = TvekSQLTokenizer().Tokenize(text, tokens);
  EXPECT_TRUE(result.ok()) << text << " stopped at " << result.position;
  return tokens;
}

struct ShapeCase {
  const char* name;
  const char* text;
  const char* expected;
};

void ExpectShapes(const std::vector<ShapeCase>& cases) {
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(Tokens(c.text)), c.expected) << c.text;
  }
}

TEST(TokenizerTest, StatementShapes) {
  ExpectShapes({
      {"select with comparison", "select * from t where a>=1",
       "tosqlSELECT:select toMultiply:* tosqlFROM:from toVariable:t tosqlWHERE:where "
       "toVariable:a toGe:>= toNumber:1"},
      {"qualified names are one identifier", "t.f_1 = x2.y",
       "toVariable:t.f_1 toEq:= toVariable:x2.y"},
      {"every comparison", "a=b<>c>d>=e<f<=g",
       "toVariable:a toEq:= toVariable:b toNe:<> toVariable:c toGt:> toVariable:d toGe:>= "
       "toVariable:e toLt:< toVariable:f toLe:<= toVariable:g"},
      {"outer join markers", "a*=b and c=*d",
       "toVariable:a toLOJ:*= toVariable:b toAnd:and toVariable:c toROJ:=* toVariable:d"},
      {"arithmetic", "(a+b)-c*d/e",
       "toOpen:( toVariable:a toAdd:+ toVariable:b toClose:) toSubtract:- toVariable:c "
       "toMultiply:* toVariable:d toDivide:/ toVariable:e"},
      {"punctuation", "f(a, #)", "toVariable:f toOpen:( toVariable:a toComma:, toHash:# toClose:)"},
      {"logical words in any case", "a AND b Or NOT c",
       "toVariable:a toAnd:AND toVariable:b toOr:Or toNot:NOT toVariable:c"},
      {"like", "name like 'a%'", "toVariable:name toLike:like toAString:a%"},
      {"function words", "Lower(x) upper trim soundex sin cos sqr sqrt asnumber mid",
       "toLOWER:Lower toOpen:( toVariable:x toClose:) toUPPER:upper toTRIM:trim "
       "toSoundex:soundex toSin:sin toCos:cos toSqr:sqr toSqrt:sqrt toAsNumber:asnumber "
       "toMid:mid"},
      {"more function words",
       "substr_after substr_before format dateadd year month day easter weeknumber",
       "tosubstr_after:substr_after tosubstr_before:substr_before toFormat:format "
       "toDateAdd:dateadd toYear:year toMonth:month toDay:day toEaster:easter "
       "toWeekNumber:weeknumber"},
      {"fix and trunc are one function; length is toLen",
       "fix trunc length ceil floor isnumeric isdate replace",
       "toFix:fix toFix:trunc toLen:length toCeil:ceil toFloor:floor toIsNumeric:isnumeric "
       "toIsDate:isdate toReplace:replace"},
      {"words that only start like keywords are names", "selected fromage orders inx",
       "toVariable:selected toVariable:fromage toVariable:orders toVariable:inx"},
      {"single keywords",
       "AS UPDATE INSERT INTO DELETE COMMIT ROLLBACK FROM ON USING WHERE ASC DESC SET",
       "tosqlAS:AS tosqlUPDATE:UPDATE tosqlINSERT:INSERT tosqlINTO:INTO tosqlDELETE:DELETE "
       "tosqlCOMMIT:COMMIT tosqlROLLBACK:ROLLBACK tosqlFROM:FROM tosqlON:ON tosqlUSING:USING "
       "tosqlWHERE:WHERE tosqlASC:ASC tosqlDESC:DESC tosqlSET:SET"},
      {"more single keywords", "values create table drop alter add column having",
       "tosqlVALUES:values tosqlCREATE:create tosqlTABLE:table tosqlDROP:drop "
       "tosqlALTER:alter tosqlADD:add tosqlCOLUMN:column tosqlHAVING:having"},
  });
}

TEST(TokenizerTest, KeywordPairs) {
  ExpectShapes({
      {"order by", "order by x", "tosqlORDER:order toVariable:x"},
      {"order without by is a name", "ORDER x", "toVariable:ORDER toVariable:x"},
      {"by must be a whole word", "order byx", "toVariable:order toVariable:byx"},
      {"by followed by a bracket is no word", "order by(x)",
       "toVariable:order toVariable:by toOpen:( toVariable:x toClose:)"},
      {"pair at the end of the text", "GROUP BY", "tosqlGROUP:GROUP"},
      {"pair across a line break", "ORDER\nBY x", "tosqlORDER:ORDER toVariable:x"},
      {"pair across a tab", "group\tby a", "tosqlGROUP:group toVariable:a"},
      {"select distinct", "select distinct a", "tosqlSELECTDISTINCT:select toVariable:a"},
      {"select distinct across a tab", "SELECT\tDISTINCT a",
       "tosqlSELECTDISTINCT:SELECT toVariable:a"},
      {"distinct glued to a bracket stays a name", "select distinct(a)",
       "tosqlSELECT:select toVariable:distinct toOpen:( toVariable:a toClose:)"},
      {"connect to", "connect to '/data'", "tosqlCONNECT:connect toAString:/data"},
      {"connect without to", "connect x", "toVariable:connect toVariable:x"},
      {"assign to", "Assign To r", "tosqlASSIGN:Assign toVariable:r"},
      {"save table", "save table t", "tosqlSAVETABLE:save toVariable:t"},
      {"save without table", "save t", "toVariable:save toVariable:t"},
      {"release table", "RELEASE TABLE t", "tosqlRELEASETABLE:RELEASE toVariable:t"},
      {"join alone", "join t", "tosqlINNERJOIN:join toVariable:t"},
      {"inner join", "inner join t", "tosqlINNERJOIN:inner toVariable:t"},
      {"inner without join", "inner t", "toVariable:inner toVariable:t"},
      {"cross join", "cross join t", "tosqlCROSSJOIN:cross toVariable:t"},
      {"left join", "LEFT JOIN t", "tosqlLEFTOUTERJOIN:LEFT toVariable:t"},
      {"left outer join", "left outer join t", "tosqlLEFTOUTERJOIN:left toVariable:t"},
      {"right join", "right join t", "tosqlRIGHTOUTERJOIN:right toVariable:t"},
      {"right outer join", "right outer join t", "tosqlRIGHTOUTERJOIN:right toVariable:t"},
      {"full join", "full join t", "tosqlFULLOUTERJOIN:full toVariable:t"},
      {"full outer join", "FULL OUTER JOIN t", "tosqlFULLOUTERJOIN:FULL toVariable:t"},
      {"left as a function", "left(name, 2)",
       "toLeft:left toOpen:( toVariable:name toComma:, toNumber:2 toClose:)"},
      {"right as a function", "right (name, 2)",
       "toRight:right toOpen:( toVariable:name toComma:, toNumber:2 toClose:)"},
      {"full alone is a name", "full x", "toVariable:full toVariable:x"},
      {"outer without join is consumed", "left outer x", "toLeft:left toVariable:x"},
  });
}

TEST(TokenizerTest, KindsAndValues) {
  struct Case {
    const char* text;
    TTokenKind kind;
    TTokenOperator op;
  };
  const Case cases[] = {
      {"FROM", tkKeyword, tosqlFROM}, {"order by", tkKeyword, tosqlORDER},
      {"and", tkOperator, toAnd},     {"lower", tkOperator, toLOWER},
      {"not", tkOperator, toNot},     {"in (1)", tkOperator, tosqlIN},
      {"+", tkOperator, toAdd},       {"x", tkOperand, toVariable},
      {"'a'", tkOperand, toAString},  {"1", tkOperand, toNumber},
      {"pi", tkOperand, toNumber},    {"date", tkOperand, toAString},
      {"(", tkOpen, toOpen},          {")", tkClose, toClose},
      {",", tkComma, toComma},        {"#", tkHash, toHash},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<TToken> tokens = Tokens(c.text);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].Kind, c.kind);
    EXPECT_EQ(tokens[0].Operator, c.op);
  }

  std::vector<TToken> punctuation = Tokens(", #");
  ASSERT_EQ(punctuation.size(), 2u);
  EXPECT_EQ(punctuation[0].Value.s, ",");
  EXPECT_EQ(punctuation[1].Value.s, "#");
}

TEST(TokenizerTest, Levels) {
  struct Case {
    const char* text;
    std::vector<int> levels;
  };
  const Case cases[] = {
      {"10 - 2 + 3", {0, 3, 0, 4, 0}},
      {"8 / 2 * 2", {0, 5, 0, 6, 0}},
      {"a = b <> c > d >= e < f <= g", {0, 3, 0, 3, 0, 3, 0, 3, 0, 3, 0, 3, 0}},
      {"a *= b =* c", {0, 3, 0, 3, 0}},
      {"(a and b) or c", {1, 0, 0, 0, 1, 0, 0}},
      {"not x like y", {7, 0, 7, 0}},
      {"upper(x)", {7, 1, 0, 1}},
      {"x in (1)", {0, 7}},
      {"where a", {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<int> levels;
    for (const TToken& token : Tokens(c.text)) levels.push_back(token.Level);
    EXPECT_EQ(levels, c.levels);
  }
}

TEST(TokenizerTest, QuotedTexts) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"doubled apostrophe is one apostrophe", "'it''s'", {"it's"}},
      {"empty text", "''", {""}},
      {"only an apostrophe", "''''", {"'"}},
      {"apostrophes at both ends", "'''a'''", {"'a'"}},
      {"two texts", "'a' 'b'", {"a", "b"}},
      {"separators and brackets stay", "'a;b (c), d'", {"a;b (c), d"}},
      {"white space inside is kept", "'\ta\nb '", {"\ta\nb "}},
      {"non-ASCII inside is kept", "'\xC3\xA9t\xC3\xA9'", {"\xC3\xA9t\xC3\xA9"}},
      {"keywords inside are text", "'select from'", {"select from"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> names;
    for (const TToken& token : Tokens(c.text)) {
      EXPECT_EQ(token.Operator, toAString);
      EXPECT_TRUE(token.Value.IsText());
      EXPECT_EQ(token.Value.s, token.Name);
      names.push_back(token.Name);
    }
    EXPECT_EQ(names, c.texts);
  }
}

TEST(TokenizerTest, NumberLiterals) {
  struct Case {
    const char* text;
    const char* name;
    double value;
  };
  const Case cases[] = {
      {"15", "15", 15.0},  {"1.5", "1.5", 1.5}, {"1.50", "1.50", 1.5},
      {"007", "007", 7.0}, {"1.", "1.", 1.0},   {"0.125", "0.125", 0.125},
  };
  // Number literals are SQL syntax: the process-wide separators do not change
  // them, a "," decimal separator and a "." thousand separator included.
  for (char decimal : {'.', ','}) {
    rtl::ScopedSeparators separators(decimal, decimal == ',' ? '.' : ',');
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.text) + " with decimal separator " + decimal);
      std::vector<TToken> tokens = Tokens(std::string("x = ") + c.text);
      ASSERT_EQ(tokens.size(), 3u);
      EXPECT_EQ(tokens[2].Operator, toNumber);
      EXPECT_EQ(tokens[2].Name, c.name);
      EXPECT_EQ(tokens[2].Value.type, rtl::VarType::kFloat);
      EXPECT_DOUBLE_EQ(tokens[2].Value.f, c.value);
    }
  }

  // A number ends where a letter starts: 12abc is the number 12, then a name.
  EXPECT_EQ(Describe(Tokens("12abc")), "toNumber:12 toVariable:abc");
}

TEST(TokenizerTest, WordConstants) {
  std::vector<TToken> pi = Tokens("PI");
  ASSERT_EQ(pi.size(), 1u);
  EXPECT_EQ(pi[0].Name, "PI");
  EXPECT_EQ(pi[0].Value.type, rtl::VarType::kFloat);
  EXPECT_DOUBLE_EQ(pi[0].Value.f, std::numbers::pi);

  const std::string before = rtl::TodayText();
  std::vector<TToken> words = Tokens("DATE Time");
  const std::string after = rtl::TodayText();
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0].Name, "DATE");
  EXPECT_TRUE(words[0].Value.s == before || words[0].Value.s == after) << words[0].Value.s;
  EXPECT_EQ(words[1].Name, "Time");
  const std::string& time = words[1].Value.s;
  ASSERT_EQ(time.size(), 8u) << time;
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
}

TEST(TokenizerTest, WhiteSpaceAndPositions) {
  // Every code up to 32 outside quotes separates tokens.
  EXPECT_EQ(Describe(Tokens("select\ta\nfrom\r\nt\x01where\x1F"
                            "b")),
            "tosqlSELECT:select toVariable:a tosqlFROM:from toVariable:t tosqlWHERE:where "
            "toVariable:b");

  std::vector<TToken> tokens = Tokens("  a >= 'x y'\t, in (1)");
  std::vector<std::size_t> positions;
  for (const TToken& token : tokens) positions.push_back(token.Position);
  EXPECT_EQ(positions, (std::vector<std::size_t>{2, 4, 7, 13, 15}));
}

TEST(TokenizerTest, AppendsToTheList) {
  std::vector<TToken> tokens = Tokens("a");
  EXPECT_TRUE(TvekSQLTokenizer().Tokenize("= 1", tokens).ok());
  EXPECT_EQ(Describe(tokens), "toVariable:a toEq:= toNumber:1");
}

TEST(TokenizerTest, ScanFailures) {
  struct Case {
    const char* name;
    const char* text;
    std::size_t position;
    const char* before;  // the tokens scanned before the failure
  };
  const Case cases[] = {
      {"ampersand", "DELETE FROM t WHERE a = 1 & b = 2", 26,
       "tosqlDELETE:DELETE tosqlFROM:FROM toVariable:t tosqlWHERE:WHERE toVariable:a toEq:= "
       "toNumber:1"},
      {"double quote", "select \"a\" from t", 7, "tosqlSELECT:select"},
      {"percent", "a % b", 2, "toVariable:a"},
      {"exclamation mark", "a != b", 2, "toVariable:a"},
      {"square bracket", "select [a]", 7, "tosqlSELECT:select"},
      {"underscore cannot start a name", "_a", 0, ""},
      {"point cannot start a number", "x = .5", 4, "toVariable:x toEq:="},
      {"two decimal points", "x = 1.2.3", 4, "toVariable:x toEq:="},
      {"unclosed quote", "x = 'abc", 4, "toVariable:x toEq:="},
      {"unclosed quote after a doubled one", "x = 'it''s", 4, "toVariable:x toEq:="},
      {"trailing greater than", "a >", 2, "toVariable:a"},
      {"trailing less than", "a <", 2, "toVariable:a"},
      {"non-ASCII byte outside quotes", "x = \xC3\xA9", 4, "toVariable:x toEq:="},
      {"in without a list", "x in y", 5, "toVariable:x"},
      {"in at the end", "x in", 4, "toVariable:x"},
      {"unclosed list", "x in (1, 2", 5, "toVariable:x"},
      {"quote hides the closing bracket", "x in ('a)", 5, "toVariable:x"},
      {"unreadable item", "x in (1 & 2) and y", 8, "toVariable:x"},
      {"unreadable item after blanks", "x in (  'a', \"b\")", 13, "toVariable:x"},
      {"sub-select without a handler", "x in ( select a from t)", 7, "toVariable:x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TToken> tokens;
    TokenizeResult result = TvekSQLTokenizer().Tokenize(c.text, tokens);
    EXPECT_EQ(result.error, TokenizeError::kScan);
    EXPECT_EQ(result.position, c.position);
    EXPECT_EQ(Describe(tokens), c.before);
  }
}

TEST(TokenizerTest, InLists) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::string> items;
    const char* expression;
  };
  const Case cases[] = {
      {"texts", "name in ('a', 'b')", {"a", "b"}, "[a][b]"},
      {"number and text with a blank", "x in (1, 'a b')", {"1", "a b"}, "[1][a b]"},
      {"numbers as written", "x in (1.50, 007)", {"1.50", "007"}, "[1.50][007]"},
      {"empty list", "x in ()", {}, ""},
      {"blank list", "x in ( \t )", {}, ""},
      {"nested brackets only group", "x in ((1),(2))", {"1", "2"}, "[1][2]"},
      {"closing bracket in quotes", "x in ('a)b')", {"a)b"}, "[a)b]"},
      {"opening bracket in quotes", "x in ('a(b', 'c')", {"a(b", "c"}, "[a(b][c]"},
      {"doubled apostrophe", "x in ('it''s', ')')", {"it's", ")"}, "[it's][)]"},
      {"an item holding brackets of the expression form", "x in ('a][b')", {"a][b"}, "[a][b]"},
      {"trailing comma gives an empty item", "x in (1,)", {"1", ""}, "[1][]"},
      {"tokens between commas are joined", "x in (a b, c)", {"ab", "c"}, "[ab][c]"},
      {"upper case IN and white space before the bracket", "x IN\t\n(1)", {"1"}, "[1]"},
      {"a word that starts with select is an item",
       "x in (selected, b)",
       {"selected", "b"},
       "[selected][b]"},
      {"select alone is an item", "x in (select)", {"select"}, "[select]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TToken> tokens = Tokens(c.text);
    ASSERT_EQ(tokens.size(), 2u);
    const TToken& in = tokens[1];
    EXPECT_EQ(in.Operator, tosqlIN);
    EXPECT_EQ(in.Items, c.items);
    EXPECT_EQ(in.Expression, c.expression);
  }

  // Scanning goes on after the list.
  EXPECT_EQ(Describe(Tokens("x in (a, b) and y = 1")),
            "toVariable:x tosqlIN:in toAnd:and toVariable:y toEq:= toNumber:1");
}

// A tokenizer whose sub-select handler records its calls and answers with
// fixed values or a fixed error.
class SubSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tokenizer_.SetOnSubExpression(
        [this](std::string_view subselect, std::vector<std::string>& values) {
          calls_.emplace_back(subselect);
          if (!error_.empty()) return Status::Error(error_);
          values = answer_;
          return Status::OK();
        });
  }

  TokenizeResult Run(std::string_view text) { return tokenizer_.Tokenize(text, tokens_); }

  TvekSQLTokenizer tokenizer_;
  std::vector<std::string> answer_;
  std::string error_;
  std::vector<std::string> calls_;
  std::vector<TToken> tokens_;
};

TEST_F(SubSelectTest, RunsTheTrimmedTextInAnyLetterCase) {
  struct Case {
    const char* name;
    const char* text;
    const char* subselect;
  };
  const Case cases[] = {
      {"lower case", "a in (select id from s)", "select id from s"},
      {"upper case", "a IN (SELECT id FROM s)", "SELECT id FROM s"},
      {"tab after the marker, blanks trimmed", "a in (  Select\tid from s \n)",
       "Select\tid from s"},
      {"inner brackets and quotes are kept",
       "a in (select id from s where n in (1, 2) and c = 'x)')",
       "select id from s where n in (1, 2) and c = 'x)'"},
  };
  answer_ = {"1", "two", "a]b"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls_.clear();
    tokens_.clear();
    ASSERT_TRUE(Run(c.text).ok());
    ASSERT_EQ(calls_, std::vector<std::string>{c.subselect});
    ASSERT_EQ(tokens_.size(), 2u);
    EXPECT_EQ(tokens_[1].Operator, tosqlIN);
    EXPECT_EQ(tokens_[1].Items, answer_);
    EXPECT_EQ(tokens_[1].Expression, "[1][two][a]b]");
  }
}

TEST_F(SubSelectTest, ListsDoNotCallTheHandler) {
  ASSERT_TRUE(Run("a in ('select x', 1) and b in (selected)").ok());
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(tokens_[1].Items, (std::vector<std::string>{"select x", "1"}));
}

TEST_F(SubSelectTest, EmptyResultGivesNoItems) {
  ASSERT_TRUE(Run("a in (select id from s) or b = 1").ok());
  EXPECT_TRUE(tokens_[1].Items.empty());
  EXPECT_EQ(tokens_[1].Expression, "");
  EXPECT_EQ(Describe(tokens_), "toVariable:a tosqlIN:in toOr:or toVariable:b toEq:= toNumber:1");
}

TEST_F(SubSelectTest, FailureStopsWithTheHandlersText) {
  error_ = "Unknown SQL command";
  TokenizeResult result = Run("delete from t where a in (select x fro s) or b = 1");
  EXPECT_EQ(result.error, TokenizeError::kSubSelect);
  EXPECT_EQ(result.message, "Unknown SQL command");
  EXPECT_EQ(result.position, 26u);
  EXPECT_EQ(Describe(tokens_),
            "tosqlDELETE:delete tosqlFROM:from toVariable:t "
            "tosqlWHERE:where toVariable:a");
}

TEST(TokenizerTest, OperatorNames) {
  EXPECT_STREQ(TokenOperatorName(toNone), "toNone");
  EXPECT_STREQ(TokenOperatorName(toGe), "toGe");
  EXPECT_STREQ(TokenOperatorName(tosqlSELECTDISTINCT), "tosqlSELECTDISTINCT");
  EXPECT_STREQ(TokenOperatorName(tosubstr_before), "tosubstr_before");
  EXPECT_STREQ(TokenOperatorName(tosqlROLLBACK), "tosqlROLLBACK");
}

}  // namespace
}  // namespace vek

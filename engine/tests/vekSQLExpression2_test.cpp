// Tests of the expression compiler and evaluator: precedence and the compiled
// program, the value rules of every operator, LIKE and IN, compile errors,
// failed evaluations, variables, and the truth and text readings of values.
#include "engine/vekSQLExpression2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "expression_test_util.h"

// Counts heap allocations so that a test can show that evaluating numbers
// allocates nothing.
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vek::testing {
namespace {

class Expression2Test : public ExpressionTest {
 protected:
  void SetUp() override {
    ExpressionTest::SetUp();
    source_.Set("a", "5");
    source_.Set("b", "4");
    source_.Set("minus_one", "-1");
    source_.Set("s", "a");
    source_.Set("x", "10");
    source_.Set("name", "Smith");
    source_.Set("one", "1");
    source_.Set("twelve", "12");
    source_.Set("nine", "9");
    source_.Set("zero", "0");
    source_.Set("big", "1E308");
    source_.values["nothing"] = rtl::Variant::Empty();
  }
};

// ---- Precedence ---------------------------------------------------------------

TEST_F(Expression2Test, PrecedenceAndGrouping) {
  struct Case {
    const char* text;
    const char* program;
    const char* value;
  };
  const Case cases[] = {
      {"10 - 2 + 3", "10 2 - 3 +", "number:11"},
      {"10 / 2 * 5", "10 2 / 5 *", "number:25"},
      {"2 * 3 - 1", "2 3 * 1 -", "number:5"},
      {"1 + 2 * 3", "1 2 3 * +", "number:7"},
      {"(1 + 2) * 3", "1 2 + 3 *", "number:9"},
      {"a - 1 = b", "a 1 - b =", "bool:True"},
      {"a = b + 1", "a b 1 + =", "bool:True"},
      {"b = a - 1", "b a 1 - =", "bool:True"},
      {"minus_one = -1", "minus_one 1 u- =", "bool:True"},
      {"a = -1", "a 1 u- =", "bool:False"},
      {"- 5", "5 u-", "number:-5"},
      {"-a", "a u-", "number:-5"},
      {"- - 5", "5 u- u-", "number:5"},
      {"-2 * 3", "2 u- 3 *", "number:-6"},
      {"2 * -3", "2 3 u- *", "number:-6"},
      {"-a + b", "a u- b +", "number:-1"},
      {"+'1' + '1'", "'1' u+ '1' +", "number:2"},
      {"not a = b", "a b = not", "bool:True"},
      {"not 1 = 1 and 2 = 2", "1 1 = not 2 2 = and", "bool:False"},
      {"not (1 = 1 and 2 = 3)", "1 1 = 2 3 = and not", "bool:True"},
      {"a = 5 or b = 5 and a = 4", "a 5 = b 5 = a 4 = and or", "bool:True"},
      {"(a = 5 or b = 5) and a = 4", "a 5 = b 5 = or a 4 = and", "bool:False"},
      {"a = 1 and (b = 2 or a = 5)", "a 1 = b 2 = a 5 = or and", "bool:False"},
      {"not s in ('a', 'b')", "s in[a][b] not", "bool:False"},
      {"a + 1 in (6)", "a 1 + in[6]", "bool:True"},
      {"upper(name) = 'SMITH'", "name upper/1 'SMITH' =", "bool:True"},
      {"trunc(x/7, 2)", "x 7 / 2 trunc/2", "text:1.43"},
      {"left(upper(name), 1 + 1)", "name upper/1 1 1 + left/2", "text:SM"},
      {"name like 'S%' or a in (4)", "name 'S%' like a in[4] or", "bool:True"},
      {"'it''s'", "'it''s'", "text:it's"},
      {"(((a)))", "a", "text:5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TvekSQLExpression2 e;
    e.SetVariableSource(&source_);
    ASSERT_TRUE(e.SetExpression(c.text).ok());
    EXPECT_EQ(e.ToString(), c.program);
    EXPECT_EQ(Describe(e.Evaluate()), c.value);
  }
}

// ---- Value rules ----------------------------------------------------------------

// Kinds used below: texts are quoted constants or cells, numbers are number
// constants, whole numbers come from length(), Booleans from comparisons, and
// "nothing" is the empty value.
TEST_F(Expression2Test, ArithmeticByKinds) {
  ExpectAll({
      {"'1' + '1'", "text:11"},
      {"one + one", "text:11"},
      {"'1' - '1'", "number:0"},
      {"'1' * '1'", "number:1"},
      {"'6' / '4'", "number:1.5"},
      {"'1' + 1", "number:2"},
      {"1 + '1'", "number:2"},
      {"one + 1", "number:2"},
      {"'a' + 1", "fail"},
      {"'a' - 'b'", "fail"},
      {"length('ab') + length('abc')", "whole:5"},
      {"length('ab') - length('abc')", "whole:-1"},
      {"length('ab') * length('abc')", "whole:6"},
      {"length('abc') / length('ab')", "number:1.5"},
      {"length('ab') * 3", "number:6"},
      {"'2' + length('abc')", "number:5"},
      {"(1=1) + (1=1)", "number:-2"},
      {"(1=1) - (1=0)", "number:-1"},
      {"(1=1) / (1=1)", "fail"},
      {"(1=1) + '3'", "number:2"},
      {"'3' * (1=1)", "number:-3"},
      {"(1=1) / '3'", "fail"},
      {"'3' / (1=1)", "fail"},
      {"(1=1) + 1.5", "number:0.5"},
      {"(1=1) / 2", "number:-0.5"},
      {"2 / (1=1)", "number:-2"},
      {"(1=1) + length('ab')", "whole:1"},
      {"(1=1) * length('ab')", "whole:-2"},
      {"(1=1) / length('ab')", "number:-0.5"},
      {"length('ab') + (1=1)", "number:1"},
      {"length('ab') / (1=1)", "fail"},
      {"nothing + 1", "empty"},
      {"'a' - nothing", "empty"},
      {"nothing * nothing", "empty"},
      {"nothing / 1", "fail"},
      {"1 / nothing", "fail"},
      {"1 / 0", "number:INF"},
      {"0 - 1 / 0", "number:-INF"},
      {"0 / 0", "number:NAN"},
      {"1 / 0 + 1", "number:INF"},
      {"big * 10", "fail"},
      {"big * big", "fail"},
      {"big + big", "text:1E3081E308"},
      {"0.1 + 0.2", "number:0.3"},
      {"1 / 3", "number:0.333333333333333"},
      {"2 / 3", "number:0.666666666666667"},
      {"x = (1 + 'a')", "fail"},
      // Whole numbers beyond 64 bits continue as floating numbers.
      {"sqr(3037000499) + sqr(3037000499)", "number:1.84467440618525E19"},
      {"sqr(3037000499) - sqr(3037000499)", "whole:0"},
      {"-length('abc')", "whole:-3"},
      {"-(1=1)", "number:1"},
      {"-'2.5'", "number:-2.5"},
      {"-'abc'", "fail"},
      {"-nothing", "empty"},
  });
}

TEST_F(Expression2Test, ComparisonsByKinds) {
  source_.Set("padded", " 12");
  source_.Set("trailing", "12 ");
  source_.Set("blank", "");
  ExpectAll({
      // Two texts compare byte by byte, unsigned, no case folding.
      {"'9' > '10'", "bool:True"},
      {"'abc' < 'abd'", "bool:True"},
      {"'ab' < 'abc'", "bool:True"},
      {"'ab' = 'ab'", "bool:True"},
      {"'a' = 'A'", "bool:False"},
      {"'b' > 'B'", "bool:True"},
      {"'\xC3\xA9' > 'z'", "bool:True"},
      {"'a' <> 'b'", "bool:True"},
      {"'a' <= 'a'", "bool:True"},
      {"'a' >= 'b'", "bool:False"},
      // A text with a number compares numerically.
      {"nine > 10", "bool:False"},
      {"twelve > 10", "bool:True"},
      {"padded > 10", "bool:True"},
      {"trailing > 10", "fail"},
      {"blank > 10", "fail"},
      {"name > 10", "fail"},
      {"twelve = length('abcdefghijkl')", "bool:True"},
      {"length('ab') = 2", "bool:True"},
      {"length('ab') < length('abc')", "bool:True"},
      {"1.5 >= 1.5", "bool:True"},
      // Texts with Booleans compare with "True" and "False".
      {"(1=1) = 'True'", "bool:True"},
      {"(1=1) = 'true'", "bool:False"},
      {"'False' = (1=0)", "bool:True"},
      {"(1=1) > (1=0)", "bool:True"},
      {"(1=0) = (2=3)", "bool:True"},
      // Booleans with numbers: true is -1.
      {"(1=1) < 0", "bool:True"},
      {"(1=1) = 0 - 1", "bool:True"},
      {"(1=1) < length('a')", "bool:True"},
      // A whole number on the left of a Boolean is read as a truth value.
      {"length('a') = (1=1)", "bool:True"},
      {"length('') < (1=1)", "bool:True"},
      // Empty equals empty and is less than everything else.
      {"nothing = nothing", "bool:True"},
      {"nothing < ''", "bool:True"},
      {"'' > nothing", "bool:True"},
      {"nothing < 0 - 5", "bool:True"},
      {"nothing <> 1", "bool:True"},
      // Numbers with no order.
      {"0 / 0 = 0 / 0", "bool:False"},
      {"0 / 0 <> 0 / 0", "bool:True"},
      {"0 / 0 < 1", "bool:False"},
  });
}

TEST_F(Expression2Test, LogicalOperatorsOnTruthValues) {
  ExpectAll({
      {"1=1 and 1=0", "bool:False"},
      {"1=1 or 1=0", "bool:True"},
      {"not '1'", "bool:False"},
      {"not 0", "bool:True"},
      {"not 1", "bool:False"},
      {"not 0.5", "bool:False"},
      {"not 'false'", "bool:True"},
      {"not 'TRUE'", "bool:False"},
      {"not 'abc'", "fail"},
      {"not ''", "fail"},
      {"not nothing", "bool:True"},
      {"'true' and 1", "bool:True"},
      {"2 and 1", "bool:True"},
      {"2 and 'x'", "fail"},
      {"1 or 'abc'", "fail"},
      {"nothing and 1=1", "bool:False"},
      {"nothing or 1=1", "bool:True"},
      {"'' or 1=1", "fail"},
      {"length('ab') and (1=1)", "bool:True"},
      {"length('') or 'False'", "bool:False"},
  });
}

// ---- LIKE and IN ------------------------------------------------------------------

TEST_F(Expression2Test, Like) {
  struct Case {
    const char* value;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      // Without "%": equal ignoring case under the locale.
      {"Smith", "smith", true},
      {"abc", "ABC", true},
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},  // été, ÉTÉ
      {"abc", "ab", false},
      {"a_c", "a_c", true},
      {"abc", "a_c", false},
      // With "%": literal pieces in order, byte for byte.
      {"abab", "%ab", true},
      {"ab", "%abc", false},
      {"abc", "%", true},
      {"abc", "%%", true},
      {"", "%", true},
      {"abc", "a%c", true},
      {"abc", "a%b%c", true},
      {"acb", "a%b%c", false},
      {"a", "a%a", false},
      {"aa", "a%a", true},
      {"abc", "%b%", true},
      {"abc", "%B%", false},
      {"abc", "A%", false},
      {"abc", "ab%", true},
      {"xabcx", "%abc%", true},
      {"axbxc", "%x%x%", true},
      {"axbc", "%x%x%", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " like " + c.pattern);
    source_.Set("v", c.value);
    source_.Set("p", c.pattern);
    EXPECT_EQ(EvaluateText("v like p", &source_), c.match ? "bool:True" : "bool:False");
  }
  // A number is matched by its text.
  EXPECT_EQ(EvaluateText("12 like '1%'", &source_), "bool:True");
}

TEST_F(Expression2Test, InTestsExactMembership) {
  source_.Set("price", "1.50");
  ExpectAll({
      {"'b' in ('a', 'b')", "bool:True"},
      {"'c' in ('a', 'b')", "bool:False"},
      {"'a]' in ('a')", "bool:False"},
      {"'a][b' in ('a', 'b')", "bool:False"},
      {"'a)b' in ('a)b')", "bool:True"},
      {"'A' in ('a')", "bool:False"},
      {"price in (1.5)", "bool:False"},
      {"price in (1.50)", "bool:True"},
      {"1 in (1, 2)", "bool:True"},
      {"'x' in ()", "bool:False"},
      {"'' in ('')", "bool:True"},
      {"(1=1) in ('True')", "bool:True"},
      // Long lists are hashed; the answers stay the same.
      {"'k' in ('a','b','c','d','e','f','g','h','i','j','k','l')", "bool:True"},
      {"'kk' in ('a','b','c','d','e','f','g','h','i','j','k','l')", "bool:False"},
  });
}

// ---- Compile errors -----------------------------------------------------------

TEST_F(Expression2Test, CompileErrorsNameTheProblem) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"(1 + 2", "Unbalanced brackets: missing \")\""},
      {"left('abc', 2", "Unbalanced brackets: missing \")\""},
      {"1 + 2)", "Unbalanced brackets: \")\" without \"(\""},
      {"a =", "Missing operand after \"=\""},
      {"a = = b", "Missing operand after \"=\""},
      {"* 2", "Missing operand before \"*\""},
      {"not", "Missing operand after \"not\""},
      {"()", "Missing operand after \"(\""},
      {"left('a',)", "Missing operand after \",\""},
      {"left(, 1)", "Missing operand after \"(\""},
      {"a b", "Missing operator between \"a\" and \"b\""},
      {"1 2", "Missing operator between \"1\" and \"2\""},
      {"a (b)", "Missing operator between \"a\" and \"(\""},
      {"a = 1 from t", "Keyword \"from\" is not allowed in an expression"},
      {"select", "Keyword \"select\" is not allowed in an expression"},
      {"a *= b", "The outer join operator \"*=\" is not supported"},
      {"a =* b", "The outer join operator \"=*\" is not supported"},
      {"a, b", "Comma outside a function call"},
      {"(a, b)", "Comma outside a function call"},
      {"a # b", "Unexpected \"#\" in an expression"},
      {"left 'abc'", "Function \"left\" needs its arguments in brackets"},
      {"upper", "Function \"upper\" needs its arguments in brackets"},
      {"x in y", "Could not tokenize: x in y"},
      {"a = 1 & b = 2", "Could not tokenize: a = 1 & b = 2"},
      {"'open", "Could not tokenize: 'open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TvekSQLExpression2 e;
    Status s = e.SetExpression(c.text);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.message(), c.message);
    EXPECT_TRUE(e.IsEmpty());
  }
}

TEST_F(Expression2Test, DeepNestingIsRefusedNotOverflowed) {
  std::string deep = std::string(2000, '(') + "1" + std::string(2000, ')');
  TvekSQLExpression2 e;
  Status s = e.SetExpression(deep);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Expression nested too deeply");

  std::string fine = std::string(100, '(') + "1" + std::string(100, ')');
  EXPECT_TRUE(e.SetExpression(fine).ok());
  EXPECT_EQ(Describe(e.Evaluate()), "number:1");
}

TEST_F(Expression2Test, FailedCompileReplacesTheEarlierProgram) {
  TvekSQLExpression2 e;
  ASSERT_TRUE(e.SetExpression("1 + 1").ok());
  EXPECT_FALSE(e.SetExpression("1 +").ok());
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(e.ToString(), "");
  rtl::Variant result = rtl::Variant::Int(7);
  EXPECT_TRUE(e.Evaluate(result));
  EXPECT_EQ(Describe(result), "text:");
}

TEST_F(Expression2Test, EmptyExpressionGivesTheEmptyText) {
  TvekSQLExpression2 e;
  ASSERT_TRUE(e.SetExpression("   ").ok());
  EXPECT_TRUE(e.IsEmpty());
  rtl::Variant result;
  EXPECT_TRUE(e.Evaluate(result));
  EXPECT_EQ(Describe(result), "text:");
}

TEST_F(Expression2Test, CompilesATokenRange) {
  std::vector<TToken> tokens;
  ASSERT_TRUE(TvekSQLTokenizer().Tokenize("select a + 1 from t", tokens).ok());
  TvekSQLExpression2 e;
  e.SetVariableSource(&source_);
  ASSERT_TRUE(e.SetInfixTokens(tokens, 1, 3).ok());
  EXPECT_EQ(e.ToString(), "a 1 +");
  EXPECT_EQ(Describe(e.Evaluate()), "number:6");
  EXPECT_EQ(e.ExpressionText(), "");

  ASSERT_TRUE(e.SetInfixTokens(tokens, 3, 2).ok());
  EXPECT_TRUE(e.IsEmpty());

  Status s = e.SetInfixTokens(tokens, 1, 4);
  EXPECT_EQ(s.message(), "Keyword \"from\" is not allowed in an expression");
}

// ---- Functions as the evaluator calls them ---------------------------------

TEST_F(Expression2Test, FunctionArguments) {
  ExpectAll({
      // A missing argument is the empty text, which is no whole number.
      {"left('abc')", "fail"},
      {"mid('abcdef', 2)", "fail"},
      {"upper()", "text:"},
      // Of surplus arguments the last ones are used.
      {"left('zzz', 'abcdef', 2)", "text:ab"},
      {"length('a', 'bcd')", "whole:3"},
      {"left((upper('ab')), 1)", "text:A"},
      {"left(upper('ab'), 1)", "text:A"},
  });
}

// ---- Variables -------------------------------------------------------------------

TEST_F(Expression2Test, UnknownNamesAreTheirOwnText) {
  ExpectAll({
      {"colour = 'colour'", "bool:True"},
      {"Colour", "text:Colour"},
      {"t.a", "text:t.a"},
  });
  TvekSQLExpression2 e;
  ASSERT_TRUE(e.SetExpression("a + b").ok());
  EXPECT_EQ(Describe(e.Evaluate()), "text:ab");  // no source at all
}

TEST_F(Expression2Test, VariablesAreBoundOncePerProgram) {
  TvekSQLExpression2 e;
  e.SetVariableSource(&source_);
  ASSERT_TRUE(e.SetExpression("a + b * a - missing").ok());
  EXPECT_EQ(e.VariableNames(), (std::vector<std::string>{"a", "b", "a", "missing"}));
  EXPECT_TRUE(source_.bound.empty());  // nothing is bound before the first evaluation

  rtl::Variant v;
  EXPECT_FALSE(e.Evaluate(v));  // 25 - 'missing': the name is no number
  source_.Set("missing", "1");  // bound as unknown already: stays its own name
  EXPECT_FALSE(e.Evaluate(v));
  EXPECT_EQ(source_.bound, (std::vector<std::string>{"a", "b", "missing"}));

  e.SetVariableSource(&source_);  // binds again
  EXPECT_TRUE(e.Evaluate(v));
  EXPECT_EQ(Describe(v), "number:24");
  EXPECT_EQ(source_.bound.size(), 6u);
}

TEST_F(Expression2Test, FailingVariablesFailTheEvaluation) {
  source_.failing = {"broken"};
  source_.throwing = {"thrower"};
  ExpectAll({
      {"broken", "fail"},
      {"1 + broken", "fail"},
      {"thrower = 1", "fail"},
  });
}

TEST_F(Expression2Test, RepeatedEvaluationGivesTheSameResult) {
  TvekSQLExpression2 e;
  e.SetVariableSource(&source_);
  ASSERT_TRUE(e.SetExpression("name + '-' + upper(name) + left('xyz', 1)").ok());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Describe(e.Evaluate()), "text:Smith-SMITHx");

  ASSERT_TRUE(e.SetExpression("a * x + length(name)").ok());
  source_.Set("a", "2");
  EXPECT_EQ(Describe(e.Evaluate()), "number:25");
  source_.Set("a", "3");
  EXPECT_EQ(Describe(e.Evaluate()), "number:35");
  source_.Set("a", "oops");
  EXPECT_EQ(Describe(e.Evaluate()), "text:");
  source_.Set("a", "1");
  EXPECT_EQ(Describe(e.Evaluate()), "number:15");
}

TEST_F(Expression2Test, NumericEvaluationAllocatesNothing) {
  TvekSQLExpression2 e;
  e.SetVariableSource(&source_);
  ASSERT_TRUE(
      e.SetExpression("(a * 2 + 1 > 3 and not b = 7) or sqrt(x) < ceil(x / 3) - length(s)").ok());
  rtl::Variant result;
  ASSERT_TRUE(e.Evaluate(result));  // warms the stack and the cells' buffers
  long before = g_allocations.load();
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(e.Evaluate(result));
  EXPECT_EQ(g_allocations.load(), before);
  EXPECT_EQ(Describe(result), "bool:True");
}

// ---- Separators --------------------------------------------------------------------

TEST_F(Expression2Test, CellsAreReadWithTheProcessSeparators) {
  rtl::ScopedSeparators separators(',', '.');
  source_.Set("dotted", "1.5");
  source_.Set("comma", "1,5");
  ExpectAll({
      {"dotted * 1", "number:15"},
      {"comma * 1", "number:1,5"},
      {"1.5 * 1", "number:1,5"},  // a literal's "." is SQL syntax
  });
}

// ---- Truth and text readings --------------------------------------------------

TEST_F(Expression2Test, ValueToBool) {
  struct Case {
    rtl::Variant value;
    const char* expected;  // "true", "false" or "none"
  };
  const Case cases[] = {
      {rtl::Variant::Bool(true), "true"},   {rtl::Variant::Bool(false), "false"},
      {rtl::Variant::Float(0), "false"},    {rtl::Variant::Float(0.5), "true"},
      {rtl::Variant::Int(-1), "true"},      {rtl::Variant::Int(0), "false"},
      {rtl::Variant::Text("true"), "true"}, {rtl::Variant::Text("FALSE"), "false"},
      {rtl::Variant::Text("tRuE"), "true"}, {rtl::Variant::Text("1"), "true"},
      {rtl::Variant::Text("0"), "false"},   {rtl::Variant::Text("0.5"), "true"},
      {rtl::Variant::Text(""), "none"},     {rtl::Variant::Text("abc"), "none"},
      {rtl::Variant::Text("yes"), "none"},  {rtl::Variant::Empty(), "false"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.value));
    bool b = false;
    bool ok = ValueToBool(c.value, b);
    EXPECT_EQ(!ok ? "none" : b ? "true" : "false", std::string(c.expected));
  }
}

TEST_F(Expression2Test, ValueToText) {
  EXPECT_EQ(ValueToText(rtl::Variant::Text("abc")), "abc");
  EXPECT_EQ(ValueToText(rtl::Variant::Float(0.1 + 0.2)), "0.3");
  EXPECT_EQ(ValueToText(rtl::Variant::Float(2)), "2");
  EXPECT_EQ(ValueToText(rtl::Variant::Float(-2.5)), "-2.5");
  EXPECT_EQ(ValueToText(rtl::Variant::Float(1e20)), "1E20");
  EXPECT_EQ(ValueToText(rtl::Variant::Int(-9223372036854775807 - 1)), "-9223372036854775808");
  EXPECT_EQ(ValueToText(rtl::Variant::Bool(true)), "True");
  EXPECT_EQ(ValueToText(rtl::Variant::Bool(false)), "False");
  EXPECT_EQ(ValueToText(rtl::Variant::Empty()), "");

  std::string out = "x=";
  AppendValueText(rtl::Variant::Int(42), out);
  EXPECT_EQ(out, "x=42");

  rtl::ScopedSeparators separators(',', '.');
  EXPECT_EQ(ValueToText(rtl::Variant::Float(1.5)), "1,5");
}

}  // namespace
}  // namespace vek::testing

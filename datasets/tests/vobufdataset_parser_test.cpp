// The filter parser over a fake field list and record: every operator and
// function on string, number, date and boolean fields, null fields, precedence,
// "*" patterns and the matching options, error texts, texts far longer than a
// scratch buffer, numeric verdicts, and a failed compile leaving the dataset's
// previous parser in force.
#include "datasets/vobufdataset_parser.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/DatabaseError.h"
#include "rtl/Dates.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace {

using db::FieldType;
using Type = TExpressionType;

const std::vector<TFilterField> kFields = {
    {"NAME", FieldType::ftString, 50},    {"CITY", FieldType::ftString, 20},
    {"NOTE", FieldType::ftString, 20000}, {"WIDE", FieldType::ftString, 200},
    {"QTY", FieldType::ftInteger, 0},     {"SMALL", FieldType::ftSmallint, 0},
    {"ID", FieldType::ftAutoInc, 0},      {"BIG", FieldType::ftLargeint, 0},
    {"PRICE", FieldType::ftFloat, 0},     {"BORN", FieldType::ftDate, 0},
    {"STAMP", FieldType::ftDateTime, 0},  {"ACTIVE", FieldType::ftBoolean, 0},
    {"COST", FieldType::ftCurrency, 0},   {"AT", FieldType::ftTime, 0},
    {"MEMO", FieldType::ftMemo, 0},       {"Unit Price", FieldType::ftFloat, 0},
};

int FieldIndex(const std::string& name) {
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (kFields[i].Name == name) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no field " << name;
  return 0;
}

// One record: a value per field, absent for null. Counts the reads.
class FakeRecord {
 public:
  FakeRecord& Text(const std::string& field, std::string value) {
    Slot(field).emplace().text = std::move(value);
    return *this;
  }
  FakeRecord& Int(const std::string& field, std::int64_t value) {
    Slot(field).emplace().data.i = value;
    return *this;
  }
  FakeRecord& Float(const std::string& field, double value) {
    Slot(field).emplace().data.f = value;
    return *this;
  }
  FakeRecord& Date(const std::string& field, int year, int month, int day, double time = 0.0) {
    return Float(field, *rtl::EncodeDate(year, month, day) + time);
  }
  FakeRecord& Null(const std::string& field) {
    Slot(field).reset();
    return *this;
  }

  TFilterValueSource Source() {
    return [this](int field_index, db::FieldData& data) {
      ++reads;
      const auto& value = values_[field_index];
      if (!value) return false;
      data = value->data;
      data.s = value->text;
      return true;
    };
  }

  int reads = 0;

 private:
  struct Value {
    db::FieldData data;
    std::string text;
  };
  std::optional<Value>& Slot(const std::string& field) { return values_[FieldIndex(field)]; }
  std::map<int, std::optional<Value>> values_;
};

// The value of an evaluation as text: "B:true", "I:7", "L:5000000001",
// "F:2.5", "D:36925", "S:'abc'".
std::string Show(const TFilterResult& result) {
  switch (result.Type) {
    case Type::etBoolean:
      return result.Boolean ? "B:true" : "B:false";
    case Type::etInteger:
      return "I:" + rtl::IntToText(result.Integer);
    case Type::etLargeInt:
      return "L:" + rtl::IntToText(result.Integer);
    case Type::etFloat:
      return "F:" + rtl::FloatToText(result.Float);
    case Type::etDateTime:
      return "D:" + rtl::FloatToText(result.Float);
    case Type::etString:
      return "S:'" + std::string(result.Text) + "'";
  }
  return "?";
}

class FilterParserTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::setlocale(LC_ALL, "");
    if (MB_CUR_MAX == 1) std::setlocale(LC_ALL, "C.UTF-8");
  }

  FilterParserTest() {
    // The program's own filters: case-sensitive, with "*" patterns.
    parser_.SetCaseInsensitive(false);
    parser_.SetPartialMatch(true);
    record_.Text("NAME", "Smith")
        .Text("CITY", "Berlin")
        .Int("QTY", 5)
        .Int("SMALL", -3)
        .Int("ID", 7)
        .Int("BIG", 5000000000)
        .Float("PRICE", 2.5)
        .Date("BORN", 2001, 2, 3)
        .Date("STAMP", 2001, 2, 3, 0.5)
        .Int("ACTIVE", 1);
  }

  std::string Eval(const std::string& text) {
    parser_.CompileFilter(text);
    return Show(parser_.EvaluateRecord(record_.Source()));
  }
  bool Accepts(const std::string& text) {
    parser_.CompileFilter(text);
    return parser_.AcceptsRecord(record_.Source());
  }
  std::string CompileError(const std::string& text) {
    try {
      parser_.CompileFilter(text);
    } catch (const db::DatabaseError& error) {
      return error.what();
    }
    return "(compiled)";
  }

  TVoBufDatasetParser parser_{kFields};
  FakeRecord record_;
};

struct ValueCase {
  const char* text;
  const char* expected;
};

TEST_F(FilterParserTest, ArithmeticPrecedenceAndTypes) {
  const ValueCase cases[] = {
      {"1 + 2 * 3", "I:7"},
      {"(1 + 2) * 3", "I:9"},
      {"2 * 3 - 4 * 5", "I:-14"},
      {"1 - 2 + 3", "I:2"},  // left to right, not 1 - (2 + 3)
      {"10 - 4 - 3", "I:3"},
      {"8 / 4 * 2", "F:4"},  // not 8 / (4 * 2)
      {"12 / 2 / 3", "F:2"},
      {"7 / 2", "F:3.5"},
      {"1 / 0", "F:INF"},
      {"QTY * 2 + 1", "I:11"},
      {"SMALL + ID", "I:4"},
      {"PRICE * 2", "F:5"},
      {"QTY + PRICE", "F:7.5"},
      {"PRICE - QTY", "F:-2.5"},
      {"BIG + 1", "L:5000000001"},
      {"QTY + BIG", "L:5000000005"},
      {"BIG - QTY", "L:4999999995"},
      {"BIG * 2", "L:10000000000"},
      {"BIG * 0.5", "F:2500000000"},
      {"BIG / 2", "F:2500000000"},
      {"2147483648", "L:2147483648"},
      {"-QTY", "I:-5"},
      {"5 - -3", "I:8"},
      {"-3 + 5", "I:2"},
      {"+4", "I:4"},
      {"-(PRICE + 1)", "F:-3.5"},
      {".5 + 1", "F:1.5"},
      {"'ab' + 'cd'", "S:'abcd'"},
      {"NAME + ', ' + CITY", "S:'Smith, Berlin'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.expected);
  }
  EXPECT_EQ(Eval(std::string(60, '(') + "QTY" + std::string(60, ')') + " * -(-(2))"), "I:10");
  parser_.CompileFilter("1 + 2 * 3 - 4 / 5");
  EXPECT_EQ(parser_.ToString(), "(- (+ 1 (* 2 3)) (/ 4 5))");
}

TEST_F(FilterParserTest, Functions) {
  const ValueCase cases[] = {
      {"STR(QTY)", "S:'         5'"},
      {"STR(QTY, 4, 2)", "S:'5.00'"},
      {"STR(PRICE, 6, 2)", "S:'  2.50'"},
      {"STR(2.5)", "S:'         3'"},
      {"STR(-2.5, 5, 1)", "S:' -2.5'"},
      {"STR(BIG, 12)", "S:'  5000000000'"},
      {"STR(12345, 3)", "S:'***'"},
      {"STR(QTY, 0)", "S:''"},
      {"DTOS(BORN)", "S:'20010203'"},
      {"DTOS(STAMP)", "S:'20010203'"},
      {"SUBSTR(NAME, 2, 3)", "S:'mit'"},
      {"SUBS(NAME, 4, 10)", "S:'th'"},
      {"SUBSTR(NAME, 0, 2)", "S:'Sm'"},
      {"SUBSTR(NAME, 9, 2)", "S:''"},
      {"SUBSTR(NAME, 1, -1)", "S:''"},
      {"UPPER(NAME)", "S:'SMITH'"},
      {"UpperCase(CITY)", "S:'BERLIN'"},
      {"LOWER(NAME)", "S:'smith'"},
      {"lowercase(NAME + CITY)", "S:'smithberlin'"},
      {"UPPER('café')", "S:'CAFÉ'"},
      {"STR(QTY) + DTOS(BORN)", "S:'         520010203'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.expected);
  }
}

struct VerdictCase {
  const char* text;
  bool accepted;
};

TEST_F(FilterParserTest, ComparisonsAndLogic) {
  const VerdictCase cases[] = {
      {"QTY = 5", true},
      {"QTY <> 5", false},
      {"QTY < 6", true},
      {"QTY > 4", true},
      {"QTY <= 5", true},
      {"QTY >= 6", false},
      {"QTY = 5.0", true},
      {"PRICE = 2.5", true},
      {"PRICE > QTY", false},
      {"BIG > QTY", true},
      {"BIG = 5000000000", true},
      {"SMALL < 0", true},
      {"ID = 7", true},
      {"QTY > 2 * 2", true},  // arithmetic before comparison
      {"NAME = 'Smith'", true},
      {"CITY = \"Berlin\"", true},
      {"NAME <> 'Smith'", false},
      {"NAME < 'Zed'", true},
      {"NAME > 'Adams'", true},
      {"NAME <= 'Smith'", true},
      {"NAME >= 'Smitha'", false},
      {"BORN = BORN", true},
      {"BORN < STAMP", true},
      {"STAMP <= BORN", false},
      {"DTOS(BORN) >= '20010101'", true},
      {"ACTIVE", true},
      {"NOT ACTIVE", false},
      {"NOT NOT ACTIVE", true},
      {"NOT QTY = 6", true},  // NOT (QTY = 6)
      {"QTY = 5 AND NAME = 'Smith'", true},
      {"QTY = 6 OR NAME = 'Smith'", true},
      {"ACTIVE OR QTY = 6 AND NAME = 'X'", true},  // AND before OR
      {"(ACTIVE OR QTY = 6) AND NAME = 'X'", false},
      {"NOT ACTIVE AND QTY = 6 OR NOT ACTIVE", false},
      {"'say \"hi\"' = \"say \" + '\"hi\"'", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Accepts(c.text), c.accepted);
  }
  parser_.CompileFilter("NOT QTY = 6 AND ACTIVE OR ACTIVE");
  EXPECT_EQ(parser_.ToString(), "(OR (AND (NOT (= QTY 6)) ACTIVE) ACTIVE)");
}

TEST_F(FilterParserTest, PatternsOnTheRightOfEqualsOnly) {
  const VerdictCase cases[] = {
      {"NAME = 'Sm*'", true},    {"NAME = '*th'", true},  {"NAME = '*mi*'", true},
      {"NAME = 'Smith*'", true}, {"NAME = '*'", true},    {"NAME = 'Smith'", true},
      {"NAME = 'Sm'", false},    {"NAME = 'sm*'", false}, {"NAME = '*TH'", false},
      {"NAME = '*x*'", false},   {"NAME = 'S*h'", false}, {"NAME <> 'Sm*'", true},
      {"NAME > 'Sm*'", true},    {"'Sm*' = NAME", false}, {"NAME = CITY", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Accepts(c.text), c.accepted);
  }
}

TEST_F(FilterParserTest, MatchingOptions) {
  struct OptionCase {
    const char* text;
    bool case_insensitive;
    bool partial;
    bool accepted;
  };
  record_.Text("NAME", "Café");
  const OptionCase cases[] = {
      {"NAME = 'Caf*'", false, false, false},  // whole texts: the asterisk is a letter
      {"NAME = 'Café'", false, false, true},       {"NAME = 'CAFÉ'", false, false, false},
      {"NAME = 'CAFÉ'", true, false, true},        {"NAME = 'caf*'", true, false, false},
      {"NAME = 'caf*'", true, true, true},         {"NAME = '*FÉ'", true, true, true},
      {"NAME = '*AF*'", true, true, true},         {"NAME = '*AF*'", false, true, false},
      {"NAME < 'cz'", true, true, true},           {"NAME <> 'café'", true, true, false},
      {"UPPER(NAME) = 'CAFÉ'", false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.case_insensitive ? " nocase" : " case") +
                 (c.partial ? " partial" : " whole"));
    TVoBufDatasetParser parser(kFields);
    parser.SetCaseInsensitive(c.case_insensitive);
    parser.SetPartialMatch(c.partial);
    parser.CompileFilter(c.text);
    EXPECT_EQ(parser.AcceptsRecord(record_.Source()), c.accepted);
  }

  // A new parser compares without regard to case and without patterns; changing
  // an option compiles the current text again under it.
  TVoBufDatasetParser parser(kFields);
  EXPECT_TRUE(parser.CaseInsensitive());
  EXPECT_FALSE(parser.PartialMatch());
  parser.CompileFilter("NAME = 'café'");
  EXPECT_TRUE(parser.AcceptsRecord(record_.Source()));
  parser.SetCaseInsensitive(false);
  EXPECT_EQ(parser.CurrentExpression(), "NAME = 'café'");
  EXPECT_FALSE(parser.AcceptsRecord(record_.Source()));
}

TEST_F(FilterParserTest, NullFieldsReadAsEmptyZeroAndFalse) {
  FakeRecord empty;  // every field null
  const ValueCase cases[] = {
      {"NAME = ''", "B:true"},
      {"NAME + CITY", "S:''"},
      {"QTY = 0", "B:true"},
      {"BIG + 1", "L:1"},
      {"PRICE", "F:0"},
      {"ACTIVE", "B:false"},
      {"NOT ACTIVE", "B:true"},
      {"STR(QTY)", "S:'         0'"},
      {"DTOS(BORN)", "S:'18991230'"},
      {"BORN", "D:0"},
      // Compared by the locale's collation with texts that differ from it.
      {"NAME = 'é'", "B:false"},
      {"NAME < 'é'", "B:true"},
      {"NAME > 'abc'", "B:false"},
      {"'Zoë' > NAME", "B:true"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    parser_.CompileFilter(c.text);
    EXPECT_EQ(Show(parser_.EvaluateRecord(empty.Source())), c.expected);
  }
}

// The verdict is the value itself: any number or date other than zero, a
// non-empty text, a true boolean. 256 and 1.0 have a zero first byte.
TEST_F(FilterParserTest, VerdictOfEachResultType) {
  struct Case {
    const char* text;
    std::function<void(FakeRecord&)> set;
    bool accepted;
  };
  const Case cases[] = {
      {"QTY", [](FakeRecord& r) { r.Int("QTY", 256); }, true},
      {"QTY", [](FakeRecord& r) { r.Int("QTY", 0); }, false},
      {"QTY * 1", [](FakeRecord& r) { r.Int("QTY", 256); }, true},
      {"BIG", [](FakeRecord& r) { r.Int("BIG", 1LL << 40); }, true},
      {"PRICE", [](FakeRecord& r) { r.Float("PRICE", 1.0); }, true},
      {"PRICE + 0", [](FakeRecord& r) { r.Float("PRICE", 1.0); }, true},
      {"PRICE", [](FakeRecord& r) { r.Float("PRICE", 0.0); }, false},
      {"PRICE", [](FakeRecord& r) { r.Null("PRICE"); }, false},
      {"BORN", [](FakeRecord& r) { r.Date("BORN", 2020, 1, 1); }, true},
      {"BORN", [](FakeRecord& r) { r.Null("BORN"); }, false},
      {"ACTIVE", [](FakeRecord& r) { r.Int("ACTIVE", 1); }, true},
      {"ACTIVE", [](FakeRecord& r) { r.Int("ACTIVE", 0); }, false},
      {"ACTIVE", [](FakeRecord& r) { r.Null("ACTIVE"); }, false},
      {"NAME", [](FakeRecord& r) { r.Text("NAME", "x"); }, true},
      {"NAME", [](FakeRecord& r) { r.Text("NAME", ""); }, false},
      {"NAME", [](FakeRecord& r) { r.Null("NAME"); }, false},
      {"NAME", [](FakeRecord& r) { r.Text("NAME", std::string("\0x", 2)); }, false},
      {"SUBSTR(NAME, 2, 1)", [](FakeRecord& r) { r.Text("NAME", "ab"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FakeRecord record;
    c.set(record);
    parser_.CompileFilter(c.text);
    EXPECT_EQ(parser_.AcceptsRecord(record.Source()), c.accepted);
  }
}

TEST_F(FilterParserTest, FieldAloneAndFieldNames) {
  parser_.CompileFilter("name");  // found without regard to case
  EXPECT_FALSE(parser_.IsExpression());
  EXPECT_EQ(parser_.FieldType(), Type::etString);
  EXPECT_EQ(parser_.ResultLength(), 50);
  EXPECT_EQ(Show(parser_.EvaluateRecord(record_.Source())), "S:'Smith'");

  // A whole text that is a field's name is that field, even one no expression
  // could name.
  record_.Float("Unit Price", 3.0);
  parser_.CompileFilter("Unit Price");
  EXPECT_FALSE(parser_.IsExpression());
  EXPECT_EQ(parser_.FieldType(), Type::etFloat);
  EXPECT_EQ(parser_.ResultLength(), 8);
  EXPECT_TRUE(parser_.AcceptsRecord(record_.Source()));

  parser_.CompileFilter("QTY > 1 AND qty < 10 AND NAME = 'Smith' AND Qty <> 3");
  EXPECT_TRUE(parser_.IsExpression());
  EXPECT_EQ(parser_.GetResultType(), Type::etBoolean);
  EXPECT_EQ(parser_.ResultLength(), 1);
  ASSERT_EQ(parser_.FieldVars().size(), 2u);
  EXPECT_EQ(parser_.FieldVars()[0].FieldName, "QTY");
  EXPECT_EQ(parser_.FieldVars()[1].FieldName, "NAME");
  record_.reads = 0;
  EXPECT_TRUE(parser_.AcceptsRecord(record_.Source()));
  EXPECT_EQ(record_.reads, 2);  // each field read once per record, no other field

  const struct {
    const char* text;
    int length;
  } lengths[] = {{"QTY", 4}, {"BIG", 8}, {"PRICE * 2", 8}, {"BORN", 8}, {"ACTIVE", 1}};
  for (const auto& c : lengths) {
    SCOPED_TRACE(c.text);
    parser_.CompileFilter(c.text);
    EXPECT_EQ(parser_.ResultLength(), c.length);
  }
}

TEST_F(FilterParserTest, NumberLiteralsIgnoreTheDecimalSeparator) {
  rtl::ScopedSeparators separators(',', '.');
  EXPECT_EQ(Eval("PRICE = 2.5"), "B:true");
  EXPECT_EQ(Eval("STR(PRICE, 6, 2)"), "S:'  2.50'");
  EXPECT_EQ(CompileError("PRICE = 2,5"), "Unexpected \",\" at position 10.");
}

// Text lengths come from the texts themselves, with no scratch buffer between:
// a text of 10000 bytes in a field of 20000 is read, searched and joined whole.
TEST_F(FilterParserTest, TextsLongerThanAnyBuffer) {
  std::string note = std::string(10000, 'a') + "needle" + std::string(9990, 'b');
  record_.Text("NOTE", note);
  EXPECT_TRUE(Accepts("NOTE = '*needle*'"));
  EXPECT_TRUE(Accepts("NOTE = '*b'"));
  EXPECT_FALSE(Accepts("NOTE = 'b*'"));
  EXPECT_TRUE(Accepts("UPPER(NOTE) = '*NEEDLE*'"));
  EXPECT_EQ(Eval("SUBSTR(NOTE, 10001, 6)"), "S:'needle'");
  EXPECT_TRUE(Accepts("NOTE + NOTE > NOTE"));
  parser_.CompileFilter("NOTE + 'x'");
  EXPECT_EQ(parser_.EvaluateRecord(record_.Source()).Text.size(), note.size() + 1);
}

// The length check of a text result takes every field null, whichever record is
// current: NAME + NAME is 0 long however long the names are.
TEST_F(FilterParserTest, ResultLengthWithEveryFieldNull) {
  const struct {
    const char* text;
    int length;
  } cases[] = {{"NAME + NAME", 0},
               {"NAME + 'x'", 1},
               {"STR(QTY, 20) + NAME", 20},
               {"DTOS(BORN)", 8},
               {"STR(QTY, 100)", 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    parser_.CompileFilter(c.text);
    EXPECT_EQ(parser_.ResultLength(), c.length);
  }
  record_.Text("NAME", std::string(50, 'n'));
  parser_.CompileFilter("NAME + NAME + NAME");
  EXPECT_EQ(parser_.EvaluateRecord(record_.Source()).Text.size(), 150u);
}

TEST_F(FilterParserTest, ErrorTexts) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"NOPE = 1", "Index based on unknown field \"NOPE\"."},
      {"nope", "Index based on unknown field \"nope\"."},
      {"TRIM(NAME)", "Index based on unknown field \"TRIM\"."},
      {"COST > 1", "Field \"COST\" has an invalid field type (Currency) to base index on."},
      {"at", "Field \"AT\" has an invalid field type (Time) to base index on."},
      {"MEMO = 'x'", "Field \"MEMO\" has an invalid field type (Memo) to base index on."},
      {"WIDE", "Index result for \"WIDE\" too long, >100 characters (200)."},
      {"STR(QTY, 101)", "Index result for \"STR(QTY, 101)\" too long, >100 characters (101)."},
      {"", "Unexpected end of the filter expression."},
      {"NAME = ", "Unexpected end of the filter expression."},
      {"(QTY = 5", "Unexpected end of the filter expression."},
      {"QTY = 5)", "Unexpected \")\" at position 8."},
      {"1 2", "Unexpected \"2\" at position 3."},
      {"QTY(1)", "Unexpected \"(\" at position 4."},
      {"QTY = AND", "Unexpected \"AND\" at position 7."},
      {"STR(QTY,)", "Unexpected \")\" at position 9."},
      {"NAME = 'abc", "Missing closing quote of the text at position 8."},
      {"QTY # 5", "Invalid character \"#\" at position 5."},
      {"QTY != 5", "Invalid character \"!\" at position 5."},
      {"NAME > 5", "Operator \">\" cannot be applied to string and integer."},
      {"NAME + 1", "Operator \"+\" cannot be applied to string and integer."},
      {"NAME * 'x'", "Operator \"*\" cannot be applied to string and string."},
      {"QTY and ACTIVE", "Operator \"and\" cannot be applied to integer and boolean."},
      {"ACTIVE OR NAME", "Operator \"OR\" cannot be applied to boolean and string."},
      {"NOT QTY", "Operator \"NOT\" cannot be applied to integer."},
      {"-NAME", "Operator \"-\" cannot be applied to string."},
      {"BORN + 1", "Operator \"+\" cannot be applied to date-time and integer."},
      {"BORN = 1", "Operator \"=\" cannot be applied to date-time and integer."},
      {"ACTIVE = ACTIVE", "Operator \"=\" cannot be applied to boolean and boolean."},
      {"QTY = 5 = 5", "Operator \"=\" cannot be applied to boolean and integer."},
      {"BIG = '5'", "Operator \"=\" cannot be applied to large integer and string."},
      {"PRICE < STAMP", "Operator \"<\" cannot be applied to float and date-time."},
      {"STR(NAME)", "Function STR cannot be applied to (string)."},
      {"STR(QTY, 1.5)", "Function STR cannot be applied to (integer, float)."},
      {"STR(QTY, 1, 2, 3)",
       "Function STR cannot be applied to (integer, integer, integer, integer)."},
      {"SUBSTR(NAME, 1)", "Function SUBSTR cannot be applied to (string, integer)."},
      {"dtos(QTY)", "Function dtos cannot be applied to (integer)."},
      {"UPPER()", "Function UPPER cannot be applied to ()."},
      {"LOWER(NAME, NAME)", "Function LOWER cannot be applied to (string, string)."},
      {std::string(5000, '(') + "1" + std::string(5000, ')'),
       "The filter expression is nested too deeply."},
      {std::string(5000, '-') + "1", "The filter expression is nested too deeply."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CompileError(c.text), c.expected);
    EXPECT_FALSE(parser_.Compiled());
    EXPECT_EQ(parser_.CurrentExpression(), "");
    EXPECT_TRUE(parser_.FieldVars().empty());
  }
}

// The dataset compiles each new text into a fresh parser and keeps it only on
// success: a bad text leaves the previous expression and its text in force.
TEST_F(FilterParserTest, FailedCompileLeavesThePreviousParserInForce) {
  std::unique_ptr<TVoBufDatasetParser> current;
  auto set_filter = [&current](const std::string& text) {
    auto candidate = std::make_unique<TVoBufDatasetParser>(kFields);
    candidate->SetCaseInsensitive(false);
    candidate->SetPartialMatch(true);
    candidate->CompileFilter(text);
    current = std::move(candidate);
  };
  set_filter("QTY = 5");
  EXPECT_THROW(set_filter("NOPE = 1"), db::DatabaseError);
  EXPECT_THROW(set_filter("QTY = "), db::DatabaseError);
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->CurrentExpression(), "QTY = 5");
  EXPECT_TRUE(current->AcceptsRecord(record_.Source()));
  record_.Int("QTY", 6);
  EXPECT_FALSE(current->AcceptsRecord(record_.Source()));

  // Within one parser a failed compile drops what it held, and evaluating then
  // reads nothing.
  parser_.CompileFilter("QTY = 6");
  EXPECT_THROW(parser_.CompileFilter("QTY = 'x'"), db::DatabaseError);
  EXPECT_FALSE(parser_.Compiled());
  record_.reads = 0;
  parser_.EvaluateRecord(record_.Source());
  EXPECT_EQ(record_.reads, 0);
}

}  // namespace

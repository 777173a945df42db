// Field objects: conversions between each field type and text, numbers, truth
// values, dates and variants; cutting at the field's size; range and format
// errors; date texts and the float display format.
#include "db/Field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "rtl/Separators.h"
#include "testing/ListDataSet.h"

namespace {

// One field of the given type on a dataset in the insert state.
class FieldTest : public ::testing::Test {
 protected:
  db::Field& Make(db::FieldType type, int size = 0) {
    ds_.Close();
    ds_.FieldDefs().Clear();
    ds_.FieldDefs().Add("F", type, size);
    ds_.Open();
    ds_.Append();
    return ds_.Fields(0);
  }

  rtl::ScopedSeparators separators_{'.', ','};
  ListDataSet ds_;
};

struct TextCase {
  const char* name;
  db::FieldType type;
  int size;
  const char* written;
  const char* read;  // nullptr: the field is null afterwards
};

TEST_F(FieldTest, TextWrittenReadsBackInTheFieldsOwnForm) {
  using db::FieldType;
  const TextCase cases[] = {
      {"string cut at its size in bytes", FieldType::ftString, 5, "abcdefg", "abcde"},
      {"wide string cut at its size in characters", FieldType::ftWideString, 3, "äöüß", "äöü"},
      {"memo keeps everything", FieldType::ftMemo, 1, "a long memo text", "a long memo text"},
      {"integer", FieldType::ftInteger, 0, "-42", "-42"},
      {"largeint at its limit", FieldType::ftLargeint, 0, "9223372036854775807",
       "9223372036854775807"},
      {"word", FieldType::ftWord, 0, "65535", "65535"},
      {"float", FieldType::ftFloat, 0, "2.5", "2.5"},
      {"currency", FieldType::ftCurrency, 0, "-0.75", "-0.75"},
      {"bcd keeps four decimals exactly", FieldType::ftBCD, 0, "12.3456", "12.3456"},
      {"boolean", FieldType::ftBoolean, 0, "true", "True"},
      {"date", FieldType::ftDate, 0, "2024-02-29", "2024-02-29"},
      {"date before 1899-12-30", FieldType::ftDate, 0, "1850-07-01", "1850-07-01"},
      {"date-time", FieldType::ftDateTime, 0, "2024-02-29 13:05:09", "2024-02-29 13:05:09"},
      {"date-time at midnight shows the date", FieldType::ftDateTime, 0, "2024-01-01 00:00",
       "2024-01-01"},
      {"time without seconds", FieldType::ftTime, 0, "07:08", "07:08:00"},
      {"empty text nulls a number", FieldType::ftInteger, 0, "", nullptr},
      {"empty text nulls a date", FieldType::ftDate, 0, "", nullptr},
      {"empty text is a value of a string", FieldType::ftString, 5, "", ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    db::Field& field = Make(c.type, c.size);
    field.SetAsString(c.written);
    if (c.read == nullptr) {
      EXPECT_TRUE(field.IsNull());
    } else {
      EXPECT_FALSE(field.IsNull());
      EXPECT_EQ(field.AsString(), c.read);
    }
  }
}

TEST_F(FieldTest, ValuesThatTheTypeCannotHoldRaiseAndChangeNothing) {
  using db::FieldType;
  struct ErrorCase {
    const char* name;
    db::FieldType type;
    std::function<void(db::Field&)> write;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"text as integer", FieldType::ftInteger, [](db::Field& f) { f.SetAsString("12a"); },
       "List : \"12a\" is not a valid integer value for field F"},
      {"smallint range", FieldType::ftSmallint, [](db::Field& f) { f.SetAsInteger(40000); },
       "List : 40000 is out of range for field F"},
      {"word range", FieldType::ftWord, [](db::Field& f) { f.SetAsString("-1"); },
       "List : -1 is out of range for field F"},
      {"integer range", FieldType::ftInteger, [](db::Field& f) { f.SetAsFloat(3e9); },
       "List : 3000000000 is out of range for field F"},
      {"no such date", FieldType::ftDate, [](db::Field& f) { f.SetAsString("2023-02-29"); },
       "List : \"2023-02-29\" is not a valid date value for field F"},
      {"bcd overflow", FieldType::ftBCD, [](db::Field& f) { f.SetAsFloat(1e16); },
       "List : 1E16 is out of range for field F"},
      {"text as boolean", FieldType::ftBoolean, [](db::Field& f) { f.SetAsString("yes"); },
       "List : \"yes\" is not a valid boolean value for field F"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    db::Field& field = Make(c.type);
    field.SetAsInteger(1);
    try {
      c.write(field);
      ADD_FAILURE() << "no error";
    } catch (const db::ConversionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(field.AsInteger(), 1);
  }
}

TEST_F(FieldTest, ReadingConvertsToEachKind) {
  db::Field& text = Make(db::FieldType::ftString, 20);
  text.SetAsString("12");
  EXPECT_EQ(text.AsInteger(), 12);
  EXPECT_DOUBLE_EQ(text.AsFloat(), 12.0);
  EXPECT_TRUE(text.AsBoolean());
  text.SetAsString("2001-02-03");
  EXPECT_EQ(db::DateTimeToText(db::FieldType::ftDate, text.AsDateTime()), "2001-02-03");
  EXPECT_THROW(text.AsInteger(), db::ConversionError);
  text.SetAsFloat(1.5);
  EXPECT_EQ(text.AsString(), "1.5");
  text.SetAsBoolean(false);
  EXPECT_EQ(text.AsString(), "False");

  db::Field& number = Make(db::FieldType::ftInteger);
  number.SetAsFloat(2.5);  // rounds half to even
  EXPECT_EQ(number.AsInteger(), 2);
  number.SetAsBoolean(true);
  EXPECT_EQ(number.AsString(), "1");

  db::Field& bcd = Make(db::FieldType::ftBCD);
  bcd.SetAsString("-7.25");
  EXPECT_EQ(bcd.AsInteger(), -7);
  EXPECT_DOUBLE_EQ(bcd.AsFloat(), -7.25);
  EXPECT_EQ(bcd.Value().type, rtl::VarType::kFloat);
}

TEST_F(FieldTest, NullReadsAsTheZeroOfEachKind) {
  db::Field& field = Make(db::FieldType::ftFloat);
  EXPECT_TRUE(field.IsNull());
  EXPECT_EQ(field.AsString(), "");
  EXPECT_EQ(field.AsInteger(), 0);
  EXPECT_EQ(field.AsFloat(), 0.0);
  EXPECT_FALSE(field.AsBoolean());
  EXPECT_TRUE(field.Value().IsNull());
  field.SetAsFloat(1);
  field.SetValue(rtl::Variant::Null());
  EXPECT_TRUE(field.IsNull());
}

TEST_F(FieldTest, VariantsGoThroughTheMatchingSetter) {
  db::Field& field = Make(db::FieldType::ftString, 20);
  field.SetValue(rtl::Variant::Int(7));
  EXPECT_EQ(field.Value().s, "7");
  field.SetValue(rtl::Variant::Bool(true));
  EXPECT_EQ(field.AsString(), "True");
  field.SetValue(rtl::Variant::Date(45000));
  EXPECT_EQ(field.AsString(), "2023-03-15");

  db::Field& date = Make(db::FieldType::ftDateTime);
  date.SetValue(rtl::Variant::Text("2023-03-15 12:00:00"));
  EXPECT_EQ(date.Value().type, rtl::VarType::kDate);
  EXPECT_DOUBLE_EQ(date.Value().f, 45000.5);
}

TEST_F(FieldTest, DisplayTextFollowsTheFloatDisplayFormat) {
  db::Field& field = Make(db::FieldType::ftFloat);
  field.SetAsFloat(1234.5);
  EXPECT_EQ(field.DisplayText(), "1234.5");
  field.SetDisplayFormat("#,##0.00");
  EXPECT_EQ(field.DisplayText(), "1,234.50");
  EXPECT_EQ(field.AsString(), "1234.5");
}

TEST(FormatFloatTest, PlaceholdersSectionsAndLiterals) {
  rtl::ScopedSeparators separators('.', ',');
  struct Case {
    const char* format;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {"0.00", 3.14159, "3.14"},
      {"0.00", -3.14159, "-3.14"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"0.###", 2.5, "2.5"},
      {"#.##", 0.5, ".5"},
      {"000", 7, "007"},
      {"0.00;(0.00)", -1.5, "(1.50)"},
      {"0;-0;'zero'", 0, "zero"},
      {"'$'0.00", 2, "$2.00"},
      {"0 EUR", 3, "3 EUR"},
      {"", 0.1, "0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(db::FormatFloat(c.format, c.value), c.text);
  }
  rtl::ScopedSeparators german(',', '.');
  EXPECT_EQ(db::FormatFloat("#,##0.00", 1234.5), "1.234,50");
}

TEST(DateTimeTextTest, RejectsMalformedTexts) {
  double serial = 0;
  for (const char* text : {"2024-13-01", "2024-01-01T10:00", "25:00", "12:60", "2024-1", "abc"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(db::ParseDateTimeText(text, serial));
  }
  ASSERT_TRUE(db::ParseDateTimeText("1899-12-30", serial));
  EXPECT_EQ(serial, 0.0);
}

}  // namespace

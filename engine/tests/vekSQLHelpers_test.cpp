// Tests of the engine's free routines: position search, writing a new file,
// the sound code, Easter Sunday, "yyyy-mm-dd" dates, date parts and week
// numbers, each against worked examples.
#include "engine/vekSQLHelpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "rtl/Dates.h"
#include "testing/engine_test_util.h"

namespace vek {
namespace {

double Date(int year, int month, int day) {
  std::optional<double> serial = rtl::EncodeDate(year, month, day);
  EXPECT_TRUE(serial.has_value()) << year << "-" << month << "-" << day;
  return serial.value_or(0.0);
}

TEST(PosExTest, FindsBytesExactlyFromAPosition) {
  struct Case {
    const char* sub;
    const char* s;
    int from;
    int expected;
  };
  const Case cases[] = {
      {"ab", "xabab", 1, 2},  {"ab", "xabab", 2, 2}, {"ab", "xabab", 3, 4},
      {"ab", "xabab", 5, 0},  {"ab", "xabab", 6, 0}, {"ab", "xabab", 0, 0},
      {"ab", "xabab", -3, 0}, {"", "abc", 1, 0},     {"A", "a", 1, 0},
      {"abc", "ab", 1, 0},    {"b", "ab", 2, 2},     {"select ", "select a", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sub) + " in " + c.s + " from " + std::to_string(c.from));
    EXPECT_EQ(PosEx(c.sub, c.s, c.from), c.expected);
  }
  EXPECT_EQ(PosEx("ab", "xabab"), 2);  // from defaults to 1
}

TEST(SoundexTest, WorkedExamples) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"", 0},
      {"A", 65},
      {"r", 82},
      {"Robert", 3852},
      {"Rupert", 3852},
      {"robert", 3852},
      {"Ashcraft", 65 + 2 * 26 + 6 * 156 + 1 * 936},  // 1989
      {"Tymczak", 84 + 5 * 26 + 2 * 156},             // 526
      {"Bb", 66 + 1 * 26},                            // first letter's digit is not used
      {"Abcdl", 65 + 1 * 26 + 2 * 156 + 3 * 936},     // at most three digits
      {"A[b", 65 + 1 * 26},                           // "[" has the vowel code 0
      {"A1-b", 65 + 1 * 26},                          // characters outside A..z have no code
      {"Sasas", 83 + 2 * 26},                         // vowel does not separate equal digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Soundex(c.text), c.expected);
  }
}

TEST(EasterDateTest, WorkedExamplesAndRange) {
  struct Case {
    int year;
    const char* expected;
  };
  const Case cases[] = {
      {2024, "2024-03-31"}, {2000, "2000-04-23"}, {1818, "1818-03-22"},
      {2038, "2038-04-25"}, {2019, "2019-04-21"}, {1, "0001-04-01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    std::optional<double> easter = EasterDate(c.year);
    ASSERT_TRUE(easter.has_value());
    EXPECT_EQ(DateToISO(*easter), c.expected);
  }
  EXPECT_TRUE(EasterDate(9999).has_value());
  EXPECT_FALSE(EasterDate(0).has_value());
  EXPECT_FALSE(EasterDate(10000).has_value());
  EXPECT_FALSE(EasterDate(-2024).has_value());
}

TEST(DateToISOTest, WritesTheDayIgnoringTheTime) {
  EXPECT_EQ(DateToISO(Date(2012, 3, 4) + 13.5 / 24), "2012-03-04");
  EXPECT_EQ(DateToISO(Date(999, 1, 2)), "0999-01-02");
  EXPECT_EQ(DateToISO(Date(1, 1, 1)), "0001-01-01");
  EXPECT_EQ(DateToISO(Date(9999, 12, 31) + 0.99), "9999-12-31");
  EXPECT_EQ(DateToISO(0.0), "1899-12-30");
  // Before serial 0 the fraction is still the time of the same day.
  EXPECT_EQ(DateToISO(-1.25), "1899-12-29");
  EXPECT_EQ(DateToISO(Date(9999, 12, 31) + 1), "");
}

TEST(ISOToDateTest, ReadsTheThreeParts) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {"2012-02-29", Date(2012, 2, 29)},
      {"2012/02/29", Date(2012, 2, 29)},  // bytes 5 and 8 are not examined
      {"1899-12-30", 0.0},                // serial 0 is a date like any other
      {"0001-01-01", Date(1, 1, 1)},
      {"9999-12-31", Date(9999, 12, 31)},
      {"2012-03-04 13:30", Date(2012, 3, 4)},  // bytes after the day are not read
      {"2013-02-29", std::nullopt},
      {"2012-3-4", std::nullopt},
      {"", std::nullopt},
      {"abcd-ef-gh", std::nullopt},
      {"2012-13-01", std::nullopt},
      {"2012-00-01", std::nullopt},
      {"0000-01-01", std::nullopt},
      {"2012-02", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ISOToDate(c.text), c.expected);
  }
}

TEST(DatePartTest, ReadsBytesAsAWholeNumber) {
  struct Case {
    const char* text;
    int first;
    int length;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"2012-03-04", 1, 4, 2012},
      {"2012-03-04", 6, 2, 3},
      {"2012-03-04", 9, 2, 4},
      {"2012-3-4", 9, 2, std::nullopt},  // bytes 9 and 10 are missing
      {"2012-3-4", 6, 2, std::nullopt},  // "3-" is no whole number
      {"2012-03-4", 9, 2, 4},            // a part cut short is read as far as it goes
      {"  12-03-04", 1, 4, 12},          // leading blanks before the digits
      {"$7DC-03-04", 1, 4, 0x7DC},       // hexadecimal
      {"abcd-03-04", 1, 4, std::nullopt},
      {"2012", 0, 4, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.first));
    EXPECT_EQ(DatePart(c.text, c.first, c.length), c.expected);
  }
}

TEST(WeekNumberTest, WeeksRunSundayToSaturday) {
  struct Case {
    int year, month, day;
    int expected;
  };
  const Case cases[] = {
      {2012, 1, 1, 1},                         // a Sunday
      {2012, 1, 7, 1},                         // the Saturday after it
      {2012, 1, 8, 2},    {2011, 1, 1, 1},     // a Saturday: week 1 is one day long
      {2011, 1, 2, 2},    {2011, 12, 31, 53},  // the last days are not week 1 of the next year
      {2000, 12, 31, 54},                      // a leap year that began on a Saturday
      {2024, 3, 31, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day));
    EXPECT_EQ(WeekNumber(Date(c.year, c.month, c.day)), c.expected);
    EXPECT_EQ(WeekNumber(Date(c.year, c.month, c.day) + 0.75), c.expected);
  }
}

TEST(SaveStringToFileTest, CreatesANewFileWithExactlyTheText) {
  testing::TempFolder dir;
  const std::string text = "a;b\n1;2";
  EXPECT_TRUE(SaveStringToFile(dir.File("t.txt"), text).ok());
  EXPECT_EQ(dir.Read("t.txt"), text);  // no line end added

  EXPECT_TRUE(SaveStringToFile(dir.File("empty.txt"), "").ok());
  EXPECT_TRUE(dir.Exists("empty.txt"));
  EXPECT_EQ(dir.Read("empty.txt"), "");
}

TEST(SaveStringToFileTest, NeverTouchesAnExistingFile) {
  testing::TempFolder dir;
  dir.Write("t.txt", "kept");
  const std::string error = SaveStringToFile(dir.File("t.txt"), "new").message();
  EXPECT_NE(error.find("t.txt"), std::string::npos) << error;
  EXPECT_EQ(dir.Read("t.txt"), "kept");
}

TEST(SaveStringToFileTest, ReportsAMissingFolder) {
  testing::TempFolder dir;
  const std::string error = SaveStringToFile(dir.File("no/such/t.txt"), "x").message();
  EXPECT_NE(error.find("no/such/t.txt"), std::string::npos) << error;
}

}  // namespace
}  // namespace vek

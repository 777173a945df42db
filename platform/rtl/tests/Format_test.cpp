// The one-argument format routine: directives by argument kind, width, precision,
// rounding, separators, and the directives it refuses.
#include "rtl/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

#include "rtl/Separators.h"

namespace rtl {
namespace {

FormatArg Int(std::int64_t i) { return FormatArg{FormatArgKind::kInt, i, 0.0, {}}; }
FormatArg Float(double f) { return FormatArg{FormatArgKind::kFloat, 0, f, {}}; }
FormatArg Text(std::string_view s) { return FormatArg{FormatArgKind::kText, 0, 0.0, s}; }

struct Case {
  const char* name;
  const char* format;
  FormatArg arg;
  const char* expected;
};

class FormatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { std::setlocale(LC_ALL, "C.UTF-8"); }
  ScopedSeparators separators_{'.', ','};

  static void Check(const Case& c) {
    SCOPED_TRACE(std::string(c.name) + ": " + c.format);
    const std::optional<std::string> out = Format(c.format, c.arg);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, c.expected);
  }
};

TEST_F(FormatTest, WholeNumbers) {
  const Case cases[] = {
      {"decimal", "%d", Int(42), "42"},
      {"literal text around", "%d units", Int(7), "7 units"},
      {"precision pads zeros", "%.5d", Int(42), "00042"},
      {"precision after the sign", "%.5d", Int(-42), "-00042"},
      {"precision shorter than the digits", "%.1d", Int(1234), "1234"},
      {"width", "[%5d]", Int(42), "[   42]"},
      {"left justified", "[%-5d]", Int(42), "[42   ]"},
      {"width and precision", "[%8.5d]", Int(-42), "[  -00042]"},
      {"width narrower than the text", "[%1d]", Int(-42), "[-42]"},
      {"smallest", "%d", Int(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {"unsigned", "%u", Int(42), "42"},
      {"unsigned of -1 wraps to 64 bits", "%u", Int(-1), "18446744073709551615"},
      {"hexadecimal in upper case", "%x", Int(255), "FF"},
      {"hexadecimal precision", "%.4x", Int(255), "00FF"},
      {"hexadecimal of -1", "%x", Int(-1), "FFFFFFFFFFFFFFFF"},
      {"index 0", "%0:d", Int(5), "5"},
      {"index 0 left justified", "[%0:-3d]", Int(5), "[5  ]"},
      {"leading zero is a width", "[%05d]", Int(5), "[    5]"},
      {"one argument for every directive", "%d-%x", Int(255), "255-FF"},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(FormatTest, FloatingNumbers) {
  const Case cases[] = {
      {"fixed, two decimals by default", "%f", Float(3.14159), "3.14"},
      {"fixed with text after", "%.2f EUR", Float(3.14159), "3.14 EUR"},
      {"rounded, not cut", "%.2f", Float(1.256), "1.26"},
      {"exact tie rounds away from zero", "%.2f", Float(0.125), "0.13"},
      {"negative tie rounds away from zero", "%.2f", Float(-0.125), "-0.13"},
      {"2.675 is below the tie in binary", "%.2f", Float(2.675), "2.67"},
      {"1.005 is below the tie in binary", "%.2f", Float(1.005), "1.00"},
      {"no decimals", "%.0f", Float(2.5), "3"},
      {"carry into a new digit", "%.1f", Float(9.96), "10.0"},
      {"small value rounds up", "%.2f", Float(0.006), "0.01"},
      {"rounds to zero without a sign", "%.2f", Float(-0.001), "0.00"},
      {"large value", "%.1f", Float(1e20), "100000000000000000000.0"},
      {"decimals capped at 18", "%.30f", Float(0.5), "0.500000000000000000"},
      {"whole number as float", "%.2f", Int(7), "7.00"},
      {"width", "[%8.2f]", Float(-1.5), "[   -1.50]"},
      {"thousand separators", "%n", Float(1234567.891), "1,234,567.89"},
      {"thousands, no decimals", "%.0n", Float(999.5), "1,000"},
      {"thousands, small", "%n", Float(-12.5), "-12.50"},
      {"scientific", "%e", Float(1.5), "1.50000000000000E+000"},
      {"scientific precision", "%.3e", Float(-12345.0), "-1.23E+004"},
      {"scientific one digit", "%.1e", Float(0.00025), "3E-004"},
      {"scientific zero", "%.2e", Float(0.0), "0.0E+000"},
      {"scientific large exponent", "%.2e", Float(1.5e300), "1.5E+300"},
      {"general", "%g", Float(0.1 + 0.2), "0.3"},
      {"general precision", "%.3g", Float(3.14159), "3.14"},
      {"general switches to the exponent", "%.3g", Float(12345.0), "1.23E4"},
      {"general small", "%g", Float(1.5e-7), "1.5E-7"},
      {"general zero", "%g", Float(-0.0), "0"},
      {"infinity", "%.2f", Float(std::numeric_limits<double>::infinity()), "INF"},
      {"not a number", "%e", Float(std::numeric_limits<double>::quiet_NaN()), "NAN"},
      {"money without a currency symbol", "%m", Float(1234.5), "1,234.50"},
      {"money precision", "%.0m", Float(-1234.5), "-1,235"},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(FormatTest, CommaSeparators) {
  ScopedSeparators comma(',', '.');
  const Case cases[] = {
      {"fixed", "%.2f", Float(1234.5), "1234,50"},
      {"number", "%n", Float(1234567.5), "1.234.567,50"},
      {"scientific", "%.2e", Float(1.5), "1,5E+000"},
      {"general", "%g", Float(1.5), "1,5"},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(FormatTest, Texts) {
  const Case cases[] = {
      {"text", "%s", Text("abc"), "abc"},
      {"text in brackets", "[%s]", Text("abc"), "[abc]"},
      {"precision cuts", "%.2s", Text("abcdef"), "ab"},
      {"width", "[%5s]", Text("ab"), "[   ab]"},
      {"left justified", "[%-5s]", Text("ab"), "[ab   ]"},
      {"percent signs", "100%% %s%%", Text("sure"), "100% sure%"},
      {"no directive", "plain", Text("x"), "plain"},
      {"empty format", "", Text("x"), ""},
      {"index 0", "%0:s and %0:s", Text("x"), "x and x"},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(FormatTest, Refusals) {
  const Case cases[] = {
      {"text for a decimal", "%d", Text("7"), ""},
      {"float for a decimal", "%d", Float(7.0), ""},
      {"float for hexadecimal", "%x", Float(7.0), ""},
      {"float for unsigned", "%u", Float(7.0), ""},
      {"number for a text", "%s", Int(7), ""},
      {"float for a text", "%s", Float(7.0), ""},
      {"text for fixed", "%.2f", Text("1.5"), ""},
      {"second directive of another kind", "%d %s", Int(7), ""},
      {"unknown type", "%k", Int(7), ""},
      {"upper-case type", "%D", Int(7), ""},
      {"percent at the end", "abc %", Int(7), ""},
      {"width at the end", "%5", Int(7), ""},
      {"star width", "%*d", Int(7), ""},
      {"star precision", "%.*f", Float(7.0), ""},
      {"star index", "%*:d", Int(7), ""},
      {"index other than 0", "%1:d", Int(7), ""},
      {"point without digits", "%.f", Float(7.0), ""},
      {"negative precision", "%.-1f", Float(7.0), ""},
      {"fractional precision", "%.2.5f", Float(7.0), ""},
      {"width beyond the limit", "%99999999d", Int(7), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + c.format);
    EXPECT_FALSE(Format(c.format, c.arg).has_value());
  }
}

TEST(FirstDirectiveType, FindsTheFirstType) {
  struct TypeCase {
    const char* format;
    char expected;
  };
  const TypeCase cases[] = {
      {"%d units", 'd'},   {"[%s]", 's'}, {"%.2f EUR", 'f'}, {"100%% %x", 'x'}, {"%0:-8.3e", 'e'},
      {"no directive", 0}, {"%%", 0},     {"%", 0},          {"%k then %d", 0}, {"%-5m", 'm'},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FirstDirectiveType(c.format), c.expected);
  }
}

}  // namespace
}  // namespace rtl

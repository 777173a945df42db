// Number readings (as a number, strict, as a whole number, as a truth value),
// float to whole number, and the general number format.
#include "rtl/Numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "rtl/Separators.h"

namespace rtl {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class NumbersTest : public ::testing::Test {
 protected:
  ScopedSeparators separators_{'.', ','};
};

struct FloatCase {
  const char* name;
  std::string input;
  double expected;
};

struct BadCase {
  const char* name;
  std::string input;
};

// Each case's input must read as its expected value.
template <typename Reader, typename Case, std::size_t N>
void ExpectReads(Reader read, const Case (&cases)[N]) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto value = read(c.input);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.expected);
  }
}

template <typename Reader, std::size_t N>
void ExpectRefused(Reader read, const BadCase (&cases)[N]) {
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(read(c.input).has_value());
  }
}

TEST_F(NumbersTest, TextToFloatReadsNumbers) {
  const FloatCase cases[] = {
      {"whole", "12", 12},
      {"leading spaces and tabs", " \t 12", 12},
      {"fraction", "12.5", 12.5},
      {"negative", "-0.25", -0.25},
      {"exponent", "1e5", 1e5},
      {"signed upper exponent", "1E-3", 1e-3},
      {"sign and leading point", "+.5", 0.5},
      {"trailing point", "5.", 5},
      {"thousand separators removed", "1,234.5", 1234.5},
      {"thousand separator anywhere", "1,2,3", 123},
      {"below the floating range is zero", "1e-400", 0},
      {"many digits", "0." + std::string(200, '0') + "1", 1e-201},
      {"exactly 255 characters", std::string(254, '0') + "7", 7},
  };
  ExpectReads(TextToFloat, cases);
}

TEST_F(NumbersTest, TextToFloatRefusesNonNumbers) {
  const BadCase cases[] = {
      {"empty", ""},
      {"blank", " "},
      {"trailing blank", "12 "},
      {"letters", "abc"},
      {"infinity word", "inf"},
      {"not-a-number word", "nan"},
      {"hexadecimal float", "0x1p3"},
      {"hexadecimal whole", "0x1F"},
      {"dollar hexadecimal", "$FF"},
      {"exponent without digits", "1e"},
      {"exponent sign without digits", "1e+"},
      {"point alone", "."},
      {"sign alone", "+"},
      {"two signs", "--1"},
      {"two points", "1.2.3"},
      {"fractional exponent", "1e5.0"},
      {"beyond the floating range", "1e400"},
      {"beyond the range by its digits", std::string(320, '9')},
      {"256 characters", std::string(255, '0') + "7"},
      {"inner blank", "1 000"},
      {"newline before", "\n12"},
  };
  ExpectRefused(TextToFloat, cases);
}

TEST_F(NumbersTest, TextToFloatFollowsCommaDecimalSeparator) {
  ScopedSeparators comma(',', '.');
  const FloatCase cases[] = {
      {"comma is the decimal point", "1,5", 1.5},
      {"point is a thousand separator", "1.5", 15},
      {"both", "1.234,5", 1234.5},
  };
  ExpectReads(TextToFloat, cases);
  EXPECT_FALSE(TextToFloat("1,2,3").has_value());
}

TEST_F(NumbersTest, ParsePlainFloatIgnoresSeparators) {
  ScopedSeparators comma(',', '.');
  EXPECT_EQ(ParsePlainFloat("1.5"), 1.5);
  EXPECT_EQ(ParsePlainFloat("  2e3"), 2000);
  EXPECT_FALSE(ParsePlainFloat("1,5").has_value());
}

// The nearest double, as the standard library reads it: the reference for the
// readers' own short cut.
double Nearest(const std::string& text) {
  const bool negative = text[0] == '-';
  double value = 0;
  std::from_chars(text.data() + (negative ? 1 : 0), text.data() + text.size(), value);
  return negative ? -value : value;
}

TEST_F(NumbersTest, PlainFloatIsTheNearestDoubleToTheBit) {
  // Either side of where one exact operation still gives the nearest double:
  // 2^53 as the digits, 10^22 as the scale, 19 digits.
  std::vector<std::string> texts = {
      "0",  "-0", "-0.0", "0.1", "9007199254740992", "9007199254740993", "900719925474099.3",
      "1e22", "1e23", "1e-22", "1e-23", "123456789012345678e-22", "1234567890123456789",
      "12345678901234567890", "0.30000000000000004", "4.35", "9900.01", "-12.50",
      "00000000000000000001.5", "1.7976931348623157e308", "5e-324"};
  std::mt19937_64 random(20261211);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 4 == 0 ? "-" : "";
    const int whole = static_cast<int>(random() % 17);
    const int fraction = static_cast<int>(random() % 12);
    for (int d = 0; d < std::max(whole, 1); ++d) text += static_cast<char>('0' + random() % 10);
    if (fraction > 0) {
      text += '.';
      for (int d = 0; d < fraction; ++d) text += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 60) - 30);
    texts.push_back(std::move(text));
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::optional<double> value = ParsePlainFloat(text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*value), std::bit_cast<std::uint64_t>(Nearest(text)));
  }
}

TEST_F(NumbersTest, StrictTextToFloatReadsNumbers) {
  const FloatCase cases[] = {
      {"fraction", "12.5", 12.5},
      {"surrounding blanks", " 12.5 ", 12.5},
      {"surrounding control characters", "\n1e3\t\r", 1000},
      {"sign", "-7", -7},
  };
  ExpectReads(StrictTextToFloat, cases);
}

TEST_F(NumbersTest, StrictTextToFloatRefusesSeparatorsAndJunk) {
  const BadCase cases[] = {
      {"thousand separator", "1,000"}, {"inner blank", "12 5"}, {"empty", ""},
      {"only blanks", "   "},          {"letters", "12abc"},    {"infinity word", "inf"},
  };
  ExpectRefused(StrictTextToFloat, cases);
  // The lenient reading drops the same thousand separator.
  EXPECT_EQ(TextToFloat("1,000"), 1000);
}

TEST_F(NumbersTest, StrictTextToFloatUnderCommaDecimal) {
  ScopedSeparators comma(',', '.');
  EXPECT_EQ(StrictTextToFloat(" 1,5 "), 1.5);
  EXPECT_FALSE(StrictTextToFloat("1.5").has_value());
  EXPECT_FALSE(StrictTextToFloat("1,5,0").has_value());
  const std::string long_text = std::string(300, '0') + "1,25";
  EXPECT_EQ(StrictTextToFloat(long_text), 1.25);
}

TEST_F(NumbersTest, StrictTextToFloatWithEqualSeparators) {
  // A thousand separator equal to the decimal one is no thousand separator.
  ScopedSeparators same(',', ',');
  EXPECT_EQ(StrictTextToFloat("1,5"), 1.5);
}

struct IntCase {
  const char* name;
  const char* input;
  std::int64_t expected;
};

TEST_F(NumbersTest, TextToInt64ReadsWholeNumbers) {
  const IntCase cases[] = {
      {"decimal", "12", 12},
      {"leading blanks and sign", " \t-12", -12},
      {"plus sign", "+7", 7},
      {"dollar hexadecimal", "$FF", 255},
      {"0x hexadecimal", "0x1F", 31},
      {"0X with lower-case digits", "0X1f", 31},
      {"binary", "%101", 5},
      {"octal", "&17", 15},
      {"negative hexadecimal", "-$10", -16},
      {"largest", "9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"smallest", "-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"leading zeros", "000000000000000000000042", 42},
      {"full hexadecimal pattern", "$FFFFFFFFFFFFFFFF", -1},
      {"zero", "-0", 0},
  };
  ExpectReads(TextToInt64, cases);
}

TEST_F(NumbersTest, TextToInt64RefusesOthers) {
  const BadCase cases[] = {
      {"empty", ""},
      {"trailing blank", "12 "},
      {"fraction", "1.0"},
      {"exponent", "1e3"},
      {"one above the largest", "9223372036854775808"},
      {"one below the smallest", "-9223372036854775809"},
      {"prefix without digits", "$"},
      {"0x without digits", "0x"},
      {"binary digit 2", "%2"},
      {"octal digit 8", "&8"},
      {"hexadecimal letter G", "$G"},
      {"seventeen hexadecimal digits", "$10000000000000000"},
      {"letters", "abc"},
      {"two signs", "--1"},
  };
  ExpectRefused(TextToInt64, cases);
}

TEST_F(NumbersTest, TextToBool) {
  struct Case {
    const char* input;
    bool expected;
  };
  const Case cases[] = {
      {"true", true}, {"FALSE", false}, {"TrUe", true}, {"1", true},   {"0.5", true},
      {"0", false},   {"-0", false},    {" 2", true},   {"1e3", true}, {"-1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::optional<bool> value = TextToBool(c.input);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.expected);
  }
  for (const char* bad : {"", "abc", "yes", " true", "true ", "1,0"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(TextToBool(bad).has_value());
  }
}

TEST_F(NumbersTest, TextToBoolIgnoresSeparators) {
  ScopedSeparators comma(',', '.');
  EXPECT_EQ(TextToBool("0.5"), true);
  EXPECT_FALSE(TextToBool("0,5").has_value());
}

TEST(FloatToInt64, RoundsHalfToEvenWithinRange) {
  struct Case {
    const char* name;
    double input;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"2.5 to even below", 2.5, 2},
      {"3.5 to even above", 3.5, 4},
      {"-2.5", -2.5, -2},
      {"-3.5", -3.5, -4},
      {"0.5", 0.5, 0},
      {"1.5", 1.5, 2},
      {"not a tie", 2.5000000000000004, 3},
      {"just below one half", 0.49999999999999994, 0},
      {"just above minus one half", -0.49999999999999994, 0},
      {"largest double below 2^63", 9223372036854774784.0, 9223372036854774784},
      {"-2^63", -9223372036854775808.0, std::numeric_limits<std::int64_t>::min()},
      {"2^63 is too large", 9223372036854775808.0, std::nullopt},
      {"1e300", 1e300, std::nullopt},
      {"infinity", kInf, std::nullopt},
      {"not a number", kNan, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FloatToInt64(c.input), c.expected);
  }
}

struct TextCase {
  const char* name;
  double input;
  const char* expected;
};

TEST_F(NumbersTest, FloatToTextGeneralFormat) {
  const TextCase cases[] = {
      {"sum shows no binary noise", 0.1 + 0.2, "0.3"},
      {"fifteen significant digits", 1.0 / 3, "0.333333333333333"},
      {"last digit rounded", 2.0 / 3, "0.666666666666667"},
      {"whole", 2.0, "2"},
      {"negative zero", -0.0, "0"},
      {"negative", -1.5, "-1.5"},
      {"trailing zeros of a whole number", 100, "100"},
      {"fifteen digits stay plain", 123456789012345.0, "123456789012345"},
      {"1E15 switches to the exponent", 1e15, "1E15"},
      {"rounding up to 1E15", 999999999999999.9, "1E15"},
      {"exponent with mantissa", 1.5e20, "1.5E20"},
      {"large rounded", 123456789012345678.0, "1.23456789012346E17"},
      {"0.0001 stays plain", 0.0001, "0.0001"},
      {"below 1E-4", 0.00005, "5E-5"},
      {"small with mantissa", 1.5e-7, "1.5E-7"},
      {"exact tie at the sixteenth digit rounds away", 2.384185791015625e-7, "2.38418579101563E-7"},
      {"largest double", std::numeric_limits<double>::max(), "1.79769313486232E308"},
      {"smallest subnormal", std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
      {"infinity", kInf, "INF"},
      {"negative infinity", -kInf, "-INF"},
      {"not a number", kNan, "NAN"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FloatToText(c.input), c.expected);
  }
}

TEST_F(NumbersTest, FloatToTextUsesDecimalSeparator) {
  ScopedSeparators comma(',', '.');
  EXPECT_EQ(FloatToText(1.5), "1,5");
  EXPECT_EQ(FloatToText(1234567.25), "1234567,25");
  EXPECT_EQ(FloatToText(1.5e20), "1,5E20");
  EXPECT_EQ(FloatToText(0.001), "0,001");
}

TEST_F(NumbersTest, FloatToTextReadsBack) {
  for (double v : {0.1, 1e-5, 123.456, -98765.4321, 1.5e20, 3e-300}) {
    SCOPED_TRACE(v);
    const std::optional<double> back = TextToFloat(FloatToText(v));
    ASSERT_TRUE(back.has_value());
    EXPECT_DOUBLE_EQ(*back, v);
  }
}

TEST(IntToText, Extremes) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-42), "-42");
  EXPECT_EQ(IntToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  std::string out = "n=";
  AppendIntText(7, out);
  AppendFloatText(0.5, out);
  EXPECT_EQ(out, "n=70.5");
}

}  // namespace
}  // namespace rtl

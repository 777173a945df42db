// Rounding half away from zero to decimal digits, checked against a slow
// reference that rounds the exact decimal expansion, over ties, near-ties and
// values spread across the whole double range.
#include "rtl/DecimalDigits.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace rtl::detail {
namespace {

// The exact digits of `v` (> 0) with the exponent of the first one.
std::string ExactDigits(double v, int& exponent) {
  std::vector<char> buffer(1200);
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                               std::chars_format::scientific, 800);
  std::string digits;
  const char* p = buffer.data();
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  ++p;  // 'e'
  const bool negative = *p++ == '-';
  exponent = 0;
  std::from_chars(p, r.ptr, exponent);
  if (negative) exponent = -exponent;
  return digits;
}

struct Exact {
  double value;
  std::string digits;
  int exponent = 0;
};

// Keeps `keep` digits of the exact expansion and rounds on the next one.
std::string ReferenceRound(const Exact& exact, bool fixed, int n) {
  if (exact.value == 0) return "";
  int exponent = exact.exponent;
  std::string digits = exact.digits;
  const int keep = fixed ? exponent + 1 + n : n;
  if (keep < 0) return "";
  const bool up = keep < static_cast<int>(digits.size()) && digits[keep] >= '5';
  digits.resize(keep);
  if (up) {
    int i = keep - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      ++exponent;
      if (!fixed) digits.pop_back();
    }
  }
  if (digits.empty()) return "";
  return digits + "e" + std::to_string(exponent);
}

std::string Text(const DecimalDigits& d) {
  if (d.count == 0) return "";
  return std::string(d.digits, d.count) + "e" + std::to_string(d.exponent);
}

std::vector<Exact> SampleValues() {
  std::vector<double> values = {0.125,
                                2.675,
                                1.005,
                                0.5,
                                1.5,
                                2.5,
                                9.995,
                                0.045,
                                1e23,
                                9.999999999999999e22,
                                5e-324,
                                1.7976931348623157e308,
                                2.384185791015625e-7,
                                999.5,
                                0.0005,
                                0.00049999999999999999};
  // Short decimals sit on or next to the ties that the guard digits cannot tell.
  for (int k = 1; k < 2000; k += 7) {
    values.push_back(k / 1000.0);
    values.push_back(k / 8.0);
    values.push_back(k * 0.005);
  }
  // Bit patterns spread over the whole range, from a fixed-seed generator.
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 1000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const double v = std::bit_cast<double>(state & 0x7FFFFFFFFFFFFFFFu);
    if (v == v && v < 1.7976931348623157e308 * 2) values.push_back(v);
  }
  std::vector<Exact> exact;
  for (double v : values) {
    Exact e{v, {}, 0};
    e.digits = ExactDigits(v, e.exponent);
    exact.push_back(e);
  }
  return exact;
}

TEST(DecimalDigits, RoundToDecimalsMatchesExactRounding) {
  for (const Exact& e : SampleValues()) {
    for (int n : {0, 1, 2, 3, 5, 18}) {
      SCOPED_TRACE(testing::Message() << e.value << " to " << n << " decimals");
      DecimalDigits d;
      RoundToDecimals(e.value, n, d);
      ASSERT_EQ(Text(d), ReferenceRound(e, true, n));
    }
  }
}

TEST(DecimalDigits, RoundToSignificantMatchesExactRounding) {
  for (const Exact& e : SampleValues()) {
    for (int n : {1, 2, 3, 15, 17}) {
      SCOPED_TRACE(testing::Message() << e.value << " to " << n << " digits");
      DecimalDigits d;
      RoundToSignificant(e.value, n, d);
      ASSERT_EQ(Text(d), ReferenceRound(e, false, n));
    }
  }
}

TEST(DecimalDigits, AppendGeneralLayout) {
  struct Case {
    const char* digits;
    int exponent;
    const char* expected;
  };
  const Case cases[] = {
      {"12345", 2, "123.45"}, {"1", 14, "100000000000000"}, {"1", 15, "1E15"},
      {"15", 20, "1.5E20"},   {"15", -7, "1.5E-7"},         {"12", -4, "0.00012"},
      {"1500", 3, "1500"},    {"1500", 0, "1.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    DecimalDigits d;
    d.count = static_cast<int>(std::char_traits<char>::length(c.digits));
    std::char_traits<char>::copy(d.digits, c.digits, d.count);
    d.exponent = c.exponent;
    std::string out;
    AppendGeneral(d, 15, '.', out);
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
}  // namespace rtl::detail

// The process-wide separators: the choice from the locale's texts, start-up
// from the environment's locale, and restoring by ScopedSeparators.
#include "rtl/Separators.h"

#include <gtest/gtest.h>

namespace rtl {
namespace {

TEST(Separators, FromLocaleTexts) {
  struct Case {
    const char* name;
    const char* decimal_point;
    const char* thousands_sep;
    char decimal;
    char thousand;
  };
  const Case cases[] = {
      {"point and comma", ".", ",", '.', ','},
      {"comma and point", ",", ".", ',', '.'},
      {"apostrophe grouping", ".", "'", '.', '\''},
      {"no grouping", ".", "", '.', ','},
      {"comma without grouping", ",", "", ',', '.'},
      {"comma with a multi-byte space", ",", "\xE2\x80\xAF", ',', '.'},
      {"multi-byte decimal", "\xD9\xAB", "", '.', ','},
      {"nothing", "", "", '.', ','},
      {"null texts", nullptr, nullptr, '.', ','},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SeparatorPair pair = SeparatorsFromLocale(c.decimal_point, c.thousands_sep);
    EXPECT_EQ(pair.decimal, c.decimal);
    EXPECT_EQ(pair.thousand, c.thousand);
  }
}

TEST(Separators, InitFromTheEnvironmentsLocale) {
  // The tests run under LC_ALL=C.UTF-8: "." and no grouping.
  ScopedSeparators keep(';', ';');
  InitLocaleSeparators();
  EXPECT_EQ(DecimalSeparator(), '.');
  EXPECT_EQ(ThousandSeparator(), ',');
}

TEST(Separators, ScopedSeparatorsRestore) {
  SetDecimalSeparator('.');
  SetThousandSeparator(',');
  {
    ScopedSeparators outer(',', '.');
    EXPECT_EQ(DecimalSeparator(), ',');
    EXPECT_EQ(ThousandSeparator(), '.');
    {
      ScopedSeparators inner('.', ' ');
      EXPECT_EQ(ThousandSeparator(), ' ');
    }
    EXPECT_EQ(DecimalSeparator(), ',');
    EXPECT_EQ(ThousandSeparator(), '.');
  }
  EXPECT_EQ(DecimalSeparator(), '.');
  EXPECT_EQ(ThousandSeparator(), ',');
}

}  // namespace
}  // namespace rtl

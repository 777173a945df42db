// Trimming and the comparisons that ignore letter case: ASCII folding touches
// only a to z, SameText folds other letters under a UTF-8 locale.
#include "rtl/Text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace rtl {
namespace {

using namespace std::string_literals;

TEST(TextTest, TrimBlanksDropsSpacesAndControlCharactersAtBothEnds) {
  struct Case {
    const char* name;
    std::string text;
    std::string trimmed;
  };
  const Case cases[] = {
      {"nothing to trim", "a b", "a b"},
      {"spaces, tabs and line ends", " \t\r\na b\n ", "a b"},
      {"NUL counts as a blank", "\0x\0"s, "x"},
      {"only blanks", " \t ", ""},
      {"empty", "", ""},
      {"bytes above 127 stay", "\xC3\xA9 ", "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrimBlanks(c.text), c.trimmed);
  }
}

TEST(TextTest, SameAsciiTextFoldsOnlyTheLettersAToZ) {
  EXPECT_TRUE(SameAsciiText("Work", "wORK"));
  EXPECT_FALSE(SameAsciiText("work", "works"));
  // '@' and '`' sit next to the letters: no folding makes them equal.
  EXPECT_FALSE(SameAsciiText("@", "`"));
  EXPECT_FALSE(SameAsciiText("[", "{"));
  EXPECT_FALSE(SameAsciiText("\xC3\x89", "\xC3\xA9"));  // É, é
}

TEST(TextTest, SameTextFoldsLettersBeyondAsciiUnderTheLocale) {
  std::setlocale(LC_ALL, "");
  if (MB_CUR_MAX == 1) std::setlocale(LC_ALL, "C.UTF-8");
  if (MB_CUR_MAX == 1) GTEST_SKIP() << "no UTF-8 locale";
  EXPECT_TRUE(SameText("Price", "PRICE"));
  EXPECT_TRUE(SameText("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"));  // Été, éTÉ
  EXPECT_FALSE(SameText("\xC3\xA9t\xC3\xA9", "ete"));
}

}  // namespace
}  // namespace rtl

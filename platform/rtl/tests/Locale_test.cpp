// Case folding, collation and case-insensitive search under a UTF-8 locale,
// including letters whose case forms differ in byte length and bytes that form
// no character.
#include "rtl/Locale.h"
#include "rtl/Text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace rtl {
namespace {

using namespace std::string_literals;

class LocaleTest : public ::testing::Test {
 protected:
  // The tests run under LC_ALL=C.UTF-8; started by hand without it, they still
  // need a UTF-8 locale.
  static void SetUpTestSuite() {
    std::setlocale(LC_ALL, "");
    if (MB_CUR_MAX == 1) std::setlocale(LC_ALL, "C.UTF-8");
  }
};

struct CaseCase {
  const char* name;
  std::string input;
  std::string expected;
};

TEST_F(LocaleTest, AnsiUpperCase) {
  const CaseCase cases[] = {
      {"ASCII", "abc XYZ 12", "ABC XYZ 12"},
      {"accented", "école", "ÉCOLE"},
      {"sharp s has no single upper case", "straße", "STRAßE"},
      {"dotless i shrinks to one byte", "ı", "I"},
      {"long s shrinks to one byte", "ſ", "S"},
      {"turned a grows to three bytes", "ɐ", "Ɐ"},
      {"invalid bytes stay", "\xE9t\xE9", "\xE9T\xE9"},
      {"cut multibyte character stays", "a\xC3", "A\xC3"},
      {"embedded NUL", "a\0b"s, "A\0B"s},
      {"empty", "", ""},
  };
  for (const CaseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiUpperCase(c.input), c.expected);
  }
}

TEST_F(LocaleTest, AnsiLowerCase) {
  const CaseCase cases[] = {
      {"ASCII", "ABC xyz", "abc xyz"},
      {"accented", "ÉCOLE", "école"},
      {"invalid bytes stay", "\xC9T", "\xC9t"},
  };
  for (const CaseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiLowerCase(c.input), c.expected);
  }
}

TEST_F(LocaleTest, AsciiCaseChangesOnlyAsciiLetters) {
  EXPECT_EQ(AsciiUpperCase("straße é"), "STRAßE é");
  EXPECT_EQ(AsciiLowerCase("ÉCOLE"), "École");
  EXPECT_EQ(AsciiUpperCase("a\0b"s), "A\0B"s);
}

TEST_F(LocaleTest, CompareStr) {
  struct Case {
    const char* name;
    std::string a;
    std::string b;
    int expected;
  };
  const Case cases[] = {
      {"less", "a", "b", -1},
      {"greater", "b", "a", 1},
      {"equal", "abc", "abc", 0},
      {"prefix is less", "ab", "abc", -1},
      {"case matters", "A", "a", -1},
      {"accented after ASCII", "é", "z", 1},
      {"segment after NUL decides", "a\0b"s, "a\0c"s, -1},
      {"fewer segments is less", "a", "a\0b"s, -1},
      {"trailing NUL is more", "a\0"s, "a", 1},
      {"first segment decides before NUL", "b\0a"s, "a\0z"s, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiCompareStr(c.a, c.b), c.expected);
    EXPECT_EQ(AnsiCompareStr(c.b, c.a), -c.expected);
  }
}

TEST_F(LocaleTest, CompareTextIgnoresCase) {
  EXPECT_EQ(AnsiCompareText("abc", "ABC"), 0);
  EXPECT_EQ(AnsiCompareText("école", "ÉCOLE"), 0);
  EXPECT_EQ(AnsiCompareText("a", "B"), -1);
  EXPECT_EQ(AnsiCompareText("b", "A"), 1);
  EXPECT_TRUE(AnsiSameText("Smith", "smith"));
  EXPECT_FALSE(AnsiSameText("Smith", "Smyth"));
  EXPECT_FALSE(AnsiSameText("a", "a\0"s));
}

TEST_F(LocaleTest, CollationKeyOrdersAsCompareStr) {
  const std::vector<std::string> texts = {
      "",  "a",    "A",     "ab",     "abc",   "b",    "é",    "É",  "z",      "10",
      "9", "a\0"s, "a\0b"s, "a\0\0"s, "b\0a"s, "\xE9", "\xFF", " a", "straße", "strasse",
  };
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      SCOPED_TRACE(testing::Message() << '"' << a << "\" vs \"" << b << '"');
      const int by_key = CollationKey(a).compare(CollationKey(b));
      const int expected = AnsiCompareStr(a, b);
      EXPECT_EQ(by_key < 0 ? -1 : (by_key > 0 ? 1 : 0), expected);
    }
  }
}

TEST_F(LocaleTest, FindTextIgnoreCase) {
  struct Case {
    const char* name;
    std::string text;
    std::string pattern;
    std::size_t from;
    std::size_t position;
    std::size_t length;
  };
  constexpr std::size_t npos = std::string::npos;
  const Case cases[] = {
      {"multibyte upper in lower text", "xéa", "ÉA", 0, 1, 3},
      {"ASCII", "User-1 user-2", "user-", 0, 0, 5},
      {"from skips the first", "User-1 user-2", "USER-", 1, 7, 5},
      {"match longer than the pattern", "xıy", "IY", 0, 1, 3},
      {"match shorter than the pattern", "xIy", "ıY", 0, 1, 2},
      {"invalid byte matches itself",
       "a\xE9"
       "b",
       "\xE9"
       "B",
       0, 1, 2},
      {"invalid byte is no character", "aéb", "\xC3", 0, npos, 0},
      {"no match inside a character", "\xC3\xA9", "\xA9", 0, npos, 0},
      {"absent", "abc", "d", 0, npos, 0},
      {"pattern longer than the text", "ab", "abc", 0, npos, 0},
      {"empty pattern", "abc", "", 0, npos, 0},
      {"from at the end", "abc", "c", 3, npos, 0},
      {"from beyond the end", "abc", "c", 10, npos, 0},
      {"embedded NUL", "a\0B"s, "\0b"s, 0, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t length = 0;
    EXPECT_EQ(FindTextIgnoreCase(c.text, c.pattern, c.from, length), c.position);
    if (c.position != npos) {
      EXPECT_EQ(length, c.length);
    }
    EXPECT_EQ(FindTextIgnoreCase(c.text, c.pattern, c.from), c.position);
  }
}

}  // namespace
}  // namespace rtl

// The start-up locale step under a German locale (made with localedef into a
// folder of the test's own): the separators come from the user's locale, and
// numbers are read and written with "." all the same.
#include "ProgramLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testing/temp_folder.h"
#include "rtl/Separators.h"

namespace {

// Puts the process back into the tests' locale whatever the test did.
class LocaleRestorer {
 public:
  ~LocaleRestorer() {
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::unsetenv("LOCPATH");
    std::setlocale(LC_ALL, "C.UTF-8");
  }
};

TEST(ProgramLocaleTest, TakesTheUsersSeparatorsAndKeepsNumbersInC) {
  rtl::testing::TempFolder locales;
  ASSERT_FALSE(locales.path().empty());
  const std::string locale_folder = locales.File("de_DE.UTF-8");
  const std::string command =
      "localedef -c -i de_DE -f UTF-8 '" + locale_folder + "' >/dev/null 2>&1";
  std::system(command.c_str());
  if (!std::filesystem::exists(locale_folder + "/LC_NUMERIC")) {
    GTEST_SKIP() << "localedef could not make de_DE.UTF-8 (locale sources not installed)";
  }

  rtl::ScopedSeparators keep_separators('.', ',');
  LocaleRestorer restore;
  ::setenv("LOCPATH", locales.path().c_str(), 1);
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  // What the GUI application object does when it is made.
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  ASSERT_EQ(std::strtod("1,5", nullptr), 1.5) << "the German locale is in force";

  app::TakeUserLocale();

  EXPECT_EQ(rtl::DecimalSeparator(), ',');
  EXPECT_EQ(rtl::ThousandSeparator(), '.');
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_STREQ(std::setlocale(LC_COLLATE, nullptr), "de_DE.UTF-8");
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "de_DE.UTF-8");
  EXPECT_EQ(std::strtod("1.5", nullptr), 1.5);
  EXPECT_EQ(std::stod("2.25"), 2.25);
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", 3.5);
  EXPECT_STREQ(text, "3.50");
}

TEST(ProgramLocaleTest, TheCLocaleGivesPointAndComma) {
  rtl::ScopedSeparators keep_separators(';', ';');
  LocaleRestorer restore;
  ::setenv("LC_ALL", "C.UTF-8", 1);
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  app::TakeUserLocale();
  EXPECT_EQ(rtl::DecimalSeparator(), '.');
  EXPECT_EQ(rtl::ThousandSeparator(), ',');
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST(ProgramLocaleTest, ALocaleThatIsNotInstalledGivesTheCSeparators) {
  // The C library falls back to "C" for it; so do the separators, whatever
  // another library would make of the name.
  rtl::ScopedSeparators keep_separators(';', ';');
  LocaleRestorer restore;
  ::setenv("LC_ALL", "xx_YY.UTF-8", 1);
  std::setlocale(LC_ALL, "");
  app::TakeUserLocale();
  EXPECT_EQ(rtl::DecimalSeparator(), '.');
  EXPECT_EQ(rtl::ThousandSeparator(), ',');
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

}  // namespace

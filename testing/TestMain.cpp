// The main of every test program. It sets the locale the tests are written
// for before any test runs, so that a test binary started by hand, from any
// environment, behaves as it does under CTest.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kTestLocale = "C.UTF-8";

}  // namespace

int main(int argc, char** argv) {
  // The environment too, not only the process locale: the program takes the
  // user's locale with setlocale(LC_ALL, "") at start-up, and so do the tests
  // that start the way it does. Under LANG=de_DE.UTF-8 that would make ","
  // the decimal separator of every test reading "1.5".
  ::setenv("LC_ALL", kTestLocale, 1);
  // LANGUAGE outranks LC_ALL for message texts; the tests compare the C texts
  // ("No such file or directory").
  ::unsetenv("LANGUAGE");
  if (std::setlocale(LC_ALL, kTestLocale) == nullptr) {
    std::fprintf(stderr, "The locale %s is not available; the tests need it.\n", kTestLocale);
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Ordering of texts that hold control characters: the collation compares
// copies of the texts in which every NUL byte is a blank, so a NUL sorts
// with the blank, after a tab and before "!".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/engine_test_util.h"

namespace vek {
namespace {

using Lines = std::vector<std::string>;

class ControlCharacterOrderTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // The file escapes: \0 is a NUL byte, \t a tab.
    dir_.Write("n.txt",
               "k;v\n"
               "nul;a\\0b\n"
               "bang;a!b\n"
               "tab;a\\tb\n"
               "blank;a c\n");
  }

  // The k column of `sql`'s result.
  Lines Keys(const std::string& sql) {
    Lines keys;
    int n = engine_.ExecuteSQL(sql);
    EXPECT_GT(n, 0) << sql << ": " << TvekSQL::GetLastError();
    if (n <= 0) return keys;
    for (const TvekRecord& row : engine_.GetRecordSet(n)->Records) {
      keys.emplace_back(row.Cell(0));
    }
    return keys;
  }
};

TEST_F(ControlCharacterOrderTest, NulSortsAsABlank) {
  EXPECT_EQ(Keys("SELECT k, v FROM n ORDER BY v"), (Lines{"tab", "nul", "blank", "bang"}));
  EXPECT_EQ(Keys("SELECT k, v FROM n ORDER BY v DESC"), (Lines{"bang", "blank", "nul", "tab"}));
}

}  // namespace
}  // namespace vek

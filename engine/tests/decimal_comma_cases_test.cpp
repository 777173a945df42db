// Statements under a process-wide decimal comma (thousand separator "."):
// number literals keep "." as their decimal point, cells are read with the
// process separators, results are written with the decimal comma, and the
// strict readings refuse a thousand separator.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace vek {
namespace {

using Lines = std::vector<std::string>;

class DecimalCommaTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();  // takes the separators from the locale
    separators_.emplace(',', '.');
    dir_.Write("c.txt",
               "k;v\n"
               "a;1,5\n"
               "b;1.5\n"
               "c;2\n"
               "d;1.000,25\n");
  }

  std::optional<rtl::ScopedSeparators> separators_;
};

TEST_F(DecimalCommaTest, CellsAndLiterals) {
  struct Case {
    const char* sql;
    Lines expected;
  };
  const Case cases[] = {
      // "1.5" in a cell is 15 (the "." is a thousand separator); the literal
      // 1.5 is one and a half.
      {"SELECT k, v * 1 AS n, v + 1 AS p, 1.5 * 2 AS lit, 1 / 4 AS q FROM c",
       {"k|n|p|lit|q", "a|1,5|2,5|3|0,25", "b|15|16|3|0,25", "c|2|3|3|0,25",
        "d|1000,25|1001,25|3|0,25"}},
      {"SELECT k FROM c WHERE v = 1.5", {"k", "a"}},
      {"SELECT k, v FROM c WHERE v < 2", {"k|v", "a|1,5"}},
      // IN compares texts: the item is 1.5 as written.
      {"SELECT k FROM c WHERE v in (1.5)", {"k", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(c.sql), c.expected);
  }
}

TEST_F(DecimalCommaTest, StrictReadingsRefuseTheThousandSeparator) {
  EXPECT_EQ(Query("SELECT k, asnumber(v) AS a, isnumeric(v) AS i, fix(v, 1) AS f, "
                  "format(v, '%.2f') AS fm, sqrt(v) AS r FROM c"),
            (Lines{"k|a|i|f|fm|r", "a|1,5|True|1,5|1,50|1,22474487139159",
                   "b|0|False|1.5|1.5|3,87298334620742", "c|2|True|2,0|2,00|1,4142135623731",
                   "d|0|False|1.000,25|1.000,25|31,6267292017369"}));
}

TEST_F(DecimalCommaTest, GroupingAndOrdering) {
  EXPECT_EQ(Query("SELECT sum(v) AS s, avg(v) AS m FROM c WHERE k = 'a' OR k = 'c'"),
            (Lines{"s|m", "3,5|1,75"}));
  EXPECT_EQ(Query("SELECT k, v FROM c WHERE k = 'a' OR k = 'c' ORDER BY #v DESC"),
            (Lines{"k|v", "c|2", "a|1,5"}));
}

// A comma is SQL syntax, never a decimal point in a statement.
TEST_F(DecimalCommaTest, ACommaInAConditionIsNoNumber) {
  EXPECT_EQ(Error("SELECT k FROM c WHERE v > 1,4"),
            "SELECT: Comma outside a function call: v > 1,4");
}

}  // namespace
}  // namespace vek

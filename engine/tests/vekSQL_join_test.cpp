// Joins answered by hash look-ups must give exactly the rows, row order and
// failures of the nested loop over the whole product. A condition with an OR at
// its top level always runs the nested loop, so "(cond) OR 1 = 0" is the
// reference for "cond".
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

class JoinTest : public EngineTest {
 protected:
  // A table of `rows` rows whose cells are drawn from a few values, with an
  // occasional short row and non-numeric text, so that equal keys, missing
  // cells and evaluation failures all occur.
  void WriteRandomTable(std::mt19937& rng, const std::string& name, int rows) {
    static const char* kValues[] = {"1", "2", "3", "", "x", "10", "2.0"};
    std::uniform_int_distribution<int> pick(0, 6);
    std::uniform_int_distribution<int> shape(0, 9);
    std::string text = "k;v;w\n";
    for (int r = 0; r < rows; ++r) {
      int cells = shape(rng) == 0 ? 1 : 3;
      for (int c = 0; c < cells; ++c) {
        if (c) text += ';';
        text += kValues[pick(rng)];
      }
      text += '\n';
    }
    dir_.Write(name + ".txt", text);
  }

  // Runs `sql`; returns its rows, or "ERROR: " + the error text.
  std::vector<std::string> Answer(const std::string& sql) {
    TvekSQL engine;
    engine.ExecuteSQL("connect to '" + dir_.path() + "'");
    int n = engine.ExecuteSQL(sql);
    if (n <= 0) return {"ERROR: " + TvekSQL::GetLastError().substr(0, 40)};
    return Rows(*engine.GetRecordSet(n));
  }
};

TEST_F(JoinTest, HashJoinAgreesWithNestedLoopOnRandomTables) {
  const char* kConditions[] = {
      "a.k = b.k",
      "a.k = b.v AND b.w = c.k",
      "a.k = b.k AND a.v = '1'",
      "a.k = b.k AND b.v > 1",  // fails on rows whose v is not a number
      "b.k = a.k AND c.w = a.v AND c.k <> ''",
      "a.k = b.k AND a.k = b.v",
      "a.k = a.v AND b.k = c.k",
      "a.k = b.k AND 1 = 1",
      "a.k = b.k AND 1 = 0",
      "a.k = b.k AND (a.v = '2' OR b.v = '3')",
      "a.k = b.k AND c.k = a.v AND not b.w = c.w",
  };
  std::mt19937 rng(20261210);
  for (int round = 0; round < 12; ++round) {
    WriteRandomTable(rng, "a", 1 + round % 7);
    WriteRandomTable(rng, "b", 1 + (round * 3) % 8);
    WriteRandomTable(rng, "c", 1 + (round * 5) % 6);
    for (const char* condition : kConditions) {
      std::string select = "SELECT a.k, b.k, c.v, a.v FROM a, b, c WHERE ";
      SCOPED_TRACE(std::string(condition) + " round " + std::to_string(round));
      EXPECT_EQ(Answer(select + condition), Answer(select + "(" + condition + ") OR 1 = 0"));
    }
  }
}

TEST_F(JoinTest, EqualityJoinOfTwoTablesKeepsProductOrder) {
  dir_.Write("u.txt", "id;g\n1;b\n2;a\n3;b\n4;c\n");
  dir_.Write("g.txt", "g;name\nb;B1\na;A\nb;B2\n");
  EXPECT_EQ(Query("SELECT u.id, g.name FROM u, g WHERE u.g = g.g"),
            (std::vector<std::string>{"u.id|g.name", "1|B1", "1|B2", "2|A", "3|B1", "3|B2"}));
  EXPECT_EQ(Query("SELECT g.name, u.id FROM g, u WHERE u.g = g.g AND u.id > 1"),
            (std::vector<std::string>{"g.name|u.id", "B1|3", "A|2", "B2|3"}));
}

}  // namespace
}  // namespace vek::testing

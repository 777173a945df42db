// Ordering of result record sets: text keys by collation, "#" keys by number,
// descending keys, several keys, stability, unknown keys; and, through SQL,
// ORDER BY after grouping and sub-selects in IN (nested batches, numbering).
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <random>
#include <string>
#include <vector>

#include "engine/vekSQL.h"
#include "engine/vekSQL_select.h"
#include "records_test_util.h"
#include "rtl/Locale.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace vek {
namespace {

using testing::Rows;
using Cells = std::vector<std::vector<std::string>>;
using Lines = std::vector<std::string>;

TvekRecordSet MakeResult(const std::vector<std::string>& names, const Cells& cells) {
  TvekRecordSet set = testing::MakeSet(names, cells);
  set.Name = "$$$0";
  set.Aggregates.assign(names.size(), toNone);
  return set;
}

class OrderTest : public ::testing::Test {
 protected:
  Lines Order(TvekRecordSet& set, std::string_view order_text) {
    Status s = OrderBy(engine_, set, order_text);
    EXPECT_TRUE(s.ok()) << s.message();
    return Rows(set);
  }

  rtl::ScopedSeparators separators_{'.', ','};
  TvekSQL engine_;
};

struct OrderCase {
  const char* name;
  const char* order_text;
  Lines expected;
};

// One column v, rows "10", "9", "100", "abc", "", "-2.5", "1e1".
TEST_F(OrderTest, OneKey) {
  const Cells cells = {{"10"}, {"9"}, {"100"}, {"abc"}, {""}, {"-2.5"}, {"1e1"}};
  const OrderCase cases[] = {
      // Not marked "#": numbers compare as text.
      {"text", "v", {"v", "", "-2.5", "10", "100", "1e1", "9", "abc"}},
      {"text_ascending_mark", "v+", {"v", "", "-2.5", "10", "100", "1e1", "9", "abc"}},
      {"text_descending", "v-", {"v", "abc", "9", "1e1", "100", "10", "-2.5", ""}},
      // "abc" and "" sort where 0 does; equal numbers keep their order (10, 1e1).
      {"numeric", "#v", {"v", "-2.5", "abc", "", "9", "10", "1e1", "100"}},
      {"numeric_descending", "#v-", {"v", "100", "10", "1e1", "9", "abc", "", "-2.5"}},
      {"name_ignores_case", "#V", {"v", "-2.5", "abc", "", "9", "10", "1e1", "100"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = MakeResult({"v"}, cells);
    EXPECT_EQ(Order(set, c.order_text), c.expected);
  }
}

TEST_F(OrderTest, SeveralKeys) {
  const Cells cells = {{"b", "2", "r1"}, {"a", "10", "r2"}, {"b", "1", "r3"},
                       {"a", "9", "r4"}, {"b", "2", "r5"},  {"a", "10", "r6"}};
  const OrderCase cases[] = {
      {"first_descending_then_ascending",
       "a-;#n",
       {"a|n|id", "b|1|r3", "b|2|r1", "b|2|r5", "a|9|r4", "a|10|r2", "a|10|r6"}},
      {"numeric_descending_then_text_descending",
       "#n-;id-",
       {"a|n|id", "a|10|r6", "a|10|r2", "a|9|r4", "b|2|r5", "b|2|r1", "b|1|r3"}},
      {"text_second_key_compares_as_text",
       "a;n",
       {"a|n|id", "a|10|r2", "a|10|r6", "a|9|r4", "b|1|r3", "b|2|r1", "b|2|r5"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = MakeResult({"a", "n", "id"}, cells);
    EXPECT_EQ(Order(set, c.order_text), c.expected);
  }
}

// A column named by its expression keeps its inner signs; only a trailing
// "+" or "-" gives the direction.
TEST_F(OrderTest, ColumnNamesHoldingSigns) {
  const Cells cells = {{"1", "x"}, {"3", "y"}, {"2", "z"}};
  const OrderCase cases[] = {
      {"plain", "#a+b", {"a+b|a-b", "1|x", "2|z", "3|y"}},
      {"descending", "#a+b-", {"a+b|a-b", "3|y", "2|z", "1|x"}},
      {"minus_inside", "a-b-", {"a+b|a-b", "2|z", "3|y", "1|x"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = MakeResult({"a+b", "a-b"}, cells);
    EXPECT_EQ(Order(set, c.order_text), c.expected);
  }
}

TEST_F(OrderTest, NumericKeysFollowTheProcessDecimalSeparator) {
  rtl::ScopedSeparators comma(',', '.');
  TvekRecordSet set = MakeResult({"v"}, {{"1,5"}, {"1,25"}, {"-0,5"}});
  EXPECT_EQ(Order(set, "#v"), (Lines{"v", "-0,5", "1,25", "1,5"}));
}

// Restores the process's collation on destruction.
class ScopedCollation {
 public:
  explicit ScopedCollation(const char* name) : old_(std::setlocale(LC_COLLATE, nullptr)) {
    ok_ = std::setlocale(LC_COLLATE, name) != nullptr;
  }
  ~ScopedCollation() { std::setlocale(LC_COLLATE, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

// In the C locales collation is byte order: upper case before lower case.
// "C" sorts the cells themselves, the others their collation keys: both give
// one order, also for keys that share a long beginning or differ only in length.
TEST_F(OrderTest, TextKeysUseTheCollation) {
  const std::vector<Lines> cases = {
      {"", "Apple", "Banana", "apple", "banana", "customer1", "\xc3\xa9t\xc3\xa9"},
      {"customer", "customer1", "customer10", "customer10000", "customer100000", "customer100001",
       "customer2", "customer9"},
  };
  for (const char* locale : {"C", "C.UTF-8"}) {
    ScopedCollation collation(locale);
    ASSERT_TRUE(collation.ok()) << locale;
    for (const Lines& sorted : cases) {
      SCOPED_TRACE(std::string(locale) + " " + sorted[1]);
      // The rows in a scrambled order: every third one from the back.
      Cells cells;
      for (std::size_t i = 0; i < sorted.size(); ++i) {
        cells.push_back({sorted[(sorted.size() - 1 - i * 3 % sorted.size())]});
      }
      Lines ascending = sorted;
      ascending.insert(ascending.begin(), "w");
      Lines descending(sorted.rbegin(), sorted.rend());
      descending.insert(descending.begin(), "w");
      TvekRecordSet set = MakeResult({"w"}, cells);
      EXPECT_EQ(Order(set, "w"), ascending);
      EXPECT_EQ(Order(set, "w-"), descending);
    }
  }
}

TEST_F(OrderTest, NothingToSortOrNoKeys) {
  TvekRecordSet empty = MakeResult({"v"}, {});
  EXPECT_EQ(Order(empty, "v"), (Lines{"v"}));
  TvekRecordSet one = MakeResult({"v"}, {{"x"}});
  EXPECT_EQ(Order(one, "#v-"), (Lines{"v", "x"}));
  TvekRecordSet unsorted = MakeResult({"v"}, {{"b"}, {"a"}});
  EXPECT_EQ(Order(unsorted, ""), (Lines{"v", "b", "a"}));
}

TEST_F(OrderTest, UnknownKeyFailsAndLeavesTheRowsUnsorted) {
  struct Case {
    const char* order_text;
    const char* error;
  } cases[] = {
      {"nosuch", "ORDER BY: unknown column nosuch"},
      {"a;nosuch", "ORDER BY: unknown column nosuch"},
      {"#x-;a", "ORDER BY: unknown column x"},
      {"a;#", "ORDER BY: unknown column "},
  };
  for (const Case& c : cases) {
    for (const Cells& cells : {Cells{}, Cells{{"b"}, {"c"}, {"a"}}}) {
      SCOPED_TRACE(std::string(c.order_text) + " rows " + std::to_string(cells.size()));
      TvekRecordSet set = MakeResult({"a"}, cells);
      Lines before = Rows(set);
      Status s = OrderBy(engine_, set, c.order_text);
      EXPECT_FALSE(s.ok());
      EXPECT_EQ(s.message(), c.error);
      EXPECT_EQ(Rows(set), before);
    }
  }
}

// Many rows with many equal keys: the result is the rows, each once, ordered by
// the key and, among equal keys, in their old order.
TEST_F(OrderTest, ManyRowsSortStablyAndKeepEveryRow) {
  std::mt19937 random(7);
  Cells cells;
  for (int i = 0; i < 5000; ++i) {
    cells.push_back({std::to_string(static_cast<int>(random() % 200) - 100), std::to_string(i)});
  }
  TvekRecordSet set = MakeResult({"k", "i"}, cells);
  ASSERT_TRUE(OrderBy(engine_, set, "#k-").ok());
  ASSERT_EQ(set.RecordCount(), 5000);
  std::vector<bool> seen(5000, false);
  for (int r = 0; r < 5000; ++r) {
    const TvekRecord& row = set.Records[r];
    int i = std::stoi(std::string(row.Cell(1)));
    ASSERT_FALSE(seen[i]);
    seen[i] = true;
    EXPECT_EQ(row.Cell(0), cells[i][0]);
    if (r == 0) continue;
    const TvekRecord& prev = set.Records[r - 1];
    int k = std::stoi(std::string(row.Cell(0)));
    int prev_k = std::stoi(std::string(prev.Cell(0)));
    ASSERT_LE(k, prev_k);
    if (k == prev_k) {
      ASSERT_LT(std::stoi(std::string(prev.Cell(1))), i);
    }
  }
}

// Keys that share long beginnings, equal in the eight bytes after what all of
// them share but not beyond, of every length around eight, with a second key:
// the rows come out as a plain stable sort on the whole keys puts them; also
// where so many rows are sorted in parts side by side and merged.
void ExpectStableSortOfTheWholeKeys(int rows);

TEST_F(OrderTest, RowsComeOutAsAStableSortOfTheWholeKeys) {
  for (int rows : {3000, 300000}) {
    SCOPED_TRACE(rows);
    ExpectStableSortOfTheWholeKeys(rows);
  }
}

void ExpectStableSortOfTheWholeKeys(int rows) {
  TvekSQL engine;
  ASSERT_TRUE(rtl::CollationIsByteOrder());
  std::mt19937 random(11);
  Cells cells;
  for (int i = 0; i < rows; ++i) {
    std::string key = "customer";
    const int length = static_cast<int>(random() % 12);
    for (int c = 0; c < length; ++c) key += static_cast<char>('a' + random() % 3);
    cells.push_back({key, std::to_string(static_cast<int>(random() % 7) - 3), std::to_string(i)});
  }
  std::vector<int> numbers;
  for (const auto& row : cells) numbers.push_back(std::stoi(row[1]));
  struct Order {
    const char* text;
    bool text_ascending;
    int number_direction;  // 0: no second key
  };
  for (const Order& order : {Order{"s+", true, 0}, Order{"s-", false, 0},
                             Order{"s+;#n-", true, -1}, Order{"s-;#n+", false, 1}}) {
    SCOPED_TRACE(order.text);
    std::vector<int> expected(cells.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
    std::stable_sort(expected.begin(), expected.end(), [&](int x, int y) {
      const int c = cells[x][0].compare(cells[y][0]);
      if (c != 0) return order.text_ascending ? c < 0 : c > 0;
      const int a = numbers[x];
      const int b = numbers[y];
      return order.number_direction > 0 ? a < b : order.number_direction < 0 && a > b;
    });
    TvekRecordSet set = MakeResult({"s", "n", "i"}, cells);
    ASSERT_TRUE(OrderBy(engine, set, order.text).ok());
    std::vector<int> got;
    for (const TvekRecord& row : set.Records) got.push_back(std::stoi(std::string(row.Cell(2))));
    EXPECT_EQ(got, expected);
  }
}

// ---- Through SQL -----------------------------------------------------------------

class OrderSqlTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("users.txt",
               "userid;name;productid\n"
               "1;Ann;10\n"
               "2;bob;9\n"
               "3;Cid;100\n"
               "4;Dee;9\n");
    dir_.Write("products.txt",
               "productid;productname\n"
               "9;Icon set\n"
               "10;Pencil\n"
               "100;Icon font\n"
               "9.0;Nine\n");
  }
};

TEST_F(OrderSqlTest, OrderByAfterGroupingAndHaving) {
  struct Case {
    const char* sql;
    Lines expected;
  } cases[] = {
      {"select productid from users order by productid", {"productid", "10", "100", "9", "9"}},
      {"select productid from users order by #productid desc",
       {"productid", "100", "10", "9", "9"}},
      {"select productid, count(userid) as n from users group by productid order by n desc, "
       "#productid",
       {"productid|n", "9|2", "10|1", "100|1"}},
      {"select productid, count(userid) as n from users group by productid having n < 2 "
       "order by #productid desc",
       {"productid|n", "100|1", "10|1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(c.sql), c.expected);
  }
}

TEST_F(OrderSqlTest, UnknownOrderKeyFailsTheStatement) {
  EXPECT_EQ(Error("select name from users order by userid"), "ORDER BY: unknown column userid");
  EXPECT_EQ(Error("select name from users order by name, nosuch desc"),
            "ORDER BY: unknown column nosuch");
}

TEST_F(OrderSqlTest, SubSelectsInIn) {
  struct Case {
    const char* sql;
    Lines expected;
  } cases[] = {
      {"select name from users where productid in (select productid from products where "
       "productname like 'Icon%') order by name",
       {"name", "Cid", "Dee", "bob"}},
      // Letter case of the inner SELECT does not matter.
      {"select name from users where productid in (SELECT productid FROM products WHERE "
       "productname = 'Pencil')",
       {"name", "Ann"}},
      // The inner statement keeps its own brackets.
      {"select name from users where upper(name) in (select upper(name) from users where "
       "userid > 2)",
       {"name", "Cid", "Dee"}},
      // Membership is exact: "9" is not "9.0".
      {"select name from users where productid in (select productid from products where "
       "productname = 'Nine')",
       {"name"}},
      {"select name from users where productid in (select productid from products where "
       "productname = 'nothing')",
       {"name"}},
      // A sub-select inside a sub-select.
      {"select name from users where userid in (select userid from users where productid in "
       "(select productid from products where productname = 'Icon set'))",
       {"name", "bob", "Dee"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(c.sql), c.expected);
  }
}

// Each sub-select is a batch of its own: its result takes a name and number
// and is released, so the outer result is the next set after the open tables.
TEST_F(OrderSqlTest, SubSelectBatchesAndNumbering) {
  int n = engine_.ExecuteSQL(
      "select name from users where productid in (select productid from products); "
      "select name from users where userid in (select userid from users where productid in "
      "(select productid from products where productid = '9'))");
  ASSERT_GT(n, 0) << TvekSQL::GetLastError();
  EXPECT_EQ(TvekSQL::GetLastError(), "OK");
  // users and products are open; the first statement's result stays; the
  // sub-select results were released.
  ASSERT_EQ(engine_.RecordSetCount(), 4);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(Rows(*engine_.GetRecordSet(3)), (Lines{"name", "Ann", "bob", "Cid", "Dee"}));
  EXPECT_EQ(Rows(*engine_.GetRecordSet(4)), (Lines{"name", "bob", "Dee"}));
  // Results are named in the order they were made: $$$0 for the first
  // statement's sub-select, $$$1 for its result, then $$$2 and $$$3 for the
  // nested sub-selects and $$$4 for the last result.
  EXPECT_EQ(engine_.GetRecordSet(3)->Name, "$$$1");
  EXPECT_EQ(engine_.GetRecordSet(4)->Name, "$$$4");
}

TEST_F(OrderSqlTest, FailingSubSelectFailsTheStatementWithItsText) {
  EXPECT_EQ(Error("select name from users where productid in (select productid from nosuch)"),
            "SELECT: can not find table nosuch");
}

// select name from users where userid in (select userid from users where
// userid in (... select userid from users where userid > 2 ...)): `levels`
// sub-selects, each inside the one before.
std::string NestedSubSelects(int levels) {
  std::string sql = "select name from users where userid in (";
  for (int i = 1; i < levels; ++i) sql += "select userid from users where userid in (";
  sql += "select userid from users where userid > 2";
  sql.append(static_cast<std::size_t>(levels), ')');
  return sql;
}

TEST_F(OrderSqlTest, SubSelectsNestUpToALimit) {
  EXPECT_EQ(Query(NestedSubSelects(64)), (Lines{"name", "Cid", "Dee"}));
  // One level more, or thousands, which would take the stack: refused alike.
  for (int levels : {65, 20000}) {
    SCOPED_TRACE(levels);
    EXPECT_EQ(Error(NestedSubSelects(levels)), "Sub-select nested too deeply");
  }
  // The count of levels starts again with the next statement.
  EXPECT_EQ(Query(NestedSubSelects(64)), (Lines{"name", "Cid", "Dee"}));
}

}  // namespace
}  // namespace vek

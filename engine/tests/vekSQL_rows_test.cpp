// INSERT INTO ... VALUES, INSERT INTO ... SELECT, UPDATE and DELETE FROM: their
// forms and error texts, the order of their checks, and that a failing
// statement leaves the table as it was. Tables are checked in memory: these
// statements never write a file.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

using Lines = std::vector<std::string>;

const char kPeople[] =
    "id;name;city;n\n"
    "1;John Smith;Paris;10\n"
    "2;John Smith;Rome;-1\n"
    "3;Ann Lee;Paris;20\n";
const Lines kPeopleRows = {"id|name|city|n", "1|John Smith|Paris|10", "2|John Smith|Rome|-1",
                           "3|Ann Lee|Paris|20"};

struct Case {
  const char* name;
  const char* sql;
  Lines rows;  // the table afterwards
};

struct ErrorCase {
  const char* name;
  const char* sql;
  const char* error;
};

class RowsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("t.txt", kPeople);
    dir_.Write("empty.txt", "id;name\n");
  }

  // A new engine on the test folder: each case starts from the files.
  std::unique_ptr<TvekSQL> NewEngine() {
    auto engine = std::make_unique<TvekSQL>();
    EXPECT_EQ(engine->ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    return engine;
  }

  // The rows of a table as the engine holds it in memory.
  static Lines Table(TvekSQL& engine, const std::string& name) {
    TvekRecordSet* set = engine.GetRecordSet(engine.FindRecordSet(name));
    if (!set) return {"no table " + name};
    return Rows(*set);
  }
  static bool Modified(TvekSQL& engine, const std::string& name) {
    TvekRecordSet* set = engine.GetRecordSet(engine.FindRecordSet(name));
    return set && set->Modified;
  }

  void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      auto engine = NewEngine();
      ASSERT_EQ(engine->ExecuteSQL(c.sql), -1) << c.sql << ": " << TvekSQL::GetLastError();
      EXPECT_EQ(Table(*engine, "t"), c.rows) << c.sql;
      EXPECT_TRUE(Modified(*engine, "t"));
      EXPECT_EQ(dir_.Read("t.txt"), kPeople) << "only COMMIT or SAVE TABLE write the file";
    }
  }

  // Each statement must fail with its text and leave t as the file holds it.
  void RunErrors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
      SCOPED_TRACE(c.name);
      auto engine = NewEngine();
      ASSERT_GT(engine->GetTableIndex("t"), 0);
      const int sets = engine->RecordSetCount();
      EXPECT_EQ(engine->ExecuteSQL(c.sql), 0) << c.sql;
      EXPECT_EQ(TvekSQL::GetLastError(), c.error) << c.sql;
      EXPECT_EQ(Table(*engine, "t"), kPeopleRows);
      EXPECT_FALSE(Modified(*engine, "t"));
      EXPECT_EQ(engine->RecordSetCount(), sets) << "no table opened or result left behind";
    }
  }
};

// ---- INSERT INTO ... VALUES ----------------------------------------------------

TEST_F(RowsTest, InsertValuesForms) {
  auto with = [](std::string row) {
    Lines rows = kPeopleRows;
    rows.push_back(std::move(row));
    return rows;
  };
  RunCases({
      {"values fill the columns in order", "INSERT INTO t VALUES (4, 'Bo', 'Oslo', 5)",
       with("4|Bo|Oslo|5")},
      {"fewer values leave the other cells empty", "INSERT INTO t VALUES (4)", with("4|||")},
      {"a column list in its own order", "INSERT INTO t (n, id) VALUES (1, 2)", with("2|||1")},
      {"column names ignore letter case", "INSERT INTO t (CITY) VALUES ('Oslo')", with("||Oslo|")},
      {"of a column named twice the later value stays", "INSERT INTO t (id, ID) VALUES (1, 2)",
       with("2|||")},
      {"numbers keep their characters, quoted texts their commas and blanks",
       "INSERT INTO t VALUES (1.50, 'x, y', -3, ' a ')", with("1.50|x, y|-3| a ")},
      {"adjacent tokens run together", "INSERT INTO t VALUES (1 2)", with("12|||")},
      {"values are never evaluated; a function's bracket ends the list",
       "INSERT INTO t VALUES (upper('a'), 2)", with("upper('a'|||")},
      {"an empty value between commas", "INSERT INTO t VALUES (1, , 3)", with("1||3|")},
      {"a comma at the end adds an empty last value", "INSERT INTO t VALUES (1, 2,)",
       with("1|2||")},
      {"tokens after the closing bracket are ignored", "INSERT INTO t VALUES (4) x y",
       with("4|||")},
      {"keywords in any letter case", "insert into t values (4)", with("4|||")},
      {"a row appended is visible to the next statement",
       "INSERT INTO t VALUES (4); UPDATE t SET n = 7 WHERE id = 4", with("4|||7")},
  });
}

TEST_F(RowsTest, InsertValuesErrors) {
  const char* count = "INSERT INTO: number of columns and values is different";
  RunErrors({
      {"too few tokens", "INSERT INTO t VALUES", "No tokens"},
      {"INTO missing", "INSERT t VALUES (1) x", "No tokens"},
      {"column list without )", "INSERT INTO t (id, n VALUES", "No tokens"},
      {"empty column list", "INSERT INTO t () VALUES (5)", "No tokens"},
      {"VALUES misspelt", "INSERT INTO t VALUE (1)", "SQLInsert: missing VALUES"},
      {"VALUES not right after the column list", "INSERT INTO t (id) x VALUES (1)",
       "SQLInsert: missing VALUES"},
      {"fewer than two tokens after VALUES", "INSERT INTO t (id) VALUES (",
       "SQLInsert: missing VALUES"},
      {"no ( after VALUES", "INSERT INTO t VALUES 1, 2", "SQLInsert: missing ( after VALUES"},
      {"no ) after the values", "INSERT INTO t VALUES (1, 2", "SQLInsert: missing ) after VALUES"},
      {"nothing between the brackets", "INSERT INTO t VALUES ()",
       "SQLInsert: no values after VALUES"},
      {"empty table name", "INSERT INTO '' VALUES (1)",
       "Missing table name in INSERT INTO component"},
      {"unknown table", "INSERT INTO nosuch VALUES (1)", "Table nosuch not open"},
      {"a quoted value not followed by a comma", "INSERT INTO t VALUES ('a' 'b')",
       "INSERT INTO parsing values:missing ,"},
      {"a quoted value followed by a number", "INSERT INTO t VALUES ('a' 1, 2)",
       "INSERT INTO parsing values:missing ,"},
      {"fewer values than listed columns", "INSERT INTO t (id, n) VALUES (1)", count},
      {"a listed column the table lacks", "INSERT INTO t (id, zz) VALUES (1, 2)", count},
      {"more values than the table has columns", "INSERT INTO t VALUES (1, 2, 3, 4, 5)", count},
      // The order of the checks: syntax, table, values, columns.
      {"syntax before the table", "INSERT INTO nosuch VALUES ()",
       "SQLInsert: no values after VALUES"},
      {"the table before the values", "INSERT INTO nosuch VALUES ('a' 'b')",
       "Table nosuch not open"},
      {"the values before the columns", "INSERT INTO t (zz) VALUES ('a' 'b')",
       "INSERT INTO parsing values:missing ,"},
  });
}

TEST_F(RowsTest, InsertIntoATableWithoutColumns) {
  dir_.Write("blank.txt", "");
  auto engine = NewEngine();
  EXPECT_EQ(engine->ExecuteSQL("INSERT INTO blank VALUES (1)"), 0);
  EXPECT_EQ(TvekSQL::GetLastError(), "Table blank not open");
  // The second look-up finds the table without columns: nothing fits.
  EXPECT_EQ(engine->ExecuteSQL("INSERT INTO blank VALUES (1)"), 0);
  EXPECT_EQ(TvekSQL::GetLastError(), "INSERT INTO: number of columns and values is different");
  EXPECT_EQ(Table(*engine, "blank"), Lines{""});
}

// ---- UPDATE --------------------------------------------------------------------

TEST_F(RowsTest, UpdateForms) {
  RunCases({
      {"every row without WHERE",
       "UPDATE t SET city = 'Oslo'",
       {"id|name|city|n", "1|John Smith|Oslo|10", "2|John Smith|Oslo|-1", "3|Ann Lee|Oslo|20"}},
      {"an empty condition holds for every row",
       "UPDATE t SET city = 'Oslo' WHERE",
       {"id|name|city|n", "1|John Smith|Oslo|10", "2|John Smith|Oslo|-1", "3|Ann Lee|Oslo|20"}},
      {"only the rows that meet the condition",
       "UPDATE t SET city = 'Oslo' WHERE id = 2",
       {"id|name|city|n", "1|John Smith|Paris|10", "2|John Smith|Oslo|-1", "3|Ann Lee|Paris|20"}},
      {"a quoted text with a blank and two conditions",
       "update t set n = 0 where name = 'John Smith' and city = 'Paris'",
       {"id|name|city|n", "1|John Smith|Paris|0", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"a negative number in the condition",
       "UPDATE t SET city = 'x' WHERE n = -1",
       {"id|name|city|n", "1|John Smith|Paris|10", "2|John Smith|x|-1", "3|Ann Lee|Paris|20"}},
      {"an IN list",
       "UPDATE t SET city = 'x' WHERE id in (1, 3)",
       {"id|name|city|n", "1|John Smith|x|10", "2|John Smith|Rome|-1", "3|Ann Lee|x|20"}},
      {"arithmetic on the cell's own value",
       "UPDATE t SET n = n * 1.5 + 1",
       {"id|name|city|n", "1|John Smith|Paris|16", "2|John Smith|Rome|-0.5", "3|Ann Lee|Paris|31"}},
      {"a later assignment reads the earlier one's new value",
       "UPDATE t SET city = 'x', name = city WHERE id = 1",
       {"id|name|city|n", "1|x|x|10", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"so a swap copies instead",
       "UPDATE t SET city = name, name = city WHERE id = 3",
       {"id|name|city|n", "1|John Smith|Paris|10", "2|John Smith|Rome|-1", "3|Ann Lee|Ann Lee|20"}},
      {"commas inside brackets belong to one assignment",
       "UPDATE t SET name = left(name, 4), city = upper(city) WHERE id = 1",
       {"id|name|city|n", "1|John|PARIS|10", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"a truth value is stored as True or False",
       "UPDATE t SET city = n > 0",
       {"id|name|city|n", "1|John Smith|True|10", "2|John Smith|False|-1", "3|Ann Lee|True|20"}},
      {"column names ignore letter case",
       "UPDATE t SET CITY = 'x' WHERE ID = 1",
       {"id|name|city|n", "1|John Smith|x|10", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"a quoted text stays a text",
       "UPDATE t SET city = 'date' WHERE id = 1",
       {"id|name|city|n", "1|John Smith|date|10", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"a failed evaluation stores the empty text",
       "UPDATE t SET n = name * 2 WHERE id = 1",
       {"id|name|city|n", "1|John Smith|Paris|", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"no row qualifies", "UPDATE t SET city = 'x' WHERE id = 9", kPeopleRows},
  });
}

TEST_F(RowsTest, UpdateStoresTodaysDateForTheWordDate) {
  ASSERT_EQ(engine_.ExecuteSQL("UPDATE t SET city = date, name = time WHERE id = 1"), -1)
      << TvekSQL::GetLastError();
  const TvekRecord& row = engine_.GetRecordSet(engine_.FindRecordSet("t"))->Records[0];
  EXPECT_TRUE(std::regex_match(std::string(row.Cell(2)), std::regex(R"(\d{4}-\d\d-\d\d)")))
      << row.Cell(2);
  EXPECT_TRUE(std::regex_match(std::string(row.Cell(1)), std::regex(R"(\d\d:\d\d:\d\d)")))
      << row.Cell(1);
}

TEST_F(RowsTest, UpdatePadsAShortRow) {
  dir_.Write("short.txt", "id;a;b\n1\n2;x;y\n");
  ASSERT_EQ(engine_.ExecuteSQL("UPDATE short SET b = 'n'"), -1) << TvekSQL::GetLastError();
  EXPECT_EQ(Table(engine_, "short"), (Lines{"id|a|b", "1||n", "2|x|n"}));
}

TEST_F(RowsTest, UpdateErrors) {
  const char* fields = "SELECT dev: can not set output fields";
  RunErrors({
      {"fewer than six tokens", "UPDATE t SET id = ", "No tokens"},
      {"SET not the third token", "UPDATE t id = 1, n = 2", "No tokens"},
      {"empty table name", "UPDATE '' SET id = 1", "UPDATE: missing tablename"},
      {"no assignment before WHERE", "UPDATE t SET WHERE id = 1", "UPDATE: missing update fields"},
      {"unknown table", "UPDATE nosuch SET id = 1", "UPDATE: cannot find table nosuch"},
      {"an assignment without =", "UPDATE t SET id 1, n = 2", fields},
      {"a column the table lacks", "UPDATE t SET zz = 1", fields},
      {"a bad later assignment changes nothing", "UPDATE t SET id = 1, zz = 2", fields},
      {"an expression that does not compile", "UPDATE t SET id = (1 + 2", fields},
      {"a condition that is no truth value", "UPDATE t SET id = 0 WHERE name",
       "WHERE: condition is not a truth value: name"},
      {"a statement the tokenizer cannot read to its end", "UPDATE t SET id = 0 WHERE id = 1 ! 2",
       "Could not tokenize: UPDATE t SET id = 0 WHERE id = 1 ! 2"},
      // The order of the checks: table name, assignments present, table, assignments.
      {"assignments present before the table", "UPDATE nosuch SET WHERE id = 1",
       "UPDATE: missing update fields"},
      {"the table before the assignments", "UPDATE nosuch SET zz = 1",
       "UPDATE: cannot find table nosuch"},
  });
}

TEST_F(RowsTest, DeleteForms) {
  RunCases({
      {"every row without WHERE", "DELETE FROM t", {"id|name|city|n"}},
      {"only the rows that meet the condition",
       "DELETE FROM t WHERE id = 2",
       {"id|name|city|n", "1|John Smith|Paris|10", "3|Ann Lee|Paris|20"}},
      {"a quoted text with a blank and two conditions",
       "delete from t where name = 'John Smith' and city = 'Paris'",
       {"id|name|city|n", "2|John Smith|Rome|-1", "3|Ann Lee|Paris|20"}},
      {"a negative number does not empty the table",
       "DELETE FROM t WHERE n = -1",
       {"id|name|city|n", "1|John Smith|Paris|10", "3|Ann Lee|Paris|20"}},
      {"an IN list",
       "DELETE FROM t WHERE id in (1, 3)",
       {"id|name|city|n", "2|John Smith|Rome|-1"}},
      {"an IN list of texts with blanks",
       "DELETE FROM t WHERE name in ('John Smith', 'x y')",
       {"id|name|city|n", "3|Ann Lee|Paris|20"}},
      {"numbers compare as numbers",
       "DELETE FROM t WHERE n > 5",
       {"id|name|city|n", "2|John Smith|Rome|-1"}},
      {"no row qualifies", "DELETE FROM t WHERE id = 9", kPeopleRows},
      {"rows of several places keep their order",
       "DELETE FROM t WHERE id <> 2",
       {"id|name|city|n", "2|John Smith|Rome|-1"}},
  });
}

TEST_F(RowsTest, DeleteErrors) {
  RunErrors({
      {"fewer than three tokens", "DELETE t", "No tokens"},
      {"FROM missing", "DELETE INTO t", "No tokens"},
      {"unknown table", "DELETE FROM nosuch", "No tokens"},
      {"a fourth token that is not WHERE", "DELETE FROM t x", "`WHERE` expected but `x` found."},
      {"WHERE followed by fewer than two tokens", "DELETE FROM t where id",
       "`WHERE` expected but `where` found."},
      {"the syntax before the table", "DELETE FROM nosuch x", "`WHERE` expected but `x` found."},
      {"a condition that is no truth value", "DELETE FROM t WHERE name + ''",
       "WHERE: condition is not a truth value: name + ''"},
      {"a statement the tokenizer cannot read to its end", "DELETE FROM t WHERE id = 1 ! id = 2",
       "Could not tokenize: DELETE FROM t WHERE id = 1 ! id = 2"},
      {"a condition that does not compile", "DELETE FROM t WHERE id = (1",
       "WHERE: Unbalanced brackets: missing \")\": id = (1"},
  });
}

// A condition that holds for the first rows and is no truth value on the last
// fails before any row changes.
TEST_F(RowsTest, ConditionFailingOnTheLastRowChangesNothing) {
  dir_.Write("u.txt", "id;v\n1;1\n2;true\n3;abc\n");
  const Lines before = {"id|v", "1|1", "2|true", "3|abc"};
  for (const char* sql : {"DELETE FROM u WHERE v + ''", "UPDATE u SET id = 0 WHERE v + ''"}) {
    SCOPED_TRACE(sql);
    auto engine = NewEngine();
    EXPECT_EQ(engine->ExecuteSQL(sql), 0);
    EXPECT_EQ(TvekSQL::GetLastError(), "WHERE: condition is not a truth value: v + ''");
    EXPECT_EQ(Table(*engine, "u"), before);
    EXPECT_FALSE(Modified(*engine, "u"));
  }
}

TEST_F(RowsTest, UpdateAndDeleteOfATableWithoutRowsChangeNothing) {
  for (const char* sql :
       {"UPDATE empty SET name = 'x'", "UPDATE empty SET name = 'x' WHERE name + ''",
        "DELETE FROM empty", "DELETE FROM empty WHERE name + ''"}) {
    SCOPED_TRACE(sql);
    auto engine = NewEngine();
    EXPECT_EQ(engine->ExecuteSQL(sql), -1) << TvekSQL::GetLastError();
    EXPECT_EQ(Table(*engine, "empty"), Lines{"id|name"});
    EXPECT_FALSE(Modified(*engine, "empty"));
  }
  // The assignments are checked before the rows are counted.
  EXPECT_EQ(Error("UPDATE empty SET zz = 1"), "SELECT dev: can not set output fields");
}

// ---- INSERT INTO ... SELECT (and sub-selects in conditions) ----------------------

TEST_F(RowsTest, InsertSelectCopiesColumnsByName) {
  dir_.Write("s.txt", "N;extra;ID\n7;e1;8\n9;e2;10\n");
  const int sets = 2;  // t and s once both are open
  ASSERT_EQ(engine_.ExecuteSQL("INSERT INTO t SELECT * FROM s"), -1) << TvekSQL::GetLastError();
  EXPECT_EQ(Table(engine_, "t"),
            (Lines{"id|name|city|n", "1|John Smith|Paris|10", "2|John Smith|Rome|-1",
                   "3|Ann Lee|Paris|20", "8|||7", "10|||9"}));
  EXPECT_TRUE(Modified(engine_, "t"));
  EXPECT_EQ(engine_.RecordSetCount(), sets) << "the result is released";

  ASSERT_EQ(engine_.ExecuteSQL("INSERT INTO t SELECT city AS name, id FROM t WHERE id = 3"), -1)
      << TvekSQL::GetLastError();
  EXPECT_EQ(Table(engine_, "t").back(), "3|Paris||");
  EXPECT_EQ(dir_.Read("t.txt"), kPeople);
}

TEST_F(RowsTest, InsertSelectMayReadTheTableItFills) {
  ASSERT_EQ(engine_.ExecuteSQL("INSERT INTO t SELECT * FROM t"), -1) << TvekSQL::GetLastError();
  Lines doubled = kPeopleRows;
  doubled.insert(doubled.end(), kPeopleRows.begin() + 1, kPeopleRows.end());
  EXPECT_EQ(Table(engine_, "t"), doubled);
}

TEST_F(RowsTest, InsertSelectErrors) {
  dir_.Write("s.txt", "extra\nx\n");
  struct {
    const char* name;
    const char* sql;
    const char* error;
    int sets_left;  // record sets added by the failing statement
  } cases[] = {
      {"unknown table", "INSERT INTO nosuch SELECT * FROM t",
       "INSERT INTO: can not find table nosuch", 0},
      {"the SELECT fails with its own text", "INSERT INTO t SELECT * FROM nosuch",
       "SELECT: can not find table nosuch", 0},
      {"no row; the result stays", "INSERT INTO t SELECT * FROM t WHERE id = 9",
       "No result records", 1},
      {"no common column; the result stays", "INSERT INTO t SELECT extra FROM s",
       "INSERT INTO..SELECT: no mathing fields", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto engine = NewEngine();
    ASSERT_GT(engine->GetTableIndex("t"), 0);
    ASSERT_GT(engine->GetTableIndex("s"), 0);
    EXPECT_EQ(engine->ExecuteSQL(c.sql), 0);
    EXPECT_EQ(TvekSQL::GetLastError(), c.error);
    EXPECT_EQ(engine->RecordSetCount(), 2 + c.sets_left);
    EXPECT_EQ(Table(*engine, "t"), kPeopleRows);
    EXPECT_FALSE(Modified(*engine, "t"));
  }
}

TEST_F(RowsTest, SubSelectListsInConditions) {
  dir_.Write("s.txt", "id\n1\n3\n");
  ASSERT_EQ(engine_.ExecuteSQL("UPDATE t SET city = 'x' WHERE id in (select id from s)"), -1)
      << TvekSQL::GetLastError();
  EXPECT_EQ(Table(engine_, "t"), (Lines{"id|name|city|n", "1|John Smith|x|10",
                                        "2|John Smith|Rome|-1", "3|Ann Lee|x|20"}));
  ASSERT_EQ(engine_.ExecuteSQL("DELETE FROM t WHERE id in (select id from s)"), -1)
      << TvekSQL::GetLastError();
  EXPECT_EQ(Table(engine_, "t"), (Lines{"id|name|city|n", "2|John Smith|Rome|-1"}));
}

}  // namespace
}  // namespace vek::testing

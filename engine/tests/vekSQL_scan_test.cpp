// A SELECT over one table that no statement has opened reads the table's file
// a piece at a time and keeps none of its rows: its answers, errors and set
// numbers are those of the table opened whole, and the table stays listed with
// its rows read at the next use, from the file as it was when the SELECT read it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/vekSQLTextTable.h"
#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

using Strings = std::vector<std::string>;

// A longer cell, so that the table is large enough for workers.
std::string Note(int i) { return std::string(24 + i % 9, static_cast<char>('a' + i % 26)); }

// 60,000 rows, about 3.5 MB: pieces cut on worker threads where the process may
// use more than one processor, with lines across their ends.
// Some cells hold ";", quotes, CR or LF, so their lines are encoded; line ends
// are CR LF; the last line has no line end.
std::string BigTable() {
  std::string text = "id;grp;name;amount;note\r\n";
  for (int i = 1; i <= 60000; ++i) {
    std::string name = "name" + std::to_string(i * 7919 % 60013);
    if (i % 97 == 0) name += ";with \"quotes\"\r\nand lines";
    text += std::to_string(i) + ";g" + std::to_string(i % 13) + ";" + EncodeCell(name) + ";" +
            std::to_string(i % 1000) + "." + std::to_string(i % 10) + "0;" + Note(i);
    if (i < 60000) text += "\r\n";
  }
  return text;
}

// The rows BigTable writes, each its cells joined with "|".
Strings BigTableRows() {
  Strings rows;
  for (int i = 1; i <= 60000; ++i) {
    std::string name = "name" + std::to_string(i * 7919 % 60013);
    if (i % 97 == 0) name += ";with \"quotes\"\r\nand lines";
    rows.push_back(std::to_string(i) + "|g" + std::to_string(i % 13) + "|" + name + "|" +
                   std::to_string(i % 1000) + "." + std::to_string(i % 10) + "0|" + Note(i));
  }
  return rows;
}

class ScanTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("t.txt", BigTable());
    dir_.Write("g.txt", "grp;region\ng1;north\ng2;south\n");
  }
  // The table's listed set as it is, without reading pending rows.
  RecordSetPtr Listed(const std::string& name) {
    return engine_.RecordSetAt(engine_.FindRecordSet(name));
  }
};

TEST_F(ScanTest, EveryRowIsReadOnceInTheFilesOrder) {
  ASSERT_GE(BigTable().size(), std::size_t{3} << 20);
  Strings expected = {"id|grp|name|amount|note"};
  const Strings rows = BigTableRows();
  expected.insert(expected.end(), rows.begin(), rows.end());
  EXPECT_EQ(Query("SELECT * FROM t"), expected);
}

// Each statement is run twice on one engine: first over the file (the table is
// not open), then over the table opened by that first run.
TEST_F(ScanTest, AnswersEqualThoseOfTheOpenedTable) {
  const Strings statements = {
      "SELECT * FROM t",
      "SELECT id, name FROM t WHERE amount > 500 AND grp = 'g3'",
      "SELECT grp, count(id) AS n, sum(amount) AS s, avg(amount) AS a FROM t GROUP BY grp",
      "SELECT count(*) AS n, max(name) AS m FROM t",
      "SELECT name, id FROM t WHERE id < 2000 ORDER BY name DESC",
      "SELECT grp, count(id) AS n FROM t GROUP BY grp HAVING n > 4615",
      "SELECT id FROM t WHERE grp IN (SELECT grp FROM g WHERE region = 'south')",
      "SELECT id FROM t WHERE id IN (SELECT id FROM t WHERE amount = 7.70)",
      "SELECT id * 2 AS twice, name FROM t WHERE name LIKE '%quotes%'",
      "SELECT count(id) AS n FROM t WHERE id > 80000",
      // Grouped on the workers a piece at a time, the pieces' groups added up.
      "SELECT grp, count(id) AS n, sum(amount) AS s, max(name) AS hi, min(amount) AS lo FROM t "
      "GROUP BY grp",
      "SELECT name, count(*) AS n, sum(id) AS s FROM t WHERE amount > 990 GROUP BY name",
      "SELECT grp, sum(amount - 500) AS s, max(amount - 500) AS m FROM t WHERE id > 10 GROUP BY grp",
      "SELECT count(id) AS n, sum(amount) AS s, min(note) AS m FROM t",
      // Joins read their first table a piece at a time.
      "SELECT g.region, count(t.id) AS n, sum(t.amount) AS s FROM t, g WHERE t.grp = g.grp "
      "GROUP BY g.region",
      "SELECT g.region, sum(t.amount - 500) AS s, max(t.name) AS m, count(*) AS n FROM t, g "
      "WHERE t.grp = g.grp AND t.id > 5 GROUP BY g.region",
      "SELECT t.grp, count(t.id) AS n FROM g, t WHERE t.grp = g.grp GROUP BY t.grp",
      "SELECT t.id, g.region FROM t, g WHERE t.grp = g.grp AND t.amount > 900 AND 1 = 1",
      "SELECT * FROM t, g WHERE g.grp = t.grp AND t.id < 300",
      "SELECT t.id, g.region FROM t, g WHERE t.grp = g.grp OR t.id = 7",
      "SELECT a.id, b.name FROM t a, t b WHERE a.id = b.id AND a.id > 59000",
      "SELECT g.grp, t.id FROM g, t WHERE g.grp = t.grp AND t.id < 100",
  };
  for (const std::string& sql : statements) {
    SCOPED_TRACE(sql);
    TvekSQL engine;
    ASSERT_EQ(engine.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    const int scanned = engine.ExecuteSQL(sql);
    ASSERT_GT(scanned, 0) << TvekSQL::GetLastError();
    const Strings first = Rows(*engine.GetRecordSet(scanned));
    const int opened = engine.ExecuteSQL(sql);
    ASSERT_GT(opened, 0) << TvekSQL::GetLastError();
    EXPECT_EQ(first, Rows(*engine.GetRecordSet(opened)));
    EXPECT_GT(first.size(), 1u);
  }
}

TEST_F(ScanTest, TheTableStaysListedWithItsRowsReadAtTheNextUse) {
  // Set 1 is the table, set 2 the result, as when the table is opened whole.
  EXPECT_EQ(engine_.ExecuteSQL("SELECT id FROM t WHERE id = 5"), 2);
  RecordSetPtr t = Listed("t");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(engine_.NumberOf(t.get()), 1);
  EXPECT_TRUE(t->RowsPending());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->FieldList(), "id;grp;name;amount;note");

  // An UPDATE reads every row, and COMMIT writes them all.
  ASSERT_EQ(engine_.ExecuteSQL("UPDATE t SET grp = 'x' WHERE id = 3; COMMIT"), -1)
      << TvekSQL::GetLastError();
  EXPECT_FALSE(t->RowsPending());
  EXPECT_EQ(t->RecordCount(), 60000);
  TvekSQL fresh;
  ASSERT_EQ(fresh.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
  const int n = fresh.ExecuteSQL("SELECT count(id) AS n FROM t WHERE grp = 'x'");
  ASSERT_GT(n, 0) << TvekSQL::GetLastError();
  EXPECT_EQ(Rows(*fresh.GetRecordSet(n)), Strings({"n", "1"}));
}

TEST_F(ScanTest, SaveTableWritesEveryRowOfAScannedTable) {
  // The same file saved by an engine that opened the table whole.
  TempFolder other;
  other.Write("t.txt", BigTable());
  TvekSQL opened;
  ASSERT_EQ(opened.ExecuteSQL("connect to '" + other.path() + "'"), -1);
  ASSERT_EQ(opened.ExecuteSQL("UPDATE t SET id = id WHERE id = 0; SAVE TABLE t"), -1)
      << TvekSQL::GetLastError();

  Query("SELECT count(id) AS n FROM t");
  ASSERT_EQ(engine_.ExecuteSQL("SAVE TABLE t"), -1) << TvekSQL::GetLastError();
  const std::string saved = dir_.Read("t.txt");
  EXPECT_EQ(saved, other.Read("t.txt"));
  EXPECT_NE(saved, BigTable());  // rewritten: LF line ends
}

// A table once read keeps its rows: another file renamed over its file, or its
// file removed, changes nothing for this engine, as for a table opened whole.
TEST_F(ScanTest, LaterUsesReadTheFileTheSelectRead) {
  const Strings before = Query("SELECT count(id) AS n, sum(id) AS s FROM t");
  Query("SELECT id FROM g");
  dir_.Write("other.txt", "id;grp;name;amount\n1;g;n;1\n");
  std::filesystem::rename(dir_.File("other.txt"), dir_.File("t.txt"));
  std::filesystem::remove(dir_.File("g.txt"));

  EXPECT_EQ(Query("SELECT count(id) AS n, sum(id) AS s FROM t"), before);
  EXPECT_EQ(Query("SELECT grp FROM g"), Strings({"grp", "g1", "g2"}));
}

// A file written in place (not replaced) after the SELECT read it no longer
// holds the rows the SELECT saw: using the table then is an error, not an
// answer from other rows.
TEST_F(ScanTest, AFileWrittenInPlaceSinceIsNotReadAsTheTable) {
  Query("SELECT count(id) AS n FROM t");
  const int listed = engine_.FindRecordSet("t");
  dir_.Write("t.txt", "id;grp;name;amount\n1;g;n;1\n");  // the same file, truncated
  const std::string error =
      "Could not read file " + dir_.File("t.txt") + ": changed since it was read";
  EXPECT_EQ(Error("SELECT count(id) AS n FROM t"), error);
  EXPECT_EQ(Error("UPDATE t SET grp = 'x'"), error);
  EXPECT_EQ(engine_.GetRecordSet(listed), nullptr);
  EXPECT_TRUE(Listed("t")->RowsPending());
}

TEST_F(ScanTest, ErrorsAreThoseOfTheOpenedTable) {
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"SELECT id FROM t WHERE name + ''", "SELECT: condition is not a truth value: name + ''"},
      {"SELECT id FROM t WHERE id = (", nullptr},
      // No truth value from the last rows only, which workers may evaluate.
      {"SELECT id FROM t WHERE id > 59990 AND name + ''",
       "SELECT: condition is not a truth value: id > 59990 AND name + ''"},
      {"ASSIGN TO g SELECT id FROM t", "SELECT INTO: table g allready exists."},
      {"SELECT id FROM t ORDER BY nothing", "ORDER BY: unknown column nothing"},
      // No truth value from one of the last rows, which a worker groups.
      {"SELECT grp, count(id) AS n FROM t WHERE replace(id, '59995', 'x') GROUP BY grp",
       "SELECT: condition is not a truth value: replace(id, '59995', 'x')"},
      {"SELECT t.id FROM t, g WHERE t.grp = g.grp AND t.id > 59990 AND t.name + ''",
       "SELECT: condition is not a truth value: t.grp = g.grp AND t.id > 59990 AND t.name + ''"},
      {"SELECT g.region, count(t.id) AS n FROM t, g WHERE t.grp = g.grp AND "
       "replace(t.id, '59995', 'x') GROUP BY g.region",
       "SELECT: condition is not a truth value: t.grp = g.grp AND replace(t.id, '59995', 'x')"},
      {"SELECT t.id FROM t, g WHERE t.grp = g.grp AND g.region + ''",
       "SELECT: condition is not a truth value: t.grp = g.grp AND g.region + ''"},
      {"SELECT t.id FROM t, nothing WHERE t.id = nothing.id", "SELECT: can not find table nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TvekSQL scanned;
    ASSERT_EQ(scanned.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    EXPECT_EQ(scanned.ExecuteSQL(c.sql), 0);
    const std::string scanned_error = TvekSQL::GetLastError();
    const int scanned_sets = scanned.RecordSetCount();

    TvekSQL opened;
    ASSERT_EQ(opened.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    ASSERT_EQ(opened.ExecuteSQL("UPDATE t SET id = id WHERE id = 0"), -1);
    EXPECT_EQ(opened.ExecuteSQL(c.sql), 0);
    EXPECT_EQ(scanned_error, TvekSQL::GetLastError());
    EXPECT_EQ(scanned_sets, opened.RecordSetCount());
    if (c.error) {
      EXPECT_EQ(scanned_error, c.error);
    }
  }
}

// A join lists its tables in the FROM's order, the first one pending; a
// second table without rows answers no rows and the first is still read to
// its end.
TEST_F(ScanTest, AJoinListsItsTablesAsOpenedAndReadsThemWhole) {
  dir_.Write("none.txt", "grp;region\n");
  EXPECT_EQ(Query("SELECT t.id FROM t, none WHERE t.grp = none.grp AND t.name + ''"),
            Strings({"t.id"}));
  EXPECT_EQ(engine_.NumberOf(Listed("t").get()), 1);
  EXPECT_EQ(engine_.NumberOf(Listed("none").get()), 2);
  EXPECT_TRUE(Listed("t")->RowsPending());

  EXPECT_EQ(Query("SELECT count(t.id) AS n FROM t, g WHERE t.grp = g.grp AND 1 = 2"),
            Strings({"n", "0"}));
  EXPECT_EQ(engine_.NumberOf(Listed("g").get()), 4);
  EXPECT_EQ(Query("SELECT count(t.id) AS n FROM t, g WHERE t.grp = g.grp"),
            Strings({"n", "9232"}));
}

TEST_F(ScanTest, FilesThatHoldNoTableAreAnsweredAsBefore) {
  dir_.Write("empty.txt", "");
  dir_.Write("header.txt", "a;b\r\n");
  EXPECT_EQ(Error("SELECT * FROM empty"), "SELECT: can not find table empty");
  EXPECT_EQ(Query("SELECT * FROM header"), Strings({"a|b"}));
  EXPECT_EQ(Query("SELECT count(a) AS n FROM header"), Strings({"n", "0"}));
}

// Each pending table holds its file open; past a bound, tables are opened whole.
TEST_F(ScanTest, ManyTablesInOneEngineKeepFewFilesOpen) {
  const int tables = 100;
  for (int i = 0; i < tables; ++i) {
    dir_.Write("p" + std::to_string(i) + ".txt", "v\n" + std::to_string(i) + "\n");
  }
  for (int i = 0; i < tables; ++i) {
    const std::string name = "p" + std::to_string(i);
    EXPECT_EQ(Query("SELECT v FROM " + name), Strings({"v", std::to_string(i)}));
  }
  int pending = 0;
  int opened = 0;
  for (int i = 0; i < tables; ++i) {
    RecordSetPtr set = Listed("p" + std::to_string(i));
    ASSERT_NE(set, nullptr);
    (set->RowsPending() ? pending : opened) += 1;
  }
  EXPECT_EQ(pending, engine_.PendingTableCount());
  EXPECT_LE(pending, 64);
  EXPECT_EQ(pending + opened, tables);
  // Every table still answers, pending or not.
  for (int i = 0; i < tables; ++i) {
    const std::string name = "p" + std::to_string(i);
    EXPECT_EQ(Query("SELECT v FROM " + name), Strings({"v", std::to_string(i)}));
  }
}

}  // namespace
}  // namespace vek::testing

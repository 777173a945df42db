// CREATE TABLE, DROP TABLE and ALTER TABLE over a temporary catalog: the exact
// bytes of every file written, files left untouched by failures, and the table
// in memory after each statement.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

class DdlTest : public EngineTest {
 protected:
  // Runs a batch that must succeed without a record set.
  void Run(const std::string& sql) {
    ASSERT_EQ(engine_.ExecuteSQL(sql), -1) << sql << ": " << TvekSQL::GetLastError();
  }
  std::vector<std::string> Files() const { return FileNames(dir_.path()); }
  TvekRecordSet* Table(const std::string& name) {
    return engine_.GetRecordSet(engine_.FindRecordSet(name));
  }
};

using Strings = std::vector<std::string>;

// For tables of cases that each need a fresh catalog.
void Connect(TvekSQL& engine, const TempFolder& folder) {
  ASSERT_EQ(engine.ExecuteSQL("connect to '" + folder.path() + "'"), -1);
}

// Runs a test's body in a fresh current folder, so that a path such as
// ":memory:/t.txt" can be checked, and restores the old one however it ends.
class InTempCwd {
 public:
  InTempCwd() : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.path());
  }
  ~InTempCwd() { std::filesystem::current_path(old_); }
  const TempFolder& folder() const { return folder_; }

 private:
  TempFolder folder_;
  std::filesystem::path old_;
};

// ---- CREATE TABLE -------------------------------------------------------------

TEST_F(DdlTest, CreateWritesTheHeaderOnly) {
  struct Case {
    const char* sql;
    const char* file;
    const char* bytes;
  };
  const Case cases[] = {
      {"CREATE TABLE t (a, b, c)", "t.txt", "a;b;c"},
      {"CREATE TABLE 't'('a','b',)", "t.txt", "a;b;"},
      {"CREATE TABLE t (first name, b)", "t.txt", "firstname;b"},
      {"CREATE TABLE t ('first name', b)", "t.txt", "first name;b"},
      {"create table 'my table' (x)", "my table.txt", "x"},
      {"CREATE TABLE Mixed (x)", "Mixed.txt", "x"},
      // The header keeps names the splitter reads back as one piece.
      {"CREATE TABLE t ('a b', 'x.y', '(z)')", "t.txt", "a b;x.y;(z)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TempFolder folder;
    TvekSQL engine;
    Connect(engine, folder);
    ASSERT_EQ(engine.ExecuteSQL(c.sql), -1) << TvekSQL::GetLastError();
    EXPECT_EQ(folder.Read(c.file), c.bytes);
    // The new table is not opened: a later statement reads it from the file.
    EXPECT_EQ(engine.RecordSetCount(), 0);
  }
}

TEST_F(DdlTest, CreatedTableOpensWithItsColumnsAndNoRows) {
  Run("CREATE TABLE t (a, b, c)");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b|c"}));
  Run("INSERT INTO t (a) VALUES ('1'); COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b;c\n1;;\n");
}

TEST_F(DdlTest, CreateFailuresWriteNothing) {
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"CREATE TABLE t ()", "No tokens"},
      {"CREATE TABLE t a, b", "No tokens"},
      {"CREATE TABLE t (a", "No tokens"},
      {"CREATE t (a, b)", "No tokens"},
      {"CREATE TABLE '' (a)", "No tokens"},
      {"CREATE TABLE t ('')", "No tokens"},
      {"CREATE TABLE 'a/b' (x)", "Invalid table name: a/b"},
      {"CREATE TABLE '/etc/x' (x)", "Invalid table name: /etc/x"},
      // A name the header line cannot hold would come back as other columns.
      {"CREATE TABLE t ('a;b', c)", "Invalid column name: a;b"},
      {"CREATE TABLE t (c, 'a\"b')", "Invalid column name: a\"b"},
      {"CREATE TABLE t ('a`b')", "Invalid column name: a`b"},
      {"CREATE TABLE t ('a\nb')", "Invalid column name: a\nb"},
      {"CREATE TABLE t ('a\rb')", "Invalid column name: a\rb"},
      {"CREATE TABLE t (x 'a;b' y, c)", "Invalid column name: xa;by"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.error);
    EXPECT_EQ(Files(), Strings());
  }
}

TEST_F(DdlTest, CreateRefusesANulInAColumnName) {
  std::string sql = "CREATE TABLE t ('a";
  sql += '\0';
  sql += "b')";
  EXPECT_EQ(Error(sql), std::string("Invalid column name: a\0b", 24));
  EXPECT_EQ(Files(), Strings());
}

TEST_F(DdlTest, CreateNeverOverwritesAnExistingFile) {
  dir_.Write("t.txt", "old;cols\r\n1;2\r\n");
  EXPECT_EQ(Error("CREATE TABLE t (x)"), "Table already exist");
  EXPECT_EQ(dir_.Read("t.txt"), "old;cols\r\n1;2\r\n");
  // Also when the table is open in memory.
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"old|cols", "1|2"}));
  EXPECT_EQ(Error("CREATE TABLE t (x)"), "Table already exist");
  EXPECT_EQ(dir_.Read("t.txt"), "old;cols\r\n1;2\r\n");
}

TEST_F(DdlTest, CreateIgnoresANamedResultOfTheSameName) {
  dir_.Write("s.txt", "a\n1\n");
  Run("ASSIGN TO v SELECT a FROM s; CREATE TABLE v (x)");
  EXPECT_EQ(dir_.Read("v.txt"), "x");
  // The result in memory still answers to the name.
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "1"}));
}

// No catalog folder: nothing is written anywhere, neither under a folder named
// ":memory:" nor at the root.
TEST_F(DdlTest, CreateWithoutACatalogFolderFails) {
  InTempCwd cwd;
  std::filesystem::create_directory(":memory:");

  TvekSQL never_connected;
  EXPECT_EQ(never_connected.ExecuteSQL("CREATE TABLE t (a)"), 0);
  EXPECT_NE(TvekSQL::GetLastError(), "OK");
  EXPECT_FALSE(std::filesystem::exists("/t.txt"));

  TvekSQL memory;
  ASSERT_EQ(memory.ExecuteSQL("connect to ':memory:'"), -1);
  EXPECT_EQ(memory.ExecuteSQL("CREATE TABLE t (a)"), 0);
  EXPECT_NE(TvekSQL::GetLastError(), "OK");
  EXPECT_FALSE(std::filesystem::exists(":memory:/t.txt"));

  // A catalog folder that has gone since CONNECT TO is not created again.
  {
    TempFolder gone;
    std::string path = gone.path();
    TvekSQL engine;
    ASSERT_EQ(engine.ExecuteSQL("connect to '" + path + "'"), -1);
    std::filesystem::remove_all(path);
    EXPECT_EQ(engine.ExecuteSQL("CREATE TABLE t (a)"), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

// ---- DROP TABLE ---------------------------------------------------------------

TEST_F(DdlTest, DropDeletesTheFileAndTheTableInMemory) {
  dir_.Write("t.txt", "a\n1\n");
  dir_.Write("u.txt", "a\n2\n");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a", "1"}));
  Query("SELECT * FROM u");
  const int before = engine_.RecordSetCount();
  Run("INSERT INTO t (a) VALUES ('unsaved'); DROP TABLE t");
  EXPECT_FALSE(dir_.Exists("t.txt"));
  EXPECT_EQ(engine_.RecordSetCount(), before - 1);
  EXPECT_EQ(engine_.FindRecordSet("t"), -1);
  // The unsaved row went with it: COMMIT has nothing of t left to write.
  Run("COMMIT");
  EXPECT_FALSE(dir_.Exists("t.txt"));
  EXPECT_EQ(dir_.Read("u.txt"), "a\n2\n");
}

TEST_F(DdlTest, DropFailures) {
  dir_.Write("u.txt", "a\n1\n");
  const std::string missing = "DROP TABLE: can not find file " + dir_.path() + "/t.txt";
  struct Case {
    std::string sql;
    std::string error;
  };
  const Case cases[] = {
      {"DROP TABLE t", missing},
      {"DROP TABLE ''", "DROP TABLE: table name missing"},
      {"DROP TABLE", "No tokens"},
      {"DROP u", "No tokens"},
      {"DROP TABLE 'x/../u'", "Invalid table name: x/../u"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.error);
    EXPECT_EQ(dir_.Read("u.txt"), "a\n1\n");
  }
}

TEST_F(DdlTest, DropCannotRemoveATableThatHasNoFile) {
  dir_.Write("s.txt", "a\n1\n");
  Run("ASSIGN TO v SELECT a FROM s");
  EXPECT_EQ(Error("DROP TABLE v"), "DROP TABLE: can not find file " + dir_.path() + "/v.txt");
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "1"}));
}

TEST_F(DdlTest, DropWithoutACatalogFolderTouchesNothing) {
  InTempCwd cwd;
  cwd.folder().Write("t.txt", "a\n");
  std::filesystem::create_directory(":memory:");
  cwd.folder().Write(":memory:/t.txt", "a\n");

  TvekSQL memory;
  ASSERT_EQ(memory.ExecuteSQL("connect to ':memory:'"), -1);
  EXPECT_EQ(memory.ExecuteSQL("DROP TABLE t"), 0);
  EXPECT_NE(TvekSQL::GetLastError(), "OK");
  EXPECT_TRUE(cwd.folder().Exists(":memory:/t.txt"));
  EXPECT_TRUE(cwd.folder().Exists("t.txt"));
}

// A file that cannot be deleted is a failure, and the table with its unsaved
// changes stays: a later COMMIT can still write them.
TEST_F(DdlTest, DropThatCannotDeleteTheFileKeepsTheTable) {
  dir_.Write("t.txt", "a\n1\n");
  Run("INSERT INTO t (a) VALUES ('2')");
  ::chmod(dir_.path().c_str(), 0555);
  std::string outcome = WithoutPrivileges([&] {
    std::string text = std::to_string(engine_.ExecuteSQL("DROP TABLE t"));
    text += " " + TvekSQL::GetLastError() + " ";
    TvekRecordSet* t = Table("t");
    text += t ? std::to_string(t->RecordCount()) + " rows" : "no table";
    return text;
  });
  ::chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(outcome, "0 DROP TABLE: can not delete file " + dir_.path() + "/t.txt 2 rows");
  EXPECT_EQ(dir_.Read("t.txt"), "a\n1\n");
  Run("COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a\n1\n2\n");
}

// ---- ALTER TABLE --------------------------------------------------------------

TEST_F(DdlTest, AddColumnFillsExistingRowsOnly) {
  dir_.Write("t.txt", "a;b\n1;2\n3;4\n");
  Run("ALTER TABLE t ADD COLUMN c 'n/a'");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;2\n3;4\n");  // memory only until saved
  Run("INSERT INTO t (a) VALUES ('5'); SAVE TABLE t");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b;c\n1;2;n/a\n3;4;n/a\n5;;\n");
}

TEST_F(DdlTest, AddColumnValueIsOneToken) {
  struct Case {
    const char* sql;
    const char* bytes;
  };
  const Case cases[] = {
      {"ALTER TABLE t ADD COLUMN c", "a;c\n1;\n"},
      {"ALTER TABLE t ADD COLUMN c 7", "a;c\n1;7\n"},
      {"ALTER TABLE t ADD COLUMN c 1.50", "a;c\n1;1.50\n"},
      // A negative number is two tokens: only the "-" is taken.
      {"ALTER TABLE t ADD COLUMN c -1", "a;c\n1;-\n"},
      {"ALTER TABLE t ADD COLUMN c 'x y' 'ignored'", "a;c\n1;x y\n"},
      {"ALTER TABLE t ADD COLUMN 'c d' x", "a;c d\n1;x\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TempFolder folder;
    folder.Write("t.txt", "a\n1\n");
    TvekSQL engine;
    Connect(engine, folder);
    ASSERT_EQ(engine.ExecuteSQL(std::string(c.sql) + "; COMMIT"), -1) << TvekSQL::GetLastError();
    EXPECT_EQ(folder.Read("t.txt"), c.bytes);
  }
}

// Rows shorter or longer than the header get the value under the new column.
TEST_F(DdlTest, AddColumnPutsTheValueUnderTheColumnInShortAndLongRows) {
  dir_.Write("t.txt", "a;b\n1\n1;2;3\n\n1;2\n");
  Run("ALTER TABLE t ADD COLUMN c 'x'; SAVE TABLE t");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b;c\n1;;x\n1;2;x;3\n;;x\n1;2;x\n");
  EXPECT_EQ(Query("SELECT c FROM t"), Strings({"c", "x", "x", "x", "x"}));
}

TEST_F(DdlTest, DropColumnRemovesTheCellsAtItsPosition) {
  dir_.Write("t.txt", "a;b;c\n1;2;3\n4\n5;6;7;8\n");
  Run("ALTER TABLE t DROP COLUMN B");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b;c\n1;2;3\n4\n5;6;7;8\n");
  Run("SAVE TABLE t");
  EXPECT_EQ(dir_.Read("t.txt"), "a;c\n1;3\n4\n5;7;8\n");
}

// ALTER TABLE marks the table modified itself, also when it has no rows, so
// COMMIT writes the new header.
TEST_F(DdlTest, AlterMarksTheTableForCommit) {
  Run("CREATE TABLE t (a, b)");
  Run("ALTER TABLE t DROP COLUMN b; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a\n");
  Run("ALTER TABLE t ADD COLUMN z; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;z\n");
}

// Names read from a file are written back as they were, quotes included.
TEST_F(DdlTest, HeaderNamesFromTheFileSurviveAlter) {
  dir_.Write("t.txt", "'q';\"r\";s t\n1;2;3\n");
  Run("ALTER TABLE t ADD COLUMN u 4; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "'q';\"r\";s t;u\n1;2;3;4\n");
}

TEST_F(DdlTest, AlterFailuresChangeNothing) {
  dir_.Write("t.txt", "a;b\n1;2\n");
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"ALTER TABLE t ADD COLUMN A", "No tokens"},
      {"ALTER TABLE t ADD c", "No tokens"},
      {"ALTER TABLE t ADD c 'x'", "No tokens"},
      {"ALTER TABLE t DROP COLUMN", "No tokens"},
      {"ALTER TABLE t DROP COLUMN z", "No tokens"},
      {"ALTER TABLE t RENAME COLUMN a", "No tokens"},
      {"ALTER t ADD COLUMN c x", "No tokens"},
      {"ALTER TABLE missing ADD COLUMN c", "No tokens"},
      {"ALTER TABLE t ADD COLUMN 'c;d'", "Invalid column name: c;d"},
      {"ALTER TABLE t ADD COLUMN 'c`d'", "Invalid column name: c`d"},
      {"ALTER TABLE t ADD COLUMN 'c\"'", "Invalid column name: c\""},
      {"ALTER TABLE t ADD COLUMN 'c\nd'", "Invalid column name: c\nd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.error);
    EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "1|2"}));
    TvekRecordSet* t = Table("t");
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->Modified);
    Run("COMMIT");
    EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;2\n");
  }
}

// ALTER TABLE finds any record set of the name, results included.
TEST_F(DdlTest, AlterWorksOnANamedResult) {
  dir_.Write("s.txt", "a\n1\n");
  Run("ASSIGN TO v SELECT a FROM s; ALTER TABLE v ADD COLUMN b 'x'");
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a|b", "1|x"}));
  Run("COMMIT");
  EXPECT_FALSE(dir_.Exists("v.txt"));
  EXPECT_EQ(dir_.Read("s.txt"), "a\n1\n");
}

}  // namespace
}  // namespace vek::testing

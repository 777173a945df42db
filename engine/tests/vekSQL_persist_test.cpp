// COMMIT, ROLLBACK, SAVE TABLE, RELEASE TABLE and ASSIGN TO over temporary
// catalogs: which tables reach which files (exact bytes), files left untouched
// by failures, and the numbering of record sets.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

using Strings = std::vector<std::string>;

// Files written with CR LF line ends: any rewrite by the engine shows, since
// it writes LF only.
constexpr const char* kT = "a;b\r\n1;x\r\n2;y\r\n";
constexpr const char* kU = "c\r\n7\r\n";

class PersistTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("t.txt", kT);
    dir_.Write("u.txt", kU);
  }
  void Run(const std::string& sql) {
    ASSERT_EQ(engine_.ExecuteSQL(sql), -1) << sql << ": " << TvekSQL::GetLastError();
  }
  TvekRecordSet* Set(const std::string& name) {
    return engine_.GetRecordSet(engine_.FindRecordSet(name));
  }
  // The names of all record sets in number order.
  Strings Names() {
    Strings names;
    for (int n = 1; n <= engine_.RecordSetCount(); ++n) {
      names.push_back(engine_.GetRecordSet(n)->Name);
    }
    return names;
  }
};

// ---- COMMIT -------------------------------------------------------------------

TEST_F(PersistTest, CommitWritesOnlyPersistentModifiedTables) {
  // t is changed; u is opened but unchanged; v is a changed named result.
  Run("UPDATE t SET b = 'z' WHERE a = '1'");
  Query("SELECT * FROM u");
  Run("ASSIGN TO v SELECT a FROM t; UPDATE v SET a = 'q'");
  EXPECT_EQ(dir_.Read("t.txt"), kT);  // changes stay in memory until COMMIT

  Run("COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;z\n2;y\n");
  EXPECT_EQ(dir_.Read("u.txt"), kU);
  EXPECT_FALSE(dir_.Exists("v.txt"));
  EXPECT_FALSE(Set("t")->Modified);
  EXPECT_TRUE(Set("v")->Modified);

  // Nothing modified any more: a second COMMIT writes nothing.
  dir_.Write("t.txt", kT);
  Run("COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
}

TEST_F(PersistTest, CommitWithNothingOpenSucceeds) { Run("COMMIT"); }

TEST_F(PersistTest, CommitWorkAndRollbackWorkAreCommitAndRollback) {
  Run("DELETE FROM t WHERE a = '1'; commit work");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n2;y\n");
  Run("DELETE FROM t; ROLLBACK Work; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n2;y\n");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "2|y"}));
}

// Text after COMMIT or ROLLBACK other than WORK fails the statement and stops
// the batch before anything is written.
TEST_F(PersistTest, CommitAndRollbackRefuseOtherText) {
  struct Case {
    const char* statement;
    const char* rest;  // named in the error text
  };
  const Case cases[] = {
      {"COMMIT everything", "everything"},
      {"COMMIT WORK now", "WORK now"},
      {"COMMIT 'WORK'", "'WORK'"},
      {"COMMIT 1", "1"},
      {"ROLLBACK TO x", "TO x"},
      {"ROLLBACK WORKS", "WORKS"},
      {"ROLLBACK ,", ","},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    std::string error = Error(std::string("DELETE FROM t; ") + c.statement + "; COMMIT");
    EXPECT_NE(error.find(c.rest), std::string::npos) << error;
    EXPECT_NE(error, "No tokens");
    EXPECT_EQ(dir_.Read("t.txt"), kT);
    Run("ROLLBACK");
  }
}

// A table whose file has gone stops COMMIT: earlier tables are written, it and
// later ones stay modified, and no file is created.
TEST_F(PersistTest, CommitStopsAtAMissingFile) {
  dir_.Write("w.txt", "d\n");
  Run("UPDATE t SET b = '-'; INSERT INTO u (c) VALUES ('8'); INSERT INTO w (d) VALUES ('9')");
  std::filesystem::remove(dir_.File("u.txt"));
  EXPECT_EQ(Error("COMMIT"), "No tokens");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;-\n2;-\n");
  EXPECT_FALSE(dir_.Exists("u.txt"));
  EXPECT_EQ(dir_.Read("w.txt"), "d\n");
  EXPECT_FALSE(Set("t")->Modified);
  EXPECT_TRUE(Set("u")->Modified);
  EXPECT_TRUE(Set("w")->Modified);
}

// A table is written back to the file it was read from, also after CONNECT TO
// chose another folder that holds a table of the same name.
TEST_F(PersistTest, CommitAndRollbackUseTheFileTheTableCameFrom) {
  TempFolder other;
  other.Write("t.txt", "other\r\n");
  Run("UPDATE t SET b = 'z'; connect to '" + other.path() + "'; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;z\n2;z\n");
  EXPECT_EQ(other.Read("t.txt"), "other\r\n");

  dir_.Write("t.txt", kT);
  Run("DELETE FROM t; ROLLBACK");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "1|x", "2|y"}));
  EXPECT_EQ(other.Read("t.txt"), "other\r\n");

  // Connected to memory only: the table still goes to its own file.
  Run("connect to ':memory:'; UPDATE t SET b = 'm'; COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;m\n2;m\n");
}

// A write that fails leaves the old file whole and the table modified.
TEST_F(PersistTest, CommitThatCannotWriteKeepsTheOldFile) {
  Run("UPDATE t SET b = 'z'");
  ::chmod(dir_.path().c_str(), 0555);
  std::string outcome = WithoutPrivileges([&] {
    int r = engine_.ExecuteSQL("COMMIT");
    return std::to_string(r) + (Set("t")->Modified ? " modified" : " saved");
  });
  ::chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(outcome, "0 modified");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
  EXPECT_EQ(FileNames(dir_.path()), Strings({"t.txt", "u.txt"}));  // no temporary left
  Run("COMMIT");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;z\n2;z\n");
}

// A table whose file is a link: the file behind the link is replaced, beside
// itself, and the link stays a link.
TEST_F(PersistTest, CommitThroughALinkReplacesTheFileItNames) {
  TempFolder elsewhere;
  elsewhere.Write("real.txt", kT);
  std::filesystem::create_symlink(elsewhere.File("real.txt"), dir_.File("l.txt"));
  std::filesystem::create_directory(dir_.File("sub"));
  std::filesystem::create_symlink("../l.txt", dir_.File("sub/r.txt"));
  Run("UPDATE l SET b = 'z'; COMMIT");
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("l.txt")));
  EXPECT_EQ(elsewhere.Read("real.txt"), "a;b\n1;z\n2;z\n");
  EXPECT_EQ(FileNames(elsewhere.path()), Strings({"real.txt"}));

  // A relative link, to a link, read from the link's own folder.
  Run("connect to '" + dir_.File("sub") + "'; DELETE FROM r WHERE a = 1; COMMIT");
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("sub/r.txt")));
  EXPECT_EQ(elsewhere.Read("real.txt"), "a;b\n2;z\n");
}

// A named pipe or a device where a table file should be is refused before a
// byte is read, with a text that says why.
TEST_F(PersistTest, TablesThatAreNoRegularFilesAreRefused) {
  ASSERT_EQ(::mkfifo(dir_.File("pipe.txt").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir_.File("zero.txt"));
  for (const char* name : {"pipe", "zero"}) {
    SCOPED_TRACE(name);
    const std::string file = dir_.File(std::string(name) + ".txt");
    EXPECT_EQ(Error(std::string("SELECT * FROM ") + name),
              "Could not read file " + file + ": not a regular file");
  }
  EXPECT_EQ(Query("SELECT c FROM u"), Strings({"c", "7"}));
}

// ---- ROLLBACK -----------------------------------------------------------------

TEST_F(PersistTest, RollbackReadsChangedTablesAgain) {
  Run("DELETE FROM t; ALTER TABLE u ADD COLUMN d 'n'");
  Run("ASSIGN TO v SELECT a FROM t; INSERT INTO v (a) VALUES ('kept')");
  Run("ROLLBACK");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "1|x", "2|y"}));
  EXPECT_EQ(Query("SELECT * FROM u"), Strings({"c", "7"}));
  // Results are not persistent: their changes stay.
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "kept"}));
  EXPECT_FALSE(Set("t")->Modified);
  EXPECT_EQ(dir_.Read("t.txt"), kT);
  EXPECT_EQ(dir_.Read("u.txt"), kU);
  EXPECT_FALSE(dir_.Exists("v.txt"));
}

TEST_F(PersistTest, RollbackSkipsATableWhoseFileHasGone) {
  Run("DELETE FROM t; DELETE FROM u");
  std::filesystem::remove(dir_.File("t.txt"));
  Run("ROLLBACK");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b"}));
  EXPECT_TRUE(Set("t")->Modified);
  EXPECT_EQ(Query("SELECT * FROM u"), Strings({"c", "7"}));
  EXPECT_FALSE(dir_.Exists("t.txt"));
}

// ---- SAVE TABLE ---------------------------------------------------------------

TEST_F(PersistTest, SaveTableMakesAResultATable) {
  Run("ASSIGN TO v SELECT a FROM t; SAVE TABLE v");
  EXPECT_EQ(dir_.Read("v.txt"), "a\n1\n2\n");
  TvekRecordSet* v = Set("v");
  EXPECT_TRUE(v->Persistent);
  EXPECT_FALSE(v->IsVariable);
  EXPECT_FALSE(v->Modified);
  // Now COMMIT and ROLLBACK consider it, and ASSIGN TO can no longer replace it.
  Run("UPDATE v SET a = 'z'; COMMIT");
  EXPECT_EQ(dir_.Read("v.txt"), "a\nz\nz\n");
  Run("DELETE FROM v; ROLLBACK");
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "z", "z"}));
  EXPECT_EQ(Error("ASSIGN TO v SELECT b FROM t"), "SELECT INTO: table v allready exists.");
}

TEST_F(PersistTest, SaveTableWritesEvenWithoutChanges) {
  Run("SELECT * FROM t; SAVE TABLE t");
  EXPECT_EQ(dir_.Read("t.txt"), "a;b\n1;x\n2;y\n");
}

// The file takes the set's own name, not the letter case of the statement.
TEST_F(PersistTest, SaveTableUsesTheNameAsFirstWritten) {
  dir_.Write("Mixed.txt", "a\r\n");
  Run("SELECT * FROM Mixed; SAVE TABLE MIXED");
  EXPECT_EQ(dir_.Read("Mixed.txt"), "a\n");
  EXPECT_FALSE(dir_.Exists("MIXED.txt"));
  EXPECT_EQ(Query("SELECT a FROM t"), Strings({"a", "1", "2"}));
  Run("SAVE TABLE '$$$1'");
  EXPECT_EQ(dir_.Read("$$$1.txt"), "a\n1\n2\n");
}

// SAVE TABLE writes into the current catalog and remembers that file for COMMIT.
TEST_F(PersistTest, SaveTableWritesIntoTheCurrentCatalog) {
  TempFolder other;
  Run("UPDATE t SET b = 'z'; connect to '" + other.path() + "'; SAVE TABLE t");
  EXPECT_EQ(other.Read("t.txt"), "a;b\n1;z\n2;z\n");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
  Run("connect to '" + dir_.path() + "'; UPDATE t SET b = 'w'; COMMIT");
  EXPECT_EQ(other.Read("t.txt"), "a;b\n1;w\n2;w\n");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
}

TEST_F(PersistTest, SaveTableFailures) {
  Run("ASSIGN TO 'a/b' SELECT a FROM t");
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"SAVE TABLE", "SAVE TABLE: missing tablename"},
      {"SAVE TABLE ''", "SAVE TABLE: missing tablename"},
      // A table no statement has used is not opened by SAVE TABLE.
      {"SAVE TABLE u", "SAVE TABLE: unknown table name u"},
      {"SAVE TABLE 'a/b'", "Invalid table name: a/b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.error);
    EXPECT_EQ(dir_.Read("u.txt"), kU);
  }
  EXPECT_FALSE(dir_.Exists("a"));
  EXPECT_TRUE(Set("a/b")->IsVariable);
}

// Without a catalog folder nothing is written, and the set stays what it was.
TEST_F(PersistTest, SaveTableInMemoryWritesNothing) {
  Run("ASSIGN TO v SELECT a FROM t; connect to ':memory:'");
  EXPECT_EQ(engine_.ExecuteSQL("SAVE TABLE v"), 0);
  EXPECT_NE(TvekSQL::GetLastError(), "OK");
  TvekRecordSet* v = Set("v");
  EXPECT_TRUE(v->IsVariable);
  EXPECT_FALSE(v->Persistent);
  EXPECT_FALSE(dir_.Exists("v.txt"));
  EXPECT_FALSE(std::filesystem::exists(":memory:"));
}

// ---- RELEASE TABLE ------------------------------------------------------------

TEST_F(PersistTest, ReleaseTableForgetsUnsavedChanges) {
  Run("UPDATE t SET a = 'x'; RELEASE TABLE T");
  EXPECT_EQ(engine_.FindRecordSet("t"), -1);
  EXPECT_EQ(dir_.Read("t.txt"), kT);
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "1|x", "2|y"}));
}

TEST_F(PersistTest, ReleaseTableRenumbersLaterSets) {
  Query("SELECT * FROM t; SELECT * FROM u; SELECT c FROM u");
  EXPECT_EQ(Names(), Strings({"t", "$$$0", "u", "$$$1", "$$$2"}));
  Run("RELEASE TABLE '$$$0'");
  EXPECT_EQ(Names(), Strings({"t", "u", "$$$1", "$$$2"}));
  Run("RELEASE TABLE t");
  EXPECT_EQ(Names(), Strings({"u", "$$$1", "$$$2"}));
  EXPECT_EQ(engine_.GetRecordSet(3)->Name, "$$$2");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
}

TEST_F(PersistTest, ReleaseTableFailures) {
  EXPECT_EQ(Error("RELEASE TABLE"), "RELEASE TABLE: table name missing");
  EXPECT_EQ(Error("RELEASE TABLE ''"), "RELEASE TABLE: table name missing");
  // Only sets in memory: a table file alone is not a set.
  EXPECT_EQ(Error("RELEASE TABLE t"), "RELEASE TABLE: unknown table name t");
  EXPECT_EQ(dir_.Read("t.txt"), kT);
}

// ---- ASSIGN TO ----------------------------------------------------------------

TEST_F(PersistTest, AssignKeepsTheRowsUnderTheName) {
  EXPECT_EQ(engine_.ExecuteSQL("ASSIGN TO v SELECT a FROM t"), -1);
  TvekRecordSet* v = Set("v");
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(v->IsVariable);
  EXPECT_FALSE(v->Persistent);
  // The batch's value is the last SELECT's set, not ASSIGN's -1.
  int n = engine_.ExecuteSQL("ASSIGN TO w SELECT b FROM t; SELECT * FROM w");
  ASSERT_GT(n, 0);
  EXPECT_EQ(n, engine_.RecordSetCount());
  EXPECT_EQ(Rows(*engine_.GetRecordSet(n)), Strings({"b", "x", "y"}));
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "1", "2"}));
  EXPECT_FALSE(dir_.Exists("v.txt"));
}

// Replacing a named result frees the old one and appends the new one, which
// therefore takes the last number.
TEST_F(PersistTest, AssignReplacesANamedResult) {
  Run("ASSIGN TO v SELECT a FROM t; SELECT * FROM u; ASSIGN TO V SELECT b FROM t");
  EXPECT_EQ(Names(), Strings({"t", "u", "$$$0", "V"}));
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"b", "x", "y"}));

  // A source opened after the first v.
  dir_.Write("s.txt", "x\n10\n");
  Run("ASSIGN TO v SELECT x FROM s");
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"x", "10"}));

  // The old v is read before it is replaced.
  Run("ASSIGN TO v SELECT a FROM t; ASSIGN TO v SELECT a FROM v WHERE a = '2'");
  EXPECT_EQ(Query("SELECT * FROM v"), Strings({"a", "2"}));
  EXPECT_EQ(engine_.FindRecordSet("v"), engine_.RecordSetCount() - 1);
}

TEST_F(PersistTest, AssignFailures) {
  Query("SELECT * FROM t");  // opens t and leaves the result $$$0
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"ASSIGN TO v", "SELECT: Need at least 4 token"},
      {"ASSIGN TO v SELECT", "SELECT: Need at least 4 token"},
      {"ASSIGN TO v a FROM t", "SELECT: missing SELECT"},
      {"ASSIGN TO u SELECT a FROM t", "SELECT INTO: table u allready exists."},
      {"ASSIGN TO '$$$0' SELECT a FROM t", "ASSIGN: table $$$0 is not a variable"},
  };
  const Strings before = Names();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.error);
    EXPECT_EQ(Names(), before);
    EXPECT_EQ(dir_.Read("u.txt"), kU);
  }
}

// A set that is no variable keeps its name: a table opened from a file that has
// gone since cannot be replaced by ASSIGN TO.
TEST_F(PersistTest, AssignCannotReplaceAnOpenTable) {
  Query("SELECT * FROM t");
  std::filesystem::remove(dir_.File("t.txt"));
  EXPECT_EQ(Error("ASSIGN TO t SELECT c FROM u"), "ASSIGN: table t is not a variable");
  EXPECT_EQ(Query("SELECT * FROM t"), Strings({"a|b", "1|x", "2|y"}));
}

}  // namespace
}  // namespace vek::testing

// TDbf as one table: auto-create, values kept across reopening, the
// auto-increment numbering, texts too long for their field, the tags, deleting
// and packing, and the exclusive lock.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DbfTestUtil.h"

namespace {

using dbf::FieldKind;

class DbfTableTest : public DbfTest {
 protected:
  // Shaped like the catalogue's Projects table, with a memo and a flag.
  dbf::TDbf& Projects(std::string index = "") {
    dbf::TDbf& table =
        Table("Projects.dbf",
              {{"PROJECT_ID", FieldKind::kAutoInc},
               {"PROJECTNAME", FieldKind::kCharacter, 10},
               {"NOTE", FieldKind::kCharacter, 5, true},
               {"RANK", FieldKind::kInteger},
               {"DONE", FieldKind::kLogical},
               {"TEXT", FieldKind::kMemo}},
              {{"IDX_PROJECTS_PROJECT_ID", "PROJECT_ID", dbf::ixPrimary | dbf::ixUnique},
               {"IDX_PROJECTS_PROJECTNAME", "PROJECTNAME", dbf::ixUnique},
               {"IDX_PROJECTS_RANK", "RANK", 0}});
    table.SetIndexName(std::move(index));
    return table;
  }
};

TEST_F(DbfTableTest, MissingTableIsCreatedAndRowsSurviveReopening) {
  dbf::TDbf& table = Projects();
  table.Open();
  EXPECT_TRUE(table.IsEmpty());
  AddRow(
      table,
      {{"PROJECTNAME", "shop  "}, {"RANK", "-7"}, {"DONE", "True"}, {"TEXT", "select *\nfrom t"}});
  AddRow(table, {{"PROJECTNAME", "näme"}});
  table.Close();
  table.Open();
  ASSERT_EQ(table.RecordCount(), 2);
  table.First();
  // Trailing blanks are padding: they are not read back.
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "shop");
  EXPECT_EQ(table.FieldByName("RANK").AsInteger(), -7);
  EXPECT_TRUE(table.FieldByName("DONE").AsBoolean());
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "select *\nfrom t");
  EXPECT_EQ(table.FieldByName("PROJECT_ID").AsInteger(), 1);
  table.Next();
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "näme");
  EXPECT_EQ(table.FieldByName("PROJECT_ID").AsInteger(), 2);
  for (const char* name : {"RANK", "DONE", "TEXT", "NOTE"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(table.FieldByName(name).IsNull());
  }
  EXPECT_TRUE(std::filesystem::exists(Path("Projects.dbt")));
}

TEST_F(DbfTableTest, FieldTypesMapToTheFramework) {
  dbf::TDbf& table = Projects();
  table.Open();
  EXPECT_EQ(table.FieldByName("PROJECT_ID").DataType(), db::FieldType::ftAutoInc);
  EXPECT_TRUE(table.FieldByName("PROJECT_ID").ReadOnly());
  EXPECT_EQ(table.FieldByName("PROJECTNAME").DataType(), db::FieldType::ftString);
  EXPECT_EQ(table.FieldByName("RANK").DataType(), db::FieldType::ftInteger);
  EXPECT_EQ(table.FieldByName("DONE").DataType(), db::FieldType::ftBoolean);
  EXPECT_EQ(table.FieldByName("TEXT").DataType(), db::FieldType::ftMemo);
}

TEST_F(DbfTableTest, AutoIncrementNumbersAreNeverReusedAcrossDeletePackAndReopen) {
  dbf::TDbf& table = Projects();
  table.Open();
  for (const char* name : {"a", "b", "c"}) AddRow(table, {{"PROJECTNAME", name}});
  table.Last();
  table.Delete();
  table.PackTable();
  table.Close();
  table.Open();
  AddRow(table, {{"PROJECTNAME", "d"}});
  EXPECT_EQ(Column(table, "PROJECT_ID"), (std::vector<std::string>{"1", "2", "4"}));
}

TEST_F(DbfTableTest, CancelledAndRefusedInsertsUseNoNumber) {
  dbf::TDbf& table = Projects();
  table.Open();
  table.Append();
  table.FieldByName("PROJECTNAME").SetAsString("x");
  table.Cancel();
  AddRow(table, {{"PROJECTNAME", "a"}});
  table.Append();
  table.FieldByName("PROJECTNAME").SetAsString("much too long");
  EXPECT_THROW(table.Post(), db::DatabaseError);
  table.Cancel();
  AddRow(table, {{"PROJECTNAME", "b"}});
  EXPECT_EQ(Column(table, "PROJECT_ID"), (std::vector<std::string>{"1", "2"}));
}

struct TextCase {
  const char* name;
  const char* field;
  std::string input;
  std::string stored;  // empty: refused
};

// PROJECTNAME holds 10 bytes and may not be cut; NOTE holds 5 and may.
TEST_F(DbfTableTest, LongTextIsRefusedOrCutAtACharacterBoundary) {
  const TextCase cases[] = {
      {"fits exactly", "PROJECTNAME", "0123456789", "0123456789"},
      {"one byte too long", "PROJECTNAME", "0123456789a", ""},
      {"multi-byte character across the end", "PROJECTNAME", "012345678é", ""},
      {"cut after a whole character", "NOTE", "señor", "seño"},
      {"cut before a split character", "NOTE", "abcdé", "abcd"},
      {"three-byte characters", "NOTE", "日本語", "日"},
      {"fits the cut field", "NOTE", "abcde", "abcde"},
  };
  dbf::TDbf& table = Projects();
  table.Open();
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    table.Append();
    table.FieldByName(c.field).SetAsString(c.input);
    if (c.stored.empty()) {
      try {
        table.Post();
        ADD_FAILURE() << "posted";
      } catch (const db::DatabaseError& e) {
        std::string text = e.what();
        EXPECT_NE(text.find("PROJECTNAME"), std::string::npos) << text;
        EXPECT_NE(text.find("size of 10 bytes"), std::string::npos) << text;
      }
      // The refused post keeps the row being edited, and nothing was stored.
      EXPECT_EQ(table.State(), db::DataSetState::kInsert);
      table.Cancel();
      continue;
    }
    table.Post();
    EXPECT_EQ(table.FieldByName(c.field).AsString(), c.stored);
  }
  table.Close();
  table.Open();
  EXPECT_EQ(Column(table, "PROJECT_ID"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST_F(DbfTableTest, TooLongTextIsRefusedWhenEditingToo) {
  dbf::TDbf& table = Projects();
  table.Open();
  AddRow(table, {{"PROJECTNAME", "keep"}});
  table.Edit();
  table.FieldByName("PROJECTNAME").SetAsString("0123456789ab");
  EXPECT_THROW(table.Post(), db::DatabaseError);
  table.FieldByName("PROJECTNAME").SetAsString("short");
  table.Post();
  table.Close();
  table.Open();
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "short");
}

TEST_F(DbfTableTest, IntegerOutsideTheFileFormIsRefused) {
  dbf::TDbf& table = Projects();
  table.Open();
  table.Append();
  EXPECT_THROW(table.FieldByName("RANK").SetAsInteger(-2147483648LL), db::ConversionError);
  table.FieldByName("RANK").SetAsInteger(-2147483647LL);
  table.Post();
  table.Close();
  table.Open();
  EXPECT_EQ(table.FieldByName("RANK").AsInteger(), -2147483647LL);
}

TEST_F(DbfTableTest, PrimaryTagRefusesADuplicateKey) {
  dbf::TDbf& table =
      Table("T.dbf", {{"CODE", FieldKind::kInteger}, {"NAME", FieldKind::kCharacter, 8}},
            {{"IDX_CODE", "CODE", dbf::ixPrimary | dbf::ixUnique}});
  table.Open();
  AddRow(table, {{"CODE", "1"}, {"NAME", "one"}});
  AddRow(table, {{"CODE", "2"}, {"NAME", "two"}});
  table.Append();
  table.FieldByName("CODE").SetAsInteger(1);
  try {
    table.Post();
    ADD_FAILURE() << "posted";
  } catch (const db::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("key violation"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("IDX_CODE"), std::string::npos) << e.what();
  }
  table.Cancel();
  // Editing a row may keep its own key, not take another's.
  table.First();
  table.Edit();
  table.FieldByName("NAME").SetAsString("uno");
  table.Post();
  table.Edit();
  table.FieldByName("CODE").SetAsInteger(2);
  EXPECT_THROW(table.Post(), db::DatabaseError);
  table.Cancel();
  // A deleted row's key is free again.
  table.Last();
  table.Delete();
  AddRow(table, {{"CODE", "2"}, {"NAME", "deux"}});
  EXPECT_EQ(Column(table, "NAME"), (std::vector<std::string>{"uno", "deux"}));
}

TEST_F(DbfTableTest, ActiveTagOrdersByKeyThenRecordNumber) {
  dbf::TDbf& table = Projects("IDX_PROJECTS_RANK");
  table.Open();
  AddRow(table, {{"PROJECTNAME", "a"}, {"RANK", "3"}});
  AddRow(table, {{"PROJECTNAME", "b"}, {"RANK", "-1"}});
  AddRow(table, {{"PROJECTNAME", "c"}, {"RANK", "3"}});
  AddRow(table, {{"PROJECTNAME", "d"}, {"RANK", "10"}});
  AddRow(table, {{"PROJECTNAME", "e"}});
  EXPECT_EQ(Column(table, "PROJECTNAME"), (std::vector<std::string>{"e", "b", "a", "c", "d"}));
  table.SetIndexName("");
  EXPECT_EQ(Column(table, "PROJECTNAME"), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST_F(DbfTableTest, UniqueTagStoresADuplicateButLeavesItOutOfTheTag) {
  dbf::TDbf& table = Projects();
  table.Open();
  AddRow(table, {{"PROJECTNAME", "same"}, {"RANK", "1"}});
  AddRow(table, {{"PROJECTNAME", "other"}});
  AddRow(table, {{"PROJECTNAME", "same"}, {"RANK", "2"}});
  EXPECT_EQ(table.RecordCount(), 3);
  table.SetIndexName("IDX_PROJECTS_PROJECTNAME");
  EXPECT_EQ(Column(table, "PROJECTNAME"), (std::vector<std::string>{"other", "same"}));
  EXPECT_EQ(table.FieldByName("RANK").AsInteger(), 1);
  AddRow(table, {{"PROJECTNAME", "same"}});
  EXPECT_EQ(table.RecordCount(), 2);
}

TEST_F(DbfTableTest, UnknownActiveTagFailsTheOpen) {
  dbf::TDbf& table = Projects("IDX_NONE");
  EXPECT_THROW(table.Open(), db::DatabaseError);
  EXPECT_FALSE(table.Active());
}

TEST_F(DbfTableTest, DeletedRowsAreHiddenAndGoneAfterPack) {
  dbf::TDbf& table = Projects();
  table.Open();
  for (const char* name : {"a", "b", "c"}) AddRow(table, {{"PROJECTNAME", name}});
  table.First();
  table.Next();
  table.Delete();
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "c");
  EXPECT_EQ(Column(table, "PROJECTNAME"), (std::vector<std::string>{"a", "c"}));
  table.Close();
  const auto before = ReadFile("Projects.dbf").size();
  table.Open();
  EXPECT_EQ(Column(table, "PROJECTNAME"), (std::vector<std::string>{"a", "c"}));
  table.Last();
  table.PackTable();
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "c");
  // One record fewer: 1 + 4 + 10 + 5 + 4 + 1 + 10 bytes.
  EXPECT_EQ(ReadFile("Projects.dbf").size(), before - 35);
}

// The packed files are as private as the old ones, and a link planted where
// the pack writes its new files is replaced, never written through.
TEST_F(DbfTableTest, PackKeepsPermissionBitsAndFollowsNoPlantedLink) {
  dbf::TDbf& table = Projects();
  table.Open();
  AddRow(table, {{"PROJECTNAME", "a"}, {"TEXT", "memo a"}});
  AddRow(table, {{"PROJECTNAME", "b"}, {"TEXT", "memo b"}});
  table.First();
  table.Delete();
  table.Close();
  ASSERT_EQ(::chmod(Path("Projects.dbf").c_str(), 0600), 0);
  ASSERT_EQ(::chmod(Path("Projects.dbt").c_str(), 0600), 0);
  WriteFile("victim", "keep");
  ASSERT_EQ(::symlink(Path("victim").c_str(), Path("Projects.dbf.part").c_str()), 0);
  table.PackTable();
  EXPECT_EQ(ReadFile("victim"), "keep");
  for (const char* name : {"Projects.dbf", "Projects.dbt"}) {
    struct stat st;
    ASSERT_EQ(::stat(Path(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
  table.Open();
  EXPECT_EQ(Column(table, "TEXT"), (std::vector<std::string>{"memo b"}));
}

TEST_F(DbfTableTest, PackOfAClosedTable) {
  dbf::TDbf& table = Projects();
  table.Open();
  AddRow(table, {{"PROJECTNAME", "a"}, {"TEXT", "memo a"}});
  AddRow(table, {{"PROJECTNAME", "b"}, {"TEXT", "memo b"}});
  table.First();
  table.Delete();
  table.Close();
  table.PackTable();
  table.Open();
  EXPECT_EQ(Column(table, "TEXT"), (std::vector<std::string>{"memo b"}));
  EXPECT_EQ(ReadFile("Projects.dbt").size(), 2u * 512);
}

TEST_F(DbfTableTest, BookmarksOutliveMovesButNotAPack) {
  dbf::TDbf& table = Projects();
  table.Open();
  for (const char* name : {"a", "b", "c"}) AddRow(table, {{"PROJECTNAME", name}});
  table.First();
  table.Next();
  db::Bookmark b = table.GetBookmark();
  table.Last();
  table.GotoBookmark(b);
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "b");
  table.PackTable();
  EXPECT_FALSE(table.BookmarkValid(b));
}

TEST_F(DbfTableTest, LocateFindsByValue) {
  dbf::TDbf& table = Projects();
  table.Open();
  for (const char* name : {"Alpha", "Beta"}) AddRow(table, {{"PROJECTNAME", name}});
  EXPECT_TRUE(table.Locate("PROJECT_ID", rtl::Variant::Int(2)));
  EXPECT_EQ(table.FieldByName("PROJECTNAME").AsString(), "Beta");
  EXPECT_TRUE(table.Locate("projectname", rtl::Variant::Text("alpha"), db::loCaseInsensitive));
  EXPECT_EQ(table.FieldByName("PROJECT_ID").AsInteger(), 1);
  EXPECT_FALSE(table.Locate("PROJECTNAME", rtl::Variant::Text("alpha")));
}

TEST_F(DbfTableTest, MemoWrittenThroughABlobStream) {
  dbf::TDbf& table = Projects();
  table.Open();
  table.Append();
  auto stream = table.CreateBlobStream(table.FieldByName("TEXT"), db::BlobStreamMode::bmWrite);
  ASSERT_NE(stream, nullptr);
  stream->Write("line 1\nline 2", 13);
  table.Post();
  table.Close();
  table.Open();
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "line 1\nline 2");
}

TEST_F(DbfTableTest, SecondOpenerOfTheSameTableIsRefused) {
  dbf::TDbf& first = Projects();
  first.Open();
  dbf::TDbf& second = Projects();
  try {
    second.Open();
    ADD_FAILURE() << "opened twice";
  } catch (const db::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("already open"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Projects.dbf"), std::string::npos) << e.what();
  }
  // Another process is refused as well.
  pid_t child = ::fork();
  if (child == 0) {
    dbf::TDbf other;
    other.SetFilePath(folder_);
    other.SetTableName("Projects.dbf");
    int code = 0;
    try {
      other.Open();
    } catch (const db::DatabaseError&) {
      code = 3;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  first.Close();
  second.Open();
  EXPECT_TRUE(second.Active());
}

TEST_F(DbfTableTest, PackedTableStaysLockedForItsOpener) {
  dbf::TDbf& first = Projects();
  first.Open();
  AddRow(first, {{"PROJECTNAME", "a"}});
  first.PackTable();
  dbf::TDbf& second = Projects();
  EXPECT_THROW(second.Open(), db::DatabaseError);
  AddRow(first, {{"PROJECTNAME", "b"}});
  first.Close();
  second.Open();
  EXPECT_EQ(Column(second, "PROJECTNAME"), (std::vector<std::string>{"a", "b"}));
}

TEST_F(DbfTableTest, MissingTableWithoutStoredDefinitionsIsAnError) {
  dbf::TDbf& table = Table("None.dbf", {});
  try {
    table.Open();
    ADD_FAILURE() << "opened";
  } catch (const db::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("None.dbf: the file does not exist"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(Path("None.dbf")));
}

}  // namespace

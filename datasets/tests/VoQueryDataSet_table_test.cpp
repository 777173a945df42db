// The query dataset's table files: loading through the delimited-text reader
// with the engine's row rules, writing back in the engine's format, the
// automatic save of PersistentSave, and the TableLoaded and TableSaved
// triggers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/DatabaseError.h"
#include "query_dataset_fixture.h"

namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

constexpr const char* kTable =
    "id;name;note\n"
    "1;  anna  ;\"a;b\"\n"
    "2;bert\n"
    "3;carl;\"say \\\"hi\\\"\";ignored\n";

Lines Rows(TVoQueryDataSet& ds) {
  Lines rows;
  std::string header;
  for (int i = 0; i < ds.FieldCount(); ++i) header += (i ? "|" : "") + ds.Fields(i).FieldName();
  rows.push_back(header);
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::string line;
    for (int i = 0; i < ds.FieldCount(); ++i) {
      line += (i ? "|" : "") + (ds.Fields(i).IsNull() ? "<null>" : ds.Fields(i).AsString());
    }
    rows.push_back(line);
  }
  return rows;
}

std::string FieldNames(TVoQueryDataSet& ds) {
  std::string names;
  for (int i = 0; i < ds.FieldCount(); ++i) names += (i ? "|" : "") + ds.Fields(i).FieldName();
  return names;
}

class TableFileTest : public QueryDataSetFixture {
 protected:
  TableFileTest() : QueryDataSetFixture(kTable) {}
  void SetUp() override {
    QueryDataSetFixture::SetUp();
    ds_.SetTableName("t");
  }
};

// Rows as the engine reads them: blanks kept, quotes and escapes decoded, a
// short row's missing values null, values past the last column dropped.
TEST_F(TableFileTest, LoadsTheRowsAsTheEngineReadsThem) {
  ds_.ReadTableFile();
  ASSERT_TRUE(ds_.Active());
  EXPECT_EQ(Rows(ds_),
            (Lines{"id|name|note", "1|  anna  |a;b", "2|bert|<null>", "3|carl|say \"hi\""}));
  EXPECT_EQ(ds_.SourceKind(), sdSdfDataset);
  EXPECT_EQ(ds_.SourceRecordCount(), 4);  // the header line counts
  EXPECT_EQ(ds_.SourceFieldCount(), 3);
  // Every column is as wide as the file's longest line.
  for (const db::FieldDef& def : ds_.FieldDefs()) {
    EXPECT_EQ(def.DataType, db::FieldType::ftString);
    EXPECT_EQ(def.Size, 27);
  }
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.MasterDetailSuspended());
  EXPECT_TRUE(messages_.Texts.empty());
}

// Rows go straight into the store when nothing listens per row, and through
// Append, a SetAsString per value and Post when something does (here a
// BeforePost handler): either way the same values, nulls, cuts at a size given
// in the header, change log and sort order.
TEST_F(TableFileTest, RowsStoredStraightAreTheRowsPostedOneByOne) {
  dir_.Write("t.txt",
             "id;name;note=3\r\n"
             "3;\"c;x\";\\n\r\n"
             "1;ann\n"
             "\n"
             "2;bob;\"say \\\"hi\\\"\";extra\n"
             "4;;\n");
  struct Loaded {
    Lines rows;
    std::vector<int> sizes;
    int changes = 0;
    std::vector<int> statuses;
  };
  auto load = [&] {
    ds_.ReadTableFile();
    Loaded loaded;
    loaded.rows = Rows(ds_);
    for (int i = 0; i < ds_.FieldCount(); ++i) loaded.sizes.push_back(ds_.Fields(i).Size());
    loaded.changes = ds_.GetChangeCount();
    for (ds_.First(); !ds_.Eof(); ds_.Next()) {
      loaded.statuses.push_back(static_cast<int>(ds_.UpdateStatus()));
    }
    return loaded;
  };
  ds_.ReadTableFile();
  ASSERT_TRUE(ds_.ToggleIndexOnField("name"));
  const Loaded straight = load();
  EXPECT_EQ(straight.rows, (Lines{"id|name|note", "<null>|<null>|<null>", "4||", "1|ann|<null>",
                                  "2|bob|say", "3|c;x|\r"}));
  EXPECT_EQ(straight.sizes, (std::vector<int>{24, 24, 3}));
  EXPECT_EQ(straight.changes, 5);
  EXPECT_EQ(straight.statuses,
            std::vector<int>(5, static_cast<int>(db::UpdateStatus::usInserted)));

  int posts = 0;
  ds_.BeforePost = [&posts](db::DataSet&) { ++posts; };
  const Loaded posted = load();
  EXPECT_EQ(posts, 5);
  EXPECT_EQ(posted.rows, straight.rows);
  EXPECT_EQ(posted.sizes, straight.sizes);
  EXPECT_EQ(posted.changes, straight.changes);
  EXPECT_EQ(posted.statuses, straight.statuses);
}

TEST_F(TableFileTest, AMissingFileIsCreatedEmptyAndGivesNoRows) {
  ds_.SetTableName("new");
  ds_.ReadTableFile();
  EXPECT_TRUE(dir_.Exists("new.txt"));
  EXPECT_EQ(dir_.Read("new.txt"), "");
  EXPECT_EQ(Rows(ds_), (Lines{""}));  // no columns
}

// A pipe or a device would never end (or never start): refused before reading,
// as the engine refuses it, and the dataset stays closed.
TEST_F(TableFileTest, AFileThatIsNoRegularFileIsRefused) {
  const std::string file = dir_.File("t.txt");
  for (const char* kind : {"pipe", "device"}) {
    SCOPED_TRACE(kind);
    std::filesystem::remove(file);
    if (std::string(kind) == "pipe") {
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    } else {
      std::filesystem::create_symlink("/dev/zero", file);
    }
    try {
      ds_.ReadTableFile();
      ADD_FAILURE() << "read";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), "Could not read file " + file + ": not a regular file");
    }
    EXPECT_FALSE(ds_.Active());
  }
}

TEST_F(TableFileTest, ALoadKeepsTheFilterAndMatchingFieldDefinitions) {
  ds_.ReadTableFile();
  ds_.SetFilterText("name = 'bert'");
  ds_.SetFiltered(true);
  dir_.Write("t.txt", "id;name;note\n4;bert;x\n5;dora;y\n");
  ds_.ReadTableFile();
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(Rows(ds_), (Lines{"id|name|note", "4|bert|x"}));
  // The same column names keep the definitions: still as wide as before.
  EXPECT_EQ(ds_.FieldDefs()[0].Size, 27);

  dir_.Write("t.txt", "other\n1\n");
  ds_.SetFiltered(false);
  ds_.ReadTableFile();
  EXPECT_EQ(Rows(ds_), (Lines{"other", "1"}));
  EXPECT_EQ(ds_.FieldDefs()[0].Size, 5);
}

TEST_F(TableFileTest, WritesEveryRowInTheCurrentOrderInTheEnginesEncoding) {
  ds_.ReadTableFile();
  ds_.AddIndex("name__desc", "name", db::ixDescending, "name");
  ds_.SetIndexName("name__desc");
  ds_.SetFilterText("id = '2'");
  ds_.SetFiltered(true);
  ds_.First();
  ds_.WriteTableFile();
  EXPECT_EQ(dir_.Read("t.txt"),
            "id;name;note\n"
            "3;carl;\"say \\\"hi\\\"\"\n"
            "2;bert;\n"
            "1;  anna  ;\"a;b\"\n");
  // The filter and the current row are back.
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(ds_.FieldByName("id").AsString(), "2");

  // What was written reads back as it was, but for the null value, written as
  // an empty text.
  ds_.SetFiltered(false);
  ds_.ReadTableFile();
  EXPECT_EQ(Rows(ds_), (Lines{"id|name|note", "3|carl|say \"hi\"", "2|bert|", "1|  anna  |a;b"}));
}

// A row being appended is posted first: it is written, and stays current.
TEST_F(TableFileTest, APendingAppendIsPostedWrittenAndStaysCurrent) {
  ds_.ReadTableFile();
  ds_.Append();
  ds_.FieldByName("id").SetAsString("9");
  ds_.WriteTableFile();
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.FieldByName("id").AsString(), "9");
  const std::string file = dir_.Read("t.txt");
  EXPECT_TRUE(file.ends_with("\n9;;\n")) << file;
}

TEST_F(TableFileTest, FloatsAreWrittenWithTheSeparatorAsked) {
  dir_.Write("m.txt", "id;amount\n1;2.5\n2;0,25\n");
  ds_.SetTableName("m");
  ds_.FieldDefs().Add("id", db::FieldType::ftString, 5);
  ds_.FieldDefs().Add("amount", db::FieldType::ftFloat);
  ds_.ReadTableFile();
  EXPECT_EQ(Rows(ds_), (Lines{"id|amount", "1|2.5", "2|0.25"}));
  ds_.WriteTableFile(',');
  EXPECT_EQ(dir_.Read("m.txt"), "id;amount\n1;2,5\n2;0,25\n");
  ds_.WriteTableFile();
  EXPECT_EQ(dir_.Read("m.txt"), "id;amount\n1;2.5\n2;0.25\n");
}

// Values that the file format must escape or quote are written so that the
// engine, and the next load, read them back as they were: before, a backslash
// inside quotes swallowed the rest of the row and line breaks split it.
TEST_F(TableFileTest, ValuesTheFormatEncodesReadBackThroughTheEngineAndTheDataset) {
  const struct {
    std::string value;
    std::string written;  // the note cell of the written row
  } cases[] = {
      {"C:\\dir\\", "C:\\\\dir\\\\"},
      {"C:\\new", "C:\\\\new"},
      {"\"C:\\dir\\\"", "\"\\\"C:\\\\dir\\\\\\\"\""},
      {"two\nlines", "two\\llines"},
      {"cr\r", "cr\\n"},
      {"x\";y", "\"x\\\";y\""},
      {"it's `q`", "\"it's `q`\""},
      {"tab\there", "tab\\there"},
      {"nul\0!"s, "nul\\0!"},
      {"  blanks  ", "  blanks  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.value));
    dir_.Write("t.txt", kTable);
    ds_.ReadTableFile();
    ds_.Last();
    ds_.Edit();
    ds_.FieldByName("note").SetAsString(c.value);
    ds_.Post();
    ds_.WriteTableFile();
    EXPECT_EQ(dir_.Read("t.txt"),
              "id;name;note\n1;  anna  ;\"a;b\"\n2;bert;\n3;carl;" + c.written + "\n");
    vek::TvekRecordSet set;
    bool loaded = false;
    ASSERT_TRUE(set.LoadFromFile(dir_.File("t.txt"), loaded).ok());
    ASSERT_EQ(set.RecordCount(), 3);
    ASSERT_EQ(set.Records[2].FieldCount(), 3);
    EXPECT_EQ(set.Records[2].Cell(2), c.value);
    ds_.ReadTableFile();
    ds_.Last();
    EXPECT_EQ(ds_.FieldByName("note").AsString(), c.value);
  }
}

TEST_F(TableFileTest, ATableNameOutsideTheFolderIsRefused) {
  for (const char* name : {"../t", "sub/t"}) {
    SCOPED_TRACE(name);
    ds_.SetTableName(name);
    try {
      ds_.ReadTableFile();
      ADD_FAILURE() << "no exception";
    } catch (const db::DatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("Invalid table name: ") + name),
                std::string::npos)
          << e.what();
    }
    EXPECT_THROW(ds_.WriteTableFile(), db::DatabaseError);
    EXPECT_FALSE(ds_.InternalLoading());
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir_.path()).parent_path() / "t.txt"));
}

TEST_F(TableFileTest, PersistentSaveWritesAfterPostsAndDeletes) {
  ds_.ReadTableFile();
  ds_.SetPersistentSave(true);
  ds_.First();
  ds_.Delete();
  EXPECT_EQ(dir_.Read("t.txt"), "id;name;note\n2;bert;\n3;carl;\"say \\\"hi\\\"\"\n");
  ds_.Append();
  ds_.FieldByName("id").SetAsString("9");
  ds_.Post();
  EXPECT_TRUE(dir_.Read("t.txt").ends_with("\n9;;\n"));
  EXPECT_TRUE(messages_.Texts.empty());
}

TEST_F(TableFileTest, PersistentSaveWithoutTableNameSaysWhyNothingIsWritten) {
  ds_.ReadTableFile();
  ds_.SetPersistentSave(true);
  ds_.SetTableName("");
  ds_.First();
  ds_.Delete();
  ds_.SetSQL({"select id from t"});
  ds_.RunSqlText();
  // The file of the empty name, ".txt", read (and made) as it is: it has no
  // header, so no columns, and a load without columns saves nothing.
  ds_.ReadTableFile();
  EXPECT_EQ(messages_.Texts,
            (Lines{"Dataset can not be saved because TableName property is not set",
                   "Dataset Result can not be saved because TableName property is not set"}));
  EXPECT_EQ(dir_.Read(".txt"), "");
  EXPECT_EQ(dir_.Read("t.txt"), kTable);
}

// A load that fails part way would write the rows read so far over the whole
// table: it is not saved.
TEST_F(TableFileTest, ALoadThatFailsPartWayIsNotSaved) {
  dir_.Write("m.txt", "id;amount\n1;2.5\n2;x\n3;1\n");
  ds_.SetTableName("m");
  ds_.FieldDefs().Add("id", db::FieldType::ftString, 5);
  ds_.FieldDefs().Add("amount", db::FieldType::ftFloat);
  ds_.SetPersistentSave(true);
  EXPECT_THROW(ds_.ReadTableFile(), db::ConversionError);
  EXPECT_EQ(dir_.Read("m.txt"), "id;amount\n1;2.5\n2;x\n3;1\n");
  EXPECT_FALSE(ds_.InternalLoading());

  ds_.SetSQL({"select id, amount from m"});
  EXPECT_THROW(ds_.RunSqlText(), db::ConversionError);
  EXPECT_EQ(dir_.Read("m.txt"), "id;amount\n1;2.5\n2;x\n3;1\n");
}

TEST_F(TableFileTest, PersistentSaveWritesAfterALoadAQueryAndOnDestruction) {
  ds_.SetPersistentSave(true);
  ds_.ReadTableFile();
  EXPECT_EQ(dir_.Read("t.txt").substr(0, 20), "id;name;note\n1;  ann");

  ds_.SetSQL({"select id from t where id = '2'"});
  ds_.RunSqlText();
  EXPECT_EQ(dir_.Read("t.txt"), "id\n2\n");

  auto other = std::make_unique<TVoQueryDataSet>();
  other->SetVoConnection(&connection_);
  other->SetTableName("u");
  other->SetSQL({"select id from t"});
  other->RunSqlText();
  other->SetPersistentSave(true);
  other.reset();
  EXPECT_EQ(dir_.Read("u.txt"), "id\n2\n");
}

TEST_F(TableFileTest, TableLoadedLoadsAndUnloadsWithoutTouchingTheFile) {
  ds_.SetPersistentSave(true);
  ds_.SetTableLoaded(true);
  EXPECT_TRUE(ds_.TableLoaded());
  EXPECT_EQ(ds_.RecordCount(), 3);
  const std::string saved = dir_.Read("t.txt");

  // Unloading takes the rows out of memory only.
  ds_.SetTableLoaded(false);
  EXPECT_FALSE(ds_.TableLoaded());
  EXPECT_FALSE(ds_.Active());
  EXPECT_EQ(dir_.Read("t.txt"), saved);

  // A failing load is swallowed and leaves the flag false and the dataset closed.
  dir_.Write("t.txt", "a;A\n1;2\n");
  ds_.SetTableLoaded(true);
  EXPECT_FALSE(ds_.TableLoaded());
  EXPECT_FALSE(ds_.Active());
}

TEST_F(TableFileTest, QueryExecutedFalseDoesNotSaveTheEmptiedDataset) {
  ds_.SetSQL({"select id, name from t"});
  ds_.SetQueryExecuted(true);
  ds_.SetPersistentSave(true);
  const std::string saved = dir_.Read("t.txt");
  ds_.SetQueryExecuted(false);
  EXPECT_EQ(dir_.Read("t.txt"), saved);
}

TEST_F(TableFileTest, TableSavedWritesOnceAndReadsFalseAgain) {
  ds_.ReadTableFile();
  ds_.SetTableSaved(true);
  EXPECT_FALSE(ds_.TableSaved());
  EXPECT_EQ(dir_.Read("t.txt").substr(0, 17), "id;name;note\n1;  ");

  ds_.SetTableName("a/b");
  EXPECT_THROW(ds_.SetTableSaved(true), db::DatabaseError);
  EXPECT_FALSE(ds_.TableSaved());
}

TEST_F(TableFileTest, DuplicateColumnNamesFailTheLoad) {
  dir_.Write("t.txt", "id;ID\n1;2\n");
  EXPECT_THROW(ds_.ReadTableFile(), db::DatabaseError);
  EXPECT_FALSE(ds_.InternalLoading());
}

// A file without a header has no columns: the names of the file read before
// belong to another table, and saving would write them over this one.
TEST_F(TableFileTest, AFileWithoutHeaderHasNoColumns) {
  for (const char* bytes : {"", "\n", " \t\nx;y\n"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(bytes)));
    dir_.Write("a.txt", "a;b\n1;2\n");
    ds_.SetTableName("a");
    ds_.ReadTableFile();
    dir_.Write("b.txt", bytes);
    ds_.SetTableName("b");
    ds_.ReadTableFile();
    EXPECT_TRUE(ds_.Active());
    EXPECT_EQ(ds_.FieldCount(), 0);
    EXPECT_EQ(ds_.RecordCount(), 0);
    // Nothing to write: the lines after a blank first line stay in the file.
    EXPECT_THROW(ds_.WriteTableFile(), db::DatabaseError);
    EXPECT_EQ(dir_.Read("b.txt"), bytes);
    // Nor does a dataset that saves itself after every load write over them.
    ds_.SetPersistentSave(true);
    ds_.ReadTableFile();
    ds_.SetPersistentSave(false);
    EXPECT_EQ(dir_.Read("b.txt"), bytes);
  }
}

// A write that fails still runs its cleanup: the controls are enabled again.
TEST_F(TableFileTest, AFailedWriteOfAClosedDatasetEnablesTheControlsAgain) {
  ds_.SetTableLoaded(true);
  ds_.SetTableLoaded(false);  // empties and closes the dataset
  ASSERT_FALSE(ds_.Active());
  EXPECT_THROW(ds_.SetTableSaved(true), db::DatabaseError);
  EXPECT_FALSE(ds_.TableSaved());
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_FALSE(ds_.MasterDetailSuspended());
  EXPECT_EQ(dir_.Read("t.txt"), kTable);

  // Each further failure must not leave the count one higher either.
  EXPECT_THROW(ds_.WriteTableFile(), db::DatabaseError);
  EXPECT_FALSE(ds_.ControlsDisabled());
}

// Header names are trimmed of blanks and control characters, NUL included,
// and a first line of nothing else is no header.
TEST_F(TableFileTest, HeaderNamesAreTrimmedOfControlCharactersIncludingNul) {
  const struct {
    std::string bytes;
    std::string names;
  } cases[] = {
      {"a;\0\n1;2\n"s, "a"},
      {"\0a\0;b\n1;2\n"s, "a|b"},
      {"\0\nx\n"s, ""},  // no header, no columns
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    dir_.Write("n.txt", c.bytes);
    auto ds = std::make_unique<TVoQueryDataSet>();
    ds->SetVoConnection(&connection_);
    ds->SetTableName("n");
    ds->ReadTableFile();
    EXPECT_EQ(FieldNames(*ds), c.names);
  }
}

}  // namespace

// The TableData page's operations: loading the current table's file with its
// messages, refusing what would create or lose a file, unloading, title-click
// sorting, saving back to the file the data came from in the engine's cell
// encoding, and the column widths fitted to their titles.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TableNames.h"
#include "operations_fixture.h"

namespace app::testing {
namespace {

class TableDataTest : public OperationsTest {
 protected:
  // Registers `table` with the file `bytes`, loads it and forgets the messages.
  void LoadTable(const std::string& table, const std::string& bytes) {
    WriteTable(table, bytes);
    AddTable(table);
    ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
    messages_.entries.clear();
  }
  void SetValue(const std::string& field, const std::string& value) {
    data_.Edit();
    data_.FieldByName(field).SetAsString(value);
    data_.Post();
  }
  bool Save() { return table_data_->SaveCSVTableData(*catalogue_, messages_); }
  std::string SavedMessage(const std::string& table) {
    return "Table " + table + " updated and saved to file: " + TablePath(table);
  }
};

// ---- Loading ----

TEST_F(TableDataTest, LoadShowsTheRowsBetweenTheAnnouncementAndFinished) {
  WriteTable("orders", "id;name\n1;ann\n2;bob\n");
  AddTable("orders");
  EXPECT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Column("name"), (Texts{"ann", "bob"}));
  EXPECT_EQ(table_data_->LoadedTable(), "orders");
  EXPECT_EQ(table_data_->LoadedFile(), TablePath("orders"));
}

// The load leaves the page's own AfterPost out while it runs and puts it
// back, also after a load that failed: a post after a load is a change.
TEST_F(TableDataTest, APostAfterALoadIsAChange) {
  LoadTable("orders", "id;name\n1;ann\n2;bob\n");
  EXPECT_FALSE(table_data_->HasUnsavedChanges());
  SetValue("name", "changed");
  EXPECT_TRUE(table_data_->HasUnsavedChanges());
  WriteTable("twice", "a;A\n1;2\n");
  AddTable("twice");
  messages_.answers = {true};  // discard the change
  EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  LoadTable("orders2", "id;name\n1;ann\n");
  EXPECT_FALSE(table_data_->HasUnsavedChanges());
  SetValue("name", "again");
  EXPECT_TRUE(table_data_->HasUnsavedChanges());

  // A handler put in the page's place stays and hears every loaded row.
  int posts = 0;
  data_.AfterPost = [&posts](db::DataSet&) { ++posts; };
  ASSERT_TRUE(table_data_->Reload(messages_));
  EXPECT_EQ(posts, 1);
  SetValue("name", "third");
  EXPECT_EQ(posts, 2);
}

// A handler set before the page's is chained: it hears every loaded row.
TEST_F(TableDataTest, AnAfterPostSetBeforeThePageHearsEveryLoadedRow) {
  table_data_.reset();
  int posts = 0;
  data_.AfterPost = [&posts](db::DataSet&) { ++posts; };
  table_data_ = std::make_unique<TableData>(data_);
  LoadTable("orders", "id;name\n1;ann\n2;bob\n");
  EXPECT_EQ(posts, 2);
  SetValue("name", "changed");
  EXPECT_EQ(posts, 3);
  EXPECT_TRUE(table_data_->HasUnsavedChanges());
}

TEST_F(TableDataTest, AHeaderOnlyFileGivesColumnsWithoutRows) {
  WriteTable("empty", "a;b;c\n");
  AddTable("empty");
  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  ASSERT_EQ(data_.FieldCount(), 3);
  EXPECT_EQ(data_.Fields(2).FieldName(), "c");
  EXPECT_EQ(data_.RecordCount(), 0);
}

TEST_F(TableDataTest, AMissingFileIsReportedAndNotCreated) {
  AddTable("ghost");
  EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(messages_.Texts(),
            (Texts{"The file " + TablePath("ghost") + " of table ghost does not exist."}));
  EXPECT_FALSE(TableExists("ghost"));
  EXPECT_FALSE(data_.Active());
}

TEST_F(TableDataTest, WithoutACurrentTableNothingIsLoaded) {
  EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(messages_.Texts(),
            (Texts{"There is no current table: register or choose a table first."}));
  EXPECT_FALSE(data_.Active());
}

TEST_F(TableDataTest, ANameLeadingOutOfTheProjectFolderIsRefused) {
  // A catalogue row from before names were checked.
  folder_.Write("outside.txt", "a\n1\n");
  AddTable("../outside");
  EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(messages_.Texts(), (Texts{TableNameProblem("../outside")}));
  EXPECT_FALSE(data_.Active());
}

TEST_F(TableDataTest, AFailedLoadIsShownAfterFinishedAndLeavesNothingLoaded) {
  WriteTable("twice", "id;ID\n1;2\n");
  AddTable("twice");
  EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_EQ(messages_.Texts()[1], kFinished);
  EXPECT_EQ(messages_.entries[2].kind, RecordingMessages::Kind::kError);
  EXPECT_NE(messages_.entries[2].text.find("Duplicate name"), std::string::npos);
  EXPECT_FALSE(table_data_->Loaded());
  EXPECT_FALSE(data_.Active());
}

// A table file that is a pipe or a device would never end (or never start):
// the load refuses it, as the engine does, instead of waiting or eating memory.
TEST_F(TableDataTest, AFileThatIsNoRegularFileIsRefused) {
  AddTable("t");
  for (const char* kind : kIrregularKinds) {
    SCOPED_TRACE(kind);
    MakeIrregularTable("t", kind);
    messages_.entries.clear();
    EXPECT_FALSE(table_data_->LoadCSVTableData(*catalogue_, messages_));
    EXPECT_EQ(messages_.Texts(),
              (Texts{kAnnouncement, kFinished,
                     "Could not read file " + TablePath("t") + ": not a regular file"}));
    EXPECT_FALSE(table_data_->Loaded());
    EXPECT_FALSE(data_.Active());
  }
}

TEST_F(TableDataTest, ValuesAreNotCutOnReloadNorWhenTyped) {
  LoadTable("notes", "id;text\n1;a\n");
  const std::string typed(5000, 'x');
  SetValue("text", typed);
  EXPECT_EQ(data_.FieldByName("text").AsString(), typed);
  ASSERT_TRUE(Save());

  const std::string longer(9000, 'y');
  WriteTable("notes", "id;text\n1;" + longer + "\n");
  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(data_.FieldByName("text").AsString(), longer);
}

TEST_F(TableDataTest, AHeaderNameTheFirstReadingMissesStillGetsUncutFields) {
  // "=5" is a column without a name for the reader: the rows are read again
  // into the columns it made, widened.
  LoadTable("sized", "id;=5;text\n1;;abc\n");
  const std::string typed(50, 'x');
  SetValue("text", typed);
  EXPECT_EQ(data_.FieldByName("text").AsString(), typed);
}

// ---- Unsaved changes ----

struct DiscardCase {
  std::string name;
  bool answer;
  Texts messages;
  std::string value_after;
};

TEST_F(TableDataTest, LoadingOverUnsavedChangesAsksFirst) {
  const std::string question =
      "The data of table orders has changes that are not saved to its file. Discard them?";
  const std::vector<DiscardCase> cases = {
      {"yes reloads", true, {question, kAnnouncement, kFinished}, "ann"},
      {"no keeps the edit", false, {question}, "changed"},
  };
  LoadTable("orders", "id;name\n1;ann\n");
  for (const DiscardCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetValue("name", "changed");
    messages_.answers = {c.answer};
    table_data_->LoadCSVTableData(*catalogue_, messages_);
    EXPECT_EQ(TakeTexts(), c.messages);
    EXPECT_EQ(data_.FieldByName("name").AsString(), c.value_after);
  }
}

TEST_F(TableDataTest, NoQuestionWithoutChangesOrAfterASave) {
  LoadTable("orders", "id;name\n1;ann\n");
  EXPECT_FALSE(table_data_->HasUnsavedChanges());
  data_.Edit();
  EXPECT_FALSE(table_data_->HasUnsavedChanges());
  data_.FieldByName("name").SetAsString("typed");
  EXPECT_TRUE(table_data_->HasUnsavedChanges());
  ASSERT_TRUE(Save());
  EXPECT_FALSE(table_data_->HasUnsavedChanges());
  data_.First();
  data_.Delete();
  EXPECT_TRUE(table_data_->HasUnsavedChanges());
}

TEST_F(TableDataTest, UnloadAsksBeforeDroppingChanges) {
  LoadTable("orders", "id;name\n1;ann\n");
  SetValue("name", "changed");
  messages_.answers = {false};
  EXPECT_FALSE(table_data_->UnloadData(messages_));
  EXPECT_TRUE(data_.Active());
  messages_.answers = {true};
  EXPECT_TRUE(table_data_->UnloadData(messages_));
  EXPECT_FALSE(data_.Active());
  EXPECT_FALSE(table_data_->Loaded());
  EXPECT_EQ(ReadTable("orders"), "id;name\n1;ann\n");
}

// ---- Sorting ----

TEST_F(TableDataTest, TitleClicksSortAscendingThenDescending) {
  LoadTable("orders", "id;name\n1;bob\n2;ann\n3;cid\n");
  EXPECT_TRUE(SortByTitle(data_, "name"));
  EXPECT_EQ(Column("name"), (Texts{"ann", "bob", "cid"}));
  EXPECT_TRUE(SortByTitle(data_, "name"));
  EXPECT_EQ(Column("name"), (Texts{"cid", "bob", "ann"}));
  EXPECT_FALSE(SortByTitle(data_, "nothing"));
}

TEST_F(TableDataTest, ASortOnAColumnALaterLoadLacksFallsBackToFileOrder) {
  LoadTable("a", "id;c\n1;z\n2;y\n");
  ASSERT_TRUE(SortByTitle(data_, "c"));
  LoadTable("b", "id;d\n2;q\n1;p\n");
  EXPECT_EQ(Column("id"), (Texts{"2", "1"}));
  EXPECT_EQ(data_.IndexName(), "DEFAULT_ORDER");
}

TEST_F(TableDataTest, ASortedSaveWritesTheSortOrder) {
  LoadTable("orders", "id;name\n1;bob\n2;ann\n");
  ASSERT_TRUE(SortByTitle(data_, "name"));
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadTable("orders"), "id;name\n2;ann\n1;bob\n");
}

TEST(SortByTitleTest, AClosedDatasetIsNotSorted) {
  TVoQueryDataSet closed;
  EXPECT_FALSE(SortByTitle(closed, "id"));
}

// ---- Saving ----

TEST_F(TableDataTest, AFileOfPlainValuesIsWrittenBackByteForByte) {
  const std::string file = "id;name;note\n1;ann;\n;;c\n3; spaced ;x\n";
  LoadTable("orders", file);
  EXPECT_TRUE(Save());
  EXPECT_EQ(messages_.Texts(), (Texts{SavedMessage("orders")}));
  EXPECT_EQ(ReadTable("orders"), file);
}

TEST_F(TableDataTest, AwkwardValuesReadBackTheSameHereAndInTheEngine) {
  const std::vector<std::string> values = {"a;b", "say \"hi\"", "two\nlines", "cr\rhere", "back\\slash"};
  LoadTable("notes", "id;text\n1;x\n");
  for (const std::string& value : values) {
    SCOPED_TRACE(value);
    SetValue("text", value);
    ASSERT_TRUE(Save());
    ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
    EXPECT_EQ(data_.FieldByName("text").AsString(), value);

    TVoQueryDataSet query;
    query.SetVoConnection(&connection_);
    query.SetSQL({"SELECT text FROM notes"});
    query.RunSqlText();
    EXPECT_EQ(query.FieldByName("text").AsString(), value);
  }
}

TEST_F(TableDataTest, ValuesTheEngineSavedLoadUnchanged) {
  LoadTable("notes", "id;text\n1;x\n");
  action_.SetSQL({"UPDATE notes SET text = 'a;b' WHERE id = '1'; SAVE TABLE notes;"});
  action_.RunSqlText();
  ASSERT_NE(action_.ResultSetNumber(), 0);
  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  EXPECT_EQ(Column("text"), (Texts{"a;b"}));
  EXPECT_EQ(Column("id"), (Texts{"1"}));
}

TEST_F(TableDataTest, APendingEditIsPostedAndWritten) {
  LoadTable("orders", "id;name\n1;ann\n");
  data_.Edit();
  data_.FieldByName("name").SetAsString("eve");
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadTable("orders"), "id;name\n1;eve\n");
}

TEST_F(TableDataTest, AFilteredSaveWritesEveryRowAndKeepsTheFilter) {
  LoadTable("orders", "id;name\n1;ann\n2;bob\n");
  data_.SetFilterText("name = 'bob'");
  data_.SetFiltered(true);
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadTable("orders"), "id;name\n1;ann\n2;bob\n");
  EXPECT_TRUE(data_.Filtered());
  EXPECT_EQ(Column("name"), (Texts{"bob"}));
}

TEST_F(TableDataTest, TheSaveGoesToTheFileTheDataCameFrom) {
  LoadTable("a", "id\n1\n");
  SetValue("id", "2");
  // Another table current, then another project current.
  WriteTable("b", "id\n9\n");
  AddTable("b");
  const std::string other = folder_.File("other");
  std::filesystem::create_directory(other);
  AddProject("other", other);
  AddTable("a");
  EXPECT_TRUE(Save());
  EXPECT_EQ(messages_.Texts(), (Texts{SavedMessage("a")}));
  EXPECT_EQ(ReadTable("a"), "id\n2\n");
  EXPECT_EQ(ReadTable("b"), "id\n9\n");
  EXPECT_FALSE(std::filesystem::exists(other + "/a.txt"));
}

TEST_F(TableDataTest, SavingWithNothingLoadedReportsAndWritesNothing) {
  WriteTable("orders", "id\n1\n");
  AddTable("orders");
  EXPECT_FALSE(Save());
  EXPECT_EQ(messages_.Texts(),
            (Texts{"Error while trying to save updated table . No table data is loaded."}));
  EXPECT_EQ(ReadTable("orders"), "id\n1\n");
}

TEST_F(TableDataTest, AFailedSaveLeavesTheOldFileAndTheData) {
  LoadTable("orders", "id\n1\n");
  SetValue("id", "2");
  // The file's place taken by a folder: the new file cannot be renamed over it.
  std::filesystem::remove(TablePath("orders"));
  std::filesystem::create_directory(TablePath("orders"));
  EXPECT_FALSE(Save());
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0].rfind("Error while trying to save updated table orders. ", 0), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(TablePath("orders")));
  EXPECT_EQ(Column("id"), (Texts{"2"}));
  EXPECT_TRUE(table_data_->HasUnsavedChanges());
}

TEST_F(TableDataTest, WithoutACurrentTableRowNothingIsSaved) {
  LoadTable("orders", "id\n1\n");
  SetValue("id", "2");
  catalogue_->Tables().Delete();
  EXPECT_FALSE(Save());
  EXPECT_TRUE(messages_.entries.empty());
  EXPECT_EQ(ReadTable("orders"), "id\n1\n");
}

// ---- Column widths ----

TEST(FitGridColumnsToTitlesTest, NarrowColumnsGrowToTheirTitlePlusTen) {
  struct Case {
    std::string name;
    std::vector<int> widths, titles, expected;
  };
  const std::vector<Case> cases = {
      {"narrower grows", {20}, {35}, {45}},
      {"wider stays", {80}, {35}, {80}},
      {"equal stays", {35}, {35}, {35}},
      {"each column alone", {10, 90, 30}, {40, 40, 40}, {50, 90, 50}},
      {"no columns", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FitGridColumnsToTitles(c.widths, c.titles), c.expected);
  }
}

TEST(HeaderLineNamesTest, NamesAsTheReaderTakesThem) {
  struct Case {
    std::string name, line;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"plain", "id;name;price", {"id", "name", "price"}},
      {"blanks around", "  id ;\tname  ", {"id", "name"}},
      {"quoted", "\"first name\";b", {"first name", "b"}},
      {"empty names dropped", "a;;b;", {"a", "b"}},
      {"sized", "a=10;b", {"a", "b"}},
      {"blank line", "   ", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HeaderLineNames(c.line), c.expected);
  }
}

}  // namespace
}  // namespace app::testing

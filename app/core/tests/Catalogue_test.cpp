// The catalogue's files and life: the first start creating the eight tables
// with their exact layouts, a table that cannot be opened, the connection
// following the current project, and the close that posts pending rows and
// packs what is open.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "datasets/VoConnection.h"
#include "catalogue_fixture.h"

namespace app::testing {
namespace {

struct RawField {
  std::string name;
  char type;
  int length;
  bool operator==(const RawField&) const = default;
};

// The field descriptors of a level 7 table file, read from its bytes: a
// 68-byte header, then one 48-byte descriptor per field (name in 32 bytes,
// type byte, length byte) up to the 0x0D terminator.
std::vector<RawField> RawLayout(const std::string& bytes) {
  std::vector<RawField> fields;
  if (bytes.size() < 68) return fields;
  const std::size_t header_length =
      static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
  for (std::size_t at = 68; at + 48 <= std::min(header_length, bytes.size()) && bytes[at] != 0x0D;
       at += 48) {
    std::string name = bytes.substr(at, 32);
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    fields.push_back({name, bytes[at + 32], static_cast<unsigned char>(bytes[at + 33])});
  }
  return fields;
}

std::uint32_t RecordCount(const std::string& bytes) {
  std::uint32_t count = 0;
  for (int i = 3; i >= 0; --i) count = count << 8 | static_cast<unsigned char>(bytes[4 + i]);
  return count;
}

struct Layout {
  std::string file;
  std::vector<RawField> fields;
};

// Spelled out here, not taken from the catalogue: a typo in a name or a size
// there must show.
const std::vector<Layout> kLayouts = {
    {"Projects.dbf",
     {{"PROJECT_ID", '+', 4},
      {"PROJECTNAME", 'C', 100},
      {"PROJECTPATH", 'C', 255},
      {"PROJECTCOMMENT", 'C', 255}}},
    {"Tables.dbf",
     {{"PROJECT_ID", 'I', 4},
      {"TABLE_ID", '+', 4},
      {"TABLENAME", 'C', 100},
      {"TABLECOMMENT", 'C', 255}}},
    {"Fields.dbf",
     {{"TABLE_ID", 'I', 4},
      {"FIELD_ID", '+', 4},
      {"FIELDNAME", 'C', 100},
      {"FIELDCOMMENT", 'C', 255}}},
    {"SQLConnectors.dbf",
     {{"PROJECT_ID", 'I', 4},
      {"SQLCONNECTOR_ID", '+', 4},
      {"SQLCONNECTORNAME", 'C', 100},
      {"TOBEIMPORTED", 'L', 1},
      {"PROTOCOL", 'C', 100},
      {"CATALOG", 'C', 100},
      {"DATABASE", 'C', 100},
      {"HOSTNAME", 'C', 100},
      {"PORT", 'I', 4},
      {"USER", 'C', 100},
      {"PASSWORD", 'C', 100}}},
    {"SQLTables.dbf",
     {{"SQLCONNECTOR_ID", 'I', 4},
      {"SQLTABLE_ID", '+', 4},
      {"SQLTABLENAME", 'C', 100},
      {"TOBEIMPORTED", 'L', 1},
      {"IMPORTEDNAME", 'C', 100},
      {"SQLTABLENAMECOMMENT", 'C', 255}}},
    {"Queries.dbf",
     {{"PROJECT_ID", 'I', 4},
      {"QUERY_ID", '+', 4},
      {"QUERYNAME", 'C', 100},
      {"QUERYTEXT", 'M', 10},
      {"QUERYCOMMENT", 'C', 255}}},
    {"QueriesParameters.dbf",
     {{"QUERY_ID", 'I', 4},
      {"QUERYPARAMETER_ID", '+', 4},
      {"QUERYPARAMETERNAME", 'C', 100},
      {"QUERYPARAMETERVALUE", 'C', 255},
      {"QUERYCOMMENT", 'C', 255}}},
    {"Filters.dbf",
     {{"PROJECT_ID", 'I', 4},
      {"FILTER_ID", '+', 4},
      {"FILTERNAME", 'C', 100},
      {"FILTERTEXT", 'C', 100},
      {"FILTERCOMMENT", 'C', 255}}},
};

TEST_F(CatalogueTest, FirstStartCreatesTheEightTablesWithTheirLayouts) {
  EXPECT_TRUE(messages_.entries.empty());
  ASSERT_EQ(catalogue_->DbfTables().size(), kLayouts.size());
  for (std::size_t i = 0; i < kLayouts.size(); ++i) {
    SCOPED_TRACE(kLayouts[i].file);
    EXPECT_EQ(catalogue_->DbfTables()[i]->TableName(), kLayouts[i].file);
    EXPECT_TRUE(catalogue_->DbfTables()[i]->Active());
    const std::string bytes = folder_.Read(kLayouts[i].file);
    ASSERT_GE(bytes.size(), 68u);
    EXPECT_EQ(RawLayout(bytes), kLayouts[i].fields);
    EXPECT_EQ(RecordCount(bytes), 0u);
  }
  // Only the table with a memo field has a memo file.
  EXPECT_TRUE(folder_.Exists("Queries.dbt"));
  EXPECT_FALSE(folder_.Exists("Projects.dbt"));
}

TEST_F(CatalogueTest, DetailsShowTheirMastersRowsThroughTheParentTags) {
  const std::vector<std::pair<dbf::TDbf*, std::string>> tags = {
      {&catalogue_->Projects(), ""},
      {&catalogue_->Tables(), "IDX_TABLES_PROJECT_ID"},
      {&catalogue_->Fields(), "IDX_FIELDS_TABLE_ID"},
      {&catalogue_->SQLConnectors(), "IDX_SQLCON_PROJECT_ID"},
      {&catalogue_->SQLTables(), "IDX_SQLTABLES_SQLCON_ID"},
      {&catalogue_->Queries(), "IDX_QUERIES_PROJECT_ID"},
      {&catalogue_->QueriesParameters(), "IDX_QP_QUERY_ID"},
      {&catalogue_->Filters(), "IDX_FILTTERS_PROJECT_ID"},
  };
  for (const auto& [table, tag] : tags) {
    SCOPED_TRACE(table->TableName());
    EXPECT_EQ(table->IndexName(), tag);
  }
  AddProject("one");
  AddTable("t1");
  AddField("t1_a");
  AddTable("t2");
  AddField("t2_a");
  AddField("t2_b");
  AddProject("two");
  AddTable("t3");
  dbf::TDbf& projects = catalogue_->Projects();
  projects.First();
  EXPECT_EQ(Shown(catalogue_->Tables(), "TABLENAME"), (std::vector<std::string>{"t1", "t2"}));
  catalogue_->Tables().First();
  EXPECT_EQ(Shown(catalogue_->Fields(), "FIELDNAME"), std::vector<std::string>{"t1_a"});
  catalogue_->Tables().Next();
  EXPECT_EQ(Shown(catalogue_->Fields(), "FIELDNAME"), (std::vector<std::string>{"t2_a", "t2_b"}));
  projects.Next();
  EXPECT_EQ(Shown(catalogue_->Tables(), "TABLENAME"), std::vector<std::string>{"t3"});
  EXPECT_TRUE(catalogue_->Fields().IsEmpty());
}

TEST_F(CatalogueTest, TheConnectionFollowsTheCurrentProject) {
  TVoConnection connection;
  catalogue_->hooks.open_current_project = [&](const std::string& path) {
    ConnectToProject(connection, path);
  };
  // An empty catalogue leaves the connection alone until a project is posted.
  EXPECT_FALSE(connection.Connected());

  rtl::testing::TempFolder first, second;
  AddProject("first", first.path());
  EXPECT_TRUE(connection.Connected());
  EXPECT_EQ(connection.DatabasePath(), first.path());
  AddProject("second", second.path());
  EXPECT_EQ(connection.DatabasePath(), second.path());
  catalogue_->Projects().First();
  EXPECT_EQ(connection.DatabasePath(), first.path());
  EXPECT_EQ(connection.DatabaseFolder(), first.path() + "/");
  EXPECT_TRUE(messages_.entries.empty());

  // Re-reading Projects points the connection at the current project again.
  project_paths_.clear();
  catalogue_->hooks.open_current_project = [this](const std::string& path) {
    project_paths_.push_back(path);
  };
  catalogue_->Projects().Refresh();
  EXPECT_EQ(project_paths_, std::vector<std::string>{first.path()});
}

TEST_F(CatalogueTest, OpeningWithProjectsPointsAtTheFirstAndFillsTheWindowsLists) {
  AddProject("first", "/data/first");
  AddProject("second", "/data/second");
  CloseCatalogue();
  project_paths_.clear();
  table_name_refreshes_ = completion_rebuilds_ = 0;

  OpenCatalogue();
  EXPECT_EQ(project_paths_, std::vector<std::string>{"/data/first"});
  EXPECT_EQ(table_name_refreshes_, 1);
  EXPECT_EQ(completion_rebuilds_, 1);

  // Each posted table or field row refreshes the window's lists once more.
  AddTable("orders");
  EXPECT_EQ(table_name_refreshes_, 2);
  AddField("id");
  EXPECT_EQ(completion_rebuilds_, 2);
  EXPECT_TRUE(messages_.entries.empty());
}

TEST_F(CatalogueTest, ATableThatFailsToOpenIsReportedOnceAndLeftAlone) {
  CloseCatalogue();
  const std::string garbage = "this is not a dBase table at all, only some text";
  folder_.Write("Projects.dbf", garbage);

  OpenCatalogue();
  ASSERT_EQ(messages_.entries.size(), 1u);
  const std::string& text = messages_.entries[0].text;
  EXPECT_EQ(messages_.entries[0].kind, RecordingMessages::Kind::kInfo);
  const std::string tail = ". Could not activate table: Projects.dbf";
  ASSERT_GT(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_FALSE(catalogue_->Projects().Active());
  for (dbf::TDbf* table : catalogue_->DbfTables()) {
    if (table != &catalogue_->Projects()) {
      EXPECT_TRUE(table->Active()) << table->TableName();
    }
  }

  // Without a project nothing can be registered under one.
  dbf::TDbf& tables = catalogue_->Tables();
  tables.Append();
  tables.FieldByName("TABLENAME").SetAsString("orders");
  EXPECT_THROW(tables.Post(), db::DatabaseError);
  tables.Cancel();

  // The close packs the other tables and neither reports nor rewrites it again.
  catalogue_->Close();
  EXPECT_EQ(messages_.entries.size(), 1u);
  EXPECT_EQ(folder_.Read("Projects.dbf"), garbage);
}

TEST_F(CatalogueTest, EveryTableLockedByAnotherCatalogueIsReportedByItsFileName) {
  RecordingMessages second_messages;
  Catalogue second(second_messages);
  second.Open(Folder());
  std::vector<std::string> tails;
  for (const std::string& text : second_messages.Texts()) {
    const std::size_t at = text.rfind(". Could not activate table: ");
    tails.push_back(at == std::string::npos ? text : text.substr(at));
  }
  std::vector<std::string> expected;
  for (const Layout& layout : kLayouts) {
    expected.push_back(". Could not activate table: " + layout.file);
  }
  EXPECT_EQ(tails, expected);
  // The first catalogue keeps working.
  AddProject("still here");
  EXPECT_TRUE(messages_.entries.empty());
}

TEST_F(CatalogueTest, DeletedRowsAreGoneFromTheFilesAfterTheClose) {
  AddProject("keep me");
  AddProject("drop me");
  AddTable("dropped table");
  AddProject("keep me too");
  catalogue_->Projects().First();
  catalogue_->Projects().Next();
  ASSERT_EQ(catalogue_->Projects().FieldByName("PROJECTNAME").AsString(), "drop me");
  catalogue_->Projects().Delete();

  CloseCatalogue();
  EXPECT_TRUE(messages_.entries.empty());
  for (const std::string file : {"Projects.dbf", "Tables.dbf"}) {
    SCOPED_TRACE(file);
    const std::string bytes = folder_.Read(file);
    EXPECT_EQ(bytes.find("drop"), std::string::npos);
  }
  EXPECT_EQ(RecordCount(folder_.Read("Projects.dbf")), 2u);
  EXPECT_EQ(RecordCount(folder_.Read("Tables.dbf")), 0u);
  std::vector<std::string> names;
  for (const Row& row : Read("Projects.dbf")) names.push_back(row.at("PROJECTNAME"));
  EXPECT_EQ(names, (std::vector<std::string>{"keep me", "keep me too"}));
}

TEST_F(CatalogueTest, CloseFirstPostsRowsLeftInEditOrInsert) {
  AddProject("shop");
  AddQuery("all orders", "SELECT * FROM orders");
  // Typing in the editor puts the query into edit without changing any of its
  // fields: a row the table itself would take for unchanged and cancel.
  catalogue_->Queries().Edit();
  editor_ = "SELECT *\nFROM orders\nWHERE total > 100";
  // And a new filter was begun.
  catalogue_->Filters().Append();
  catalogue_->Filters().FieldByName("FILTERNAME").SetAsString("late");

  CloseCatalogue();
  EXPECT_TRUE(messages_.entries.empty());
  const std::vector<Row> rows = Read("Queries.dbf");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("QUERYNAME"), "all orders");
  EXPECT_EQ(rows[0].at("QUERYTEXT"), "SELECT *\nFROM orders\nWHERE total > 100");
  const std::vector<Row> filters = Read("Filters.dbf");
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].at("FILTERNAME"), "late");
}

TEST_F(CatalogueTest, CloseKeepsAQueryTypedIntoANewRowButNoBlankRow) {
  AddProject("shop");
  // Inserting a query empties the editor; the user then typed a text.
  catalogue_->Queries().Append();
  editor_ = "SELECT 42";
  // An insert begun and never filled is no row the user meant to keep.
  catalogue_->Tables().Append();

  CloseCatalogue();
  EXPECT_TRUE(messages_.entries.empty());
  const std::vector<Row> queries = Read("Queries.dbf");
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].at("QUERYTEXT"), "SELECT 42");
  EXPECT_TRUE(Read("Tables.dbf").empty());
}

TEST_F(CatalogueTest, APendingRowThatCannotBePostedIsReportedAndTheCloseGoesOn) {
  AddProject("shop");
  AddProject("old");
  catalogue_->Projects().Delete();
  AddQuery("q", "SELECT 1");
  catalogue_->Queries().Edit();
  editor_ = "SELECT 2";
  // A field row begun with no table to belong to: its post is refused.
  catalogue_->Fields().Append();
  catalogue_->Fields().FieldByName("FIELDNAME").SetAsString("orphan");

  CloseCatalogue();
  ASSERT_EQ(messages_.entries.size(), 1u);
  const std::string& text = messages_.entries[0].text;
  EXPECT_NE(text.find("There is no current table"), std::string::npos) << text;
  EXPECT_NE(text.find("Fields.dbf"), std::string::npos) << text;
  // The tables after it were still posted, and all were packed.
  EXPECT_TRUE(Read("Fields.dbf").empty());
  const std::vector<Row> queries = Read("Queries.dbf");
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].at("QUERYTEXT"), "SELECT 2");
  EXPECT_EQ(RecordCount(folder_.Read("Projects.dbf")), 1u);
}

}  // namespace
}  // namespace app::testing

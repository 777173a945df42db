// The query dataset's SQL side: running batches through the connection's engine,
// copying results in with kept, widened or rebuilt field definitions, the
// parameters, the reports of refused statements and engine exceptions, the
// release of result sets, the QueryExecuted trigger and the link to the
// connection.
#include "datasets/VoQueryDataSet.h"

#include <gtest/gtest.h>

#include "query_dataset_fixture.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "datasets/Reporter.h"
#include "db/DatabaseError.h"
#include "fake_engine.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace {

using db::FieldType;
using vek::testing::TempFolder;
using vo_testing::EngineScript;
using vo_testing::FakeEngines;

constexpr const char* kQueryFailed = "Error while trying to execute query.";

// The dataset's rows, each its values joined with "|", after a first entry of
// the field names joined with "|".
std::vector<std::string> Rows(TVoQueryDataSet& ds) {
  std::vector<std::string> rows;
  std::string header;
  for (int i = 0; i < ds.FieldCount(); ++i) header += (i ? "|" : "") + ds.Fields(i).FieldName();
  rows.push_back(header);
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::string line;
    for (int i = 0; i < ds.FieldCount(); ++i) line += (i ? "|" : "") + ds.Fields(i).AsString();
    rows.push_back(line);
  }
  return rows;
}

std::vector<int> FieldSizes(TVoQueryDataSet& ds) {
  std::vector<int> sizes;
  for (const db::FieldDef& def : ds.FieldDefs()) sizes.push_back(def.Size);
  return sizes;
}

// A dataset on a connection to a temporary folder, over the real engine.
class QueryDataSetTest : public QueryDataSetFixture {
 protected:
  QueryDataSetTest() : QueryDataSetFixture("id;name\n1;ann\n2;bob\n3;christopher\n") {}
};

TEST_F(QueryDataSetTest, ASelectArrivesAsStringFieldsSizedToTheLongestValue) {
  Run({"select id, name, '' as blank from t"});
  EXPECT_TRUE(messages_.Texts.empty());
  EXPECT_EQ(ds_.RecNo(), 1);
  EXPECT_EQ(Rows(ds_),
            (std::vector<std::string>{"id|name|blank", "1|ann|", "2|bob|", "3|christopher|"}));
  EXPECT_EQ(FieldSizes(ds_), (std::vector<int>{1, 11, 255}));  // all-empty column: 255
  for (const db::FieldDef& def : ds_.FieldDefs()) EXPECT_EQ(def.DataType, FieldType::ftString);
  EXPECT_GE(ds_.MaxIndexesCount(), 2 * 3 + 3);
  EXPECT_EQ(ds_.SourceKind(), sdVekSQL);
  EXPECT_EQ(ds_.SourceRecordCount(), 3);
  EXPECT_EQ(ds_.SourceFieldCount(), 3);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.MasterDetailSuspended());
  EXPECT_FALSE(ds_.ControlsDisabled());

  Run({"select name from t where id = '9'"});  // no rows
  EXPECT_EQ(Rows(ds_), std::vector<std::string>{"name"});
  EXPECT_EQ(FieldSizes(ds_), std::vector<int>{255});
}

TEST_F(QueryDataSetTest, SqlLinesAreJoinedEachAfterABlank) {
  Run({"select name", "from t", "where id = '2'"});
  EXPECT_EQ(ds_.SqlText(), " select name from t where id = '2'");
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"name", "bob"}));
}

TEST_F(QueryDataSetTest, ABatchRunsInOrderAndOnlyACommitReachesTheFile) {
  Run({"insert into t (id, name) values ('4', 'dan');", "select count(id) as n from t"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"n", "4"}));
  // Every run starts from a fresh engine: the insert was never committed.
  Run({"select count(id) as n from t"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"n", "3"}));

  // A batch without a result set leaves the dataset open and empty, unreported.
  Run({"insert into t (id, name) values ('4', 'dan'); commit"});
  EXPECT_EQ(ds_.ResultSetNumber(), -1);
  EXPECT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_TRUE(messages_.Texts.empty());
  Run({"select count(id) as n from t"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"n", "4"}));
}

TEST_F(QueryDataSetTest, EqualColumnNamesKeepTheDefinitionsOthersRebuildThem) {
  Run({"select id, name from t"});
  ASSERT_EQ(FieldSizes(ds_), (std::vector<int>{1, 11}));

  // Same names, order and letter case: the definitions stay, sizes included.
  Run({"select id, name from t where id = '1'"});
  EXPECT_EQ(FieldSizes(ds_), (std::vector<int>{1, 11}));
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"id|name", "1|ann"}));

  struct Case {
    const char* name;
    const char* sql;
    const char* header;
    std::vector<int> sizes;
  };
  const Case cases[] = {
      {"other letter case", "select id as ID, name from t where id = '1'", "ID|name", {1, 3}},
      {"other order", "select name, id from t where id = '1'", "name|id", {3, 1}},
      {"fewer columns", "select name from t where id = '1'", "name", {3}},
      {"more columns", "select id, name, id as x from t where id = '1'", "id|name|x", {1, 3, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run({"select id, name from t"});
    Run({c.sql});
    EXPECT_EQ(Rows(ds_)[0], c.header);
    EXPECT_EQ(FieldSizes(ds_), c.sizes);
  }
}

// Two result columns of one name cannot both be fields: the run fails with the
// dataset's name in front like its other errors, keeps no half of the new
// definitions, and the next run starts clean.
TEST_F(QueryDataSetTest, TwoColumnsOfOneNameFailWithTheDatasetsNameAndNoDefinitions) {
  Run({"select name from t"});
  try {
    Run({"select id, name, id from t"});
    FAIL() << "two fields of one name";
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Result : Duplicate name 'id' in TFieldDefs");
  }
  EXPECT_FALSE(ds_.Active());
  EXPECT_EQ(ds_.FieldDefs().Count(), 0);
  EXPECT_EQ(ds_.FieldCount(), 0);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_EQ(connection_.VekSQLInstance().GetRecordSet(ds_.ResultSetNumber()), nullptr);

  Run({"select id from t"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"id", "1", "2", "3"}));
}

TEST_F(QueryDataSetTest, AKeptColumnTooNarrowForANewValueIsWidenedNotCut) {
  Run({"select name from t where id = '1'"});
  ASSERT_EQ(FieldSizes(ds_), std::vector<int>{3});
  Run({"select name from t"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"name", "ann", "bob", "christopher"}));
  EXPECT_EQ(FieldSizes(ds_), std::vector<int>{11});
}

TEST_F(QueryDataSetTest, ARefusedStatementIsReportedAndLeavesTheDatasetEmpty) {
  Run({"select id, name from t"});
  struct Case {
    const char* name;
    std::vector<std::string> sql;
    std::string message;
  };
  const Case cases[] = {
      {"unknown command", {"selec id from t"}, "Unknown SQL command"},
      {"empty text", {}, "Empty SQL statement"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.Texts.clear();
    Run(c.sql);
    EXPECT_EQ(messages_.Texts, std::vector<std::string>{kQueryFailed + c.message});
    EXPECT_EQ(ds_.ResultSetNumber(), 0);
    EXPECT_TRUE(ds_.Active());
    EXPECT_EQ(Rows(ds_), std::vector<std::string>{"id|name"});  // earlier columns, no rows
  }
}

TEST_F(QueryDataSetTest, ARefusedFolderIsReportedByTheConnectionAndTheRunGoesOn) {
  connection_.SetDatabasePath(dir_.File("missing"));
  Run({"select id from t"});
  ASSERT_EQ(messages_.Texts.size(), 2u);
  EXPECT_EQ(messages_.Texts[0], "Connection to database: " + dir_.File("missing") +
                                    " failed! Error: Catalog " + dir_.File("missing") +
                                    "/ does not exist");
  EXPECT_EQ(messages_.Texts[1].rfind(kQueryFailed, 0), 0u);
  EXPECT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.RecordCount(), 0);
}

TEST_F(QueryDataSetTest, TheResultSetIsReleasedInTheEngine) {
  Run({"select id from t"});
  int n = ds_.ResultSetNumber();
  ASSERT_GT(n, 0);
  EXPECT_EQ(connection_.VekSQLInstance().GetRecordSet(n), nullptr);
  EXPECT_EQ(ds_.RecordCount(), 3);  // the rows are the dataset's own copies
}

TEST_F(QueryDataSetTest, ParametersReplaceWholePlaceholderNames) {
  ds_.Parameters().CreateParam("a").Value = rtl::Variant::Text("1");
  ds_.Parameters().CreateParam("ab").Value = rtl::Variant::Text("2");
  ds_.Parameters().CreateParam("Nm").Value = rtl::Variant::Text("'bob'");
  ds_.Parameters().CreateParam("k").Value = rtl::Variant::Int(3);
  struct Case {
    const char* sql;
    const char* expanded;
  };
  const Case cases[] = {
      {"where id = :ab", " where id = 2"},
      {"where id = :a or id = :AB", " where id = 1 or id = 2"},
      {"where name = :nm", " where name = 'bob'"},
      {"where id = :k", " where id = 3"},
      {"where id = :abc or x = :a_", " where id = :abc or x = :a_"},
      {"(:a,:ab)", " (1,2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    ds_.SetSQL({c.sql});
    ds_.ExpandQueryParameters();
    EXPECT_EQ(ds_.ExpandedSql(), c.expanded);
  }

  Run({"select name from t where id = ':ab'"});
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"name", "bob"}));
}

// Each placeholder is found in the text as written: a value put in is never
// searched for further placeholders, whichever parameter comes first.
TEST_F(QueryDataSetTest, AnInsertedValueIsNeverSearchedForPlaceholders) {
  ds_.Parameters().CreateParam("a").Value = rtl::Variant::Text("x:b");
  ds_.Parameters().CreateParam("b").Value = rtl::Variant::Text("1");
  ds_.Parameters().CreateParam("c").Value = rtl::Variant::Text(":a");
  ds_.Parameters().CreateParam("d").Value = rtl::Variant::Text(":d");
  const struct {
    const char* sql;
    const char* expanded;
  } cases[] = {
      {"select :a", " select x:b"},        {"select :a, :b", " select x:b, 1"},
      {"select :b, :a", " select 1, x:b"}, {"select :c", " select :a"},
      {"select :d:d", " select :d:d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    ds_.SetSQL({c.sql});
    ds_.ExpandQueryParameters();
    EXPECT_EQ(ds_.ExpandedSql(), c.expanded);
  }
}

TEST_F(QueryDataSetTest, AParameterWithoutValueStopsTheRunBeforeTheEngine) {
  Run({"select id from t"});
  ds_.Parameters().CreateParam("p");
  EXPECT_THROW(Run({"select id from t where id = :p"}), db::ConversionError);
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.MasterDetailSuspended());
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_TRUE(messages_.Texts.empty());
}

TEST_F(QueryDataSetTest, KeptFloatFieldsReadEitherDecimalMark) {
  connection_.SetFloatDisplayFormat("0.00");
  ds_.FieldDefs().Add("amount", FieldType::ftFloat);
  dir_.Write("m.txt", "amount\n2,75\n3.5\n\n");
  Run({"select amount from m"});
  ASSERT_EQ(ds_.FieldDefs()[0].DataType, FieldType::ftFloat);
  ds_.First();
  EXPECT_DOUBLE_EQ(ds_.Fields(0).AsFloat(), 2.75);
  EXPECT_EQ(ds_.Fields(0).DisplayText(), "2.75");
  ds_.Next();
  EXPECT_DOUBLE_EQ(ds_.Fields(0).AsFloat(), 3.5);
  ds_.Next();
  EXPECT_TRUE(ds_.Fields(0).IsNull());

  // A text neither reading accepts passes out, with the result set released.
  dir_.Write("m.txt", "amount\nabc\n");
  EXPECT_THROW(Run({"select amount from m"}), db::ConversionError);
  EXPECT_EQ(connection_.VekSQLInstance().GetRecordSet(ds_.ResultSetNumber()), nullptr);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.ControlsDisabled());
}

TEST(ParseFloatLocalTest, EitherMarkUnderEitherSeparator) {
  struct Case {
    char separator;
    const char* text;
    double value;
  };
  const Case cases[] = {
      {'.', "3,5", 3.5}, {'.', "3.5", 3.5},       {',', "3.5", 3.5},
      {',', "3,5", 3.5}, {'.', " -2e3\t", -2000}, {'.', "+7", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    rtl::ScopedSeparators separators(c.separator, c.separator == '.' ? ',' : '.');
    EXPECT_DOUBLE_EQ(TVoQueryDataSet::ParseFloatLocal(c.text), c.value);
  }
  const Case failures[] = {
      {'.', "1,234.5", 0}, {',', "1.234,5", 0}, {'.', "", 0},
      {'.', "1 000", 0},   {'.', "inf", 0},     {';', "3.5", 0},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.text);
    rtl::ScopedSeparators separators(c.separator, ' ');
    EXPECT_THROW(TVoQueryDataSet::ParseFloatLocal(c.text), db::ConversionError);
  }
}

TEST_F(QueryDataSetTest, QueryExecutedRunsAndSwallowsAndEmpties) {
  ds_.SetSQL({"select id from t"});
  ds_.SetQueryExecuted(true);
  EXPECT_TRUE(ds_.QueryExecuted());
  EXPECT_TRUE(connection_.Connected());
  EXPECT_EQ(ds_.RecordCount(), 3);

  ds_.SetQueryExecuted(false);
  EXPECT_FALSE(ds_.QueryExecuted());
  EXPECT_FALSE(ds_.Active());
  ds_.Open();
  EXPECT_EQ(ds_.RecordCount(), 0);

  ds_.Parameters().CreateParam("p");  // null: the run raises
  ds_.SetSQL({"select id from t where id = :p"});
  ds_.SetQueryExecuted(true);
  EXPECT_FALSE(ds_.QueryExecuted());
  EXPECT_FALSE(ds_.Active());
}

// An engine that raises, and the count of releases, need a scripted engine.
class ScriptedQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetVoConnection(&connection_);
    ds_.SetSQL({"select x from t"});
  }
  RecordingReporter messages_;
  EngineScript script_;
  TVoConnection connection_{FakeEngines(script_)};
  TVoQueryDataSet ds_;
};

TEST_F(ScriptedQueryTest, AnEngineExceptionIsReportedWithBothTexts) {
  script_.answer = [this](std::string_view) -> int {
    script_.last_error = "No tokens";
    throw std::runtime_error("Invalid variant type conversion");
  };
  ds_.RunSqlText();
  EXPECT_EQ(messages_.Texts,
            std::vector<std::string>{std::string(kQueryFailed) + "No tokens: Invalid variant type "
                                                                 "conversion"});
  EXPECT_EQ(ds_.ResultSetNumber(), 0);
  EXPECT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_FALSE(ds_.ControlsDisabled());

  // The engine's own text usually is the exception's message: said once.
  script_.answer = [this](std::string_view) -> int {
    script_.last_error = "fieldcount:3";
    throw std::runtime_error("fieldcount:3");
  };
  messages_.Texts.clear();
  ds_.RunSqlText();
  EXPECT_EQ(messages_.Texts, std::vector<std::string>{std::string(kQueryFailed) + "fieldcount:3"});
}

TEST_F(ScriptedQueryTest, EachRunReconnectsAndReleasesItsResultSet) {
  script_.result.FieldNames = {"x"};
  script_.result.AddRecord();
  script_.answer = [](std::string_view) { return 1; };
  ds_.RunSqlText();
  ds_.RunSqlText();
  EXPECT_EQ(script_.statements,
            (std::vector<std::string>{
                "connect to '" + connection_.DatabaseFolder() + "'", " select x from t",
                "connect to '" + connection_.DatabaseFolder() + "'", " select x from t"}));
  EXPECT_EQ(script_.released, (std::vector<int>{1, 1}));
  EXPECT_EQ(ds_.RecordCount(), 1);
}

// A closed dataset has nothing to save: destroying it writes no file and shows
// no message, whether or not it has a table name. An open one still says why
// it cannot be saved.
TEST_F(QueryDataSetTest, DestroyingAClosedPersistentDatasetSaysAndWritesNothing) {
  const std::string table = dir_.Read("t.txt");
  const struct {
    const char* name;
    const char* table_name;
    std::function<void(TVoQueryDataSet&)> prepare;
  } cases[] = {
      {"never opened, with a table name", "t", [](TVoQueryDataSet&) {}},
      {"never opened, without a table name", "", [](TVoQueryDataSet&) {}},
      {"closed after a run", "t",
       [](TVoQueryDataSet& ds) {
         ds.SetSQL({"select id from t"});
         ds.RunSqlText();
         ds.Close();
       }},
      {"emptied and closed by QueryExecuted", "",
       [](TVoQueryDataSet& ds) {
         ds.SetSQL({"select id from t"});
         ds.SetQueryExecuted(true);
         ds.SetQueryExecuted(false);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto ds = std::make_unique<TVoQueryDataSet>();
    ds->SetVoConnection(&connection_);
    ds->SetTableName(c.table_name);
    c.prepare(*ds);
    ds->SetPersistentSave(true);
    ASSERT_FALSE(ds->Active());
    messages_.Texts.clear();
    ds.reset();
    EXPECT_TRUE(messages_.Texts.empty());
    EXPECT_EQ(dir_.Read("t.txt"), table);
  }

  auto open = std::make_unique<TVoQueryDataSet>();
  open->SetVoConnection(&connection_);
  open->SetSQL({"select id from t"});
  open->RunSqlText();
  open->SetPersistentSave(true);
  open.reset();
  EXPECT_EQ(
      messages_.Texts,
      (std::vector<std::string>{"Dataset can not be saved because TableName property is not set"}));
}

TEST(QueryDataSetLinkTest, DestroyingEitherSideLeavesNothingPointingAtIt) {
  RecordingReporter messages;
  auto connection = std::make_unique<TVoConnection>();
  {
    TVoQueryDataSet first;
    first.SetVoConnection(connection.get());
  }  // the connection no longer lists it (ASan would see the dangling entry)
  auto ds = std::make_unique<TVoQueryDataSet>();
  ds->SetVoConnection(connection.get());
  connection.reset();
  EXPECT_EQ(ds->VoConnection(), nullptr);
  EXPECT_THROW(ds->RunSqlText(), db::DatabaseError);
  ds->SetQueryExecuted(true);  // swallowed
  EXPECT_FALSE(ds->QueryExecuted());
  EXPECT_NO_THROW(ds.reset());

  // Moving a dataset to another connection leaves the first one's list.
  TVoConnection a, b;
  TVoQueryDataSet moved;
  moved.SetVoConnection(&a);
  moved.SetVoConnection(&b);
  {
    TVoConnection c;
    moved.SetVoConnection(&c);
  }
  EXPECT_EQ(moved.VoConnection(), nullptr);
}

}  // namespace

namespace {

// Emptying the dataset before a load sees every row, whatever the filter hides,
// and leaves the filter text and switch as they were.
TEST_F(QueryDataSetTest, ARunKeepsTheFilterAndStillReplacesEveryRow) {
  Run({"select id, name from t"});
  ds_.SetFilterText("name = 'bob'");
  ds_.SetFiltered(true);
  ASSERT_EQ(Rows(ds_), (std::vector<std::string>{"id|name", "2|bob"}));

  Run({"select id, name from t where id <> 2"});
  EXPECT_TRUE(messages_.Texts.empty());
  EXPECT_EQ(ds_.Filter(), "name = 'bob'");
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"id|name"}));
  ds_.SetFiltered(false);
  EXPECT_EQ(Rows(ds_), (std::vector<std::string>{"id|name", "1|ann", "3|christopher"}));
}

}  // namespace

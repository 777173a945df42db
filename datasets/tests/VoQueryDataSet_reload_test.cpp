// The query dataset run again over its own rows: a sort chosen on the dataset
// still orders the reloaded rows (also after a run that fails part way),
// placeholders match their parameter's name in any letter case, and the
// QueryExecuted trigger acts only on a change.
#include <gtest/gtest.h>

#include "query_dataset_fixture.h"

#include <clocale>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "datasets/Reporter.h"
#include "datasets/VoQueryDataSet.h"
#include "db/DatabaseError.h"
#include "fake_engine.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace {

using Names = std::vector<std::string>;
using vek::testing::TempFolder;

Names Column(TVoQueryDataSet& ds, const char* field) {
  Names values;
  for (ds.First(); !ds.Eof(); ds.Next()) values.push_back(ds.FieldByName(field).AsString());
  return values;
}

class ReloadTest : public QueryDataSetFixture {
 protected:
  ReloadTest() : QueryDataSetFixture("id;name\n1;carl\n2;anna\n3;bert\n") {}
};

// A grid sorted by a column and then run again must still show the rows in that
// order: a run is a bulk load, after which the sort indexes are built anew.
TEST_F(ReloadTest, ARunAgainStaysSortedByTheCurrentIndex) {
  struct Case {
    const char* name;
    std::function<void(TVoQueryDataSet&)> sort;
  };
  const Case cases[] = {
      {"an index added and selected by name",
       [](TVoQueryDataSet& ds) {
         ds.AddIndex("name__asc", "name");
         ds.SetIndexName("name__asc");
       }},
      {"IndexFieldNames", [](TVoQueryDataSet& ds) { ds.SetIndexFieldNames("name"); }},
      {"a descending index",
       [](TVoQueryDataSet& ds) {
         ds.AddIndex("id__desc", "id", db::ixDescending, "id");
         ds.SetIndexName("id__desc");
       }},
  };
  const Names expected[] = {
      {"anna", "bert", "carl"}, {"anna", "bert", "carl"}, {"bert", "anna", "carl"}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    TVoQueryDataSet ds;
    ds.SetVoConnection(&connection_);
    ds.SetSQL({"select id, name from t"});
    ds.RunSqlText();
    cases[i].sort(ds);
    ASSERT_EQ(Column(ds, "name"), expected[i]);
    const std::string index = ds.IndexName();

    ds.RunSqlText();
    EXPECT_EQ(ds.IndexName(), index);
    EXPECT_EQ(Column(ds, "name"), expected[i]);
    ds.First();
    EXPECT_EQ(ds.RecNo(), 1);
  }
  EXPECT_TRUE(messages_.Texts.empty());
}

// Sort indexes made for the columns of one table stay defined when another
// table is loaded, but only those the loaded columns can use count against the
// limit: the new table's titles can still be clicked, and a load that brings
// a sorted column back is sorted by it again.
TEST_F(ReloadTest, SortsOfEarlierColumnsLeaveRoomForTheColumnsNowLoaded) {
  dir_.Write("w.txt", "a;b\n2;q\n1;r\n3;p\n");
  Run({"select id, name from t"});
  for (const char* column : {"id", "id", "name", "name"}) {
    ASSERT_TRUE(ds_.ToggleIndexOnField(column)) << column;
  }
  ASSERT_EQ(ds_.IndexName(), "name__IdxD");
  // 2 x 2 columns + 3: four sort indexes and the two built-in ones leave one.
  ASSERT_EQ(ds_.MaxIndexesCount(), 7);

  Run({"select a, b from w"});
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(ds_.UsableIndexesCount(), 2);
  for (const char* column : {"a", "a", "b", "b"}) {
    SCOPED_TRACE(column);
    EXPECT_TRUE(ds_.ToggleIndexOnField(column));
  }
  EXPECT_EQ(ds_.IndexName(), "b__IdxD");
  EXPECT_EQ(Column(ds_, "b"), (Names{"r", "q", "p"}));
  // The limit still holds for the indexes the loaded columns can use.
  ds_.AddIndex("a_b", "a;b");
  EXPECT_EQ(ds_.UsableIndexesCount(), 7);
  EXPECT_THROW(ds_.AddIndex("b_a", "b;a"), db::DatabaseError);

  // Back to the first table: its sorts are there again, unused ones too.
  Run({"select id, name from t"});
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_TRUE(ds_.ToggleIndexOnField("name"));
  EXPECT_EQ(ds_.IndexName(), "name__IdxA");
  EXPECT_EQ(Column(ds_, "name"), (Names{"anna", "bert", "carl"}));
  EXPECT_TRUE(ds_.ToggleIndexOnField("id"));
  EXPECT_EQ(ds_.IndexName(), "id__IdxA");

  // A table without the sorted column loads in the default order, and the
  // next load that has it again is sorted by it.
  Run({"select a, b from w"});
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  Run({"select id, name from t where id <> 2"});
  EXPECT_EQ(ds_.IndexName(), "id__IdxA");
  EXPECT_EQ(Column(ds_, "name"), (Names{"carl", "bert"}));
  EXPECT_TRUE(messages_.Texts.empty());
}

// A run that fails part way (a text a kept float field cannot take) keeps the
// rows copied before it, still sorted by the current index, and drops the row
// that failed instead of posting it half filled.
TEST_F(ReloadTest, ARunThatFailsPartWayKeepsItsEarlierRowsSorted) {
  dir_.Write("m.txt", "id;amount\n1;2.5\n2;0.5\n3;x\n4;1.5\n");
  ds_.FieldDefs().Add("id", db::FieldType::ftString, 5);
  ds_.FieldDefs().Add("amount", db::FieldType::ftFloat);
  ds_.AddIndex("amount__asc", "amount");
  ds_.SetIndexName("amount__asc");
  EXPECT_THROW(Run({"select id, amount from m"}), db::ConversionError);
  ASSERT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.IndexName(), "amount__asc");
  EXPECT_EQ(Column(ds_, "id"), (Names{"2", "1"}));
  EXPECT_FALSE(ds_.InternalLoading());
}

// A placeholder names its parameter in any letter case, as the parameter list
// itself finds it: a name with a letter beyond ASCII is no exception.
TEST_F(ReloadTest, PlaceholdersMatchTheParameterNameInAnyLetterCase) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C.UTF-8");
  ds_.Parameters().CreateParam("préco").Value = rtl::Variant::Text("7");
  ds_.Parameters().CreateParam("Ürün").Value = rtl::Variant::Text("'x'");
  EXPECT_NE(ds_.Parameters().FindParam("PRÉCO"), nullptr);  // the list's own look-up
  const struct {
    const char* sql;
    const char* expanded;
  } cases[] = {
      {"where p = :préco", " where p = 7"},
      {"where p = :PRÉCO", " where p = 7"},
      {"where u = :üRÜN", " where u = 'x'"},
      {"where p = :PRÉCOS", " where p = :PRÉCOS"},  // still a whole name only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    ds_.SetSQL({c.sql});
    ds_.ExpandQueryParameters();
    EXPECT_EQ(ds_.ExpandedSql(), c.expanded);
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(QueryExecutedTriggerTest, WritingTheCurrentValueDoesNothing) {
  RecordingReporter messages;
  vo_testing::EngineScript script;
  script.result.FieldNames = {"x"};
  script.result.AddRecord();
  script.answer = [](std::string_view) { return 1; };
  TVoConnection connection(vo_testing::FakeEngines(script));
  TVoQueryDataSet ds;
  ds.SetVoConnection(&connection);
  ds.SetSQL({"select x from t"});

  // False while false: nothing is emptied or closed.
  ds.RunSqlText();
  ASSERT_EQ(ds.RecordCount(), 1);
  ds.SetQueryExecuted(false);
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 1);

  // True: the connection is already connected, so only the run's own reconnect
  // and the SQL reach the engine.
  script.statements.clear();
  ds.SetQueryExecuted(true);
  const std::string connect = "connect to '" + connection.DatabaseFolder() + "'";
  EXPECT_EQ(script.statements, (std::vector<std::string>{connect, " select x from t"}));
  ds.SetQueryExecuted(true);  // unchanged: no second run
  EXPECT_EQ(script.statements.size(), 2u);
  EXPECT_EQ(ds.RecordCount(), 1);

  ds.SetQueryExecuted(false);
  EXPECT_FALSE(ds.Active());
  ds.SetQueryExecuted(false);
  EXPECT_FALSE(ds.Active());
  EXPECT_TRUE(messages.Texts.empty());
}

}  // namespace

// The catalogue walks behind the editor's word lists and the parameters of
// the current query: their order, and the rows the tables are left on.
#include "QueryOperations.h"

#include <gtest/gtest.h>

#include "catalogue_fixture.h"

namespace app::testing {
namespace {

class QueryOperationsTest : public CatalogueTest {
 protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    AddProject("shop");
  }
};

TEST_F(QueryOperationsTest, WalksTablesAndFieldsAndReturnsToTheRows) {
  AddTable("orders");
  AddField("id");
  AddField("customer");
  AddTable("customers");
  AddField("id");
  AddField("name");
  AddTable("empty");
  // Current: table customers, field name.
  catalogue_->Tables().First();
  catalogue_->Tables().Next();
  catalogue_->Fields().Last();

  const std::vector<TableFields> walked = ProjectTablesAndFields(*catalogue_);
  ASSERT_EQ(walked.size(), 3u);
  EXPECT_EQ(walked[0].table, "orders");
  EXPECT_EQ(walked[0].fields, (std::vector<std::string>{"id", "customer"}));
  EXPECT_EQ(walked[1].fields, (std::vector<std::string>{"id", "name"}));
  EXPECT_TRUE(walked[2].fields.empty());
  EXPECT_EQ(catalogue_->Tables().FieldByName("TABLENAME").AsString(), "customers");
  EXPECT_EQ(catalogue_->Fields().FieldByName("FIELDNAME").AsString(), "name");
  EXPECT_FALSE(catalogue_->Tables().ControlsDisabled());
  EXPECT_FALSE(catalogue_->Fields().ControlsDisabled());

  EXPECT_EQ(ProjectTableNames(*catalogue_),
            (std::vector<std::string>{"orders", "customers", "empty"}));
  EXPECT_EQ(catalogue_->Tables().FieldByName("TABLENAME").AsString(), "customers");
}

TEST_F(QueryOperationsTest, OtherProjectsTablesAreNotWalked) {
  AddTable("mine");
  AddProject("other");
  AddTable("theirs");
  EXPECT_EQ(ProjectTableNames(*catalogue_), (std::vector<std::string>{"theirs"}));
}

TEST_F(QueryOperationsTest, ParametersOfTheCurrentQueryInOrderLeftOnTheLast) {
  AddQuery("q1", "SELECT 1");
  dbf::TDbf& params = catalogue_->QueriesParameters();
  for (const auto& [name, value] : {std::pair{"p", "x"}, std::pair{"p1", "y"}}) {
    params.Append();
    params.FieldByName("QUERYPARAMETERNAME").SetAsString(name);
    params.FieldByName("QUERYPARAMETERVALUE").SetAsString(value);
    params.Post();
  }
  params.First();
  const std::vector<QueryParameter> got = CurrentQueryParameters(*catalogue_);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].name, "p");
  EXPECT_EQ(got[1].value, "y");
  EXPECT_EQ(params.FieldByName("QUERYPARAMETERNAME").AsString(), "p1");
  EXPECT_EQ(ParameterizedLines({":p1", "p"}, got), (std::vector<std::string>{":x1", "x"}));
  EXPECT_EQ(StoredQueryText(*catalogue_), "SELECT 1");

  AddQuery("q2", "SELECT 2");
  EXPECT_TRUE(CurrentQueryParameters(*catalogue_).empty());
}

TEST_F(QueryOperationsTest, NoQueryHasNoStoredText) { EXPECT_EQ(StoredQueryText(*catalogue_), ""); }

}  // namespace
}  // namespace app::testing

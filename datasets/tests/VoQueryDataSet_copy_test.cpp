// Copying another dataset into a query dataset: values converted as values by
// the receiving field, and a sort made on a column that a later copy lacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset_rows.h"
#include "db/DatabaseError.h"
#include "query_dataset_fixture.h"

namespace {

class CopyValueTest : public QueryDataSetFixture {
 protected:
  CopyValueTest() : QueryDataSetFixture("x\n1\n") {}

  // One column `name` of `type`, open, holding one row per value.
  static void FillOneColumn(TVoBufDataset& ds, const char* name, db::FieldType type,
                            const std::vector<std::string>& values) {
    std::vector<vo_testing::Texts> rows;
    for (const std::string& value : values) rows.push_back({value});
    vo_testing::Fill(ds, {{name, type}}, rows);
  }
};

// A kept field of another type takes the source's value through its own value
// conversion, as an assignment of the value would: a float is rounded into a
// whole-number field, a date is its serial in a float field, a truth value is
// 1 in a whole-number field. None of these values has a text the receiving
// field would read.
TEST_F(CopyValueTest, AKeptFieldOfAnotherTypeTakesTheSourceValueAsAValue) {
  const struct {
    const char* name;
    db::FieldType source_type;
    const char* source_text;
    db::FieldType kept_type;
    const char* expected;
  } cases[] = {
      {"float into a whole number", db::FieldType::ftFloat, "2.75", db::FieldType::ftInteger, "3"},
      {"date into a float", db::FieldType::ftDate, "2001-02-03", db::FieldType::ftFloat, "36925"},
      {"truth value into a whole number", db::FieldType::ftBoolean, "True",
       db::FieldType::ftInteger, "1"},
      {"whole number into a date", db::FieldType::ftInteger, "36925", db::FieldType::ftDate,
       "2001-02-03"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVoBufDataset source;
    FillOneColumn(source, "v", c.source_type, {c.source_text});
    TVoQueryDataSet ds;
    ds.SetVoConnection(&connection_);
    ds.FieldDefs().Add("v", c.kept_type);  // same name: the definition is kept

    try {
      ds.ImportFromDataset(source);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      continue;
    }

    ASSERT_EQ(ds.FieldDefs()[0].DataType, c.kept_type);
    ASSERT_EQ(ds.RecordCount(), 1);
    ds.First();
    EXPECT_EQ(ds.Fields(0).AsString(), c.expected);
  }
}

// The copy empties the dataset before it reads the source: a dataset given
// itself as the source is refused before anything changes.
TEST_F(CopyValueTest, ADatasetIsNotCopiedIntoItself) {
  TVoBufDataset source;
  vo_testing::Fill(source, {{"a", db::FieldType::ftString, 5}}, {{"x"}, {"y"}});
  ds_.ImportFromDataset(source);
  ds_.SetFilterText("a = 'y'");
  ds_.SetFiltered(true);
  ds_.First();

  try {
    ds_.ImportFromDataset(ds_);
    ADD_FAILURE() << "the copy into itself was not refused";
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Result : A dataset can not be imported into itself");
  }
  EXPECT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.Fields(0).AsString(), "y");
  EXPECT_EQ(ds_.Filter(), "a = 'y'");
  ds_.SetFiltered(false);
  EXPECT_EQ(vo_testing::Values(ds_, "a"), (vo_testing::Texts{"x", "y"}));
  EXPECT_EQ(ds_.ImportSource(), &source);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_TRUE(messages_.Texts.empty());
}

// After a sort by column a, a copy whose columns lack a loads in the default
// order (the sort cannot be built without its column), and a later copy that
// has a again is sorted by it.
TEST_F(CopyValueTest, ACopyWithoutTheSortedColumnLoadsAndTheSortComesBackWithIt) {
  TVoBufDataset first;
  FillOneColumn(first, "a", db::FieldType::ftInteger, {"3", "1", "2"});
  ds_.ImportFromDataset(first);
  ASSERT_TRUE(ds_.ToggleIndexOnField("a"));

  TVoBufDataset other;
  FillOneColumn(other, "z", db::FieldType::ftInteger, {"9"});
  ds_.ImportFromDataset(other);
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(ds_.RecordCount(), 1);
  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.ControlsDisabled());

  TVoBufDataset again;
  FillOneColumn(again, "a", db::FieldType::ftInteger, {"5", "4", "6"});
  ds_.ImportFromDataset(again);
  EXPECT_EQ(ds_.IndexName(), "a__IdxA");
  std::vector<std::string> values;
  for (ds_.First(); !ds_.Eof(); ds_.Next()) values.push_back(ds_.Fields(0).AsString());
  EXPECT_EQ(values, (std::vector<std::string>{"4", "5", "6"}));
}

}  // namespace

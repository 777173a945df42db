// The framework's checks around posting and naming: which required fields may be
// left null, and field, definition and parameter names found without regard to
// letter case beyond ASCII as well.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "db/DataSet.h"
#include "db/Params.h"
#include "testing/ListDataSet.h"

namespace {

// Only a required field that the program can fill is checked: a read-only field
// and an auto-increment field may be posted null.
TEST(RequiredFieldTest, ReadOnlyAndAutoIncFieldsAreNotChecked) {
  struct Case {
    const char* name;
    db::FieldType type;
    bool read_only;
    bool refused;
  };
  const Case cases[] = {
      {"a required string", db::FieldType::ftString, false, true},
      {"a required integer", db::FieldType::ftInteger, false, true},
      {"a required read-only integer", db::FieldType::ftInteger, true, false},
      {"a required auto-increment", db::FieldType::ftAutoInc, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("OTHER", db::FieldType::ftString, 5);
    db::FieldDef& def = ds.FieldDefs().Add("F", c.type, 5, /*required=*/true);
    def.ReadOnly = c.read_only;
    ds.Open();
    ds.Append();
    ds.FieldByName("OTHER").SetAsString("x");
    if (c.refused) {
      try {
        ds.Post();
        ADD_FAILURE() << "posted with the required field null";
      } catch (const db::DatabaseError& e) {
        EXPECT_STREQ(e.what(), "List : Field F is required, but not supplied.");
      }
      EXPECT_EQ(ds.State(), db::DataSetState::kInsert);
      EXPECT_EQ(ds.rows.size(), 0u);
    } else {
      ds.Post();
      EXPECT_EQ(ds.State(), db::DataSetState::kBrowse);
      EXPECT_EQ(ds.rows.size(), 1u);
    }
  }
}

class NameCaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C.UTF-8");
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_F(NameCaseTest, NamesBeyondAsciiMatchInAnyLetterCase) {
  ListDataSet ds;
  ds.FieldDefs().Add("café", db::FieldType::ftString, 5);
  EXPECT_THROW(ds.FieldDefs().Add("CAFÉ", db::FieldType::ftString, 5), db::DatabaseError);
  EXPECT_EQ(ds.FieldDefs().IndexOf("Café"), 0);
  ds.Open();
  EXPECT_EQ(ds.FindField("CAFÉ"), &ds.Fields(0));
  EXPECT_EQ(ds.FindField("CAFE"), nullptr);  // another letter, not another case

  db::ParamList params;
  params.CreateParam("préco").Value = rtl::Variant::Text("7");
  ASSERT_NE(params.FindParam("PRÉCO"), nullptr);
  EXPECT_EQ(params.FindParam("PRÉCO")->Value.s, "7");
}

}  // namespace

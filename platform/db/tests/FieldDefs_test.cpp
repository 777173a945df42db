// Field and index definitions, name lists, parameters and message building.
#include "db/FieldDefs.h"

#include <gtest/gtest.h>

#include "db/DatabaseError.h"
#include "db/Params.h"

namespace {

TEST(FieldDefsTest, NamesAreUniqueWithoutRegardToCase) {
  db::FieldDefList defs;
  defs.Add("Name", db::FieldType::ftString, 20);
  try {
    defs.Add("NAME", db::FieldType::ftInteger);
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Duplicate name 'NAME' in TFieldDefs");
  }
  EXPECT_EQ(defs.Count(), 1);
  EXPECT_EQ(defs.IndexOf("name"), 0);
  EXPECT_EQ(defs.Find("nope"), nullptr);
}

TEST(FieldDefsTest, FieldNameListsSplitAtSemicolons) {
  EXPECT_EQ(db::SplitFieldNames("a;b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(db::SplitFieldNames(" a ;;b;"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(db::SplitFieldNames("").empty());
}

TEST(FieldDefsTest, FieldTypeNamesFollowTheTypeOrder) {
  EXPECT_EQ(db::FieldTypeName(db::FieldType::ftUnknown), "Unknown");
  EXPECT_EQ(db::FieldTypeName(db::FieldType::ftAutoInc), "AutoInc");
  EXPECT_EQ(db::FieldTypeName(db::FieldType::ftWideMemo), "WideMemo");
}

TEST(ParamsTest, LookUpIgnoresCaseAndMissingNamesRaise) {
  db::ParamList params;
  params.CreateParam("City").Value = rtl::Variant::Text("Oslo");
  params.CreateParam("city");
  EXPECT_EQ(params.FindParam("CITY")->Value.s, "Oslo");
  EXPECT_EQ(params.FindParam("x"), nullptr);
  try {
    params.ParamByName("x");
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Parameter \"x\" not found");
  }
}

TEST(MessagesTest, FormatFillsInOrderAndPrefixNamesTheDataset) {
  EXPECT_EQ(db::FormatMessage("Duplicate name '%s' in %s", {"a", "TFieldDefs"}),
            "Duplicate name 'a' in TFieldDefs");
  EXPECT_EQ(db::FormatMessage("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(db::PrefixedMessage("Orders", "No record"), "Orders : No record");
  EXPECT_EQ(db::PrefixedMessage("", "No record"), "No record");
}

}  // namespace

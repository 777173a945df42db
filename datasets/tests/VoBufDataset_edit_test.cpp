// Editing the buffered dataset across its indexes: where inserted records go in
// the current index and in the others, editing while indexes are added or
// switched, key fields no index can compare, Locate during an insert, the record
// a failed filter test leaves current, and what a failed open leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "rtl/Separators.h"

namespace {

using db::FieldType;
using Names = std::vector<std::string>;

// Default order: c/3, a/1, b/2.
class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Orders");
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
    ds_.SetMaxIndexesCount(6);
    ds_.CreateDataset();
    ds_.Open();
    Add("c", 3);
    Add("a", 1);
    Add("b", 2);
  }

  void Add(const char* name, int qty) {
    ds_.Append();
    ds_.FieldByName("NAME").SetAsString(name);
    ds_.FieldByName("QTY").SetAsInteger(qty);
    ds_.Post();
  }
  std::string Name() { return ds_.FieldByName("NAME").AsString(); }
  Names Order() {
    Names names;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) names.push_back(Name());
    return names;
  }
  void GoTo(const std::string& name) {
    for (ds_.First(); !ds_.Eof(); ds_.Next()) {
      if (Name() == name) return;
    }
    FAIL() << "no record " << name;
  }

  rtl::ScopedSeparators separators_{'.', ','};
  TVoBufDataset ds_;
};

// --- Where new records go ------------------------------------------------------

TEST_F(EditTest, AnInsertUnderASortedIndexGoesToTheInsertionPointInEveryIndex) {
  ds_.AddIndex("ByName", "NAME");
  ds_.SetIndexName("ByName");
  GoTo("b");  // a, b, c: the second
  ds_.Insert();
  ds_.FieldByName("NAME").SetAsString("z");
  ds_.Post();
  EXPECT_EQ(Name(), "z");
  EXPECT_EQ(ds_.RecNo(), 2);  // where b was, not in sorted place
  EXPECT_EQ(Order(), (Names{"a", "z", "b", "c"}));
  // DEFAULT_ORDER takes it before the same record.
  ds_.SetIndexName("DEFAULT_ORDER");
  EXPECT_EQ(Order(), (Names{"c", "a", "z", "b"}));
  EXPECT_EQ(ds_.RecordCount(), 4);
}

// Each index has a cursor of its own: a record posted while another index is
// current goes in before the record that index's cursor was left on.
TEST_F(EditTest, ARecordPostedUnderAnotherIndexGoesBeforeThatIndexsOwnCursor) {
  ds_.AddIndex("ByName", "NAME");
  ds_.SetIndexName("ByName");
  GoTo("b");
  ds_.SetIndexName("DEFAULT_ORDER");
  ds_.First();
  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("z");
  ds_.Post();
  EXPECT_EQ(Order(), (Names{"c", "a", "b", "z"}));
  ds_.SetIndexName("ByName");
  EXPECT_EQ(Order(), (Names{"a", "z", "b", "c"}));
}

TEST_F(EditTest, AddingAnIndexKeepsTheCurrentIndexAndRecord) {
  GoTo("a");
  ds_.AddIndex("ByQtyDesc", "QTY", 0, "QTY");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(Name(), "a");
  EXPECT_EQ(ds_.RecNo(), 2);
  Add("d", 4);
  ds_.SetIndexName("ByQtyDesc");
  EXPECT_EQ(Order(), (Names{"c", "b", "a", "d"}));  // built sorted; d came later, unsorted
}

// No check is made for a duplicate name: selecting by name finds the first.
TEST_F(EditTest, OfTwoIndexesOfOneNameTheFirstIsSelected) {
  ds_.AddIndex("Sort", "NAME");
  ds_.AddIndex("Sort", "QTY", 0, "QTY");
  ds_.SetIndexName("sort");
  EXPECT_EQ(Order(), (Names{"a", "b", "c"}));
}

// Changing the order is navigation: a pending record is posted when modified and
// dropped when not, before the switch.
TEST_F(EditTest, ChangingTheIndexWhileEditingPostsOrCancelsFirst) {
  ds_.AddIndex("ByName", "NAME");
  const struct {
    const char* name;
    bool modified;
    std::function<void(TVoBufDataset&)> change;
  } cases[] = {
      {"select by name, modified", true, [](TVoBufDataset& ds) { ds.SetIndexName("ByName"); }},
      {"select by name, unmodified", false, [](TVoBufDataset& ds) { ds.SetIndexName("ByName"); }},
      {"sort by a field list, modified", true,
       [](TVoBufDataset& ds) { ds.SetIndexFieldNames("QTY"); }},
      {"sort by a field list, unmodified", false,
       [](TVoBufDataset& ds) { ds.SetIndexFieldNames("QTY"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ds_.SetIndexName("DEFAULT_ORDER");
    const int count = ds_.RecordCount();
    ds_.Append();
    if (c.modified) ds_.FieldByName("NAME").SetAsString("new");
    c.change(ds_);
    EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
    EXPECT_EQ(ds_.RecordCount(), count + (c.modified ? 1 : 0));
    if (c.modified) {
      EXPECT_EQ(Name(), "new");
    }
  }
}

TEST(IndexKeyTypeTest, KeyFieldsNoIndexCanCompareAreRefused) {
  const FieldType refused[] = {FieldType::ftWideString, FieldType::ftFixedChar,
                               FieldType::ftAutoInc,    FieldType::ftGuid,
                               FieldType::ftTimeStamp,  FieldType::ftBlob};
  for (FieldType type : refused) {
    SCOPED_TRACE(db::FieldTypeName(type));
    TVoBufDataset ds;
    ds.SetName("D");
    ds.FieldDefs().Add("K", type, 5);
    ds.SetMaxIndexesCount(3);
    ds.Open();
    try {
      ds.AddIndex("X", "K");
      ADD_FAILURE() << "an index on the field was made";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), "D : Field \"K\" has an invalid field type (" +
                                           std::string(db::FieldTypeName(type)) +
                                           ") to base index on.");
    }
    EXPECT_EQ(ds.IndexesCount(), 2);
  }
}

// --- Locate and the filter while records change ----------------------------------

TEST_F(EditTest, LocateDuringAnInsertDropsAnEmptyRecordAndPostsAFilledOne) {
  ds_.Append();
  EXPECT_TRUE(ds_.Locate("NAME", rtl::Variant::Text("a")));
  EXPECT_EQ(ds_.RecordCount(), 3);
  EXPECT_EQ(Name(), "a");

  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("q");
  EXPECT_TRUE(ds_.Locate("NAME", rtl::Variant::Text("b")));
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecordCount(), 4);
  EXPECT_EQ(Name(), "b");
  EXPECT_TRUE(ds_.Locate("NAME", rtl::Variant::Text("q")));
}

TEST_F(EditTest, DeletingTheLastShownRecordLeavesAnEmptyViewOfAFullDataset) {
  ds_.SetFilterText("QTY = 1");
  ds_.SetFiltered(true);
  ds_.First();
  ASSERT_EQ(Name(), "a");
  ds_.Delete();
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_EQ(ds_.RecordCount(), 2);
  EXPECT_EQ(ds_.RecNo(), 0);
  // A record the filter hides is posted all the same, and stays out of view.
  ds_.Append();
  ds_.FieldByName("QTY").SetAsInteger(9);
  ds_.Post();
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_EQ(ds_.RecordCount(), 3);
  ds_.SetFiltered(false);
  EXPECT_EQ(Order(), (Names{"c", "b", ""}));
}

// A filter test that throws (a handler reading a field that is gone, or writing
// one) stops the move; the record shown before the move must stay the one that
// edits and deletes act on, or a Delete removes a record nobody saw.
TEST(FilterFailureTest, AFilterTestThatThrowsLeavesTheShownRecordCurrent) {
  struct Case {
    const char* name;
    const char* start;
    const char* refused;  // the record whose filter test throws
    std::function<void(TVoBufDataset&)> move;
  };
  const Case cases[] = {
      {"Next", "a", "b", [](TVoBufDataset& ds) { ds.Next(); }},
      {"Prior", "c", "b", [](TVoBufDataset& ds) { ds.Prior(); }},
      {"First", "c", "a", [](TVoBufDataset& ds) { ds.First(); }},
      {"Last", "a", "c", [](TVoBufDataset& ds) { ds.Last(); }},
      {"GotoBookmark", "a", "c",
       [](TVoBufDataset& ds) {
         ds.SetFiltered(false);
         ds.Last();
         db::Bookmark c = ds.GetBookmark();
         ds.First();
         ds.SetFiltered(true);
         ds.GotoBookmark(c);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVoBufDataset ds;
    ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds.Open();
    for (const char* name : {"a", "b", "c"}) {
      ds.Append();
      ds.FieldByName("NAME").SetAsString(name);
      ds.Post();
    }
    std::string refused;
    ds.OnFilterRecord = [&refused](db::DataSet& d, bool&) {
      if (d.FieldByName("NAME").AsString() == refused) throw db::DatabaseError("no such field");
    };
    ds.SetFiltered(true);
    for (ds.First(); ds.FieldByName("NAME").AsString() != c.start; ds.Next()) {
    }
    refused = c.refused;
    EXPECT_THROW(c.move(ds), db::DatabaseError);
    refused.clear();

    EXPECT_EQ(ds.FieldByName("NAME").AsString(), c.start);
    ds.Delete();
    Names left;
    for (ds.First(); !ds.Eof(); ds.Next()) left.push_back(ds.FieldByName("NAME").AsString());
    EXPECT_EQ(std::count(left.begin(), left.end(), c.start), 0) << "deleted another record";
    EXPECT_EQ(left.size(), 2u);
  }
}

// Opening is all or nothing: an open that fails (here in its AfterOpen handler)
// must not leave the filter text dropped or the dataset switched to another
// order, as a successful open with a field missing does.
TEST(FailedOpenTest, AFailedOpenLeavesTheFilterTextAndTheIndexAsTheyWere) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ds.FieldDefs().Add("AGE", FieldType::ftInteger);
  ds.AddIndex("ByAge", "AGE");
  ds.SetIndexName("ByAge");
  ds.SetFilterText("AGE = 1");
  ds.FieldDefs().Clear();
  ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ds.AfterOpen = [](db::DataSet&) { throw db::DatabaseError("refused"); };
  EXPECT_THROW(ds.Open(), db::DatabaseError);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.Filter(), "AGE = 1");
  EXPECT_EQ(ds.IndexName(), "ByAge");
}

}  // namespace

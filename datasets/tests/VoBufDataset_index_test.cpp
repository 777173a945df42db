// The buffered dataset's indexes: stable sorting by every key type, descending
// and case-insensitive keys, null and BCD keys, selection by name and by field
// list, failed builds, indexes whose fields vanish on a reload, bulk loads and
// rebuilding after them, and the lists staying whole under inserts, edits and
// deletes.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "rtl/Separators.h"

namespace {

using db::FieldType;

// The bulk load that descendants run, opened up for the tests.
class BulkLoadDataset : public TVoBufDataset {
 public:
  using TVoBufDataset::BeginBulkLoad;
  using TVoBufDataset::EndBulkLoad;
};

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Orders");
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
    ds_.FieldDefs().Add("BODY", FieldType::ftMemo);
    ds_.SetMaxIndexesCount(6);
    ds_.CreateDataset();
    ds_.Open();
  }

  void Add(const char* name, int qty) {
    ds_.Append();
    ds_.FieldByName("NAME").SetAsString(name);
    ds_.FieldByName("QTY").SetAsInteger(qty);
    ds_.Post();
  }

  // "name/qty" of every record in the current order.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) {
      rows.push_back(ds_.FieldByName("NAME").AsString() + "/" + ds_.FieldByName("QTY").AsString());
    }
    return rows;
  }

  std::string Error(const std::function<void()>& act) {
    try {
      act();
    } catch (const db::DatabaseError& e) {
      return e.what();
    }
    return "no error";
  }

  // Every index that takes records holds each stored record exactly once, with
  // prior links that mirror the next links.
  void ExpectListsWhole() {
    std::set<db::RecordId> expected;
    for (int i = 0; i < ds_.IndexesCount(); ++i) {
      const TBufIndex& index = ds_.Indexes(i);
      bool maintained =
          i == 0 || (index.IsInitialised() && (i != 1 || ds_.IndexFieldNames() != ""));
      if (!maintained) continue;
      std::set<db::RecordId> seen;
      db::RecordId prior = TBufIndex::kSentinel;
      for (db::RecordId r = index.FirstRecord(); r != TBufIndex::kSentinel; r = index.Next(r)) {
        EXPECT_EQ(index.Prior(r), prior) << "index " << i;
        EXPECT_TRUE(seen.insert(r).second) << "index " << i << " holds a record twice";
        prior = r;
        ASSERT_LE(seen.size(), static_cast<std::size_t>(ds_.RecordCount()));
      }
      EXPECT_EQ(index.LastRecord(), prior) << "index " << i;
      if (i == 0) expected = seen;
      EXPECT_EQ(seen, expected) << "index " << i;
    }
    EXPECT_EQ(expected.size(), static_cast<std::size_t>(ds_.RecordCount()));
  }

  rtl::ScopedSeparators separators_{'.', ','};
  BulkLoadDataset ds_;
};

TEST_F(IndexTest, EqualKeysKeepTheirOrderAscendingAndDescending) {
  Add("b", 1);
  Add("a", 2);
  Add("b", 3);
  Add("a", 4);
  ds_.AddIndex("ByName", "NAME");
  ds_.AddIndex("ByNameDesc", "NAME", db::ixDescending, "NAME");
  ds_.AddIndex("ByNameQtyDesc", "NAME;QTY", 0, "QTY");
  ds_.SetIndexName("ByName");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/2", "a/4", "b/1", "b/3"}));
  ds_.SetIndexName("ByNameDesc");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/1", "b/3", "a/2", "a/4"}));
  ds_.SetIndexName("ByNameQtyDesc");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/4", "a/2", "b/3", "b/1"}));
  ds_.SetIndexName("DEFAULT_ORDER");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/1", "a/2", "b/3", "a/4"}));
}

// Keys that agree in their first bytes, and one that is the start of others,
// are ordered by the rest of their texts; equal ones keep their order.
TEST_F(IndexTest, KeysAlikeInTheirFirstBytesSortByTheRest) {
  Add("abcdefgh2", 1);
  Add("abcdefgh1", 2);
  Add("abcdefgh", 3);
  Add("abcdefgh2", 4);
  Add("abcdef", 5);
  ds_.AddIndex("ByName", "NAME");
  ds_.AddIndex("ByNameDesc", "NAME", db::ixDescending, "NAME");
  ds_.SetIndexName("ByName");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"abcdef/5", "abcdefgh/3", "abcdefgh1/2",
                                              "abcdefgh2/1", "abcdefgh2/4"}));
  ds_.SetIndexName("ByNameDesc");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"abcdefgh2/1", "abcdefgh2/4", "abcdefgh1/2",
                                              "abcdefgh/3", "abcdef/5"}));
}

TEST_F(IndexTest, CaseInsensitiveKeysCompareUpperCasedTexts) {
  Add("abc", 1);
  Add("ABD", 2);
  Add("ABC", 3);
  ds_.AddIndex("Ci", "NAME", 0, "", "NAME");
  ds_.SetIndexName("Ci");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"abc/1", "ABC/3", "ABD/2"}));
}

TEST_F(IndexTest, NullKeysOrderAsTheZeroOfTheirType) {
  Add("x", 5);
  ds_.Append();  // QTY and NAME null
  ds_.Post();
  Add("", -1);
  Add("y", 0);
  ds_.SetIndexFieldNames("QTY");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"/-1", "/", "y/0", "x/5"}));
  ds_.SetIndexFieldNames("NAME");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"/", "/-1", "x/5", "y/0"}));
}

TEST(IndexTypeTest, EveryIndexableTypeSortsByItsValue) {
  rtl::ScopedSeparators separators('.', ',');
  struct TypeCase {
    FieldType type;
    std::vector<const char*> inserted;
    std::vector<const char*> sorted;
  };
  const TypeCase cases[] = {
      {FieldType::ftSmallint, {"5", "-3", "0"}, {"-3", "0", "5"}},
      {FieldType::ftWord, {"65535", "1", "256"}, {"1", "256", "65535"}},
      {FieldType::ftLargeint,
       {"9000000000", "-9000000000", "1"},
       {"-9000000000", "1", "9000000000"}},
      {FieldType::ftBoolean, {"True", "False", "True"}, {"False", "True", "True"}},
      {FieldType::ftFloat, {"2.5", "-1E300", "0.1"}, {"-1E300", "0.1", "2.5"}},
      {FieldType::ftCurrency, {"10", "9.99", "-0.01"}, {"-0.01", "9.99", "10"}},
      {FieldType::ftDate,
       {"2001-01-01", "1850-06-30", "1999-12-31"},
       {"1850-06-30", "1999-12-31", "2001-01-01"}},
      {FieldType::ftTime,
       {"12:00:00", "00:00:01", "23:59:59"},
       {"00:00:01", "12:00:00", "23:59:59"}},
      {FieldType::ftDateTime,
       {"2001-01-01 10:00:00", "2001-01-01 09:59:59", "2000-12-31"},
       {"2000-12-31", "2001-01-01 09:59:59", "2001-01-01 10:00:00"}},
      // 429497.7296 holds 4294977296 ten-thousandths: the low 32 bits equal those
      // of 1 (10000), so only the full 64-bit value orders them.
      {FieldType::ftBCD,
       {"429497.7296", "1", "0.5", "-429497.7296"},
       {"-429497.7296", "0.5", "1", "429497.7296"}},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(db::FieldTypeName(c.type));
    TVoBufDataset ds;
    ds.FieldDefs().Add("K", c.type);
    ds.Open();
    for (const char* value : c.inserted) {
      ds.Append();
      ds.Fields(0).SetAsString(value);
      ds.Post();
    }
    ds.SetIndexFieldNames("K");
    std::vector<std::string> sorted;
    for (ds.First(); !ds.Eof(); ds.Next()) sorted.push_back(ds.Fields(0).AsString());
    EXPECT_EQ(sorted, std::vector<std::string>(c.sorted.begin(), c.sorted.end()));
  }
}

TEST_F(IndexTest, AFailedAddIndexKeepsNoIndex) {
  Add("a", 1);
  struct FailCase {
    const char* name;
    std::function<void(TVoBufDataset&)> act;
    const char* message;
  };
  const FailCase cases[] = {
      {"no fields", [](TVoBufDataset& ds) { ds.AddIndex("X", ""); },
       "Orders : There are no fields selected to base the index on"},
      {"unknown field", [](TVoBufDataset& ds) { ds.AddIndex("X", "NAME;NOPE"); },
       "Orders : Field not found : \"NOPE\""},
      {"unknown descending field", [](TVoBufDataset& ds) { ds.AddIndex("X", "NAME", 0, "NOPE"); },
       "Orders : Field not found : \"NOPE\""},
      {"memo key", [](TVoBufDataset& ds) { ds.AddIndex("X", "BODY"); },
       "Orders : Field \"BODY\" has an invalid field type (Memo) to base index on."},
      {"only separators", [](TVoBufDataset& ds) { ds.AddIndex("X", ";"); },
       "Orders : There are no fields selected to base the index on"},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Error([&] { c.act(ds_); }), c.message);
    EXPECT_EQ(ds_.IndexesCount(), 2);
  }
  ds_.SetIndexName("X");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  // The failed attempts used no index place.
  for (int i = 0; i < 4; ++i) ds_.AddIndex("I" + std::to_string(i), "QTY");
  EXPECT_EQ(Error([&] { ds_.AddIndex("Full", "QTY"); }),
            "Orders : The maximum amount of indexes is reached");
  EXPECT_EQ(ds_.IndexesCount(), 6);
  ExpectListsWhole();
}

TEST_F(IndexTest, SelectingByNameKeepsTheCurrentRecord) {
  Add("c", 1);
  Add("a", 2);
  Add("b", 3);
  ds_.AddIndex("ByName", "NAME");
  ds_.First();  // c
  ds_.SetIndexName("byname");
  EXPECT_EQ(ds_.IndexName(), "ByName");
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "c");
  EXPECT_EQ(ds_.RecNo(), 3);  // counted in the sorted order
  EXPECT_EQ(ds_.IndexFieldNames(), "");
  ds_.SetIndexName("no such index");
  EXPECT_EQ(ds_.IndexName(), "ByName");
  ds_.SetIndexName("default_order");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(ds_.RecNo(), 1);
  ds_.SetIndexName("ByName");
  ds_.SetIndexName("");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
}

TEST_F(IndexTest, IndexFieldNamesBuildsBeforeItSwitches) {
  Add("b", 2);
  Add("a", 1);
  ds_.SetIndexFieldNames("NAME");
  EXPECT_EQ(ds_.IndexFieldNames(), "NAME");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/1", "b/2"}));
  EXPECT_EQ(Error([&] { ds_.SetIndexFieldNames("NOPE"); }), "Orders : Field not found : \"NOPE\"");
  EXPECT_EQ(ds_.IndexFieldNames(), "NAME");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/1", "b/2"}));
  ds_.SetIndexFieldNames("");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(Error([&] { ds_.SetIndexFieldNames("BODY"); }),
            "Orders : Field \"BODY\" has an invalid field type (Memo) to base index on.");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/2", "a/1"}));
}

TEST_F(IndexTest, AnIndexAddedToAnEmptyDatasetTakesLaterRecords) {
  ds_.AddIndex("ByQty", "QTY");
  ds_.SetIndexName("ByQty");
  EXPECT_TRUE(ds_.IsEmpty());
  Add("a", 2);
  Add("b", 1);
  // Appended at the end of the sorted index, not in sorted place, until rebuilt.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/2", "b/1"}));
  EXPECT_EQ(ds_.RecNo(), 2);
  ds_.RebuildIndexes();
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "b");  // the first record of the order
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/1", "a/2"}));
  ExpectListsWhole();
}

TEST_F(IndexTest, ABulkLoadIsSortedByTheCurrentIndexWhenRebuilt) {
  ds_.SetIndexFieldNames("QTY");
  ds_.Close();
  ds_.Open();  // a reload: the sort index stays current, the records come in any order
  EXPECT_EQ(ds_.IndexFieldNames(), "QTY");
  ds_.DisableControls();
  for (int qty : {3, 1, 2}) Add("r", qty);
  ds_.RebuildIndexes();
  ds_.EnableControls();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"r/1", "r/2", "r/3"}));
  ExpectListsWhole();
}

// During a bulk load the records go to the default order alone and a new choice
// of order waits for the end, where every index is sorted once and the chosen
// one is current; deletes meanwhile leave no index holding a removed record.
TEST_F(IndexTest, ABulkLoadFeedsTheDefaultOrderAndSortsEveryIndexAtItsEnd) {
  Add("c", 3);
  ds_.AddIndex("ByQty", "QTY");
  ds_.AddIndex("ByName", "NAME", 0, "NAME");
  ds_.SetIndexName("ByQty");
  ds_.BeginBulkLoad();
  EXPECT_EQ(ds_.IndexName(), "ByQty");
  EXPECT_EQ(ds_.CurrentIndex().Name, "DEFAULT_ORDER");
  Add("a", 1);
  Add("e", 4);
  Add("b", 2);
  ASSERT_TRUE(ds_.Locate("NAME", rtl::Variant::Text("a")));
  ds_.Delete();
  Add("d", 0);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"c/3", "e/4", "b/2", "d/0"}));
  // A field list that does not build is refused at once, as outside a load.
  EXPECT_EQ(Error([&] { ds_.SetIndexFieldNames("NOPE"); }), "Orders : Field not found : \"NOPE\"");
  EXPECT_EQ(ds_.IndexName(), "ByQty");
  ds_.SetIndexFieldNames("NAME");
  EXPECT_EQ(ds_.IndexFieldNames(), "NAME");
  ds_.EndBulkLoad();

  EXPECT_EQ(ds_.IndexFieldNames(), "NAME");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/2", "c/3", "d/0", "e/4"}));
  ExpectListsWhole();
  ds_.SetIndexName("ByQty");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"d/0", "b/2", "c/3", "e/4"}));
  ds_.SetIndexName("ByName");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"e/4", "d/0", "c/3", "b/2"}));
  ExpectListsWhole();
}

TEST_F(IndexTest, IndexesWhoseFieldsVanishAreSkippedUntilTheyReturn) {
  Add("a", 1);
  ds_.AddIndex("QTY__IdxA", "QTY");
  ds_.SetIndexName("QTY__IdxA");
  ds_.Close();
  ds_.DestroyFields();
  ds_.FieldDefs().Clear();
  ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ds_.Open();  // no QTY now: opens all the same, in the default order
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  ds_.SetIndexName("QTY__IdxA");
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("n");
  ds_.Post();
  ds_.RebuildIndexes();
  ExpectListsWhole();

  ds_.Close();
  ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
  ds_.Open();  // QTY is back: the index asked for is in use again
  EXPECT_EQ(ds_.IndexName(), "QTY__IdxA");
  Add("b", 2);
  Add("c", 1);
  ds_.RebuildIndexes();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"c/1", "b/2"}));

  // A choice made meanwhile wins over the one remembered.
  ds_.Close();
  ds_.FieldDefs().Clear();
  ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ds_.Open();
  ds_.SetIndexName("DEFAULT_ORDER");
  ds_.Close();
  ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
  ds_.Open();
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
}

TEST_F(IndexTest, IndexesAddedWhileClosedAreBuiltAtOpen) {
  ds_.Close();
  ds_.SetMaxIndexesCount(2);
  ds_.AddIndex("ByName", "NAME", db::ixCaseInsensitive, "", "NAME");
  ds_.AddIndex("ByQtyDesc", "QTY", db::ixDescending, "QTY");
  EXPECT_EQ(ds_.MaxIndexesCount(), 4);
  EXPECT_EQ(ds_.PacketRecords(), -1);
  ds_.SetIndexName("ByQtyDesc");
  ds_.Open();
  Add("a", 1);
  Add("b", 2);
  ds_.RebuildIndexes();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"b/2", "a/1"}));
  ds_.UpdateIndexDefs();
  ASSERT_EQ(ds_.IndexDefs().Count(), 4);
  EXPECT_EQ(ds_.IndexDefs()[0].Name, "DEFAULT_ORDER");
  EXPECT_EQ(ds_.IndexDefs()[2].CaseInsFields, "NAME");
  EXPECT_EQ(ds_.IndexDefs()[3].DescFields, "QTY");
  EXPECT_EQ(ds_.IndexDefs()[3].Options, db::ixDescending);
}

TEST_F(IndexTest, AFieldListSetWhileClosedThatFailsAtOpenFallsBack) {
  ds_.Close();
  ds_.SetIndexFieldNames("NOPE");
  EXPECT_EQ(ds_.IndexFieldNames(), "NOPE");
  ds_.Open();
  EXPECT_EQ(ds_.IndexName(), "DEFAULT_ORDER");
  EXPECT_EQ(ds_.IndexFieldNames(), "");
}

TEST_F(IndexTest, ListsStayWholeUnderInsertsEditsAndDeletes) {
  ds_.AddIndex("ByName", "NAME");
  ds_.AddIndex("ByQtyDesc", "QTY", 0, "QTY");
  unsigned seed = 12345;
  auto next = [&seed](unsigned bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  const char* indexes[] = {"DEFAULT_ORDER", "ByName", "ByQtyDesc"};
  for (int step = 0; step < 400; ++step) {
    SCOPED_TRACE(step);
    switch (next(7)) {
      case 0:
        ds_.SetIndexName(indexes[next(3)]);
        break;
      case 1:
        ds_.SetIndexFieldNames(next(2) ? "NAME;QTY" : "QTY");
        break;
      case 2:
      case 3:
        if (next(2)) {
          ds_.Insert();
        } else {
          ds_.Append();
        }
        ds_.FieldByName("NAME").SetAsString(std::string(1, static_cast<char>('a' + next(5))));
        ds_.FieldByName("QTY").SetAsInteger(next(10));
        ds_.Post();
        break;
      case 4:
        if (!ds_.IsEmpty()) {
          std::string before = ds_.FieldByName("NAME").AsString();
          int recno = ds_.RecNo();
          ds_.Edit();
          ds_.FieldByName("NAME").SetAsString(before + "z");
          ds_.Post();
          EXPECT_EQ(ds_.RecNo(), recno);  // an edit moves the record in no index
        }
        break;
      case 5:
        if (!ds_.IsEmpty()) ds_.Delete();
        break;
      case 6:
        if (next(2)) {
          ds_.First();
        } else {
          ds_.Last();
        }
        for (unsigned n = next(4); n > 0; --n) ds_.Next();
        break;
    }
    ExpectListsWhole();
    if (HasFatalFailure() || HasFailure()) return;
  }
}

}  // namespace

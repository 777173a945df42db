// The buffered dataset's navigation, record numbers, bookmarks, filter text and
// Locate: walking and moving under several indexes with and without a filter,
// bookmarks across edits, deletes and a reopen, the filter text compiled through
// the dataset with its options and its swap on failure, and every Locate option
// and error.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "rtl/Dates.h"
#include "rtl/Separators.h"

namespace {

using db::FieldType;
using rtl::Variant;
using Names = std::vector<std::string>;

// Counts what observers and the scroll events hear.
class EventCounter : public db::DataSetObserver {
 public:
  explicit EventCounter(db::DataSet& dataset) : dataset_(dataset) { dataset.AddObserver(this); }
  ~EventCounter() override { dataset_.RemoveObserver(this); }
  void OnDataEvent(db::DataSet&, db::DataEvent event) override {
    if (event == db::DataEvent::kDataSetChanged) ++changed;
  }
  int changed = 0;

 private:
  db::DataSet& dataset_;
};

struct Person {
  const char* name;
  const char* city;
  int age;  // -1: null
  const char* score;
  const char* born;
  const char* active;
};

// Default order: Carol, alice, Bob, bobby, Eve.
const Person kPeople[] = {
    {"Carol", "Oslo", 35, "4.5", "1989-05-01", "True"},
    {"alice", "Bergen", 28, "3", "1996-02-10", "False"},
    {"Bob", "Oslo", 41, "", "1982-11-30", "True"},
    {"bobby", "Tromso", 28, "2.5", "", ""},
    {"Eve", "Bergen", 35, "5", "1989-07-07", "True"},
};

class NavigateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("People");
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds_.FieldDefs().Add("CITY", FieldType::ftString, 6);
    ds_.FieldDefs().Add("AGE", FieldType::ftInteger);
    ds_.FieldDefs().Add("SCORE", FieldType::ftFloat);
    ds_.FieldDefs().Add("BORN", FieldType::ftDate);
    ds_.FieldDefs().Add("ACTIVE", FieldType::ftBoolean);
    ds_.FieldDefs().Add("NOTES", FieldType::ftMemo);
    ds_.SetMaxIndexesCount(5);
    ds_.CreateDataset();
    ds_.Open();
    for (const Person& p : kPeople) Add(p);
    ds_.First();
  }

  void Add(const Person& p) {
    ds_.Append();
    ds_.FieldByName("NAME").SetAsString(p.name);
    ds_.FieldByName("CITY").SetAsString(p.city);
    if (p.age >= 0) ds_.FieldByName("AGE").SetAsInteger(p.age);
    ds_.FieldByName("SCORE").SetAsString(p.score);
    ds_.FieldByName("BORN").SetAsString(p.born);
    ds_.FieldByName("ACTIVE").SetAsString(p.active);
    ds_.Post();
  }

  std::string Name() { return ds_.FieldByName("NAME").AsString(); }

  Names Forward() {
    Names names;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) names.push_back(Name());
    return names;
  }
  Names Backward() {
    Names names;
    for (ds_.Last(); !ds_.Bof(); ds_.Prior()) names.push_back(Name());
    return names;
  }
  void GoTo(const std::string& name) {
    for (ds_.First(); !ds_.Eof(); ds_.Next()) {
      if (Name() == name) return;
    }
    FAIL() << "no record " << name;
  }
  // The message of the DatabaseError that `act` throws.
  static std::string ErrorOf(const std::function<void()>& act) {
    try {
      act();
    } catch (const db::DatabaseError& e) {
      return e.what();
    }
    return "<no error>";
  }

  rtl::ScopedSeparators separators_{'.', ','};
  TVoBufDataset ds_;
};

const char* const kNotFound = "People : Could not find the requested record.";

// --- Navigation and record numbers ---------------------------------------------

struct OrderCase {
  const char* name;
  std::function<void(TVoBufDataset&)> select;
  Names order;
};

std::vector<OrderCase> OrderCases() {
  return {
      {"DEFAULT_ORDER", [](TVoBufDataset&) {}, {"Carol", "alice", "Bob", "bobby", "Eve"}},
      {"index on AGE, equal keys in the order added",
       [](TVoBufDataset& ds) {
         ds.AddIndex("ByAge", "AGE");
         ds.SetIndexName("ByAge");
       },
       {"alice", "bobby", "Carol", "Eve", "Bob"}},
      {"CITY descending then AGE",
       [](TVoBufDataset& ds) {
         ds.AddIndex("ByCity", "CITY;AGE", 0, "CITY");
         ds.SetIndexName("ByCity");
       },
       {"bobby", "Carol", "Bob", "alice", "Eve"}},
      {"IndexFieldNames SCORE, a null score first",
       [](TVoBufDataset& ds) { ds.SetIndexFieldNames("SCORE"); },
       {"Bob", "bobby", "alice", "Carol", "Eve"}},
  };
}

TEST_F(NavigateTest, EveryIndexWalksBothWaysWithRecordNumbers) {
  for (const OrderCase& c : OrderCases()) {
    SCOPED_TRACE(c.name);
    c.select(ds_);
    EXPECT_EQ(Forward(), c.order);
    EXPECT_EQ(Backward(), Names(c.order.rbegin(), c.order.rend()));

    ds_.First();
    EXPECT_TRUE(ds_.Bof());
    for (std::size_t i = 0; i < c.order.size(); ++i) {
      EXPECT_EQ(Name(), c.order[i]);
      EXPECT_EQ(ds_.RecNo(), static_cast<int>(i) + 1);
      ds_.Next();
    }
    EXPECT_TRUE(ds_.Eof());
    EXPECT_EQ(Name(), c.order.back());  // a move past the end keeps the last record
    ds_.First();
    ds_.Prior();
    EXPECT_TRUE(ds_.Bof());
    EXPECT_EQ(Name(), c.order.front());

    for (int k = static_cast<int>(c.order.size()); k >= 1; --k) {
      ds_.SetRecNo(k);
      EXPECT_EQ(Name(), c.order[static_cast<std::size_t>(k - 1)]);
      EXPECT_EQ(ds_.RecNo(), k);
    }
  }
}

TEST_F(NavigateTest, AFilterHidesRecordsInEveryIndexAndRecordNumbersCountThemAll) {
  ASSERT_NO_THROW(ds_.SetFilterText("AGE <> 41"));
  ds_.SetFiltered(true);
  for (const OrderCase& c : OrderCases()) {
    SCOPED_TRACE(c.name);
    c.select(ds_);
    Names visible;
    for (const std::string& name : c.order) {
      if (name != "Bob") visible.push_back(name);
    }
    EXPECT_EQ(Forward(), visible);
    EXPECT_EQ(Backward(), Names(visible.rbegin(), visible.rend()));
    // Record numbers are positions in the index, hidden records counted.
    for (std::size_t i = 0; i < c.order.size(); ++i) {
      if (c.order[i] == "Bob") {
        ds_.First();
        EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(static_cast<int>(i) + 1); }), kNotFound);
        EXPECT_EQ(Name(), visible.front());  // the current record stays
        continue;
      }
      ds_.SetRecNo(static_cast<int>(i) + 1);
      EXPECT_EQ(Name(), c.order[i]);
      EXPECT_EQ(ds_.RecNo(), static_cast<int>(i) + 1);
    }
  }
}

TEST_F(NavigateTest, MoveByStopsAtEitherEndAndAnswersTheDistanceMoved) {
  int scrolls = 0;
  ds_.AfterScroll = [&scrolls](db::DataSet&) { ++scrolls; };
  ds_.First();
  scrolls = 0;
  EXPECT_EQ(ds_.MoveBy(2), 2);
  EXPECT_EQ(Name(), "Bob");
  EXPECT_EQ(scrolls, 1);  // one scroll for the whole move
  EXPECT_EQ(ds_.MoveBy(0), 0);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(ds_.MoveBy(10), 2);
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(Name(), "Eve");
  EXPECT_EQ(ds_.MoveBy(1), 0);
  EXPECT_EQ(ds_.MoveBy(-3), -3);
  EXPECT_FALSE(ds_.Eof());
  EXPECT_EQ(Name(), "alice");
  EXPECT_EQ(ds_.MoveBy(-5), -1);
  EXPECT_TRUE(ds_.Bof());
  EXPECT_EQ(Name(), "Carol");

  ds_.SetFilterText("AGE = 28 OR AGE = 35");
  ds_.SetFiltered(true);
  ds_.First();
  EXPECT_EQ(ds_.MoveBy(2), 2);  // Bob is not counted
  EXPECT_EQ(Name(), "bobby");
  EXPECT_EQ(ds_.MoveBy(5), 1);
  EXPECT_EQ(Name(), "Eve");
}

TEST_F(NavigateTest, RecordNumbersOutsideTheIndexAndWhileInserting) {
  EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(0); }), kNotFound);
  EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(6); }), kNotFound);
  EXPECT_EQ(Name(), "Carol");

  ds_.Insert();
  EXPECT_EQ(ds_.RecNo(), 0);
  ds_.Cancel();

  // SetRecNo posts a pending edit before it moves.
  ds_.Edit();
  ds_.FieldByName("AGE").SetAsInteger(36);
  ds_.SetRecNo(3);
  EXPECT_EQ(Name(), "Bob");
  ds_.First();
  EXPECT_EQ(ds_.FieldByName("AGE").AsInteger(), 36);

  // The number of a record that left the index is 0, not a count that runs on.
  ds_.SetRecNo(2);
  db::Bookmark gone = ds_.GetBookmark();
  ds_.Delete();
  EXPECT_EQ(ds_.Indexes(0).RecordNumber(gone.id), 0);
  EXPECT_EQ(ds_.RecNo(), 2);

  while (!ds_.IsEmpty()) ds_.Delete();
  EXPECT_EQ(ds_.RecNo(), 0);
  EXPECT_EQ(ErrorOf([&] { ds_.SetRecNo(1); }), kNotFound);
}

// --- Bookmarks ---------------------------------------------------------------

TEST_F(NavigateTest, BookmarksFollowTheirRecordThroughEditsAndIndexChanges) {
  GoTo("Bob");
  db::Bookmark bob = ds_.GetBookmark();
  ds_.Edit();
  ds_.FieldByName("NAME").SetAsString("Robert");
  ds_.Post();
  ds_.First();
  EXPECT_TRUE(ds_.BookmarkValid(bob));
  ds_.GotoBookmark(bob);
  EXPECT_EQ(Name(), "Robert");
  EXPECT_EQ(ds_.CompareBookmarks(bob, ds_.GetBookmark()), 0);

  ds_.AddIndex("ByAge", "AGE");
  ds_.SetIndexName("ByAge");
  ds_.First();
  ds_.GotoBookmark(bob);
  EXPECT_EQ(Name(), "Robert");
  EXPECT_EQ(ds_.RecNo(), 5);

  // Other records' inserts and deletes do not disturb it.
  GoTo("alice");
  ds_.Delete();
  ds_.Insert();
  ds_.FieldByName("NAME").SetAsString("Zoe");
  ds_.Post();
  ds_.GotoBookmark(bob);
  EXPECT_EQ(Name(), "Robert");
}

TEST_F(NavigateTest, ABookmarkOfAGoneRecordIsRefusedAndTheCursorStays) {
  GoTo("Bob");
  db::Bookmark bob = ds_.GetBookmark();
  ds_.Delete();
  GoTo("Eve");
  int scrolls = 0;
  ds_.BeforeScroll = [&scrolls](db::DataSet&) { ++scrolls; };

  EXPECT_FALSE(ds_.BookmarkValid(bob));
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark(bob); }), kNotFound);
  EXPECT_EQ(Name(), "Eve");
  EXPECT_EQ(scrolls, 0);

  // Once the change log lets the deleted record go, a new record takes its
  // place; the old bookmark still names nothing.
  ds_.OnUpdateError = [](db::DataSet&, db::DataSet&, db::UpdateError&, db::UpdateKind,
                         db::ResolverResponse& response) {
    response = db::ResolverResponse::rrIgnore;
  };
  ds_.ApplyUpdates();
  Add({"Dan", "Oslo", 50, "", "", ""});
  EXPECT_EQ(ds_.GetBookmark().id, bob.id);
  EXPECT_FALSE(ds_.BookmarkValid(bob));
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark(bob); }), kNotFound);
  EXPECT_EQ(Name(), "Dan");

  db::Bookmark dan = ds_.GetBookmark();
  ds_.Close();
  ds_.Open();
  Add({"Dan", "Oslo", 50, "", "", ""});
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark(dan); }), kNotFound);
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark(db::Bookmark{}); }), "People : Invalid bookmark");
}

TEST_F(NavigateTest, ABookmarkOfARecordTheFilterHidesIsRefusedAndTheCursorStays) {
  GoTo("Bob");
  db::Bookmark bob = ds_.GetBookmark();
  GoTo("bobby");
  db::Bookmark bobby = ds_.GetBookmark();
  EXPECT_EQ(ds_.CompareBookmarks(bob, bobby), -1);
  EXPECT_EQ(ds_.CompareBookmarks(bobby, bob), -1);
  ds_.SetFilterText("AGE < 40");
  ds_.SetFiltered(true);
  ds_.Last();
  EXPECT_EQ(ErrorOf([&] { ds_.GotoBookmark(bob); }), kNotFound);
  EXPECT_EQ(Name(), "Eve");
  ds_.GotoBookmark(bobby);
  EXPECT_EQ(Name(), "bobby");
}

// --- The filter text ----------------------------------------------------------

TEST_F(NavigateTest, TheFilterTextAppliesWhileFilteredIsOn) {
  EventCounter counter(ds_);
  ds_.SetFilterText("AGE = 28");
  EXPECT_EQ(counter.changed, 0);  // stored; nothing to refresh while off
  EXPECT_EQ(Forward().size(), 5u);

  ds_.First();
  ds_.SetFiltered(true);
  EXPECT_EQ(counter.changed, 1);
  EXPECT_EQ(Name(), "alice");  // the current record Carol gave way to its neighbour
  EXPECT_EQ(Forward(), (Names{"alice", "bobby"}));
  EXPECT_EQ(ds_.RecordCount(), 5);  // the count ignores the filter

  ds_.SetFilterText("AGE = 35");  // a new text takes effect at once
  EXPECT_EQ(counter.changed, 2);
  EXPECT_EQ(Forward(), (Names{"Carol", "Eve"}));

  ds_.SetFiltered(false);
  EXPECT_EQ(counter.changed, 3);
  EXPECT_EQ(Forward().size(), 5u);
  ds_.SetFiltered(true);
  EXPECT_EQ(counter.changed, 4);
  EXPECT_EQ(Forward(), (Names{"Carol", "Eve"}));

  ds_.SetFilterText("");  // every record again
  EXPECT_EQ(Forward().size(), 5u);
}

TEST_F(NavigateTest, TheFilterReadsEveryKindOfFieldAndNullsAsTheirZero) {
  struct Case {
    const char* filter;
    Names visible;
  };
  const Case cases[] = {
      {"CITY = 'Oslo'", {"Carol", "Bob"}},
      {"SCORE > 2.5 AND SCORE < 5", {"Carol", "alice"}},
      {"SCORE = 0", {"Bob"}},  // a null float reads as 0
      {"DTOS(BORN) >= '1989' AND DTOS(BORN) < '1990'", {"Carol", "Eve"}},
      {"ACTIVE", {"Carol", "Bob", "Eve"}},  // a boolean field alone; null is false
      {"NOT ACTIVE", {"alice", "bobby"}},
      {"NAME", {"Carol", "alice", "Bob", "bobby", "Eve"}},  // a string alone: not empty
      {"AGE * 2 + 1 = 57", {"alice", "bobby"}},
      {"UPPER(NAME) = 'BOB'", {"Bob"}},
  };
  ds_.SetFiltered(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    ds_.SetFilterText(c.filter);
    EXPECT_EQ(Forward(), c.visible);
  }
  // A record made null by an edit reads as the empty text.
  ds_.SetFilterText("NAME");
  GoTo("Eve");
  ds_.Edit();
  ds_.FieldByName("NAME").Clear();
  ds_.Post();
  EXPECT_EQ(Forward(), (Names{"Carol", "alice", "Bob", "bobby"}));
}

TEST_F(NavigateTest, FilterOptionsChooseCaseAndPatternsAndRecompileAtOnce) {
  struct Case {
    db::FilterOptionSet options;
    const char* filter;
    Names visible;
  };
  const Case cases[] = {
      {0, "NAME = 'b*'", {"bobby"}},  // case-sensitive with patterns by default
      {0, "NAME = '*e'", {"alice", "Eve"}},
      {0, "NAME = 'bob'", {}},
      {db::foCaseInsensitive, "NAME = 'b*'", {"Bob", "bobby"}},
      {db::foCaseInsensitive, "NAME = 'bob'", {"Bob"}},
      {db::foNoPartialCompare, "NAME = 'b*'", {}},
      {db::foNoPartialCompare | db::foCaseInsensitive, "NAME = 'ALICE'", {"alice"}},
  };
  ds_.SetFiltered(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    ds_.SetFilterText("");
    ds_.SetFilterOptions(c.options);
    ds_.SetFilterText(c.filter);
    EXPECT_EQ(Forward(), c.visible);
  }

  // Changing the options of a text already in force compiles it again.
  ds_.SetFilterOptions(0);
  ds_.SetFilterText("NAME = 'b*'");
  EXPECT_EQ(Forward(), (Names{"bobby"}));
  ds_.SetFilterOptions(db::foCaseInsensitive);
  EXPECT_EQ(Forward(), (Names{"Bob", "bobby"}));
  ds_.SetFilterOptions(db::foCaseInsensitive | db::foNoPartialCompare);
  EXPECT_EQ(Forward(), Names{});
}

TEST_F(NavigateTest, TheHandlerAndTheTextMustBothAccept) {
  std::vector<std::string> offered;
  ds_.OnFilterRecord = [&offered](db::DataSet& ds, bool& accept) {
    offered.push_back(ds.FieldByName("NAME").AsString());
    accept = ds.FieldByName("CITY").AsString() != "Bergen";
  };
  ds_.SetFilterText("AGE < 40");
  ds_.SetFiltered(true);
  offered.clear();
  EXPECT_EQ(Forward(), (Names{"Carol", "bobby"}));
  EXPECT_EQ(offered, (Names{"Carol", "alice", "Bob", "bobby", "Eve"}));

  ds_.SetFilterText("");  // the handler alone
  EXPECT_EQ(Forward(), (Names{"Carol", "Bob", "bobby"}));

  // A handler may read but not write.
  ds_.OnFilterRecord = [](db::DataSet& ds, bool&) { ds.FieldByName("AGE").SetAsInteger(1); };
  EXPECT_EQ(ErrorOf([&] { ds_.First(); }),
            "People : Operation not allowed, dataset \"People\" is not in an edit or insert "
            "state.");
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
}

TEST_F(NavigateTest, ATextThatFailsLeavesThePreviousFilterInForce) {
  ds_.SetFilterText("AGE = 28");
  ds_.SetFiltered(true);
  const char* const bad[][2] = {
      {"NOPE = 1", "Index based on unknown field \"NOPE\"."},
      {"NOTES = 'x'", "Field \"NOTES\" has an invalid field type (Memo) to base index on."},
      {"AGE = ", nullptr},  // a syntax error, in the parser's words
      {"AGE = 'x'", nullptr},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c[0]);
    std::string error = ErrorOf([&] { ds_.SetFilterText(c[0]); });
    if (c[1] != nullptr) {
      EXPECT_EQ(error, c[1]);
    }
    EXPECT_NE(error, "<no error>");
    EXPECT_EQ(ds_.Filter(), "AGE = 28");
    EXPECT_EQ(Forward(), (Names{"alice", "bobby"}));
  }
  // Also while the filter is off: switching it on brings the old text back.
  ds_.SetFiltered(false);
  EXPECT_THROW(ds_.SetFilterText("NOPE"), db::DatabaseError);
  ds_.SetFiltered(true);
  EXPECT_EQ(Forward(), (Names{"alice", "bobby"}));
}

TEST_F(NavigateTest, AClosedDatasetStoresTheTextAndCompilesItWhenOpened) {
  ds_.Close();
  ds_.SetFilterText("NOPE = 1");  // not compiled yet: no error
  ds_.SetFiltered(true);
  EXPECT_EQ(ds_.Filter(), "NOPE = 1");
  ds_.Open();  // the text no longer compiles: it is dropped, the filter stays on
  EXPECT_EQ(ds_.Filter(), "");
  EXPECT_TRUE(ds_.Filtered());
  for (const Person& p : kPeople) Add(p);
  EXPECT_EQ(Forward().size(), 5u);

  ds_.Close();
  ds_.SetFilterText("CITY = 'Bergen'");
  ds_.Open();
  for (const Person& p : kPeople) Add(p);
  EXPECT_EQ(Forward(), (Names{"alice", "Eve"}));
}

TEST(BufDatasetFilterReopenTest, ATextNamingAFieldThatIsGoneIsDroppedAtOpen) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ds.FieldDefs().Add("AGE", FieldType::ftInteger);
  ds.Open();
  ds.SetFilterText("AGE = 28");
  ds.SetFiltered(true);
  ds.Close();
  ds.FieldDefs().Clear();
  ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
  ASSERT_NO_THROW(ds.Open());
  EXPECT_EQ(ds.Filter(), "");
  EXPECT_TRUE(ds.Filtered());
  for (const char* name : {"a", "b"}) {
    ds.Append();
    ds.FieldByName("NAME").SetAsString(name);
    ds.Post();
  }
  int visible = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) ++visible;
  EXPECT_EQ(visible, 2);
}

TEST_F(NavigateTest, ANextFetchPastTheLastAcceptedRecordEndsAtEndOfFile) {
  ds_.SetFilterText("AGE = 41");
  ds_.SetFiltered(true);
  ds_.First();
  EXPECT_EQ(Name(), "Bob");
  ds_.Next();
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(Name(), "Bob");
  // A post that hides the current record moves to a visible neighbour.
  ds_.SetFilterText("AGE < 40");
  GoTo("bobby");
  ds_.Edit();
  ds_.FieldByName("AGE").SetAsInteger(90);
  ds_.Post();
  EXPECT_EQ(Name(), "Eve");
  EXPECT_EQ(Forward(), (Names{"Carol", "alice", "Eve"}));
}

// --- Locate -------------------------------------------------------------------

struct LocateCase {
  const char* name;
  const char* fields;
  std::vector<Variant> values;
  db::LocateOptionSet options;
  const char* found;  // nullptr: not found
};

TEST_F(NavigateTest, LocateFindsWholeValuesWhateverTheOptions) {
  const db::LocateOptionSet all = db::loCaseInsensitive | db::loPartialKey;
  const LocateCase cases[] = {
      {"a text", "NAME", {Variant::Text("Bob")}, 0, "Bob"},
      {"field names in any case", "name", {Variant::Text("Bob")}, 0, "Bob"},
      {"another letter case", "NAME", {Variant::Text("bob")}, 0, nullptr},
      {"another letter case, case-insensitive",
       "NAME",
       {Variant::Text("BOB")},
       db::loCaseInsensitive,
       nullptr},
      {"a beginning, partial key", "NAME", {Variant::Text("bob")}, db::loPartialKey, nullptr},
      {"a beginning, both options", "NAME", {Variant::Text("Car")}, all, nullptr},
      {"the whole text, both options", "NAME", {Variant::Text("Carol")}, all, "Carol"},
      {"longer than the field", "CITY", {Variant::Text("Bergenxx")}, 0, nullptr},
      {"as long as the field", "CITY", {Variant::Text("Tromso")}, 0, "bobby"},
      {"two fields", "CITY;AGE", {Variant::Text("Oslo"), Variant::Int(41)}, 0, "Bob"},
      {"two fields, one differs",
       "CITY;AGE",
       {Variant::Text("Oslo"), Variant::Int(28)},
       0,
       nullptr},
      {"three fields",
       "CITY;AGE;ACTIVE",
       {Variant::Text("Bergen"), Variant::Int(35), Variant::Bool(true)},
       all,
       "Eve"},
      {"an integer as text", "AGE", {Variant::Text("28")}, 0, "alice"},
      {"an integer as a whole float", "AGE", {Variant::Float(41.0)}, 0, "Bob"},
      {"a fraction for an integer field", "AGE", {Variant::Float(27.6)}, 0, nullptr},
      {"a text an integer field cannot hold", "AGE", {Variant::Text("abc")}, 0, nullptr},
      {"a float", "SCORE", {Variant::Float(2.5)}, 0, "bobby"},
      {"a date", "BORN", {Variant::Date(*rtl::EncodeDate(1989, 7, 7))}, 0, "Eve"},
      {"a date as text", "BORN", {Variant::Text("1982-11-30")}, 0, "Bob"},
      {"a boolean", "ACTIVE", {Variant::Bool(false)}, 0, "alice"},
      {"null finds a null value", "SCORE", {Variant::Null()}, 0, "Bob"},
  };
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.name);
    ds_.Last();
    bool found = ds_.Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, c.found != nullptr);
    EXPECT_EQ(Name(), c.found != nullptr ? c.found : "Eve");  // a miss stays put
  }
}

TEST_F(NavigateTest, LocateTakesTheFirstMatchInTheCurrentIndex) {
  EXPECT_TRUE(ds_.Locate("AGE", Variant::Int(35)));
  EXPECT_EQ(Name(), "Carol");
  ds_.AddIndex("ByCity", "CITY");
  ds_.SetIndexName("ByCity");
  EXPECT_TRUE(ds_.Locate("AGE", Variant::Int(35)));
  EXPECT_EQ(Name(), "Eve");  // Bergen before Oslo
  EXPECT_EQ(ds_.RecNo(), 2);
}

TEST_F(NavigateTest, LocateSkipsRecordsTheFilterHides) {
  ds_.SetFilterText("CITY <> 'Oslo'");
  ds_.SetFiltered(true);
  ds_.Last();
  EXPECT_TRUE(ds_.Locate("AGE", Variant::Int(35)));
  EXPECT_EQ(Name(), "Eve");  // Carol matches first but is hidden
  ds_.First();
  EXPECT_FALSE(ds_.Locate("NAME", Variant::Text("Bob")));  // the only match is hidden
  EXPECT_EQ(Name(), "alice");

  // The handler hides too.
  ds_.OnFilterRecord = [](db::DataSet& ds, bool& accept) {
    accept = ds.FieldByName("NAME").AsString() != "Eve";
  };
  ds_.First();
  EXPECT_FALSE(ds_.Locate("AGE", Variant::Int(35)));
  EXPECT_EQ(Name(), "alice");
}

TEST_F(NavigateTest, LocateOnNothingAnswersFalse) {
  GoTo("Bob");
  EXPECT_FALSE(ds_.Locate("", Variant::Text("Bob")));
  EXPECT_EQ(Name(), "Bob");
  EXPECT_FALSE(ds_.Locate(";", Variant::Text("Bob")));

  while (!ds_.IsEmpty()) ds_.Delete();
  EXPECT_FALSE(ds_.Locate("NAME", Variant::Text("Bob")));
  EXPECT_FALSE(ds_.Locate("NOPE", Variant::Text("Bob")));  // empty: no field is looked up
  ds_.Close();
  EXPECT_FALSE(ds_.Locate("NAME", Variant::Text("Bob")));
}

TEST_F(NavigateTest, LocateErrorsLeaveTheCursorWhereItWas) {
  struct Case {
    const char* name;
    std::function<void()> act;
    const char* message;
  };
  const Case cases[] = {
      {"unknown field",
       [&] {
         ds_.Locate("NAME;NOPE", {Variant::Text("a"), Variant::Int(1)}, 0);
       },
       "People : Field not found : \"NOPE\""},
      {"a field no index can use", [&] { ds_.Locate("NOTES", Variant::Text("x")); },
       "People : Field \"NOTES\" has an invalid field type (Memo) to base index on."},
      {"too few values", [&] { ds_.Locate("CITY;AGE", Variant::Text("Oslo")); },
       "People : 1 key values given for the 2 key fields \"CITY;AGE\""},
      {"too many values",
       [&] {
         ds_.Locate("CITY", {Variant::Text("Oslo"), Variant::Int(35)}, 0);
       },
       "People : 2 key values given for the 1 key fields \"CITY\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GoTo("bobby");
    EXPECT_EQ(ErrorOf(c.act), c.message);
    EXPECT_EQ(Name(), "bobby");
    EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  }
}

TEST_F(NavigateTest, LocateKeepsAPendingEditUntilItMoves) {
  ds_.FieldByName("NAME").SetReadOnly(true);  // a read-only field can still be a key
  GoTo("alice");
  ds_.Edit();
  ds_.FieldByName("CITY").SetAsString("Narvik");
  EXPECT_FALSE(ds_.Locate("NAME", Variant::Text("nobody")));
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  EXPECT_EQ(ds_.FieldByName("CITY").AsString(), "Narvik");
  EXPECT_TRUE(ds_.Modified());

  int scrolls = 0;
  ds_.AfterScroll = [&scrolls](db::DataSet&) { ++scrolls; };
  EXPECT_TRUE(ds_.Locate("NAME", Variant::Text("Eve")));  // the move posts the edit
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_TRUE(ds_.Locate("CITY", Variant::Text("Narvik")));
  EXPECT_EQ(Name(), "alice");
}

}  // namespace

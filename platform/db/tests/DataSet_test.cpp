// The framework's dataset: the fixed order of events and internal steps, state
// transitions and their errors, all-or-nothing opening, the browse-mode check,
// navigation with the filter hook, and disable/enable controls.
#include "db/DataSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "testing/ListDataSet.h"

namespace {

using Log = std::vector<std::string>;

// Logs opening/closing and state changes into the dataset's own log, so that the
// state switch shows in the step order.
class StateLogger : public db::DataSetObserver {
 public:
  explicit StateLogger(ListDataSet& dataset) : dataset_(dataset) { dataset.AddObserver(this); }
  ~StateLogger() override { dataset_.RemoveObserver(this); }
  void OnDataEvent(db::DataSet& dataset, db::DataEvent event) override {
    if (event == db::DataEvent::kActiveChanged) dataset_.log_.push_back("active");
    if (event == db::DataEvent::kStateChanged) {
      static const char* names[] = {"inactive", "browse", "edit", "insert", "filter"};
      dataset_.log_.push_back(std::string("state:") + names[static_cast<int>(dataset.State())]);
    }
  }

 private:
  ListDataSet& dataset_;
};

class DataSetTest : public ::testing::Test {
 public:
  db::Field& Name() { return ds_.FieldByName("NAME"); }

 protected:
  void SetUp() override {
    ds_.FieldDefs().Add("NAME", db::FieldType::ftString, 10);
    ds_.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"})};
    ds_.LogEvents();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& row : ds_.rows) names.push_back(row[0].s);
    return names;
  }

  ListDataSet ds_;
  StateLogger logger_{ds_};
};

struct OrderCase {
  const char* name;
  std::function<void(DataSetTest&, ListDataSet&)> prepare;  // runs on the open dataset
  std::function<void(DataSetTest&, ListDataSet&)> act;
  Log expected;
};

TEST_F(DataSetTest, StepsRunInTheirFixedOrder) {
  auto none = [](DataSetTest&, ListDataSet&) {};
  const OrderCase cases[] = {
      {"append",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       {"BeforeInsert", "BeforeScroll", "InternalInsert(append)", "state:insert", "OnNewRecord",
        "AfterInsert", "AfterScroll"}},
      {"insert",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Insert(); },
       {"BeforeInsert", "BeforeScroll", "InternalInsert", "state:insert", "OnNewRecord",
        "AfterInsert", "AfterScroll"}},
      {"append posts a modified edit first",
       [](DataSetTest& t, ListDataSet& ds) {
         ds.Edit();
         t.Name().SetAsString("x");
       },
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       {"BeforePost", "InternalPost", "state:browse", "AfterPost", "BeforeInsert", "BeforeScroll",
        "InternalInsert(append)", "state:insert", "OnNewRecord", "AfterInsert", "AfterScroll"}},
      {"append cancels an unmodified edit first",
       [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       {"BeforeCancel", "InternalCancel", "state:browse", "AfterCancel", "BeforeInsert",
        "BeforeScroll", "InternalInsert(append)", "state:insert", "OnNewRecord", "AfterInsert",
        "AfterScroll"}},
      {"post",
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       [](DataSetTest& t, ListDataSet& ds) {
         t.Name().SetAsString("d");
         ds.Post();
       },
       {"BeforePost", "InternalPost", "state:browse", "AfterPost"}},
      {"edit",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       {"BeforeEdit", "InternalEdit", "state:edit", "AfterEdit"}},
      {"cancel of an edit",
       [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Cancel(); },
       {"BeforeCancel", "InternalCancel", "state:browse", "AfterCancel"}},
      {"cancel of an insert scrolls back",
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Cancel(); },
       {"BeforeCancel", "InternalCancel", "state:browse", "AfterCancel", "AfterScroll"}},
      {"delete",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Delete(); },
       {"BeforeDelete", "InternalDelete", "AfterDelete", "AfterScroll"}},
      {"delete while inserting cancels the insert",
       [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Delete(); },
       {"BeforeCancel", "InternalCancel", "state:browse", "AfterCancel", "AfterScroll"}},
      {"delete while editing drops the edit",
       [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Delete(); },
       {"BeforeDelete", "InternalCancel", "state:browse", "InternalDelete", "AfterDelete",
        "AfterScroll"}},
      {"next",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Next(); },
       {"BeforeScroll", "AfterScroll"}},
      {"next at the end does nothing",
       [](DataSetTest&, ListDataSet& ds) { ds.Last(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Next(); },
       {}},
      {"prior at the beginning does nothing",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Prior(); },
       {}},
      {"move by several scrolls once",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.MoveBy(2); },
       {"BeforeScroll", "AfterScroll"}},
      {"move by nothing does nothing",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.MoveBy(0); },
       {}},
      {"move by posts a modified edit first",
       [](DataSetTest& t, ListDataSet& ds) {
         ds.Edit();
         t.Name().SetAsString("x");
       },
       [](DataSetTest&, ListDataSet& ds) { ds.MoveBy(1); },
       {"BeforePost", "InternalPost", "state:browse", "AfterPost", "BeforeScroll", "AfterScroll"}},
      {"close drops a pending edit",
       [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Close(); },
       {"BeforeClose", "InternalCancel", "InternalClose", "active", "AfterClose"}},
      {"refresh",
       none,
       [](DataSetTest&, ListDataSet& ds) { ds.Refresh(); },
       {"BeforeRefresh", "AfterRefresh"}},
      {"refresh posts a modified edit first",
       [](DataSetTest& t, ListDataSet& ds) {
         ds.Edit();
         t.Name().SetAsString("x");
       },
       [](DataSetTest&, ListDataSet& ds) { ds.Refresh(); },
       {"BeforeRefresh", "BeforePost", "InternalPost", "state:browse", "AfterPost",
        "AfterRefresh"}},
      {"reopen",
       [](DataSetTest&, ListDataSet& ds) { ds.Close(); },
       [](DataSetTest&, ListDataSet& ds) { ds.Open(); },
       {"BeforeOpen", "InternalOpen", "active", "AfterOpen", "AfterScroll"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    ds_.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"})};
    ds_.Open();
    c.prepare(*this, ds_);
    ds_.log_.clear();
    c.act(*this, ds_);
    EXPECT_EQ(ds_.log_, c.expected);
    ds_.Close();
  }
}

TEST_F(DataSetTest, RequiredFieldsAreCheckedAfterBeforePost) {
  ds_.CreateFields();
  Name().SetRequired(true);
  ds_.Open();
  ds_.Append();
  ds_.log_.clear();
  try {
    ds_.Post();
    FAIL() << "posted a record without its required field";
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "List : Field NAME is required, but not supplied.");
  }
  EXPECT_EQ(ds_.log_, Log{"BeforePost"});
  EXPECT_EQ(ds_.State(), db::DataSetState::kInsert);
  EXPECT_EQ(ds_.RecordCount(), 3);

  // A BeforePost handler may still supply the value.
  ds_.BeforePost = [this](db::DataSet&) { Name().SetAsString("filled"); };
  ds_.Post();
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "filled"}));
}

TEST_F(DataSetTest, ABeforeHandlerThatThrowsStopsTheOperation) {
  ds_.Open();
  ds_.BeforeDelete = [](db::DataSet&) { throw db::DatabaseError("no"); };
  EXPECT_THROW(ds_.Delete(), db::DatabaseError);
  EXPECT_EQ(ds_.RecordCount(), 3);
  ds_.BeforeInsert = [](db::DataSet&) { throw db::DatabaseError("no"); };
  EXPECT_THROW(ds_.Append(), db::DatabaseError);
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
}

TEST_F(DataSetTest, OperationsOutsideTheirStatesRaiseWithTheDatasetsName) {
  struct ErrorCase {
    const char* name;
    bool open;
    std::function<void(DataSetTest&, ListDataSet&)> act;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"append on a closed dataset", false, [](DataSetTest&, ListDataSet& ds) { ds.Append(); },
       "List : Operation cannot be performed on an inactive dataset"},
      {"edit on a closed dataset", false, [](DataSetTest&, ListDataSet& ds) { ds.Edit(); },
       "List : Operation cannot be performed on an inactive dataset"},
      {"first on a closed dataset", false, [](DataSetTest&, ListDataSet& ds) { ds.First(); },
       "List : Operation cannot be performed on an inactive dataset"},
      {"delete on an empty dataset", true,
       [](DataSetTest&, ListDataSet& ds) {
         ds.Delete();
         ds.Delete();
         ds.Delete();
         ds.Delete();
       },
       "List : Operation cannot be performed on an empty dataset"},
      {"field write while browsing", true,
       [](DataSetTest& t, ListDataSet&) { t.Name().SetAsString("x"); },
       "List : Operation not allowed, dataset \"List\" is not in an edit or insert state."},
      {"field write on a read-only field", true,
       [](DataSetTest& t, ListDataSet& ds) {
         t.Name().SetReadOnly(true);
         ds.Edit();
         t.Name().SetAsString("x");
       },
       "List : Field NAME is read-only"},
      {"unknown field", true, [](DataSetTest&, ListDataSet& ds) { ds.FieldByName("AGE"); },
       "List : Field not found : \"AGE\""},
      {"fields made while active", true, [](DataSetTest&, ListDataSet& ds) { ds.CreateFields(); },
       "List : Operation cannot be performed on an active dataset"},
      {"bookmark of no record", true,
       [](DataSetTest&, ListDataSet& ds) { ds.GotoBookmark(db::Bookmark{}); },
       "List : Invalid bookmark"},
  };
  ds_.CreateFields();
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    ds_.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"})};
    Name().SetReadOnly(false);
    if (c.open) ds_.Open();
    try {
      c.act(*this, ds_);
      ADD_FAILURE() << "no error";
    } catch (const db::DatabaseError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    ds_.Close();
  }
}

TEST_F(DataSetTest, PostAndCancelOutsideEditingDoNothing) {
  ds_.Open();
  ds_.log_.clear();
  ds_.Post();
  ds_.Cancel();
  EXPECT_TRUE(ds_.log_.empty());
}

TEST_F(DataSetTest, EditOnAnEmptyDatasetAppends) {
  ds_.rows.clear();
  ds_.Open();
  ds_.Edit();
  EXPECT_EQ(ds_.State(), db::DataSetState::kInsert);
}

TEST_F(DataSetTest, NavigationPostsAModifiedRecordAndCancelsAnUnmodifiedOne) {
  ds_.Open();
  ds_.Edit();
  Name().SetAsString("A");
  ds_.Next();
  ds_.Edit();
  ds_.Next();
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_EQ(Name().AsString(), "c");
  // A failed post keeps the record being edited.
  ds_.Edit();
  Name().SetAsString("C");
  ds_.BeforePost = [](db::DataSet&) { throw db::DatabaseError("refused"); };
  EXPECT_THROW(ds_.First(), db::DatabaseError);
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  EXPECT_EQ(Name().AsString(), "C");
}

TEST_F(DataSetTest, InsertGoesBeforeTheCurrentRecordAndAppendAtTheEnd) {
  ds_.Open();
  ds_.Next();
  ds_.Insert();
  Name().SetAsString("ab");
  ds_.Post();
  EXPECT_EQ(Name().AsString(), "ab");
  ds_.Append();
  Name().SetAsString("z");
  ds_.Post();
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "ab", "b", "c", "z"}));
}

TEST_F(DataSetTest, FirstNextLastPriorSetBofAndEof) {
  ds_.Open();
  EXPECT_TRUE(ds_.Bof());
  EXPECT_FALSE(ds_.Eof());
  std::vector<std::string> seen;
  for (; !ds_.Eof(); ds_.Next()) seen.push_back(Name().AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Name().AsString(), "c");  // the last record stays current at the end
  ds_.Last();
  EXPECT_TRUE(ds_.Eof());
  ds_.Prior();
  EXPECT_EQ(Name().AsString(), "b");
  EXPECT_FALSE(ds_.Eof());
  EXPECT_EQ(ds_.RecNo(), 2);

  ds_.Close();
  ds_.rows.clear();
  ds_.Open();
  EXPECT_TRUE(ds_.Bof() && ds_.Eof() && ds_.IsEmpty());
  EXPECT_TRUE(Name().IsNull());
}

TEST_F(DataSetTest, FilteredNavigationSkipsRejectedRecords) {
  ds_.OnFilterRecord = [this](db::DataSet&, bool& accept) {
    // The record being offered is the active one while the filter decides.
    accept = Name().AsString() != "b";
  };
  ds_.Open();
  ds_.Next();
  EXPECT_EQ(Name().AsString(), "b");
  ds_.SetFiltered(true);  // the rejected current record gives way to its neighbour
  EXPECT_EQ(Name().AsString(), "c");
  ds_.First();
  ds_.Next();
  EXPECT_EQ(Name().AsString(), "c");
  ds_.Next();
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(Name().AsString(), "c");
}

TEST_F(DataSetTest, OpeningIsAllOrNothing) {
  struct OpenFailure {
    const char* name;
    std::function<void(ListDataSet&)> arrange;
  };
  const OpenFailure cases[] = {
      {"internal open fails", [](ListDataSet& ds) { ds.fail_open = true; }},
      {"after-open handler fails",
       [](ListDataSet& ds) { ds.AfterOpen = [](db::DataSet&) { throw db::DatabaseError("x"); }; }},
      {"after-scroll handler fails",
       [](ListDataSet& ds) {
         ds.AfterScroll = [](db::DataSet&) { throw db::DatabaseError("x"); };
       }},
  };
  for (const OpenFailure& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("NAME", db::FieldType::ftString, 10);
    ds.rows = {TextRow({"a"})};
    c.arrange(ds);
    EXPECT_THROW(ds.Open(), db::DatabaseError);
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.FieldCount(), 0);  // the fields made for this open are gone again
    EXPECT_FALSE(ds.HasCurrentRecord());
    EXPECT_EQ(ds.RecordCount(), 0);
  }
}

TEST_F(DataSetTest, FieldsWithoutADefinitionFailTheOpenAndStay) {
  ds_.CreateFields();
  ds_.FieldDefs().Clear();
  ds_.FieldDefs().Add("OTHER", db::FieldType::ftString, 5);
  try {
    ds_.Open();
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "List : Field not found : \"NAME\"");
  }
  EXPECT_FALSE(ds_.Active());
  EXPECT_EQ(ds_.FieldCount(), 1);
}

TEST_F(DataSetTest, DefaultFieldsGoAtCloseAndMadeFieldsStay) {
  ds_.Open();
  EXPECT_EQ(ds_.FieldCount(), 1);
  ds_.Close();
  EXPECT_EQ(ds_.FieldCount(), 0);
  ds_.CreateFields();
  ds_.Open();
  ds_.Close();
  EXPECT_EQ(ds_.FieldCount(), 1);
  EXPECT_EQ(ds_.FindField("name"), &ds_.Fields(0));
}

class CountingObserver : public db::DataSetObserver {
 public:
  void OnDataEvent(db::DataSet&, db::DataEvent event) override { events.push_back(event); }
  std::vector<db::DataEvent> events;
};

TEST_F(DataSetTest, ControlsNestAndObserversHearOnceEnabledAgain) {
  CountingObserver observer;
  ds_.AddObserver(&observer);
  ds_.Open();
  observer.events.clear();
  ds_.DisableControls();
  ds_.DisableControls();
  ds_.Next();
  ds_.Edit();
  Name().SetAsString("x");
  ds_.Post();
  ds_.EnableControls();
  EXPECT_TRUE(ds_.ControlsDisabled());
  EXPECT_TRUE(observer.events.empty());
  ds_.EnableControls();
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_EQ(observer.events, std::vector<db::DataEvent>{db::DataEvent::kDataSetChanged});
  ds_.EnableControls();  // one too many: ignored
  EXPECT_EQ(observer.events.size(), 1u);
  ds_.RemoveObserver(&observer);
}

// A dataset with scroll hooks of its own, as one that moves its details has.
class HookedDataSet : public ListDataSet {
 protected:
  void DoBeforeScroll() override {
    log_.push_back("DoBeforeScroll");
    ListDataSet::DoBeforeScroll();
  }
  void DoAfterScroll() override {
    log_.push_back("DoAfterScroll");
    ListDataSet::DoAfterScroll();
  }
};

TEST(QuietCursorTest, AQuietCursorMovesWithoutHooksOrScrollEventsUntilTheLastScopeEnds) {
  HookedDataSet ds;
  ds.FieldDefs().Add("NAME", db::FieldType::ftString, 10);
  ds.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"})};
  ds.LogEvents();
  CountingObserver observer;
  ds.AddObserver(&observer);
  ds.Open();
  const db::Bookmark at_c = [&] {
    ds.Last();
    return ds.GetBookmark();
  }();
  struct Move {
    const char* name;
    std::function<void(ListDataSet&)> act;
    const char* lands_on;
  };
  const Move moves[] = {
      {"first", [](ListDataSet& d) { d.First(); }, "a"},
      {"next", [](ListDataSet& d) { d.Next(); }, "b"},
      {"last", [](ListDataSet& d) { d.Last(); }, "c"},
      {"prior", [](ListDataSet& d) { d.Prior(); }, "b"},
      {"move by", [](ListDataSet& d) { d.MoveBy(2); }, "c"},
      {"bookmark", [&](ListDataSet& d) { d.GotoBookmark(at_c); }, "c"},
  };
  const Log hooks = {"DoBeforeScroll", "BeforeScroll", "DoAfterScroll", "AfterScroll"};
  ds.First();
  for (const Move& move : moves) {
    SCOPED_TRACE(move.name);
    {
      db::QuietCursor outer(ds);
      {
        db::QuietCursor inner(ds);
        EXPECT_TRUE(ds.CursorQuiet());
      }
      EXPECT_TRUE(ds.CursorQuiet()) << "quieting nests";
      ds.log_.clear();
      observer.events.clear();
      move.act(ds);
      EXPECT_EQ(ds.FieldByName("NAME").AsString(), move.lands_on);
      EXPECT_EQ(ds.log_, Log{});
      EXPECT_TRUE(observer.events.empty());
    }
    EXPECT_FALSE(ds.CursorQuiet());
    // Heard again once the scope is left: the next move runs everything.
    ds.log_.clear();
    observer.events.clear();
    move.act(ds);
    Log heard;
    for (const std::string& step : ds.log_) {
      if (step.find("Scroll") != std::string::npos) heard.push_back(step);
    }
    EXPECT_EQ(heard, hooks);
    EXPECT_EQ(observer.events, std::vector<db::DataEvent>{db::DataEvent::kScrolled});
  }
  ds.RemoveObserver(&observer);
}

TEST_F(DataSetTest, FieldChangeEventFollowsEachWrite) {
  ds_.Open();
  int changes = 0;
  Name().OnChange = [&changes](db::Field&) { ++changes; };
  ds_.Edit();
  Name().SetAsString("x");
  Name().Clear();
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(ds_.Modified());
}

TEST_F(DataSetTest, MoveByAnswersTheDistanceMoved) {
  ds_.Open();
  EXPECT_EQ(ds_.MoveBy(5), 2);
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(Name().AsString(), "c");
  EXPECT_EQ(ds_.MoveBy(1), 0);
  EXPECT_EQ(ds_.MoveBy(-1), -1);
  EXPECT_FALSE(ds_.Eof());
  EXPECT_EQ(ds_.MoveBy(-5), -1);
  EXPECT_TRUE(ds_.Bof());
  EXPECT_EQ(Name().AsString(), "a");
}

TEST_F(DataSetTest, TheFilterTextAndOptionsRefreshOnlyAFilteredOpenDataset) {
  struct Counter : db::DataSetObserver {
    void OnDataEvent(db::DataSet&, db::DataEvent event) override {
      changed += event == db::DataEvent::kDataSetChanged;
    }
    int changed = 0;
  } counter;
  ds_.AddObserver(&counter);
  ds_.SetFilterText("x");  // closed: stored only
  ds_.Open();
  ds_.SetFilterText("y");
  ds_.SetFilterOptions(db::foCaseInsensitive);
  EXPECT_EQ(counter.changed, 0);
  ds_.SetFiltered(true);
  ds_.SetFilterText("z");
  ds_.SetFilterText("z");  // unchanged: nothing
  ds_.SetFilterOptions(db::foCaseInsensitive | db::foNoPartialCompare);
  EXPECT_EQ(counter.changed, 3);
  EXPECT_EQ(ds_.Filter(), "z");
  EXPECT_EQ(ds_.FilterOptions(), db::foCaseInsensitive | db::foNoPartialCompare);
  // The framework's own Locate and SetRecNo find and move nothing.
  EXPECT_FALSE(ds_.Locate("NAME", rtl::Variant::Text("a")));
  ds_.Last();
  ds_.SetRecNo(1);
  EXPECT_EQ(Name().AsString(), "c");
  ds_.RemoveObserver(&counter);
}

TEST_F(DataSetTest, FieldWritesInTheFilterStateReachTheDatasetWhole) {
  // A concrete dataset fills its own search record there: no state or
  // read-only check, no change event, and texts are not cut to the field size.
  int changes = 0;
  ds_.OnFilterRecord = [this](db::DataSet&, bool&) {
    Name().SetAsString("a text longer than ten");
  };
  ds_.CreateFields();
  Name().SetReadOnly(true);
  Name().OnChange = [&changes](db::Field&) { ++changes; };
  ds_.Open();
  ds_.SetFiltered(true);
  EXPECT_EQ(ds_.WriteBuffer()[0].s, "a text longer than ten");
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(ds_.Modified());
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
}

TEST_F(DataSetTest, ABookmarkTheFilterHidesLeavesTheCurrentRecord) {
  ds_.Open();
  ds_.Next();
  db::Bookmark b = ds_.GetBookmark();
  ds_.OnFilterRecord = [this](db::DataSet&, bool& accept) { accept = Name().AsString() != "b"; };
  ds_.SetFiltered(true);
  ds_.Last();
  try {
    ds_.GotoBookmark(b);
    FAIL() << "went to a hidden record";
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "List : Could not find the requested record.");
  }
  EXPECT_EQ(Name().AsString(), "c");
}

// A filter test that throws breaks a move off: the record shown before it stays
// current, with its ends, even though this dataset's own cursor was left on the
// record under test (a multi-record move had also gone past records already).
TEST_F(DataSetTest, AMoveAFilterTestBreaksOffLeavesTheShownRecordCurrent) {
  struct Case {
    const char* name;
    const char* start;
    const char* refused;  // the record whose filter test throws
    std::function<void(ListDataSet&)> move;
  };
  const Case cases[] = {
      {"MoveBy past a record", "a", "c", [](ListDataSet& ds) { ds.MoveBy(3); }},
      {"Prior", "c", "b", [](ListDataSet& ds) { ds.Prior(); }},
      {"First", "b", "a", [](ListDataSet& ds) { ds.First(); }},
      {"Last", "a", "d", [](ListDataSet& ds) { ds.Last(); }},
      {"GotoBookmark", "a", "c",
       [](ListDataSet& ds) {
         ds.GotoBookmark(db::Bookmark{2, 0});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("NAME", db::FieldType::ftString, 10);
    ds.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"}), TextRow({"d"})};
    std::string refused;
    ds.OnFilterRecord = [&refused](db::DataSet& d, bool&) {
      if (d.FieldByName("NAME").AsString() == refused) throw db::DatabaseError("refused");
    };
    ds.Open();
    ds.SetFiltered(true);
    for (ds.First(); ds.FieldByName("NAME").AsString() != c.start; ds.Next()) {
    }
    const bool bof = ds.Bof();
    refused = c.refused;
    EXPECT_THROW(c.move(ds), db::DatabaseError);
    refused.clear();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), c.start);
    EXPECT_EQ(ds.Bof(), bof);
    EXPECT_FALSE(ds.Eof());
    ds.Next();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), std::string(1, static_cast<char>(c.start[0] + 1)));
  }
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecord) {
  ds_.Open();
  ds_.Next();
  db::Bookmark mark = ds_.GetBookmark();
  ds_.Last();
  ds_.GotoBookmark(mark);
  EXPECT_EQ(Name().AsString(), "b");
  EXPECT_EQ(ds_.CompareBookmarks(mark, ds_.GetBookmark()), 0);
}

}  // namespace

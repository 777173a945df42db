// The buffered dataset's change log: what posts and deletes log, the update
// status and old values, cancelling every change (values, and the order of
// every index), applying through the hook with the error handler's responses,
// and closing.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "rtl/Separators.h"

namespace {

using db::FieldType;
using db::ResolverResponse;
using db::UpdateKind;
using db::UpdateStatus;
using Rows = std::vector<std::string>;

// The apply hook made replaceable, and the bulk load opened up.
class ChangeDataset : public TVoBufDataset {
 public:
  using TVoBufDataset::BeginBulkLoad;
  using TVoBufDataset::EndBulkLoad;
  // Empty: the dataset's own hook, which has no destination.
  std::function<void(UpdateKind)> hook;

 protected:
  void ApplyRecUpdate(UpdateKind kind) override {
    if (hook) {
      hook(kind);
    } else {
      TVoBufDataset::ApplyRecUpdate(kind);
    }
  }
};

const Rows kDefaultOrder = {"c/3", "a/1", "b/2", "d/4"};
const Rows kByName = {"a/1", "b/2", "c/3", "d/4"};
const Rows kByQtyDesc = {"d/4", "c/3", "b/2", "a/1"};
const std::string kApplyNotSupported =
    "Applying updates is not supported by this TDataset descendent";
const std::string kWrapped = "An error occured while applying the updates in a record: ";

// DEFAULT_ORDER c/3, a/1, b/2, d/4, indexes ByName and ByQtyDesc, and an empty
// log: the loading inserts are applied.
class ChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Orders");
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
    ds_.SetMaxIndexesCount(4);
    ds_.CreateDataset();
    ds_.Open();
    ds_.AddIndex("ByName", "NAME");
    ds_.AddIndex("ByQtyDesc", "QTY", 0, "QTY");
    Reload();
  }

  // The fixture's rows afresh, every index sorted, the log empty.
  void Reload() {
    ds_.Close();
    ds_.Open();
    Add("c", 3);
    Add("a", 1);
    Add("b", 2);
    Add("d", 4);
    ds_.RebuildIndexes();
    Commit();
  }

  // Applies the log through a hook that succeeds.
  void Commit() {
    ds_.hook = [](UpdateKind) {};
    ds_.ApplyUpdates();
    ds_.hook = nullptr;
    ASSERT_EQ(ds_.GetChangeCount(), 0);
  }

  void Set(const std::string& name, int qty) {
    ds_.FieldByName("NAME").SetAsString(name);
    ds_.FieldByName("QTY").SetAsInteger(qty);
  }
  void Add(const std::string& name, int qty) {
    ds_.Append();
    Set(name, qty);
    ds_.Post();
  }
  void InsertBefore(const std::string& before, const std::string& name, int qty) {
    GoTo(before);
    ds_.Insert();
    Set(name, qty);
    ds_.Post();
  }
  void Change(const std::string& name, const std::string& new_name, int qty) {
    GoTo(name);
    ds_.Edit();
    Set(new_name, qty);
    ds_.Post();
  }
  void Remove(const std::string& name) {
    GoTo(name);
    ds_.Delete();
  }

  std::string Name() { return ds_.FieldByName("NAME").AsString(); }
  std::string Row() { return Name() + "/" + ds_.FieldByName("QTY").AsString(); }
  void GoTo(const std::string& name) {
    for (ds_.First(); !ds_.Eof(); ds_.Next()) {
      if (Name() == name) return;
    }
    FAIL() << "no record " << name;
  }
  // The current index's rows, read forward; read backward too, so that a
  // broken back link shows as well.
  Rows CurrentRows() {
    Rows forward;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) forward.push_back(Row());
    Rows backward;
    for (ds_.Last(); !ds_.Bof(); ds_.Prior()) backward.insert(backward.begin(), Row());
    EXPECT_EQ(forward, backward) << "index " << ds_.IndexName();
    return forward;
  }
  Rows RowsOf(const std::string& index) {
    std::string previous = ds_.IndexName();
    ds_.SetIndexName(index);
    Rows rows = CurrentRows();
    ds_.SetIndexName(previous);
    return rows;
  }
  // Each entry as its kind's letter, with "+" when it keeps an old image.
  Rows Log() {
    Rows log;
    for (const TRecUpdateBuffer& entry : ds_.ChangeLog()) {
      std::string text = entry.UpdateKind == UpdateKind::ukModify   ? "M"
                         : entry.UpdateKind == UpdateKind::ukInsert ? "I"
                                                                    : "D";
      if (entry.OldImage != db::kNoRecord) text += "+";
      log.push_back(text);
    }
    return log;
  }
  rtl::Variant OldName() { return ds_.FieldByName("NAME").OldValue(); }
  // Old values of the text and whole-number fields as text.
  static std::string Text(const rtl::Variant& value) {
    if (value.IsNull()) return "(null)";
    return value.IsText() ? value.s : std::to_string(value.i);
  }

  rtl::ScopedSeparators separators_{'.', ','};
  ChangeDataset ds_;
};

// --- What is logged ----------------------------------------------------------

TEST_F(ChangesTest, PostsAndDeletesLogOneEntryPerRecord) {
  const struct {
    const char* name;
    std::function<void()> act;
    Rows log;
    int record_count;
  } cases[] = {
      {"an edit", [&] { Change("b", "B", 20); }, {"M+"}, 4},
      {"two edits of one record",
       [&] {
         Change("b", "B", 20);
         Change("B", "BB", 30);
       },
       {"M+"},
       4},
      {"an append", [&] { Add("x", 9); }, {"I"}, 5},
      {"an insert, then an edit of it",
       [&] {
         InsertBefore("a", "x", 9);
         Change("x", "y", 8);
       },
       {"I"},
       5},
      {"an insert, then its delete",
       [&] {
         Add("x", 9);
         Remove("x");
       },
       {"D"},
       4},
      {"an edit, then its delete",
       [&] {
         Change("b", "B", 20);
         Remove("B");
       },
       {"D+"},
       3},
      {"a delete", [&] { Remove("b"); }, {"D+"}, 3},
      {"two deletes",
       [&] {
         Remove("a");
         Remove("b");
       },
       {"D+", "D+"},
       2},
      {"an edit cancelled before posting",
       [&] {
         GoTo("b");
         ds_.Edit();
         Set("B", 20);
         ds_.Cancel();
       },
       {},
       4},
      {"one of each",
       [&] {
         Change("a", "A", 10);
         Add("x", 9);
         Remove("c");
       },
       {"M+", "I", "D+"},
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(ds_.GetChangeCount(), static_cast<int>(c.log.size()));
    EXPECT_EQ(ds_.RecordCount(), c.record_count);
    ds_.CancelUpdates();
    EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
  }
}

// A deletion names the record that followed the deleted one in the current
// index, or nothing when it was the last.
TEST_F(ChangesTest, ADeletionNamesTheRecordThatFollowedIt) {
  ds_.SetIndexName("ByQtyDesc");  // d, c, b, a
  GoTo("a");
  const db::Bookmark a = ds_.GetBookmark();
  Remove("b");
  Remove("a");
  ASSERT_EQ(ds_.GetChangeCount(), 2);
  EXPECT_EQ(ds_.NextBookmark(ds_.ChangeLog()[0]), a);
  EXPECT_FALSE(ds_.NextBookmark(ds_.ChangeLog()[1]).IsSet());
}

TEST_F(ChangesTest, ADeletedRecordLeavesTheCountAndItsBookmarkUntilCancelled) {
  GoTo("b");
  db::Bookmark b = ds_.GetBookmark();
  Remove("b");
  EXPECT_EQ(ds_.RecordCount(), 3);
  EXPECT_FALSE(ds_.BookmarkValid(b));
  EXPECT_THROW(ds_.GotoBookmark(b), db::DatabaseError);
  ds_.CancelUpdates();
  EXPECT_EQ(ds_.RecordCount(), 4);
  ASSERT_TRUE(ds_.BookmarkValid(b));
  ds_.GotoBookmark(b);
  EXPECT_EQ(Row(), "b/2");
}

TEST_F(ChangesTest, RecordsOfABulkLoadAreLoggedAsInserts) {
  ds_.SetIndexName("ByName");
  ds_.BeginBulkLoad();
  Add("x", 9);
  Add("e", 5);
  ds_.EndBulkLoad();
  EXPECT_EQ(Log(), (Rows{"I", "I"}));
  EXPECT_EQ(RowsOf("ByName"), (Rows{"a/1", "b/2", "c/3", "d/4", "e/5", "x/9"}));
  ds_.CancelUpdates();
  EXPECT_EQ(RowsOf("ByName"), kByName);
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
  EXPECT_EQ(RowsOf("ByQtyDesc"), kByQtyDesc);
}

// --- Status and old values ---------------------------------------------------

TEST_F(ChangesTest, UpdateStatusAndOldValueFollowTheRecordsEntry) {
  const struct {
    const char* name;
    std::function<void()> act;  // leaves the record under test active
    UpdateStatus status;
    std::string old_name;
    std::string old_qty;
  } cases[] = {
      {"unchanged", [&] { GoTo("b"); }, UpdateStatus::usUnmodified, "(null)", "(null)"},
      {"edited",
       [&] {
         Change("b", "B", 20);
         GoTo("B");
       },
       UpdateStatus::usModified, "b", "2"},
      {"edited twice",
       [&] {
         Change("b", "B", 20);
         Change("B", "BB", 30);
         GoTo("BB");
       },
       UpdateStatus::usModified, "b", "2"},
      {"inserted",
       [&] {
         Add("x", 9);
         GoTo("x");
       },
       UpdateStatus::usInserted, "(null)", "(null)"},
      {"inserted, then edited",
       [&] {
         Add("x", 9);
         Change("x", "y", 8);
         GoTo("y");
       },
       UpdateStatus::usInserted, "(null)", "(null)"},
      // Before its first post the record has no entry, so no old values.
      {"in its first edit",
       [&] {
         GoTo("b");
         ds_.Edit();
         Set("B", 20);
       },
       UpdateStatus::usUnmodified, "(null)", "(null)"},
      {"in a second edit",
       [&] {
         Change("b", "B", 20);
         GoTo("B");
         ds_.Edit();
         Set("BB", 30);
       },
       UpdateStatus::usModified, "b", "2"},
      {"being inserted next to an edited record",
       [&] {
         Change("b", "B", 20);
         GoTo("B");
         ds_.Insert();
         Set("x", 9);
       },
       UpdateStatus::usUnmodified, "(null)", "(null)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    db::DataSetState state = ds_.State();
    EXPECT_EQ(ds_.UpdateStatus(), c.status);
    EXPECT_EQ(Text(OldName()), c.old_name);
    EXPECT_EQ(Text(ds_.FieldByName("QTY").OldValue()), c.old_qty);
    EXPECT_EQ(ds_.State(), state);  // the old-value state was temporary
    ds_.Cancel();
    ds_.CancelUpdates();
  }
}

TEST_F(ChangesTest, OldValuesAndStatusGoOnceTheLogIsApplied) {
  Change("b", "B", 20);
  Commit();
  GoTo("B");
  EXPECT_EQ(ds_.UpdateStatus(), UpdateStatus::usUnmodified);
  EXPECT_TRUE(OldName().IsNull());
  // The next edit logs the record afresh, from its applied values.
  Change("B", "C", 30);
  GoTo("C");
  EXPECT_EQ(Text(OldName()), "B");
}

// --- Finding entries ---------------------------------------------------------

TEST_F(ChangesTest, FindChangeEntryFindsTheRecordsEntryOrDeletionsItFollowed) {
  // Default order c, a, b, d: deleting a and then c leaves b following both.
  GoTo("b");
  const db::Bookmark b = ds_.GetBookmark();
  Change("d", "D", 40);
  Remove("a");
  Remove("c");
  ASSERT_EQ(Log(), (Rows{"M+", "D+", "D+"}));

  EXPECT_FALSE(ds_.FindChangeEntry(b, false, false));
  ASSERT_TRUE(ds_.FindChangeEntry(b, true, false));
  EXPECT_EQ(ds_.CurrentChangeIndex(), 1);
  ASSERT_TRUE(ds_.FindChangeEntry(b, true, true));
  EXPECT_EQ(ds_.CurrentChangeIndex(), 2);
  EXPECT_FALSE(ds_.FindChangeEntry(b, true, true));
  EXPECT_EQ(ds_.CurrentChangeIndex(), 2);
  // The cached search accepts the entry found last without searching.
  EXPECT_TRUE(ds_.FindChangeEntryCached(b, true));
  EXPECT_EQ(ds_.CurrentChangeIndex(), 2);

  GoTo("D");
  EXPECT_TRUE(ds_.ActiveChangeEntry());
  EXPECT_EQ(ds_.CurrentChangeIndex(), 0);
  // D followed c in ByName only: c's deletion names b, the record that followed
  // it in the order it was deleted in.
  const db::Bookmark d = ds_.GetBookmark();
  ASSERT_TRUE(ds_.FindChangeEntry(d, true, false));
  EXPECT_EQ(ds_.CurrentChangeIndex(), 0);
  EXPECT_FALSE(ds_.FindChangeEntry(d, true, true));
  GoTo("b");
  EXPECT_FALSE(ds_.ActiveChangeEntry());  // a follower only, not a changed record
}

// --- Cancelling --------------------------------------------------------------

TEST_F(ChangesTest, CancelRestoresValuesAndTheOrderOfEveryIndex) {
  const struct {
    const char* name;
    std::function<void()> act;
  } cases[] = {
      {"edits of the keys",
       [&] {
         Change("a", "z", 9);
         Change("b", "y", 0);
       }},
      {"two neighbours deleted",
       [&] {
         Remove("a");
         Remove("b");
       }},
      {"the first and the last deleted",
       [&] {
         Remove("c");
         Remove("d");
       }},
      {"every record deleted",
       [&] {
         for (const char* name : {"b", "d", "c", "a"}) Remove(name);
       }},
      {"inserts",
       [&] {
         Add("x", 9);
         InsertBefore("a", "y", 0);
       }},
      {"an insert, then the record it went before",
       [&] {
         InsertBefore("a", "y", 0);
         Remove("a");
       }},
      {"a record whose follower was inserted and deleted after it",
       [&] {
         InsertBefore("b", "y", 0);
         Remove("a");
         Remove("y");
       }},
      {"an edit, then the record deleted",
       [&] {
         Change("b", "B", 20);
         Remove("B");
       }},
      // The deletion's entry comes before the insert's in the log: the deleted
      // record must be back before the one that followed it goes.
      {"an edited record deleted after an insert that went after it",
       [&] {
         Change("a", "A", 10);
         InsertBefore("b", "x", 9);
         InsertBefore("x", "y", 8);
         Remove("A");
       }},
      // The edit's entry comes before b's deletion, though a was deleted
      // after b: a must come back after b goes back, not before.
      {"an edited record deleted after its deleted neighbour",
       [&] {
         Change("a", "A", 1);
         Remove("b");
         Remove("A");
       }},
      // a's deletion names y, an inserted record deleted later, whose own
      // follower x is an insert that goes before a comes back.
      {"a deletion followed by an inserted and deleted record, then an insert",
       [&] {
         InsertBefore("b", "y", 8);  // c a y b d
         Remove("a");                // c y b d
         InsertBefore("b", "x", 9);  // c y x b d
         Remove("y");                // c x b d
       }},
      {"a deleted record added again",
       [&] {
         Remove("a");
         Add("a", 1);
       }},
      {"one of each",
       [&] {
         Change("a", "A", 10);
         Add("x", 9);
         Remove("c");
         Remove("x");
         Remove("d");
       }},
  };
  for (const char* current : {"DEFAULT_ORDER", "ByName", "ByQtyDesc"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(current) + ": " + c.name);
      ds_.SetIndexName(current);
      c.act();
      ds_.CancelUpdates();
      EXPECT_EQ(ds_.GetChangeCount(), 0);
      EXPECT_EQ(ds_.RecordCount(), 4);
      EXPECT_EQ(ds_.IndexName(), current);
      EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
      EXPECT_EQ(RowsOf("ByName"), kByName);
      EXPECT_EQ(RowsOf("ByQtyDesc"), kByQtyDesc);
    }
  }
}

// Records deleted under different indexes go back where they were in each.
TEST_F(ChangesTest, CancelRestoresRecordsDeletedUnderOtherIndexes) {
  ds_.SetIndexName("ByName");
  Remove("b");
  ds_.SetIndexName("DEFAULT_ORDER");
  Remove("c");
  ds_.SetIndexName("ByQtyDesc");
  Remove("a");
  ds_.CancelUpdates();
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
  EXPECT_EQ(RowsOf("ByName"), kByName);
  EXPECT_EQ(RowsOf("ByQtyDesc"), kByQtyDesc);
}

// A record deleted while the field-list index was not in use goes back, once
// that index is current, where its keys place it, not at the end.
TEST_F(ChangesTest, CancelPlacesARecordByKeysInAFieldListIndexMadeCurrentSince) {
  Remove("a");  // DEFAULT_ORDER c, b, d: b followed a
  ds_.SetIndexFieldNames("QTY");
  ASSERT_EQ(CurrentRows(), (Rows{"b/2", "c/3", "d/4"}));
  ds_.CancelUpdates();
  EXPECT_EQ(ds_.RecordCount(), 4);
  EXPECT_EQ(CurrentRows(), (Rows{"a/1", "b/2", "c/3", "d/4"}));
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
}

TEST_F(ChangesTest, CancelKeepsTheCurrentRecordOrMovesOffAnInsertedOne) {
  const struct {
    const char* name;
    std::function<void()> act;  // leaves the record to check current
    std::string current_after;
  } cases[] = {
      {"an unchanged record",
       [&] {
         Remove("a");
         Change("d", "D", 40);
         GoTo("b");
       },
       "b/2"},
      {"an edited record",
       [&] {
         Change("b", "B", 20);
         GoTo("B");
       },
       "b/2"},
      {"an inserted record: the next",
       [&] {
         InsertBefore("b", "x", 9);
         GoTo("x");
       },
       "b/2"},
      {"an inserted record at the end: the prior",
       [&] {
         Add("x", 9);
         GoTo("x");
       },
       "d/4"},
      {"inserted records in a row: past all of them",
       [&] {
         InsertBefore("b", "x", 9);
         InsertBefore("b", "y", 8);
         GoTo("y");
       },
       "b/2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    ds_.CancelUpdates();
    EXPECT_EQ(Row(), c.current_after);
  }
}

TEST_F(ChangesTest, AnInsertedThenDeletedRecordLeavesNothingToCancelOrApply) {
  Add("x", 9);
  Remove("x");
  ASSERT_EQ(Log(), (Rows{"D"}));
  ds_.CancelUpdates();
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
  EXPECT_EQ(ds_.RecordCount(), 4);

  Add("x", 9);
  Remove("x");
  int calls = 0;
  ds_.hook = [&](UpdateKind) { ++calls; };
  ds_.ApplyUpdates();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ds_.GetChangeCount(), 0);
}

// Cancelling and applying first end a pending edit: a modified one is posted
// (and so logged), an unmodified one dropped.
TEST_F(ChangesTest, APendingEditIsPostedBeforeCancelling) {
  GoTo("b");
  ds_.Edit();
  Set("B", 20);
  ds_.CancelUpdates();
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(Row(), "b/2");
  EXPECT_EQ(ds_.GetChangeCount(), 0);

  ds_.Edit();
  Set("B", 20);
  ds_.hook = [](UpdateKind) {};
  ds_.ApplyUpdates();
  EXPECT_EQ(Row(), "B/20");
  EXPECT_EQ(ds_.GetChangeCount(), 0);
}

TEST_F(ChangesTest, CancelAndApplyNeedAnOpenDataset) {
  ds_.Close();
  const std::string inactive = "Orders : Operation cannot be performed on an inactive dataset";
  for (auto act : std::vector<std::function<void()>>{[&] { ds_.CancelUpdates(); },
                                                     [&] { ds_.ApplyUpdates(); }}) {
    try {
      act();
      ADD_FAILURE() << "no error";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(e.what(), inactive);
    }
  }
}

// --- Applying ----------------------------------------------------------------

TEST_F(ChangesTest, TheOwnHookFailsTheFirstEntryAndTheLogStays) {
  Change("b", "B", 20);
  Remove("c");
  GoTo("a");
  try {
    ds_.ApplyUpdates();
    FAIL() << "no error";
  } catch (const db::UpdateError& e) {
    EXPECT_EQ(e.what(), kWrapped + kApplyNotSupported);
    try {
      std::rethrow_exception(e.OriginalException());
    } catch (const db::DatabaseError& original) {
      EXPECT_EQ(original.what(), kApplyNotSupported);
    }
  }
  EXPECT_EQ(Log(), (Rows{"M+", "D+"}));
  EXPECT_EQ(Row(), "a/1");
  EXPECT_FALSE(ds_.ControlsDisabled());
  ds_.CancelUpdates();
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
}

// The own hook fails every entry; the handler answers the same each time.
TEST_F(ChangesTest, TheHandlersResponseDecidesWhatBecomesOfAFailedEntry) {
  const struct {
    ResolverResponse response;
    int max_errors;
    std::vector<ResolverResponse> offered;
    int changes_after;
  } cases[] = {
      {ResolverResponse::rrIgnore,
       0,
       {ResolverResponse::rrAbort, ResolverResponse::rrAbort, ResolverResponse::rrAbort},
       0},
      {ResolverResponse::rrSkip,
       0,
       {ResolverResponse::rrAbort, ResolverResponse::rrAbort, ResolverResponse::rrAbort},
       3},
      {ResolverResponse::rrSkip,
       1,
       {ResolverResponse::rrSkip, ResolverResponse::rrAbort, ResolverResponse::rrAbort},
       3},
      {ResolverResponse::rrSkip,
       -1,
       {ResolverResponse::rrSkip, ResolverResponse::rrSkip, ResolverResponse::rrSkip},
       3},
      {ResolverResponse::rrMerge,
       5,
       {ResolverResponse::rrSkip, ResolverResponse::rrSkip, ResolverResponse::rrSkip},
       3},
      {ResolverResponse::rrAbort, 5, {ResolverResponse::rrSkip}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.response));
    SCOPED_TRACE(c.max_errors);
    Change("b", "B", 20);
    Add("x", 9);
    Remove("c");
    std::vector<ResolverResponse> offered;
    std::vector<UpdateKind> kinds;
    ds_.OnUpdateError = [&](db::DataSet& sender, db::DataSet& dataset, db::UpdateError& error,
                            UpdateKind kind, ResolverResponse& response) {
      EXPECT_EQ(&sender, &ds_);
      EXPECT_EQ(&dataset, &ds_);
      EXPECT_EQ(error.what(), kWrapped + kApplyNotSupported);
      offered.push_back(response);
      kinds.push_back(kind);
      response = c.response;
    };
    EXPECT_NO_THROW(ds_.ApplyUpdates(c.max_errors));
    EXPECT_EQ(offered, c.offered);
    std::vector<UpdateKind> all = {UpdateKind::ukModify, UpdateKind::ukInsert,
                                   UpdateKind::ukDelete};
    EXPECT_EQ(kinds, std::vector<UpdateKind>(all.begin(), all.begin() + kinds.size()));
    EXPECT_EQ(ds_.GetChangeCount(), c.changes_after);
    ds_.OnUpdateError = nullptr;
    if (c.changes_after > 0) {
      ds_.CancelUpdates();
      EXPECT_EQ(RowsOf("DEFAULT_ORDER"), kDefaultOrder);
    } else {
      EXPECT_EQ(RowsOf("DEFAULT_ORDER"), (Rows{"a/1", "B/20", "d/4", "x/9"}));
      Reload();
    }
  }
}

TEST_F(ChangesTest, ARetriedEntryIsAppliedAgainAndItsFailureTakenBack) {
  Change("b", "B", 20);
  Add("x", 9);
  int failures_left = 2;
  Rows applied;
  ds_.hook = [&](UpdateKind) {
    if (Name() == "B" && failures_left > 0) {
      --failures_left;
      throw db::DatabaseError("locked");
    }
    applied.push_back(Row());
  };
  int asked = 0;
  ds_.OnUpdateError = [&](db::DataSet&, db::DataSet&, db::UpdateError& error, UpdateKind,
                          ResolverResponse& response) {
    EXPECT_EQ(error.what(), kWrapped + "locked");
    ++asked;
    response = ResolverResponse::rrApply;
  };
  ds_.ApplyUpdates();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(applied, (Rows{"B/20", "x/9"}));
  EXPECT_EQ(ds_.GetChangeCount(), 0);
}

// Without a handler, failures past MaxErrors (as an unsigned 16-bit number)
// abort with the wrapped error.
TEST_F(ChangesTest, MaxErrorsBoundsTheFailuresBeforeAnAbort) {
  const struct {
    int max_errors;
    bool raises;
    int hook_calls;
  } cases[] = {
      {0, true, 1}, {1, true, 2}, {2, true, 3}, {3, false, 3}, {-1, false, 3}, {65536, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max_errors);
    Change("b", "B", 20);
    Add("x", 9);
    Remove("c");
    int calls = 0;
    ds_.hook = [&](UpdateKind) {
      ++calls;
      throw db::DatabaseError("refused");
    };
    bool raised = false;
    try {
      ds_.ApplyUpdates(c.max_errors);
    } catch (const db::UpdateError& e) {
      raised = true;
      EXPECT_EQ(e.what(), kWrapped + "refused");
    }
    EXPECT_EQ(raised, c.raises);
    EXPECT_EQ(calls, c.hook_calls);
    EXPECT_EQ(Log(), (Rows{"M+", "I", "D+"}));
    ds_.hook = nullptr;
    ds_.CancelUpdates();
  }
}

// The hook sees each change's record as the active record, with its status and
// old values; a deleted record is still readable then.
TEST_F(ChangesTest, TheHookSeesEachRecordWithItsStatusAndOldValues) {
  Change("b", "B", 20);
  Add("x", 9);
  Remove("c");
  Change("a", "A", 10);
  Remove("A");
  GoTo("d");
  Rows seen;
  ds_.hook = [&](UpdateKind kind) {
    static const char* const kStatus[] = {"unmodified", "modified", "inserted", "deleted"};
    seen.push_back(std::to_string(static_cast<int>(kind)) + " " +
                   kStatus[static_cast<int>(ds_.UpdateStatus())] + " " + Row() + " was " +
                   Text(OldName()));
  };
  ds_.ApplyUpdates();
  EXPECT_EQ(seen, (Rows{"0 modified B/20 was b", "1 inserted x/9 was (null)", "2 deleted c/3 was c",
                        "2 deleted A/10 was a"}));
  EXPECT_EQ(ds_.GetChangeCount(), 0);
  EXPECT_EQ(Row(), "d/4");
  EXPECT_EQ(RowsOf("DEFAULT_ORDER"), (Rows{"B/20", "d/4", "x/9"}));
  EXPECT_EQ(ds_.RecordCount(), 3);
}

// Entries applied before a failure are done with; a later run applies only the
// rest.
TEST_F(ChangesTest, AppliedEntriesStayInTheLogUntilARunWithoutFailures) {
  Change("b", "B", 20);
  Add("x", 9);
  Remove("c");
  Rows applied;
  ds_.hook = [&](UpdateKind) {
    if (Name() == "x") throw db::DatabaseError("refused");
    applied.push_back(Name());
  };
  ds_.OnUpdateError = [](db::DataSet&, db::DataSet&, db::UpdateError&, UpdateKind,
                         ResolverResponse& response) { response = ResolverResponse::rrSkip; };
  ds_.ApplyUpdates();
  EXPECT_EQ(applied, (Rows{"B", "c"}));
  EXPECT_EQ(ds_.GetChangeCount(), 3);
  GoTo("B");
  EXPECT_EQ(ds_.UpdateStatus(), UpdateStatus::usUnmodified);
  GoTo("x");
  EXPECT_EQ(ds_.UpdateStatus(), UpdateStatus::usInserted);

  applied.clear();
  ds_.hook = [&](UpdateKind) { applied.push_back(Name()); };
  ds_.ApplyUpdates();
  EXPECT_EQ(applied, (Rows{"x"}));
  EXPECT_EQ(ds_.GetChangeCount(), 0);
}

// An error that is not the dataset layer's passes unchanged; the run still
// ends cleanly, and the change it did not apply stays in the log.
TEST_F(ChangesTest, AnotherKindOfErrorPassesUnchanged) {
  Change("b", "B", 20);
  GoTo("d");
  ds_.hook = [](UpdateKind) { throw std::runtime_error("disk gone"); };
  int asked = 0;
  ds_.OnUpdateError = [&](db::DataSet&, db::DataSet&, db::UpdateError&, UpdateKind,
                          ResolverResponse&) { ++asked; };
  try {
    ds_.ApplyUpdates();
    FAIL() << "no error";
  } catch (const db::DatabaseError&) {
    FAIL() << "wrapped";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "disk gone");
  }
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_EQ(Row(), "d/4");
  EXPECT_EQ(ds_.GetChangeCount(), 1);
  ds_.CancelUpdates();  // and can still be undone
  GoTo("b");
  EXPECT_EQ(Row(), "b/2");
}

// --- Closing -----------------------------------------------------------------

TEST_F(ChangesTest, ClosingEmptiesTheLog) {
  Change("b", "B", 20);
  Add("x", 9);
  Remove("c");
  Add("y", 8);
  Remove("y");
  ds_.Close();
  EXPECT_EQ(ds_.GetChangeCount(), 0);
  ds_.Open();
  EXPECT_EQ(ds_.GetChangeCount(), 0);
  EXPECT_EQ(ds_.RecordCount(), 0);
  Add("z", 1);
  EXPECT_EQ(Log(), (Rows{"I"}));
  GoTo("z");
  EXPECT_EQ(ds_.UpdateStatus(), UpdateStatus::usInserted);
}

}  // namespace

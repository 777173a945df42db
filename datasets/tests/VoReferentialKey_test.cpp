// Referential keys: the set of cascades, registration with the datasets, the
// insert fill, the update and delete cascades in the query datasets' hooks,
// their failures, and keys or datasets destroyed while they name each other.
#include "datasets/VoReferentialKey.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset_rows.h"
#include "db/DatabaseError.h"
#include "query_dataset_fixture.h"

namespace {

using vo_testing::Column;
using vo_testing::Fill;
using vo_testing::Texts;
using vo_testing::Values;
using Keys = std::vector<TVoReferentialKey*>;

// The same over every row, whatever the filter; the filter switch is put back.
Texts AllValues(db::DataSet& ds, const char* field) {
  const bool filtered = ds.Filtered();
  ds.SetFiltered(false);
  Texts values = Values(ds, field);
  ds.SetFiltered(filtered);
  return values;
}

void SetMasterId(TVoQueryDataSet& master, int row, int id) {
  master.SetRecNo(row);
  master.Edit();
  master.FieldByName("ID").SetAsInteger(id);
  master.Post();
}

void FillMaster(TVoQueryDataSet& master) {
  Fill(master, {{"ID", db::FieldType::ftInteger}, {"NAME", db::FieldType::ftString, 10}},
       {{"7", "seven"}, {"9", "nine"}, {"3", "three"}});
}

// The slave's CUSTID and ID both carry the master row's ID as text: 7 for a, c
// and f; "07" for d, which as text is not 7.
void FillSlave(TVoQueryDataSet& slave) {
  Fill(slave,
       {{"ITEM", db::FieldType::ftString, 10},
        {"CUSTID", db::FieldType::ftString, 10},
        {"ID", db::FieldType::ftString, 10},
        {"QTY", db::FieldType::ftInteger}},
       {{"a", "7", "7"},
        {"b", "9", "9"},
        {"c", "7", "7"},
        {"d", "07", "07"},
        {"e", "3", "3"},
        {"f", "7", "7"}});
}

const TVoReferentialKind kAll{rkInsert, rkUpdate, rkDelete};

// A master (ID, NAME) on rows 7, 9, 3 and a slave joined to it by `lines`,
// every cascade on.
struct Linked {
  explicit Linked(const Texts& lines = {"CUSTID=ID"}) {
    FillMaster(master);
    FillSlave(slave);
    master.SetName("Master");
    slave.SetName("Slave");
    key.SetJoinedFields(lines);
    key.SetMasterDataSet(&master);
    key.SetSlaveDataSet(&slave);
    key.SetReferentialKind(kAll);
    key.SetEnabled(true);
  }

  TVoQueryDataSet master;
  TVoQueryDataSet slave;
  TVoReferentialKey key;
};

class ReferentialKeyTest : public ::testing::Test, protected Linked {};

// ---- The set of cascades and a new key ----

TEST(ReferentialKindTest, HoldsAnyCombinationOfTheThreeCascades) {
  const struct {
    const char* name;
    TVoReferentialKind kind;
    bool insert, update, remove;
  } cases[] = {
      {"empty", {}, false, false, false},
      {"insert", {rkInsert}, true, false, false},
      {"update and delete", {rkDelete, rkUpdate}, false, true, true},
      {"all", kAll, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.kind.Contains(rkInsert), c.insert);
    EXPECT_EQ(c.kind.Contains(rkUpdate), c.update);
    EXPECT_EQ(c.kind.Contains(rkDelete), c.remove);
    EXPECT_EQ(c.kind.Empty(), !(c.insert || c.update || c.remove));
  }

  TVoReferentialKind kind;
  kind.Include(rkDelete).Include(rkInsert).Include(rkInsert);
  EXPECT_EQ(kind, (TVoReferentialKind{rkInsert, rkDelete}));
  kind.Exclude(rkInsert).Exclude(rkUpdate);
  EXPECT_EQ(kind, TVoReferentialKind{rkDelete});
  EXPECT_NE(kind, kAll);
}

TEST(ReferentialKeySettingsTest, ANewKeyIsInertAndJoinsNothing) {
  TVoReferentialKey key;
  EXPECT_FALSE(key.Enabled());
  EXPECT_TRUE(key.ReferentialKind().Empty());
  EXPECT_TRUE(key.JoinedFields().empty());
  EXPECT_EQ(key.MasterDataSet(), nullptr);
  EXPECT_EQ(key.SlaveDataSet(), nullptr);
  EXPECT_EQ(key.PreviousMasterDataSet(), nullptr);
  EXPECT_EQ(key.PreviousSlaveDataSet(), nullptr);

  key.SetJoinedFields({"A=B", "C"});
  key.SetJoinedFields(key.JoinedFields());  // its own list: nothing happens
  EXPECT_EQ(key.JoinedFields(), (Texts{"A=B", "C"}));
}

// ---- Registration ----

TEST(ReferentialKeyRegistrationTest, BothSidesRegisterAndMovingASideMovesTheKey) {
  TVoQueryDataSet a, b, s, t;
  TVoReferentialKey key;

  key.SetMasterDataSet(&a);  // one side only: not registered yet
  EXPECT_TRUE(a.MasterKeys().empty());
  EXPECT_EQ(key.PreviousMasterDataSet(), nullptr);

  key.SetSlaveDataSet(&s);
  EXPECT_EQ(a.MasterKeys(), Keys{&key});
  EXPECT_EQ(s.SlaveKeys(), Keys{&key});
  EXPECT_TRUE(a.SlaveKeys().empty());
  EXPECT_TRUE(s.MasterKeys().empty());

  key.RegisterKeyWithDatasets();  // listed once, however often registered
  key.SetMasterDataSet(&a);
  EXPECT_EQ(a.MasterKeys(), Keys{&key});
  EXPECT_EQ(s.SlaveKeys(), Keys{&key});

  key.SetMasterDataSet(&b);
  EXPECT_EQ(key.PreviousMasterDataSet(), &a);
  EXPECT_TRUE(a.MasterKeys().empty());
  EXPECT_EQ(b.MasterKeys(), Keys{&key});

  key.SetSlaveDataSet(&t);
  EXPECT_EQ(key.PreviousSlaveDataSet(), &s);
  EXPECT_TRUE(s.SlaveKeys().empty());
  EXPECT_EQ(t.SlaveKeys(), Keys{&key});

  // Going to none leaves that side's list only; a later master does not make
  // none the previous one.
  key.SetMasterDataSet(nullptr);
  EXPECT_EQ(key.PreviousMasterDataSet(), &b);
  EXPECT_TRUE(b.MasterKeys().empty());
  EXPECT_EQ(t.SlaveKeys(), Keys{&key});
  key.SetMasterDataSet(&a);
  EXPECT_EQ(key.PreviousMasterDataSet(), &b);
  EXPECT_EQ(a.MasterKeys(), Keys{&key});

  key.SetSlaveDataSet(nullptr);
  key.SetMasterDataSet(nullptr);
  for (TVoQueryDataSet* ds : {&a, &b, &s, &t}) {
    EXPECT_TRUE(ds->MasterKeys().empty());
    EXPECT_TRUE(ds->SlaveKeys().empty());
  }
}

// A dataset that is its own slave would walk its own rows while deleting or
// posting one of them: such a key is refused whichever side is set last.
TEST(ReferentialKeyRegistrationTest, ADatasetCannotBeItsOwnSlave) {
  const char* kRefused =
      "A referential key can not have one dataset as both its master and its slave";
  for (const bool master_first : {true, false}) {
    SCOPED_TRACE(master_first ? "master set first" : "slave set first");
    TVoQueryDataSet a, other;
    TVoReferentialKey key;
    if (master_first) {
      key.SetMasterDataSet(&a);
    } else {
      key.SetSlaveDataSet(&a);
    }
    try {
      if (master_first) {
        key.SetSlaveDataSet(&a);
      } else {
        key.SetMasterDataSet(&a);
      }
      ADD_FAILURE() << "the key was not refused";
    } catch (const db::DatabaseError& e) {
      EXPECT_STREQ(e.what(), kRefused);
    }
    EXPECT_EQ(master_first ? key.SlaveDataSet() : key.MasterDataSet(), nullptr);
    EXPECT_EQ(master_first ? key.PreviousSlaveDataSet() : key.PreviousMasterDataSet(), nullptr);
    EXPECT_TRUE(a.MasterKeys().empty());
    EXPECT_TRUE(a.SlaveKeys().empty());

    // The key takes another dataset on the free side.
    if (master_first) {
      key.SetSlaveDataSet(&other);
    } else {
      key.SetMasterDataSet(&other);
    }
    EXPECT_EQ((master_first ? a.MasterKeys() : a.SlaveKeys()), Keys{&key});
    // Moving the set side onto the other dataset is refused as well.
    EXPECT_THROW(master_first ? key.SetMasterDataSet(&other) : key.SetSlaveDataSet(&other),
                 db::DatabaseError);
    EXPECT_EQ((master_first ? key.MasterDataSet() : key.SlaveDataSet()), &a);
    key.SetMasterDataSet(nullptr);
    key.SetSlaveDataSet(nullptr);
  }
}

// ---- Insert fill ----

TEST_F(ReferentialKeyTest, AnInsertFillsTheJoinedFieldsFromTheMastersCurrentRow) {
  // QTY is an integer field: it takes the master's ID as a number; CUSTID, a
  // text field, takes its text.
  key.SetJoinedFields({"CUSTID=ID", "QTY=ID"});
  const struct {
    int master_row;
    bool append;
    const char* id;
  } cases[] = {{1, true, "7"}, {2, false, "9"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    master.SetRecNo(c.master_row);
    c.append ? slave.Append() : slave.Insert();
    EXPECT_EQ(slave.State(), db::DataSetState::kInsert);  // left for the user
    EXPECT_EQ(slave.FieldByName("CUSTID").AsString(), c.id);
    EXPECT_EQ(slave.FieldByName("QTY").Value().type, rtl::VarType::kInt);
    EXPECT_EQ(slave.FieldByName("QTY").AsString(), c.id);
    EXPECT_TRUE(slave.FieldByName("ITEM").IsNull());
    EXPECT_TRUE(slave.FieldByName("ID").IsNull());  // not joined
    EXPECT_FALSE(slave.ControlsDisabled());
    slave.FieldByName("ITEM").SetAsString("new");
    slave.Post();
  }
  EXPECT_EQ(AllValues(slave, "CUSTID").size(), 8u);
  EXPECT_EQ(master.RecordCount(), 3);
}

// ---- Update cascade ----

TEST_F(ReferentialKeyTest, AChangedKeyReachesEverySlaveRowThatCarriedItEvenHiddenOnes) {
  slave.SetFilterText("ITEM <> 'c'");
  slave.SetFiltered(true);
  struct Seen {
    std::string item;
    bool suspended, filtered, controls_disabled;
  };
  std::vector<Seen> posts;
  slave.AfterPost = [&](db::DataSet&) {
    posts.push_back({slave.FieldByName("ITEM").AsString(), slave.MasterDetailSuspended(),
                     slave.Filtered(), slave.ControlsDisabled()});
  };

  SetMasterId(master, 1, 8);

  ASSERT_EQ(posts.size(), 3u);
  const char* items[] = {"a", "c", "f"};
  for (std::size_t i = 0; i < posts.size(); ++i) {
    SCOPED_TRACE(items[i]);
    EXPECT_EQ(posts[i].item, items[i]);
    EXPECT_TRUE(posts[i].suspended);
    EXPECT_FALSE(posts[i].filtered);
    EXPECT_TRUE(posts[i].controls_disabled);
  }
  // "07" is another text than 7.
  EXPECT_EQ(AllValues(slave, "CUSTID"), (Texts{"8", "9", "8", "07", "3", "8"}));
  EXPECT_EQ(AllValues(slave, "ID"), (Texts{"7", "9", "7", "07", "3", "7"}));  // not joined
  EXPECT_EQ(slave.Filter(), "ITEM <> 'c'");
  EXPECT_TRUE(slave.Filtered());
  EXPECT_EQ(Values(slave, "ITEM"), (Texts{"a", "b", "d", "e", "f"}));
  EXPECT_FALSE(slave.MasterDetailSuspended());
  EXPECT_FALSE(slave.ControlsDisabled());
  EXPECT_EQ(master.FieldByName("ID").AsInteger(), 8);
}

// Ordered by CUSTID, the slave reads d, e, a, c, f, b; an edited row keeps its
// place, so each matching row is posted once, also when the key is rewritten
// with the value it had.
TEST_F(ReferentialKeyTest, EachMatchingSlaveRowIsRewrittenOnceWhetherOrNotTheKeyChanged) {
  const struct {
    const char* name;
    std::function<void(TVoQueryDataSet&)> edit;
    Texts custids;
  } cases[] = {
      {"key unchanged",
       [](TVoQueryDataSet& m) { m.FieldByName("NAME").SetAsString("SEVEN"); },
       {"07", "3", "7", "7", "7", "9"}},
      {"key changed",
       [](TVoQueryDataSet& m) { m.FieldByName("ID").SetAsInteger(8); },
       {"07", "3", "8", "8", "8", "9"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Linked l;
    ASSERT_TRUE(l.slave.ToggleIndexOnField("CUSTID"));
    Texts posted;
    l.slave.AfterPost = [&](db::DataSet& ds) {
      posted.push_back(ds.FieldByName("ITEM").AsString());
    };
    l.master.First();
    l.master.Edit();
    c.edit(l.master);
    l.master.Post();
    EXPECT_EQ(posted, (Texts{"a", "c", "f"}));
    EXPECT_EQ(Values(l.slave, "CUSTID"), c.custids);
  }
}

// ---- Delete cascade ----

TEST_F(ReferentialKeyTest, ADeleteRemovesTheMatchingSlaveRowsBeforeTheMasterRowGoes) {
  slave.SetFilterText("ITEM <> 'c'");
  slave.SetFiltered(true);
  struct Seen {
    std::string item;
    int master_rows;
    std::string master_id;
  };
  std::vector<Seen> deletes;
  slave.BeforeDelete = [&](db::DataSet& ds) {
    deletes.push_back({ds.FieldByName("ITEM").AsString(), master.RecordCount(),
                       master.FieldByName("ID").AsString()});
  };

  master.First();
  master.Delete();

  ASSERT_EQ(deletes.size(), 3u);
  const char* items[] = {"a", "c", "f"};  // f, the last row, too
  for (std::size_t i = 0; i < deletes.size(); ++i) {
    SCOPED_TRACE(items[i]);
    EXPECT_EQ(deletes[i].item, items[i]);
    EXPECT_EQ(deletes[i].master_rows, 3);
    EXPECT_EQ(deletes[i].master_id, "7");
  }
  EXPECT_EQ(AllValues(slave, "ITEM"), (Texts{"b", "d", "e"}));
  EXPECT_EQ(slave.Filter(), "ITEM <> 'c'");
  EXPECT_TRUE(slave.Filtered());
  EXPECT_FALSE(slave.MasterDetailSuspended());
  EXPECT_FALSE(slave.ControlsDisabled());
  EXPECT_EQ(Values(master, "ID"), (Texts{"9", "3"}));
}

// ---- The forms of a line ----

// "CUSTID=ID" joins the slave's CUSTID to the master's ID; "ID" joins the ID
// fields of both; every cascade reads the line the same way.
TEST(ReferentialKeyLineTest, EachFormOfLineJoinsItsFieldsForEveryCascade) {
  const struct {
    const char* line;
    const char* joined;
    const char* other;
  } cases[] = {{"CUSTID=ID", "CUSTID", "ID"}, {"ID", "ID", "CUSTID"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Linked l({c.line});
    l.slave.Append();
    EXPECT_EQ(l.slave.FieldByName(c.joined).AsString(), "7");
    EXPECT_TRUE(l.slave.FieldByName(c.other).IsNull());
    l.slave.Cancel();

    SetMasterId(l.master, 1, 8);
    EXPECT_EQ(Values(l.slave, c.joined), (Texts{"8", "9", "8", "07", "3", "8"}));
    EXPECT_EQ(Values(l.slave, c.other), (Texts{"7", "9", "7", "07", "3", "7"}));

    l.master.SetRecNo(2);
    l.master.Delete();  // ID 9
    EXPECT_EQ(Values(l.slave, "ITEM"), (Texts{"a", "c", "d", "e", "f"}));
  }
}

// ---- When no cascade runs ----

TEST(ReferentialKeyInertTest, AKeyThatDoesNotActChangesNothing) {
  enum Op { kInsert = 1, kUpdate = 2, kDelete = 4, kEvery = 7 };
  const struct {
    const char* name;
    std::function<void(Linked&)> setup;
    int ops;
  } cases[] = {
      {"disabled", [](Linked& l) { l.key.SetEnabled(false); }, kEvery},
      {"no kind", [](Linked& l) { l.key.SetReferentialKind({}); }, kEvery},
      {"kind without insert",
       [](Linked& l) {
         l.key.SetReferentialKind({rkUpdate, rkDelete});
       },
       kInsert},
      {"kind without update",
       [](Linked& l) {
         l.key.SetReferentialKind({rkInsert, rkDelete});
       },
       kUpdate},
      {"kind without delete",
       [](Linked& l) {
         l.key.SetReferentialKind({rkInsert, rkUpdate});
       },
       kDelete},
      {"master closed", [](Linked& l) { l.master.Close(); }, kInsert},
      {"slave closed", [](Linked& l) { l.slave.Close(); }, kUpdate | kDelete},
      {"slave side unset", [](Linked& l) { l.key.SetSlaveDataSet(nullptr); }, kUpdate | kDelete},
  };
  const Texts untouched{"7", "9", "7", "07", "3", "7"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.ops & kInsert) {
      Linked l;
      c.setup(l);
      l.slave.Append();
      EXPECT_TRUE(l.slave.FieldByName("CUSTID").IsNull());
      l.slave.Cancel();
    }
    if (c.ops & kUpdate) {
      Linked l;
      c.setup(l);
      SetMasterId(l.master, 1, 8);
      if (l.slave.Active()) {
        EXPECT_EQ(Values(l.slave, "CUSTID"), untouched);
      }
    }
    if (c.ops & kDelete) {
      Linked l;
      c.setup(l);
      l.master.First();
      l.master.Delete();
      EXPECT_EQ(l.master.RecordCount(), 2);
      if (l.slave.Active()) {
        EXPECT_EQ(Values(l.slave, "CUSTID"), untouched);
      }
    }
  }
}

// ---- Failures ----

TEST(ReferentialKeyFailureTest, AMissingFieldOrARefusedValuePassesOutOfTheChange) {
  enum Op { kInsert, kUpdate, kDelete };
  const struct {
    const char* line;
    Op op;
    bool conversion;  // ConversionError rather than field-not-found
  } cases[] = {
      {"NOPE=ID", kInsert, false},
      {"CUSTID=NOPE", kUpdate, false},
      {"NOPE", kDelete, false},
      {"QTY=NAME", kInsert, true},  // "seven" into an integer field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + std::string(" op ") + std::to_string(c.op));
    Linked l({c.line});
    try {
      switch (c.op) {
        case kInsert:
          l.slave.Append();
          break;
        case kUpdate:
          SetMasterId(l.master, 1, 8);
          break;
        case kDelete:
          l.master.First();
          l.master.Delete();
          break;
      }
      ADD_FAILURE() << "no error";
    } catch (const db::ConversionError&) {
      EXPECT_TRUE(c.conversion);
    } catch (const db::DatabaseError& e) {
      EXPECT_FALSE(c.conversion) << e.what();
      EXPECT_NE(std::string(e.what()).find("Field not found"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(l.slave.ControlsDisabled());
    EXPECT_FALSE(l.slave.MasterDetailSuspended());
    if (c.op == kDelete) {
      EXPECT_EQ(l.master.RecordCount(), 3);  // refused before it went
    }
    if (c.op == kUpdate) {
      EXPECT_EQ(l.slave.State(), db::DataSetState::kBrowse);
    }
  }
}

// A slave row that refuses the change stops the cascade: the rows done before
// it stay done, it and the rows after it stay as they were, and the slave gets
// back its filter, its master/detail link and its controls.
TEST(ReferentialKeyFailureTest, AFailureMidCascadeRestoresTheSlave) {
  const struct {
    const char* name;
    std::function<void(Linked&)> refuse_c;
    std::function<void(Linked&)> change;
    Texts items, custids;
    int master_rows;
  } cases[] = {
      {"update",
       [](Linked& l) {
         l.slave.BeforePost = [](db::DataSet& ds) {
           if (ds.FieldByName("ITEM").AsString() == "c") throw std::runtime_error("refused");
         };
       },
       [](Linked& l) { SetMasterId(l.master, 1, 8); },
       {"a", "b", "c", "d", "e", "f"},
       {"8", "9", "7", "07", "3", "7"},
       3},
      {"delete",
       [](Linked& l) {
         l.slave.BeforeDelete = [](db::DataSet& ds) {
           if (ds.FieldByName("ITEM").AsString() == "c") throw std::runtime_error("refused");
         };
       },
       [](Linked& l) {
         l.master.First();
         l.master.Delete();
       },
       {"b", "c", "d", "e", "f"},
       {"9", "7", "07", "3", "7"},
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Linked l;
    l.slave.SetFilterText("ITEM <> 'b'");
    l.slave.SetFiltered(true);
    c.refuse_c(l);
    EXPECT_THROW(c.change(l), std::runtime_error);
    EXPECT_EQ(l.slave.State(), db::DataSetState::kBrowse);
    EXPECT_EQ(l.slave.Filter(), "ITEM <> 'b'");
    EXPECT_TRUE(l.slave.Filtered());
    EXPECT_FALSE(l.slave.MasterDetailSuspended());
    EXPECT_FALSE(l.slave.ControlsDisabled());
    l.slave.BeforePost = nullptr;
    EXPECT_EQ(AllValues(l.slave, "ITEM"), c.items);
    EXPECT_EQ(AllValues(l.slave, "CUSTID"), c.custids);
    EXPECT_EQ(l.master.RecordCount(), c.master_rows);
  }
}

// ---- Chains ----

// The slave's own posts and deletes run its hooks, so a key in which it is the
// master carries the cascade one level further.
TEST(ReferentialKeyChainTest, CascadesGoOnThroughASlaveThatIsAMasterItself) {
  const struct {
    const char* name;
    Texts lines;
    std::function<void(TVoQueryDataSet&)> change;
    const char* field;
    Texts expected;
  } cases[] = {
      {"update",
       {"CUSTID"},
       [](TVoQueryDataSet& m) { SetMasterId(m, 1, 8); },
       "CUSTID",
       {"8", "9", "8", "8", "3"}},
      {"delete",
       {"ITEM=ITEM"},
       [](TVoQueryDataSet& m) {
         m.First();
         m.Delete();
       },
       "LINE",
       {"2", "5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Linked l;
    TVoQueryDataSet lines;
    Fill(lines,
         {{"LINE", db::FieldType::ftInteger},
          {"ITEM", db::FieldType::ftString, 10},
          {"CUSTID", db::FieldType::ftString, 10}},
         {{"1", "a", "7"}, {"2", "b", "9"}, {"3", "c", "7"}, {"4", "f", "7"}, {"5", "x", "3"}});
    TVoReferentialKey down;
    down.SetJoinedFields(c.lines);
    down.SetMasterDataSet(&l.slave);
    down.SetSlaveDataSet(&lines);
    down.SetReferentialKind(kAll);
    down.SetEnabled(true);
    c.change(l.master);
    EXPECT_EQ(Values(lines, c.field), c.expected);
    down.SetMasterDataSet(nullptr);
    down.SetSlaveDataSet(nullptr);
  }
}

// Keys that lead from a dataset back to itself (A to B and B to A, or round
// three datasets) would cascade without end. The cascade stops with an error
// before it walks a dataset whose own cascade is running: a delete then
// deletes nothing anywhere, and every dataset is left usable.
TEST(ReferentialKeyChainTest, KeysThatFormACycleStopWithAnError) {
  const struct {
    const char* name;
    int datasets;
    bool remove;
  } cases[] = {
      {"two keys, delete", 2, true},
      {"three keys, delete", 3, true},
      {"two keys, update", 2, false},
      {"three keys, update", 3, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Each dataset's UP carries the ID of a row of the one before it.
    std::vector<std::unique_ptr<TVoQueryDataSet>> ds;
    std::vector<std::unique_ptr<TVoReferentialKey>> keys;
    for (int i = 0; i < c.datasets; ++i) {
      ds.push_back(std::make_unique<TVoQueryDataSet>());
      ds.back()->SetName("D" + std::to_string(i));
      Fill(*ds.back(), {{"ID", db::FieldType::ftString, 5}, {"UP", db::FieldType::ftString, 5}},
           {{"1", "1"}, {"2", "2"}});
    }
    for (int i = 0; i < c.datasets; ++i) {
      keys.push_back(std::make_unique<TVoReferentialKey>());
      keys.back()->SetJoinedFields({"UP=ID"});
      keys.back()->SetMasterDataSet(ds[static_cast<std::size_t>(i)].get());
      keys.back()->SetSlaveDataSet(ds[static_cast<std::size_t>((i + 1) % c.datasets)].get());
      keys.back()->SetReferentialKind(kAll);
      keys.back()->SetEnabled(true);
    }
    TVoQueryDataSet& first = *ds[0];
    first.First();
    try {
      if (c.remove) {
        first.Delete();
      } else {
        first.Edit();
        first.FieldByName("ID").SetAsString("5");
        first.Post();
      }
      ADD_FAILURE() << "the cycle was not stopped";
    } catch (const db::DatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("Referential keys form a cycle"), std::string::npos)
          << e.what();
    }
    for (const auto& d : ds) {
      SCOPED_TRACE(d->Name());
      EXPECT_EQ(d->State(), db::DataSetState::kBrowse);
      EXPECT_FALSE(d->ControlsDisabled());
      EXPECT_FALSE(d->MasterDetailSuspended());
      if (c.remove) {
        EXPECT_EQ(AllValues(*d, "ID"), (Texts{"1", "2"}));
      }
    }

    // A change that no slave row carries further still goes through.
    first.Append();
    first.FieldByName("ID").SetAsString("8");
    first.Post();
    first.Last();
    EXPECT_NO_THROW(first.Delete());
    EXPECT_EQ(AllValues(first, "ID").size(), 2u);
    for (auto& key : keys) {
      key->SetMasterDataSet(nullptr);
      key->SetSlaveDataSet(nullptr);
    }
  }
}

// ---- Loads ----

class ReferentialKeyLoadTest : public QueryDataSetFixture {
 protected:
  ReferentialKeyLoadTest() : QueryDataSetFixture("ID;NAME\n7;seven\n9;nine\n") {}

  void SetUp() override {
    QueryDataSetFixture::SetUp();
    ds_.SetTableName("t");
    ds_.SetSQL({"select ID, NAME from t"});
    FillSlave(slave_);
    slave_.BeforeDelete = [this](db::DataSet& ds) {
      deleted_.push_back(ds.FieldByName("ITEM").AsString());
    };
    key_.SetJoinedFields({"CUSTID=ID"});
    key_.SetMasterDataSet(&ds_);
    key_.SetSlaveDataSet(&slave_);
    key_.SetReferentialKind(kAll);
    key_.SetEnabled(true);
  }

  TVoQueryDataSet slave_;
  TVoReferentialKey key_;
  Texts deleted_;
};

// A load empties the master first; those deletes are no user's.
TEST_F(ReferentialKeyLoadTest, NoCascadeRunsWhileTheMasterReloads) {
  ds_.ReadTableFile();
  ds_.ReadTableFile();
  Run({"select ID, NAME from t"});
  TVoBufDataset source;
  Fill(source, {{"ID", db::FieldType::ftInteger}}, {{"1"}});
  ds_.ImportFromDataset(source);
  EXPECT_TRUE(deleted_.empty());
  EXPECT_EQ(Values(slave_, "CUSTID"), (Texts{"7", "9", "7", "07", "3", "7"}));
}

// Switching a source off empties the master as a load does: no delete
// cascades, so a slave that saves itself keeps its rows and its table file.
TEST_F(ReferentialKeyLoadTest, EmptyingTheMasterBySwitchingItsSourceOffRunsNoCascade) {
  const struct {
    const char* name;
    void (TVoQueryDataSet::*set)(bool);
  } cases[] = {{"TableLoaded", &TVoQueryDataSet::SetTableLoaded},
               {"QueryExecuted", &TVoQueryDataSet::SetQueryExecuted}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVoQueryDataSet slave;
    FillSlave(slave);
    slave.BeforeDelete = slave_.BeforeDelete;
    slave.SetVoConnection(&connection_);
    slave.SetTableName("s");
    dir_.Write("s.txt", "ITEM;CUSTID\na;7\n");
    slave.SetPersistentSave(true);
    key_.SetSlaveDataSet(&slave);
    deleted_.clear();
    (ds_.*c.set)(true);
    ASSERT_EQ(ds_.RecordCount(), 2);
    (ds_.*c.set)(false);
    EXPECT_FALSE(ds_.Active());
    EXPECT_TRUE(deleted_.empty());
    EXPECT_EQ(Values(slave, "ITEM"), (Texts{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(dir_.Read("s.txt"), "ITEM;CUSTID\na;7\n");
    slave.SetPersistentSave(false);
    key_.SetSlaveDataSet(&slave_);
  }
}

// Rows a load brings into the slave keep their own values, a missing one too;
// an insert outside the load is filled.
TEST_F(ReferentialKeyLoadTest, ASlaveThatLoadsIsNotFilled) {
  dir_.Write("s.txt", "ITEM;CUSTID\nx;5\ny\n");
  TVoQueryDataSet loaded;
  loaded.SetVoConnection(&connection_);
  loaded.SetTableName("s");
  key_.SetSlaveDataSet(&loaded);
  ds_.ReadTableFile();
  loaded.ReadTableFile();
  EXPECT_EQ(Values(loaded, "CUSTID"), (Texts{"5", "<null>"}));
  loaded.Append();
  EXPECT_EQ(loaded.FieldByName("CUSTID").AsString(), "7");
  loaded.Cancel();
  key_.SetSlaveDataSet(nullptr);
}

// ---- Destruction while registered ----

TEST_F(ReferentialKeyTest, ADestroyedKeyLeavesTheListsOfItsDatasets) {
  TVoQueryDataSet earlier;
  auto moved = std::make_unique<TVoReferentialKey>();
  moved->SetMasterDataSet(&earlier);
  moved->SetSlaveDataSet(&slave);
  moved->SetMasterDataSet(&master);  // earlier is its previous master now
  moved->SetJoinedFields({"NOPE"});  // would fail, were it still walked
  moved->SetReferentialKind(kAll);
  moved->SetEnabled(true);
  ASSERT_EQ(master.MasterKeys(), (Keys{&key, moved.get()}));
  moved.reset();
  EXPECT_EQ(master.MasterKeys(), Keys{&key});
  EXPECT_EQ(slave.SlaveKeys(), Keys{&key});
  EXPECT_TRUE(earlier.MasterKeys().empty());

  SetMasterId(master, 1, 8);
  master.First();
  master.Delete();
  slave.Append();
  EXPECT_EQ(slave.FieldByName("CUSTID").AsString(), "9");
  slave.Cancel();
  EXPECT_EQ(Values(slave, "CUSTID"), (Texts{"9", "07", "3"}));
}

// A dataset destroyed while a key names it, on any side, leaves the key
// without it; the key's other side goes on as before.
TEST(ReferentialKeyDestructionTest, ADestroyedDatasetIsForgottenByTheKeysNamingIt) {
  {  // the slave goes: the master still lists the key, which no longer acts
    auto slave = std::make_unique<TVoQueryDataSet>();
    TVoQueryDataSet master;
    FillMaster(master);
    FillSlave(*slave);
    TVoReferentialKey key;
    key.SetJoinedFields({"CUSTID=ID"});
    key.SetReferentialKind(kAll);
    key.SetEnabled(true);
    key.SetMasterDataSet(&master);
    key.SetSlaveDataSet(slave.get());
    slave.reset();
    EXPECT_EQ(key.SlaveDataSet(), nullptr);
    EXPECT_EQ(master.MasterKeys(), Keys{&key});
    SetMasterId(master, 1, 8);
    master.Delete();
    EXPECT_EQ(Values(master, "ID"), (Texts{"9", "3"}));
  }
  {  // the master goes; a new master registers the key again, once
    auto master = std::make_unique<TVoQueryDataSet>();
    TVoQueryDataSet slave, other;
    FillMaster(*master);
    FillMaster(other);
    FillSlave(slave);
    TVoReferentialKey key;
    key.SetJoinedFields({"CUSTID=ID"});
    key.SetReferentialKind(kAll);
    key.SetEnabled(true);
    key.SetMasterDataSet(master.get());
    key.SetSlaveDataSet(&slave);
    master.reset();
    EXPECT_EQ(key.MasterDataSet(), nullptr);
    slave.Append();
    EXPECT_TRUE(slave.FieldByName("CUSTID").IsNull());
    slave.Cancel();
    key.SetMasterDataSet(&other);
    EXPECT_EQ(key.PreviousMasterDataSet(), nullptr);
    EXPECT_EQ(other.MasterKeys(), Keys{&key});
    EXPECT_EQ(slave.SlaveKeys(), Keys{&key});
    other.SetRecNo(2);
    slave.Append();
    EXPECT_EQ(slave.FieldByName("CUSTID").AsString(), "9");
    slave.Cancel();
  }
  {  // a previous master goes, and a master named before any slave was
    auto previous = std::make_unique<TVoQueryDataSet>();
    auto lone = std::make_unique<TVoQueryDataSet>();
    TVoQueryDataSet master, slave;
    TVoReferentialKey key, waiting;
    key.SetMasterDataSet(previous.get());
    key.SetSlaveDataSet(&slave);
    key.SetMasterDataSet(&master);
    waiting.SetMasterDataSet(lone.get());
    previous.reset();
    lone.reset();
    EXPECT_EQ(key.PreviousMasterDataSet(), nullptr);
    EXPECT_EQ(waiting.MasterDataSet(), nullptr);
    key.SetMasterDataSet(nullptr);
    waiting.SetSlaveDataSet(&slave);  // one side only: not registered
    EXPECT_EQ(slave.SlaveKeys(), Keys{&key});
    EXPECT_TRUE(master.MasterKeys().empty());
  }
}

// The slave holds a new row (filled by the key) that its required ITEM keeps
// from being posted. Switching the slave's filter off at the start of the
// cascade tries to post it and fails; the restore's refresh fails the same
// way. The error passes out, but the slave must not be left with its controls
// disabled for good.
TEST(ReferentialKeyFailureTest, ACascadeThatFailsOnAPendingSlaveRowGivesBackTheControls) {
  const struct {
    const char* name;
    std::function<void(TVoQueryDataSet&)> change;
  } cases[] = {
      {"update",
       [](TVoQueryDataSet& m) {
         m.Edit();
         m.FieldByName("ID").SetAsInteger(8);
         m.Post();
       }},
      {"delete", [](TVoQueryDataSet& m) { m.Delete(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Linked l;
    l.slave.SetFilterText("ITEM <> 'b'");
    l.slave.SetFiltered(true);
    l.slave.FieldByName("ITEM").SetRequired(true);
    l.slave.Append();
    ASSERT_EQ(l.slave.FieldByName("CUSTID").AsString(), "7");
    l.master.First();

    EXPECT_ANY_THROW(c.change(l.master));

    EXPECT_FALSE(l.slave.ControlsDisabled());
    EXPECT_FALSE(l.slave.MasterDetailSuspended());
    EXPECT_EQ(l.slave.Filter(), "ITEM <> 'b'");
    EXPECT_TRUE(l.slave.Filtered());
  }
}

// Setting a slave field in the fill runs its change handler; one that gives
// the key other lines must not pull the list the fill is walking from under
// it (the update and delete cascades read their lines once for this reason).
TEST(ReferentialKeyLineTest, AHandlerThatRewritesTheLinesDuringTheInsertFillIsSafe) {
  Linked l({"CUSTID=ID", "ITEM=NAME"});
  l.slave.FieldByName("CUSTID").OnChange = [&](db::Field&) {
    l.key.SetJoinedFields({"ITEM=NAME", "CUSTID=ID", "ITEM", "CUSTID", "NAME", "ID"});
  };
  l.slave.Append();
  EXPECT_EQ(l.slave.FieldByName("CUSTID").AsString(), "7");
  EXPECT_EQ(l.slave.FieldByName("ITEM").AsString(), "seven");
  l.slave.Cancel();
}

// The master's filter hides the edited row once it holds its new ID, so the
// post leaves another master row current. The slave rows that carried 7 must
// still take the edited row's new value, not the key of the row that happens
// to be current.
TEST(ReferentialKeyUpdateTest, AMasterRowItsFilterHidesAfterThePostStillGivesItsNewValues) {
  Linked l;
  l.master.SetFilterText("ID < 8");
  l.master.SetFiltered(true);
  l.master.First();
  l.master.Edit();
  l.master.FieldByName("ID").SetAsInteger(8);
  l.master.Post();

  EXPECT_EQ(AllValues(l.slave, "CUSTID"), (Texts{"8", "9", "8", "07", "3", "8"}));
  EXPECT_EQ(AllValues(l.master, "ID"), (Texts{"8", "9", "3"}));
}

}  // namespace

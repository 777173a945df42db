// The query dataset's links to other datasets: sorting by a title click,
// copying another dataset in, the master/detail link, the snapshot of the row
// before a change and the post marks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset_rows.h"
#include "db/DatabaseError.h"
#include "db/DataSource.h"
#include "query_dataset_fixture.h"

namespace {

using vo_testing::Column;
using vo_testing::Fill;
using vo_testing::Texts;
using vo_testing::Values;

// The value of one field on the current row, without moving: what a refresh
// left current. "<none>" when no row shows.
std::string Current(db::DataSet& ds, const char* field) {
  return ds.IsEmpty() ? "<none>" : ds.FieldByName(field).AsString();
}

// ---- Sorting by a title click ----

class SortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fill(ds_,
         {{"NAME", db::FieldType::ftString, 10},
          {"ID", db::FieldType::ftInteger},
          {"NOTES", db::FieldType::ftMemo},
          {"PICTURE", db::FieldType::ftGraphic},
          {"DATA", db::FieldType::ftBlob},
          {"RAW", db::FieldType::ftBytes, 4},
          {"ANY", db::FieldType::ftVariant}},
         {{"bert", "2"}, {"anna", "3"}, {"carl", "1"}});
  }

  Texts MadeIndexNames() {
    ds_.UpdateIndexDefs();
    Texts names;
    for (const db::IndexDef& def : ds_.IndexDefs()) {
      if (def.Name.find("__Idx") != std::string::npos) names.push_back(def.Name);
    }
    return names;
  }

  TVoQueryDataSet ds_;
};

TEST_F(SortTest, ClicksAlternateAscendingAndDescendingAndMakeEachIndexOnce) {
  const int built_in = ds_.IndexesCount();
  const struct {
    const char* index;
    Texts names;
  } clicks[] = {
      {"NAME__IdxA", {"anna", "bert", "carl"}},
      {"NAME__IdxD", {"carl", "bert", "anna"}},
      {"NAME__IdxA", {"anna", "bert", "carl"}},
  };
  for (const auto& click : clicks) {
    SCOPED_TRACE(click.index);
    ASSERT_TRUE(ds_.ToggleIndexOnField("NAME"));
    EXPECT_EQ(ds_.IndexName(), click.index);
    EXPECT_EQ(Values(ds_, "NAME"), click.names);
  }
  EXPECT_EQ(ds_.IndexesCount(), built_in + 2);
  EXPECT_EQ(MadeIndexNames(), (Texts{"NAME__IdxA", "NAME__IdxD"}));

  // Another field starts again with its own ascending index.
  ASSERT_TRUE(ds_.ToggleIndexOnField("ID"));
  EXPECT_EQ(ds_.IndexName(), "ID__IdxA");
  EXPECT_EQ(Values(ds_, "NAME"), (Texts{"carl", "bert", "anna"}));
}

// The field is found in any letter case, but the index is named as the caller
// wrote the field's name, and whether it exists is asked with letter case.
TEST_F(SortTest, AFieldNameInAnotherLetterCaseMakesAnIndexOfItsOwn) {
  const int built_in = ds_.IndexesCount();
  ASSERT_TRUE(ds_.ToggleIndexOnField("NAME"));
  ASSERT_TRUE(ds_.ToggleIndexOnField("name"));
  EXPECT_EQ(ds_.IndexesCount(), built_in + 2);
  EXPECT_EQ(MadeIndexNames(), (Texts{"NAME__IdxA", "name__IdxA"}));
  EXPECT_EQ(Values(ds_, "NAME"), (Texts{"anna", "bert", "carl"}));
}

TEST_F(SortTest, FieldsThatCannotBeSortedAnswerFalseAndChangeNothing) {
  ASSERT_TRUE(ds_.ToggleIndexOnField("ID"));
  const int count = ds_.IndexesCount();
  for (const char* field : {"NOTES", "PICTURE", "DATA", "RAW", "ANY", "MISSING", ""}) {
    SCOPED_TRACE(field);
    EXPECT_FALSE(ds_.ToggleIndexOnField(field));
    EXPECT_EQ(ds_.IndexName(), "ID__IdxA");
    EXPECT_EQ(ds_.IndexesCount(), count);
    EXPECT_EQ(Values(ds_, "NAME"), (Texts{"carl", "bert", "anna"}));
  }
}

TEST(SortLimitTest, AClickBeyondTheMaximumOfIndexesFailsAndKeepsTheOrder) {
  TVoQueryDataSet ds;
  Fill(ds, {{"A", db::FieldType::ftInteger}}, {{"2"}, {"1"}}, 3);
  ASSERT_TRUE(ds.ToggleIndexOnField("A"));
  try {
    ds.ToggleIndexOnField("A");
    FAIL() << "no error";
  } catch (const db::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(TVoBufDataset::kSMaxIndexes), std::string::npos);
  }
  EXPECT_EQ(ds.IndexName(), "A__IdxA");
  EXPECT_EQ(Values(ds, "A"), (Texts{"1", "2"}));
}

// ---- Copying another dataset ----

class ImportTest : public QueryDataSetFixture {
 protected:
  ImportTest() : QueryDataSetFixture("x\n1\n") {}

  // id integer, name string(20), amount float, born date.
  void FillSource(const std::vector<Texts>& rows) {
    Fill(source_,
         {{"id", db::FieldType::ftInteger},
          {"name", db::FieldType::ftString, 20},
          {"amount", db::FieldType::ftFloat},
          {"born", db::FieldType::ftDate}},
         rows);
  }

  TVoBufDataset source_;
};

// Definitions whose names are the source's, in order and letter case, are
// kept with their types and sizes; anything else is rebuilt from the source.
TEST_F(ImportTest, KeepsMatchingDefinitionsAndRebuildsAnyOthers) {
  const struct {
    const char* name;
    std::vector<Column> before;
    bool kept;
  } cases[] = {
      {"same names, same order",
       {{"id", db::FieldType::ftString, 3},
        {"name", db::FieldType::ftString, 30},
        {"amount", db::FieldType::ftString, 10},
        {"born", db::FieldType::ftString, 12}},
       true},
      {"another letter case",
       {{"ID", db::FieldType::ftString, 3},
        {"name", db::FieldType::ftString, 30},
        {"amount", db::FieldType::ftString, 10},
        {"born", db::FieldType::ftString, 12}},
       false},
      {"another order",
       {{"name", db::FieldType::ftString, 30},
        {"id", db::FieldType::ftString, 3},
        {"amount", db::FieldType::ftString, 10},
        {"born", db::FieldType::ftString, 12}},
       false},
      {"a column fewer",
       {{"id", db::FieldType::ftString, 3}, {"name", db::FieldType::ftString, 30}},
       false},
      {"no definitions", {}, false},
  };
  FillSource({{"7", "anna", "2.5", "2001-02-03"}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVoQueryDataSet ds;
    ds.SetVoConnection(&connection_);
    for (const Column& col : c.before) ds.FieldDefs().Add(col.name, col.type, col.size);

    ds.ImportFromDataset(source_);

    EXPECT_EQ(ds.SourceKind(), sdOtherDataset);
    EXPECT_EQ(ds.ImportSource(), &source_);
    EXPECT_EQ(ds.SourceFieldCount(), 4);
    EXPECT_EQ(ds.SourceRecordCount(), 1);
    ASSERT_EQ(ds.FieldDefs().Count(), 4);
    for (int i = 0; i < 4; ++i) {
      const db::FieldDef& def = ds.FieldDefs()[i];
      if (c.kept) {
        EXPECT_EQ(def.Name, c.before[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(def.DataType, db::FieldType::ftString);
        EXPECT_EQ(def.Size, c.before[static_cast<std::size_t>(i)].size);
      } else {
        EXPECT_EQ(def.Name, source_.FieldDefs()[i].Name);
        EXPECT_EQ(def.DataType, source_.FieldDefs()[i].DataType);
        EXPECT_EQ(def.Size, source_.Fields(i).Size());
      }
    }
    ASSERT_TRUE(ds.Active());
    ASSERT_EQ(ds.RecordCount(), 1);
    ds.First();
    EXPECT_EQ(ds.Fields(0).AsString(), "7");
    EXPECT_EQ(ds.Fields(1).AsString(), "anna");
    EXPECT_EQ(ds.Fields(2).AsFloat(), 2.5);
    EXPECT_EQ(ds.Fields(3).AsString(), "2001-02-03");
  }
}

TEST_F(ImportTest, RebuiltDefinitionsCarryTheSourceFlagsAndReadOnlyFieldsAreFilled) {
  source_.FieldDefs().Add("code", db::FieldType::ftString, 4, true);
  db::FieldDef price;
  price.Name = "price";
  price.DataType = db::FieldType::ftBCD;
  price.Precision = 12;
  price.ReadOnly = true;
  source_.FieldDefs().Add(price);
  source_.CreateDataset();
  source_.Open();
  source_.Fields(1).SetReadOnly(false);
  source_.Append();
  source_.Fields(0).SetAsString("ab");
  source_.Fields(1).SetAsString("12.3456");
  source_.Post();

  ds_.ImportFromDataset(source_);

  ASSERT_EQ(ds_.FieldDefs().Count(), 2);
  EXPECT_TRUE(ds_.FieldDefs()[0].Required);
  EXPECT_EQ(ds_.FieldDefs()[0].Size, 4);
  EXPECT_EQ(ds_.FieldDefs()[1].DataType, db::FieldType::ftBCD);
  EXPECT_EQ(ds_.FieldDefs()[1].Precision, 12);
  EXPECT_TRUE(ds_.FieldDefs()[1].ReadOnly);
  EXPECT_TRUE(ds_.Fields(1).ReadOnly());  // still, after being filled
  ds_.First();
  EXPECT_EQ(ds_.Fields(0).AsString(), "ab");
  EXPECT_EQ(ds_.Fields(1).AsString(), "12.3456");
}

// A kept definition is not widened: the copy goes through the receiving
// field's conversion, which cuts a longer text at the field's size.
TEST_F(ImportTest, AKeptShortTextFieldCutsLongerValues) {
  FillSource({{"1", "abcdefghij", "", ""}, {"2", "xy", "", ""}});
  ds_.FieldDefs().Add("id", db::FieldType::ftString, 5);
  ds_.FieldDefs().Add("name", db::FieldType::ftString, 4);
  ds_.FieldDefs().Add("amount", db::FieldType::ftString, 5);
  ds_.FieldDefs().Add("born", db::FieldType::ftString, 10);

  ds_.ImportFromDataset(source_);

  EXPECT_EQ(ds_.FieldDefs()[1].Size, 4);
  EXPECT_EQ(Values(ds_, "name"), (Texts{"abcd", "xy"}));
  EXPECT_EQ(Values(ds_, "amount"), (Texts{"<null>", "<null>"}));
}

// The source is read as it shows itself: filtered, in its current order, and
// left after its last row.
TEST_F(ImportTest, CopiesWhatTheSourceShowsInItsOrder) {
  FillSource({{"1", "carl", "", ""}, {"2", "anna", "", ""}, {"3", "bert", "", ""}});
  source_.AddIndex("by_name", "name");
  source_.SetIndexName("by_name");
  source_.SetFilterText("id <> 3");
  source_.SetFiltered(true);

  ds_.ImportFromDataset(source_);

  EXPECT_TRUE(source_.Eof());
  EXPECT_EQ(Values(ds_, "name"), (Texts{"anna", "carl"}));
  EXPECT_EQ(ds_.SourceRecordCount(), 3);  // what the source holds
}

// A failed copy still ends the load on both datasets: the flags are cleared
// and neither dataset's controls stay disabled.
TEST_F(ImportTest, AFailedCopyLeavesBothDatasetsUsable) {
  FillSource({{"1", "anna", "", ""}, {"2", "bert", "", ""}});
  ds_.FieldDefs().Add("id", db::FieldType::ftInteger);
  ds_.FieldDefs().Add("name", db::FieldType::ftInteger);  // "anna" cannot go in
  ds_.FieldDefs().Add("amount", db::FieldType::ftFloat);
  ds_.FieldDefs().Add("born", db::FieldType::ftDate);

  EXPECT_THROW(ds_.ImportFromDataset(source_), db::ConversionError);

  EXPECT_FALSE(ds_.InternalLoading());
  EXPECT_FALSE(ds_.MasterDetailSuspended());
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_FALSE(source_.ControlsDisabled());
  ASSERT_TRUE(ds_.Active());
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecordCount(), 0);  // the failing row was dropped, not posted

  TVoQueryDataSet unconnected;
  EXPECT_THROW(unconnected.ImportFromDataset(source_), db::DatabaseError);
  EXPECT_FALSE(source_.ControlsDisabled());
}

// ---- Master/detail ----

// Master m (ID, NAME) on its rows 1, 2, 3; detail d (ITEM, MID, ID) whose MID
// names a master row. Master row 3 has no detail rows.
class MasterDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillMaster(master_);
    FillDetail(detail_, db::FieldType::ftString);
    master_.SetName("Master");
    detail_.SetName("Detail");
    detail_.BeforeScroll = [this](db::DataSet&) { ++detail_refreshes_; };
  }

  static void FillMaster(TVoQueryDataSet& ds) {
    Fill(ds, {{"ID", db::FieldType::ftInteger}, {"NAME", db::FieldType::ftString, 10}},
         {{"1", "one"}, {"2", "two"}, {"3", "three"}});
  }
  static void FillDetail(TVoQueryDataSet& ds, db::FieldType mid_type) {
    Fill(ds,
         {{"ITEM", db::FieldType::ftString, 10},
          {"MID", mid_type, 10},
          {"ID", db::FieldType::ftInteger}},
         {{"a", "1", "2"}, {"b", "2", "1"}, {"c", "1", "3"}, {"d", "2", "2"}});
  }

  void Link(const Texts& master_fields) {
    detail_.SetMasterFields(master_fields);
    detail_.SetMasterSource(&master_source_);
  }

  TVoQueryDataSet master_;
  TVoQueryDataSet detail_;
  db::DataSource master_source_{&master_};
  int detail_refreshes_ = 0;
};

// Moving the master shows the detail rows that match its new current row; a
// line without "=" names the same field on both sides; values of other types
// match when equal as values or by their texts.
TEST_F(MasterDetailTest, TheDetailFollowsTheMastersCurrentRow) {
  const struct {
    const char* name;
    Texts master_fields;
    db::FieldType mid_type;
    Texts per_master_row[3];
  } cases[] = {
      {"MID=ID, MID a text", {"MID=ID"}, db::FieldType::ftString, {{"a", "c"}, {"b", "d"}, {}}},
      {"MID=ID, MID a whole number",
       {"MID=ID"},
       db::FieldType::ftInteger,
       {{"a", "c"}, {"b", "d"}, {}}},
      {"MID=ID, MID a float", {"MID=ID"}, db::FieldType::ftFloat, {{"a", "c"}, {"b", "d"}, {}}},
      {"ID, without \"=\"", {"ID"}, db::FieldType::ftString, {{"b"}, {"a", "d"}, {"c"}}},
      {"two lines", {"MID=ID", "ID"}, db::FieldType::ftString, {{}, {"d"}, {}}},
      {"no lines",
       {},
       db::FieldType::ftString,
       {{"a", "b", "c", "d"}, {"a", "b", "c", "d"}, {"a", "b", "c", "d"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVoQueryDataSet master;
    TVoQueryDataSet detail;
    FillMaster(master);
    FillDetail(detail, c.mid_type);
    db::DataSource source(&master);
    detail.SetMasterFields(c.master_fields);
    detail.SetMasterSource(&source);
    EXPECT_TRUE(detail.Filtered());
    for (int row = 0; row < 3; ++row) {
      master.SetRecNo(row + 1);
      // Refreshed and on its first row, before anything moves it.
      const Texts& shown = c.per_master_row[row];
      EXPECT_EQ(Current(detail, "ITEM"), shown.empty() ? "<none>" : shown.front());
      EXPECT_EQ(Values(detail, "ITEM"), shown) << "master row " << row + 1;
    }
  }
}

// A pair whose name part is no field is tried again with the whole line as the
// field name on both sides: a field whose name holds "=" can be linked.
TEST(MasterDetailNamesTest, AFieldNameHoldingEqualsIsLinkedByTheWholeLine) {
  TVoQueryDataSet master, detail;
  Fill(master, {{"K=V", db::FieldType::ftString, 5}}, {{"x"}, {"y"}});
  Fill(detail, {{"K=V", db::FieldType::ftString, 5}, {"N", db::FieldType::ftInteger}},
       {{"x", "1"}, {"y", "2"}, {"x", "3"}});
  db::DataSource source(&master);
  detail.SetMasterFields({"K=V"});
  detail.SetMasterSource(&source);
  master.First();
  EXPECT_EQ(Values(detail, "N"), (Texts{"1", "3"}));

  // When the whole line is no field either, the error reaches the caller.
  detail.SetMasterFields({"NOPE=K=V"});
  EXPECT_THROW(master.Next(), db::DatabaseError);
  detail.SetMasterSource(nullptr);
}

// The detail is refreshed while it holds records, even when its filter shows
// none of them; a detail that holds no records is left alone.
TEST_F(MasterDetailTest, OnlyADetailThatHoldsRecordsIsRefreshed) {
  Link({"MID=ID"});
  master_.Last();  // row 3: no detail row shows
  EXPECT_TRUE(detail_.IsEmpty());
  detail_refreshes_ = 0;
  master_.First();
  EXPECT_GT(detail_refreshes_, 0);
  EXPECT_EQ(Current(detail_, "ITEM"), "a");

  TVoQueryDataSet empty;
  Fill(empty, {{"MID", db::FieldType::ftInteger}}, {});
  int refreshes = 0;
  empty.BeforeScroll = [&](db::DataSet&) { ++refreshes; };
  empty.SetMasterFields({"MID=ID"});
  empty.SetMasterSource(&master_source_);
  master_.Next();
  EXPECT_EQ(refreshes, 0);
  empty.SetMasterSource(nullptr);
}

// While the master loads or saves, moving it leaves the details where they
// are; while the detail does, its filter shows every record.
TEST_F(MasterDetailTest, SuspendedDatasetsDoNotFollow) {
  Link({"MID=ID"});
  master_.First();
  detail_.Last();
  ASSERT_EQ(detail_.FieldByName("ITEM").AsString(), "c");
  master_.SetMasterDetailSuspended(true);
  detail_refreshes_ = 0;
  master_.Next();
  EXPECT_EQ(detail_refreshes_, 0);
  EXPECT_EQ(detail_.FieldByName("ITEM").AsString(), "c");
  master_.SetMasterDetailSuspended(false);

  detail_.SetMasterDetailSuspended(true);
  detail_.Refresh();
  EXPECT_EQ(Values(detail_, "ITEM"), (Texts{"a", "b", "c", "d"}));
  detail_.SetMasterDetailSuspended(false);
  detail_.SetMasterSource(nullptr);
}

TEST_F(MasterDetailTest, ChangingTheMasterSourceMovesTheDetailBetweenLists) {
  TVoQueryDataSet other;
  FillMaster(other);
  db::DataSource other_source(&other);
  Link({"MID=ID"});
  EXPECT_EQ(master_.DetailDatasets(), std::vector<TVoQueryDataSet*>{&detail_});

  detail_.SetMasterSource(&other_source);
  EXPECT_TRUE(master_.DetailDatasets().empty());
  EXPECT_EQ(other.DetailDatasets(), std::vector<TVoQueryDataSet*>{&detail_});
  EXPECT_EQ(detail_.PreviousMasterSource(), &master_source_);

  detail_refreshes_ = 0;
  master_.Next();
  EXPECT_EQ(detail_refreshes_, 0);
  other.SetRecNo(2);
  EXPECT_GT(detail_refreshes_, 0);
  EXPECT_EQ(Current(detail_, "ITEM"), "b");

  // Unlinking keeps the previous source and leaves the detail open and filtered.
  detail_.SetMasterSource(nullptr);
  EXPECT_TRUE(other.DetailDatasets().empty());
  EXPECT_EQ(detail_.PreviousMasterSource(), &other_source);
  EXPECT_TRUE(detail_.Active());
  EXPECT_TRUE(detail_.Filtered());
  detail_.Refresh();
  EXPECT_EQ(Values(detail_, "ITEM"), (Texts{"a", "b", "c", "d"}));
}

TEST_F(MasterDetailTest, WritingAMasterSourceOpensTheDetailAndSwitchesItsFilterOn) {
  TVoQueryDataSet closed;
  closed.FieldDefs().Add("MID", db::FieldType::ftInteger);
  closed.CreateDataset();
  closed.SetMasterSource(&master_source_);
  EXPECT_TRUE(closed.Active());
  EXPECT_TRUE(closed.Filtered());
  EXPECT_EQ(master_.DetailDatasets(), std::vector<TVoQueryDataSet*>{&closed});

  // Writing none does the same.
  closed.Close();
  closed.SetFiltered(false);
  closed.SetMasterSource(nullptr);
  EXPECT_TRUE(closed.Active());
  EXPECT_TRUE(closed.Filtered());
  EXPECT_TRUE(master_.DetailDatasets().empty());
}

// A dataset that would be its own master, directly or through others, would
// refresh itself without end: the write is refused and changes nothing.
TEST_F(MasterDetailTest, ALinkThatWouldFormACycleIsRefused) {
  TVoQueryDataSet third;
  FillMaster(third);
  third.SetName("Third");
  db::DataSource detail_source(&detail_), third_source(&third);
  Link({"MID=ID"});                       // master -> detail
  third.SetMasterSource(&detail_source);  // detail -> third
  const struct {
    const char* name;
    TVoQueryDataSet* dataset;
    db::DataSource* source;
  } cases[] = {
      {"itself", &master_, &master_source_},
      {"its detail", &master_, &detail_source},
      {"its detail's detail", &master_, &third_source},
      {"a detail to its own detail", &detail_, &third_source},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    db::DataSource* before = c.dataset->MasterSource();
    const bool filtered = c.dataset->Filtered();
    try {
      c.dataset->SetMasterSource(c.source);
      ADD_FAILURE() << "accepted";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), c.dataset->Name() + " : Circular master/detail link");
    }
    EXPECT_EQ(c.dataset->MasterSource(), before);
    EXPECT_EQ(c.dataset->Filtered(), filtered);
  }
  EXPECT_EQ(master_.DetailDatasets(), std::vector<TVoQueryDataSet*>{&detail_});
  EXPECT_EQ(detail_.DetailDatasets(), std::vector<TVoQueryDataSet*>{&third});
  EXPECT_TRUE(third.DetailDatasets().empty());
  EXPECT_NO_THROW(master_.Next());
  third.SetMasterSource(nullptr);
  detail_.SetMasterSource(nullptr);
}

TEST_F(MasterDetailTest, AMasterThatIsNoQueryDatasetIsRefusedBeforeAnythingChanges) {
  TVoBufDataset plain;
  Fill(plain, {{"ID", db::FieldType::ftInteger}}, {{"1"}});
  db::DataSource plain_source(&plain);
  detail_.Close();
  try {
    detail_.SetMasterSource(&plain_source);
    ADD_FAILURE() << "accepted";
  } catch (const db::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid class typecast");
  }
  EXPECT_EQ(detail_.MasterSource(), nullptr);
  EXPECT_FALSE(detail_.Active());
  EXPECT_FALSE(detail_.Filtered());
}

// A dataset destroyed while linked leaves nothing pointing at it (ASan sees a
// dangling entry): its master forgets it, its details lose their master and
// keep their rows.
TEST_F(MasterDetailTest, DestroyingALinkedDatasetUnlinksIt) {
  auto middle = std::make_unique<TVoQueryDataSet>();
  FillDetail(*middle, db::FieldType::ftString);
  db::DataSource middle_source(middle.get());
  middle->SetMasterFields({"MID=ID"});
  middle->SetMasterSource(&master_source_);
  Link({"ID"});
  detail_.SetMasterSource(&middle_source);
  master_.SetRecNo(2);  // the middle shows b (ID 1) and d; the detail, b
  ASSERT_EQ(detail_.FieldByName("ITEM").AsString(), "b");

  detail_refreshes_ = 0;
  middle.reset();
  EXPECT_TRUE(master_.DetailDatasets().empty());
  EXPECT_EQ(detail_.MasterSource(), nullptr);
  EXPECT_EQ(detail_.PreviousMasterSource(), &middle_source);
  EXPECT_EQ(detail_refreshes_, 0);  // not refreshed on the way out
  EXPECT_TRUE(detail_.Filtered());
  EXPECT_EQ(detail_.FieldByName("ITEM").AsString(), "b");
  master_.Next();
  EXPECT_EQ(detail_refreshes_, 0);
  EXPECT_EQ(Values(detail_, "ITEM"), (Texts{"a", "b", "c", "d"}));

  // A master destroyed first, and a detail destroyed first.
  auto master = std::make_unique<TVoQueryDataSet>();
  FillMaster(*master);
  db::DataSource source(master.get());
  detail_.SetMasterSource(&source);
  master.reset();
  EXPECT_EQ(detail_.MasterSource(), nullptr);
  EXPECT_NO_THROW(detail_.Refresh());

  auto detail = std::make_unique<TVoQueryDataSet>();
  FillDetail(*detail, db::FieldType::ftString);
  detail->SetMasterFields({"MID=ID"});
  detail->SetMasterSource(&master_source_);
  detail.reset();
  EXPECT_TRUE(master_.DetailDatasets().empty());
  EXPECT_NO_THROW(master_.First());
}

// A post that began as an edit, an insert and a delete on the master let the
// details follow its current row.
TEST_F(MasterDetailTest, EditsInsertsAndDeletesOfTheMasterMoveTheDetails) {
  Link({"MID=ID"});
  master_.First();
  ASSERT_EQ(Current(detail_, "ITEM"), "a");
  master_.Edit();
  master_.FieldByName("ID").SetAsInteger(2);
  master_.Post();
  EXPECT_EQ(Current(detail_, "ITEM"), "b");

  master_.Append();  // a new row has no ID: no detail row matches
  EXPECT_EQ(Current(detail_, "ITEM"), "<none>");
  master_.Cancel();

  master_.Last();
  EXPECT_EQ(Current(detail_, "ITEM"), "<none>");
  master_.Delete();  // row 3 goes; the row before it, ID 2, is current
  EXPECT_EQ(master_.FieldByName("ID").AsInteger(), 2);
  EXPECT_EQ(Current(detail_, "ITEM"), "b");
}

// ---- The row before a change, and the post marks ----

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(ds_); }

  // ID, NAME (required), PRICE on the rows 1, 2 and 3.
  static void Build(TVoQueryDataSet& ds) {
    Fill(ds,
         {{"ID", db::FieldType::ftInteger},
          {"NAME", db::FieldType::ftString, 8, true},
          {"PRICE", db::FieldType::ftFloat}},
         {{"1", "anna", "1.5"}, {"2", "bert", ""}, {"3", "carl", "3.25"}});
  }

  static Texts Snapshot(TVoQueryDataSet& ds) {
    TVoBufDataset& old = ds.OldValuesBuffer();
    Texts row;
    if (!old.Active()) return row;
    EXPECT_EQ(old.RecordCount(), 1);
    old.First();
    for (int i = 0; i < old.FieldCount(); ++i) {
      row.push_back(old.Fields(i).IsNull() ? "<null>" : old.Fields(i).AsString());
    }
    return row;
  }

  TVoQueryDataSet ds_;
};

TEST_F(SnapshotTest, HoldsTheRowThatWasCurrentBeforeTheChangeBegan) {
  const struct {
    const char* name;
    void (*change)(TVoQueryDataSet&);
  } cases[] = {
      {"edit",
       [](TVoQueryDataSet& ds) {
         ds.Edit();
         ds.FieldByName("NAME").SetAsString("zed");
         ds.Post();
       }},
      {"insert",
       [](TVoQueryDataSet& ds) {
         ds.Insert();
         ds.FieldByName("NAME").SetAsString("new");
         ds.Post();
       }},
      {"delete", [](TVoQueryDataSet& ds) { ds.Delete(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVoQueryDataSet ds;
    Build(ds);
    ds.First();
    ds.Edit();  // an earlier snapshot, to be replaced
    ds.Cancel();
    ds.SetRecNo(2);
    c.change(ds);
    EXPECT_EQ(Snapshot(ds), (Texts{"2", "bert", "<null>"}));
    const db::FieldDefList& defs = ds.OldValuesBuffer().FieldDefs();
    ASSERT_EQ(defs.Count(), 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(defs[i].Name, ds.FieldDefs()[i].Name);
      EXPECT_EQ(defs[i].DataType, ds.FieldDefs()[i].DataType);
      EXPECT_EQ(defs[i].Size, ds.FieldDefs()[i].Size);
      EXPECT_EQ(defs[i].Required, ds.FieldDefs()[i].Required);
    }
  }
}

// With no current row the snapshot is a row of nulls, also for a required
// field: inserting into an empty dataset must not fail on it.
TEST_F(SnapshotTest, AnInsertIntoAnEmptyDatasetSnapshotsNulls) {
  ds_.DeleteAllRows();
  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("first");
  ds_.Post();
  EXPECT_EQ(Snapshot(ds_), (Texts{"<null>", "<null>", "<null>"}));
  EXPECT_EQ(ds_.RecordCount(), 1);
}

TEST_F(SnapshotTest, PostWasEditTellsAnEditFromAnInsert) {
  ds_.Edit();
  ds_.FieldByName("NAME").SetAsString("x");
  ds_.Post();
  EXPECT_TRUE(ds_.PostWasEdit());
  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("y");
  ds_.Post();
  EXPECT_FALSE(ds_.PostWasEdit());
  ds_.Edit();  // an edit of an empty change is a post too
  ds_.Post();
  EXPECT_TRUE(ds_.PostWasEdit());
}

class SnapshotLoadTest : public QueryDataSetFixture {
 protected:
  SnapshotLoadTest() : QueryDataSetFixture("id;name\n1;a\n2;b\n") {}
};

// Rows that a load removes and adds are no user's change: the snapshot taken
// before the load stays.
TEST_F(SnapshotLoadTest, LoadsTakeNoSnapshot) {
  ds_.SetTableName("t");
  ds_.ReadTableFile();
  EXPECT_FALSE(ds_.OldValuesBuffer().Active());
  ds_.Last();
  ds_.Edit();
  ds_.Cancel();
  ds_.ReadTableFile();
  Run({"select id, name from t"});
  TVoBufDataset source;
  Fill(source, {{"id", db::FieldType::ftInteger}}, {{"9"}});
  ds_.ImportFromDataset(source);
  TVoBufDataset& old = ds_.OldValuesBuffer();
  ASSERT_TRUE(old.Active());
  old.First();
  EXPECT_EQ(old.FieldByName("id").AsString(), "2");
  EXPECT_EQ(old.FieldByName("name").AsString(), "b");
}

}  // namespace

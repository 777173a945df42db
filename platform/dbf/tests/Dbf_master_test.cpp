// Master and detail tables: the detail shows the rows of the master's current
// key and follows the master's moves (also with its controls disabled), the
// after-scroll events of the detail, and a post while the master has no row.
#include "DbfTestUtil.h"

namespace {

using dbf::FieldKind;

class DbfMasterTest : public DbfTest {
 protected:
  void SetUp() override {
    DbfTest::SetUp();
    projects_ =
        &Table("Projects.dbf",
               {{"PROJECT_ID", FieldKind::kAutoInc}, {"PROJECTNAME", FieldKind::kCharacter, 20}},
               {{"IDX_PROJECTS_PROJECT_ID", "PROJECT_ID", dbf::ixPrimary | dbf::ixUnique}});
    tables_t_ = &Table("Tables.dbf",
                       {{"PROJECT_ID", FieldKind::kInteger},
                        {"TABLE_ID", FieldKind::kAutoInc},
                        {"TABLENAME", FieldKind::kCharacter, 20}},
                       {{"IDX_TABLES_PROJECT_ID", "PROJECT_ID", 0},
                        {"IDX_TABLES_TABLE_ID", "TABLE_ID", dbf::ixPrimary | dbf::ixUnique}});
    fields_t_ = &Table("Fields.dbf",
                       {{"TABLE_ID", FieldKind::kInteger},
                        {"FIELD_ID", FieldKind::kAutoInc},
                        {"FIELDNAME", FieldKind::kCharacter, 20}},
                       {{"IDX_FIELDS_TABLE_ID", "TABLE_ID", 0}});
    Link(*tables_t_, *projects_, "Project_id", "IDX_TABLES_PROJECT_ID");
    Link(*fields_t_, *tables_t_, "TABLE_ID", "IDX_FIELDS_TABLE_ID");
  }

  // A detail linked the way the catalogue links it, with the catalogue's
  // before-post rule: the link field takes the master's current key.
  static void Link(dbf::TDbf& detail, dbf::TDbf& master, const std::string& key,
                   const std::string& tag) {
    detail.SetMasterSource(&master);
    detail.SetMasterFields(key);
    detail.SetIndexName(tag);
    detail.BeforePost = [&master, key](db::DataSet& d) {
      d.FieldByName(key).SetAsInteger(master.FieldByName(key).AsInteger());
    };
  }

  void OpenAll() {
    projects_->Open();
    tables_t_->Open();
    fields_t_->Open();
  }

  // Two projects; tables a and c in the first, b in the second; fields of a.
  void Fill() {
    OpenAll();
    AddRow(*projects_, {{"PROJECTNAME", "one"}});
    AddRow(*projects_, {{"PROJECTNAME", "two"}});
    projects_->First();
    AddRow(*tables_t_, {{"TABLENAME", "a"}});
    AddRow(*fields_t_, {{"FIELDNAME", "a.x"}});
    AddRow(*fields_t_, {{"FIELDNAME", "a.y"}});
    projects_->Next();
    AddRow(*tables_t_, {{"TABLENAME", "b"}});
    projects_->First();
    AddRow(*tables_t_, {{"TABLENAME", "c"}});
  }

  dbf::TDbf* projects_ = nullptr;
  dbf::TDbf* tables_t_ = nullptr;
  dbf::TDbf* fields_t_ = nullptr;
};

TEST_F(DbfMasterTest, DetailShowsTheMasterRowsAndFollowsItsMoves) {
  Fill();
  projects_->First();
  EXPECT_EQ(Column(*tables_t_, "TABLENAME"), (std::vector<std::string>{"a", "c"}));
  tables_t_->First();
  EXPECT_EQ(Column(*fields_t_, "FIELDNAME"), (std::vector<std::string>{"a.x", "a.y"}));
  projects_->Next();
  EXPECT_EQ(Column(*tables_t_, "TABLENAME"), (std::vector<std::string>{"b"}));
  // The grandchild follows its own master, which the move put on "b".
  EXPECT_TRUE(fields_t_->IsEmpty());
  EXPECT_EQ(tables_t_->FieldByName("PROJECT_ID").AsInteger(), 2);
}

TEST_F(DbfMasterTest, DetailFollowsWhileTheMasterControlsAreDisabled) {
  Fill();
  projects_->First();
  projects_->DisableControls();
  tables_t_->DisableControls();
  projects_->Next();
  EXPECT_EQ(Column(*tables_t_, "TABLENAME"), (std::vector<std::string>{"b"}));
  tables_t_->EnableControls();
  projects_->EnableControls();
}

TEST_F(DbfMasterTest, CascadeWalkingTheMasterReachesEachRowsDetails) {
  Fill();
  projects_->First();
  tables_t_->DisableControls();
  while (!tables_t_->IsEmpty()) {
    while (!fields_t_->IsEmpty()) fields_t_->Delete();
    tables_t_->Delete();
  }
  tables_t_->EnableControls();
  projects_->Delete();
  EXPECT_EQ(Column(*projects_, "PROJECTNAME"), (std::vector<std::string>{"two"}));
  EXPECT_EQ(Column(*tables_t_, "TABLENAME"), (std::vector<std::string>{"b"}));
  tables_t_->SetMasterSource(nullptr);
  EXPECT_EQ(Column(*tables_t_, "TABLENAME"), (std::vector<std::string>{"b"}));
  fields_t_->SetMasterSource(nullptr);
  EXPECT_TRUE(fields_t_->IsEmpty());
}

TEST_F(DbfMasterTest, DetailAfterScrollFiresOnOpenWithRowsDeleteInsertAndMasterMoves) {
  Fill();
  projects_->First();
  tables_t_->Close();
  int scrolls = 0;
  tables_t_->AfterScroll = [&](db::DataSet&) { ++scrolls; };
  tables_t_->Open();
  EXPECT_EQ(scrolls, 1);
  projects_->Next();
  EXPECT_EQ(scrolls, 2);
  tables_t_->Append();
  EXPECT_EQ(scrolls, 3);
  tables_t_->Cancel();
  EXPECT_EQ(scrolls, 4);
  tables_t_->Delete();
  EXPECT_EQ(scrolls, 5);
  // Reopened on a project without tables: no after-scroll.
  tables_t_->Close();
  tables_t_->Open();
  EXPECT_TRUE(tables_t_->IsEmpty());
  EXPECT_EQ(scrolls, 5);
  // A master move refreshes the detail with its after-scroll, empty or not.
  projects_->First();
  EXPECT_EQ(scrolls, 6);
}

TEST_F(DbfMasterTest, PostWithoutAMasterRowIsRefusedAndStoresNothing) {
  OpenAll();
  const std::string before = ReadFile("Tables.dbf");
  tables_t_->Append();
  tables_t_->FieldByName("TABLENAME").SetAsString("orphan");
  try {
    tables_t_->Post();
    ADD_FAILURE() << "posted";
  } catch (const db::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("Tables.dbf"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("master table has no current row"), std::string::npos)
        << e.what();
  }
  tables_t_->Cancel();
  EXPECT_EQ(ReadFile("Tables.dbf"), before);
  // A closed master has no row either.
  projects_->Close();
  tables_t_->Append();
  tables_t_->FieldByName("TABLENAME").SetAsString("orphan");
  EXPECT_THROW(tables_t_->Post(), db::DatabaseError);
  tables_t_->Cancel();
  EXPECT_EQ(ReadFile("Tables.dbf"), before);
}

TEST_F(DbfMasterTest, NewMasterRowShowsNoDetailsUntilPostedThenItsOwn) {
  Fill();
  projects_->Append();
  EXPECT_TRUE(tables_t_->IsEmpty());
  projects_->FieldByName("PROJECTNAME").SetAsString("three");
  projects_->Post();
  EXPECT_TRUE(tables_t_->IsEmpty());
  AddRow(*tables_t_, {{"TABLENAME", "d"}});
  EXPECT_EQ(Column(*tables_t_, "PROJECT_ID"), (std::vector<std::string>{"3"}));
}

TEST_F(DbfMasterTest, TextKeysMatchWithoutRegardToCase) {
  dbf::TDbf& master = Table("M.dbf", {{"CODE", FieldKind::kCharacter, 5}});
  dbf::TDbf& detail =
      Table("D.dbf", {{"CODE", FieldKind::kCharacter, 5}, {"V", FieldKind::kInteger}},
            {{"IDX_D_CODE", "CODE", 0}});
  detail.SetMasterSource(&master);
  detail.SetMasterFields("code");
  detail.SetIndexName("IDX_D_CODE");
  master.Open();
  AddRow(master, {{"CODE", "Ab"}});
  detail.Open();
  for (const auto& [code, v] : {std::pair{"AB", "1"}, {"ab", "2"}, {"abc", "3"}}) {
    AddRow(detail, {{"CODE", code}, {"V", v}});
  }
  master.First();
  EXPECT_EQ(Column(detail, "V"), (std::vector<std::string>{"1", "2"}));
}

TEST_F(DbfMasterTest, DetailNeedsAnActiveTag) {
  tables_t_->SetIndexName("");
  projects_->Open();
  EXPECT_THROW(tables_t_->Open(), db::DatabaseError);
  // Linking an open table without a tag is refused and leaves it unlinked.
  tables_t_->SetMasterSource(nullptr);
  tables_t_->Open();
  AddRow(*projects_, {{"PROJECTNAME", "one"}});
  EXPECT_THROW(tables_t_->SetMasterSource(projects_), db::DatabaseError);
  projects_->Next();
  EXPECT_TRUE(tables_t_->Active());
}

TEST_F(DbfMasterTest, DetailOutlivingItsMasterIsUnlinked) {
  OpenAll();
  tables_.erase(tables_.begin());  // the Projects table
  tables_t_->Refresh();
  EXPECT_TRUE(tables_t_->Active());
}

}  // namespace

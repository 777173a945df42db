// Projects and table registration: the connection following the project, the
// chosen project folder, the table name taken from a file name, registering a
// file with its fields, and the refusals that keep a failed registration from
// touching another table.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FieldsSchema.h"
#include "TableNames.h"
#include "operations_fixture.h"

namespace app::testing {
namespace {

const std::string kRegister =
    "Do you want to register selected file as a table of the current project?";
const std::string kApplyFolder = "Do you want to apply selected folder as the project folder";

TEST(TableNameOfFileTest, TheBaseNameBeforeItsLastDot) {
  struct Case {
    std::string file, base, table;
  };
  const std::vector<Case> cases = {
      {"/data/orders.txt", "orders.txt", "orders"},
      {"/data/orders.csv.txt", "orders.csv.txt", "orders.csv"},
      {"C:\\data\\shop.txt", "shop.txt", "shop"},
      {"a/b\\c.txt", "c.txt", "c"},
      {"orders.txt", "orders.txt", "orders"},
      {"/data/README", "README", "README"},
      {"/data/.txt", ".txt", ""},
      {"/data/", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(BaseFileName(c.file), c.base);
    EXPECT_EQ(TableNameOfFile(c.file), c.table);
  }
}

TEST(TableNameProblemTest, NamesThatLeaveTheFolderAreRefused) {
  const std::vector<std::string> refused = {"../x", "a/b", "a\\b", std::string("a\0b", 3), ".",
                                            ".."};
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TableNameProblem(name).rfind("Invalid table name: ", 0), 0u);
  }
  for (const std::string name : {"orders", "orders.csv", "my orders", "..x", "", "a..b"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TableNameProblem(name), "");
  }
}

class ProjectOperationsTest : public OperationsTest {
 protected:
  bool Register(const std::string& file) {
    return RegisterTableFile(*catalogue_, connection_, messages_, file);
  }
  Texts TableNames() { return Shown(catalogue_->Tables(), "TABLENAME"); }
  Texts FieldNames() { return Shown(catalogue_->Fields(), "FIELDNAME"); }
};

TEST_F(ProjectOperationsTest, TheProjectFolderIsWhatTheFileEditsShow) {
  EXPECT_EQ(shown_folder_, ProjectFolder() + "/");
  EXPECT_EQ(connection_.DatabaseFolder(), ProjectFolder() + "/");
  EXPECT_EQ(OpenCurrentProject(connection_, "shop"), Folder() + "/shop/");
  EXPECT_EQ(TableFileDialogFolder(*catalogue_), ProjectFolder());
}

TEST_F(ProjectOperationsTest, AChosenFolderBecomesTheProjectsPath) {
  const std::string other = folder_.File("other");
  std::filesystem::create_directory(other);
  messages_.answers = {false};
  EXPECT_FALSE(AcceptProjectFolder(*catalogue_, messages_, other));
  EXPECT_EQ(catalogue_->Projects().FieldByName("PROJECTPATH").AsString(), ProjectFolder());

  EXPECT_TRUE(AcceptProjectFolder(*catalogue_, messages_, other));
  EXPECT_EQ(messages_.Texts(), (Texts{kApplyFolder, kApplyFolder}));
  EXPECT_EQ(catalogue_->Projects().FieldByName("PROJECTPATH").AsString(), other);
  EXPECT_EQ(connection_.DatabasePath(), other);
  EXPECT_EQ(shown_folder_, other + "/");
}

TEST_F(ProjectOperationsTest, AFolderChosenWithoutAProjectMakesANamelessOne) {
  catalogue_->Projects().Delete();
  ASSERT_TRUE(catalogue_->Projects().IsEmpty());
  EXPECT_TRUE(AcceptProjectFolder(*catalogue_, messages_, ProjectFolder()));
  EXPECT_EQ(Shown(catalogue_->Projects(), "PROJECTPATH"), (Texts{ProjectFolder()}));
  EXPECT_EQ(Shown(catalogue_->Projects(), "PROJECTNAME"), (Texts{""}));
}

TEST_F(ProjectOperationsTest, APathTooLongIsRefusedAndTheRowLeftAsItWas) {
  EXPECT_THROW(AcceptProjectFolder(*catalogue_, messages_, std::string(300, 'p')),
               db::DatabaseError);
  EXPECT_EQ(catalogue_->Projects().State(), db::DataSetState::kBrowse);
  EXPECT_EQ(catalogue_->Projects().FieldByName("PROJECTPATH").AsString(), ProjectFolder());
}

TEST_F(ProjectOperationsTest, ARegisteredFileGetsItsFieldsFromTheProjectsFile) {
  WriteTable("orders.csv", "id;name;price\n1;a;2\n");
  EXPECT_TRUE(Register("/elsewhere/orders.csv.txt"));
  EXPECT_EQ(messages_.Texts(), (Texts{kRegister}));
  EXPECT_EQ(TableNames(), (Texts{"orders.csv"}));
  EXPECT_EQ(catalogue_->Tables().FieldByName("TABLENAME").AsString(), "orders.csv");
  EXPECT_EQ(FieldNames(), (Texts{"id", "name", "price"}));
}

TEST_F(ProjectOperationsTest, AFileWithoutADotRegistersItsWholeName) {
  WriteTable("README", "a\n");
  EXPECT_TRUE(Register("/data/README"));
  EXPECT_EQ(TableNames(), (Texts{"README"}));
  EXPECT_EQ(FieldNames(), (Texts{"a"}));
}

TEST_F(ProjectOperationsTest, ARegisteredFileMissingFromTheProjectIsReported) {
  EXPECT_TRUE(Register("/elsewhere/ghost.txt"));
  ASSERT_EQ(messages_.Texts().size(), 2u);
  EXPECT_EQ(messages_.Texts()[1],
            "I could not retrieve fields schema information. Could not open file " +
                TablePath("ghost") + ": No such file or directory");
  EXPECT_EQ(TableNames(), (Texts{"ghost"}));
  EXPECT_EQ(FieldNames(), Texts{});
}

TEST_F(ProjectOperationsTest, AnsweringNoRegistersNothing) {
  messages_.answers = {false};
  EXPECT_FALSE(Register("/data/orders.txt"));
  EXPECT_EQ(messages_.Texts(), (Texts{kRegister}));
  EXPECT_EQ(TableNames(), Texts{});
}

TEST_F(ProjectOperationsTest, AFailedRegistrationLeavesTheCurrentTableAlone) {
  struct Case {
    std::string name, file, table;
  };
  const std::vector<Case> cases = {
      {"empty name", "/data/.txt", ""},
      {"name too long", "/data/" + std::string(120, 'n') + ".txt", std::string(120, 'n')},
      {"dot dot", "/data/...txt", ".."},
  };
  WriteTable("orders", "id\n");
  AddTable("orders");
  AddField("id");
  AddField("kept");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Register(c.file));
    const std::string base = BaseFileName(c.file);
    EXPECT_EQ(TakeTexts(), (Texts{kRegister, "The " + base +
                                                 " file could not be registered as table: " +
                                                 c.table + " in the project: shop"}));
    EXPECT_EQ(catalogue_->Tables().State(), db::DataSetState::kBrowse);
    EXPECT_EQ(TableNames(), (Texts{"orders"}));
    EXPECT_EQ(FieldNames(), (Texts{"id", "kept"}));
  }
}

TEST_F(ProjectOperationsTest, WithoutAProjectTheRegistrationFails) {
  catalogue_->Projects().Delete();
  EXPECT_FALSE(Register("/data/orders.txt"));
  EXPECT_EQ(messages_.Texts(),
            (Texts{kRegister,
                   "The orders.txt file could not be registered as table: orders in the project: "}));
  EXPECT_EQ(catalogue_->Tables().State(), db::DataSetState::kBrowse);
}

TEST_F(ProjectOperationsTest, TypedTableNamesLeavingTheFolderAreRefusedAtPost) {
  GuardTableNames(*catalogue_);
  dbf::TDbf& tables = catalogue_->Tables();
  for (const std::string name : {"../up", "a/b", "a\\b", ".", ".."}) {
    SCOPED_TRACE(name);
    tables.Append();
    tables.FieldByName("TABLENAME").SetAsString(name);
    EXPECT_THROW(tables.Post(), db::DatabaseError);
    EXPECT_EQ(tables.State(), db::DataSetState::kInsert);
    tables.Cancel();
  }
  // The catalogue's own rule still stamps the project.
  AddTable("fine");
  EXPECT_EQ(tables.FieldByName("PROJECT_ID").AsInteger(),
            catalogue_->Projects().FieldByName("PROJECT_ID").AsInteger());
  EXPECT_EQ(TableNames(), (Texts{"fine"}));
}

}  // namespace
}  // namespace app::testing

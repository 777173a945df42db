// The export dialog driven through its widgets: the file chosen or typed, the
// bytes written for the query result, the table data and typed fields, the
// position kept, and the failures, which leave an existing file as it was.
#include "FormExportToCSV.h"

#include <QLineEdit>
#include <QToolButton>

#include "FileChoosers.h"
#include "dialogs_fixture.h"

namespace {

namespace fs = std::filesystem;
using app_testing::ReadBytes;

class FormExportToCSVTest : public app_testing::DialogsTest {
 protected:
  app::FormExportToCSV& Dialog() { return window_->GetFormExportToCSV(); }
  fs::path Target() const { return work_.Path() / "out.csv"; }
  void TypeFileName(const std::string& name) {
    QLineEdit* edit = Dialog().FileNameEdit1()->Edit();
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(name));
  }
  void Save() { Click(Dialog(), "Button1"); }
  std::string Done() const { return "Dataset is successfully exported to the file: " + Target().string(); }
};

TEST_F(FormExportToCSVTest, ExportsTheQueryResultAndGoesBackToTheRow) {
  TVoQueryDataSet& result = RunQuery("SELECT ID, NAME, CITY FROM t");
  // A value typed into the grid with a quote in it.
  result.Edit();
  result.FieldByName("NAME").SetAsString("a\"b");
  result.Post();
  result.Next();
  result.Next();
  ClickWindowButton("ButtonExportQueryResult");
  // The file is chosen through the file dialog.
  Dialog().FileNameEdit1()->SetDialog(
      [this](QWidget*, const QString&) { return QString::fromStdString(Target().string()); });
  QTest::mouseClick(Dialog().FileNameEdit1()->Button(), Qt::LeftButton);
  EXPECT_EQ(Dialog().FileNameEdit1()->FileName().toStdString(), Target().string());
  Save();
  EXPECT_EQ(Texts(), std::vector<std::string>{Done()});
  EXPECT_EQ(ReadBytes(Target()),
            "ID;NAME;CITY\n"
            "\"1\";\"a\"\"b\";\"Rome\"\n"
            "\"2\";\"bob\";\"Oslo\"\n"
            "\"3\";\"cid\";\"Rome\"\n"
            "\"4\";\"Bob\";\"\"\n");
  EXPECT_EQ(result.FieldByName("NAME").AsString(), "cid");
  EXPECT_FALSE(result.ControlsDisabled());
}

TEST_F(FormExportToCSVTest, ExportsOnlyTheRowsTheFilterShows) {
  TVoQueryDataSet& data = LoadTableData();
  data.SetFilterText("CITY = 'Rome'");
  data.SetFiltered(true);
  ClickWindowButton("ButtonExportCSVTableData");
  TypeFileName(Target().string());
  Save();
  EXPECT_EQ(Texts(), std::vector<std::string>{Done()});
  EXPECT_EQ(ReadBytes(Target()), "ID;NAME;CITY\n\"1\";\"ann\";\"Rome\"\n\"3\";\"cid\";\"Rome\"\n");
}

TEST_F(FormExportToCSVTest, TypedFieldsAreWrittenInTheirForms) {
  TVoBufDataset typed;
  app_testing::FillTyped(typed);
  typed.Last();
  window_->ShowExportDialog(typed);
  TypeFileName(Target().string());
  Save();
  EXPECT_EQ(Texts(), std::vector<std::string>{Done()});
  EXPECT_EQ(ReadBytes(Target()),
            "ID;NAME;PRICE;DAY;AT;OK\n"
            "7;\"a\"\"b\";2.5;2024-02-29;2024-02-29 18:00:00;True\n"
            ";\"x\";;;;\n"
            "9;\"\";-0.125;2024-03-01;2024-03-01 18:00:00;False\n"
            "11;\"y\";2.5;2024-02-29;2024-02-29 18:00:00;True\n");
  EXPECT_EQ(typed.FieldByName("ID").AsInteger(), 11);
}

TEST_F(FormExportToCSVTest, FailuresAreReportedAndLeaveTheOldFile) {
  app_testing::WriteBytes(Target(), "old\n");
  TVoQueryDataSet& result = RunQuery("SELECT ID, NAME FROM t");
  ClickWindowButton("ButtonExportQueryResult");

  TypeFileName("");
  Save();
  TypeFileName(Target().string());
  // The walk breaks off at the third row, after two rows were written.
  result.OnFilterRecord = [](db::DataSet& ds, bool&) {
    if (ds.FieldByName("ID").AsString() == "3") throw db::DatabaseError("row 3 unreadable");
  };
  result.SetFiltered(true);
  Save();
  result.OnFilterRecord = nullptr;
  result.SetFiltered(false);
  // Being edited, then closed as UnloadData leaves it.
  result.Edit();
  Save();
  result.Cancel();
  result.SetQueryExecuted(false);
  result.Close();
  Save();

  const std::string failed = " I could not export the dataset. ";
  EXPECT_EQ(Texts(), (std::vector<std::string>{failed + "No filename set for export",
                                               failed + "row 3 unreadable",
                                               failed + "Dataset not in browse mode",
                                               failed + "Dataset not in browse mode"}));
  EXPECT_EQ(ReadBytes(Target()), "old\n");
  // No temporary file is left beside it.
  for (const auto& entry : fs::directory_iterator(work_.Path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("out.csv.tmp")) << entry.path();
  }
}

}  // namespace

// The Projects and Tables pages used as a user uses them, offscreen: the
// folder and file choosers' buttons (their dialogs answered by the test), the
// fields schema buttons, Load Data, title clicks on the data grid's header,
// typing into a cell, Update CSV table and Unload Data. The files are
// compared byte for byte and the messages in order.
#include "TablesArea.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DBGrid.h"
#include "DBNavigator.h"
#include "FileChoosers.h"
#include "MainWindow.h"
#include "QtMessages.h"
#include "temp_folder.h"

namespace {

using app::DBGrid;
using app::MainWindow;
using Texts = std::vector<std::string>;

const std::string kApplyFolder = "Do you want to apply selected folder as the project folder";
const std::string kRegister =
    "Do you want to register selected file as a table of the current project?";
const std::string kAnnouncement = "Orlenda will try to load data now. Please, be patient.";
const std::string kFinished = "Finished!";

class TablesAreaTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(ProjectFolder());
    window_ = std::make_unique<MainWindow>(messages_, program_.Folder());
    window_->resize(1200, 800);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override { window_.reset(); }

  template <class T>
  T& Find(const char* name) {
    T* control = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return *control;
  }
  void Click(const char* button) { QTest::mouseClick(&Find<QPushButton>(button), Qt::LeftButton); }
  void ShowPage(const char* tabs, int index) { Find<QTabWidget>(tabs).setCurrentIndex(index); }

  std::string ProjectFolder() const { return project_.Path().string(); }
  std::string TablePath(const std::string& table) const {
    return ProjectFolder() + "/" + table + ".txt";
  }
  void WriteTable(const std::string& table, const std::string& bytes) const {
    std::ofstream(TablePath(table), std::ios::binary) << bytes;
  }
  std::string ReadTable(const std::string& table) const {
    std::ifstream in(TablePath(table), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  Texts TakeTexts() {
    Texts texts = messages_.Texts();
    messages_.entries.clear();
    return texts;
  }

  // The folder chooser's button, its dialog answering `folder`.
  void ChooseProjectFolder(const std::string& folder) {
    auto& edit = Find<app::DirectoryEdit>("DirectoryEditProjectFolder");
    edit.SetDialog([folder](QWidget*, const QString&) { return QString::fromStdString(folder); });
    QTest::mouseClick(edit.Button(), Qt::LeftButton);
  }
  // The table file chooser's button, its dialog answering `file`; returns the
  // folder the dialog was started in.
  QString ChooseTableFile(const std::string& file) {
    auto& edit = Find<app::FileNameEdit>("FileNameEditTableFile");
    QString started_in;
    edit.SetDialog([&](QWidget*, const QString& start) {
      started_in = start;
      return QString::fromStdString(file);
    });
    QTest::mouseClick(edit.Button(), Qt::LeftButton);
    return started_in;
  }
  // A project on the temporary folder with `table` registered from `bytes`.
  void RegisterTable(const std::string& table, const std::string& bytes) {
    WriteTable(table, bytes);
    ChooseProjectFolder(ProjectFolder());
    ChooseTableFile(TablePath(table));
    messages_.entries.clear();
  }

  DBGrid& DataGrid() { return Find<DBGrid>("DBGridCSVTable"); }
  Texts GridColumn(DBGrid& grid, int column) {
    Texts values;
    for (int row = 0; row < grid.Model().rowCount(); ++row) {
      values.push_back(grid.Model().index(row, column).data().toString().toStdString());
    }
    return values;
  }
  Texts GridTitles(DBGrid& grid) {
    Texts titles;
    for (int c = 0; c < grid.Model().columnCount(); ++c) {
      titles.push_back(grid.Model().headerData(c, Qt::Horizontal).toString().toStdString());
    }
    return titles;
  }
  void ClickTitle(DBGrid& grid, int column) {
    QHeaderView* header = grid.horizontalHeader();
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
  }
  Texts FieldNames() { return GridColumn(Find<DBGrid>("DBGridFields"), 0); }
  void AddField(const std::string& name) {
    dbf::TDbf& fields = window_->GetCatalogue().Fields();
    fields.Append();
    fields.FieldByName("FIELDNAME").SetAsString(name);
    fields.Post();
  }
  // Types `text` into the cell as a user does: the first key opens the cell's
  // editor, the rest go to it.
  void TypeInCell(DBGrid& grid, int row, int column, const QString& text) {
    grid.setFocus();
    grid.setCurrentIndex(grid.Model().index(row, column));
    QTest::keyClick(&grid, text.at(0).toLatin1());
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, &grid);
    QTest::keyClicks(editor, text.mid(1));
  }
  void DeleteField(const std::string& name) {
    dbf::TDbf& fields = window_->GetCatalogue().Fields();
    ASSERT_TRUE(fields.Locate("FIELDNAME", rtl::Variant::Text(name)));
    fields.Delete();
  }
  void LoadData() {
    ShowPage("PageControlTables", 1);
    Click("ButtonActivateCSVTablePreview");
  }

  app_testing::TempFolder program_;
  app_testing::TempFolder work_;
  app_testing::TempFolder project_;
  app_testing::WorkingDirectory cwd_{work_.Path()};
  app::RecordingMessages messages_;
  app::MessagesReporter reporter_{messages_};
  std::unique_ptr<MainWindow> window_;
};

// ---- Projects and registration ----

TEST_F(TablesAreaTest, AChosenFolderBecomesTheProjectAndTheFileEditsShowIt) {
  ShowPage("PageControl1", 0);
  ChooseProjectFolder(ProjectFolder());
  EXPECT_EQ(TakeTexts(), (Texts{kApplyFolder}));
  EXPECT_EQ(GridColumn(Find<DBGrid>("DBGridProjects"), 1), (Texts{ProjectFolder()}));
  EXPECT_EQ(GridColumn(Find<DBGrid>("DBGridProjects"), 0), (Texts{""}));
  const QString shown = QString::fromStdString(ProjectFolder() + "/");
  for (const char* edit :
       {"FileNameEditTableFile", "FileNameEditSaveQueryResult", "FileNameEditSaveQuerySQL"}) {
    SCOPED_TRACE(edit);
    EXPECT_EQ(Find<app::FileNameEdit>(edit).FileName(), shown);
    EXPECT_EQ(Find<app::FileNameEdit>(edit).InitialDir(), shown);
  }
  EXPECT_EQ(window_->VoConnection1().DatabaseFolder(), ProjectFolder() + "/");
}

TEST_F(TablesAreaTest, AnsweringNoChangesNothing) {
  messages_.answers = {false};
  ChooseProjectFolder(ProjectFolder());
  EXPECT_EQ(Find<DBGrid>("DBGridProjects").Model().rowCount(), 0);
  ChooseProjectFolder(ProjectFolder());
  WriteTable("orders", "id\n");
  messages_.entries.clear();
  messages_.answers = {false};
  ChooseTableFile(TablePath("orders"));
  EXPECT_EQ(TakeTexts(), (Texts{kRegister}));
  EXPECT_EQ(Find<DBGrid>("DBGridTables").Model().rowCount(), 0);
}

TEST_F(TablesAreaTest, ARegisteredFileBringsItsTableAndFields) {
  WriteTable("orders.csv", "id;name;price\n1;ann;3\n");
  ChooseProjectFolder(ProjectFolder());
  ShowPage("PageControl1", 1);
  // The dialog starts in the project's path as stored.
  EXPECT_EQ(ChooseTableFile("/elsewhere/orders.csv.txt"), QString::fromStdString(ProjectFolder()));
  EXPECT_EQ(TakeTexts(), (Texts{kApplyFolder, kRegister}));
  EXPECT_EQ(GridColumn(Find<DBGrid>("DBGridTables"), 0), (Texts{"orders.csv"}));
  EXPECT_EQ(FieldNames(), (Texts{"id", "name", "price"}));
}

TEST_F(TablesAreaTest, AFailedRegistrationLeavesTheCurrentTablesFields) {
  RegisterTable("orders", "id;name\n");
  ChooseTableFile(ProjectFolder() + "/.txt");
  EXPECT_EQ(TakeTexts(), (Texts{kRegister,
                                "The .txt file could not be registered as table:  in "
                                "the project: "}));
  EXPECT_EQ(GridColumn(Find<DBGrid>("DBGridTables"), 0), (Texts{"orders"}));
  EXPECT_EQ(FieldNames(), (Texts{"id", "name"}));
}

TEST_F(TablesAreaTest, ATableNameTypedIntoTheGridMayNotLeaveTheProjectFolder) {
  ChooseProjectFolder(ProjectFolder());
  ShowPage("PageControl1", 1);
  auto& navigator = Find<app::DBNavigator>("DBNavigatorTables");
  DBGrid& grid = Find<DBGrid>("DBGridTables");
  const struct {
    const char* typed;
    bool refused;
  } cases[] = {{"../x", true}, {"a\\b", true}, {"..", true}, {"orders", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    messages_.entries.clear();
    QTest::mouseClick(navigator.ButtonOf(app::DBNavigator::kInsert), Qt::LeftButton);
    // The cell's value as the grid's editor hands it over.
    ASSERT_TRUE(grid.Model().setData(grid.Model().index(grid.Model().CurrentRow(), 0),
                                     QString::fromLatin1(c.typed)));
    QTest::mouseClick(navigator.ButtonOf(app::DBNavigator::kPost), Qt::LeftButton);
    const Texts texts = TakeTexts();
    if (c.refused) {
      ASSERT_EQ(texts.size(), 1u);
      EXPECT_EQ(texts[0].rfind(std::string("Invalid table name: ") + c.typed, 0), 0u) << texts[0];
      QTest::mouseClick(navigator.ButtonOf(app::DBNavigator::kCancel), Qt::LeftButton);
    } else {
      EXPECT_EQ(texts, Texts{});
    }
  }
  EXPECT_EQ(GridColumn(grid, 0), (Texts{"orders"}));
}

TEST_F(TablesAreaTest, AFileWithoutADotRegistersItsWholeName) {
  WriteTable("README", "a;b\n");
  ChooseProjectFolder(ProjectFolder());
  ChooseTableFile(ProjectFolder() + "/README");
  EXPECT_EQ(TakeTexts(), (Texts{kApplyFolder, kRegister}));
  EXPECT_EQ(GridColumn(Find<DBGrid>("DBGridTables"), 0), (Texts{"README"}));
  EXPECT_EQ(FieldNames(), (Texts{"a", "b"}));
}

// ---- Fields schema ----

TEST_F(TablesAreaTest, GetFieldsSchemaReadsTheHeaderAgain) {
  RegisterTable("orders", "id;name\n");
  WriteTable("orders", "id;name;price\n");
  Click("ButtonGetFieldsSchema");
  EXPECT_EQ(TakeTexts(), Texts{});
  EXPECT_EQ(FieldNames(), (Texts{"id", "name", "price"}));

  WriteTable("orders", "");
  Click("ButtonGetFieldsSchema");
  EXPECT_EQ(TakeTexts(),
            (Texts{"I could not retrieve fields schema information. The file " +
                   TablePath("orders") + " holds no column names in its first line."}));
  EXPECT_EQ(FieldNames(), (Texts{"id", "name", "price"}));
}

TEST_F(TablesAreaTest, SetFieldsSchemaChangesTheFileAndReloadsItsData) {
  RegisterTable("t", "A;C;D\n1;3;4\n");
  DeleteField("D");
  AddField("B");
  LoadData();
  messages_.entries.clear();
  Click("ButtonSetFieldsSchema");
  EXPECT_EQ(ReadTable("t"), "A;C;B\n1;3;\n");
  EXPECT_EQ(TakeTexts(),
            (Texts{kAnnouncement, kFinished, kAnnouncement, kFinished, kAnnouncement, kFinished}));
  EXPECT_EQ(FieldNames(), (Texts{"A", "C", "B"}));
  EXPECT_EQ(GridTitles(DataGrid()), (Texts{"A", "C", "B"}));
}

// ---- Table data ----

TEST_F(TablesAreaTest, LoadDataShowsTheRowsWithColumnsWideEnoughForTheirTitles) {
  RegisterTable("orders", "id;a_rather_long_column_title_here\n1;x\n2;y\n");
  LoadData();
  EXPECT_EQ(TakeTexts(), (Texts{kAnnouncement, kFinished}));
  DBGrid& grid = DataGrid();
  EXPECT_EQ(GridTitles(grid), (Texts{"id", "a_rather_long_column_title_here"}));
  EXPECT_EQ(GridColumn(grid, 1), (Texts{"x", "y"}));
  EXPECT_FALSE(grid.AutoFillColumns());
  for (int c = 0; c < 2; ++c) {
    const QString title = grid.Model().headerData(c, Qt::Horizontal).toString();
    EXPECT_GE(grid.columnWidth(c), grid.fontMetrics().horizontalAdvance(title)) << c;
  }
}

TEST_F(TablesAreaTest, LoadDataWithAMissingFileReportsAndCreatesNothing) {
  RegisterTable("orders", "id\n");
  std::filesystem::remove(TablePath("orders"));
  LoadData();
  EXPECT_EQ(TakeTexts(),
            (Texts{"The file " + TablePath("orders") + " of table orders does not exist."}));
  EXPECT_FALSE(std::filesystem::exists(TablePath("orders")));
  EXPECT_EQ(DataGrid().Model().rowCount(), 0);
}

TEST_F(TablesAreaTest, TitleClicksSortTheGridAscendingThenDescending) {
  RegisterTable("orders", "id;name\n1;bob\n2;ann\n3;cid\n");
  LoadData();
  DBGrid& grid = DataGrid();
  ClickTitle(grid, 1);
  EXPECT_EQ(GridColumn(grid, 1), (Texts{"ann", "bob", "cid"}));
  ClickTitle(grid, 1);
  EXPECT_EQ(GridColumn(grid, 1), (Texts{"cid", "bob", "ann"}));
  Click("ButtonUpdateCSVTable");
  EXPECT_EQ(ReadTable("orders"), "id;name\n3;cid\n1;bob\n2;ann\n");
}

TEST_F(TablesAreaTest, ASortOnAColumnTheNextLoadLacksFallsBackToFileOrder) {
  RegisterTable("a", "id;c\n1;z\n2;y\n");
  LoadData();
  ClickTitle(DataGrid(), 1);
  WriteTable("b", "id;d\n2;q\n1;p\n");
  ChooseTableFile(TablePath("b"));
  messages_.entries.clear();
  Click("ButtonActivateCSVTablePreview");
  EXPECT_EQ(TakeTexts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(GridColumn(DataGrid(), 0), (Texts{"2", "1"}));
}

TEST_F(TablesAreaTest, ATypedValueIsSavedToTheFileTheDataCameFrom) {
  RegisterTable("a", "id;name\n1;ann\n2;bob\n");
  LoadData();
  TypeInCell(DataGrid(), 1, 1, "x;y");
  // Another table becomes current: the save still writes a's file.
  WriteTable("b", "z\n");
  ChooseTableFile(TablePath("b"));
  messages_.entries.clear();
  Click("ButtonUpdateCSVTable");
  EXPECT_EQ(TakeTexts(), (Texts{"Table a updated and saved to file: " + TablePath("a")}));
  EXPECT_EQ(ReadTable("a"), "id;name\n1;ann\n2;\"x;y\"\n");
  EXPECT_EQ(ReadTable("b"), "z\n");
}

TEST_F(TablesAreaTest, UnloadAsksBeforeDroppingUnsavedEdits) {
  RegisterTable("a", "id\n1\n");
  LoadData();
  DBGrid& grid = DataGrid();
  TypeInCell(grid, 0, 0, "9");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  messages_.entries.clear();
  messages_.answers = {false};
  Click("ButtonDeactivateCSVTablePreview");
  const std::string question =
      "The data of table a has changes that are not saved to its file. "
      "Discard them?";
  EXPECT_EQ(TakeTexts(), (Texts{question}));
  EXPECT_EQ(grid.Model().rowCount(), 1);
  Click("ButtonDeactivateCSVTablePreview");
  EXPECT_EQ(TakeTexts(), (Texts{question}));
  EXPECT_EQ(grid.Model().rowCount(), 0);
  EXPECT_FALSE(window_->VoQueryDatasetCSVTableData().Active());
  EXPECT_EQ(ReadTable("a"), "id\n1\n");
}

TEST_F(TablesAreaTest, SavingWithNothingLoadedLeavesTheFile) {
  RegisterTable("a", "id\n1\n");
  Click("ButtonUpdateCSVTable");
  const Texts texts = TakeTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Error while trying to save updated table ", 0), 0u) << texts[0];
  EXPECT_EQ(ReadTable("a"), "id\n1\n");
}

TEST_F(TablesAreaTest, TitleClicksSortTheExternalPreviewToo) {
  RegisterTable("p", "n\nb\na\n");
  TVoQueryDataSet& preview = window_->VoQueryDatasetSQLTableData();
  preview.SetTableName("p");
  preview.ReadTableFile();
  ShowPage("PageControl1", 3);
  DBGrid& grid = Find<DBGrid>("DBGridSQLTableData");
  ClickTitle(grid, 0);
  EXPECT_EQ(GridColumn(grid, 0), (Texts{"a", "b"}));
}

}  // namespace

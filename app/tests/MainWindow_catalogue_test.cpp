// The catalogue as the user meets it in the main window: the first start, a
// catalogue table that cannot be opened, deleting through the navigators (with
// the project cascade) and the close that saves pending rows and packs, each
// driven through the navigator buttons and the grids.
#include <Qsci/qsciscintilla.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "../core/tests/catalogue_fixture.h"
#include "DBGrid.h"
#include "DBNavigator.h"
#include "MainWindow.h"
#include "temp_folder.h"

namespace {

using app::DBNavigator;
using app::MainWindow;
using app::RecordingMessages;
using app::testing::ReadFile;
using app::testing::Row;
using Kind = RecordingMessages::Kind;

const char* const kCatalogueFiles[] = {"Projects.dbf",          "Tables.dbf",    "Fields.dbf",
                                       "SQLConnectors.dbf",     "SQLTables.dbf", "Queries.dbf",
                                       "QueriesParameters.dbf", "Filters.dbf"};

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The record count of a table file's header, deleted records included.
std::uint32_t StoredRecords(const std::string& bytes) {
  if (bytes.size() < 8) return 0;
  std::uint32_t count = 0;
  for (int i = 7; i >= 4; --i) count = count << 8 | static_cast<unsigned char>(bytes[i]);
  return count;
}

class WindowCatalogueTest : public testing::Test {
 protected:
  void OpenWindow() {
    window_ = std::make_unique<MainWindow>(messages_, program_.Folder());
    window_->resize(1400, 900);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void CloseWindow() {
    window_->close();
    window_.reset();
  }

  template <class T>
  T* Find(const char* name) {
    T* widget = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void ShowPage(int page) {
    Find<QTabWidget>("PageControl1")->setCurrentIndex(page);
    QCoreApplication::processEvents();
  }
  void Press(const char* navigator, DBNavigator::Button button) {
    QToolButton* tool = Find<DBNavigator>(navigator)->ButtonOf(button);
    ASSERT_TRUE(tool->isEnabled()) << navigator << " button " << button;
    QTest::mouseClick(tool, Qt::LeftButton);
  }
  // Types `text` into a cell, as the in-place editor hands it to the model.
  void Type(const char* grid, int row, int column, const std::string& text) {
    app::DatasetTableModel& model = Find<app::DBGrid>(grid)->Model();
    ASSERT_TRUE(model.setData(model.index(row, column), QString::fromStdString(text)));
  }
  void ClickRow(const char* grid_name, int row) {
    auto* grid = Find<app::DBGrid>(grid_name);
    const QRect cell = grid->visualRect(grid->Model().index(row, 0));
    ASSERT_TRUE(cell.isValid()) << grid_name << " row " << row;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  }
  QsciScintilla& Editor() { return *Find<QsciScintilla>("SynEditSQLEditor"); }

  // Adds a row straight into a catalogue table; the table's rules stamp its
  // parent key.
  static std::int64_t Add(dbf::TDbf& table, const std::string& key,
                          const app::testing::Values& values) {
    table.Append();
    for (const auto& [field, value] : values) table.FieldByName(field).SetAsString(value);
    table.Post();
    return table.FieldByName(key).AsInteger();
  }

  // A new query row takes the editor's text when it is posted; the insert
  // itself empties the editor.
  void AddQuery(const std::string& name, const std::string& text) {
    dbf::TDbf& queries = window_->GetCatalogue().Queries();
    queries.Append();
    queries.FieldByName("QUERYNAME").SetAsString(name);
    Editor().setText(QString::fromStdString(text));
    queries.Post();
  }

  std::vector<Row> Read(const std::string& file) const { return ReadFile(program_.Folder(), file); }

  app_testing::TempFolder program_;
  app_testing::TempFolder work_;
  app_testing::WorkingDirectory cwd_{work_.Path()};
  RecordingMessages messages_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowCatalogueTest, FirstStartCreatesTheCatalogueAndTheFirstPostedProjectConnects) {
  OpenWindow();
  EXPECT_TRUE(messages_.entries.empty());
  for (const char* file : kCatalogueFiles) {
    EXPECT_TRUE(std::filesystem::exists(program_.Path() / file)) << file;
  }
  EXPECT_TRUE(std::filesystem::exists(program_.Path() / "Queries.dbt"));
  EXPECT_FALSE(window_->VoConnection1().Connected());
  EXPECT_EQ(Find<app::DBGrid>("DBGridProjects")->Model().rowCount(), 0);

  Press("DBNavigatorProjects", DBNavigator::kInsert);
  Type("DBGridProjects", 0, 0, "shop");
  Type("DBGridProjects", 0, 1, work_.Path().string());
  Press("DBNavigatorProjects", DBNavigator::kPost);
  EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
  EXPECT_TRUE(window_->VoConnection1().Connected());
  EXPECT_EQ(window_->VoConnection1().DatabaseFolder(), work_.Folder());

  // The next start points the connection at the first project at once.
  CloseWindow();
  OpenWindow();
  EXPECT_TRUE(window_->VoConnection1().Connected());
  EXPECT_EQ(window_->VoConnection1().DatabaseFolder(), work_.Folder());
  EXPECT_EQ(Find<app::DBGrid>("DBGridProjects")->Model().rowCount(), 1);
}

TEST_F(WindowCatalogueTest, ATableThatFailsToOpenIsReportedOnceAndNotPackedAtTheClose) {
  const std::string garbage = "no dBase table, only a line of text";
  std::ofstream(program_.Path() / "Fields.dbf") << garbage;

  OpenWindow();
  ASSERT_EQ(messages_.entries.size(), 1u) << messages_.Texts().back();
  EXPECT_EQ(messages_.entries[0].kind, Kind::kInfo);
  EXPECT_TRUE(messages_.entries[0].text.ends_with(". Could not activate table: Fields.dbf"))
      << messages_.entries[0].text;
  app::Catalogue& catalogue = window_->GetCatalogue();
  for (dbf::TDbf* table : catalogue.DbfTables()) {
    EXPECT_EQ(table->Active(), table != &catalogue.Fields()) << table->TableName();
  }
  EXPECT_TRUE(window_->isVisible());

  // The rest of the catalogue works: a project and a table are registered.
  Press("DBNavigatorProjects", DBNavigator::kInsert);
  Type("DBGridProjects", 0, 0, "shop");
  Press("DBNavigatorProjects", DBNavigator::kPost);
  ShowPage(1);
  Press("DBNavigatorTables", DBNavigator::kInsert);
  Type("DBGridTables", 0, 0, "orders");
  Press("DBNavigatorTables", DBNavigator::kPost);
  EXPECT_EQ(messages_.entries.size(), 1u) << messages_.Texts().back();

  CloseWindow();
  EXPECT_EQ(messages_.entries.size(), 1u)
      << "the close reports nothing more: " << messages_.Texts().back();
  EXPECT_EQ(ReadBytes(program_.Path() / "Fields.dbf"), garbage);
  ASSERT_EQ(Read("Tables.dbf").size(), 1u);
  EXPECT_EQ(Read("Tables.dbf")[0].at("TABLENAME"), "orders");
}

TEST_F(WindowCatalogueTest, DeleteAsksAndTheDeletedProjectIsGoneFromEveryFileAfterTheClose) {
  OpenWindow();
  app::Catalogue& c = window_->GetCatalogue();
  // Two projects, each with everything that hangs under a project.
  std::set<std::int64_t> kept_tables;
  for (const std::string project : {"keep", "drop"}) {
    Add(c.Projects(), "PROJECT_ID", {{"PROJECTNAME", project}});
    for (int t = 0; t < 2; ++t) {
      const std::int64_t table =
          Add(c.Tables(), "TABLE_ID", {{"TABLENAME", project + "_table" + std::to_string(t)}});
      if (project == "keep") kept_tables.insert(table);
      for (int f = 0; f < 2; ++f) {
        Add(c.Fields(), "FIELD_ID", {{"FIELDNAME", project + "_field" + std::to_string(f)}});
      }
    }
    for (int s = 0; s < 2; ++s) {
      Add(c.SQLConnectors(), "SQLCONNECTOR_ID",
          {{"SQLCONNECTORNAME", project + "_connector" + std::to_string(s)}});
      Add(c.SQLTables(), "SQLTABLE_ID", {{"SQLTABLENAME", project + "_sqltable"}});
    }
    for (int q = 0; q < 2; ++q) {
      AddQuery(project + "_query" + std::to_string(q), "SELECT * FROM " + project);
      Add(c.QueriesParameters(), "QUERYPARAMETER_ID", {{"QUERYPARAMETERNAME", ":p"}});
    }
    Add(c.Filters(), "FILTER_ID", {{"FILTERNAME", project + "_filter"}});
  }
  ASSERT_TRUE(messages_.entries.empty()) << messages_.Texts().front();

  ClickRow("DBGridProjects", 1);
  ASSERT_EQ(c.Projects().FieldByName("PROJECTNAME").AsString(), "drop");
  messages_.answers = {false};
  Press("DBNavigatorProjects", DBNavigator::kDelete);
  EXPECT_EQ(messages_.entries,
            (std::vector<RecordingMessages::Entry>{{Kind::kOkCancel, "Delete record?"}}));
  EXPECT_EQ(c.Projects().RecordCount(), 2);
  EXPECT_EQ(c.Tables().RecordCount(), 2) << "Cancel keeps the project and what is under it";

  messages_.answers = {true};
  Press("DBNavigatorProjects", DBNavigator::kDelete);
  EXPECT_EQ(messages_.entries.size(), 2u);
  EXPECT_EQ(c.Projects().RecordCount(), 1);
  EXPECT_EQ(c.Projects().FieldByName("PROJECTNAME").AsString(), "keep");
  EXPECT_EQ(Find<app::DBGrid>("DBGridProjects")->Model().rowCount(), 1);
  EXPECT_EQ(Editor().text(), "SELECT * FROM keep") << "the kept project's query is shown";

  // A table of the kept project, deleted through its own navigator, takes its
  // fields with it.
  ShowPage(1);
  ClickRow("DBGridTables", 0);
  kept_tables.erase(c.Tables().FieldByName("TABLE_ID").AsInteger());
  Press("DBNavigatorTables", DBNavigator::kDelete);
  ASSERT_EQ(kept_tables.size(), 1u);

  CloseWindow();
  EXPECT_EQ(messages_.entries.size(), 3u) << messages_.Texts().back();
  const std::pair<const char*, std::size_t> kept_rows[] = {
      {"Projects.dbf", 1},          {"Tables.dbf", 1},    {"Fields.dbf", 2},
      {"SQLConnectors.dbf", 2},     {"SQLTables.dbf", 2}, {"Queries.dbf", 2},
      {"QueriesParameters.dbf", 2}, {"Filters.dbf", 1}};
  for (const auto& [file, count] : kept_rows) {
    SCOPED_TRACE(file);
    const std::string bytes = ReadBytes(program_.Path() / file);
    EXPECT_EQ(StoredRecords(bytes), count) << "deleted records are packed away";
    EXPECT_EQ(bytes.find("drop"), std::string::npos);
    EXPECT_EQ(Read(file).size(), count);
  }
  for (const Row& field : Read("Fields.dbf")) {
    EXPECT_TRUE(kept_tables.contains(std::stoll(field.at("TABLE_ID")))) << field.at("FIELDNAME");
  }
  EXPECT_EQ(ReadBytes(program_.Path() / "Queries.dbt").find("drop"), std::string::npos);
}

TEST_F(WindowCatalogueTest, CloseSavesTheQueryBeingEdited) {
  OpenWindow();
  app::Catalogue& c = window_->GetCatalogue();
  Add(c.Projects(), "PROJECT_ID", {{"PROJECTNAME", "shop"}});
  AddQuery("orders", "SELECT 1");

  ShowPage(2);
  Press("DBNavigatorQueries", DBNavigator::kEdit);
  Editor().selectAll();
  QTest::keyClicks(&Editor(), "SELECT * FROM orders");
  CloseWindow();

  EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
  const std::vector<Row> queries = Read("Queries.dbf");
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].at("QUERYTEXT"), "SELECT * FROM orders");
}

// The projects grid reads the rows it paints by walking the table's cursor;
// the walk is no choice of the user's, so the detail tables stay on their rows
// and the query text being typed stays in the editor, however the grid is
// scrolled.
TEST_F(WindowCatalogueTest, PaintingProjectRowsLeavesTheDetailRowsAndTheTypedQueryAlone) {
  OpenWindow();
  app::Catalogue& c = window_->GetCatalogue();
  Add(c.Projects(), "PROJECT_ID", {{"PROJECTNAME", "shop"}});
  for (const std::string table : {"orders", "customers"}) {
    Add(c.Tables(), "TABLE_ID", {{"TABLENAME", table}});
  }
  for (const std::string connector : {"first", "second"}) {
    Add(c.SQLConnectors(), "SQLCONNECTOR_ID", {{"SQLCONNECTORNAME", connector}});
  }
  AddQuery("all orders", "SELECT * FROM orders");
  AddQuery("all customers", "SELECT * FROM customers");
  // More projects than the grid reads at a time: scrolling reads rows anew.
  for (int p = 0; p < 199; ++p) {
    Add(c.Projects(), "PROJECT_ID", {{"PROJECTNAME", "other" + std::to_string(p)}});
  }
  ASSERT_TRUE(messages_.entries.empty()) << messages_.Texts().front();

  auto* projects_grid = Find<app::DBGrid>("DBGridProjects");
  projects_grid->scrollToTop();
  projects_grid->viewport()->repaint();
  ClickRow("DBGridProjects", 0);
  ASSERT_EQ(c.Projects().FieldByName("PROJECTNAME").AsString(), "shop");
  ShowPage(1);
  ClickRow("DBGridTables", 1);
  ShowPage(3);
  ClickRow("DBGridSQLConnectors", 1);
  ShowPage(2);
  ClickRow("DBGridQueries", 1);
  ASSERT_EQ(Editor().text(), "SELECT * FROM customers");
  Editor().selectAll();
  QTest::keyClicks(&Editor(), "SELECT NAME FROM customers");
  ShowPage(0);

  const std::pair<const char*, void (QAbstractItemView::*)()> scrolls[] = {
      {"to the last project", &QAbstractItemView::scrollToBottom},
      {"back to the first", &QAbstractItemView::scrollToTop}};
  for (const auto& [where, scroll] : scrolls) {
    SCOPED_TRACE(where);
    (projects_grid->*scroll)();
    projects_grid->viewport()->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Projects().FieldByName("PROJECTNAME").AsString(), "shop");
    EXPECT_EQ(c.Tables().FieldByName("TABLENAME").AsString(), "customers");
    EXPECT_EQ(c.SQLConnectors().FieldByName("SQLCONNECTORNAME").AsString(), "second");
    EXPECT_EQ(c.Queries().FieldByName("QUERYNAME").AsString(), "all customers");
    EXPECT_EQ(Editor().text().toStdString(), "SELECT NAME FROM customers");
    EXPECT_TRUE(Editor().isUndoAvailable()) << "the typing can still be undone";
  }
  EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
}

TEST_F(WindowCatalogueTest, ARowWithoutItsMasterRowIsRefusedNotStoredUnderKeyZero) {
  OpenWindow();
  ShowPage(1);
  Press("DBNavigatorTables", DBNavigator::kInsert);
  Type("DBGridTables", 0, 0, "orders");
  Press("DBNavigatorTables", DBNavigator::kPost);
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_NE(messages_.entries[0].text.find("There is no current project"), std::string::npos)
      << messages_.entries[0].text;
  Press("DBNavigatorTables", DBNavigator::kCancel);

  CloseWindow();
  EXPECT_EQ(messages_.entries.size(), 1u) << messages_.Texts().back();
  EXPECT_TRUE(Read("Tables.dbf").empty());
}

TEST_F(WindowCatalogueTest, CloseKeepsWhatIsTypedInACellNotYetLeft) {
  OpenWindow();
  Add(window_->GetCatalogue().Projects(), "PROJECT_ID", {{"PROJECTNAME", "shop"}});
  auto* grid = Find<app::DBGrid>("DBGridProjects");
  grid->setCurrentIndex(grid->Model().index(0, 2));
  grid->edit(grid->currentIndex());
  auto* editor = grid->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "kept");
  CloseWindow();

  EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
  const std::vector<Row> projects = Read("Projects.dbf");
  ASSERT_EQ(projects.size(), 1u);
  EXPECT_EQ(projects[0].at("PROJECTCOMMENT"), "kept");
}

// The user's way through a grid and its navigator: Insert, typing into the
// new row's cells (one value handed over with Return, the other still open in
// its editor), Post.
TEST_F(WindowCatalogueTest, ATypedNewRowIsPostedWithEveryValueAndShownWhereTheTableHasIt) {
  OpenWindow();
  dbf::TDbf& projects = window_->GetCatalogue().Projects();
  for (const std::string name : {"alpha", "beta", "gamma"}) {
    Add(projects, "PROJECT_ID", {{"PROJECTNAME", name}});
  }
  auto* grid = Find<app::DBGrid>("DBGridProjects");
  ClickRow("DBGridProjects", 1);
  Press("DBNavigatorProjects", DBNavigator::kInsert);
  ASSERT_EQ(grid->currentIndex().row(), 1);
  ASSERT_EQ(grid->currentIndex().column(), 0);
  QTest::keyClicks(grid, "d");
  QTest::keyClicks(QApplication::focusWidget(), "elta");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(projects.FieldByName("PROJECTNAME").AsString(), "delta");
  grid->setCurrentIndex(grid->Model().index(1, 2));
  QTest::keyClicks(grid, "n");
  QTest::keyClicks(QApplication::focusWidget(), "ote");
  Press("DBNavigatorProjects", DBNavigator::kPost);
  ASSERT_TRUE(messages_.entries.empty()) << messages_.Texts().front();

  // The table keeps its rows in the order they were written: the new one last.
  std::vector<std::string> table_order;
  const db::Bookmark posted = projects.GetBookmark();
  for (projects.First(); !projects.Eof(); projects.Next()) {
    table_order.push_back(projects.FieldByName("PROJECTNAME").AsString());
  }
  projects.GotoBookmark(posted);
  EXPECT_EQ(table_order, (std::vector<std::string>{"alpha", "beta", "gamma", "delta"}));
  ASSERT_EQ(grid->Model().rowCount(), 4);
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(grid->Model().index(row, 0).data().toString().toStdString(),
              table_order[static_cast<std::size_t>(row)]);
  }
  EXPECT_EQ(grid->currentIndex().row(), projects.RecNo() - 1);
  EXPECT_EQ(grid->Model().index(grid->currentIndex().row(), 0).data().toString(), "delta");

  CloseWindow();
  const std::vector<Row> rows = Read("Projects.dbf");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3].at("PROJECTNAME"), "delta");
  EXPECT_EQ(rows[3].at("PROJECTCOMMENT"), "note");
}

TEST_F(WindowCatalogueTest, AProjectPathWithoutASeparatorNamesAFolderBesideTheCatalogue) {
  std::filesystem::create_directory(program_.Path() / "shop");
  OpenWindow();
  Add(window_->GetCatalogue().Projects(), "PROJECT_ID",
      {{"PROJECTNAME", "shop"}, {"PROJECTPATH", "shop"}});
  EXPECT_TRUE(window_->VoConnection1().Connected());
  EXPECT_TRUE(std::filesystem::equivalent(window_->VoConnection1().DatabaseFolder(),
                                          program_.Path() / "shop"))
      << window_->VoConnection1().DatabaseFolder();
}

}  // namespace

// The main window built over a temporary program folder and working
// directory: its pages and every control on them with their names, captions
// and column titles; accessible names; the splitters' positions and the
// session file written at close and applied at the next first show.
#include "MainWindow.h"

#include <Qsci/qsciscintilla.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <fstream>

#include "Controls.h"
#include "DBGrid.h"
#include "DBNavigator.h"
#include "FileChoosers.h"
#include "temp_folder.h"

namespace {

using app::MainWindow;
using app::RecordingMessages;

class MainWindowTest : public testing::Test {
 protected:
  std::unique_ptr<MainWindow> Open() {
    auto window = std::make_unique<MainWindow>(messages_, program_.Folder());
    window->resize(1400, 900);
    return window;
  }
  template <class T>
  T* Find(const MainWindow& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
  }

  app_testing::TempFolder program_;
  app_testing::TempFolder work_;
  app_testing::WorkingDirectory cwd_{work_.Path()};
  RecordingMessages messages_;
};

QStringList TabTexts(const QTabWidget& tabs) {
  QStringList texts;
  for (int i = 0; i < tabs.count(); ++i) texts << tabs.tabText(i);
  return texts;
}

QStringList Titles(app::DBGrid& grid) {
  QStringList titles;
  for (int c = 0; c < grid.Model().columnCount(); ++c) {
    titles << grid.Model().headerData(c, Qt::Horizontal).toString();
  }
  return titles;
}

TEST_F(MainWindowTest, HasItsPagesInOrder) {
  auto window = Open();
  EXPECT_EQ(window->objectName(), "FormMain");
  EXPECT_EQ(window->windowTitle(), "Orlenda 1.0.9");
  EXPECT_EQ(window->AppFolder(), program_.Folder());
  struct Case {
    const char* control;
    QStringList pages;
    QStringList page_names;
  };
  const Case cases[] = {
      {"PageControl1",
       {"Projects", "Tables", "Queries", "ExternalSources", "UsersManual", "About", "Contact",
        "Donate"},
       {"TabSheetProjects", "TabSheetTables", "TabSheetQueries", "TabSheetExternalSources",
        "UsersManual", "About", "Contact", "Donate"}},
      {"PageControlTables",
       {"TableDesign", "TableData"},
       {"TabSheetTableDesign", "TabSheetTableData"}},
      {"PageControlQueries",
       {"QueryDesign", "QueryResult"},
       {"TabSheetQueryDesign", "TabSheetQueryResult"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    auto* tabs = Find<QTabWidget>(*window, c.control);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(TabTexts(*tabs), c.pages);
    EXPECT_EQ(tabs->currentIndex(), 0);
    QStringList names;
    for (int i = 0; i < tabs->count(); ++i) names << tabs->widget(i)->objectName();
    EXPECT_EQ(names, c.page_names);
  }
}

TEST_F(MainWindowTest, GridsShowTheirColumns) {
  auto window = Open();
  app::Catalogue& catalogue = window->GetCatalogue();
  struct Case {
    const char* grid;
    db::DataSet* dataset;
    QStringList titles;  // empty: the columns come from the loaded data
  };
  const Case cases[] = {
      {"DBGridProjects", &catalogue.Projects(), {"ProjectName", "ProjectPath", "Comment"}},
      {"DBGridTables", &catalogue.Tables(), {"Table", "Comment"}},
      {"DBGridFields", &catalogue.Fields(), {"Field", "Comment"}},
      {"DBGridCSVTable", &window->VoQueryDatasetCSVTableData(), {}},
      {"DBGridQueries", &catalogue.Queries(), {"Query Name", "Comment"}},
      {"DBGridTablesForQueries", &catalogue.Tables(), {"Table"}},
      {"DBGridFieldsForQueries", &catalogue.Fields(), {"Field"}},
      {"DBGridQueriesParameters",
       &catalogue.QueriesParameters(),
       {"Parameter", "Value", "Comment"}},
      {"DBGridQueryResult", &window->VoQueryDatasetQueryResult(), {}},
      {"DBGridSQLConnectors",
       &catalogue.SQLConnectors(),
       {"SqlConnectorName", "ToBeImported", "Protocol", "Catalog", "Database", "HostName", "Port",
        "User", "Password"}},
      {"DBGridSQLTables",
       &catalogue.SQLTables(),
       {"TableName", "ToBeImported", "ImportedName", "Comment"}},
      {"DBGridSQLTableData", &window->VoQueryDatasetSQLTableData(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.grid);
    auto* grid = Find<app::DBGrid>(*window, c.grid);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->Model().DataSet(), c.dataset);
    EXPECT_EQ(Titles(*grid), c.titles);
    EXPECT_TRUE(grid->AutoFillColumns());
  }
}

TEST_F(MainWindowTest, NavigatorsWorkOnTheirDatasets) {
  auto window = Open();
  app::Catalogue& catalogue = window->GetCatalogue();
  const std::pair<const char*, db::DataSet*> cases[] = {
      {"DBNavigatorProjects", &catalogue.Projects()},
      {"DBNavigatorTables", &catalogue.Tables()},
      {"DBNavigatorFields", &catalogue.Fields()},
      {"DBNavigatorCSVTable", &window->VoQueryDatasetCSVTableData()},
      {"DBNavigatorQueries", &catalogue.Queries()},
      {"DBNavigatorQueriesParameters", &catalogue.QueriesParameters()},
      {"DBNavigatorTablesForQueries", &catalogue.Tables()},
      {"DBNavigatorFieldsForQueries", &catalogue.Fields()},
      {"DBNavigatorQueryResult", &window->VoQueryDatasetQueryResult()},
      {"DBNavigatorSQLConnectors", &catalogue.SQLConnectors()},
      {"DBNavigatorSQLTables", &catalogue.SQLTables()},
      {"DBNavigatorSQLTable", &window->VoQueryDatasetSQLTableData()},
  };
  for (const auto& [name, dataset] : cases) {
    SCOPED_TRACE(name);
    auto* navigator = Find<app::DBNavigator>(*window, name);
    ASSERT_NE(navigator, nullptr);
    EXPECT_EQ(navigator->DataSet(), dataset);
  }
}

TEST_F(MainWindowTest, ButtonsHaveTheirCaptionsAndHints) {
  auto window = Open();
  struct Case {
    const char* name;
    const char* caption;
    bool bold;
    const char* hint;
  };
  const Case cases[] = {
      {"ButtonGetFieldsSchema", "Get Fields Schema", false,
       "Get list of existing fields (columns) in the table."},
      {"ButtonSetFieldsSchema", "Set Fields Schema", false,
       "Recreate fields (columns) in the table (insert or delete columns), according to the "
       "list of fields in the list below."},
      {"ButtonDeactivateCSVTablePreview", "Unload Data", false, ""},
      {"ButtonActivateCSVTablePreview", "Load Data", false, ""},
      {"ButtonUpdateCSVTable", "Update CSV table", true, ""},
      {"ButtonFilterCSVTableData", "Filter", false, ""},
      {"ButtonFindCSVTableData", "Find", false, ""},
      {"ButtonExportCSVTableData", "Export", false, ""},
      {"ButtonRunQuery", "Run Query", true, ""},
      {"ButtonApplyQueryParameterToQueryText", "Run Parameterized Query", true, ""},
      {"ButtonSaveQueryToFile", "Save Query To A File", false, ""},
      {"ButtonLoadQueryFromFile", "Load Query From A File", false, ""},
      {"ButtonApplyTableNameToQueryText", "Apply", false, ""},
      {"ButtonApplyFieldNameToQueryText", "Apply", false, ""},
      {"ButtonApplySqlExpressionToQueryText", "Apply", false, ""},
      {"ButtonApplySqlFunctionToQueryText", "Apply", false, ""},
      {"ButtonFilterQueryResult", "Filter", false, ""},
      {"ButtonFindQueryResult", "Find", false, ""},
      {"ButtonExportQueryResult", "Export", false, ""},
      {"ButtonFindUnloadQueryResult", "UnloadData", false, ""},
      {"ButtonSaveQueryResult", "Save Query Result To A File", false, ""},
      {"ButtonImport", "IMPORT TABLE(S)", false, ""},
      {"ButtonTestConnection", "Test Connection", false, ""},
      {"ButtonSQLTablesSchema", "Get Tables Schema", false, ""},
      {"ButtonGetSQLTableFieldsSchema", "Get Fields Schema", false, ""},
      {"ButtonActivateSQLTablePreview", "Load Data", false, ""},
      {"ButtonDeactivateSQLTablePreview", "Unload Data", false, ""},
      {"ButtonFilterSQLTableData", "Filter", false, ""},
      {"ButtonFindSQLTableData", "Find", false, ""},
      {"ButtonExportSQLTableData", "Export", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* button = Find<QPushButton>(*window, c.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), c.caption);
    EXPECT_EQ(button->font().bold(), c.bold);
    EXPECT_EQ(button->toolTip(), c.hint);
  }
  EXPECT_EQ(Find<QPushButton>(*window, "ButtonRunQuery")->palette().color(QPalette::ButtonText),
            QColor(Qt::red));
}

TEST_F(MainWindowTest, HeadingsListsEditorAndChoosers) {
  auto window = Open();
  QStringList headings;
  for (QLabel* label : window->findChildren<QLabel*>()) headings << label->text();
  for (const char* heading :
       {"Investigate Or Edit Fields (Columns)", "Records", "List Of Tables", "List Of Fields",
        "Query Result", "SQL Connectors", "SQL Tables", "Data Preview"}) {
    EXPECT_TRUE(headings.contains(heading)) << heading;
  }

  auto* expressions = Find<QListWidget>(*window, "ListBoxSqlExpressions");
  auto* functions = Find<QListWidget>(*window, "ListBoxSqlFunctions");
  ASSERT_TRUE(expressions && functions);
  EXPECT_EQ(expressions->count(), 24);
  EXPECT_EQ(expressions->item(5)->text(), "WHERE ");
  EXPECT_EQ(functions->count(), 42);
  EXPECT_EQ(functions->item(41)->text(), "FLOOR(expression)");
  EXPECT_EQ(expressions->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_FALSE(Find<QListWidget>(*window, "ListBoxSQLTables")->isVisibleTo(window.get()));
  EXPECT_NE(Find<QListWidget>(*window, "ListBoxSQLTableFields"), nullptr);

  auto* editor = Find<QsciScintilla>(*window, "SynEditSQLEditor");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->toolTip(), "Use [CTRL]+[Space] for autocompletion.");
  // Bookmarks, line numbers, change marks, a separator, folding.
  EXPECT_EQ(editor->margins(), 5);
  EXPECT_EQ(editor->marginType(1), QsciScintilla::NumberMargin);
  EXPECT_EQ(editor->marginWidth(0), 24);
  EXPECT_GE(editor->marginWidth(1), 17);
  EXPECT_TRUE(QFontInfo(editor->font()).fixedPitch());
  EXPECT_EQ(editor->lines(), 1);

  EXPECT_NE(Find<app::DirectoryEdit>(*window, "DirectoryEditProjectFolder"), nullptr);
  for (const char* name :
       {"FileNameEditTableFile", "FileNameEditSaveQuerySQL", "FileNameEditSaveQueryResult"}) {
    EXPECT_NE(Find<app::FileNameEdit>(*window, name), nullptr) << name;
  }
}

TEST_F(MainWindowTest, EveryReachableControlHasAnAccessibleName) {
  auto window = Open();
  window->show();
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (widget->focusPolicy() == Qt::NoFocus || widget->isWindow()) continue;
    // Parts of a composite control that Qt names itself, and the editor's own surface.
    if (widget->objectName().startsWith("qt_") || qobject_cast<QsciScintilla*>(widget->parent())) {
      continue;
    }
    EXPECT_FALSE(widget->accessibleName().isEmpty())
        << widget->metaObject()->className() << " " << widget->objectName().toStdString() << " in "
        << widget->parent()->objectName().toStdString();
  }
}

TEST_F(MainWindowTest, SplittersStartAtTheirDesignPositions) {
  auto window = Open();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  const std::vector<std::pair<std::string, int>> expected = {
      {"PairSplitter1.Position", 160},  {"PairSplitter16.Position", 400},
      {"PairSplitter17.Position", 150}, {"PairSplitter18.Position", 700},
      {"PairSplitter3.Position", 160},  {"PairSplitter5.Position", 45},
      {"PairSplitter6.Position", 764},  {"PairSplitter7.Position", 381},
      {"PairSplitter8.Position", 180},  {"PairSplitter9.Position", 194}};
  EXPECT_EQ(window->SessionValues(), expected);
  const std::pair<const char*, Qt::Orientation> orientations[] = {
      {"PairSplitter1", Qt::Vertical},    {"PairSplitter3", Qt::Vertical},
      {"PairSplitter5", Qt::Vertical},    {"PairSplitter6", Qt::Horizontal},
      {"PairSplitter16", Qt::Vertical},   {"PairSplitter17", Qt::Vertical},
      {"PairSplitter18", Qt::Horizontal}, {"PairSplitter9", Qt::Horizontal}};
  for (const auto& [name, orientation] : orientations) {
    EXPECT_EQ(Find<QSplitter>(*window, name)->orientation(), orientation) << name;
  }
  // Shown, the handles stand where the positions say, and stay there when the
  // window grows.
  Find<QTabWidget>(*window, "PageControl1")->setCurrentIndex(2);
  QCoreApplication::processEvents();
  window->resize(1600, 1000);
  QCoreApplication::processEvents();
  for (const auto& [name, position] : {std::pair{"PairSplitter3", 160},
                                       {"PairSplitter5", 45},
                                       {"PairSplitter6", 764},
                                       {"PairSplitter7", 381},
                                       {"PairSplitter8", 180},
                                       {"PairSplitter9", 194}}) {
    auto* splitter = Find<QSplitter>(*window, name);
    ASSERT_TRUE(splitter->isVisible()) << name;
    EXPECT_EQ(splitter->sizes().value(0), position) << name;
  }
}

TEST_F(MainWindowTest, SessionIsWrittenAtCloseAndAppliedAtTheNextStart) {
  {
    auto window = Open();
    window->show();
    app::SetSplitterPosition(*Find<QSplitter>(*window, "PairSplitter1"), 210);
    app::SetSplitterPosition(*Find<QSplitter>(*window, "PairSplitter9"), 150);
    window->close();
  }
  std::ifstream in(work_.Path() / "OrlendaSession.xml");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<PairSplitter1 Position=\"210\"/>"), std::string::npos) << text;
  EXPECT_EQ(text.find("PairSplitter2 "), std::string::npos) << "a splitter that does not exist";

  // A later run: the unknown and the malformed entries change nothing.
  const auto at = text.find("</FormMain>");
  ASSERT_NE(at, std::string::npos);
  text.insert(at, "<PairSplitter11 Position=\"77\"/><PairSplitter3 Position=\"x\"/>");
  std::ofstream(work_.Path() / "OrlendaSession.xml") << text;
  auto window = Open();
  EXPECT_EQ(app::SplitterPosition(*Find<QSplitter>(*window, "PairSplitter1")), 160)
      << "applied only when the window is first shown";
  window->show();
  EXPECT_EQ(app::SplitterPosition(*Find<QSplitter>(*window, "PairSplitter1")), 210);
  EXPECT_EQ(app::SplitterPosition(*Find<QSplitter>(*window, "PairSplitter9")), 150);
  EXPECT_EQ(app::SplitterPosition(*Find<QSplitter>(*window, "PairSplitter3")), 160);
  EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
}

TEST_F(MainWindowTest, MissingSessionFileLeavesTheDesignPositions) {
  auto window = Open();
  window->show();
  EXPECT_EQ(app::SplitterPosition(*Find<QSplitter>(*window, "PairSplitter6")), 764);
}

TEST_F(MainWindowTest, StaticPagesShowTheirTexts) {
  auto window = Open();
  auto* manual = Find<QPlainTextEdit>(*window, "UsersManualText");
  ASSERT_NE(manual, nullptr);
  EXPECT_FALSE(manual->isReadOnly());
  for (const char* words : {"INTRODUCTION", "GENERAL CONCEPTS", "COMMIT", "SAVE TABLE", "FORMAT",
                            "IMPORT FROM EXTERNAL DATABASES", "in clear"}) {
    EXPECT_TRUE(manual->toPlainText().contains(words)) << words;
  }
  for (const char* page : {"AboutText", "ContactText", "DonateText"}) {
    auto* text = Find<QPlainTextEdit>(*window, page);
    ASSERT_NE(text, nullptr) << page;
    EXPECT_FALSE(text->toPlainText().isEmpty());
  }
  EXPECT_TRUE(
      Find<QPlainTextEdit>(*window, "AboutText")->toPlainText().startsWith("Orlenda 1.0.9"));
}

}  // namespace

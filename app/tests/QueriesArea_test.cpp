// The Queries page driven as a user drives it, over a temporary program folder
// with one project holding a small table: the editor following the stored
// queries, running queries as typed and with parameters, the result grid and
// its title clicks, unloading, the SQL files and the result file (bytes
// compared), the "Apply" buttons, and the word lists of the editor.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "DBGrid.h"
#include "FileChoosers.h"
#include "MainWindow.h"
#include "QtMessages.h"
#include "SqlEditor.h"
#include "temp_folder.h"
#include "engine/vekSQL.h"

namespace {

using app::MainWindow;
using app::RecordingMessages;
using Texts = std::vector<std::string>;

const std::string kAnnouncement = "Orlenda will try to execute the query now. Please, be patient.";
const std::string kFinished = "Finished!";

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class QueriesAreaTest : public testing::Test {
 protected:
  void SetUp() override {
    project_ = program_.Path() / "shop";
    std::filesystem::create_directory(project_);
    WriteBytes(project_ / "t.txt", "id;name;width\n1;ann;10\n2;bob;\n3;cy;30\n");
    window_ = std::make_unique<MainWindow>(messages_, program_.Folder());
    window_->resize(1400, 900);
    Add(Catalogue().Projects(), {{"PROJECTNAME", "shop"}, {"PROJECTPATH", project_.string()}});
    messages_.entries.clear();
  }

  app::Catalogue& Catalogue() { return window_->GetCatalogue(); }
  static void Add(dbf::TDbf& table, const std::vector<std::pair<std::string, std::string>>& v) {
    table.Append();
    for (const auto& [field, value] : v) table.FieldByName(field).SetAsString(value);
    table.Post();
  }
  // A stored query whose text is `text` (the editor's text when posted).
  void AddQuery(const std::string& name, const std::string& text) {
    dbf::TDbf& queries = Catalogue().Queries();
    queries.Append();
    queries.FieldByName("QUERYNAME").SetAsString(name);
    Editor().SetProgramText(text);
    queries.Post();
  }
  void AddParameter(const std::string& name, const std::string& value) {
    Add(Catalogue().QueriesParameters(),
        {{"QUERYPARAMETERNAME", name}, {"QUERYPARAMETERVALUE", value}});
  }

  template <class T>
  T& Find(const char* name) {
    T* found = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return *found;
  }
  app::SqlEditor& Editor() { return Find<app::SqlEditor>("SynEditSQLEditor"); }
  app::DBGrid& Grid() { return Find<app::DBGrid>("DBGridQueryResult"); }
  TVoQueryDataSet& Result() { return window_->VoQueryDatasetQueryResult(); }
  void Click(const char* button) { QTest::mouseClick(&Find<QPushButton>(button), Qt::LeftButton); }
  void SetFileName(const char* edit, const std::filesystem::path& path) {
    Find<app::FileNameEdit>(edit).SetFileName(QString::fromStdString(path.string()));
  }
  // Puts `sql` in the editor as the user would type it, then runs it.
  void Run(const std::string& sql) {
    Editor().SetProgramText(sql);
    messages_.entries.clear();
    Click("ButtonRunQuery");
  }
  QStringList Titles() {
    QStringList titles;
    for (int c = 0; c < Grid().Model().columnCount(); ++c) {
      titles << Grid().Model().headerData(c, Qt::Horizontal).toString();
    }
    return titles;
  }
  QStringList Column(int column) {
    QStringList values;
    for (int r = 0; r < Grid().Model().rowCount(); ++r) {
      values << Grid().Model().index(r, column).data().toString();
    }
    return values;
  }
  std::string CurrentTab() {
    auto& tabs = Find<QTabWidget>("PageControlQueries");
    return tabs.tabText(tabs.currentIndex()).toStdString();
  }

  app_testing::TempFolder program_;
  app_testing::TempFolder work_;
  app_testing::WorkingDirectory cwd_{work_.Path()};
  std::filesystem::path project_;
  RecordingMessages messages_;
  app::MessagesReporter reporter_{messages_};
  std::unique_ptr<MainWindow> window_;
};

// ---- Running ----

TEST_F(QueriesAreaTest, RunQueryShowsTheResultTab) {
  Run("SELECT id, name\nFROM t");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Result().SQL(), (Texts{"SELECT id, name", "FROM t"}));
  EXPECT_EQ(Titles(), (QStringList{"id", "name"}));
  EXPECT_EQ(Column(1), (QStringList{"ann", "bob", "cy"}));
  EXPECT_EQ(CurrentTab(), "QueryResult");
  EXPECT_FALSE(Grid().AutoFillColumns());
}

TEST_F(QueriesAreaTest, RefusedStatementIsReportedAndShowsNoStaleColumns) {
  Run("SELECT id, name FROM t");
  ASSERT_EQ(Titles().size(), 2);
  Run("SELEKT nonsense");
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_EQ(messages_.entries[0].text, kAnnouncement);
  EXPECT_TRUE(messages_.entries[1].text.starts_with("Error while trying to execute query."))
      << messages_.entries[1].text;
  EXPECT_GT(messages_.entries[1].text.size(),
            std::string("Error while trying to execute query.").size());
  EXPECT_EQ(messages_.entries[2].text, kFinished);
  EXPECT_EQ(Grid().Model().columnCount(), 0);
  EXPECT_EQ(Grid().Model().rowCount(), 0);
  // The next good run shows its result again.
  Run("SELECT name FROM t");
  EXPECT_EQ(Titles(), (QStringList{"name"}));
}

TEST_F(QueriesAreaTest, EmptyEditorRunsAnEmptyText) {
  Run("");
  EXPECT_EQ(Result().SQL(), (Texts{""}));
  EXPECT_EQ(messages_.Texts().front(), kAnnouncement);
  EXPECT_EQ(messages_.Texts().back(), kFinished);
}

TEST_F(QueriesAreaTest, FailedRunLeavesTheGridAttached) {
  Run("SELECT id FROM t");
  Result().SetVoConnection(nullptr);
  Run("SELECT name FROM t");
  ASSERT_EQ(messages_.entries.size(), 2u);
  EXPECT_EQ(messages_.entries[1].kind, RecordingMessages::Kind::kError);
  EXPECT_EQ(Grid().Model().DataSet(), &Result());

  Result().SetVoConnection(&window_->VoConnection1());
  Run("SELECT name FROM t");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Titles(), (QStringList{"name"}));
}

TEST_F(QueriesAreaTest, ParametersAreSubstitutedInOrderInsideWords) {
  AddQuery("q", "");
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> params;
    std::string line;
    std::string expected;
  };
  const Case cases[] = {
      {"every occurrence in any case",
       {{"ID", "7"}},
       "SELECT WIDTH FROM t WHERE id = ID",
       "SELECT W7TH FROM t WHERE 7 = 7"},
      {"p before p1", {{"p", "x"}, {"p1", "y"}}, "SELECT :p1", "SELECT :x1"},
      {"p1 before p", {{"p1", "y"}, {"p", "x"}}, "SELECT :p1", "SELECT :y"},
      {"a value holding its name", {{"a", "aa"}}, "a", "aa"},
      {"no parameters", {}, "SELECT id FROM t", "SELECT id FROM t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dbf::TDbf& params = Catalogue().QueriesParameters();
    while (!params.IsEmpty()) params.Delete();
    for (const auto& [name, value] : c.params) AddParameter(name, value);
    params.First();
    Editor().SetProgramText(c.line + "\nFROM t");
    Click("ButtonApplyQueryParameterToQueryText");
    EXPECT_EQ(Result().SQL(), (Texts{c.expected, "FROM t"}));
    if (!c.params.empty()) {
      EXPECT_EQ(params.FieldByName("QUERYPARAMETERNAME").AsString(), c.params.back().first);
    }
  }
  // A name broken across two lines stays as it is.
  AddParameter("abc", "Z");
  Editor().SetProgramText("ab\nc");
  Click("ButtonApplyQueryParameterToQueryText");
  EXPECT_EQ(Result().SQL(), (Texts{"ab", "c"}));
}

TEST_F(QueriesAreaTest, ParameterizedRunOfARealQuery) {
  AddQuery("q", "");
  AddParameter("WHO", "'bob'");
  Editor().SetProgramText("SELECT id FROM t WHERE name = WHO");
  messages_.entries.clear();
  Click("ButtonApplyQueryParameterToQueryText");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Column(0), (QStringList{"2"}));
}

// ---- Sorting and unloading ----

TEST_F(QueriesAreaTest, TitleClicksSortAndLaterQueriesWithoutTheColumnStillRun) {
  Run("SELECT id, name FROM t");
  QHeaderView* header = Grid().horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
  EXPECT_EQ(Result().IndexName(), "name__IdxA");
  Grid().titleClicked(1, "name");
  EXPECT_EQ(Result().IndexName(), "name__IdxD");
  EXPECT_EQ(Column(1), (QStringList{"cy", "bob", "ann"}));

  // The same query again keeps its order; one without the column runs in the
  // default order.
  Run("SELECT id, name FROM t");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Column(1), (QStringList{"cy", "bob", "ann"}));
  Run("SELECT id FROM t");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, kFinished}));
  EXPECT_EQ(Column(0), (QStringList{"1", "2", "3"}));
  EXPECT_EQ(CurrentTab(), "QueryResult");
}

TEST_F(QueriesAreaTest, UnloadDataEmptiesTheGridAndSavingThenFails) {
  Run("SELECT id FROM t");
  Click("ButtonFindUnloadQueryResult");
  EXPECT_FALSE(Result().Active());
  EXPECT_EQ(Grid().Model().rowCount(), 0);
  SetFileName("FileNameEditSaveQueryResult", project_ / "out.txt");
  messages_.entries.clear();
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"Error while trying to save query result. Dataset not in browse mode"}));
  EXPECT_FALSE(std::filesystem::exists(project_ / "out.txt"));
}

// ---- The result file ----

TEST_F(QueriesAreaTest, SavedResultReadsBackWithTheSameValues) {
  const std::vector<std::string> odd = {"a;b", "say \"hi\"", "two\nlines", "cr\rhere", "plain"};
  std::string table = "k;v\n";
  for (size_t i = 0; i < odd.size(); ++i) {
    table += std::to_string(i) + ";" + vek::EncodeCell(odd[i]) + "\n";
  }
  WriteBytes(project_ / "odd.txt", table);
  Run("SELECT k, v FROM odd");
  const auto out = project_ / "saved.txt";
  SetFileName("FileNameEditSaveQueryResult", out);
  messages_.entries.clear();
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(messages_.Texts(), (Texts{"Query result saved to file: " + out.string()}));
  EXPECT_EQ(Bytes(out), table);
  EXPECT_TRUE(Result().Eof() || Result().RecNo() == Result().RecordCount());

  Run("SELECT v FROM saved");
  QStringList expected;
  for (const std::string& value : odd) expected << QString::fromStdString(value);
  EXPECT_EQ(Column(0), expected);
}

TEST_F(QueriesAreaTest, SavedResultKeepsEmptyValuesSortAndFilter) {
  WriteBytes(project_ / "e.txt", "a;b;c\n;x;\n1;y;2\n");
  Run("SELECT a, b, c FROM e");
  Grid().titleClicked(1, "b");
  Grid().titleClicked(1, "b");  // descending: y before x
  const auto out = project_ / "e_out.txt";
  SetFileName("FileNameEditSaveQueryResult", out);
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(Bytes(out), "a;b;c\n1;y;2\n;x;\n");

  Result().SetFilterText("b = 'x'");
  Result().SetFiltered(true);
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(Bytes(out), "a;b;c\n;x;\n");
}

TEST_F(QueriesAreaTest, ResultSaveFailuresAreReportedAndKeepTheOldFile) {
  SetFileName("FileNameEditSaveQueryResult", "");
  Run("SELECT id FROM t");
  messages_.entries.clear();
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"Error while trying to save query result. No filename set for export"}));

  const auto out = project_ / "keep.txt";
  WriteBytes(out, "old");
  SetFileName("FileNameEditSaveQueryResult", project_ / "missing" / "r.txt");
  messages_.entries.clear();
  Click("ButtonSaveQueryResult");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.entries[0].text.starts_with("Error while trying to save query result. "));

  // A file that cannot be replaced keeps its old bytes.
  const auto locked = project_ / "locked";
  std::filesystem::create_directory(locked);
  WriteBytes(locked / "r.txt", "old");
  if (geteuid() != 0) {
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    SetFileName("FileNameEditSaveQueryResult", locked / "r.txt");
    messages_.entries.clear();
    Click("ButtonSaveQueryResult");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_TRUE(messages_.entries[0].text.starts_with("Error while trying to save query result. "));
    EXPECT_EQ(Bytes(locked / "r.txt"), "old");
  }

  Result().Edit();
  SetFileName("FileNameEditSaveQueryResult", out);
  messages_.entries.clear();
  Click("ButtonSaveQueryResult");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"Error while trying to save query result. Dataset not in browse mode"}));
  EXPECT_EQ(Bytes(out), "old");
}

// ---- The SQL files ----

TEST_F(QueriesAreaTest, SaveQueryWritesTheStoredTextExactly) {
  AddQuery("q1", "SELECT 1\r\nFROM t");
  AddQuery("q2", "other");
  Catalogue().Queries().First();
  EXPECT_EQ(Editor().Text(), "SELECT 1\nFROM t");
  // Typed but not posted: the stored text is written.
  Editor().setCursorPosition(0, 0);
  QTest::keyClicks(&Editor(), "-- ");
  const auto file = work_.Path() / "q.sql";
  SetFileName("FileNameEditSaveQuerySQL", file);
  messages_.entries.clear();
  Click("ButtonSaveQueryToFile");
  EXPECT_EQ(messages_.Texts(), (Texts{"Query SQL saved to file: " + file.string()}));
  EXPECT_EQ(Bytes(file), "SELECT 1\nFROM t");

  // Moving away and back stores the typed text.
  Catalogue().Queries().Next();
  Catalogue().Queries().First();
  Click("ButtonSaveQueryToFile");
  EXPECT_EQ(Bytes(file), "-- SELECT 1\nFROM t");
}

TEST_F(QueriesAreaTest, SaveQueryFailureKeepsTheOldFile) {
  AddQuery("q1", "new text");
  SetFileName("FileNameEditSaveQuerySQL", "");
  messages_.entries.clear();
  Click("ButtonSaveQueryToFile");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(
      messages_.entries[0].text.starts_with("Error while trying to save query sql to file. "));

  const auto file = work_.Path() / "locked" / "q.sql";
  std::filesystem::create_directory(work_.Path() / "locked");
  WriteBytes(file, "old");
  if (geteuid() != 0) {
    std::filesystem::permissions(work_.Path() / "locked", std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_exec);
    SetFileName("FileNameEditSaveQuerySQL", file);
    messages_.entries.clear();
    Click("ButtonSaveQueryToFile");
    std::filesystem::permissions(work_.Path() / "locked", std::filesystem::perms::owner_all);
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_TRUE(messages_.entries[0].text.starts_with("Error while trying to save query sql"));
    EXPECT_EQ(Bytes(file), "old");
  }
}

TEST_F(QueriesAreaTest, LoadQueryReadsFirstAndPutsNoRowIntoEdit) {
  AddQuery("q1", "stored one");
  AddQuery("q2", "stored two");
  Catalogue().Queries().First();
  Editor().SetProgramText("unsaved work");

  SetFileName("FileNameEditSaveQuerySQL", work_.Path() / "missing.sql");
  messages_.entries.clear();
  Click("ButtonLoadQueryFromFile");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_EQ(messages_.entries[0].kind, RecordingMessages::Kind::kError);
  EXPECT_EQ(Editor().Text(), "unsaved work");

  WriteBytes(work_.Path() / "in.sql", "SELECT *\r\nFROM t");
  SetFileName("FileNameEditSaveQuerySQL", work_.Path() / "in.sql");
  Click("ButtonLoadQueryFromFile");
  EXPECT_EQ(Editor().Text(), "SELECT *\nFROM t\n");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kBrowse);
  // Moving on loses the loaded text: nothing was put into edit.
  Catalogue().Queries().Next();
  Catalogue().Queries().First();
  EXPECT_EQ(Editor().Text(), "stored one");

  // Loading and typing one character stores both.
  Click("ButtonLoadQueryFromFile");
  Editor().setCursorPosition(0, 0);
  QTest::keyClicks(&Editor(), "x");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kEdit);
  Catalogue().Queries().Next();
  Catalogue().Queries().First();
  EXPECT_EQ(Editor().Text(), "xSELECT *\nFROM t\n");
}

// ---- The editor and the stored queries ----

TEST_F(QueriesAreaTest, EditorFollowsTheQueriesAndOnlyTypingEdits) {
  AddQuery("q1", "first");
  AddQuery("q2", "second");
  EXPECT_EQ(Editor().Text(), "second");
  Catalogue().Queries().First();
  EXPECT_EQ(Editor().Text(), "first");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kBrowse);

  // Undo right after a move cannot bring back the other query's text.
  QTest::keyClick(&Editor(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Editor().Text(), "first");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kBrowse);

  Editor().setCursorPosition(0, 5);
  QTest::keyClicks(&Editor(), "!");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kEdit);
  Catalogue().Queries().Next();
  EXPECT_EQ(Editor().Text(), "second");
  Catalogue().Queries().First();
  EXPECT_EQ(Editor().Text(), "first!");
}

TEST_F(QueriesAreaTest, TypingWithoutAQueryKeepsTheText) {
  ASSERT_TRUE(Catalogue().Queries().IsEmpty());
  QTest::keyClicks(&Editor(), "SEL");
  EXPECT_EQ(Editor().Text(), "SEL");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kInsert);
}

// ---- The "Apply" buttons and the word lists ----

TEST_F(QueriesAreaTest, ApplyButtonsInsertAtTheCaret) {
  AddQuery("q1", "SELECTFROM");
  auto& functions = Find<QListWidget>("ListBoxSqlFunctions");
  auto& expressions = Find<QListWidget>("ListBoxSqlExpressions");
  Editor().setCursorPosition(0, 6);

  // Nothing selected: nothing changes.
  functions.clearSelection();
  expressions.clearSelection();
  Click("ButtonApplySqlFunctionToQueryText");
  Click("ButtonApplySqlExpressionToQueryText");
  EXPECT_EQ(Editor().Text(), "SELECTFROM");

  functions.setCurrentRow(4);  // "*"
  Click("ButtonApplySqlFunctionToQueryText");
  EXPECT_EQ(Editor().Text(), "SELECT *FROM ");
  EXPECT_EQ(Editor().CaretInLine(), 6);
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kBrowse);

  // No table in the project: the empty name between two blanks.
  Editor().SetProgramText("");
  Click("ButtonApplyTableNameToQueryText");
  EXPECT_EQ(Editor().Text(), "  ");

  Add(Catalogue().Tables(), {{"TABLENAME", "orders"}});
  Add(Catalogue().Fields(), {{"FIELDNAME", "id"}});
  Editor().SetProgramText("x");
  Editor().setCursorPosition(0, 1);
  Click("ButtonApplyFieldNameToQueryText");
  EXPECT_EQ(Editor().Text(), "x orders.id ");
  expressions.setCurrentRow(5);  // "WHERE "
  Click("ButtonApplySqlExpressionToQueryText");
  EXPECT_EQ(Editor().Text(), "x WHERE  orders.id  ");
  EXPECT_EQ(Catalogue().Queries().State(), db::DataSetState::kBrowse);
}

TEST_F(QueriesAreaTest, WordListsFollowPostedTablesAndFields) {
  Add(Catalogue().Tables(), {{"TABLENAME", "orders"}});
  EXPECT_NE(std::string(Editor().Lexer().keywords(5)).find("orders"), std::string::npos);
  const auto& words = Editor().CompletionWords();
  EXPECT_EQ(std::count(words.begin(), words.end(), "orders"), 0);  // only Fields rebuilds
  Add(Catalogue().Fields(), {{"FIELDNAME", "id"}});
  const auto& rebuilt = Editor().CompletionWords();
  ASSERT_EQ(rebuilt.size(), 51u + 3u);
  EXPECT_EQ(rebuilt[51], "orders");
  EXPECT_EQ(rebuilt[53], "orders.id");
  EXPECT_EQ(Catalogue().Fields().FieldByName("FIELDNAME").AsString(), "id");
}

}  // namespace

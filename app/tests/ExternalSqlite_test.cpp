// The ExternalSources page against SQLite files, through the page's buttons:
// Test Connection, Get Tables Schema, Get Fields Schema, the preview with its
// title-click sorting, and IMPORT TABLE(S) with its messages and files; the
// SQLite ODBC driver; and the protocols whose driver this machine lacks.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>

#include "ExternalSources.h"
#include "FileChoosers.h"
#include "FormExportToCSV.h"
#include "FormFilters.h"
#include "FormFind.h"
#include "rtl/Separators.h"
#include "external_fixture.h"
#include "external_servers.h"

namespace app_testing {
namespace {

using Texts = std::vector<std::string>;

// Runs `statements` on a new SQLite file `file` (written, not read-only).
void MakeSqlite(const std::string& file, const std::vector<std::string>& statements) {
  {
    QSqlDatabase d = QSqlDatabase::addDatabase("QSQLITE", "sqlite-setup");
    d.setDatabaseName(QString::fromStdString(file));
    ASSERT_TRUE(d.open()) << d.lastError().text().toStdString();
    QSqlQuery q(d);
    for (const std::string& s : statements) {
      ASSERT_TRUE(q.exec(QString::fromStdString(s)))
          << s << ": " << q.lastError().text().toStdString();
    }
  }
  QSqlDatabase::removeDatabase("sqlite-setup");
}

class ExternalSqliteTest : public ExternalSourcesTest {
 protected:
  void SetUp() override {
    ExternalSourcesTest::SetUp();
    db_ = (server_.Path() / "shop.sqlite").string();
    MakeSqlite(
        db_,
        {
            "CREATE TABLE orders (id INTEGER, item TEXT, price REAL, big INTEGER)",
            "INSERT INTO orders VALUES (2, 'pear', 2.5, 9007199254740993)",
            "INSERT INTO orders VALUES (1, 'apple; red', 0.1, -9223372036854775808)",
            "INSERT INTO orders VALUES (3, 'say \"hi\"' || char(10) || 'twice', NULL, NULL)",
            "CREATE TABLE customers (name TEXT)",
            "INSERT INTO customers VALUES ('Ann')",
            "CREATE TABLE \"x; drop table orders; --\" (v TEXT)",
            "INSERT INTO \"x; drop table orders; --\" VALUES ('kept')",
            "CREATE TABLE seq (x INTEGER)",
            "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 1000) "
            "INSERT INTO seq SELECT x FROM s",
            // Fails at its 500th row, after 499 good ones: abs() of the smallest
            // integer overflows.
            "CREATE VIEW broken AS SELECT x, CASE WHEN x = 500 THEN abs(-9223372036854775807 - 1) "
            "ELSE x END AS y FROM seq",
        });
  }
  Connector Sqlite(const std::string& name = "local", bool marked = true) {
    return {name, "sqlite-3 ", db_, "", 0, "", "", marked};
  }

  TempFolder server_;
  std::string db_;
};

TEST_F(ExternalSqliteTest, TestConnectionReportsOkAndFailures) {
  AddConnector(Sqlite());
  Click("ButtonTestConnection");
  EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});

  // A mistyped path fails and creates no file.
  messages_.entries.clear();
  const std::string missing = (server_.Path() / "shpo.sqlite").string();
  AddConnector({"typo", "sqlite-3", missing});
  Click("ButtonTestConnection");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "));
  EXPECT_FALSE(std::filesystem::exists(missing));

  // A file that is no database fails too.
  messages_.entries.clear();
  const std::string junk = (server_.Path() / "junk.sqlite").string();
  std::ofstream(junk) << "not a database at all, but long enough to be read as a header....";
  AddConnector({"junk", "sqlite", junk});
  Click("ButtonTestConnection");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "));
}

TEST_F(ExternalSqliteTest, TestConnectionWithoutConnectorAppendsAnEmptyOne) {
  Click("ButtonTestConnection");
  EXPECT_EQ(Catalogue().SQLConnectors().RecordCount(), 1);
  EXPECT_EQ(messages_.Texts(), Texts{"I could not establish connection. Unknown protocol \"\""});
}

TEST_F(ExternalSqliteTest, TestConnectionPostsWhatTheUserTyped) {
  AddConnector(Sqlite());
  db::DataSet& c = Catalogue().SQLConnectors();
  c.Edit();
  c.FieldByName("DATABASE").SetAsString("/nowhere/at/all.sqlite");
  Click("ButtonTestConnection");
  EXPECT_EQ(c.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(c.FieldByName("DATABASE").AsString(), "/nowhere/at/all.sqlite");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "));
}

TEST_F(ExternalSqliteTest, UnknownProtocolsAndMissingDriversFailClearly) {
  struct Case {
    const char* protocol;
    const char* host;
    int port;
    const char* message_start;
  };
  const int closed = FreePort();
  const Case cases[] = {
      {"dbase", "", 0, "I could not establish connection. Unknown protocol \"dbase\""},
      // ODBC drivers this machine does not have.
      {"oracle", "127.0.0.1", closed, "I could not establish connection. "},
      {"ASA9", "127.0.0.1", closed, "I could not establish connection. "},
      {"ado", "127.0.0.1", closed, "I could not establish connection. "},
      {"sqlite-2.8", "", 0, "I could not establish connection. "},
      // Servers that are not there: a closed loopback port answers at once.
      {"postgresql", "127.0.0.1", closed, "I could not establish connection. "},
      {"mysql-5", "127.0.0.1", closed, "I could not establish connection. "},
      {"firebird-2.0", "127.0.0.1", closed, "I could not establish connection. "},
      {"mssql", "127.0.0.1", closed, "I could not establish connection. "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    messages_.entries.clear();
    AddConnector({c.protocol, c.protocol, "shop", c.host, c.port, "u", "p"});
    const auto start = std::chrono::steady_clock::now();
    Click("ButtonTestConnection");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    ASSERT_EQ(messages_.entries.size(), 1u);
    EXPECT_TRUE(messages_.Texts()[0].starts_with(c.message_start)) << messages_.Texts()[0];
    EXPECT_GT(messages_.Texts()[0].size(),
              std::string_view("I could not establish connection. ").size());
  }
}

TEST_F(ExternalSqliteTest, GetTablesSchemaReplacesTheRowsAndClearsMarks) {
  AddConnector(Sqlite());
  AddSQLTable("orders", true, "orders2", "mine");
  AddSQLTable("gone", true);
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  const Rows expected = {{"broken", "F", "", ""},
                         {"customers", "F", "", ""},
                         {"orders", "F", "", ""},
                         {"seq", "F", "", ""},
                         {"x; drop table orders; --", "F", "", ""}};
  EXPECT_EQ(SQLTableRows(), expected);
  EXPECT_EQ(ListItems("ListBoxSQLTables"),
            (QStringList{"broken", "customers", "orders", "seq", "x; drop table orders; --"}));
  // Again: the same rows.
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(SQLTableRows(), expected);
}

TEST_F(ExternalSqliteTest, TwoConnectorsBothListTheirTablesOfTheSameName) {
  AddConnector(Sqlite("first"));
  Click("ButtonSQLTablesSchema");
  AddConnector(Sqlite("second"));
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  EXPECT_EQ(SQLTableRows().size(), 5u);
  Catalogue().SQLConnectors().First();
  EXPECT_EQ(Catalogue().SQLConnectors().FieldByName("SQLCONNECTORNAME").AsString(), "first");
  EXPECT_EQ(SQLTableRows().size(), 5u);
}

TEST_F(ExternalSqliteTest, GetTablesSchemaThatCannotConnectKeepsTheRows) {
  AddConnector({"typo", "sqlite-3", (server_.Path() / "none.sqlite").string()});
  AddSQLTable("orders", true, "orders2", "mine");
  Click("ButtonSQLTablesSchema");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "));
  EXPECT_EQ(SQLTableRows(), (Rows{{"orders", "T", "orders2", "mine"}}));
}

TEST_F(ExternalSqliteTest, GetFieldsSchemaListsColumnsOrReportsTheServersError) {
  AddConnector(Sqlite());
  AddSQLTable("orders");
  AddSQLTable("missing");
  AddSQLTable("x; drop table orders; --");
  SelectSQLTable("orders");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"), (QStringList{"id", "item", "price", "big"}));
  // The row chosen stays the one listed, whatever posting the connector did.
  EXPECT_EQ(Catalogue().SQLTables().FieldByName("SQLTABLENAME").AsString(), "orders");

  SelectSQLTable("x; drop table orders; --");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"), (QStringList{"v"}));

  SelectSQLTable("missing");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(messages_.Texts(), Texts{"I could not establish connection. no such table: missing"});
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"), (QStringList{"v"}));
}

TEST_F(ExternalSqliteTest, PreviewLoadsSortsAndUnloads) {
  AddConnector(Sqlite());
  AddSQLTable("orders");
  SelectSQLTable("orders");
  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, "Finished!"}));
  db::DataSet& preview = window_->VoQueryDatasetSQLTableData();
  ASSERT_TRUE(preview.Active());
  ASSERT_EQ(preview.FieldCount(), 4);
  EXPECT_EQ(preview.Fields(0).DataType(), db::FieldType::ftLargeint);
  EXPECT_EQ(preview.Fields(1).DataType(), db::FieldType::ftMemo);
  EXPECT_EQ(preview.Fields(2).DataType(), db::FieldType::ftFloat);
  ASSERT_EQ(PreviewRows().size(), 3u);
  EXPECT_EQ(PreviewRows()[0][1], "pear");
  EXPECT_EQ(PreviewRows()[0][3], "9007199254740993");

  ClickPreviewTitle(0);
  Rows rows = PreviewRows();
  EXPECT_EQ((Texts{rows[0][0], rows[1][0], rows[2][0]}), (Texts{"1", "2", "3"}));
  ClickPreviewTitle(0);
  rows = PreviewRows();
  EXPECT_EQ((Texts{rows[0][0], rows[1][0], rows[2][0]}), (Texts{"3", "2", "1"}));

  Click("ButtonDeactivateSQLTablePreview");
  EXPECT_FALSE(preview.Active());
}

TEST_F(ExternalSqliteTest, PreviewFailuresEndWithFinished) {
  AddConnector(Sqlite());
  AddSQLTable("missing");
  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(
      messages_.Texts(),
      (Texts{kAnnouncement, "I could not activate table. no such table: missing", "Finished!"}));

  messages_.entries.clear();
  AddConnector({"typo", "sqlite-3", (server_.Path() / "none.sqlite").string()});
  Click("ButtonActivateSQLTablePreview");
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_TRUE(messages_.Texts()[1].starts_with("I could not establish connection. "));
  EXPECT_EQ(messages_.Texts()[2], "Finished!");
}

TEST_F(ExternalSqliteTest, PreviewOfAFailingFetchReportsIt) {
  AddConnector(Sqlite());
  AddSQLTable("broken");
  Click("ButtonActivateSQLTablePreview");
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_TRUE(messages_.Texts()[1].starts_with("I could not activate table. "))
      << messages_.Texts()[1];
}

TEST_F(ExternalSqliteTest, ImportWritesMarkedTablesWithTheirMessages) {
  AddConnector(Sqlite());
  AddSQLTable("orders", true, "orders2");
  AddSQLTable("customers", true);
  AddSQLTable("seq", false);
  AddConnector(Sqlite("unmarked", false));
  AddSQLTable("seq", true);
  // An old file of the same name is replaced.
  std::ofstream(ProjectFile("customers")) << "old;file\n1;2\n";
  Click("ButtonImport");
  EXPECT_EQ(
      messages_.Texts(),
      (Texts{"External table orders succesfully imported to " + ProjectFile("orders2"),
             "External table customers succesfully imported to " + ProjectFile("customers")}));
  EXPECT_EQ(ReadTableFile(ProjectFile("orders2")),
            (Rows{{"id", "item", "price", "big"},
                  {"2", "pear", "2.5", "9007199254740993"},
                  {"1", "apple; red", "0.1", "-9223372036854775808"},
                  {"3", "say \"hi\"\ntwice", "", ""}}));
  EXPECT_EQ(ReadFile(ProjectFile("customers")), "name\nAnn\n");
  EXPECT_EQ(ProjectFiles(), (Texts{"customers.txt", "orders2.txt"}));
}

TEST_F(ExternalSqliteTest, ImportWritesNumbersWithTheProcessWideSeparator) {
  const char previous = rtl::DecimalSeparator();
  rtl::SetDecimalSeparator(',');
  AddConnector(Sqlite());
  AddSQLTable("orders");
  Click("ButtonImport");
  rtl::SetDecimalSeparator(previous);
  const Rows rows = ReadTableFile(ProjectFile("orders"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][2], "2,5");
  EXPECT_EQ(rows[2][2], "0,1");
  EXPECT_EQ(rows[1][3], "9007199254740993");
}

TEST_F(ExternalSqliteTest, ImportReadsATableWhoseNameIsAStatement) {
  AddConnector(Sqlite());
  AddSQLTable("x; drop table orders; --", true, "odd");
  Click("ButtonImport");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"External table x; drop table orders; -- succesfully imported to " +
                   ProjectFile("odd")}));
  EXPECT_EQ(ReadFile(ProjectFile("odd")), "v\nkept\n");
}

TEST_F(ExternalSqliteTest, ImportRefusesTargetsOutsideTheFolderAndGoesOn) {
  AddConnector(Sqlite());
  AddSQLTable("orders", true, "../escaped");
  AddSQLTable("customers", true, "a/b");
  AddSQLTable("seq", true, "..");
  AddSQLTable("broken", false, "");
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("External table orders could not be imported. "));
  EXPECT_TRUE(messages_.Texts()[1].starts_with("External table customers could not be imported. "));
  EXPECT_TRUE(messages_.Texts()[2].starts_with("External table seq could not be imported. "));
  EXPECT_FALSE(std::filesystem::exists(project_.Path() / "escaped.txt"));
  EXPECT_EQ(ProjectFiles(), Texts{});
}

TEST_F(ExternalSqliteTest, ImportFailuresLeaveTheOldFileAndNoPartOfTheNew) {
  AddConnector(Sqlite());
  AddSQLTable("broken");
  AddSQLTable("missing");
  AddSQLTable("customers");
  std::ofstream(ProjectFile("broken")) << "x;y\nold;row\n";
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 3u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with(
      "External table broken could not be imported. Reading the rows failed after row 499: "))
      << messages_.Texts()[0];
  EXPECT_EQ(messages_.Texts()[1], "I could not activate table. no such table: missing");
  EXPECT_EQ(messages_.Texts()[2],
            "External table customers succesfully imported to " + ProjectFile("customers"));
  EXPECT_EQ(ReadFile(ProjectFile("broken")), "x;y\nold;row\n");
  EXPECT_EQ(ProjectFiles(), (Texts{"broken.txt", "customers.txt"}));
}

TEST_F(ExternalSqliteTest, ImportIntoAMissingFolderReportsTheWriteFailure) {
  AddConnector(Sqlite());
  AddSQLTable("customers");
  std::filesystem::remove_all(ProjectFolder());
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("External table customers could not be imported. "))
      << messages_.Texts()[0];
}

TEST_F(ExternalSqliteTest, ImportOfAConnectorThatCannotConnectShowsOneBox) {
  AddConnector({"typo", "sqlite-3", (server_.Path() / "none.sqlite").string()});
  AddSQLTable("orders");
  AddSQLTable("customers");
  AddConnector(Sqlite("good"));
  AddSQLTable("customers");
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 2u);
  EXPECT_TRUE(
      messages_.Texts()[0].starts_with("I could not establish connection to the Connector typo. "));
  EXPECT_EQ(messages_.Texts()[1],
            "External table customers succesfully imported to " + ProjectFile("customers"));
}

// The SQLite ODBC driver, chosen directly.
TEST_F(ExternalSqliteTest, OdbcDriverListsAndImports) {
  const std::string file = (server_.Path() / "odbc.sqlite").string();
  MakeSqlite(file, {"CREATE TABLE customers (name TEXT, n INTEGER)",
                    "INSERT INTO customers VALUES ('Ann', 7)"});
  AddConnector({"odbc", "sqlite-2.8", file});
  app::ExternalSources ops(Catalogue(), messages_, window_->VoConnection1(),
                           window_->VoQueryDatasetSQLTableData());
  ops.Connection().SetProtocol({"QODBC", "SQLite3", false});
  const auto names = ops.GetTablesSchema();
  ASSERT_TRUE(names.has_value()) << testing::PrintToString(messages_.Texts());
  EXPECT_EQ(*names, Texts{"customers"});
  ASSERT_EQ(SQLTableRows().size(), 1u);
  SelectSQLTable("customers");
  EXPECT_EQ(ops.GetFieldsSchema(), (std::optional<Texts>(Texts{"name", "n"})));
  db::DataSet& t = Catalogue().SQLTables();
  t.Edit();
  t.FieldByName("TOBEIMPORTED").SetAsBoolean(true);
  t.Post();
  ops.Import();
  EXPECT_EQ(messages_.Texts(), (Texts{"External table customers succesfully imported to " +
                                      ProjectFile("customers")}));
  EXPECT_EQ(ReadFile(ProjectFile("customers")), "name;n\nAnn;7\n");
}


// The filter, find and export dialogs on the preview of a table of typed
// columns, through the page's Filter, Find and Export buttons.
class ExternalSqliteDialogsTest : public ExternalSqliteTest {
 protected:
  void SetUp() override {
    ExternalSqliteTest::SetUp();
    MakeSqlite(db_, {
                        "CREATE TABLE items (id INTEGER, name TEXT, price REAL, day DATE, "
                        "ok BOOLEAN, note TEXT)",
                        "INSERT INTO items VALUES (1, 'pen', 2.5, '2024-02-29', 1, 'a\"b')",
                        "INSERT INTO items VALUES (2, 'ink', NULL, NULL, NULL, NULL)",
                        "INSERT INTO items VALUES (3, 'Pen', -0.125, '2024-03-01', 0, '')",
                        "INSERT INTO items VALUES (4, 'cap', 2.5, '2024-02-29', 1, 'x;y')",
                    });
    AddConnector(Sqlite());
    AddSQLTable("items");
    SelectSQLTable("items");
    Click("ButtonActivateSQLTablePreview");
    messages_.entries.clear();
  }
  db::DataSet& Preview() { return window_->VoQueryDatasetSQLTableData(); }
  std::string CurrentId() { return Preview().FieldByName("id").AsString(); }
  Texts ShownIds() {
    Texts ids;
    for (const auto& row : PreviewRows()) ids.push_back(row[0]);
    Preview().First();
    return ids;
  }
  void ClickIn(const QWidget& dialog, const char* name) {
    auto* b = dialog.findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
  }
};

TEST_F(ExternalSqliteDialogsTest, FilterAppliedAndRemovedOnTypedFields) {
  Click("ButtonFilterSQLTableData");
  app::FormFilters& dialog = window_->GetFormFilters();
  ASSERT_TRUE(dialog.isVisible());
  QComboBox* fields = dialog.ComboBoxFilterFields();
  ASSERT_EQ(fields->count(), 6);
  EXPECT_EQ(fields->itemText(2), "price");
  struct Case {
    const char* filter;
    Texts shown;
    const char* error;  // the parser's reason, or nullptr
  };
  // Each typed column compared in its own kind; a null number passes no
  // comparison. SQLite's texts are memos, which the filter cannot read: refused, every row
  // shows again.
  const Case cases[] = {
      {"price > 1", {"1", "4"}, nullptr},
      {"price < 0", {"3"}, nullptr},
      {"id >= 3", {"3", "4"}, nullptr},
      {"ok", {"1", "4"}, nullptr},
      // A null truth value reads as false.
      {"NOT ok AND id > 1", {"2", "3"}, nullptr},
      {"day = '2024-02-29'", {"1", "2", "3", "4"},
       "Field \"day\" has an invalid field type (Memo) to base index on."},
      {"price IS NULL", {"1", "2", "3", "4"}, "Unexpected \"IS\" at position 7."},
      {"price > 2", {"1", "4"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    messages_.entries.clear();
    QPlainTextEdit* memo = dialog.DBMemoFilter();
    memo->setFocus();
    memo->selectAll();
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClicks(memo, c.filter);
    ClickIn(dialog, "ButtonApplyFilter");
    EXPECT_EQ(messages_.Texts(), c.error == nullptr ? Texts{}
                                                    : Texts{std::string("Error while trying to "
                                                                        "apply filter. ") +
                                                            c.error});
    EXPECT_EQ(Preview().Filter(), c.error == nullptr ? c.filter : "");
    EXPECT_EQ(ShownIds(), c.shown);
    EXPECT_FALSE(Preview().ControlsDisabled());
  }
  messages_.entries.clear();
  ClickIn(dialog, "ButtonRemoveFilter");
  EXPECT_EQ(ShownIds(), (Texts{"1", "2", "3", "4"}));
  EXPECT_EQ(messages_.Texts(), Texts{});
}

TEST_F(ExternalSqliteDialogsTest, FindAndFindNextCompareByFieldKind) {
  Click("ButtonFindSQLTableData");
  app::FormFind& dialog = window_->GetFormFind();
  ASSERT_TRUE(dialog.isVisible());
  auto ask = [&](const QString& field, const QString& value) {
    QComboBox* list = dialog.ComboBoxFindFields();
    list->setCurrentIndex(list->findText(field));
    QLineEdit* edit = dialog.EditFindValue();
    edit->clear();
    QTest::keyClicks(edit, value);
  };
  struct Case {
    const char* button;
    const char* field;
    const char* value;
    const char* start;    // id of the row made current first
    const char* current;  // id of the current row afterwards
    bool found;
  };
  const Case cases[] = {
      {"ButtonFind", "id", "3", "1", "3", true},
      {"ButtonFind", "id", "33", "1", "1", false},
      // Find Next converts the typed text to the field's kind.
      {"ButtonFindNext", "id", "4", "1", "4", true},
      {"ButtonFindNext", "id", "4.0", "1", "4", true},
      {"ButtonFindNext", "price", "2.50", "1", "4", true},
      {"ButtonFindNext", "price", "-0.125", "1", "3", true},
      {"ButtonFindNext", "ok", "False", "1", "3", true},
      {"ButtonFindNext", "ok", "True", "1", "4", true},
      {"ButtonFindNext", "day", "2024-03-01", "1", "3", true},
      {"ButtonFindNext", "name", "Pen", "1", "3", true},
      {"ButtonFindNext", "name", "PEN", "1", "1", false},
      // A null matches no text, the empty one included; an unconvertible text
      // matches nothing; the walk starts after the current row.
      {"ButtonFindNext", "price", "", "1", "1", false},
      {"ButtonFindNext", "price", "cheap", "1", "1", false},
      {"ButtonFindNext", "ok", "True", "4", "4", false},
      {"ButtonFindNext", "id", "1", "1", "1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " " + c.field + " " + c.value);
    messages_.entries.clear();
    ASSERT_TRUE(Preview().Locate("id", rtl::Variant::Text(c.start)));
    ask(c.field, c.value);
    ClickIn(dialog, c.button);
    EXPECT_EQ(messages_.Texts(), c.found ? Texts{} : Texts{"Not found."});
    EXPECT_EQ(CurrentId(), c.current);
    EXPECT_FALSE(Preview().ControlsDisabled());
  }
  // Find's exact search cannot read a memo: its reason is shown.
  messages_.entries.clear();
  ask("name", "Pen");
  ClickIn(dialog, "ButtonFind");
  EXPECT_EQ(messages_.Texts(),
            Texts{"VoQueryDatasetSQLTableData : Field \"name\" has an invalid field type (Memo) "
                  "to base index on."});
  EXPECT_FALSE(Preview().ControlsDisabled());
}

TEST_F(ExternalSqliteDialogsTest, ExportWritesEachKindInItsForm) {
  const std::string target = (work_.Path() / "items.csv").string();
  ASSERT_TRUE(Preview().Locate("id", rtl::Variant::Text("3")));
  Click("ButtonExportSQLTableData");
  app::FormExportToCSV& dialog = window_->GetFormExportToCSV();
  ASSERT_TRUE(dialog.isVisible());
  QLineEdit* edit = dialog.FileNameEdit1()->Edit();
  QTest::keyClicks(edit, QString::fromStdString(target));
  ClickIn(dialog, "Button1");
  // Integers and floats as their text, truth values True/False, nulls empty;
  // SQLite's driver gives a DATE column and TEXT columns as texts of no size
  // (memos), written as they stand unless they would not read back: a memo
  // holding the delimiter or a quote is quoted, its quotes doubled.
  const char* const expected =
      "id;name;price;day;ok;note\n"
      "1;pen;2.5;2024-02-29;True;\"a\"\"b\"\n"
      "2;ink;;;;\n"
      "3;Pen;-0.125;2024-03-01;False;\n"
      "4;cap;2.5;2024-02-29;True;\"x;y\"\n";
  EXPECT_EQ(ReadFile(target), expected);
  EXPECT_EQ(CurrentId(), "3");

  // With a filter: only the rows shown; the decimal separator is the process's.
  Click("ButtonFilterSQLTableData");
  app::FormFilters& filters = window_->GetFormFilters();
  QTest::keyClicks(filters.DBMemoFilter(), "price > 0");
  ClickIn(filters, "ButtonApplyFilter");
  const char previous = rtl::DecimalSeparator();
  rtl::SetDecimalSeparator(',');
  Click("ButtonExportSQLTableData");
  ClickIn(dialog, "Button1");
  rtl::SetDecimalSeparator(previous);
  EXPECT_EQ(ReadFile(target),
            "id;name;price;day;ok;note\n"
            "1;pen;2,5;2024-02-29;True;\"a\"\"b\"\n"
            "4;cap;2,5;2024-02-29;True;\"x;y\"\n");

  // The preview closed: the export says so and the file stays.
  Click("ButtonDeactivateSQLTablePreview");
  Click("ButtonExportSQLTableData");
  ClickIn(dialog, "Button1");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"Dataset is successfully exported to the file: " + target,
                   "Dataset is successfully exported to the file: " + target,
                   " I could not export the dataset. Dataset not in browse mode"}));
  EXPECT_EQ(ReadFile(target).substr(0, 26), "id;name;price;day;ok;note\n");
}

}  // namespace
}  // namespace app_testing

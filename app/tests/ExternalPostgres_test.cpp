// The ExternalSources page against a PostgreSQL 15 server that this test
// starts on 127.0.0.1 (and stops at its end): connecting over TCP and through
// the socket folder, the table list from the standard catalogue with other
// schemas as "schema.table", column lists, the preview, and imports that keep
// every digit (each value as the server spells it, booleans True/False, bytea
// as its bytes), refuse to run table names and survive fetch errors; the
// PostgreSQL ODBC driver with brace-quoted values.
#include <gtest/gtest.h>

#include "ExternalSources.h"
#include "external_fixture.h"
#include "external_servers.h"

namespace app_testing {
namespace {

using Texts = std::vector<std::string>;

PostgresServer* server = nullptr;

class PostgresEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    server = new PostgresServer();
    if (!server->StartError().empty()) return;
    setup_error_ = Execute(
        "QPSQL", "127.0.0.1", server->Port(), "postgres", "postgres",
        {"CREATE TABLE orders (id integer, item varchar(20), note text, amount numeric(30,10), "
         "big bigint, paid boolean, day date, at timestamp, raw bytea)",
         "INSERT INTO orders VALUES (2, 'pear', 'plain', 12345678901234567890.1234567890, "
         "9007199254740993, true, '2024-02-29', '2024-02-29 13:45:01', 'ab')",
         "INSERT INTO orders VALUES (1, 'apple; red', E'say \"hi\"\\r\\nagain', -0.0000000001, "
         "-9223372036854775808, false, '1999-12-31', '1999-12-31 23:59:59.5', NULL)",
         "INSERT INTO orders VALUES (3, NULL, NULL, 0, 0, NULL, NULL, NULL, NULL)",
         "CREATE TABLE customers (name text)", "INSERT INTO customers VALUES ('Ann')",
         "CREATE TABLE \"MixedCase\" (v integer)", "INSERT INTO \"MixedCase\" VALUES (7)",
         "CREATE TABLE \"x; drop table orders; --\" (v text)",
         "INSERT INTO \"x; drop table orders; --\" VALUES ('kept')", "CREATE SCHEMA sales",
         "CREATE TABLE sales.invoices (n integer)", "INSERT INTO sales.invoices VALUES (42)",
         // Fails at its 500th row: division by zero.
         "CREATE VIEW broken AS SELECT x, 1 / (x - 500) AS y FROM generate_series(1, 1000) x",
         // A user who may connect but not read the catalogue's schema.
         "CREATE ROLE lister LOGIN", "REVOKE USAGE ON SCHEMA information_schema FROM PUBLIC"});
  }
  void TearDown() override {
    delete server;
    server = nullptr;
  }
  static std::string setup_error_;
};
std::string PostgresEnvironment::setup_error_;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new PostgresEnvironment);

class ExternalPostgresTest : public ExternalSourcesTest {
 protected:
  void SetUp() override {
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(server->StartError(), "") << "PostgreSQL could not start";
    ASSERT_EQ(PostgresEnvironment::setup_error_, "");
    ExternalSourcesTest::SetUp();
  }
  Connector Postgres(const std::string& name = "pg", const std::string& user = "postgres") {
    return {name, "postgresql-8 ", "postgres", "127.0.0.1", server->Port(), user, "", true};
  }
  std::string Count(const std::string& table) {
    std::string result;
    QSqlDatabase d = QSqlDatabase::addDatabase("QPSQL", "count");
    {
      d.setHostName("127.0.0.1");
      d.setPort(server->Port());
      d.setDatabaseName("postgres");
      d.setUserName("postgres");
      if (d.open()) {
        QSqlQuery q(d);
        if (q.exec(QString::fromStdString("SELECT count(*) FROM " + table)) && q.next()) {
          result = q.value(0).toString().toStdString();
        }
      }
      d.close();
    }
    d = QSqlDatabase();
    QSqlDatabase::removeDatabase("count");
    return result;
  }
};

TEST_F(ExternalPostgresTest, TestConnectionOverTcpAndSocket) {
  AddConnector(Postgres());
  Click("ButtonTestConnection");
  EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});

  messages_.entries.clear();
  AddConnector({"socket", "postgresql", "postgres", server->Folder(), server->Port(), "postgres"});
  Click("ButtonTestConnection");
  EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});

  messages_.entries.clear();
  AddConnector({"nodb", "postgresql", "nosuchdb", "127.0.0.1", server->Port(), "postgres"});
  Click("ButtonTestConnection");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "))
      << messages_.Texts()[0];
  EXPECT_NE(messages_.Texts()[0].find("nosuchdb"), std::string::npos) << messages_.Texts()[0];
}

TEST_F(ExternalPostgresTest, GetTablesSchemaListsEverySchema) {
  AddConnector(Postgres());
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  EXPECT_EQ(ListItems("ListBoxSQLTables"),
            (QStringList{"MixedCase", "broken", "customers", "orders", "x; drop table orders; --",
                         "sales.invoices"}));
  EXPECT_EQ(SQLTableRows().size(), 6u);
}

TEST_F(ExternalPostgresTest, GetTablesSchemaThatFailsKeepsTheRows) {
  AddConnector(Postgres("pg", "lister"));
  AddSQLTable("orders", true, "orders2", "mine");
  Click("ButtonSQLTablesSchema");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with(
      "I could not get tables schema. ERROR:  permission denied for schema information_schema"))
      << messages_.Texts()[0];
  EXPECT_EQ(SQLTableRows(), (Rows{{"orders", "T", "orders2", "mine"}}));
}

TEST_F(ExternalPostgresTest, GetFieldsSchemaOfEveryKindOfName) {
  AddConnector(Postgres());
  AddSQLTable("orders");
  AddSQLTable("sales.invoices");
  AddSQLTable("missing");
  struct Case {
    const char* table;
    QStringList fields;
  };
  const Case cases[] = {
      {"orders", {"id", "item", "note", "amount", "big", "paid", "day", "at", "raw"}},
      {"sales.invoices", {"n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    SelectSQLTable(c.table);
    Click("ButtonGetSQLTableFieldsSchema");
    EXPECT_EQ(messages_.Texts(), Texts{});
    EXPECT_EQ(ListItems("ListBoxSQLTableFields"), c.fields);
  }
  SelectSQLTable("missing");
  Click("ButtonGetSQLTableFieldsSchema");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with(
      "I could not establish connection. ERROR:  relation \"missing\" does not exist"))
      << messages_.Texts()[0];
}

TEST_F(ExternalPostgresTest, PreviewHasTheServersFieldKindsAndSorts) {
  AddConnector(Postgres());
  AddSQLTable("orders");
  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, "Finished!"}));
  db::DataSet& preview = window_->VoQueryDatasetSQLTableData();
  ASSERT_EQ(preview.FieldCount(), 9);
  const db::FieldType kinds[] = {
      db::FieldType::ftInteger, db::FieldType::ftString,   db::FieldType::ftMemo,
      db::FieldType::ftFloat,   db::FieldType::ftLargeint, db::FieldType::ftBoolean,
      db::FieldType::ftDate,    db::FieldType::ftDateTime, db::FieldType::ftBlob};
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(preview.Fields(i).DataType(), kinds[i]);
  }
  EXPECT_EQ(preview.Fields(1).Size(), 20);
  ClickPreviewTitle(0);
  Rows rows = PreviewRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ((Texts{rows[0][0], rows[1][0], rows[2][0]}), (Texts{"1", "2", "3"}));
  EXPECT_EQ(rows[1][1], "pear");
  EXPECT_EQ(rows[1][4], "9007199254740993");
  ClickPreviewTitle(4);
  rows = PreviewRows();
  EXPECT_EQ((Texts{rows[0][0], rows[1][0], rows[2][0]}), (Texts{"1", "3", "2"}));
}

TEST_F(ExternalPostgresTest, ImportKeepsEveryDigitAndEveryValue) {
  AddConnector(Postgres());
  AddSQLTable("orders");
  AddSQLTable("sales.invoices", true, "invoices");
  Click("ButtonImport");
  EXPECT_EQ(
      messages_.Texts(),
      (Texts{"External table orders succesfully imported to " + ProjectFile("orders"),
             "External table sales.invoices succesfully imported to " + ProjectFile("invoices")}));
  EXPECT_EQ(ReadTableFile(ProjectFile("orders")),
            (Rows{{"id", "item", "note", "amount", "big", "paid", "day", "at", "raw"},
                  {"2", "pear", "plain", "12345678901234567890.1234567890", "9007199254740993",
                   "True", "2024-02-29", "2024-02-29 13:45:01", "ab"},
                  {"1", "apple; red", "say \"hi\"\r\nagain", "-0.0000000001",
                   "-9223372036854775808", "False", "1999-12-31", "1999-12-31 23:59:59.5", ""},
                  {"3", "", "", "0.0000000000", "0", "", "", "", ""}}));
  EXPECT_EQ(ReadFile(ProjectFile("invoices")), "n\n42\n");
}

// A plain name goes to the server as it is, so the server folds its letter
// case as for a name typed by hand: "MixedCase" reads mixedcase.
TEST_F(ExternalPostgresTest, PlainNamesKeepTheServersCaseFolding) {
  AddConnector(Postgres());
  AddSQLTable("MixedCase");
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with(
      "I could not activate table. ERROR:  relation \"mixedcase\" does not exist"))
      << messages_.Texts()[0];
  EXPECT_EQ(ProjectFiles(), Texts{});
}

TEST_F(ExternalPostgresTest, ATableNamedLikeAStatementIsReadNeverRun) {
  AddConnector(Postgres());
  AddSQLTable("x; drop table orders; --", true, "odd");
  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, "Finished!"}));
  EXPECT_EQ(PreviewRows(), (Rows{{"kept"}}));
  messages_.entries.clear();
  Click("ButtonImport");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"External table x; drop table orders; -- succesfully imported to " +
                   ProjectFile("odd")}));
  EXPECT_EQ(ReadFile(ProjectFile("odd")), "v\nkept\n");
  EXPECT_EQ(Count("orders"), "3");
}

TEST_F(ExternalPostgresTest, AFetchErrorAmidTheRowsIsAFailure) {
  AddConnector(Postgres());
  AddSQLTable("broken");
  AddSQLTable("customers");
  std::ofstream(ProjectFile("broken")) << "x;y\nold;row\n";
  Click("ButtonImport");
  ASSERT_EQ(messages_.entries.size(), 2u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with(
      "External table broken could not be imported. Reading the rows failed after row 499: "
      "ERROR:  division by zero"))
      << messages_.Texts()[0];
  EXPECT_EQ(messages_.Texts()[1],
            "External table customers succesfully imported to " + ProjectFile("customers"));
  EXPECT_EQ(ReadFile(ProjectFile("broken")), "x;y\nold;row\n");
  EXPECT_EQ(ProjectFiles(), (Texts{"broken.txt", "customers.txt"}));
}

// DSN-less through the PostgreSQL ODBC driver. The password holds ";" and an
// attribute: quoted, it is one value (which trust authentication ignores);
// unquoted, it would point the connection at a database that does not exist.
TEST_F(ExternalPostgresTest, OdbcDriverWithAQuotedConnectionString) {
  AddConnector({"odbc", "postgresql", "postgres", "127.0.0.1", server->Port(), "postgres",
                "pw;DATABASE=nosuchdb"});
  AddSQLTable("customers");
  app::ExternalSources ops(Catalogue(), messages_, window_->VoConnection1(),
                           window_->VoQueryDatasetSQLTableData());
  ops.Connection().SetProtocol({"QODBC", "PostgreSQL Unicode", false});
  ops.TestConnection();
  EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});
  SelectSQLTable("customers");
  EXPECT_EQ(ops.GetFieldsSchema(), (std::optional<Texts>(Texts{"name"})));
  messages_.entries.clear();
  ops.Import();
  EXPECT_EQ(messages_.Texts(), (Texts{"External table customers succesfully imported to " +
                                      ProjectFile("customers")}));
  EXPECT_EQ(ReadFile(ProjectFile("customers")), "name\nAnn\n");
}

}  // namespace
}  // namespace app_testing

// The ExternalSources page against a MariaDB server that this test starts on
// 127.0.0.1 (and stops at its end), through the MySQL protocol names (an
// import writes each value as the server spells it) and
// through the MariaDB ODBC driver, whose connection string keeps a password
// holding ";" and "}" as one value.
#include <gtest/gtest.h>

#include "ExternalSources.h"
#include "external_fixture.h"
#include "external_servers.h"

namespace app_testing {
namespace {

using Texts = std::vector<std::string>;

MariaDbServer* server = nullptr;
std::string setup_error;

class MariaDbEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    server = new MariaDbServer();
    if (!server->StartError().empty()) return;
    setup_error = Execute(
        "QMYSQL", "127.0.0.1", server->Port(), "", "root",
        {"CREATE DATABASE shop", "USE shop",
         "CREATE TABLE orders (id int, item varchar(20), note text, amount decimal(30,10), "
         "big bigint unsigned, day date, at datetime(3))",
         "INSERT INTO orders VALUES (2, 'pear', 'plain', 12345678901234567890.1234567890, "
         "18446744073709551615, '2024-02-29', '2024-02-29 13:45:01')",
         "INSERT INTO orders VALUES (1, 'apple; red', 'say \"hi\"\\r\\nagain', -0.0000000001, "
         "9007199254740993, '1999-12-31', '1999-12-31 23:59:59.500')",
         "INSERT INTO orders VALUES (3, NULL, NULL, 0, 0, NULL, NULL)",
         "CREATE TABLE customers (name varchar(30))", "INSERT INTO customers VALUES ('Ann')",
         "CREATE TABLE `x; drop table orders; --` (v text)",
         "INSERT INTO `x; drop table orders; --` VALUES ('kept')",
         "CREATE USER 'odd'@'%' IDENTIFIED BY 'p;w}x'", "GRANT ALL ON shop.* TO 'odd'@'%'"});
  }
  void TearDown() override {
    delete server;
    server = nullptr;
  }
};

testing::Environment* const environment = testing::AddGlobalTestEnvironment(new MariaDbEnvironment);

class ExternalMariaDbTest : public ExternalSourcesTest {
 protected:
  void SetUp() override {
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(server->StartError(), "") << "MariaDB could not start";
    ASSERT_EQ(setup_error, "");
    ExternalSourcesTest::SetUp();
  }
  Connector MariaDb(const std::string& protocol = "mysql-5 ") {
    return {"maria", protocol, "shop", "127.0.0.1", server->Port(), "root", "", true};
  }
};

TEST_F(ExternalMariaDbTest, EveryMySqlNameConnectsAsAClient) {
  for (const char* protocol : {"mysql", "mysql-4.1", "mysql-5", "mysqld-4.1", "mysqld-5"}) {
    SCOPED_TRACE(protocol);
    messages_.entries.clear();
    AddConnector(MariaDb(protocol));
    Click("ButtonTestConnection");
    EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});
  }
  messages_.entries.clear();
  AddConnector({"wrong", "mysql", "shop", "127.0.0.1", server->Port(), "odd", "wrong"});
  Click("ButtonTestConnection");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. Access denied"))
      << messages_.Texts()[0];
}

TEST_F(ExternalMariaDbTest, TablesColumnsAndTheServersErrors) {
  AddConnector(MariaDb());
  AddSQLTable("old", true, "kept?", "note");
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  EXPECT_EQ(SQLTableRows(), (Rows{{"customers", "F", "", ""},
                                  {"orders", "F", "", ""},
                                  {"x; drop table orders; --", "F", "", ""}}));
  SelectSQLTable("orders");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"),
            (QStringList{"id", "item", "note", "amount", "big", "day", "at"}));
  AddSQLTable("missing");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(messages_.Texts(),
            Texts{"I could not establish connection. Table 'shop.missing' doesn't exist"});
}

TEST_F(ExternalMariaDbTest, PreviewAndSort) {
  AddConnector(MariaDb());
  AddSQLTable("orders");
  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, "Finished!"}));
  ClickPreviewTitle(0);
  const Rows rows = PreviewRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ((Texts{rows[0][1], rows[1][1], rows[2][1]}), (Texts{"apple; red", "pear", ""}));
}

TEST_F(ExternalMariaDbTest, ImportKeepsEveryDigitAndReadsOddNames) {
  AddConnector(MariaDb());
  AddSQLTable("orders");
  AddSQLTable("x; drop table orders; --", true, "odd");
  Click("ButtonImport");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"External table orders succesfully imported to " + ProjectFile("orders"),
                   "External table x; drop table orders; -- succesfully imported to " +
                       ProjectFile("odd")}));
  EXPECT_EQ(ReadTableFile(ProjectFile("orders")),
            (Rows{{"id", "item", "note", "amount", "big", "day", "at"},
                  {"2", "pear", "plain", "12345678901234567890.1234567890", "18446744073709551615",
                   "2024-02-29", "2024-02-29 13:45:01.000"},
                  {"1", "apple; red", "say \"hi\"\r\nagain", "-0.0000000001", "9007199254740993",
                   "1999-12-31", "1999-12-31 23:59:59.500"},
                  {"3", "", "", "0.0000000000", "0", "", ""}}));
  EXPECT_EQ(ReadFile(ProjectFile("odd")), "v\nkept\n");
}

// The MariaDB ODBC driver, chosen directly: its record() has no columns, so
// the column list comes from the query; the password "p;w}x" is one value.
TEST_F(ExternalMariaDbTest, OdbcDriverWithAQuotedPassword) {
  AddConnector({"odbc", "mysql", "shop", "127.0.0.1", server->Port(), "odd", "p;w}x"});
  AddSQLTable("customers");
  app::ExternalSources ops(Catalogue(), messages_, window_->VoConnection1(),
                           window_->VoQueryDatasetSQLTableData());
  ops.Connection().SetProtocol({"QODBC", "MariaDB Unicode", false});
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

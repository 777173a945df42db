// The ExternalSources page against Firebird database files opened through the
// embedded engine (the "firebirdd" protocol names: no host, no server
// process), made by isql-fb in a short temporary folder that also holds the
// engine's lock files.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

#include "external_fixture.h"
#include "external_servers.h"

namespace app_testing {
namespace {

using Texts = std::vector<std::string>;

ShortFolder* folder = nullptr;
std::string setup_error;

std::string Database() { return folder->Path() + "/shop.fdb"; }

// Stops the embedded engine's worker threads, so that they are not still
// winding down while the process exits.
void StopEmbeddedEngine() {
  void* client = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_NOLOAD);
  if (client == nullptr) return;
  using Shutdown = int (*)(unsigned int timeout_ms, int reason);
  constexpr int kApplicationStopped = -3;
  if (auto shutdown = reinterpret_cast<Shutdown>(dlsym(client, "fb_shutdown"))) {
    shutdown(10000, kApplicationStopped);
  }
  dlclose(client);
}

class FirebirdEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    folder = new ShortFolder();
    setenv("FIREBIRD_LOCK", folder->Path().c_str(), 1);
    const std::string script = folder->Path() + "/make.sql";
    std::ofstream(script)
        << "CREATE DATABASE '" << Database() << "' USER 'SYSDBA';\n"
        << "CREATE TABLE orders (id integer, item varchar(20), amount numeric(18,4), "
           "big bigint, d date, ts timestamp);\n"
        << "INSERT INTO orders VALUES (2, 'pear', 12345678901234.5678, 9007199254740993, "
           "'2024-02-29', '2024-02-29 13:45:01');\n"
        << "INSERT INTO orders VALUES (1, 'apple; red', -0.0001, -9223372036854775808, NULL, "
           "NULL);\n"
        << "CREATE TABLE customers (name varchar(30));\n"
        << "INSERT INTO customers VALUES ('Ann');\n"
        << "COMMIT;\n";
    const std::string log = folder->Path() + "/log";
    const int rc = Run({"isql-fb", "-q", "-u", "SYSDBA", "-i", script}, log, {},
                       {"FIREBIRD_LOCK=" + folder->Path()}, 60);
    if (rc != 0 || !std::filesystem::exists(Database())) {
      setup_error = "isql-fb could not make the database (is firebird3.0-utils installed?) rc=" +
                    std::to_string(rc) + ": " + Tail(log);
    }
  }
  void TearDown() override {
    StopEmbeddedEngine();
    delete folder;
    folder = nullptr;
  }
};

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new FirebirdEnvironment);

class ExternalFirebirdTest : public ExternalSourcesTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(setup_error, "");
    ExternalSourcesTest::SetUp();
  }
  Connector Firebird() { return {"fb", "firebirdd-2.0 ", Database(), "", 0, "SYSDBA", "", true}; }
};

TEST_F(ExternalFirebirdTest, TestConnectionToAFileAndToNoFile) {
  AddConnector(Firebird());
  Click("ButtonTestConnection");
  EXPECT_EQ(messages_.Texts(), Texts{"Connection O.K."});
  messages_.entries.clear();
  AddConnector({"typo", "firebirdd-1.5", folder->Path() + "/none.fdb", "", 0, "SYSDBA"});
  Click("ButtonTestConnection");
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_TRUE(messages_.Texts()[0].starts_with("I could not establish connection. "))
      << messages_.Texts()[0];
}

TEST_F(ExternalFirebirdTest, TablesColumnsPreviewAndImport) {
  AddConnector(Firebird());
  Click("ButtonSQLTablesSchema");
  EXPECT_EQ(messages_.Texts(), Texts{});
  EXPECT_EQ(SQLTableRows(), (Rows{{"CUSTOMERS", "F", "", ""}, {"ORDERS", "F", "", ""}}));
  SelectSQLTable("ORDERS");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"),
            (QStringList{"ID", "ITEM", "AMOUNT", "BIG", "D", "TS"}));
  // An unquoted name folds to capitals, as typed by hand.
  AddSQLTable("orders");
  Click("ButtonGetSQLTableFieldsSchema");
  EXPECT_EQ(ListItems("ListBoxSQLTableFields"),
            (QStringList{"ID", "ITEM", "AMOUNT", "BIG", "D", "TS"}));
  EXPECT_EQ(messages_.Texts(), Texts{});

  Click("ButtonActivateSQLTablePreview");
  EXPECT_EQ(messages_.Texts(), (Texts{kAnnouncement, "Finished!"}));
  ClickPreviewTitle(0);
  const Rows rows = PreviewRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ((Texts{rows[0][1], rows[1][1]}), (Texts{"apple; red", "pear"}));

  messages_.entries.clear();
  db::DataSet& t = Catalogue().SQLTables();
  t.Edit();
  t.FieldByName("IMPORTEDNAME").SetAsString("orders_fb");
  t.Post();
  Click("ButtonImport");
  EXPECT_EQ(messages_.Texts(),
            (Texts{"External table orders succesfully imported to " + ProjectFile("orders_fb")}));
  EXPECT_EQ(ReadTableFile(ProjectFile("orders_fb")),
            (Rows{{"ID", "ITEM", "AMOUNT", "BIG", "D", "TS"},
                  {"2", "pear", "12345678901234.5678", "9007199254740993", "2024-02-29",
                   "2024-02-29 13:45:01"},
                  {"1", "apple; red", "-0.0001", "-9223372036854775808", "", ""}}));
}

}  // namespace
}  // namespace app_testing

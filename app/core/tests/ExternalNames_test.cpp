// Protocol names, table-name quoting, ODBC values and import file names.
#include "ExternalNames.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(ProtocolFor, MapsEveryListedNameToItsDriver) {
  struct Case {
    const char* name;
    const char* driver;
    const char* odbc;
    bool embedded;
  };
  const Case cases[] = {
      {"postgresql", "QPSQL", "", false},
      {"postgresql-8", "QPSQL", "", false},
      {"mysql-5", "QMYSQL", "", false},
      {"mysqld-5", "QMYSQL", "", false},
      {"firebird-2.0", "QIBASE", "", false},
      {"interbase-6", "QIBASE", "", false},
      {"firebirdd-2.0", "QIBASE", "", true},
      {"firebirdd-1.5", "QIBASE", "", true},
      {"sqlite-3", "QSQLITE", "", false},
      {"sqlite", "QSQLITE", "", false},
      {"mssql", "QODBC", "FreeTDS", false},
      {"sybase", "QODBC", "FreeTDS", false},
      {"oracle-9i", "QODBC", "Oracle", false},
      {"ASA9", "QODBC", "Adaptive Server Anywhere 9.0", false},
      // A name picked from the list carries a trailing blank.
      {"postgresql ", "QPSQL", "", false},
      {" SQLite-3", "QSQLITE", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto p = ProtocolFor(c.name);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->qt_driver, c.driver);
    EXPECT_EQ(p->odbc_driver, c.odbc);
    EXPECT_EQ(p->embedded, c.embedded);
  }
}

TEST(ProtocolFor, RefusesUnknownNames) {
  for (const char* name : {"", "postgres", "mysql-6", "odbc", "sqlite3x"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ProtocolFor(name).has_value());
  }
}

TEST(QuoteTableName, SendsPlainNamesAsTheyAreAndQuotesTheRest) {
  struct Case {
    const char* name;
    char quote;
    const char* sql;
  };
  const Case cases[] = {
      {"orders", '"', "orders"},
      {"Orders_2$", '"', "Orders_2$"},
      {"sales.orders", '"', "sales.orders"},
      {"order lines", '"', "\"order lines\""},
      {"x; drop table orders; --", '"', "\"x; drop table orders; --\""},
      {"x; drop table orders; --", '`', "`x; drop table orders; --`"},
      {"say \"hi\"", '"', "\"say \"\"hi\"\"\""},
      {"back`tick", '`', "`back``tick`"},
      {"2021sales", '"', "\"2021sales\""},
      {"$x", '"', "\"$x\""},
      {"sales.order lines", '"', "sales.\"order lines\""},
      {"sales.x\"; drop table t; --", '"', "sales.\"x\"\"; drop table t; --\""},
      {"my schema.t", '"', "\"my schema.t\""},
      {"\"already\"", '"', "\"\"\"already\"\"\""},
      {"caf\xc3\xa9", '"', "\"caf\xc3\xa9\""},
      {"", '"', "\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QuoteTableName(c.name, c.quote), c.sql);
  }
}

TEST(QuotedIdentifier, AlwaysQuotesAndDoublesTheQuote) {
  EXPECT_EQ(QuotedIdentifier("AMOUNT", '"'), "\"AMOUNT\"");
  EXPECT_EQ(QuotedIdentifier("a\"b", '"'), "\"a\"\"b\"");
}

TEST(OdbcValue, BracesKeepSeparatorsInsideTheValue) {
  EXPECT_EQ(OdbcValue("db"), "db");
  EXPECT_EQ(OdbcValue("/tmp/shop.sqlite"), "/tmp/shop.sqlite");
  EXPECT_EQ(OdbcValue("a=b"), "a=b");
  EXPECT_EQ(OdbcValue(""), "");
  EXPECT_EQ(OdbcValue("a;b"), "{a;b}");
  EXPECT_EQ(OdbcValue("p}w;UID=root"), "{p}}w;UID=root}");
  EXPECT_EQ(OdbcValue("{x}"), "{{x}}}");
  EXPECT_EQ(OdbcValue(" pw"), "{ pw}");
}

TEST(ImportTargetProblem, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"orders", "orders.v2", "my orders", "..orders"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ImportTargetProblem(name), "");
  }
  const std::string bad[] = {"", ".", "..", "../orders", "a/b", "a\\b", std::string("a\0b", 3)};
  for (const std::string& name : bad) {
    SCOPED_TRACE(name);
    EXPECT_NE(ImportTargetProblem(name), "");
  }
}

}  // namespace
}  // namespace app

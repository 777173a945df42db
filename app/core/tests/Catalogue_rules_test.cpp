// The catalogue's rules: parent keys stamped on every post and refused without
// a parent, detail sets deleted with their row, the project cascade over every
// table, names that repeat across parents, the query text taken from the editor
// on every post, and texts too long for their field.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "catalogue_fixture.h"

namespace app::testing {
namespace {

using Names = std::vector<std::string>;

// The values of `field` in every row of a table file.
Names Column(const std::vector<Row>& rows, const std::string& field) {
  Names values;
  for (const Row& row : rows) values.push_back(row.at(field));
  return values;
}

std::set<std::string> KeySet(const std::vector<Row>& rows, const std::string& field) {
  std::set<std::string> keys;
  for (const Row& row : rows) keys.insert(row.at(field));
  return keys;
}

TEST_F(CatalogueTest, EveryPostStampsTheMastersCurrentKey) {
  const std::int64_t shop = AddProject("shop");
  const std::int64_t orders = AddTable("orders");
  const std::int64_t id = AddField("id");
  // An edited row is stamped again, from the master's current row.
  const std::int64_t stock = AddTable("stock");
  catalogue_->Tables().First();
  catalogue_->Fields().Edit();
  catalogue_->Fields().FieldByName("FIELDCOMMENT").SetAsString("the key");
  catalogue_->Fields().Post();
  const std::int64_t erp = AddConnector("erp");
  AddSQLTable("invoices");
  const std::int64_t query = AddQuery("all");
  AddParameter("limit");
  AddFilter("big");

  CloseCatalogue();
  const std::string shop_key = std::to_string(shop);
  EXPECT_EQ(Column(Read("Tables.dbf"), "PROJECT_ID"), (Names{shop_key, shop_key}));
  const std::vector<Row> fields = Read("Fields.dbf");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].at("FIELD_ID"), std::to_string(id));
  EXPECT_EQ(fields[0].at("TABLE_ID"), std::to_string(orders));
  EXPECT_NE(orders, stock);
  EXPECT_EQ(Column(Read("SQLConnectors.dbf"), "PROJECT_ID"), Names{shop_key});
  EXPECT_EQ(Column(Read("SQLTables.dbf"), "SQLCONNECTOR_ID"), Names{std::to_string(erp)});
  EXPECT_EQ(Column(Read("Queries.dbf"), "PROJECT_ID"), Names{shop_key});
  EXPECT_EQ(Column(Read("QueriesParameters.dbf"), "QUERY_ID"), Names{std::to_string(query)});
  EXPECT_EQ(Column(Read("Filters.dbf"), "PROJECT_ID"), Names{shop_key});
}

TEST_F(CatalogueTest, APostWithoutAMasterRowIsRefusedWithAClearMessage) {
  struct Case {
    dbf::TDbf* table;
    std::string message;
  };
  const std::vector<Case> cases = {
      {&catalogue_->Tables(), "Tables : There is no current project"},
      {&catalogue_->Fields(), "Fields : There is no current table"},
      {&catalogue_->SQLConnectors(), "SQLConnectors : There is no current project"},
      {&catalogue_->SQLTables(), "SQLTables : There is no current SQL connector"},
      {&catalogue_->Queries(), "Queries : There is no current project"},
      {&catalogue_->QueriesParameters(), "QueriesParameters : There is no current query"},
      {&catalogue_->Filters(), "Filters : There is no current project"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table->TableName());
    c.table->Append();
    try {
      c.table->Post();
      ADD_FAILURE() << "posted without a master row";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()),
                c.message + " to store this row under: add or choose one first.");
    }
    c.table->Cancel();
  }
  // Nothing reached the files, not even under the key 0.
  std::vector<std::string> files;
  for (const Case& c : cases) files.push_back(c.table->TableName());
  CloseCatalogue();
  for (const std::string& file : files) EXPECT_TRUE(Read(file).empty()) << file;
}

TEST_F(CatalogueTest, DeletingARowDeletesItsDetailSetOnly) {
  AddProject("shop");
  AddTable("orders");
  AddField("orders_id");
  AddField("orders_total");
  AddTable("stock");
  AddField("stock_id");
  AddConnector("erp");
  AddSQLTable("erp_a");
  AddSQLTable("erp_b");
  AddConnector("crm");
  AddSQLTable("crm_a");
  AddQuery("q1");
  AddParameter("q1_p");
  AddParameter("q1_q");
  AddQuery("q2");
  AddParameter("q2_p");

  // The first of each pair is deleted; the second keeps its rows.
  catalogue_->Tables().First();
  catalogue_->Tables().Delete();
  catalogue_->SQLConnectors().First();
  catalogue_->SQLConnectors().Delete();
  catalogue_->Queries().First();
  catalogue_->Queries().Delete();
  EXPECT_EQ(Shown(catalogue_->Fields(), "FIELDNAME"), Names{"stock_id"});
  EXPECT_EQ(Shown(catalogue_->SQLTables(), "SQLTABLENAME"), Names{"crm_a"});
  EXPECT_EQ(Shown(catalogue_->QueriesParameters(), "QUERYPARAMETERNAME"), Names{"q2_p"});

  CloseCatalogue();
  EXPECT_EQ(Column(Read("Tables.dbf"), "TABLENAME"), Names{"stock"});
  EXPECT_EQ(Column(Read("Fields.dbf"), "FIELDNAME"), Names{"stock_id"});
  EXPECT_EQ(Column(Read("SQLConnectors.dbf"), "SQLCONNECTORNAME"), Names{"crm"});
  EXPECT_EQ(Column(Read("SQLTables.dbf"), "SQLTABLENAME"), Names{"crm_a"});
  EXPECT_EQ(Column(Read("Queries.dbf"), "QUERYNAME"), Names{"q2"});
  EXPECT_EQ(Column(Read("QueriesParameters.dbf"), "QUERYPARAMETERNAME"), Names{"q2_p"});
  EXPECT_TRUE(messages_.entries.empty());
}

// Two projects with everything a project can hold; every row is named after
// its project, so "alpha..." rows are the first project's.
class CascadeTest : public CatalogueTest {
 protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    for (const std::string project : {"alpha", "beta"}) {
      AddProject(project);
      for (const std::string table : {"_t1", "_t2", "_t3"}) {
        AddTable(project + table);
        AddField(project + table + "_f1");
        AddField(project + table + "_f2");
      }
      for (const std::string connector : {"_c1", "_c2"}) {
        AddConnector(project + connector);
        AddSQLTable(project + connector + "_s1");
        AddSQLTable(project + connector + "_s2");
      }
      for (const std::string query : {"_q1", "_q2"}) {
        AddQuery(project + query, "SELECT 1");
        AddParameter(project + query + "_p1");
        AddParameter(project + query + "_p2");
      }
      AddFilter(project + "_filter1");
      AddFilter(project + "_filter2");
    }
  }
};

TEST_F(CascadeTest, DeletingAProjectDeletesEverythingUnderIt) {
  struct TableFile {
    std::string file;
    std::string name_field;
    int beta_rows;
  };
  const std::vector<TableFile> files = {
      {"Projects.dbf", "PROJECTNAME", 1},
      {"Tables.dbf", "TABLENAME", 3},
      {"Fields.dbf", "FIELDNAME", 6},
      {"SQLConnectors.dbf", "SQLCONNECTORNAME", 2},
      {"SQLTables.dbf", "SQLTABLENAME", 4},
      {"Queries.dbf", "QUERYNAME", 2},
      {"QueriesParameters.dbf", "QUERYPARAMETERNAME", 4},
      {"Filters.dbf", "FILTERNAME", 2},
  };
  dbf::TDbf& projects = catalogue_->Projects();
  projects.First();
  ASSERT_EQ(projects.FieldByName("PROJECTNAME").AsString(), "alpha");
  projects.Delete();
  EXPECT_EQ(projects.FieldByName("PROJECTNAME").AsString(), "beta");
  EXPECT_EQ(Shown(catalogue_->Tables(), "TABLENAME"), (Names{"beta_t1", "beta_t2", "beta_t3"}));

  CloseCatalogue();
  EXPECT_TRUE(messages_.entries.empty());
  for (const TableFile& f : files) {
    SCOPED_TRACE(f.file);
    const Names names = Column(Read(f.file), f.name_field);
    int beta = 0;
    for (const std::string& name : names) {
      EXPECT_EQ(name.rfind("alpha", 0), std::string::npos) << name;
      if (name.rfind("beta", 0) == 0) ++beta;
    }
    EXPECT_EQ(beta, f.beta_rows);
    EXPECT_EQ(names.size(), static_cast<std::size_t>(f.beta_rows));
  }
  // And every row that is left refers to a row that is left.
  struct Link {
    std::string detail, link_field, master, key_field;
  };
  for (const Link& l : std::vector<Link>{
           {"Tables.dbf", "PROJECT_ID", "Projects.dbf", "PROJECT_ID"},
           {"Fields.dbf", "TABLE_ID", "Tables.dbf", "TABLE_ID"},
           {"SQLConnectors.dbf", "PROJECT_ID", "Projects.dbf", "PROJECT_ID"},
           {"SQLTables.dbf", "SQLCONNECTOR_ID", "SQLConnectors.dbf", "SQLCONNECTOR_ID"},
           {"Queries.dbf", "PROJECT_ID", "Projects.dbf", "PROJECT_ID"},
           {"QueriesParameters.dbf", "QUERY_ID", "Queries.dbf", "QUERY_ID"},
           {"Filters.dbf", "PROJECT_ID", "Projects.dbf", "PROJECT_ID"},
       }) {
    SCOPED_TRACE(l.detail);
    const std::set<std::string> masters = KeySet(Read(l.master), l.key_field);
    for (const std::string& key : Column(Read(l.detail), l.link_field)) {
      EXPECT_TRUE(masters.count(key)) << key;
    }
  }
}

TEST_F(CascadeTest, ACascadeStoppedByAClosedTableKeepsTheProject) {
  catalogue_->Filters().Close();
  dbf::TDbf& projects = catalogue_->Projects();
  projects.First();
  EXPECT_THROW(projects.Delete(), db::DatabaseError);
  projects.First();
  EXPECT_EQ(projects.FieldByName("PROJECTNAME").AsString(), "alpha");
  EXPECT_EQ(projects.RecordCount(), 2);
  // The controls of the tables walked over are live again.
  for (dbf::TDbf* table : catalogue_->DbfTables()) {
    EXPECT_FALSE(table->ControlsDisabled()) << table->TableName();
  }
}

TEST_F(CatalogueTest, NamesMayRepeatUnderDifferentParents) {
  // Every name tag is unique-only: a second "orders" is stored all the same.
  AddProject("shop");
  AddTable("orders");
  AddField("id");
  AddQuery("report");
  AddParameter("year");
  AddProject("shop");
  AddTable("orders");
  AddField("id");
  AddQuery("report");
  AddParameter("year");

  dbf::TDbf& projects = catalogue_->Projects();
  for (projects.First(); !projects.Eof(); projects.Next()) {
    SCOPED_TRACE(projects.RecNo());
    EXPECT_EQ(Shown(catalogue_->Tables(), "TABLENAME"), Names{"orders"});
    EXPECT_EQ(Shown(catalogue_->Fields(), "FIELDNAME"), Names{"id"});
    EXPECT_EQ(Shown(catalogue_->Queries(), "QUERYNAME"), Names{"report"});
    EXPECT_EQ(Shown(catalogue_->QueriesParameters(), "QUERYPARAMETERNAME"), Names{"year"});
  }
  CloseCatalogue();
  EXPECT_EQ(Column(Read("Projects.dbf"), "PROJECTNAME"), (Names{"shop", "shop"}));
  EXPECT_EQ(Column(Read("Tables.dbf"), "TABLENAME"), (Names{"orders", "orders"}));
  EXPECT_EQ(Column(Read("Fields.dbf"), "FIELDNAME"), (Names{"id", "id"}));
  EXPECT_EQ(Column(Read("QueriesParameters.dbf"), "QUERYPARAMETERNAME"), (Names{"year", "year"}));
}

TEST_F(CatalogueTest, EveryQueryPostStoresTheEditorsText) {
  AddProject("shop");
  dbf::TDbf& queries = catalogue_->Queries();
  AddQuery("first", "SELECT *\nFROM orders");
  EXPECT_EQ(queries.FieldByName("QUERYTEXT").AsString(), "SELECT *\nFROM orders");
  AddQuery("second", "SELECT 2");

  // A rename alone puts the row into edit; the post stores the editor's text.
  queries.First();
  EXPECT_EQ(loaded_.back(), "SELECT *\nFROM orders");
  editor_ = "SELECT id\nFROM orders\n";
  queries.Edit();
  queries.FieldByName("QUERYNAME").SetAsString("first, renamed");
  queries.Post();
  queries.Next();
  EXPECT_EQ(loaded_.back(), "SELECT 2");
  queries.First();
  EXPECT_EQ(loaded_.back(), "SELECT id\nFROM orders\n");

  CloseCatalogue();
  const std::vector<Row> rows = Read("Queries.dbf");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("QUERYNAME"), "first, renamed");
  EXPECT_EQ(rows[0].at("QUERYTEXT"), "SELECT id\nFROM orders\n");
  EXPECT_EQ(rows[1].at("QUERYTEXT"), "SELECT 2");
}

TEST_F(CatalogueTest, AProjectWithoutQueriesEmptiesTheEditor) {
  AddProject("with");
  AddQuery("q", "SELECT 1");
  AddProject("without");
  catalogue_->Projects().First();
  EXPECT_EQ(loaded_.back(), "SELECT 1");
  catalogue_->Projects().Next();
  EXPECT_EQ(loaded_.back(), "");
}

TEST_F(CatalogueTest, OnlyCommentsAreCutWhenTooLong) {
  struct Case {
    dbf::TDbf* (*table)(Catalogue&);
    std::string field;
    int size;
    bool cut;
  };
  const std::vector<Case> cases = {
      {[](Catalogue& c) { return &c.Projects(); }, "PROJECTNAME", 100, false},
      {[](Catalogue& c) { return &c.Projects(); }, "PROJECTPATH", 255, false},
      {[](Catalogue& c) { return &c.Projects(); }, "PROJECTCOMMENT", 255, true},
      {[](Catalogue& c) { return &c.Tables(); }, "TABLENAME", 100, false},
      {[](Catalogue& c) { return &c.Tables(); }, "TABLECOMMENT", 255, true},
      {[](Catalogue& c) { return &c.Fields(); }, "FIELDNAME", 100, false},
      {[](Catalogue& c) { return &c.Fields(); }, "FIELDCOMMENT", 255, true},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "SQLCONNECTORNAME", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "PROTOCOL", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "CATALOG", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "DATABASE", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "HOSTNAME", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "USER", 100, false},
      {[](Catalogue& c) { return &c.SQLConnectors(); }, "PASSWORD", 100, false},
      {[](Catalogue& c) { return &c.SQLTables(); }, "SQLTABLENAME", 100, false},
      {[](Catalogue& c) { return &c.SQLTables(); }, "IMPORTEDNAME", 100, false},
      {[](Catalogue& c) { return &c.SQLTables(); }, "SQLTABLENAMECOMMENT", 255, true},
      {[](Catalogue& c) { return &c.Queries(); }, "QUERYNAME", 100, false},
      {[](Catalogue& c) { return &c.Queries(); }, "QUERYCOMMENT", 255, true},
      {[](Catalogue& c) { return &c.QueriesParameters(); }, "QUERYPARAMETERNAME", 100, false},
      {[](Catalogue& c) { return &c.QueriesParameters(); }, "QUERYPARAMETERVALUE", 255, false},
      {[](Catalogue& c) { return &c.QueriesParameters(); }, "QUERYCOMMENT", 255, true},
      {[](Catalogue& c) { return &c.Filters(); }, "FILTERNAME", 100, false},
      {[](Catalogue& c) { return &c.Filters(); }, "FILTERTEXT", 100, false},
      {[](Catalogue& c) { return &c.Filters(); }, "FILTERCOMMENT", 255, true},
  };
  AddProject("shop");
  AddTable("orders");
  AddField("id");
  AddConnector("erp");
  AddSQLTable("invoices");
  AddQuery("all");
  AddParameter("year");
  AddFilter("big");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    dbf::TDbf& table = *c.table(*catalogue_);
    const std::string before = table.FieldByName(c.field).AsString();
    // Exactly the size fits.
    table.Edit();
    table.FieldByName(c.field).SetAsString(std::string(c.size, 'x'));
    table.Post();
    EXPECT_EQ(table.FieldByName(c.field).AsString(), std::string(c.size, 'x'));
    table.Edit();
    table.FieldByName(c.field).SetAsString(std::string(c.size, 'y') + "z");
    if (c.cut) {
      table.Post();
      EXPECT_EQ(table.FieldByName(c.field).AsString(), std::string(c.size, 'y'));
    } else {
      EXPECT_THROW(table.Post(), db::DatabaseError);
      table.Cancel();
      EXPECT_EQ(table.FieldByName(c.field).AsString(), std::string(c.size, 'x'));
    }
  }
}

}  // namespace
}  // namespace app::testing

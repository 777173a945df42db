// The catalogue's eight tables: their stored definitions (fields, sizes, tags),
// their master links and active tags, opening them at start-up and packing them
// at the end. The rules bound to their events are in Catalogue_rules.cpp.
#include "Catalogue.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "datasets/VoConnection.h"

namespace app {

namespace {

using dbf::FieldKind;
using dbf::ixPrimary;
using dbf::ixUnique;

// Names, paths and settings that a longer text would silently change are
// refused when too long; only the free comments may be cut to their size.
constexpr bool kMayCut = true;

dbf::FieldDef Char(std::string name, int size, bool may_cut = false) {
  return {std::move(name), FieldKind::kCharacter, size, may_cut};
}
dbf::FieldDef Integer(std::string name) { return {std::move(name), FieldKind::kInteger}; }
dbf::FieldDef AutoInc(std::string name) { return {std::move(name), FieldKind::kAutoInc}; }
dbf::FieldDef Logical(std::string name) { return {std::move(name), FieldKind::kLogical}; }
dbf::FieldDef Memo(std::string name) { return {std::move(name), FieldKind::kMemo}; }

void Define(dbf::TDbf& table, std::string name, std::vector<dbf::FieldDef> fields,
            std::vector<dbf::IndexDef> indexes) {
  table.SetTableName(name + ".dbf");
  table.SetName(std::move(name));
  table.SetStoredDefs(std::move(fields), std::move(indexes));
}

// A detail shows the rows whose active tag's field equals the master's current
// key, so the active tag is always the parent-id tag.
void Link(dbf::TDbf& detail, dbf::TDbf& master, std::string master_field, std::string tag) {
  detail.SetMasterSource(&master);
  detail.SetMasterFields(std::move(master_field));
  detail.SetIndexName(std::move(tag));
}

}  // namespace

void ConnectToProject(TVoConnection& connection, const std::string& project_path) {
  connection.SetConnected(false);
  connection.SetDatabasePath(project_path);
  connection.SetConnected(true);
}

Catalogue::Catalogue(Messages& messages)
    : messages_(messages), dbf_tables_{&projects_,           &tables_,     &fields_,
                                       &sql_connectors_,     &sql_tables_, &queries_,
                                       &queries_parameters_, &filters_} {
  Define(projects_, "Projects",
         {AutoInc("PROJECT_ID"), Char("PROJECTNAME", 100), Char("PROJECTPATH", 255),
          Char("PROJECTCOMMENT", 255, kMayCut)},
         {{"IDX_PROJECTS_PROJECT_ID", "PROJECT_ID", ixPrimary | ixUnique},
          {"IDX_PROJECTS_PROJECTNAME", "PROJECTNAME", ixUnique}});

  Define(tables_, "Tables",
         {Integer("PROJECT_ID"), AutoInc("TABLE_ID"), Char("TABLENAME", 100),
          Char("TABLECOMMENT", 255, kMayCut)},
         {{"IDX_TABLES_PROJECT_ID", "PROJECT_ID", 0},
          {"IDX_TABLES_TABLE_ID", "TABLE_ID", ixPrimary | ixUnique},
          {"IDX_TABLES_TABLENAME", "TABLENAME", ixUnique}});
  Link(tables_, projects_, "Project_id", "IDX_TABLES_PROJECT_ID");

  Define(fields_, "Fields",
         {Integer("TABLE_ID"), AutoInc("FIELD_ID"), Char("FIELDNAME", 100),
          Char("FIELDCOMMENT", 255, kMayCut)},
         {{"IDX_FIELDS_TABLE_ID", "TABLE_ID", 0},
          {"IDX_FIELDS_FIELD_ID", "FIELD_ID", ixPrimary | ixUnique},
          {"IDX_FIELDS_FIELDNAME", "FIELDNAME", ixUnique}});
  Link(fields_, tables_, "TABLE_ID", "IDX_FIELDS_TABLE_ID");

  Define(
      sql_connectors_, "SQLConnectors",
      {Integer("PROJECT_ID"), AutoInc("SQLCONNECTOR_ID"), Char("SQLCONNECTORNAME", 100),
       Logical("TOBEIMPORTED"), Char("PROTOCOL", 100), Char("CATALOG", 100), Char("DATABASE", 100),
       Char("HOSTNAME", 100), Integer("PORT"), Char("USER", 100), Char("PASSWORD", 100)},
      {{"IDX_SQLCON_PROJECT_ID", "PROJECT_ID", 0},
       {"IDX_SQLCON_SQLCON_ID", "SQLCONNECTOR_ID", ixPrimary | ixUnique}});
  Link(sql_connectors_, projects_, "Project_id", "IDX_SQLCON_PROJECT_ID");

  Define(sql_tables_, "SQLTables",
         {Integer("SQLCONNECTOR_ID"), AutoInc("SQLTABLE_ID"), Char("SQLTABLENAME", 100),
          Logical("TOBEIMPORTED"), Char("IMPORTEDNAME", 100),
          Char("SQLTABLENAMECOMMENT", 255, kMayCut)},
         {{"IDX_SQLTABLES_SQLCON_ID", "SQLCONNECTOR_ID", 0},
          {"IDX_SQLTABLES_SQLTABLE_ID", "SQLTABLE_ID", ixPrimary | ixUnique},
          {"IDX_SQLTABLES_SQLTABLENAME", "SQLTABLENAME", ixUnique}});
  Link(sql_tables_, sql_connectors_, "SQLConnector_id", "IDX_SQLTABLES_SQLCON_ID");

  Define(queries_, "Queries",
         {Integer("PROJECT_ID"), AutoInc("QUERY_ID"), Char("QUERYNAME", 100), Memo("QUERYTEXT"),
          Char("QUERYCOMMENT", 255, kMayCut)},
         {{"IDX_QUERIES_PROJECT_ID", "PROJECT_ID", 0},
          {"IDX_QUERIES_QUERY_ID", "QUERY_ID", ixPrimary | ixUnique},
          {"IDX_QUERIES_QUERYNAME", "QUERYNAME", ixUnique}});
  Link(queries_, projects_, "PROJECT_ID", "IDX_QUERIES_PROJECT_ID");

  Define(queries_parameters_, "QueriesParameters",
         {Integer("QUERY_ID"), AutoInc("QUERYPARAMETER_ID"), Char("QUERYPARAMETERNAME", 100),
          Char("QUERYPARAMETERVALUE", 255), Char("QUERYCOMMENT", 255, kMayCut)},
         {{"IDX_QP_QUERY_ID", "QUERY_ID", 0},
          {"IDX_QP_QUERYPARAMETER_ID", "QUERYPARAMETER_ID", ixPrimary | ixUnique},
          {"IDX_QP_QUERYPARAMETERNAME", "QUERYPARAMETERNAME", ixUnique}});
  Link(queries_parameters_, queries_, "QUERY_ID", "IDX_QP_QUERY_ID");

  // FILTERTEXT is an expression: cut, "NAME = 'Smith' AND ..." would filter
  // differently from what was typed, so it is refused like the names.
  Define(filters_, "Filters",
         {Integer("PROJECT_ID"), AutoInc("FILTER_ID"), Char("FILTERNAME", 100),
          Char("FILTERTEXT", 100), Char("FILTERCOMMENT", 255, kMayCut)},
         {{"IDX_FILTERS_FILTER", "FILTER_ID", ixPrimary | ixUnique},
          {"IDX_FILTTERS_PROJECT_ID", "PROJECT_ID", 0}});
  Link(filters_, projects_, "PROJECT_ID", "IDX_FILTTERS_PROJECT_ID");

  BindRules();
}

Catalogue::~Catalogue() {
  // The window that filled the hooks may be partly gone by now.
  hooks = CatalogueHooks();
  // Details first, so that no master's closing drags an open detail along.
  for (auto it = dbf_tables_.rbegin(); it != dbf_tables_.rend(); ++it) {
    try {
      (*it)->Close();
    } catch (const std::exception&) {
      // Nothing can be reported from a destructor; the files hold every post.
    }
  }
}

void Catalogue::Open(const std::string& program_folder) {
  for (dbf::TDbf* table : dbf_tables_) {
    try {
      table->Close();
      table->SetFilePath(program_folder);
      table->SetExclusive(true);
      table->Open();
    } catch (const std::exception& e) {
      messages_.Info(std::string(e.what()) + ". Could not activate table: " + table->TableName());
    }
  }
}

bool Catalogue::HasUnsavedChange(dbf::TDbf& table) {
  if (table.Modified()) return true;
  // Typing in the editor puts the query into edit without writing any of its
  // fields; its text is saved by the post alone.
  return &table == &queries_ && hooks.editor_text &&
         hooks.editor_text() != queries_.FieldByName("QUERYTEXT").AsString();
}

void Catalogue::Close() {
  // A row still in edit or insert would be dropped by the pack (an untouched
  // query row whose text was typed in the editor) or by closing: it is posted
  // first. A row left untouched is cancelled, so that an insert begun and
  // never filled does not become a blank project, table or query.
  for (dbf::TDbf* table : dbf_tables_) {
    if (table->State() != db::DataSetState::kEdit && table->State() != db::DataSetState::kInsert) {
      continue;
    }
    try {
      if (HasUnsavedChange(*table)) {
        table->Post();
      } else {
        table->Cancel();
      }
    } catch (const std::exception& e) {
      messages_.Info(std::string(e.what()) +
                     " Could not save the row being edited in table: " + table->TableName());
      try {
        table->Cancel();
      } catch (const std::exception&) {
        // Cancelling only drops the edit buffer; the pack below reports a table
        // that is still unusable.
      }
    }
  }
  // A table that could not be opened is left alone: packing it would only
  // report its fault a second time (or rewrite a file that is not a table).
  for (dbf::TDbf* table : dbf_tables_) {
    if (!table->Active()) continue;
    try {
      table->SetExclusive(true);
      table->PackTable();
    } catch (const std::exception& e) {
      messages_.Info(std::string(e.what()) + " Could not pack table: " + table->TableName());
    }
  }
}

}  // namespace app

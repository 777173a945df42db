// The catalogue's rules: every post stamps the row with its master's current
// key, deleting a table, connector or query deletes its detail rows, deleting a
// project deletes everything registered under it, and the opens, posts and
// scrolls that the window and the connection follow go out through the hooks.
#include <cstdint>
#include <string>
#include <string_view>

#include "Catalogue.h"

namespace app {

namespace {

// The master's current key, looked up by `key_name` in any letter case. A
// master without a stored current row (none at all, a table that could not be
// opened, a row still being inserted) has no key: the row would be stored
// under 0 and belong to nothing, so it is refused.
std::int64_t MasterKey(const db::DataSet& detail, db::DataSet& master, std::string_view key_name,
                       std::string_view master_kind) {
  const db::Field* key =
      master.Active() && !master.IsEmpty() ? master.FindField(key_name) : nullptr;
  if (key == nullptr || key->IsNull()) {
    detail.Raise("There is no current " + std::string(master_kind) +
                 " to store this row under: add or choose one first.");
  }
  return key->AsInteger();
}

void StampMasterKey(db::DataSet& detail, db::DataSet& master, std::string_view key_name,
                    std::string_view master_kind) {
  const std::int64_t key = MasterKey(detail, master, key_name, master_kind);
  detail.FieldByName(key_name).SetAsInteger(key);
}

// Deletes the rows `table` shows, each after `before_each` ran for it. They
// are the rows whose `link_field` holds `key`; a row of another parent showing
// up means the table did not follow its master, and stops the deletion before
// it removes a row that is not the parent's.
template <typename BeforeEach>
void DeleteRowsOf(db::DataSet& table, std::string_view link_field, std::int64_t key,
                  BeforeEach before_each) {
  table.CheckActive();
  table.First();
  while (!table.IsEmpty()) {
    if (table.FieldByName(link_field).AsInteger() != key) {
      table.Raise("A row of another parent is shown; nothing more was deleted.");
    }
    before_each();
    table.Delete();
  }
}

// The detail rows of the master's current row, found through the master link.
void DeleteDetailSet(db::DataSet& detail, std::string_view link_field, std::int64_t key) {
  db::ControlsDisabled suspended(detail);
  DeleteRowsOf(detail, link_field, key, [] {});
  detail.Refresh();
}

std::int64_t CurrentKey(db::DataSet& dataset, std::string_view key_name) {
  return dataset.FieldByName(key_name).AsInteger();
}

}  // namespace

void Catalogue::BindRules() {
  auto bind = [this](void (Catalogue::*rule)(db::DataSet&)) {
    return [this, rule](db::DataSet& dataset) { (this->*rule)(dataset); };
  };
  projects_.AfterScroll = bind(&Catalogue::ProjectsAfterScroll);
  projects_.AfterPost = bind(&Catalogue::ProjectsAfterScroll);
  projects_.AfterRefresh = bind(&Catalogue::ProjectsAfterScroll);
  projects_.BeforeDelete = bind(&Catalogue::ProjectsBeforeDelete);
  tables_.BeforePost = bind(&Catalogue::TablesBeforePost);
  tables_.BeforeDelete = bind(&Catalogue::TablesBeforeDelete);
  tables_.AfterOpen = bind(&Catalogue::TablesAfterOpen);
  tables_.AfterPost = bind(&Catalogue::TablesAfterPost);
  fields_.BeforePost = bind(&Catalogue::FieldsBeforePost);
  fields_.AfterOpen = bind(&Catalogue::FieldsAfterOpen);
  fields_.AfterPost = bind(&Catalogue::FieldsAfterPost);
  sql_connectors_.BeforePost = bind(&Catalogue::SQLConnectorsBeforePost);
  sql_connectors_.BeforeDelete = bind(&Catalogue::SQLConnectorsBeforeDelete);
  sql_tables_.BeforePost = bind(&Catalogue::SQLTablesBeforePost);
  queries_.BeforePost = bind(&Catalogue::QueriesBeforePost);
  queries_.BeforeDelete = bind(&Catalogue::QueriesBeforeDelete);
  queries_.AfterScroll = bind(&Catalogue::QueriesAfterScroll);
  queries_parameters_.BeforePost = bind(&Catalogue::QueriesParametersBeforePost);
  filters_.BeforePost = bind(&Catalogue::FiltersBeforePost);
}

void Catalogue::ProjectsAfterScroll(db::DataSet& dataset) {
  if (hooks.open_current_project) {
    hooks.open_current_project(dataset.FieldByName("PROJECTPATH").AsString());
  }
}

void Catalogue::ProjectsBeforeDelete(db::DataSet& dataset) {
  const std::int64_t project = CurrentKey(dataset, "PROJECT_ID");
  db::ControlsDisabled tables(tables_), fields(fields_), connectors(sql_connectors_),
      sql_tables(sql_tables_), queries(queries_), parameters(queries_parameters_);

  DeleteRowsOf(tables_, "PROJECT_ID", project,
               [this] { DeleteDetailSet(fields_, "TABLE_ID", CurrentKey(tables_, "TABLE_ID")); });
  tables_.Refresh();

  DeleteDetailSet(filters_, "PROJECT_ID", project);

  DeleteRowsOf(sql_connectors_, "PROJECT_ID", project, [this] {
    DeleteDetailSet(sql_tables_, "SQLCONNECTOR_ID", CurrentKey(sql_connectors_, "SQLCONNECTOR_ID"));
  });

  DeleteRowsOf(queries_, "PROJECT_ID", project, [this] {
    DeleteDetailSet(queries_parameters_, "QUERY_ID", CurrentKey(queries_, "QUERY_ID"));
  });
  queries_.Refresh();
}

void Catalogue::TablesBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, projects_, "Project_id", "project");
}

void Catalogue::TablesBeforeDelete(db::DataSet& dataset) {
  DeleteDetailSet(fields_, "TABLE_ID", CurrentKey(dataset, "TABLE_ID"));
}

void Catalogue::TablesAfterOpen(db::DataSet&) {
  if (hooks.refresh_table_names) hooks.refresh_table_names();
}

void Catalogue::TablesAfterPost(db::DataSet&) {
  if (hooks.refresh_table_names) hooks.refresh_table_names();
}

void Catalogue::FieldsBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, tables_, "Table_id", "table");
}

void Catalogue::FieldsAfterOpen(db::DataSet&) {
  if (hooks.rebuild_completion_words) hooks.rebuild_completion_words();
}

void Catalogue::FieldsAfterPost(db::DataSet&) {
  if (hooks.rebuild_completion_words) hooks.rebuild_completion_words();
}

void Catalogue::SQLConnectorsBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, projects_, "Project_id", "project");
}

void Catalogue::SQLConnectorsBeforeDelete(db::DataSet& dataset) {
  DeleteDetailSet(sql_tables_, "SQLCONNECTOR_ID", CurrentKey(dataset, "SQLCONNECTOR_ID"));
}

void Catalogue::SQLTablesBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, sql_connectors_, "SQLConnector_id", "SQL connector");
}

void Catalogue::QueriesBeforePost(db::DataSet& dataset) {
  // Whatever put the row into edit (a typed text, a renamed query), the post
  // stores what the editor shows now.
  if (hooks.editor_text) dataset.FieldByName("QUERYTEXT").SetAsString(hooks.editor_text());
  StampMasterKey(dataset, projects_, "Project_id", "project");
}

void Catalogue::QueriesBeforeDelete(db::DataSet& dataset) {
  DeleteDetailSet(queries_parameters_, "QUERY_ID", CurrentKey(dataset, "QUERY_ID"));
}

void Catalogue::QueriesAfterScroll(db::DataSet& dataset) {
  if (hooks.load_query_text) hooks.load_query_text(dataset.FieldByName("QUERYTEXT").AsString());
}

void Catalogue::QueriesParametersBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, queries_, "Query_id", "query");
}

void Catalogue::FiltersBeforePost(db::DataSet& dataset) {
  StampMasterKey(dataset, projects_, "Project_id", "project");
}

}  // namespace app

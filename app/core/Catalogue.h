// The program's catalogue: eight dBase tables in the program's folder recording
// projects, their tables and fields, SQL connectors and their tables, queries
// and their parameters, and filters, linked as master and detail, with the rules
// that stamp each row's parent key and delete a row's children with it.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "dbf/Dbf.h"
#include "Messages.h"

class TVoConnection;

namespace app {

// What the catalogue's rules ask of the window and of the dataset connection.
// A hook left empty is skipped.
struct CatalogueHooks {
  // The SQL editor's whole text, its lines joined with line breaks; every post
  // of a Queries row stores it as the query's text. When empty, the stored text
  // is left as it is.
  std::function<std::string()> editor_text;
  // Replaces the editor's text by the text of the Queries row now current (""
  // when the project has no query).
  std::function<void(const std::string& query_text)> load_query_text;
  // Refills the highlighter's table names (Tables was opened or a row posted).
  std::function<void()> refresh_table_names;
  // Refills the completion words (Fields was opened or a row posted).
  std::function<void()> rebuild_completion_words;
  // Points the dataset connection at the current project's folder ("" when
  // there is no project row); see ConnectToProject.
  std::function<void(const std::string& project_path)> open_current_project;
};

// Disconnects `connection`, sets its DatabasePath to `project_path` and
// connects it again. A folder the engine refuses is reported by the connection
// itself and leaves it connected; other errors pass to the caller.
void ConnectToProject(TVoConnection& connection, const std::string& project_path);

class Catalogue {
 public:
  static constexpr int kTableCount = 8;

  // The tables are made closed, with their definitions, links and rules in
  // place. `messages` must outlive the catalogue. Set the hooks before Open:
  // opening runs the after-open and after-scroll rules.
  explicit Catalogue(Messages& messages);
  // Closes the tables (a pending edit is dropped: call Close first).
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Opens the eight tables from `program_folder` (ending in a path separator),
  // each exclusively, creating a missing file from its definitions. A table
  // that fails is reported ("<error>. Could not activate table: <file>") and
  // stays closed; the others open all the same.
  void Open(const std::string& program_folder);
  // At the program's end: posts every row left in edit or insert state with a
  // change in it (a field written, or a query whose editor text differs from
  // its stored text) and cancels the untouched ones; a failed post is reported
  // ("<error> Could not save the row being edited in table: <file>") and its
  // change dropped. Then packs every open table (a failure is reported as
  // "<error> Could not pack table: <file>"). Never throws; the tables stay open.
  void Close();

  // The tables in the fixed order Projects, Tables, Fields, SQLConnectors,
  // SQLTables, Queries, QueriesParameters, Filters.
  const std::array<dbf::TDbf*, kTableCount>& DbfTables() const { return dbf_tables_; }
  dbf::TDbf& Projects() { return projects_; }
  dbf::TDbf& Tables() { return tables_; }
  dbf::TDbf& Fields() { return fields_; }
  dbf::TDbf& SQLConnectors() { return sql_connectors_; }
  dbf::TDbf& SQLTables() { return sql_tables_; }
  dbf::TDbf& Queries() { return queries_; }
  dbf::TDbf& QueriesParameters() { return queries_parameters_; }
  dbf::TDbf& Filters() { return filters_; }

  CatalogueHooks hooks;

  // The rules, bound to the tables' events. Errors pass to the action that
  // posted or deleted. A before-post rule refuses a row whose master has no
  // current row (DatabaseError "<table> : There is no current <master> ...").
  void ProjectsAfterScroll(db::DataSet& dataset);
  void ProjectsBeforeDelete(db::DataSet& dataset);
  void TablesBeforePost(db::DataSet& dataset);
  void TablesBeforeDelete(db::DataSet& dataset);
  void TablesAfterOpen(db::DataSet& dataset);
  void TablesAfterPost(db::DataSet& dataset);
  void FieldsBeforePost(db::DataSet& dataset);
  void FieldsAfterOpen(db::DataSet& dataset);
  void FieldsAfterPost(db::DataSet& dataset);
  void SQLConnectorsBeforePost(db::DataSet& dataset);
  void SQLConnectorsBeforeDelete(db::DataSet& dataset);
  void SQLTablesBeforePost(db::DataSet& dataset);
  void QueriesBeforePost(db::DataSet& dataset);
  void QueriesBeforeDelete(db::DataSet& dataset);
  void QueriesAfterScroll(db::DataSet& dataset);
  void QueriesParametersBeforePost(db::DataSet& dataset);
  void FiltersBeforePost(db::DataSet& dataset);

 private:
  void BindRules();
  bool HasUnsavedChange(dbf::TDbf& table);

  Messages& messages_;
  dbf::TDbf projects_;
  dbf::TDbf tables_;
  dbf::TDbf fields_;
  dbf::TDbf sql_connectors_;
  dbf::TDbf sql_tables_;
  dbf::TDbf queries_;
  dbf::TDbf queries_parameters_;
  dbf::TDbf filters_;
  std::array<dbf::TDbf*, kTableCount> dbf_tables_;
};

}  // namespace app

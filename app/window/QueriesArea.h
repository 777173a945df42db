// The Queries page: the QueryDesign tab (stored queries, the SQL editor, the
// lists of tables, fields, statement templates and functions, the query's
// parameters) and the QueryResult tab.
#pragma once

#include <string>

class QListWidget;
class QPushButton;
class QTabWidget;

namespace app {

class DBGrid;
class FileNameEdit;
class SqlEditor;
struct WindowContext;

class QueriesArea {
 public:
  // Adds the page to `page_control`.
  QueriesArea(WindowContext& context, QTabWidget& page_control);

  SqlEditor& SynEditSQLEditor() const { return *editor_; }
  FileNameEdit& FileNameEditSaveQuerySQL() const { return *save_query_sql_; }
  FileNameEdit& FileNameEditSaveQueryResult() const { return *save_query_result_; }

  // The editor's whole text, its lines joined with line breaks, and putting a
  // text in (which is not a change by the user).
  std::string EditorText() const;
  void SetEditorText(const std::string& text);

  // The catalogue's hooks: the table names of the highlighter, and the
  // completion words.
  void RefreshHighlighterTableNames();
  void RebuildCompletionWords();

  // The handlers (QueriesArea_handlers.cpp).
  void SynEditSQLEditorChange();
  void ButtonRunQueryClick();
  void ButtonApplyQueryParameterToQueryTextClick();
  void RunQuery();
  void ButtonLoadQueryFromFileClick();
  void ButtonSaveQueryToFileClick();
  void ButtonSaveQueryResultClick();
  void DBGridQueryResultTitleClick(const QString& field_name);
  void ButtonFindUnloadQueryResultClick();
  void ButtonApplySqlExpressionToQueryTextClick();
  void ButtonApplySqlFunctionToQueryTextClick();
  void ButtonApplyTableNameToQueryTextClick();
  void ButtonApplyFieldNameToQueryTextClick();

 private:
  QWidget* BuildDesignTab(WindowContext& context);
  QWidget* BuildResultTab(WindowContext& context);
  QWidget* BuildEditor();
  // Connects every control to its handler, each inside the guard.
  void ConnectHandlers();

  WindowContext& context_;
  QTabWidget* page_control_queries_ = nullptr;
  QWidget* result_tab_ = nullptr;
  SqlEditor* editor_ = nullptr;
  FileNameEdit* save_query_sql_ = nullptr;
  FileNameEdit* save_query_result_ = nullptr;
  DBGrid* result_grid_ = nullptr;
  QListWidget* expressions_ = nullptr;
  QListWidget* functions_ = nullptr;
  QPushButton* run_query_ = nullptr;
  QPushButton* run_parameterized_ = nullptr;
  QPushButton* save_query_ = nullptr;
  QPushButton* load_query_ = nullptr;
  QPushButton* apply_table_ = nullptr;
  QPushButton* apply_field_ = nullptr;
  QPushButton* apply_expression_ = nullptr;
  QPushButton* apply_function_ = nullptr;
  QPushButton* unload_ = nullptr;
  QPushButton* save_result_ = nullptr;
};

}  // namespace app

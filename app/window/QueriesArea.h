// The Queries page: the QueryDesign tab (stored queries, the SQL editor, the
// lists of tables, fields, statement templates and functions, the query's
// parameters) and the QueryResult tab.
#pragma once

#include <string>

class QTabWidget;
class QsciScintilla;

namespace app {

class FileNameEdit;
struct WindowContext;

class QueriesArea {
 public:
  // Adds the page to `page_control`.
  QueriesArea(WindowContext& context, QTabWidget& page_control);

  QsciScintilla& SynEditSQLEditor() const { return *editor_; }
  FileNameEdit& FileNameEditSaveQuerySQL() const { return *save_query_sql_; }
  FileNameEdit& FileNameEditSaveQueryResult() const { return *save_query_result_; }

  // The editor's whole text, its lines joined with line breaks, and putting a
  // text in (which is not a change by the user).
  std::string EditorText() const;
  void SetEditorText(const std::string& text);

 private:
  QWidget* BuildDesignTab(WindowContext& context);
  QWidget* BuildResultTab(WindowContext& context);
  QWidget* BuildEditor();

  QsciScintilla* editor_ = nullptr;
  FileNameEdit* save_query_sql_ = nullptr;
  FileNameEdit* save_query_result_ = nullptr;
};

}  // namespace app

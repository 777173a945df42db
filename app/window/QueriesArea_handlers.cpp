// The Queries page's handlers: the editor tied to the current stored query,
// running a query as typed or with its parameters put in, the SQL text files,
// the result's file, sorting and unloading, and the four "Apply" buttons.
#include <QHeaderView>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>

#include "Controls.h"
#include "DBGrid.h"
#include "FileChoosers.h"
#include "Guard.h"
#include "QueriesArea.h"
#include "QueryOperations.h"
#include "SqlEditor.h"
#include "TableNames.h"
#include "WindowContext.h"

namespace app {
namespace {

constexpr std::string_view kAscendingSuffix = "__IdxA";
constexpr std::string_view kDescendingSuffix = "__IdxD";

std::string FileNameOf(const FileNameEdit& edit) { return edit.FileName().toStdString(); }

}  // namespace

void QueriesArea::ConnectHandlers() {
  const auto on_click = [this](QPushButton* button, void (QueriesArea::*handler)()) {
    QObject::connect(button, &QPushButton::clicked, button,
                     [this, handler] { Guard(context_.messages, [&] { (this->*handler)(); }); });
  };
  on_click(run_query_, &QueriesArea::ButtonRunQueryClick);
  on_click(run_parameterized_, &QueriesArea::ButtonApplyQueryParameterToQueryTextClick);
  on_click(save_query_, &QueriesArea::ButtonSaveQueryToFileClick);
  on_click(load_query_, &QueriesArea::ButtonLoadQueryFromFileClick);
  on_click(save_result_, &QueriesArea::ButtonSaveQueryResultClick);
  on_click(unload_, &QueriesArea::ButtonFindUnloadQueryResultClick);
  on_click(apply_expression_, &QueriesArea::ButtonApplySqlExpressionToQueryTextClick);
  on_click(apply_function_, &QueriesArea::ButtonApplySqlFunctionToQueryTextClick);
  on_click(apply_table_, &QueriesArea::ButtonApplyTableNameToQueryTextClick);
  on_click(apply_field_, &QueriesArea::ButtonApplyFieldNameToQueryTextClick);
  QObject::connect(editor_, &SqlEditor::userEdited, editor_,
                   [this] { Guard(context_.messages, [&] { SynEditSQLEditorChange(); }); });
  QObject::connect(result_grid_, &DBGrid::titleClicked, result_grid_,
                   [this](int, const QString& field_name) {
                     Guard(context_.messages, [&] { DBGridQueryResultTitleClick(field_name); });
                   });
  // A posted query row has its editor text stored: the changed lines' marks
  // turn to saved ones.
  // The catalogue outlives the page's widgets: a post after they are gone
  // marks nothing.
  dbf::TDbf& queries = context_.catalogue.Queries();
  queries.AfterPost = [editor = QPointer<SqlEditor>(editor_),
                       rule = std::move(queries.AfterPost)](db::DataSet& dataset) {
    if (rule) rule(dataset);
    if (editor) editor->MarkSaved();
  };
}

void QueriesArea::RefreshHighlighterTableNames() {
  editor_->SetTableNames(ProjectTableNames(context_.catalogue));
}

void QueriesArea::RebuildCompletionWords() {
  // The grids of Tables and Fields do not follow the walk (ProjectTablesAndFields).
  editor_->SetCompletionWords(BuildCompletionWords(ProjectTablesAndFields(context_.catalogue)));
}

void QueriesArea::SynEditSQLEditorChange() {
  dbf::TDbf& queries = context_.catalogue.Queries();
  if (!queries.Active() || queries.State() != db::DataSetState::kBrowse) return;
  // With no query row, Edit appends one, which loads its empty text into the
  // editor: what the user typed is kept.
  const std::string typed = editor_->Text();
  queries.Edit();
  if (editor_->Text() != typed) editor_->SetProgramText(typed, true);
  // A row put into edit without a written field would be cancelled, not
  // posted, when the user moves to another query, and the typed text lost.
  // The query's name is written with itself to mark the row changed: its
  // QUERYTEXT keeps the stored text until the post (Save Query To A File
  // writes that one).
  db::Field& name = queries.FieldByName("QUERYNAME");
  name.SetAsString(name.AsString());
}

void QueriesArea::ButtonRunQueryClick() {
  context_.VoQueryDatasetQueryResult.SetSQL(EditorLines(editor_->Text()));
  RunQuery();
}

void QueriesArea::ButtonApplyQueryParameterToQueryTextClick() {
  const std::vector<QueryParameter> params = CurrentQueryParameters(context_.catalogue);
  context_.VoQueryDatasetQueryResult.SetSQL(
      ParameterizedLines(EditorLines(editor_->Text()), params));
  RunQuery();
}

void QueriesArea::RunQuery() {
  Messages& messages = context_.messages;
  TVoQueryDataSet& result = context_.VoQueryDatasetQueryResult;
  messages.Info("Orlenda will try to execute the query now. Please, be patient.");

  // A sort by a column that the next result lacks would make the result fail
  // to open: the run starts from the default order, and the sort is put back
  // when the new result has the column again (a query run twice stays sorted).
  const std::string index = result.IndexName();
  std::string sorted_field;
  int toggles = 0;
  if (index.ends_with(kAscendingSuffix)) {
    sorted_field = index.substr(0, index.size() - kAscendingSuffix.size());
    toggles = 1;
  } else if (index.ends_with(kDescendingSuffix)) {
    sorted_field = index.substr(0, index.size() - kDescendingSuffix.size());
    toggles = 2;
  }

  result_grid_->SetDataSet(nullptr);
  RunThenCleanUp(
      [&] {
        if (toggles > 0) result.SetIndexName("DEFAULT_ORDER");
        result.RunSqlText();
        if (result.ResultSetNumber() == 0) {
          // The engine refused the statement and the dataset said why; its
          // columns are the previous query's, which must not pass for this
          // one's (empty) result.
          if (result.Active()) result.Close();
        } else if (toggles > 0 && result.Active() && result.FindField(sorted_field) != nullptr) {
          for (int i = 0; i < toggles; ++i) result.ToggleIndexOnField(sorted_field);
        }
      },
      [&] { result_grid_->SetDataSet(&result); });

  result_grid_->SetAutoFillColumns(true);
  result_grid_->SetAutoFillColumns(false);
  FitGridColumnsToTitles(*result_grid_);
  page_control_queries_->setCurrentWidget(result_tab_);
  messages.Info("Finished!");
}

void QueriesArea::ButtonLoadQueryFromFileClick() {
  // Read first: a file that cannot be read leaves the editor as it was.
  const std::string text = ReadTextFile(FileNameOf(*save_query_sql_));
  editor_->SetProgramText(text, true);
}

void QueriesArea::ButtonSaveQueryToFileClick() {
  const std::string file_name = FileNameOf(*save_query_sql_);
  try {
    WriteTextFile(file_name, StoredQueryText(context_.catalogue));
  } catch (const std::exception& e) {
    context_.messages.Info(std::string("Error while trying to save query sql to file. ") +
                           e.what());
    return;
  }
  context_.messages.Info("Query SQL saved to file: " + file_name);
}

void QueriesArea::ButtonSaveQueryResultClick() {
  const std::string file_name = FileNameOf(*save_query_result_);
  try {
    SaveQueryResult(context_.VoQueryDatasetQueryResult, file_name);
  } catch (const std::exception& e) {
    context_.messages.Info(std::string("Error while trying to save query result. ") + e.what());
    return;
  }
  context_.messages.Info("Query result saved to file: " + file_name);
}

void QueriesArea::DBGridQueryResultTitleClick(const QString& field_name) {
  context_.VoQueryDatasetQueryResult.ToggleIndexOnField(field_name.toStdString());
}

void QueriesArea::ButtonFindUnloadQueryResultClick() { context_.VoQueryDatasetQueryResult.Close(); }

void QueriesArea::ButtonApplySqlExpressionToQueryTextClick() {
  if (expressions_->selectedItems().isEmpty()) return;
  editor_->InsertItemAtCaret(expressions_->selectedItems().front()->text().toStdString());
}

void QueriesArea::ButtonApplySqlFunctionToQueryTextClick() {
  if (functions_->selectedItems().isEmpty()) return;
  editor_->InsertItemAtCaret(functions_->selectedItems().front()->text().toStdString());
}

void QueriesArea::ButtonApplyTableNameToQueryTextClick() {
  editor_->InsertItemAtCaret(CurrentTableName(context_.catalogue).value_or(""));
}

void QueriesArea::ButtonApplyFieldNameToQueryTextClick() {
  dbf::TDbf& fields = context_.catalogue.Fields();
  const std::string field =
      fields.Active() && !fields.IsEmpty() ? fields.FieldByName("FIELDNAME").AsString() : "";
  editor_->InsertItemAtCaret(CurrentTableName(context_.catalogue).value_or("") + "." + field);
}

}  // namespace app

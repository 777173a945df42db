// The Queries page's controls. Running queries, the query files, completion
// and the "Apply" buttons' insertions are handlers of their own.
#include "QueriesArea.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "SqlEditor.h"
#include "WindowContext.h"

namespace app {
namespace {

const QStringList kSqlExpressions = {
    "AS",
    "SELECT * FROM tablelist",
    "SELECT fieldlist FROM tablelist",
    "SELECT fieldlist FROM tablelist WHERE condition",
    "FROM tablelist",
    "WHERE ",
    "WHERE condition",
    "HAVING condition",
    "GROUP BY fieldlist",
    "CREATE TABLE table (fieldlist)",
    "DROP TABLE table",
    "ALTER TABLE table ADD COLUMN column",
    "ALTER TABLE table DROP COLUMN column",
    "ASSIGN TO vaiable selectstatement",
    "SAVE TABLE table",
    "RELEASE TABLE tableorvariable",
    "COMMIT",
    "INSERT INTO table VALUES (valuelist)",
    "INSERT INTO table (fieldlist) VALUES (valuelist)",
    "INSERT INTO table selectstatement",
    "UPDATE table SET updatelist",
    "UPDATE table SET updatelist WHERE condition",
    "DELETE FROM table ",
    "DELETE FROM table WHERE condition",
};

const QStringList kSqlFunctions = {
    "OR",
    "AND",
    "+",
    "-",
    "*",
    "/",
    "<",
    "<=",
    ">",
    ">=",
    "=",
    "LIKE",
    "LIKE ('%string%')",
    "IN",
    "IN ('string1','string2')",
    "FIX(expression, precision)",
    "TRUNC(expression, precision)",
    "ASNUMBER(expression)",
    "FORMAT(value, formatstring)",
    "FORMAT(value,'[literalstring]%[width][.prec]type')",
    "YEAR",
    "MONTH",
    "DAY",
    "WEEKNUMBERS",
    "DATEADD (interval, number, datestring)",
    "SOUNDEX(expression)",
    "LOWER(expression)",
    "UPPER(expression)",
    "TRIM(expression)",
    "LEFT(expression, count)",
    "RIGHT(expression, count)",
    "MID(expression, from, count)",
    "LENGTH(expression)",
    "REPLACE(source, oldpattern, newpattern)",
    "SUBSTR_AFTER(source, substring)",
    "SUBSTR_BEFORE(source, substring)",
    "SQR(expression)",
    "SQRT(expression)",
    "SIN(expression)",
    "COS(expression)",
    "CEIL(expression)",
    "FLOOR(expression)",
};

}  // namespace

QueriesArea::QueriesArea(WindowContext& context, QTabWidget& page_control) : context_(context) {
  QTabWidget* inner = MakePageControl("PageControlQueries");
  page_control_queries_ = inner;
  inner->addTab(BuildDesignTab(context), "QueryDesign");
  inner->addTab(BuildResultTab(context), "QueryResult");
  QWidget* page = Stack({inner}, inner);
  page->setObjectName("TabSheetQueries");
  page_control.addTab(page, "Queries");
  ConnectHandlers();
}

QWidget* QueriesArea::BuildEditor() {
  editor_ = new SqlEditor;
  return editor_;
}

std::string QueriesArea::EditorText() const { return editor_->Text(); }

void QueriesArea::SetEditorText(const std::string& text) { editor_->SetProgramText(text); }

QWidget* QueriesArea::BuildDesignTab(WindowContext& context) {
  Messages& m = context.messages;
  Catalogue& c = context.catalogue;

  DBGrid* queries_grid = MakeGrid(m, nullptr, "DBGridQueries", &c.Queries(),
                                  {{"Query Name", "QUERYNAME"}, {"Comment", "QUERYCOMMENT"}});
  save_query_sql_ = MakeFileNameEdit(nullptr, "FileNameEditSaveQuerySQL");
  QWidget* upper = Stack(
      {MakeNavigator(m, nullptr, "DBNavigatorQueries", &c.Queries()), queries_grid,
       Row({run_query_ =
                MakeButton(nullptr, "ButtonRunQuery", "Run Query", {}, ButtonLook::kBoldRed),
            run_parameterized_ = MakeButton(nullptr, "ButtonApplyQueryParameterToQueryText",
                                            "Run Parameterized Query", {}, ButtonLook::kBoldRed),
            save_query_ = MakeButton(nullptr, "ButtonSaveQueryToFile", "Save Query To A File"),
            load_query_ = MakeButton(nullptr, "ButtonLoadQueryFromFile", "Load Query From A File"),
            save_query_sql_},
           save_query_sql_)},
      queries_grid);

  DBGrid* tables_grid =
      MakeGrid(m, nullptr, "DBGridTablesForQueries", &c.Tables(), {{"Table", "TABLENAME"}});
  QWidget* tables_list =
      Stack({MakeHeading(nullptr, "List Of Tables"),
             apply_table_ = MakeButton(nullptr, "ButtonApplyTableNameToQueryText", "Apply"),
             MakeNavigator(m, nullptr, "DBNavigatorTablesForQueries", &c.Tables()), tables_grid},
            tables_grid);
  DBGrid* fields_grid =
      MakeGrid(m, nullptr, "DBGridFieldsForQueries", &c.Fields(), {{"Field", "FIELDNAME"}});
  QWidget* fields_list =
      Stack({MakeHeading(nullptr, "List Of Fields"),
             apply_field_ = MakeButton(nullptr, "ButtonApplyFieldNameToQueryText", "Apply"),
             MakeNavigator(m, nullptr, "DBNavigatorFieldsForQueries", &c.Fields()), fields_grid},
            fields_grid);

  expressions_ = MakeListBox(nullptr, "ListBoxSqlExpressions", kSqlExpressions);
  functions_ = MakeListBox(nullptr, "ListBoxSqlFunctions", kSqlFunctions);
  QWidget* expressions_list = Stack(
      {apply_expression_ = MakeButton(nullptr, "ButtonApplySqlExpressionToQueryText", "Apply"),
       expressions_},
      expressions_);
  QWidget* functions_list =
      Stack({apply_function_ = MakeButton(nullptr, "ButtonApplySqlFunctionToQueryText", "Apply"),
             functions_},
            functions_);

  DBGrid* parameters_grid = MakeGrid(m, nullptr, "DBGridQueriesParameters", &c.QueriesParameters(),
                                     {{"Parameter", "QUERYPARAMETERNAME"},
                                      {"Value", "QUERYPARAMETERVALUE"},
                                      {"Comment", "QUERYCOMMENT"}});
  QWidget* parameters =
      Stack({MakeNavigator(m, nullptr, "DBNavigatorQueriesParameters", &c.QueriesParameters()),
             parameters_grid},
            parameters_grid);

  QSplitter* splitter8 =
      MakeSplitter("PairSplitter8", Qt::Horizontal, 180, tables_list, fields_list);
  QSplitter* splitter9 =
      MakeSplitter("PairSplitter9", Qt::Horizontal, 194, expressions_list, functions_list);
  QSplitter* splitter7 = MakeSplitter("PairSplitter7", Qt::Horizontal, 381, splitter8, splitter9);
  QSplitter* splitter6 = MakeSplitter("PairSplitter6", Qt::Horizontal, 764, splitter7, parameters);
  QSplitter* splitter5 = MakeSplitter("PairSplitter5", Qt::Vertical, 45, BuildEditor(), splitter6);
  QWidget* tab = Stack({MakeSplitter("PairSplitter3", Qt::Vertical, 160, upper, splitter5)});
  tab->layout()->setContentsMargins(0, 0, 0, 0);
  tab->setObjectName("TabSheetQueryDesign");
  return tab;
}

QWidget* QueriesArea::BuildResultTab(WindowContext& context) {
  Messages& m = context.messages;
  TVoQueryDataSet* result = &context.VoQueryDatasetQueryResult;
  result_grid_ = MakeGrid(m, nullptr, "DBGridQueryResult", result);
  DBGrid* grid = result_grid_;
  save_query_result_ = MakeFileNameEdit(nullptr, "FileNameEditSaveQueryResult");
  QWidget* tab =
      Stack({MakeHeading(nullptr, "Query Result"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorQueryResult", result),
                  MakeButton(nullptr, "ButtonFilterQueryResult", "Filter"),
                  MakeButton(nullptr, "ButtonFindQueryResult", "Find"),
                  MakeButton(nullptr, "ButtonExportQueryResult", "Export"),
                  unload_ = MakeButton(nullptr, "ButtonFindUnloadQueryResult", "UnloadData")}),
             grid,
             Row({save_result_ =
                      MakeButton(nullptr, "ButtonSaveQueryResult", "Save Query Result To A File"),
                  save_query_result_},
                 save_query_result_)},
            grid);
  tab->setObjectName("TabSheetQueryResult");
  result_tab_ = tab;
  return tab;
}

}  // namespace app

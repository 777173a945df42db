// The ExternalSources page's controls. Connecting, listing tables and columns,
// the preview and the import are handlers of their own.
#include "ExternalSourcesArea.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "WindowContext.h"

namespace app {
namespace {

// The protocols offered in the connectors' "Protocol" column; each but the
// last ends with a blank, which the catalogue drops when the value is read back.
const QStringList kProtocols = {
    "ado ",          "ASA7 ",         "ASA8 ",          "ASA9 ",          "firebird-1.0 ",
    "firebird-1.5 ", "firebird-2.0 ", "firebirdd-1.5 ", "firebirdd-2.0 ", "interbase-5 ",
    "interbase-6 ",  "mssql ",        "mysql ",         "mysql-4.1 ",     "mysql-5 ",
    "mysqld-4.1 ",   "mysqld-5 ",     "oracle ",        "oracle-9i ",     "postgresql ",
    "postgresql-7 ", "postgresql-8 ", "sqlite ",        "sqlite-2.8 ",    "sqlite-3 ",
    "sybase"};

}  // namespace

ExternalSourcesArea::ExternalSourcesArea(WindowContext& context, QTabWidget& page_control) {
  Messages& m = context.messages;
  Catalogue& c = context.catalogue;

  DBGrid* connectors_grid = MakeGrid(m, nullptr, "DBGridSQLConnectors", &c.SQLConnectors(),
                                     {{"SqlConnectorName", "SQLCONNECTORNAME"},
                                      {"ToBeImported", "TOBEIMPORTED"},
                                      {"Protocol", "PROTOCOL"},
                                      {"Catalog", "CATALOG"},
                                      {"Database", "DATABASE"},
                                      {"HostName", "HOSTNAME"},
                                      {"Port", "PORT"},
                                      {"User", "USER"},
                                      {"Password", "PASSWORD"}});
  connectors_grid->SetPickList(2, kProtocols);
  QWidget* connectors =
      Stack({MakeHeading(nullptr, "SQL Connectors"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorSQLConnectors", &c.SQLConnectors()),
                  MakeButton(nullptr, "ButtonImport", "IMPORT TABLE(S)"),
                  MakeButton(nullptr, "ButtonTestConnection", "Test Connection")}),
             connectors_grid},
            connectors_grid);

  DBGrid* tables_grid = MakeGrid(m, nullptr, "DBGridSQLTables", &c.SQLTables(),
                                 {{"TableName", "SQLTABLENAME"},
                                  {"ToBeImported", "TOBEIMPORTED"},
                                  {"ImportedName", "IMPORTEDNAME"},
                                  {"Comment", "SQLTABLENAMECOMMENT"}});
  // Only receives the server's table names; never shown.
  QListWidget* hidden_names = MakeListBox(nullptr, "ListBoxSQLTables");
  hidden_names->setVisible(false);
  QListWidget* field_names = MakeListBox(nullptr, "ListBoxSQLTableFields");
  QWidget* tables_side = Stack({tables_grid, hidden_names}, tables_grid);
  QWidget* fields_side = Stack(
      {MakeButton(nullptr, "ButtonGetSQLTableFieldsSchema", "Get Fields Schema"), field_names},
      field_names);
  QSplitter* splitter18 =
      MakeSplitter("PairSplitter18", Qt::Horizontal, 700, tables_side, fields_side);
  QWidget* sql_tables =
      Stack({MakeHeading(nullptr, "SQL Tables"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorSQLTables", &c.SQLTables()),
                  MakeButton(nullptr, "ButtonSQLTablesSchema", "Get Tables Schema")}),
             splitter18},
            splitter18);

  TVoQueryDataSet* preview = &context.VoQueryDatasetSQLTableData;
  DBGrid* preview_grid = MakeGrid(m, nullptr, "DBGridSQLTableData", preview);
  QWidget* data_preview =
      Stack({MakeHeading(nullptr, "Data Preview"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorSQLTable", preview),
                  MakeButton(nullptr, "ButtonActivateSQLTablePreview", "Load Data"),
                  MakeButton(nullptr, "ButtonDeactivateSQLTablePreview", "Unload Data"),
                  MakeButton(nullptr, "ButtonFilterSQLTableData", "Filter"),
                  MakeButton(nullptr, "ButtonFindSQLTableData", "Find"),
                  MakeButton(nullptr, "ButtonExportSQLTableData", "Export")}),
             preview_grid},
            preview_grid);

  QSplitter* splitter17 = MakeSplitter("PairSplitter17", Qt::Vertical, 150, connectors, sql_tables);
  QWidget* page =
      Stack({MakeSplitter("PairSplitter16", Qt::Vertical, 400, splitter17, data_preview)});
  page->setObjectName("TabSheetExternalSources");
  page_control.addTab(page, "ExternalSources");
}

}  // namespace app

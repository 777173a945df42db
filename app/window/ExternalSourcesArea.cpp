// The ExternalSources page's controls and their handlers: each button runs
// one operation of ExternalSources inside the guard.
#include "ExternalSourcesArea.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "ExternalSources.h"
#include "Guard.h"
#include "TableData.h"
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

void Fill(QListWidget& list, const std::vector<std::string>& names) {
  list.clear();
  for (const std::string& name : names) list.addItem(QString::fromStdString(name));
}

}  // namespace

ExternalSourcesArea::~ExternalSourcesArea() = default;

ExternalSourcesArea::ExternalSourcesArea(WindowContext& context, QTabWidget& page_control)
    : operations_(std::make_unique<ExternalSources>(context.catalogue, context.messages,
                                                    context.VoConnection1,
                                                    context.VoQueryDatasetSQLTableData)) {
  Messages& m = context.messages;
  Catalogue& c = context.catalogue;
  ExternalSources& ops = *operations_;
  // Runs `handler` as a slot: nothing it throws reaches Qt.
  auto on_click = [&m](QPushButton* button, auto handler) {
    QObject::connect(button, &QPushButton::clicked, button, [&m, handler] { Guard(m, handler); });
    return button;
  };

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
                  on_click(MakeButton(nullptr, "ButtonImport", "IMPORT TABLE(S)"),
                           [&ops] { ops.Import(); }),
                  on_click(MakeButton(nullptr, "ButtonTestConnection", "Test Connection"),
                           [&ops] { ops.TestConnection(); })}),
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
  QWidget* fields_side =
      Stack({on_click(MakeButton(nullptr, "ButtonGetSQLTableFieldsSchema", "Get Fields Schema"),
                      [&ops, field_names] {
                        if (auto names = ops.GetFieldsSchema()) Fill(*field_names, *names);
                      }),
             field_names},
            field_names);
  QSplitter* splitter18 =
      MakeSplitter("PairSplitter18", Qt::Horizontal, 700, tables_side, fields_side);
  QWidget* sql_tables =
      Stack({MakeHeading(nullptr, "SQL Tables"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorSQLTables", &c.SQLTables()),
                  on_click(MakeButton(nullptr, "ButtonSQLTablesSchema", "Get Tables Schema"),
                           [&ops, hidden_names] {
                             if (auto names = ops.GetTablesSchema()) Fill(*hidden_names, *names);
                           })}),
             splitter18},
            splitter18);

  TVoQueryDataSet* preview = &context.VoQueryDatasetSQLTableData;
  DBGrid* preview_grid = MakeGrid(m, nullptr, "DBGridSQLTableData", preview);
  QObject::connect(preview_grid, &DBGrid::titleClicked, preview_grid,
                   [&m, preview](int, const QString& field_name) {
                     Guard(m, [&] { SortByTitle(*preview, field_name.toStdString()); });
                   });
  QWidget* data_preview =
      Stack({MakeHeading(nullptr, "Data Preview"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorSQLTable", preview),
                  on_click(MakeButton(nullptr, "ButtonActivateSQLTablePreview", "Load Data"),
                           [&ops] { ops.LoadPreview(); }),
                  on_click(MakeButton(nullptr, "ButtonDeactivateSQLTablePreview", "Unload Data"),
                           [&ops] { ops.UnloadPreview(); }),
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

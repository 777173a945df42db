// The ExternalSources handlers: connector take-over, test, table and column
// lists, preview and import.
#include "ExternalSources.h"

#include <exception>

#include "SqlQueryDataSet.h"
#include "TableImport.h"

namespace app {
namespace {

constexpr std::string_view kNoConnection = "I could not establish connection. ";
constexpr std::string_view kNoTable = "I could not activate table. ";

std::string Text(std::string_view a, const std::exception& e) { return std::string(a) + e.what(); }

std::string Str(db::DataSet& d, std::string_view field) { return d.FieldByName(field).AsString(); }

// Runs `work`, then disconnects whatever happened.
template <class Work>
void ThenDisconnect(ExternalConnection& connection, Work&& work) {
  RunThenCleanUp(work, [&] { connection.Disconnect(); });
}

}  // namespace

ExternalSources::ExternalSources(Catalogue& catalogue, Messages& messages,
                                 TVoConnection& connection, TVoQueryDataSet& preview)
    : catalogue_(catalogue), messages_(messages), vo_connection_(connection), preview_(preview) {}

void ExternalSources::SetParametersFromConnector() {
  db::DataSet& c = catalogue_.SQLConnectors();
  ConnectionParameters p;
  if (c.Active() && !c.IsEmpty()) {
    p.protocol = Str(c, "PROTOCOL");
    p.database = Str(c, "DATABASE");
    p.host = Str(c, "HOSTNAME");
    p.port = static_cast<int>(c.FieldByName("PORT").AsInteger());
    p.user = Str(c, "USER");
    p.password = Str(c, "PASSWORD");
    p.catalog = Str(c, "CATALOG");
  }
  connection_.SetParameters(p);
}

void ExternalSources::TakeOverConnector() {
  db::DataSet& c = catalogue_.SQLConnectors();
  if (c.IsEmpty()) {
    c.Append();
  } else {
    c.Edit();
  }
  c.Post();
  SetParametersFromConnector();
}

bool ExternalSources::Connect() {
  try {
    connection_.Connect();
    return true;
  } catch (const std::exception& e) {
    messages_.Info(Text(kNoConnection, e));
    return false;
  }
}

void ExternalSources::TestConnection() {
  TakeOverConnector();
  if (Connect()) messages_.Info("Connection O.K.");
  connection_.Disconnect();
}

std::optional<std::vector<std::string>> ExternalSources::GetTablesSchema() {
  TakeOverConnector();
  std::optional<std::vector<std::string>> result;
  ThenDisconnect(connection_, [&] {
    if (!Connect()) return;
    try {
      // The list first: a listing that fails leaves the user's rows, marks and
      // comments as they were.
      std::vector<std::string> names = connection_.TableNames();
      db::DataSet& tables = catalogue_.SQLTables();
      tables.First();
      while (!tables.IsEmpty()) tables.Delete();
      for (const std::string& name : names) {
        tables.Append();
        tables.FieldByName("SQLTABLENAME").SetAsString(name);
        tables.Post();
      }
      result = std::move(names);
    } catch (const std::exception& e) {
      messages_.Info(Text("I could not get tables schema. ", e));
    }
  });
  return result;
}

std::optional<std::vector<std::string>> ExternalSources::GetFieldsSchema() {
  db::DataSet& tables = catalogue_.SQLTables();
  const db::Bookmark row = tables.Active() ? tables.GetBookmark() : db::Bookmark{};
  TakeOverConnector();
  std::optional<std::vector<std::string>> result;
  ThenDisconnect(connection_, [&] {
    try {
      connection_.Connect();
      if (row.IsSet()) tables.GotoBookmark(row);
      const std::string table = tables.IsEmpty() ? "" : Str(tables, "SQLTABLENAME");
      result = connection_.ColumnNames(table);
    } catch (const std::exception& e) {
      messages_.Info(Text(kNoConnection, e));
    }
  });
  return result;
}

void ExternalSources::LoadPreview() {
  messages_.Info("Orlenda will try to load data now. Please, be patient.");
  RunThenCleanUp([&] {
    SetParametersFromConnector();
    ThenDisconnect(connection_, [&] {
      if (!Connect()) return;
      try {
        db::DataSet& tables = catalogue_.SQLTables();
        const std::string table = tables.IsEmpty() ? "" : Str(tables, "SQLTABLENAME");
        QSqlQuery query = connection_.OpenTable(table, false);
        SqlQueryDataSet source(query);
        source.Open();
        source.First();
        preview_.ImportFromDataset(source);
        source.Close();
      } catch (const std::exception& e) {
        messages_.Info(Text(kNoTable, e));
      }
    });
  }, [&] { messages_.Info("Finished!"); });
}

void ExternalSources::UnloadPreview() { preview_.Close(); }

void ExternalSources::Import() {
  db::DataSet& connectors = catalogue_.SQLConnectors();
  db::DataSet& tables = catalogue_.SQLTables();
  const db::ControlsDisabled connectors_disabled(connectors);
  const db::ControlsDisabled tables_disabled(tables);
  for (connectors.First(); !connectors.Eof(); connectors.Next()) {
    if (!connectors.FieldByName("TOBEIMPORTED").AsBoolean()) continue;
    connectors.Edit();
    connectors.Post();
    SetParametersFromConnector();
    ThenDisconnect(connection_, [&] { ImportConnector(); });
  }
}

void ExternalSources::ImportConnector() {
  db::DataSet& tables = catalogue_.SQLTables();
  try {
    connection_.Connect();
    for (tables.First(); !tables.Eof(); tables.Next()) {
      if (!tables.FieldByName("TOBEIMPORTED").AsBoolean()) continue;
      const std::string table = Str(tables, "SQLTABLENAME");
      const std::string imported = Str(tables, "IMPORTEDNAME");
      ImportTable(table, imported.empty() ? table : imported);
    }
  } catch (const std::exception& e) {
    messages_.Info("I could not establish connection to the Connector " +
                   Str(catalogue_.SQLConnectors(), "SQLCONNECTORNAME") + ". " + e.what());
  }
}

void ExternalSources::ImportTable(const std::string& table, const std::string& target) {
  const std::string failed = "External table " + table + " could not be imported. ";
  // The target names a file of the project folder and nothing else.
  if (const std::string problem = ImportTargetProblem(target); !problem.empty()) {
    messages_.Info(failed + problem);
    return;
  }
  const std::string file = vo_connection_.DatabaseFolder() + target + ".txt";
  std::unique_ptr<TableRows> rows;
  try {
    rows = OpenTableRows(connection_, table);
  } catch (const std::exception& e) {
    messages_.Info(Text(kNoTable, e));
    return;
  }
  try {
    rows->WriteTo(file);
    messages_.Info("External table " + table + " succesfully imported to " + file);
  } catch (const std::exception& e) {
    messages_.Info(failed + e.what());
  }
}

}  // namespace app

// The ExternalSources page's handlers without a window: testing the current
// connector, filling its table list, listing a table's columns, the preview of
// a table's rows, and the import of the marked tables of the marked
// connectors into the project's folder. Every handler connects, works and
// disconnects; each reports through Messages with the page's own texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "ExternalConnection.h"
#include "Messages.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"

namespace app {

class ExternalSources {
 public:
  // All must outlive this object. `preview` is the preview dataset, its
  // VoConnection set.
  ExternalSources(Catalogue& catalogue, Messages& messages, TVoConnection& connection,
                  TVoQueryDataSet& preview);

  // "Test Connection": posts the current connector row (appending an empty
  // one when there is none), connects, shows "Connection O.K." or "I could not
  // establish connection. " + the reason, disconnects. A failed post passes to
  // the caller.
  void TestConnection();
  // "Get Tables Schema": lists the server's tables first and only then
  // replaces the connector's SQLTables rows by one row per name (marks,
  // imported names and comments cleared). Answers the names, or none after
  // "I could not establish connection. " / "I could not get tables schema. "
  // + the reason; a failed listing leaves the rows as they were.
  std::optional<std::vector<std::string>> GetTablesSchema();
  // "Get Fields Schema": the column names of the current SQLTables row's
  // table, or none after "I could not establish connection. " + the server's
  // error (for a table it does not have, too).
  std::optional<std::vector<std::string>> GetFieldsSchema();
  // "Load Data" of the preview: "Orlenda will try to load data now. Please,
  // be patient.", then the table's rows copied into the preview ("I could not
  // establish connection. " / "I could not activate table. " + the reason on
  // failure), then "Finished!" in every case.
  void LoadPreview();
  // "Unload Data": closes the preview.
  void UnloadPreview();
  // "IMPORT TABLE(S)": every marked table of every marked connector of the
  // current project, streamed into DatabaseFolder + target + ".txt" (target:
  // IMPORTEDNAME, or SQLTABLENAME when that is empty), one message per table
  // and per connector that fails to connect.
  void Import();

  // The connection, for tests that choose an ODBC driver directly.
  ExternalConnection& Connection() { return connection_; }

 private:
  // Posts the current SQLConnectors row (an empty one is appended when there
  // is none) and sets the connection's parameters from it.
  void TakeOverConnector();
  void SetParametersFromConnector();
  // Connects; false, with the failure shown, when no connection can be made.
  bool Connect();
  void ImportConnector();
  void ImportTable(const std::string& table, const std::string& target);

  Catalogue& catalogue_;
  Messages& messages_;
  TVoConnection& vo_connection_;
  TVoQueryDataSet& preview_;
  ExternalConnection connection_;
};

}  // namespace app

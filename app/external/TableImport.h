// Writing an external table's rows to a table file as they arrive from the
// server: one row in memory at a time, the file replaced whole or not at all.
#pragma once

#include <QSqlQuery>
#include <memory>
#include <string>
#include <vector>

namespace app {

// The text of one value as an imported file holds it (before the cell
// encoding): null as "", booleans "True"/"False", numbers exactly as the
// server sent them with the process-wide decimal separator, dates yyyy-mm-dd,
// times hh:mm:ss, date-times yyyy-mm-dd hh:mm:ss (with .zzz when the
// milliseconds are not zero), bytes as they are.
std::string ImportedValueText(const QVariant& value, bool number_column);

// Writes the header line (the query's column names joined by ";") and every
// row of the executed `query` (forward-only, positioned before its first row)
// to `file`, each value in the engine's cell encoding, each line ending in a
// line feed; answers the number of rows. Throws db::DatabaseError for a column
// name the header line cannot keep, for a fetch error in the middle of the
// rows and for a file that cannot be written; the old file then stays as it
// was and no temporary file is left.
// `number_columns` (see ExternalConnection::OpenTable) says which columns
// hold fractional numbers; when empty, the query's column types say it.
long long WriteQueryToTableFile(QSqlQuery& query, const std::string& file,
                                const std::vector<bool>& number_columns = {});

class ExternalConnection;

// A table's rows on their way from the server to a table file.
class TableRows {
 public:
  virtual ~TableRows() = default;
  // Writes the header line and every row to `file` as WriteQueryToTableFile
  // does, with its errors; answers the number of rows.
  virtual long long WriteTo(const std::string& file) = 0;
};

// Opens `table`'s rows on the connected `connection`: MySQL's and
// PostgreSQL's through their client libraries (Qt's drivers would hold the
// whole result in memory), the others through a forward-only query. Throws
// what opening the table throws.
std::unique_ptr<TableRows> OpenTableRows(ExternalConnection& connection, const std::string& table);

}  // namespace app

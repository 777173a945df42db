// Importing from PostgreSQL row by row through the client library: the
// server's own text of every value, one row in memory at a time, without the
// conversions to Qt's types and back.
#pragma once

#include <QVariant>
#include <string>

namespace app {

class PgTableStream {
 public:
  // Sends `sql` on `handle` (the PGconn* that Qt's driver gives for an open
  // connection) in single-row mode. Throws db::DatabaseError with the
  // server's error when the statement fails before its first row.
  PgTableStream(const QVariant& handle, const std::string& sql);
  // Reads and drops what the server still sends, so that the connection can
  // be used again.
  ~PgTableStream();
  PgTableStream(const PgTableStream&) = delete;
  PgTableStream& operator=(const PgTableStream&) = delete;

  // Writes the header line and every row to `file` as WriteQueryToTableFile
  // does: each value as the server spells it (numbers with the process-wide
  // decimal separator), booleans "True"/"False", bytea as its bytes, NULL as
  // "". Answers the number of rows. Throws db::DatabaseError for a column
  // name the header cannot keep, an error after some rows and a write error;
  // the old file then stays.
  long long WriteTo(const std::string& file);

 private:
  void* connection_ = nullptr;
  void* result_ = nullptr;  // the first row, or the empty result's description
};

}  // namespace app

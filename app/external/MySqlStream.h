// Importing from MySQL and MariaDB row by row: Qt's MySQL driver keeps a
// query's whole result in the client's memory, so the import reads through
// the client library's unbuffered result instead, one row at a time.
#pragma once

#include <QVariant>
#include <string>

namespace app {

class MySqlTableStream {
 public:
  // Runs `sql` on `handle` (the MYSQL* that Qt's driver gives for an open
  // connection) with an unbuffered result. Throws db::DatabaseError with the
  // server's error.
  MySqlTableStream(const QVariant& handle, const std::string& sql);
  // Frees the result; rows not read are read and dropped first.
  ~MySqlTableStream();
  MySqlTableStream(const MySqlTableStream&) = delete;
  MySqlTableStream& operator=(const MySqlTableStream&) = delete;

  // Writes the header line and every row to `file` as WriteQueryToTableFile
  // does (the server's own text of each value: numbers, dates and date-times
  // exactly as it sends them, NULL as ""); answers the number of rows. Throws
  // db::DatabaseError for a column name the header cannot keep, a fetch error
  // and a write error; the old file then stays.
  long long WriteTo(const std::string& file);

 private:
  void* mysql_ = nullptr;
  void* result_ = nullptr;
};

}  // namespace app

// The unbuffered MySQL result written straight to a table file.
#include "MySqlStream.h"

#include <mysql.h>

#include <vector>

#include "ImportFile.h"
#include "db/DatabaseError.h"

namespace app {
namespace {

MYSQL* Handle(void* p) { return static_cast<MYSQL*>(p); }

bool IsFractional(enum_field_types type) {
  return type == MYSQL_TYPE_DECIMAL || type == MYSQL_TYPE_NEWDECIMAL || type == MYSQL_TYPE_FLOAT ||
         type == MYSQL_TYPE_DOUBLE;
}

}  // namespace

MySqlTableStream::MySqlTableStream(const QVariant& handle, const std::string& sql) {
  // Qt names the pointer's type after the client library's struct ("MYSQL*"
  // or "st_mysql*", as the headers it was built with spell it).
  const std::string_view type = handle.isValid() ? handle.typeName() : "";
  if (type == "MYSQL*" || type == "st_mysql*") {
    mysql_ = *static_cast<MYSQL* const*>(handle.data());
  }
  if (mysql_ == nullptr) throw db::DatabaseError("Not connected");
  if (mysql_real_query(Handle(mysql_), sql.data(), sql.size()) != 0) {
    throw db::DatabaseError(mysql_error(Handle(mysql_)));
  }
  result_ = mysql_use_result(Handle(mysql_));
  if (result_ == nullptr) {
    throw db::DatabaseError(mysql_errno(Handle(mysql_)) != 0 ? mysql_error(Handle(mysql_))
                                                             : "The statement gave no rows");
  }
}

MySqlTableStream::~MySqlTableStream() {
  if (result_ != nullptr) mysql_free_result(static_cast<MYSQL_RES*>(result_));
}

long long MySqlTableStream::WriteTo(const std::string& file) {
  MYSQL_RES* result = static_cast<MYSQL_RES*>(result_);
  const unsigned columns = mysql_num_fields(result);
  const MYSQL_FIELD* fields = mysql_fetch_fields(result);
  std::vector<std::string> names;
  std::vector<bool> fractional;
  for (unsigned i = 0; i < columns; ++i) {
    names.emplace_back(fields[i].name, fields[i].name_length);
    fractional.push_back(IsFractional(fields[i].type));
  }
  ImportFile import(file, names);
  long long rows = 0;
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    const unsigned long* lengths = mysql_fetch_lengths(result);
    for (unsigned i = 0; i < columns; ++i) {
      // NULL is written as "".
      import.AppendCell(row[i] == nullptr ? std::string_view() : std::string_view(row[i], lengths[i]),
                        fractional[i]);
    }
    import.EndRow();
    ++rows;
  }
  // mysql_fetch_row answers NULL at the end and on a failed fetch alike.
  if (mysql_errno(Handle(mysql_)) != 0) {
    throw db::DatabaseError("Reading the rows failed after row " + std::to_string(rows) + ": " +
                            mysql_error(Handle(mysql_)));
  }
  import.Commit();
  return rows;
}

}  // namespace app

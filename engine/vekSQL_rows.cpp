// Row statements: INSERT INTO, UPDATE and DELETE FROM.
#include "vekSQL.h"

namespace vek {

int SQLInsertValues(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLInsertSelect(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLUpdate(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLDelete(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

}  // namespace vek

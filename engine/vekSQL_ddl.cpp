// Table definition statements: CREATE TABLE, DROP TABLE and ALTER TABLE.
#include "vekSQL.h"

namespace vek {

int SQLCreateTable(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLDropTable(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLAlterTable(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

}  // namespace vek

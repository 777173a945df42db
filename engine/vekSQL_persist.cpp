// Persistence and named results: COMMIT, ROLLBACK, SAVE TABLE, RELEASE TABLE, ASSIGN TO.
#include "vekSQL.h"

namespace vek {

int SQLAssign(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLSaveTable(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLReleaseTable(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLCommit(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

int SQLRollback(TvekSQL&, TvekSQLQuery&, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

}  // namespace vek

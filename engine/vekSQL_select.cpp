// SELECT: parsing of the clauses and execution over one table.
#include "vekSQL.h"

namespace vek {

int SQLSelect(TvekSQL&, TvekSQLQuery&, int, std::string_view) {
  SetLastError("Unknown SQL command");
  return 0;
}

}  // namespace vek

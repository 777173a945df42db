#include "ImportFile.h"

#include "db/DatabaseError.h"
#include "engine/vekSQL.h"

namespace app {

ImportFile::ImportFile(const std::string& file, const std::vector<std::string>& names)
    : writer_(file) {
  if (names.empty()) throw db::DatabaseError("The table has no columns");
  if (const vek::Status s = vek::CheckHeaderNames(names); !s.ok()) {
    throw db::DatabaseError(s.message());
  }
  Check(writer_.Open());
  std::string& out = writer_.Buffer();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += ';';
    out += names[i];
  }
  out += '\n';
}

void ImportFile::Check(bool ok) const {
  if (!ok) throw db::DatabaseError(writer_.Error());
}

}  // namespace app

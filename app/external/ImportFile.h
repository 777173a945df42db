// The file an external table is imported into: written aside and renamed over
// the target once every row is in, so that a failure leaves the old file. Its
// header line holds the table's column names, checked as the engine checks a
// table file's header.
#pragma once

#include <string>
#include <vector>

#include "rtl/AtomicFile.h"

namespace app {

class ImportFile {
 public:
  // Throws db::DatabaseError for no columns, names a header cannot hold, or a
  // file that cannot be created.
  ImportFile(const std::string& file, const std::vector<std::string>& names);

  // The bytes not yet written: append rows to it, and call WriteIfFull after
  // each.
  std::string& Buffer() { return writer_.Buffer(); }
  // Both throw db::DatabaseError when writing fails.
  void WriteIfFull() { Check(writer_.WriteIfFull()); }
  void Commit() { Check(writer_.Commit()); }

 private:
  void Check(bool ok) const;

  rtl::AtomicFileWriter writer_;
};

}  // namespace app

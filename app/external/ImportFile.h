// The file an external table is imported into: written aside and renamed over
// the target once every row is in, so that a failure leaves the old file. Its
// header line holds the table's column names, checked as the engine checks a
// table file's header.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/AtomicFile.h"

namespace app {

class ImportFile {
 public:
  // Throws db::DatabaseError for no columns, names a header cannot hold, or a
  // file that cannot be created.
  ImportFile(const std::string& file, const std::vector<std::string>& names);

  // Appends the next value of the row being written (cells joined by ";"), in
  // the engine's cell encoding. In a fractional number's text ("12.5000") the
  // "." becomes the process-wide decimal separator; its digits stay.
  void AppendCell(std::string_view text, bool fractional_number = false);
  // Ends the row. Throws db::DatabaseError when writing fails, as Commit does.
  void EndRow();
  void Commit() { Check(writer_.Commit()); }

 private:
  void Check(bool ok) const;

  rtl::AtomicFileWriter writer_;
  const char separator_;
  bool row_started_ = false;
  std::string number_;  // a number's text with its separator, reused
};

}  // namespace app

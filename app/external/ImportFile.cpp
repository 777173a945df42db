#include "ImportFile.h"

#include "db/DatabaseError.h"
#include "engine/vekSQL.h"
#include "rtl/Separators.h"

namespace app {

ImportFile::ImportFile(const std::string& file, const std::vector<std::string>& names)
    : writer_(file), separator_(rtl::DecimalSeparator()) {
  if (names.empty()) throw db::DatabaseError("The table has no columns");
  if (const vek::Status s = vek::CheckHeaderNames(names); !s.ok()) {
    throw db::DatabaseError(s.message());
  }
  Check(writer_.Open());
  writer_.Buffer() += vek::JoinText(names) + '\n';
}

void ImportFile::AppendCell(std::string_view text, bool fractional_number) {
  std::string& out = writer_.Buffer();
  if (row_started_) out += ';';
  row_started_ = true;
  if (fractional_number && separator_ != '.' && text.find('.') != std::string_view::npos) {
    number_.assign(text);
    for (char& c : number_) {
      if (c == '.') c = separator_;
    }
    text = number_;
  }
  vek::EncodeCell(text, out);
}

void ImportFile::EndRow() {
  writer_.Buffer() += '\n';
  row_started_ = false;
  Check(writer_.WriteIfFull());
}

void ImportFile::Check(bool ok) const {
  if (!ok) throw db::DatabaseError(writer_.Error());
}

}  // namespace app

// Fuzzes the SQL engine with whole batches: the input is the text of a batch,
// run by a fresh engine connected to an empty temporary folder, so statements
// that read and write table files (COMMIT, SAVE TABLE) run too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/vekSQL.h"
#include "fuzz_folder.h"
#include "rtl/Separators.h"

namespace {

// An input that connects elsewhere would let the fuzzer write table files into
// any folder of the machine; such inputs are left out (the catalog statement
// has tests of its own).
bool Connects(std::string_view text) {
  static constexpr std::string_view kWord = "connect";
  for (std::size_t i = 0; i + kWord.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < kWord.size() && (text[i + k] | 0x20) == kWord[k]) ++k;
    if (k == kWord.size()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzing::FuzzFolder folder;
  static const bool ready = [] {
    rtl::SetDecimalSeparator('.');
    rtl::SetThousandSeparator(',');
    return true;
  }();
  (void)ready;

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (Connects(text)) return -1;  // not added to the corpus
  {
    vek::TvekSQL engine;
    if (engine.ExecuteSQL("connect to '" + folder.path() + "'") != -1) __builtin_trap();
    engine.ExecuteSQL(text);
  }
  folder.Empty();
  return 0;
}

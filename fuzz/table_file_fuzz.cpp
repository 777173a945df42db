// Fuzzes the engine's table-file reader: the input's first byte picks the size
// of the pieces the file is read in (1 to 64 bytes, so lines and quoted
// stretches fall across piece ends), the rest is the file. What was read is
// written back and read again, and must come back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/vekSQL.h"
#include "fuzz_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzing::FuzzFolder folder;
  if (size == 0) return 0;
  const std::size_t chunk = std::size_t{data[0]} % 64 + 1;
  folder.Write("t.txt", reinterpret_cast<const char*>(data + 1), size - 1);

  vek::TvekRecordSet set;
  bool loaded = false;
  if (set.LoadFromFile(folder.File("t.txt"), loaded, chunk).ok() && loaded) {
    for (const vek::TvekRecord& row : set.Records) (void)row.GetRow();
    // A set holding names the header cannot carry is refused on save, which is
    // a clean error; a set that was saved must read back unchanged.
    if (set.SaveToFile(folder.File("u.txt")).ok()) {
      vek::TvekRecordSet again;
      bool again_loaded = false;
      if (!again.LoadFromFile(folder.File("u.txt"), again_loaded, chunk).ok()) __builtin_trap();
      if (again_loaded) {
        if (again.FieldNames != set.FieldNames) __builtin_trap();
        if (again.RecordCount() != set.RecordCount()) __builtin_trap();
        for (int r = 0; r < set.RecordCount(); ++r) {
          const vek::TvekRecord& a = set.Records[r];
          const vek::TvekRecord& b = again.Records[r];
          for (int c = 0; c < a.FieldCount() || c < b.FieldCount(); ++c) {
            if (a.Cell(c) != b.Cell(c)) __builtin_trap();
          }
        }
      }
    }
  }
  folder.Empty();
  return 0;
}

// Fuzzes the delimited-text reader: the input's first byte picks the options
// (header line or not, ";" or "," between values), the rest is the file. Every
// value of every row is read, as the dataset copies them, and read again from
// the file row by row, which must give the same values.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/DatabaseError.h"
#include "fuzz_folder.h"
#include "sdf/SdfDataSet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzing::FuzzFolder folder;
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  folder.Write("t.txt", reinterpret_cast<const char*>(data + 1), size - 1);

  sdf::TSdfDataSet reader;
  reader.SetFileName(folder.File("t.txt"));
  reader.SetFirstLineAsSchema((options & 1) == 0);
  reader.SetDelimiter((options & 2) == 0 ? ';' : ',');
  try {
    reader.Open();
  } catch (const db::DatabaseError&) {
    return 0;  // duplicate column names: a clean refusal
  }
  for (int i = 0; i < reader.FieldDefCount(); ++i) {
    (void)reader.FieldName(i);
    if (reader.FieldSize(i) < 0) __builtin_trap();
  }
  std::size_t bytes = 0;
  std::vector<std::optional<std::string>> values;
  for (reader.First(); !reader.Eof(); reader.Next()) {
    for (int i = 0; i < reader.FieldDefCount(); ++i) {
      std::optional<std::string_view> value = reader.Value(i);
      if (value) bytes += value->size();
      values.push_back(value ? std::optional<std::string>(*value) : std::nullopt);
    }
  }
  if (bytes > size) __builtin_trap();  // values are stretches of the file
  reader.Close();

  // Read again from the file, a block at a time, the rows are the same.
  reader.SetRowsFromFile(true);
  reader.Open();
  std::size_t at = 0;
  const auto width = static_cast<std::size_t>(reader.FieldDefCount());
  reader.VisitRows([&](std::span<const std::string_view> row) {
    if (row.size() > width || at + width > values.size()) __builtin_trap();
    for (std::size_t i = 0; i < width; ++i, ++at) {
      const bool present = i < row.size();
      if (present != values[at].has_value() || (present && row[i] != *values[at])) {
        __builtin_trap();
      }
    }
  });
  if (at != values.size()) __builtin_trap();
  reader.Close();
  return 0;
}

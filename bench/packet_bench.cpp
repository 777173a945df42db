// Appends one million rows of 8 string fields to a buffered dataset, the way a
// table load does, then saves the dataset as a packet file and loads it back
// into another dataset. Prints each time and the save and load times against
// the append's; the rows travel as insertions of the change log.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "bench_util.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kFields = 8;
constexpr int kPool = 4096;

using bench::SecondsSince;

}  // namespace

int main(int argc, char** argv) {
  // The packet goes to the folder given, else to the temporary folder.
  const std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::string file =
      (folder / ("orlenda-packet-bench-" + std::to_string(::getpid()) + ".pkt")).string();
  // Values of 6 to 14 bytes, as in a table of names, codes and amounts.
  std::vector<std::string> pool;
  for (int i = 0; i < kPool; ++i) {
    pool.push_back("v" + std::to_string(i * 7919 % 100000) + std::string(i % 5, 'x') +
                   std::to_string(i % 97));
  }

  TVoBufDataset dataset;
  for (int f = 0; f < kFields; ++f) {
    dataset.FieldDefs().Add("F" + std::to_string(f), db::FieldType::ftString, 20);
  }
  dataset.CreateDataset();
  dataset.Open();
  std::vector<db::Field*> fields;
  for (int f = 0; f < kFields; ++f) fields.push_back(&dataset.Fields(f));

  auto start = std::chrono::steady_clock::now();
  dataset.DisableControls();
  for (int row = 0; row < kRows; ++row) {
    dataset.Append();
    for (int f = 0; f < kFields; ++f) {
      fields[static_cast<std::size_t>(f)]->SetAsString(
          pool[static_cast<std::size_t>(row * kFields + f) % kPool]);
    }
    dataset.Post();
  }
  dataset.EnableControls();
  const double append_seconds = SecondsSince(start);

  start = std::chrono::steady_clock::now();
  dataset.SaveToFile(file);
  const double save_seconds = SecondsSince(start);
  const auto file_bytes = std::filesystem::file_size(file);
  dataset.Close();

  TVoBufDataset loaded;
  start = std::chrono::steady_clock::now();
  loaded.LoadFromFile(file);
  const double load_seconds = SecondsSince(start);
  std::filesystem::remove(file);

  loaded.Last();
  const bool same = loaded.RecordCount() == kRows && loaded.GetChangeCount() == kRows &&
                    loaded.FieldByName("F7").AsString() ==
                        pool[static_cast<std::size_t>((kRows - 1) * kFields + 7) % kPool];
  std::printf("append: %d rows x %d string fields in %.3f s\n", kRows, kFields, append_seconds);
  std::printf("save:   %.3f s (%.2f x the append), %.1f MiB\n", save_seconds,
              save_seconds / append_seconds, static_cast<double>(file_bytes) / (1024.0 * 1024.0));
  std::printf("load:   %.3f s (%.2f x the append)%s\n", load_seconds, load_seconds / append_seconds,
              same ? "" : "  -- the rows loaded differ!");
  return same ? 0 : 1;
}

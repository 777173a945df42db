// Appends one million rows of 8 string fields to a buffered dataset, the way a
// table load does (Append, eight field writes, Post, controls disabled), filters
// them by one comparison and walks the rows shown, searches with Locate for a
// value no row holds, then sorts them by one field and deletes them one by one
// from the first, as a reload empties a dataset. Prints rows per second and the
// peak resident memory against the bytes of the values themselves.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kFields = 8;
constexpr int kPool = 4096;

// Peak resident set size in KiB (VmHWM), 0 when unknown.
long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  // "--append-only" skips the sort, for profiling the append alone.
  bool append_only = argc > 1 && std::string(argv[1]) == "--append-only";
  // Values of 6 to 14 bytes, as in a table of names, codes and amounts.
  std::vector<std::string> pool;
  for (int i = 0; i < kPool; ++i) {
    pool.push_back("v" + std::to_string(i * 7919 % 100000) + std::string(i % 5, 'x') +
                   std::to_string(i % 97));
  }
  long baseline_kib = PeakRssKiB();

  TVoBufDataset dataset;
  for (int f = 0; f < kFields; ++f) {
    dataset.FieldDefs().Add("F" + std::to_string(f), db::FieldType::ftString, 20);
  }
  dataset.CreateDataset();
  dataset.Open();
  std::vector<db::Field*> fields;
  for (int f = 0; f < kFields; ++f) fields.push_back(&dataset.Fields(f));

  std::size_t data_bytes = 0;
  auto start = std::chrono::steady_clock::now();
  dataset.DisableControls();
  for (int row = 0; row < kRows; ++row) {
    dataset.Append();
    for (int f = 0; f < kFields; ++f) {
      const std::string& value = pool[static_cast<std::size_t>(row * kFields + f) % kPool];
      fields[static_cast<std::size_t>(f)]->SetAsString(value);
      data_bytes += value.size();
    }
    dataset.Post();
  }
  dataset.EnableControls();
  double append_seconds = SecondsSince(start);
  long append_peak_kib = PeakRssKiB();

  // The filter dialog's case: one comparison, every row tested once.
  start = std::chrono::steady_clock::now();
  dataset.DisableControls();
  dataset.SetFilterText("F1 = '" + pool[1] + "'");
  dataset.SetFiltered(true);
  int shown = 0;
  for (dataset.First(); !dataset.Eof(); dataset.Next()) ++shown;
  dataset.SetFiltered(false);
  dataset.EnableControls();
  double filter_seconds = SecondsSince(start);

  // The find dialog's worst case: a miss compares every row.
  start = std::chrono::steady_clock::now();
  bool found = dataset.Locate("F0", rtl::Variant::Text("absent"));
  double locate_seconds = SecondsSince(start);

  double sort_seconds = 0.0;
  if (!append_only) {
    start = std::chrono::steady_clock::now();
    dataset.SetIndexFieldNames("F3");
    sort_seconds = SecondsSince(start);
  }

  start = std::chrono::steady_clock::now();
  dataset.DisableControls();
  for (dataset.First(); !dataset.Eof();) dataset.Delete();
  dataset.EnableControls();
  double delete_seconds = SecondsSince(start);

  double data_mib = static_cast<double>(data_bytes) / (1024.0 * 1024.0);
  double used_mib = static_cast<double>(append_peak_kib - baseline_kib) / 1024.0;
  std::printf("append: %d rows x %d string fields in %.3f s = %.0f rows/s\n", kRows, kFields,
              append_seconds, kRows / append_seconds);
  std::printf(
      "memory: values %.1f MiB, peak RSS growth %.1f MiB (%.2f x the values), "
      "VmHWM %ld KiB\n",
      data_mib, used_mib, used_mib / data_mib, append_peak_kib);
  std::printf("filter by one comparison and walk the %d rows shown: %.3f s\n", shown,
              filter_seconds);
  std::printf("locate a value no row holds: %.3f s%s\n", locate_seconds,
              found ? " (found one!)" : "");
  std::printf("sort by one field: %.3f s, VmHWM %ld KiB\n", sort_seconds, PeakRssKiB());
  std::printf("delete every row from the first: %.3f s\n", delete_seconds);
  return dataset.RecordCount() == 0 ? 0 : 1;
}

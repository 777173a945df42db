// Runs "select * from t" over a generated table of one million rows twice: by
// the engine alone (connect, execute, release) and through TVoQueryDataSet (the
// same, plus copying every row into the dataset, the way the program runs a
// query). Prints the best time of each over a few rounds and their ratio; a
// second dataset run shows the cost of emptying the previous result too.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "datasets/VoQueryDataSet.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRounds = 3;
constexpr const char* kQuery = "select * from t";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A table of ids, names, cities and amounts, 6 to 12 bytes a value.
void WriteTable(const std::string& file) {
  static const char* const kCities[] = {"Lisbon", "Oslo", "Tallinn", "Valletta", "Porto"};
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "id;name;city;amount\n";
  for (int i = 0; i < kRows; ++i) {
    out << i << ";name" << (i * 7919LL % 100000) << ";" << kCities[i % 5] << ";" << (i % 10000)
        << "." << (i % 100) << "\n";
  }
}

double EngineAlone(const std::string& folder, int& rows) {
  auto start = std::chrono::steady_clock::now();
  vek::TvekSQL engine;
  engine.ExecuteSQL("connect to '" + folder + "'");
  int n = engine.ExecuteSQL(kQuery);
  rows = n > 0 ? engine.GetRecordSet(n)->RecordCount() : -1;
  engine.ReleaseRecordSet(n);
  return SecondsSince(start);
}

double ThroughDataset(TVoQueryDataSet& dataset, int& rows) {
  auto start = std::chrono::steady_clock::now();
  dataset.RunSqlText();
  rows = dataset.RecordCount();
  return SecondsSince(start);
}

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orlenda-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string folder = pattern;
  WriteTable(folder + "/t.txt");

  TVoConnection connection;
  connection.SetDatabasePath(folder);

  double engine_best = 1e9, fresh_best = 1e9, again_best = 1e9;
  int engine_rows = 0, fresh_rows = 0, again_rows = 0;
  for (int round = 0; round < kRounds; ++round) {
    engine_best = std::min(engine_best, EngineAlone(folder, engine_rows));
    TVoQueryDataSet dataset;
    dataset.SetVoConnection(&connection);
    dataset.SQL() = {kQuery};
    fresh_best = std::min(fresh_best, ThroughDataset(dataset, fresh_rows));
    again_best = std::min(again_best, ThroughDataset(dataset, again_rows));
  }
  std::filesystem::remove_all(folder);

  std::printf("engine alone:                 %d rows in %.3f s\n", engine_rows, engine_best);
  std::printf("through TVoQueryDataSet:      %d rows in %.3f s (%.2f x the engine)\n", fresh_rows,
              fresh_best, fresh_best / engine_best);
  std::printf("again, previous rows removed: %d rows in %.3f s (%.2f x the engine)\n", again_rows,
              again_best, again_best / engine_best);
  return engine_rows == kRows && fresh_rows == kRows && again_rows == kRows ? 0 : 1;
}

// Runs one benchmark workload on the engine, the way the program does: a new
// engine connected to the project folder, the batch executed, the result
// touched (rows counted, check columns summed). With --warm the tables are
// opened first by a warm-up SELECT and the statement alone is timed in-process.
// With --table-memory it loads t and reports the memory the loaded table takes
// against its file's size.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/vekSQL.h"
#include "workloads.h"

namespace {

struct Usage {
  double wall = 0, user = 0, sys = 0;
};

double Seconds(const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; }

Usage Now() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  Usage u;
  u.wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  u.user = Seconds(ru.ru_utime);
  u.sys = Seconds(ru.ru_stime);
  return u;
}

// Runs a batch; exits with the engine's error text when it fails.
int Execute(vek::TvekSQL& engine, const std::string& sql) {
  int n = engine.ExecuteSQL(sql);
  if (n == 0) {
    std::fprintf(stderr, "bench_orlenda: %s\n  in: %s\n", vek::TvekSQL::GetLastError().c_str(),
                 sql.c_str());
    std::exit(1);
  }
  return n;
}

// Prints the answer line the cross-engine check reads: the row count and the
// full-precision sums of the check columns (the check rounds them).
void PrintAnswer(vek::TvekSQL& engine, int set_number, const bench::Workload& w) {
  if (w.output != bench::Output::kRows) return;
  vek::TvekRecordSet* set = set_number > 0 ? engine.GetRecordSet(set_number) : nullptr;
  if (set == nullptr) {
    std::fprintf(stderr, "bench_orlenda: %s gave no result set\n", w.id);
    std::exit(1);
  }
  std::vector<double> sums(w.sum_columns.size(), 0.0);
  for (const vek::TvekRecord& record : set->Records) {
    for (std::size_t i = 0; i < sums.size(); ++i) {
      sums[i] += std::strtod(std::string(record.Cell(w.sum_columns[i])).c_str(), nullptr);
    }
  }
  std::printf("answer rows=%d", set->RecordCount());
  for (double s : sums) std::printf(" sum=%.17g", s);
  std::printf("\n");
}

[[noreturn]] void UsageExit() {
  std::fprintf(stderr,
               "usage: bench_orlenda --folder DIR --query Qn [--warm]\n"
               "       bench_orlenda --folder DIR --table-memory\n");
  std::exit(2);
}

// The process's resident memory in bytes, after the allocator has given back
// what it holds free (the buffers of a scan's threads, for one).
double ResidentBytes() {
  ::malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  double pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

// Opens a table the way a statement that changes it does (its rows read into
// memory) and sets a SELECT's pending table in memory: a second SELECT reads
// the rows of a table the first one only scanned.
void OpenTable(vek::TvekSQL& engine, const std::string& column, const std::string& table) {
  for (int i = 0; i < 2; ++i) Execute(engine, "SELECT count(" + column + ") AS n FROM " + table);
}

// Loads t and prints its file's size, the memory the loaded table added to the
// process, and their ratio.
int TableMemory(const std::string& folder) {
  vek::TvekSQL engine;
  Execute(engine, "CONNECT TO '" + folder + "'");
  const double file = static_cast<double>(std::filesystem::file_size(folder + "/t.txt"));
  const double before = ResidentBytes();
  OpenTable(engine, "id", "t");
  const double after = ResidentBytes();
  std::printf("table t: file %.0f bytes, loaded table %.0f bytes, %.2f times the file\n", file,
              after - before, (after - before) / file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--folder" && std::string(argv[3]) == "--table-memory") {
    return TableMemory(argv[2]);
  }
  bench::RunnerArgs args;
  // Workloads through the dataset layer are bench_dataset_q7's.
  if (!bench::ParseRunnerArgs(argc, argv, args) || args.workload->through_dataset != nullptr) {
    UsageExit();
  }
  const bench::Workload* w = args.workload;

  vek::TvekSQL engine;
  Execute(engine, "CONNECT TO '" + args.folder + "'");
  if (args.warm) {
    // Opens the tables the statement reads; they stay open in this engine.
    OpenTable(engine, "id", "t");
    if (w->reads_g) OpenTable(engine, "grp", "g");
    Usage before = Now();
    int n = Execute(engine, w->orlenda);
    Usage after = Now();
    PrintAnswer(engine, n, *w);
    std::printf("warm wall=%.6f user=%.6f sys=%.6f\n", after.wall - before.wall,
                after.user - before.user, after.sys - before.sys);
  } else {
    PrintAnswer(engine, Execute(engine, w->orlenda), *w);
  }
  return 0;
}

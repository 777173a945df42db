// Runs one benchmark workload on the engine, the way the program does: a new
// engine connected to the project folder, the batch executed, the result
// touched (rows counted, check columns summed). With --warm the tables are
// opened first by a warm-up SELECT and the statement alone is timed in-process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
  std::fprintf(stderr, "usage: bench_orlenda --folder DIR --query Qn [--warm]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
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
    Execute(engine, "SELECT count(id) AS n FROM t");
    if (w->reads_g) Execute(engine, "SELECT count(grp) AS n FROM g");
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

// IMPORT TABLE(S) measured against the servers' own exports: a table of N rows
// and 8 columns in a local PostgreSQL and a local MariaDB (both started here,
// on 127.0.0.1, in short temporary folders, and stopped at the end), written to
// a text file by the program's streaming import and, in the same run, by
// psql's \copy and by the mariadb client. Each import runs in a child process
// of its own, so that its peak memory is its own: run two sizes to see that
// it does not grow with the row count.
//
//   import_bench [--rows N[,N...]] [--reps R]
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExternalConnection.h"
#include "TableImport.h"
#include "bench_util.h"
#include "external_servers.h"

namespace {

using namespace app_testing;

using bench::SecondsSince;

struct Outcome {
  double seconds = -1;
  long peak_kb = 0;
  int status = -1;
};

// Runs argv to its end; wall time and the child's peak resident memory.
Outcome Measure(const std::vector<std::string>& argv, const std::string& log, RunAs as = {}) {
  Outcome o;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(argv, log, as);
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    o.seconds = SecondsSince(start);
    o.peak_kb = usage.ru_maxrss;
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return o;
}

// The child: one import of `table` through the protocol, to `file`.
int ImportOnce(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  app::ExternalConnection connection("bench");
  app::ConnectionParameters p;
  p.protocol = argv[2];
  p.host = "127.0.0.1";
  p.port = std::atoi(argv[3]);
  p.database = argv[4];
  p.user = argv[5];
  connection.SetParameters(p);
  try {
    connection.Connect();
    // As the import does it.
    const long long rows = app::OpenTableRows(connection, argv[6])->WriteTo(argv[7]);
    std::printf("%lld rows\n", rows);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import failed: %s\n", e.what());
    return 1;
  }
  return 0;
}

long FileSize(const std::string& file) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  return ec ? -1 : static_cast<long>(size);
}

long Lines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  long lines = 0;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    lines += std::count(buffer, buffer + in.gcount(), '\n');
  }
  return lines;
}

// One line of the table; a run that failed or wrote another number of lines
// than `lines` is marked FAILED and fails the benchmark.
bool Row(const char* server, long rows, const char* tool, const Outcome& o, const std::string& file,
         long lines) {
  const bool ok = o.status == 0 && Lines(file) == lines;
  std::printf("| %s | %ld | %s | %.2f | %ld | %.1f |%s\n", server, rows, tool, o.seconds,
              o.peak_kb / 1024, FileSize(file) / 1048576.0, ok ? "" : " FAILED");
  std::fflush(stdout);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 8 && std::strcmp(argv[1], "--import") == 0) return ImportOnce(argc, argv);
  std::vector<long> sizes = {1000000};
  int reps = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rows") == 0) {
      sizes.clear();
      for (const char* p = argv[i + 1]; *p != '\0';) {
        char* end = nullptr;
        sizes.push_back(std::strtol(p, &end, 10));
        p = *end == ',' ? end + 1 : end;
      }
    } else if (std::strcmp(argv[i], "--reps") == 0) {
      reps = std::atoi(argv[i + 1]);
    }
  }
  QCoreApplication application(argc, argv);
  const std::string self = "/proc/self/exe";
  char exe[4096] = {};
  if (readlink(self.c_str(), exe, sizeof exe - 1) < 0) return 1;

  PostgresServer pg;
  MariaDbServer maria;
  if (!pg.StartError().empty() || !maria.StartError().empty()) {
    std::fprintf(stderr, "servers: %s %s\n", pg.StartError().c_str(), maria.StartError().c_str());
    return 1;
  }
  ShortFolder out;
  if (chmod(out.Path().c_str(), 0777) != 0) return 1;
  std::printf(
      "| server | rows | tool | seconds | peak MB | file MB |\n|---|---|---|---|---|---|\n");
  bool ok = true;
  for (long n : sizes) {
    const std::string table = std::string("t").append(std::to_string(n));
    const std::string rows = std::to_string(n);
    std::string error =
        Execute("QPSQL", "127.0.0.1", pg.Port(), "postgres", "postgres",
                {"CREATE TABLE " + table +
                 " AS SELECT i::bigint AS id, i % 100 AS grp, "
                 "(ARRAY['alpha','beta','gamma','delta'])[i % 4 + 1] AS cat, "
                 "('name ' || i)::varchar(40) AS name, 'city' || (i % 1000) AS city, "
                 "round((i % 10000)::numeric / 1.37, 2)::numeric(12,2) AS amount, i % 50 AS qty, "
                 "date '2020-01-01' + (i % 1000) AS dt FROM generate_series(1, " +
                 rows + ") i"});
    if (error.empty()) {
      error = Execute("QMYSQL", "127.0.0.1", maria.Port(), "", "root",
                      {"CREATE DATABASE IF NOT EXISTS bench",
                       std::string("CREATE TABLE bench.") + table +
                           " AS SELECT seq AS id, seq % 100 AS grp, "
                           "ELT(seq % 4 + 1, 'alpha','beta','gamma','delta') AS cat, "
                           "CAST(CONCAT('name ', seq) AS CHAR(40)) AS name, "
                           "CONCAT('city', seq % 1000) AS city, "
                           "CAST(ROUND((seq % 10000) / 1.37, 2) AS DECIMAL(12,2)) AS amount, "
                           "seq % 50 AS qty, DATE_ADD('2020-01-01', INTERVAL seq % 1000 DAY) AS dt "
                           "FROM bench.seq_1_to_" +
                           rows});
    }
    if (!error.empty()) {
      std::fprintf(stderr, "setup: %s\n", error.c_str());
      return 1;
    }
    const std::string log = out.Path() + "/log";
    for (int r = 0; r < reps; ++r) {
      const std::string pg_copy = out.Path() + "/pg_copy.txt";
      ok &= Row("PostgreSQL", n, "psql \\copy",
                Measure({std::string(PostgresServer::kBin) + "psql", "-q", "-h", "127.0.0.1", "-p",
                         std::to_string(pg.Port()), "-U", "postgres", "-d", "postgres", "-c",
                         "\\copy " + table + " to '" + pg_copy + "'"},
                        log, UserForServer("postgres")),
                pg_copy, n);
      const std::string pg_import = out.Path() + "/pg_import.txt";
      ok &= Row("PostgreSQL", n, "IMPORT TABLE(S)",
                Measure({exe, "--import", "postgresql", std::to_string(pg.Port()), "postgres",
                         "postgres", table, pg_import},
                        log),
                pg_import, n + 1);
      const std::string my_export = out.Path() + "/maria_export.txt";
      ok &= Row("MariaDB", n, "mariadb -e",
                Measure({"sh", "-c",
                         "mariadb --no-defaults -h 127.0.0.1 -P " + std::to_string(maria.Port()) +
                             " -u root -N -B --quick -e 'SELECT * FROM bench." + table + "' > " +
                             my_export},
                        log),
                my_export, n);
      const std::string my_import = out.Path() + "/maria_import.txt";
      ok &= Row("MariaDB", n, "IMPORT TABLE(S)",
                Measure({exe, "--import", "mysql-5", std::to_string(maria.Port()), "bench", "root",
                         table, my_import},
                        log),
                my_import, n + 1);
    }
  }
  return ok ? 0 : 1;
}

// The benchmark's workloads: each in the engine's dialect and translated for
// every peer (sqlite3 over all-text columns, DuckDB typed and all-varchar), with
// what the cross-engine check compares. Kept side by side so a reader can see
// that every engine does the same work.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// What a workload leaves behind for the check.
enum class Output {
  kRows,        // a result set: row count and the sums of `sum_columns`
  kSortedFile,  // Q3: the sorted table written to a file
  kRewrittenT,  // Q5: t.txt rewritten, compared byte for byte with a reference
};

struct Workload {
  const char* id;
  Output output;
  // Result columns (0-based) summed for the check; for kRows only.
  std::vector<int> sum_columns;
  // Whether the workload reads g.txt besides t.txt.
  bool reads_g;
  // The batch in the engine's dialect.
  const char* orlenda;
  // The peers' statements. "{out}" stands for the output file of Q3 and Q5.
  // sqlite3 sees every column as text: numbers compare as numbers only once
  // cast, as the engine does when a text meets a number.
  const char* sqlite;
  // Q5 on the read-only csvtable module: the rewritten table written by one
  // SELECT; empty when `sqlite` serves both sqlite3 variants.
  const char* sqlite_readonly;
  // DuckDB statements separated by "\n", typed columns and all-varchar ones.
  const char* duck_typed;
  const char* duck_varchar;
  // Set on a workload that runs another's batch through TVoQueryDataSet, the
  // way the program runs a query (Orlenda only: the peers have no dataset
  // layer): the id of that workload, whose answer this one must equal.
  const char* through_dataset = nullptr;
};

// Q7a and Q7b: Q1 and Q2 run through TVoQueryDataSet (bench_dataset_q7), for
// comparison with Q1 and Q2 on the engine alone.
inline const std::vector<Workload>& Workloads() {
  static const std::vector<Workload> kWorkloads = [] {
    std::vector<Workload> list = {
        {"Q0",
         Output::kRows,
         {0},
         false,
         "SELECT count(id) AS n FROM t",
         "SELECT count(id) AS n FROM t;",
         "",
         "SELECT count(id) AS n FROM t",
         "SELECT count(id) AS n FROM t"},
        {"Q1",
         Output::kRows,
         {0, 2},
         false,
         "SELECT id, name, amount FROM t WHERE amount > 9900 AND cat = 'delta'",
         "SELECT id, name, amount FROM t WHERE CAST(amount AS REAL) > 9900 AND cat = 'delta';",
         "",
         "SELECT id, name, amount FROM t WHERE amount > 9900 AND cat = 'delta'",
         "SELECT id, name, amount FROM t WHERE CAST(amount AS DOUBLE) > 9900 AND cat = 'delta'"},
        {"Q2",
         Output::kRows,
         {1, 2},
         false,
         "SELECT grp, count(id) AS n, sum(amount) AS s FROM t GROUP BY grp",
         "SELECT grp, count(id) AS n, sum(amount) AS s FROM t GROUP BY grp;",
         "",
         "SELECT grp, count(id) AS n, sum(amount) AS s FROM t GROUP BY grp",
         "SELECT grp, count(id) AS n, sum(CAST(amount AS DOUBLE)) AS s FROM t GROUP BY grp"},
        {"Q3",
         Output::kSortedFile,
         {},
         false,
         "ASSIGN TO sorted SELECT id, name, city FROM t ORDER BY name; SAVE TABLE sorted",
         ".headers on\n.once {out}\nSELECT id, name, city FROM t ORDER BY name;",
         "",
         "COPY (SELECT id, name, city FROM t ORDER BY name) TO '{out}' (HEADER, DELIMITER ';')",
         "COPY (SELECT id, name, city FROM t ORDER BY name) TO '{out}' (HEADER, DELIMITER ';')"},
        {"Q4",
         Output::kRows,
         {1, 2},
         true,
         "SELECT g.region, count(t.id) AS n, sum(t.amount) AS s FROM t, g WHERE t.grp = g.grp "
         "GROUP BY g.region",
         "SELECT g.region, count(t.id) AS n, sum(t.amount) AS s FROM t, g WHERE t.grp = g.grp "
         "GROUP BY g.region;",
         "",
         "SELECT g.region, count(t.id) AS n, sum(t.amount) AS s FROM t, g WHERE t.grp = g.grp "
         "GROUP BY g.region",
         "SELECT g.region, count(t.id) AS n, sum(CAST(t.amount AS DOUBLE)) AS s FROM t, g "
         "WHERE t.grp = g.grp GROUP BY g.region"},
        {"Q5",
         Output::kRewrittenT,
         {},
         false,
         "UPDATE t SET qty = qty + 1 WHERE cat = 'alpha'; COMMIT",
         "UPDATE t SET qty = qty + 1 WHERE cat = 'alpha';\n.headers on\n.once {out}\n"
         "SELECT * FROM t;",
         ".headers on\n.once {out}\nSELECT id, grp, cat, name, city, amount, "
         "CASE WHEN cat = 'alpha' THEN qty + 1 ELSE qty END AS qty, dt FROM t;",
         "UPDATE t SET qty = qty + 1 WHERE cat = 'alpha'\n"
         "COPY t TO '{out}' (HEADER, DELIMITER ';')",
         "UPDATE t SET qty = CAST(CAST(qty AS INTEGER) + 1 AS VARCHAR) WHERE cat = 'alpha'\n"
         "COPY t TO '{out}' (HEADER, DELIMITER ';')"},
        {"Q6",
         Output::kRows,
         {0},
         true,
         "SELECT id FROM t WHERE grp IN (select grp from g where region = 'r03')",
         "SELECT id FROM t WHERE grp IN (SELECT grp FROM g WHERE region = 'r03');",
         "",
         "SELECT id FROM t WHERE grp IN (SELECT grp FROM g WHERE region = 'r03')",
         "SELECT id FROM t WHERE grp IN (SELECT grp FROM g WHERE region = 'r03')"},
    };
    // The batch and the check of the engine workload; no peer statements.
    for (auto [id, base] : {std::pair{"Q7a", "Q1"}, std::pair{"Q7b", "Q2"}}) {
      std::string base_id = base;
      Workload w = *std::find_if(list.begin(), list.end(),
                                 [&base_id](const Workload& x) { return x.id == base_id; });
      w.id = id;
      w.sqlite = w.sqlite_readonly = w.duck_typed = w.duck_varchar = "";
      w.through_dataset = base;
      list.push_back(w);
    }
    return list;
  }();
  return kWorkloads;
}

// nullptr when no workload has that id.
inline const Workload* FindWorkload(const std::string& id) {
  for (const Workload& w : Workloads()) {
    if (id == w.id) return &w;
  }
  return nullptr;
}

// The command line of the Orlenda runners: --folder DIR --query Qn [--warm].
struct RunnerArgs {
  std::string folder;
  const Workload* workload = nullptr;
  bool warm = false;
};

// False on an unknown or incomplete argument, no folder, or no such workload.
inline bool ParseRunnerArgs(int argc, char** argv, RunnerArgs& args) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--warm") {
      args.warm = true;
    } else if (arg == "--folder" && i + 1 < argc) {
      args.folder = argv[++i];
    } else if (arg == "--query" && i + 1 < argc) {
      args.workload = FindWorkload(argv[++i]);
    } else {
      return false;
    }
  }
  return !args.folder.empty() && args.workload != nullptr;
}

}  // namespace bench

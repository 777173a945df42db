// Runs the benchmark side by side: every workload on Orlenda and on each peer
// present (sqlite3 with csvtable, the sqlite3 shell with .import, DuckDB through
// Node.js), cold (one process per query) and warm (the statement alone), checks
// that all engines agree, and prints one table per mode with the ratios; with
// --results, keeps the medians per size and prints the cost per extra row
// against every other size kept. Exits 1 when an engine fails or the answers
// disagree; never on a time.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench_answers.h"
#include "bench_process.h"
#include "workloads.h"

namespace fs = std::filesystem;
using bench::Output;
using bench::Workload;

namespace {

// Bumped whenever bench_gen's output changes, so cached data is regenerated.
constexpr const char* kDataStamp = "bench_gen v1";
// glibc's tunable that puts its heap on transparent huge pages, for the peers'
// twin runs (--peer-hugepages). Orlenda never gets it: the engine advises its
// own large blocks, so it runs as the program does.
constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kHugePageHeap = "glibc.malloc.hugetlb=1";

// kOrlendaDataset runs the workloads that go through TVoQueryDataSet, and only
// those; every other engine runs all the rest.
enum class Kind { kOrlenda, kOrlendaDataset, kCsvtable, kImport, kDuck };

struct Engine {
  std::string label;
  Kind kind;
  bool pinned;                 // run on one core
  bool typed;                  // DuckDB: typed columns, else all_varchar
  bool hugepage_heap = false;  // a peer run with kHugePageHeap
};

struct Options {
  long rows = 100000;
  std::string data, work, node_prefix, csvtable, queries, results;
  int reps = 5;
  int cpu = -1;
  int timeout = 900;
  bool smoke = false, warm = true, duckdb = true, peer_hugepages = false;
};

struct Sample {
  bool ok = false;
  std::string failure;
  std::string answer;
  bench::ChildResult child;
  bench::WarmTime warm;
};

const Options* g_options = nullptr;
std::string g_tools;  // the folder holding bench_gen and the Orlenda runners

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "bench_run: %s\n", message.c_str());
  std::exit(1);
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  for (std::string_view dir : bench::Split(path, ':')) {
    if (access((std::string(dir) + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Runs a helper process to completion (unmeasured); dies when it fails.
void RunStep(const std::vector<std::string>& argv, const std::string& stdout_file) {
  bench::ChildCommand command;
  command.argv = argv;
  command.stdout_file = stdout_file;
  command.stderr_file = g_options->work + "/step.err";
  command.timeout_seconds = 3600;
  bench::ChildResult r = bench::RunChild(command);
  if (!r.ok) Die(argv[0] + ": " + r.failure);
}

// Generates the data unless the folder already holds it for this size, and the
// Q5 reference: t.txt with qty + 1 on the 'alpha' rows, written by awk, which
// shares nothing with the engines.
void EnsureData(const Options& o) {
  std::string stamp = std::string(kDataStamp) + " rows=" + std::to_string(o.rows) + "\n";
  std::string stamp_file = o.data + "/stamp.txt";
  if (bench::ReadFile(stamp_file) == stamp && fs::exists(o.data + "/t.q5ref.txt")) return;
  std::fprintf(stderr, "Generating %ld rows into %s\n", o.rows, o.data.c_str());
  fs::remove(stamp_file);
  fs::create_directories(o.data);
  RunStep({g_tools + "/bench_gen", "--rows", std::to_string(o.rows), "--out", o.data},
          o.work + "/step.out");
  RunStep({"awk", "BEGIN { FS = OFS = \";\" } NR > 1 && $3 == \"alpha\" { $7 = $7 + 1 } { print }",
           o.data + "/t.txt"},
          o.data + "/t.q5ref.txt");
  std::ofstream(stamp_file) << stamp;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// ---- One run of one workload on one engine ---------------------------------

std::string SqliteScript(const Engine& e, const Workload& w, bool warm, const std::string& out) {
  const std::string& data = g_options->data;
  std::string script;
  if (e.kind == Kind::kCsvtable) {
    script = ".load " + g_options->csvtable + "\n";
    script += "CREATE VIRTUAL TABLE t USING csvtable('" + data + "/t.txt', 1, ';');\n";
    if (w.reads_g)
      script += "CREATE VIRTUAL TABLE g USING csvtable('" + data + "/g.txt', 1, ';');\n";
  } else {
    // .import into a new table: every column TEXT, named from the header line.
    script = ".mode csv\n.separator ;\n.import \"" + data + "/t.txt\" t\n";
    if (w.reads_g) script += ".import \"" + data + "/g.txt\" g\n";
  }
  script += ".mode list\n.separator ;\n";
  if (warm) script += ".timer on\n";
  const char* body = e.kind == Kind::kCsvtable && *w.sqlite_readonly ? w.sqlite_readonly : w.sqlite;
  return script + Replace(body, "{out}", out) + "\n";
}

std::string DuckSource(const std::string& file, bool typed, bool is_t) {
  std::string source = "read_csv('" + g_options->data + "/" + file + "', delim=';', header=true, ";
  if (!typed) return source + "all_varchar=true)";
  if (is_t) {
    return source +
           "columns={'id': 'BIGINT', 'grp': 'VARCHAR', 'cat': 'VARCHAR', 'name': 'VARCHAR', "
           "'city': 'VARCHAR', 'amount': 'DECIMAL(6,2)', 'qty': 'INTEGER', 'dt': 'DATE'})";
  }
  return source +
         "columns={'grp': 'VARCHAR', 'region': 'VARCHAR', 'manager': 'VARCHAR', "
         "'budget': 'INTEGER'})";
}

std::string DuckRequest(const Engine& e, const Workload* w, bool warm, const std::string& out) {
  std::vector<std::string> setup, statements;
  if (w != nullptr) {
    // Cold queries read the file in place; warm ones and the UPDATE work on a
    // table loaded into DuckDB first.
    std::string kind = warm || w->output == Output::kRewrittenT ? "TABLE" : "VIEW";
    setup.push_back("CREATE " + kind + " t AS SELECT * FROM " + DuckSource("t.txt", e.typed, true));
    if (w->reads_g) {
      setup.push_back("CREATE " + kind + " g AS SELECT * FROM " +
                      DuckSource("g.txt", e.typed, false));
    }
    std::string body = Replace(e.typed ? w->duck_typed : w->duck_varchar, "{out}", out);
    for (std::string_view s : bench::Split(body, '\n')) statements.emplace_back(s);
  }
  auto list = [](const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? "," : "") + JsonString(items[i]);
    return text + "]";
  };
  std::string sums = "null";
  if (w != nullptr && w->output == Output::kRows) {
    sums = "[";
    for (std::size_t i = 0; i < w->sum_columns.size(); ++i) {
      sums += (i ? "," : "") + std::to_string(w->sum_columns[i]);
    }
    sums += "]";
  }
  return std::string("{\"threads\":") + (e.pinned ? "\"1\"" : "\"\"") +
         ",\"setup\":" + list(setup) + ",\"statements\":" + list(statements) + ",\"sums\":" + sums +
         ",\"warm\":" + (warm ? "true" : "false") + "}";
}

std::string DuckScript() { return fs::path(BENCH_SOURCE_DIR) / "duckdb_run.js"; }

// What is wrong with an answer that agreement alone would not catch (every
// engine could be wrong alike); empty when nothing is.
std::string WrongAnswer(const Workload& w, const std::string& answer) {
  std::string all_rows = "rows=" + std::to_string(g_options->rows) + " ";
  switch (w.output) {
    case Output::kRows:
      if (w.id == std::string("Q0") &&
          answer != "rows=1 sums=" + std::to_string(g_options->rows) + ".00") {
        return answer;
      }
      return "";
    case Output::kSortedFile:
      if (answer.find(all_rows) == std::string::npos || !answer.ends_with(" ascending"))
        return answer;
      return "";
    case Output::kRewrittenT:
      return answer.rfind("identical", 0) == 0 ? "" : answer;
  }
  return "";
}

Sample RunOnce(const Engine& e, const Workload& w, bool warm) {
  const Options& o = *g_options;
  std::string scratch = o.work + "/run";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  std::string out = scratch + "/out.txt";

  bench::ChildCommand command;
  command.stdout_file = o.work + "/child.out";
  command.stderr_file = o.work + "/child.err";
  command.cpu = e.pinned ? o.cpu : -1;
  command.timeout_seconds = o.timeout;
  switch (e.kind) {
    case Kind::kOrlenda: {
      // Statements that write work in a folder of their own: Q3 adds sorted.txt
      // beside links to the data, Q5 rewrites a copy of t.txt.
      std::string folder = o.data;
      if (w.output != Output::kRows) {
        folder = scratch;
        for (const char* name : {"t.txt", "g.txt"}) {
          if (w.output == Output::kRewrittenT) {
            fs::copy_file(o.data + "/" + name, scratch + "/" + name);
          } else {
            fs::create_symlink(o.data + "/" + name, scratch + "/" + name);
          }
        }
        out = scratch + (w.output == Output::kSortedFile ? "/sorted.txt" : "/t.txt");
      }
      command.argv = {g_tools + "/bench_orlenda", "--folder", folder, "--query", w.id};
      if (warm) command.argv.push_back("--warm");
      break;
    }
    case Kind::kOrlendaDataset:
      command.argv = {g_tools + "/bench_dataset_q7", "--folder", o.data, "--query", w.id};
      break;
    case Kind::kCsvtable:
    case Kind::kImport:
      command.stdin_file = scratch + "/script.sql";
      std::ofstream(command.stdin_file) << SqliteScript(e, w, warm, out);
      command.argv = {"sqlite3", "-batch", ":memory:"};
      break;
    case Kind::kDuck:
      command.argv = {"node", DuckScript(), o.node_prefix, DuckRequest(e, &w, warm, out)};
      break;
  }
  if (e.hugepage_heap) command.env.emplace_back(kTunables, kHugePageHeap);

  Sample s;
  s.child = bench::RunChild(command);
  if (!s.child.ok) {
    s.failure = s.child.failure;
    return s;
  }
  std::string output = bench::ReadFile(command.stdout_file);
  switch (w.output) {
    case Output::kRows:
      if (e.kind == Kind::kCsvtable || e.kind == Kind::kImport) {
        s.answer = bench::SummarizeShellRows(output, w.sum_columns);
      } else if (!bench::ParseAnswerLine(output, s.answer)) {
        s.failure = "printed no answer line";
        return s;
      }
      break;
    case Output::kSortedFile:
      s.answer = bench::DigestSortedFile(out);
      break;
    case Output::kRewrittenT:
      s.answer = bench::CompareWithReference(out, o.data + "/t.q5ref.txt");
      break;
  }
  std::string wrong = WrongAnswer(w, s.answer);
  if (!wrong.empty()) {
    s.failure = "wrong answer: " + wrong;
    return s;
  }
  if (warm && !bench::ParseWarmTime(output, s.warm)) {
    s.failure = "printed no warm time";
    return s;
  }
  fs::remove_all(scratch);
  s.ok = true;
  return s;
}

// ---- The report ----------------------------------------------------------------

// The successful runs of one engine on one workload in one mode: the run with
// the median wall time (cold: the process; warm: the statement) and the spread.
struct Runs {
  Sample median;
  double min_wall = 0, max_wall = 0;
  int count = 0;
};

struct Row {
  std::string workload;
  const Engine* engine;
  Runs runs;
  bool ok;
};

// One median kept for the cost per extra row between two sizes.
struct Kept {
  std::string mode, workload, engine;
  double wall = 0;
  long peak_kib = 0;
  bool pinned = true;  // this run only: read back from a file, it is not known
};

// Orlenda's row that a peer is compared with: the one-core run for a peer on
// one core, the all-core run for a peer on all cores.
const char* kOrlendaOneCore = "Orlenda";
const char* kOrlendaAllCores = "Orlenda, all cores";

// DuckDB's start-up runs, by what was started ("node + DuckDB instance, ...").
using Startups = std::map<std::string, std::vector<Sample>>;

bool RunsOn(const Engine& e, const Workload& w) {
  return (e.kind == Kind::kOrlendaDataset) == (w.through_dataset != nullptr);
}

double Wall(const Sample& s, bool warm) { return warm ? s.warm.wall : s.child.wall; }

// `samples` holds at least one run.
Runs Summarize(std::vector<Sample> samples, bool warm) {
  std::sort(samples.begin(), samples.end(),
            [&](const Sample& a, const Sample& b) { return Wall(a, warm) < Wall(b, warm); });
  return {samples[(samples.size() - 1) / 2], Wall(samples.front(), warm),
          Wall(samples.back(), warm), static_cast<int>(samples.size())};
}

std::string Cores(const Engine& e) {
  return e.pinned ? "1" : "all " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN));
}

std::string Fixed(double value, int decimals) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::string Spread(const Runs& r) { return Fixed(r.min_wall, 3) + "-" + Fixed(r.max_wall, 3); }

std::string StartupKey(const Engine& e) {
  return std::string("node + DuckDB instance, ") + (e.pinned ? "threads=1" : "default threads") +
         (e.hugepage_heap ? ", huge-page heap" : "");
}

// Samples Node.js alone and, for each DuckDB setting that runs `w`, Node.js
// with DuckDB loaded and an instance made but no query: what every cold DuckDB
// row pays before its query starts. Sampled between the engines' runs, so that
// it sees the same machine they do.
void SampleStartups(const std::vector<Engine>& engines, const Workload& w, Startups& startups) {
  const Options& o = *g_options;
  std::set<std::string> done;
  for (const Engine& e : engines) {
    if (e.kind != Kind::kDuck || !RunsOn(e, w)) continue;
    bench::ChildCommand command;
    command.stdout_file = o.work + "/child.out";
    command.stderr_file = o.work + "/child.err";
    command.timeout_seconds = o.timeout;
    if (done.insert("node").second) {
      command.cpu = o.cpu;
      command.argv = {"node", "-e", ""};
      Sample s;
      s.child = bench::RunChild(command);
      if ((s.ok = s.child.ok)) startups["node, empty script"].push_back(s);
    }
    const std::string key = StartupKey(e);
    if (!done.insert(key).second) continue;
    command.cpu = e.pinned ? o.cpu : -1;
    command.argv = {"node", DuckScript(), o.node_prefix, DuckRequest(e, nullptr, false, "")};
    if (e.hugepage_heap) command.env.emplace_back(kTunables, kHugePageHeap);
    Sample s;
    s.child = bench::RunChild(command);
    if ((s.ok = s.child.ok)) startups[key].push_back(s);
  }
}

// The median start-up wall time of `e`'s setting; 0 when none was measured.
double StartupWall(const Engine& e, const Startups& startups) {
  auto it = startups.find(StartupKey(e));
  if (it == startups.end() || it->second.empty()) return 0;
  return Summarize(it->second, false).median.child.wall;
}

// Runs every workload on every engine in one mode, prints its table, keeps its
// medians in `kept` and returns the number of failures and disagreements. Cold
// runs sample DuckDB's start-up into `startups`.
int RunMode(const std::vector<Engine>& engines, const std::vector<const Workload*>& workloads,
            bool warm, Startups& startups, std::vector<Kept>& kept) {
  const Options& o = *g_options;
  int problems = 0;
  std::vector<std::string> notes;
  std::vector<Row> rows;
  std::map<std::string, std::string> agreed;  // workload -> the answer all gave
  for (const Workload* w : workloads) {
    // Every dataset run reconnects and reads its tables afresh: no warm state.
    if (warm && w->through_dataset != nullptr) continue;
    std::map<const Engine*, std::vector<Sample>> samples;
    // Engines take turns within each repetition, so drift on a shared machine
    // touches them all alike.
    for (int rep = 0; rep < o.reps; ++rep) {
      for (const Engine& e : engines) {
        if (!RunsOn(e, *w)) continue;
        std::fprintf(stderr, "%s %s, %s ...", warm ? "warm" : "cold", w->id, e.label.c_str());
        Sample s = RunOnce(e, *w, warm);
        std::fprintf(stderr, " %s\n",
                     s.ok ? (std::to_string(Wall(s, warm)) + " s").c_str() : "FAILED");
        samples[&e].push_back(s);
      }
      if (!warm) SampleStartups(engines, *w, startups);
    }
    std::map<std::string, std::vector<std::string>> answers;  // answer -> engines
    for (const Engine& e : engines) {
      if (!RunsOn(e, *w)) continue;
      std::vector<Sample> good;
      for (const Sample& s : samples[&e]) {
        if (s.ok) {
          good.push_back(s);
          answers[s.answer].push_back(e.label);
        } else {
          notes.push_back(std::string("FAILED: ") + w->id + " on " + e.label + ": " + s.failure);
          ++problems;
        }
      }
      rows.push_back({w->id, &e, good.empty() ? Runs{} : Summarize(good, warm), !good.empty()});
    }
    if (answers.size() > 1) {
      ++problems;
      std::string text = std::string("DISAGREEMENT on ") + w->id + ":";
      for (const auto& [answer, who] : answers) {
        text += "\n    " + answer + "  <- ";
        for (std::size_t i = 0; i < who.size(); ++i) text += (i ? ", " : "") + who[i];
      }
      notes.push_back(text);
    } else if (!answers.empty() && w->through_dataset != nullptr) {
      // Only Orlenda runs it: its answer must be the engine workload's.
      const std::string& answer = answers.begin()->first;
      auto base = agreed.find(w->through_dataset);
      if (base == agreed.end()) {
        notes.push_back(std::string(w->id) + ": " + answer + " (" + w->through_dataset +
                        " gave no agreed answer to compare with)");
      } else if (base->second != answer) {
        ++problems;
        notes.push_back(std::string("DISAGREEMENT on ") + w->id + ": " + answer + " but " +
                        w->through_dataset + " gave " + base->second);
      } else {
        notes.push_back(std::string(w->id) + " agreed with " + w->through_dataset + ": " + answer);
      }
    } else if (!answers.empty()) {
      agreed[w->id] = answers.begin()->first;
      notes.push_back(std::string(w->id) + " agreed: " + answers.begin()->first);
    }
  }
  if (rows.empty()) return problems;

  std::printf("\n### %s, t.txt %ld rows, median of %d run%s (min-max); one core = CPU %d (%s)\n\n",
              warm ? "Warm (tables open, the statement alone)" : "Cold (one process per query)",
              o.rows, o.reps, o.reps == 1 ? "" : "s", o.cpu,
              warm ? "time measured inside the process; peak is the whole process"
                   : "wall, user, sys and peak of the whole process");
  std::printf(
      "| query | engine | cores | wall s | min-max s | user s | sys s | peak MB | peak / t.txt | "
      "Orlenda / peer |%s\n",
      warm ? "" : " start-up s | Orlenda / (peer - start-up) |");
  std::printf("|---|---|---|---:|---:|---:|---:|---:|---:|---:|%s\n", warm ? "" : "---:|---:|");
  std::map<std::string, double> orlenda_one, orlenda_all;
  for (const Row& r : rows) {
    if (r.engine->kind == Kind::kOrlenda && r.ok) {
      (r.engine->pinned ? orlenda_one : orlenda_all)[r.workload] = Wall(r.runs.median, warm);
    }
  }
  const double t_bytes = static_cast<double>(fs::file_size(o.data + "/t.txt"));
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("| %s | %s | %s | failed | | | | | | |%s\n", r.workload.c_str(),
                  r.engine->label.c_str(), Cores(*r.engine).c_str(), warm ? "" : " | |");
      continue;
    }
    const Sample& m = r.runs.median;
    const double wall = Wall(m, warm);
    const double user = warm ? m.warm.user : m.child.user;
    const double sys = warm ? m.warm.sys : m.child.sys;
    kept.push_back({warm ? "warm" : "cold", r.workload, r.engine->label, wall, m.child.peak_kib,
                    r.engine->pinned});
    std::string ratio, startup, ratio_less_startup;
    const Workload* w = bench::FindWorkload(r.workload);
    // Without its all-core run Orlenda has no figure to set beside an all-core peer.
    std::map<std::string, double>& orlenda_wall = r.engine->pinned ? orlenda_one : orlenda_all;
    const bool has_orlenda = orlenda_wall.count(r.workload) != 0;
    if (r.engine->kind == Kind::kOrlenda && !r.engine->pinned) {
      // Against Orlenda's one-core run.
      if (orlenda_one.count(r.workload) && orlenda_one[r.workload] > 0) {
        ratio = Fixed(wall / orlenda_one[r.workload], 2) + " x 1 core";
      }
    } else if (r.engine->kind == Kind::kOrlendaDataset) {
      // Against Orlenda's own engine-only run of the same batch.
      if (orlenda_wall.count(w->through_dataset) && orlenda_wall[w->through_dataset] > 0) {
        ratio = Fixed(wall / orlenda_wall[w->through_dataset], 2) + " x " + w->through_dataset;
      }
    } else if (r.engine->kind != Kind::kOrlenda && has_orlenda && wall > 0) {
      ratio = Fixed(orlenda_wall[r.workload] / wall, 2);
    }
    if (!warm && r.engine->kind == Kind::kDuck) {
      // The same ratio with DuckDB's start-up taken out: what the query itself
      // costs once Node.js and the library are loaded.
      const double start = StartupWall(*r.engine, startups);
      if (start > 0) {
        startup = Fixed(start, 3);
        if (has_orlenda && wall > start) {
          ratio_less_startup = Fixed(orlenda_wall[r.workload] / (wall - start), 2);
        }
      }
    }
    std::printf("| %s | %s | %s | %.3f | %s | %.3f | %.3f | %.0f | %.2f | %s |", r.workload.c_str(),
                r.engine->label.c_str(), Cores(*r.engine).c_str(), wall, Spread(r.runs).c_str(),
                user, sys, m.child.peak_kib / 1024.0, m.child.peak_kib * 1024.0 / t_bytes,
                ratio.c_str());
    if (!warm) std::printf(" %s | %s |", startup.c_str(), ratio_less_startup.c_str());
    std::printf("\n");
  }
  std::printf("\n");
  for (const std::string& note : notes) std::printf("%s\n", note.c_str());
  std::fflush(stdout);
  return problems;
}

void PrintStartups(const Startups& startups) {
  if (startups.empty()) return;
  std::printf(
      "\n### DuckDB start-up (part of every cold DuckDB row), sampled between the cold runs; "
      "median (min-max)\n\n");
  std::printf(
      "| what | cores | runs | wall s | min-max s | user s | sys s | peak MB |\n"
      "|---|---|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& [what, samples] : startups) {
    if (samples.empty()) continue;
    const Runs r = Summarize(samples, false);
    const bool all_cores = what.find("default threads") != std::string::npos;
    std::printf("| %s | %s | %d | %.3f | %s | %.3f | %.3f | %.0f |\n", what.c_str(),
                all_cores ? ("all " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN))).c_str() : "1",
                r.count, r.median.child.wall, Spread(r).c_str(), r.median.child.user,
                r.median.child.sys, r.median.child.peak_kib / 1024.0);
  }
}

// ---- Cost per extra row between two sizes ------------------------------------

using KeptTable = std::map<std::string, Kept>;  // mode|workload|engine -> median

std::string KeptKey(const std::string& mode, const std::string& workload,
                    const std::string& engine) {
  return mode + "|" + workload + "|" + engine;
}

std::string KeptFile(long rows) { return g_options->results + "/" + std::to_string(rows) + ".tsv"; }

void WriteKept(const std::vector<Kept>& kept) {
  std::ofstream out(KeptFile(g_options->rows), std::ios::trunc);
  for (const Kept& k : kept) {
    out << k.mode << '\t' << k.workload << '\t' << k.engine << '\t' << Fixed(k.wall, 6) << '\t'
        << k.peak_kib << '\n';
  }
  if (!out) Die("cannot write " + KeptFile(g_options->rows));
}

KeptTable ReadKept(long rows) {
  KeptTable table;
  std::ifstream in(KeptFile(rows));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string_view> f = bench::Split(line, '\t');
    if (f.size() != 5) continue;
    Kept k{std::string(f[0]), std::string(f[1]), std::string(f[2]), bench::Number(f[3]),
           std::strtol(std::string(f[4]).c_str(), nullptr, 10)};
    table[KeptKey(k.mode, k.workload, k.engine)] = k;
  }
  return table;
}

// The sizes other than this run's with medians kept in the results folder.
std::vector<long> OtherKeptSizes() {
  std::vector<long> sizes;
  for (const auto& entry : fs::directory_iterator(g_options->results)) {
    const std::string stem = entry.path().stem();
    if (entry.path().extension() != ".tsv" || stem.empty() ||
        !std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const long rows = std::stol(stem);
    if (rows != g_options->rows) sizes.push_back(rows);
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

// What one more row costs each engine between two sizes: the difference of the
// medians divided by the difference of the rows (start-up cancels out), and
// Orlenda's cost per extra row divided by the peer's.
void PrintCostPerRow(const std::vector<Kept>& order, long other_rows) {
  const long small = std::min(other_rows, g_options->rows);
  const long large = std::max(other_rows, g_options->rows);
  const KeptTable at_small = ReadKept(small), at_large = ReadKept(large);
  for (const char* mode : {"cold", "warm"}) {
    auto ns_per_row = [&](const std::string& workload, const std::string& engine, double& ns) {
      auto a = at_small.find(KeptKey(mode, workload, engine));
      auto b = at_large.find(KeptKey(mode, workload, engine));
      if (a == at_small.end() || b == at_large.end()) return false;
      ns = (b->second.wall - a->second.wall) / static_cast<double>(large - small) * 1e9;
      return true;
    };
    bool head = false;
    for (const Kept& k : order) {
      double ns = 0;
      if (k.mode != mode || !ns_per_row(k.workload, k.engine, ns)) continue;
      if (!head) {
        std::printf(
            "\n### Cost per extra row, %ld to %ld rows (%s): the difference of the medians of "
            "the two runs divided by the extra rows\n\n",
            small, large, mode);
        std::printf(
            "| query | engine | wall s at %ld | wall s at %ld | ns per extra row | "
            "Orlenda / peer | peak MB at %ld | peak MB at %ld |\n",
            small, large, small, large);
        std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
        head = true;
      }
      const Kept& a = at_small.at(KeptKey(mode, k.workload, k.engine));
      const Kept& b = at_large.at(KeptKey(mode, k.workload, k.engine));
      std::string ratio;
      double orlenda_ns = 0;
      if (k.engine.rfind("Orlenda", 0) != 0 && ns > 0 &&
          ns_per_row(k.workload, k.pinned ? kOrlendaOneCore : kOrlendaAllCores, orlenda_ns)) {
        ratio = Fixed(orlenda_ns / ns, 2);
      }
      std::printf("| %s | %s | %.3f | %.3f | %.1f | %s | %.0f | %.0f |\n", k.workload.c_str(),
                  k.engine.c_str(), a.wall, b.wall, ns, ratio.c_str(), a.peak_kib / 1024.0,
                  b.peak_kib / 1024.0);
    }
  }
}

[[noreturn]] void UsageExit() {
  std::fprintf(stderr,
               "usage: bench_run --data DIR --work DIR [--rows N] [--reps R] [--smoke] "
               "[--no-warm] [--queries Q0,Q3] [--node-prefix DIR] [--no-duckdb] "
               "[--csvtable FILE.so] [--cpu C] [--timeout S] [--peer-hugepages] "
               "[--results DIR]\n"
               "  --smoke: one run each, Orlenda plus the sqlite3 variants already installed;\n"
               "           never DuckDB, never installs anything.\n"
               "  --peer-hugepages: each peer also runs with glibc's heap on huge pages.\n"
               "  --results DIR: keeps this size's medians in DIR/ROWS.tsv and prints the cost\n"
               "           per extra row against every other size kept there.\n");
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) UsageExit();
      return argv[++i];
    };
    if (arg == "--data")
      o.data = value();
    else if (arg == "--work")
      o.work = value();
    else if (arg == "--rows")
      o.rows = std::stol(value());
    else if (arg == "--reps")
      o.reps = std::max(1, std::stoi(value()));
    else if (arg == "--queries")
      o.queries = value();
    else if (arg == "--node-prefix")
      o.node_prefix = value();
    else if (arg == "--csvtable")
      o.csvtable = value();
    else if (arg == "--cpu")
      o.cpu = std::stoi(value());
    else if (arg == "--timeout")
      o.timeout = std::stoi(value());
    else if (arg == "--smoke")
      o.smoke = true;
    else if (arg == "--no-warm")
      o.warm = false;
    else if (arg == "--no-duckdb")
      o.duckdb = false;
    else if (arg == "--peer-hugepages")
      o.peer_hugepages = true;
    else if (arg == "--results")
      o.results = value();
    else
      UsageExit();
  }
  if (o.data.empty() || o.work.empty()) UsageExit();
  if (o.smoke) {
    o.reps = 1;
    o.duckdb = false;
  }
  if (o.cpu < 0) o.cpu = bench::FirstAllowedCpu();
  o.data = fs::absolute(o.data);
  o.work = fs::absolute(o.work);
  if (!o.node_prefix.empty()) o.node_prefix = fs::absolute(o.node_prefix);
  if (!o.results.empty()) o.results = fs::absolute(o.results);
  return o;
}

std::vector<Engine> FindEngines(const Options& o, std::vector<std::string>& skipped) {
  std::vector<Engine> engines = {
      {kOrlendaOneCore, Kind::kOrlenda, true, false},
      {kOrlendaAllCores, Kind::kOrlenda, false, false},
      {"Orlenda through TVoQueryDataSet", Kind::kOrlendaDataset, true, false}};
  bool sqlite = OnPath("sqlite3");
  if (sqlite && !o.csvtable.empty() && fs::exists(o.csvtable)) {
    engines.push_back({"sqlite3 + csvtable", Kind::kCsvtable, true, false});
  } else {
    skipped.push_back("sqlite3 + csvtable (needs sqlite3 and libsqlite3-mod-csvtable)");
  }
  if (sqlite) {
    engines.push_back({"sqlite3 .import", Kind::kImport, true, false});
  } else {
    skipped.push_back("sqlite3 .import (needs sqlite3)");
  }
  bool duck = o.duckdb && OnPath("node") && !o.node_prefix.empty() &&
              fs::exists(o.node_prefix + "/node_modules/@duckdb/node-api");
  if (duck) {
    engines.push_back({"DuckDB typed, threads=1", Kind::kDuck, true, true});
    engines.push_back({"DuckDB varchar, threads=1", Kind::kDuck, true, false});
    engines.push_back({"DuckDB typed, default threads", Kind::kDuck, false, true});
    engines.push_back({"DuckDB varchar, default threads", Kind::kDuck, false, false});
  } else {
    skipped.push_back("DuckDB (needs node and @duckdb/node-api under --node-prefix)");
  }
  if (o.peer_hugepages) {
    // A twin of every peer with the heap setting Orlenda does not need, so that
    // both figures are in the table.
    const std::size_t count = engines.size();
    for (std::size_t i = 0; i < count; ++i) {
      Engine twin = engines[i];
      if (twin.kind == Kind::kOrlenda || twin.kind == Kind::kOrlendaDataset) continue;
      twin.label += ", huge-page heap";
      twin.hugepage_heap = true;
      engines.push_back(twin);
    }
  }
  return engines;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  g_options = &options;
  // Every engine starts from the allocator's defaults, as a user's program does;
  // only the peers' huge-page twins set the tunable, each for itself.
  ::unsetenv(kTunables);
  g_tools = fs::canonical("/proc/self/exe").parent_path();
  fs::create_directories(options.work);
  EnsureData(options);

  // "Q7" names Q7a and Q7b; a workload through the dataset brings the engine
  // workload its answer is checked against.
  std::string queries = "," + options.queries + ",";
  auto named = [&](const std::string& id) {
    if (queries.find("," + id + ",") != std::string::npos) return true;
    bool variant = std::isalpha(static_cast<unsigned char>(id.back()));
    return variant && queries.find("," + id.substr(0, id.size() - 1) + ",") != std::string::npos;
  };
  std::vector<const Workload*> workloads;
  for (const Workload& w : bench::Workloads()) {
    bool wanted = options.queries.empty() || named(w.id);
    for (const Workload& other : bench::Workloads()) {
      if (other.through_dataset != nullptr && other.through_dataset == std::string(w.id) &&
          named(other.id)) {
        wanted = true;
      }
    }
    if (wanted) workloads.push_back(&w);
  }
  if (workloads.empty()) Die("no workload matches --queries " + options.queries);

  std::vector<std::string> skipped;
  std::vector<Engine> engines = FindEngines(options, skipped);
  std::printf("## Benchmark: t.txt %ld rows, %.1f MB; %ld cores\n", options.rows,
              fs::file_size(options.data + "/t.txt") / 1e6, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf(
      "Orlenda / peer: Orlenda's wall time divided by the peer's, both measured in this run "
      "(below 1: Orlenda is faster), Orlenda on one core against a peer on one core and on "
      "all cores against a peer on all cores; for cold DuckDB also with DuckDB's start-up (Node.js, "
      "the library, an instance) subtracted from the peer's time. Q7a and Q7b (cold only): Q1 "
      "and Q2 through TVoQueryDataSet, their wall time as a multiple of Orlenda's Q1 and Q2. "
      "Every engine runs with the allocator's defaults, as the program does%s.\n",
      options.peer_hugepages ? "; the peers' twins marked \"huge-page heap\" run with "
                               "GLIBC_TUNABLES=glibc.malloc.hugetlb=1"
                             : "");
  for (const std::string& s : skipped) std::printf("Skipped: %s\n", s.c_str());
  std::fflush(stdout);

  Startups startups;
  std::vector<Kept> kept;
  int problems = RunMode(engines, workloads, false, startups, kept);
  if (options.warm) problems += RunMode(engines, workloads, true, startups, kept);
  PrintStartups(startups);
  if (!options.results.empty()) {
    fs::create_directories(options.results);
    WriteKept(kept);
    for (long other : OtherKeptSizes()) PrintCostPerRow(kept, other);
  }
  if (problems > 0) {
    std::printf("\n!!!!! %d FAILURE%s OR DISAGREEMENT%s: see the notes above !!!!!\n", problems,
                problems == 1 ? "" : "S", problems == 1 ? "" : "S");
    return 1;
  }
  std::printf("\nAll engines agree on every workload.\n");
  return 0;
}

// Runs the benchmark side by side: every workload on Orlenda and on each peer
// present (sqlite3 with csvtable, the sqlite3 shell with .import, DuckDB through
// Node.js), cold (one process per query) and warm (the statement alone), checks
// that all engines agree, and prints one table per mode with the ratios.
// Exits 1 when an engine fails or the answers disagree; never on a time.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

// kOrlendaDataset runs the workloads that go through TVoQueryDataSet, and only
// those; every other engine runs all the rest.
enum class Kind { kOrlenda, kOrlendaDataset, kCsvtable, kImport, kDuck };

struct Engine {
  std::string label;
  Kind kind;
  bool pinned;  // run on one core
  bool typed;   // DuckDB: typed columns, else all_varchar
};

struct Options {
  long rows = 100000;
  std::string data, work, node_prefix, csvtable, queries;
  int reps = 3;
  int cpu = -1;
  int timeout = 900;
  bool smoke = false, warm = true, duckdb = true;
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

struct Row {
  std::string workload;
  const Engine* engine;
  Sample median;  // by wall time among the successful runs
  bool ok;
};

bool RunsOn(const Engine& e, const Workload& w) {
  return (e.kind == Kind::kOrlendaDataset) == (w.through_dataset != nullptr);
}

// The run with the median wall time (cold: the process; warm: the statement).
Sample Median(std::vector<Sample> samples, bool warm) {
  auto wall = [warm](const Sample& s) { return warm ? s.warm.wall : s.child.wall; };
  std::sort(samples.begin(), samples.end(),
            [&](const Sample& a, const Sample& b) { return wall(a) < wall(b); });
  return samples[(samples.size() - 1) / 2];
}

std::string Cores(const Engine& e) {
  return e.pinned ? "1" : "all " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN));
}

void PrintTableHead(const char* title) {
  std::printf("\n%s\n\n", title);
  std::printf("| query | engine | cores | wall s | user s | sys s | peak MB | Orlenda / peer |\n");
  std::printf("|---|---|---|---:|---:|---:|---:|---:|\n");
}

void PrintRow(const std::string& query, const std::string& label, const std::string& cores,
              double wall, double user, double sys, long peak_kib, const std::string& ratio) {
  std::printf("| %s | %s | %s | %.3f | %.3f | %.3f | %.0f | %s |\n", query.c_str(), label.c_str(),
              cores.c_str(), wall, user, sys, peak_kib / 1024.0, ratio.c_str());
}

// Runs every workload on every engine in one mode, prints its table and
// returns the number of failures and disagreements.
int RunMode(const std::vector<Engine>& engines, const std::vector<const Workload*>& workloads,
            bool warm) {
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
        std::fprintf(
            stderr, " %s\n",
            s.ok ? (std::to_string(warm ? s.warm.wall : s.child.wall) + " s").c_str() : "FAILED");
        samples[&e].push_back(s);
      }
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
      rows.push_back({w->id, &e, good.empty() ? Sample{} : Median(good, warm), !good.empty()});
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

  char title[256];
  std::snprintf(title, sizeof title,
                "### %s, t.txt %ld rows, median of %d run%s; one core = CPU %d (%s)",
                warm ? "Warm (tables open, the statement alone)" : "Cold (one process per query)",
                o.rows, o.reps, o.reps == 1 ? "" : "s", o.cpu,
                warm ? "time measured inside the process; peak is the whole process"
                     : "wall, user, sys and peak of the whole process");
  PrintTableHead(title);
  std::map<std::string, double> orlenda_wall;
  for (const Row& r : rows) {
    if (r.engine->kind == Kind::kOrlenda && r.ok) {
      orlenda_wall[r.workload] = warm ? r.median.warm.wall : r.median.child.wall;
    }
  }
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("| %s | %s | %s | failed | | | | |\n", r.workload.c_str(),
                  r.engine->label.c_str(), Cores(*r.engine).c_str());
      continue;
    }
    double wall = warm ? r.median.warm.wall : r.median.child.wall;
    double user = warm ? r.median.warm.user : r.median.child.user;
    double sys = warm ? r.median.warm.sys : r.median.child.sys;
    std::string ratio;
    const Workload* w = bench::FindWorkload(r.workload);
    if (r.engine->kind == Kind::kOrlendaDataset) {
      // Against Orlenda's own engine-only run of the same batch.
      if (orlenda_wall.count(w->through_dataset) && orlenda_wall[w->through_dataset] > 0) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%.2f x %s", wall / orlenda_wall[w->through_dataset],
                      w->through_dataset);
        ratio = buffer;
      }
    } else if (r.engine->kind != Kind::kOrlenda && orlenda_wall.count(r.workload) && wall > 0) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.2f", orlenda_wall[r.workload] / wall);
      ratio = buffer;
    }
    PrintRow(r.workload, r.engine->label, Cores(*r.engine), wall, user, sys,
             r.median.child.peak_kib, ratio);
  }
  std::printf("\n");
  for (const std::string& note : notes) std::printf("%s\n", note.c_str());
  std::fflush(stdout);
  return problems;
}

// Node.js start-up alone, and with DuckDB loaded and an instance made by the
// one-thread engine `e`, so the DuckDB rows can be read without it.
void PrintNodeStartup(const Engine& e) {
  const Options& o = *g_options;
  std::printf("\n### Node.js start-up (part of every cold DuckDB row), median of %d\n\n", o.reps);
  std::printf(
      "| what | cores | wall s | user s | sys s | peak MB |\n|---|---|---:|---:|---:|---:|\n");
  for (int what = 0; what < 2; ++what) {
    std::vector<Sample> samples;
    for (int rep = 0; rep < o.reps; ++rep) {
      bench::ChildCommand command;
      command.stdout_file = o.work + "/child.out";
      command.stderr_file = o.work + "/child.err";
      command.cpu = o.cpu;
      if (what == 0) {
        command.argv = {"node", "-e", ""};
      } else {
        command.argv = {"node", DuckScript(), o.node_prefix, DuckRequest(e, nullptr, false, "")};
      }
      Sample s;
      s.child = bench::RunChild(command);
      s.ok = s.child.ok;
      if (s.ok) samples.push_back(s);
    }
    const char* label = what == 0 ? "node, empty script" : "node + DuckDB instance, no query";
    if (samples.empty()) {
      std::printf("| %s | 1 | failed | | | |\n", label);
      continue;
    }
    Sample m = Median(samples, false);
    std::printf("| %s | 1 | %.3f | %.3f | %.3f | %.0f |\n", label, m.child.wall, m.child.user,
                m.child.sys, m.child.peak_kib / 1024.0);
  }
}

[[noreturn]] void UsageExit() {
  std::fprintf(stderr,
               "usage: bench_run --data DIR --work DIR [--rows N] [--reps R] [--smoke] "
               "[--no-warm] [--queries Q0,Q3] [--node-prefix DIR] [--no-duckdb] "
               "[--csvtable FILE.so] [--cpu C] [--timeout S]\n"
               "  --smoke: one run each, Orlenda plus the sqlite3 variants already installed;\n"
               "           never DuckDB, never installs anything.\n");
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
  return o;
}

std::vector<Engine> FindEngines(const Options& o, std::vector<std::string>& skipped) {
  std::vector<Engine> engines = {
      {"Orlenda", Kind::kOrlenda, true, false},
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
  return engines;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  g_options = &options;
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
      "(below 1: Orlenda is faster). Q7a and Q7b (cold only): Q1 and Q2 through "
      "TVoQueryDataSet, their wall time as a multiple of Orlenda's Q1 and Q2.\n");
  for (const std::string& s : skipped) std::printf("Skipped: %s\n", s.c_str());
  std::fflush(stdout);

  int problems = RunMode(engines, workloads, false);
  if (options.warm) problems += RunMode(engines, workloads, true);
  auto duck = std::find_if(engines.begin(), engines.end(),
                           [](const Engine& e) { return e.kind == Kind::kDuck && e.pinned; });
  if (duck != engines.end()) {
    PrintNodeStartup(*duck);
  }
  if (problems > 0) {
    std::printf("\n!!!!! %d FAILURE%s OR DISAGREEMENT%s: see the notes above !!!!!\n", problems,
                problems == 1 ? "" : "S", problems == 1 ? "" : "S");
    return 1;
  }
  std::printf("\nAll engines agree on every workload.\n");
  return 0;
}

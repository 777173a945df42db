// Runs workload Q7a or Q7b the way the program runs a query: the batch as the
// SQL lines of a TVoQueryDataSet on a connection to the project folder,
// RunSqlText (a fresh engine, the result copied into the dataset's own rows),
// then every row walked with each field read as text, as the result grid shows
// it. Prints the answer line of the cross-engine check; cold only.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "datasets/Reporter.h"
#include "datasets/VoQueryDataSet.h"
#include "workloads.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "bench_dataset_q7: %s\n", message.c_str());
  std::exit(1);
}

[[noreturn]] void UsageExit() {
  std::fprintf(stderr, "usage: bench_dataset_q7 --folder DIR --query Q7a|Q7b\n");
  std::exit(2);
}

// Walks every row reading every field's display text, and prints the row count
// and the full-precision sums of the check columns (the check rounds them).
void TouchAndAnswer(TVoQueryDataSet& dataset, const bench::Workload& w) {
  for (int column : w.sum_columns) {
    if (column >= dataset.FieldCount()) {
      Fail(std::string(w.id) + " gave " + std::to_string(dataset.FieldCount()) + " fields");
    }
  }
  std::vector<double> sums(w.sum_columns.size(), 0.0);
  std::vector<std::string> texts(dataset.FieldCount());
  long rows = 0;
  for (dataset.First(); !dataset.Eof(); dataset.Next()) {
    for (int i = 0; i < dataset.FieldCount(); ++i) texts[i] = dataset.Fields(i).DisplayText();
    for (std::size_t i = 0; i < sums.size(); ++i) {
      sums[i] += std::strtod(texts[w.sum_columns[i]].c_str(), nullptr);
    }
    ++rows;
  }
  std::printf("answer rows=%ld", rows);
  for (double s : sums) std::printf(" sum=%.17g", s);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  bench::RunnerArgs args;
  if (!bench::ParseRunnerArgs(argc, argv, args) || args.warm ||
      args.workload->through_dataset == nullptr) {
    UsageExit();
  }
  const bench::Workload* w = args.workload;

  // RunSqlText reports a refused folder or statement and returns normally with
  // an empty dataset: any report means the run failed.
  RecordingReporter messages;
  try {
    TVoConnection connection;
    connection.SetDatabasePath(args.folder);
    TVoQueryDataSet dataset;
    dataset.SetVoConnection(&connection);
    dataset.SetSQL({w->orlenda});
    dataset.RunSqlText();
    if (!messages.Texts.empty()) Fail(messages.Texts.front() + "\n  in: " + w->orlenda);
    if (dataset.ResultSetNumber() <= 0) Fail(std::string(w->id) + " gave no result set");
    TouchAndAnswer(dataset, *w);
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  return 0;
}

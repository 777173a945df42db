// The filter and export dialogs over a large query result, each beside its
// yardstick in the same run: Apply Filter with a one-comparison filter (and
// the rows it lets through counted) against the dataset's own filter walk
// (Filter and Filtered set, the same rows counted), and Save File of the whole
// result against the engine's SAVE TABLE of the same rows. The window is the
// program's own, on Qt's offscreen platform unless QT_QPA_PLATFORM names
// another. Usage: app_dialogs_bench --data DIR [--reps R]  (DIR from bench_gen).
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FileChoosers.h"
#include "FormExportToCSV.h"
#include "FormFilters.h"
#include "MainWindow.h"
#include "engine/vekSQL.h"
#include "bench_util.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFilter = "cat = 'delta'";

using bench::SecondsSince;

std::string MakeFolder() { return bench::ScratchFolder("orlenda-dialogs-bench"); }

struct Series {
  const char* name;
  std::vector<double> seconds;
  double Median() const { return bench::Median(seconds); }
  void Print() const {
    std::printf("  %-44s median %8.4f s  (min %.4f, max %.4f)\n", name, Median(),
                *std::min_element(seconds.begin(), seconds.end()),
                *std::max_element(seconds.begin(), seconds.end()));
  }
};

// Rows the dataset shows, walked with its controls disabled.
long CountShown(db::DataSet& ds) {
  long rows = 0;
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next()) ++rows;
  ds.First();
  ds.EnableControls();
  return rows;
}

void Unfilter(db::DataSet& ds) {
  ds.SetFiltered(false);
  ds.SetFilterText("");
}

void Fail(const std::string& text) {
  std::fprintf(stderr, "app_dialogs_bench: %s\n", text.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string data;
  int reps = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--data") data = argv[i + 1];
    if (arg == "--reps") reps = std::max(1, std::atoi(argv[i + 1]));
  }
  if (data.empty()) Fail("usage: app_dialogs_bench --data DIR [--reps R]");
  data = fs::absolute(data).string();
  if (data.back() != '/') data += '/';
  QApplication application(argc, argv);

  const std::string work = MakeFolder();
  fs::current_path(work);
  const std::string program = MakeFolder();
  app::RecordingMessages messages;
  app::MainWindow window(messages, program);
  dbf::TDbf& projects = window.GetCatalogue().Projects();
  projects.Append();
  projects.FieldByName("PROJECTNAME").SetAsString("bench");
  projects.FieldByName("PROJECTPATH").SetAsString(data);
  projects.Post();
  app::ConnectToProject(window.VoConnection1(), data);
  window.show();

  TVoQueryDataSet& result = window.VoQueryDatasetQueryResult();
  auto start = Clock::now();
  result.SQL() = {"SELECT * FROM t"};
  result.RunSqlText();
  const long rows = result.RecordCount();
  std::printf("query result: %ld rows loaded in %.2f s\n", rows, SecondsSince(start));

  // The filter dialog, opened for the query result with the filter typed in.
  window.ShowFilterDialog(result);
  app::FormFilters& filters = window.GetFormFilters();
  filters.DBMemoFilter()->setPlainText(kFilter);
  auto* apply = filters.findChild<QPushButton*>("ButtonApplyFilter");
  window.ShowExportDialog(result);
  app::FormExportToCSV& exporter = window.GetFormExportToCSV();
  const std::string export_file = work + "export.csv";
  exporter.FileNameEdit1()->SetFileName(QString::fromStdString(export_file));
  auto* save = exporter.findChild<QPushButton*>("Button1");

  // The engine with the same rows as a named result set (a file left by an
  // interrupted run would be taken for the table).
  fs::remove(data + "dialogs_bench_copy.txt");
  fs::remove(data + "dialogs_bench_own.txt");
  vek::TvekSQL engine;
  if (engine.ExecuteSQL("CONNECT TO '" + data + "'") == 0 ||
      engine.ExecuteSQL("ASSIGN TO dialogs_bench_copy SELECT * FROM t") == 0) {
    Fail("engine: " + vek::TvekSQL::GetLastError());
  }

  Series apply_filter{"Apply Filter + rows shown counted", {}};
  Series own_filter{"dataset's own filter walk (Filter, Filtered)", {}};
  Series save_file{"Save File (export dialog)", {}};
  Series save_table{"engine SAVE TABLE of the same rows", {}};
  Series write_table{"query dataset's own WriteTableFile", {}};
  long shown_by_dialog = 0;
  long shown_by_dataset = 0;
  for (int rep = 0; rep < reps; ++rep) {
    Unfilter(result);
    QCoreApplication::processEvents();
    start = Clock::now();
    apply->click();
    QCoreApplication::processEvents();
    shown_by_dialog = CountShown(result);
    apply_filter.seconds.push_back(SecondsSince(start));

    Unfilter(result);
    QCoreApplication::processEvents();
    start = Clock::now();
    result.SetFilterText(kFilter);
    result.SetFiltered(true);
    shown_by_dataset = CountShown(result);
    own_filter.seconds.push_back(SecondsSince(start));

    Unfilter(result);
    QCoreApplication::processEvents();
    start = Clock::now();
    save->click();
    QCoreApplication::processEvents();
    save_file.seconds.push_back(SecondsSince(start));

    start = Clock::now();
    if (engine.ExecuteSQL("SAVE TABLE dialogs_bench_copy") == 0) {
      Fail("engine: " + vek::TvekSQL::GetLastError());
    }
    save_table.seconds.push_back(SecondsSince(start));

    // The dataset layer's own writer of the same rows (the engine's format),
    // for what reading the rows out of the dataset costs.
    result.SetTableName("dialogs_bench_own");
    start = Clock::now();
    result.WriteTableFile();
    write_table.seconds.push_back(SecondsSince(start));
    result.SetTableName("ordrs");
  }
  const std::string saved_table = data + "dialogs_bench_copy.txt";
  const auto export_size = fs::file_size(export_file);
  const auto table_size = fs::file_size(saved_table);
  fs::remove(saved_table);
  fs::remove(data + "dialogs_bench_own.txt");

  if (shown_by_dialog != shown_by_dataset) Fail("the two filters disagree");
  const std::string done = "Dataset is successfully exported to the file: " + export_file;
  for (const std::string& text : messages.Texts()) {
    if (text != done) Fail("message: " + text);
  }

  std::printf("filter \"%s\": %ld of %ld rows shown, %d runs\n", kFilter, shown_by_dialog, rows,
              reps);
  apply_filter.Print();
  own_filter.Print();
  std::printf("  ratio %.2f\n", apply_filter.Median() / own_filter.Median());
  std::printf("export of %ld rows: file %.1f MB (quoted texts), SAVE TABLE %.1f MB\n", rows,
              export_size / 1e6, table_size / 1e6);
  save_file.Print();
  save_table.Print();
  write_table.Print();
  std::printf("  ratio to SAVE TABLE %.2f, to WriteTableFile %.2f\n",
              save_file.Median() / save_table.Median(),
              save_file.Median() / write_table.Median());

  window.close();
  fs::remove_all(work);
  fs::remove_all(program);
  return 0;
}

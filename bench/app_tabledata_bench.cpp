// The TableData page on a big table, driven through the main window offscreen
// as a user drives it: "Load Data" until the grid has painted its first rows,
// "Update CSV table" of the rows as loaded (the file must come back byte for
// byte), a click on a column title, a scroll to the last row, "Update CSV
// table" of the sorted rows.
// Beside it, in the same process and run: the engine's own cold load of the
// same file (a new engine, SELECT count(*)) and its SAVE TABLE of those rows.
// Also the memory the loaded table takes against the file's size.
//
//   app_tabledata_bench --data <folder holding t.txt from bench_gen> [--reps N]
//
// Prints seconds (medians of N runs, the engine and the program taking turns)
// and exits non-zero when a step does not give what it should.
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DBGrid.h"
#include "FileChoosers.h"
#include "MainWindow.h"
#include "QtMessages.h"
#include "TablesArea.h"
#include "engine/vekSQL.h"
#include "bench_util.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::Median;
using bench::SecondsSince;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "app_tabledata_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string MakeFolder() {
  std::string folder = bench::ScratchFolder("orlenda-tabledata");
  folder.pop_back();  // without the trailing "/"
  return folder;
}

// Resident and peak resident memory of this process, in bytes.
struct Memory {
  long rss = 0;
  long peak = 0;
};
Memory ReadMemory() {
  std::ifstream status("/proc/self/status");
  std::string key;
  Memory m;
  while (status >> key) {
    long kb = 0;
    if (key == "VmRSS:" && status >> kb) m.rss = kb * 1024;
    if (key == "VmHWM:" && status >> kb) m.peak = kb * 1024;
  }
  return m;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void Settle(QWidget& grid) {
  QCoreApplication::processEvents();
  grid.repaint();
}

// The engine alone: a new engine on `folder` counts t's rows (reading the
// whole file) and then writes them back with SAVE TABLE.
struct EngineTimes {
  double load = 0;
  double save = 0;
};
EngineTimes RunEngine(const std::string& folder, long rows) {
  EngineTimes times;
  vek::TvekSQL engine;
  if (engine.ExecuteSQL("CONNECT TO '" + folder + "'") == 0) Fail(vek::TvekSQL::GetLastError());
  auto start = Clock::now();
  const int n = engine.ExecuteSQL("SELECT count(*) AS n FROM t");
  times.load = SecondsSince(start);
  if (n <= 0) Fail("engine: " + vek::TvekSQL::GetLastError());
  vek::TvekRecordSet* set = engine.GetRecordSet(n);
  if (set == nullptr || std::stol(std::string(set->Records[0].Cell(0))) != rows) {
    Fail("engine: wrong row count");
  }
  start = Clock::now();
  if (engine.ExecuteSQL("SAVE TABLE t") == 0) Fail("engine: " + vek::TvekSQL::GetLastError());
  times.save = SecondsSince(start);
  return times;
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(fa), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(fb), std::istreambuf_iterator<char>());
}

long CountLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  long lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

class Program {
 public:
  explicit Program(const std::string& project) : program_(MakeFolder()) {
    window_ = std::make_unique<app::MainWindow>(messages_, program_ + "/");
    window_->resize(1280, 800);
    window_->show();
    while (window_->windowHandle() == nullptr || !window_->windowHandle()->isExposed()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The project and its table as the user makes them: the folder chooser,
    // then the table file chooser.
    auto& folder = Find<app::DirectoryEdit>("DirectoryEditProjectFolder");
    folder.SetDialog([&](QWidget*, const QString&) { return QString::fromStdString(project); });
    folder.Choose();
    auto& file = Find<app::FileNameEdit>("FileNameEditTableFile");
    file.SetDialog(
        [&](QWidget*, const QString&) { return QString::fromStdString(project + "/t.txt"); });
    file.Choose();
    Find<QTabWidget>("PageControl1").setCurrentIndex(1);
    Find<QTabWidget>("PageControlTables").setCurrentIndex(1);
    grid_ = &Find<app::DBGrid>("DBGridCSVTable");
    CheckMessages({"Do you want to apply selected folder as the project folder",
                   "Do you want to register selected file as a table of the current project?"});
  }
  ~Program() {
    window_.reset();
    fs::remove_all(program_);
  }

  double Load() {
    const auto start = Clock::now();
    Click("ButtonActivateCSVTablePreview");
    Settle(*grid_);
    const double seconds = SecondsSince(start);
    CheckMessages({"Orlenda will try to load data now. Please, be patient.", "Finished!"});
    return seconds;
  }
  double Sort(int column) {
    QHeaderView* header = grid_->horizontalHeader();
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    const auto start = Clock::now();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    Settle(*grid_);
    const double seconds = SecondsSince(start);
    CheckMessages({});
    return seconds;
  }
  double ScrollToEnd() {
    const auto start = Clock::now();
    QScrollBar* bar = grid_->verticalScrollBar();
    bar->setValue(bar->maximum());
    Settle(*grid_);
    return SecondsSince(start);
  }
  double Save(const std::string& file) {
    const auto start = Clock::now();
    Click("ButtonUpdateCSVTable");
    const double seconds = SecondsSince(start);
    CheckMessages({"Table t updated and saved to file: " + file});
    return seconds;
  }
  void Unload() {
    Click("ButtonDeactivateCSVTablePreview");
    CheckMessages({});
    malloc_trim(0);
  }
  int Rows() { return grid_->Model().rowCount(); }
  QString Cell(int row, int column) { return grid_->Model().index(row, column).data().toString(); }

 private:
  template <class T>
  T& Find(const char* name) {
    T* control = window_->findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) Fail(std::string("no control ") + name);
    return *control;
  }
  void Click(const char* name) { QTest::mouseClick(&Find<QPushButton>(name), Qt::LeftButton); }
  void CheckMessages(const std::vector<std::string>& expected) {
    const std::vector<std::string> texts = messages_.Texts();
    messages_.entries.clear();
    if (texts == expected) return;
    std::string shown;
    for (const std::string& t : texts) shown += "\n  " + t;
    Fail("unexpected messages:" + shown);
  }

  std::string program_;
  app::RecordingMessages messages_;
  app::MessagesReporter reporter_{messages_};
  std::unique_ptr<app::MainWindow> window_;
  app::DBGrid* grid_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  std::string data;
  int reps = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--data") {
      data = argv[i + 1];
    } else if (arg == "--reps") {
      reps = std::max(1, std::atoi(argv[i + 1]));
    }
  }
  if (data.empty()) Fail("usage: app_tabledata_bench --data <folder with t.txt> [--reps N]");
  const std::string source = fs::absolute(data).string() + "/t.txt";
  if (!fs::exists(source)) Fail("no " + source + " (make it with bench_gen)");
  const long file_bytes = static_cast<long>(fs::file_size(source));
  const long rows = CountLines(source) - 1;

  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Numbers in the C form whatever the locale, as the program's start does.
  std::setlocale(LC_NUMERIC, "C");

  const std::string work = MakeFolder();
  fs::current_path(work);
  const std::string project = work + "/project";
  const std::string engine_folder = work + "/engine";
  fs::create_directories(project);
  fs::create_directories(engine_folder);
  const std::string app_file = project + "/t.txt";
  fs::copy_file(source, app_file);
  fs::copy_file(source, engine_folder + "/t.txt");

  std::printf("t.txt: %ld rows, %.1f MB; %d runs, the engine and the program taking turns\n", rows,
              file_bytes / 1e6, reps);
  std::vector<double> engine_load, engine_save, load, save_as_loaded, sort, scroll, save;
  long table_bytes = 0;
  long load_peak = 0;
  for (int run = 0; run < reps; ++run) {
    // Every run starts alike: the file as generated, a new window (no sort
    // chosen). Memory one side has just freed is quicker to take than memory
    // the system has had back for a while: the engine goes first in every
    // other run, so that neither side always runs on what the other freed.
    EngineTimes engine;
    if (run % 2 == 1) {
      engine = RunEngine(engine_folder, rows);
      malloc_trim(0);
    }
    fs::copy_file(source, app_file, fs::copy_options::overwrite_existing);
    {
      Program program(project);
      malloc_trim(0);
      const Memory before = ReadMemory();
      ResetPeak();
      load.push_back(program.Load());
      const Memory after = ReadMemory();
      if (run == 0) {
        table_bytes = after.rss - before.rss;
        load_peak = after.peak - before.rss;
      }
      if (program.Rows() != rows) {
        Fail("the grid shows " + std::to_string(program.Rows()) + " rows");
      }
      // Saved as loaded, the rows in the order the engine's SAVE TABLE has.
      save_as_loaded.push_back(program.Save(app_file));
      if (!SameBytes(source, app_file)) Fail("the file saved as loaded differs from t.txt");
      // Column 3 is name: short texts, some of them equal.
      sort.push_back(program.Sort(3));
      const QString first = program.Cell(0, 3);
      const QString second = program.Cell(1, 3);
      scroll.push_back(program.ScrollToEnd());
      const QString last = program.Cell(program.Rows() - 1, 3);
      if (!(first <= second && second <= last)) Fail("the grid is not sorted");
      save.push_back(program.Save(app_file));
      if (CountLines(app_file) != rows + 1) Fail("the saved file lacks rows");
      program.Unload();
    }
    malloc_trim(0);

    if (run % 2 == 0) {
      engine = RunEngine(engine_folder, rows);
      malloc_trim(0);
    }
    engine_load.push_back(engine.load);
    engine_save.push_back(engine.save);
    std::printf(
        "run %d: load %.3f s, save as loaded %.3f s, sort %.3f s, scroll %.3f s, sorted save "
        "%.3f s; engine load %.3f s, SAVE TABLE %.3f s\n",
        run + 1, load.back(), save_as_loaded.back(), sort.back(), scroll.back(), save.back(),
        engine.load, engine.save);
  }

  const double mb = 1e6;
  std::printf("\n| step | median s | target | ratio |\n|---|---:|---|---:|\n");
  std::printf("| engine: new engine, SELECT count(*) FROM t | %.3f | | |\n", Median(engine_load));
  std::printf("| Load Data until the first rows are painted | %.3f | 2x engine load | %.2f |\n",
              Median(load), Median(load) / Median(engine_load));
  std::printf("| title click (sort on name) until painted | %.3f | under 1 s | |\n", Median(sort));
  std::printf("| scroll to the last row | %.3f | | |\n", Median(scroll));
  std::printf("| engine: SAVE TABLE t | %.3f | | |\n", Median(engine_save));
  std::printf("| Update CSV table, rows as loaded | %.3f | 1.5x SAVE TABLE | %.2f |\n",
              Median(save_as_loaded), Median(save_as_loaded) / Median(engine_save));
  std::printf("| Update CSV table, rows sorted on name | %.3f | 1.5x SAVE TABLE | %.2f |\n",
              Median(save), Median(save) / Median(engine_save));
  std::printf(
      "\nmemory of the loaded table (resident growth over the first load): %.0f MB = "
      "%.2f x t.txt (target 3x); peak during the load %.0f MB = %.2f x\n",
      table_bytes / mb, static_cast<double>(table_bytes) / file_bytes, load_peak / mb,
      static_cast<double>(load_peak) / file_bytes);
  fs::current_path("/");
  fs::remove_all(work);
  return 0;
}

// The Queries page's speed, through its real handlers on Qt's offscreen
// platform: the engine benchmark's Q1 and Q2, and the whole of t (1,000,000
// rows), each run with "Run Query" into the result grid, sorted by a title
// click and saved with "Save Query Result To A File"; beside each, the
// engine's own time for the same work in this process (a new engine, CONNECT,
// the statement; ORDER BY for the sort; ASSIGN TO and SAVE TABLE for the file).
// Then the time of one key press in an editor holding a 10,000-line query
// with 200 registered tables. Prints seconds and ratios; median of --reps runs.
//
//   app_queries_bench --data DIR [--reps R] [--keys-only]   (DIR: bench_gen --out DIR)
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "DBGrid.h"
#include "FileChoosers.h"
#include "MainWindow.h"
#include "QtMessages.h"
#include "QueryText.h"
#include "SqlEditor.h"
#include "engine/vekSQL.h"
#include "bench_util.h"

namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

using bench::Median;

std::string MakeFolder() { return bench::ScratchFolder("orlenda-qbench"); }

// The engine alone: a new engine connected to the folder, the batch run, the
// rows of a result touched (as the dataset reads every cell). False when the
// engine refuses a statement.
bool EngineRun(const std::string& folder, const std::string& batch) {
  vek::TvekSQL engine;
  if (engine.ExecuteSQL("CONNECT TO '" + folder + "'") == 0) return false;
  const int n = engine.ExecuteSQL(batch);
  if (n == 0) {
    std::fprintf(stderr, "engine: %s\n", vek::TvekSQL::GetLastError().c_str());
    return false;
  }
  if (n > 0) {
    size_t bytes = 0;
    vek::TvekRecordSet* set = engine.GetRecordSet(n);
    for (const vek::TvekRecord& record : set->Records) {
      for (int c = 0; c < record.FieldCount(); ++c) bytes += record.Cell(c).size();
    }
    if (bytes == 0 && set->RecordCount() > 0) std::fprintf(stderr, "engine: empty cells\n");
  }
  return true;
}

struct Workload {
  const char* id;
  std::string sql;
  const char* sort_field;
};

class Page {
 public:
  Page(const std::string& program_folder, const std::string& data_folder)
      : window_(messages_, program_folder) {
    window_.resize(1280, 800);
    app::Catalogue& catalogue = window_.GetCatalogue();
    catalogue.Projects().Append();
    catalogue.Projects().FieldByName("PROJECTNAME").SetAsString("bench");
    catalogue.Projects().FieldByName("PROJECTPATH").SetAsString(data_folder);
    catalogue.Projects().Post();
    window_.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    window_.show();
    QCoreApplication::processEvents();
    editor_ = window_.findChild<app::SqlEditor*>("SynEditSQLEditor");
    grid_ = window_.findChild<app::DBGrid*>("DBGridQueryResult");
  }
  void Click(const char* name) {
    QTest::mouseClick(window_.findChild<QPushButton*>(name), Qt::LeftButton);
    QCoreApplication::processEvents();
  }
  bool Ok(const char* step) {
    for (const auto& entry : messages_.entries) {
      if (entry.text.starts_with("Error") || entry.kind == app::RecordingMessages::Kind::kError) {
        std::fprintf(stderr, "%s: %s\n", step, entry.text.c_str());
        return false;
      }
    }
    messages_.entries.clear();
    return true;
  }

  app::RecordingMessages messages_;
  app::MainWindow window_;
  app::SqlEditor* editor_;
  app::DBGrid* grid_;
};

int SectionOf(app::DBGrid& grid, const char* field) {
  for (int c = 0; c < grid.Model().columnCount(); ++c) {
    if (grid.Model().ColumnFieldName(c) == field) return c;
  }
  return -1;
}

// The header's click signal, as a click on the title gives it (the offscreen
// platform's geometry makes a mouse position unreliable here).
void ClickTitle(app::DBGrid& grid, int section) {
  emit grid.horizontalHeader()->sectionClicked(section);
  grid.viewport()->repaint();
  QCoreApplication::processEvents();
}

// One key press in a 10,000-line query with 200 table names highlighted and
// the completion words of 200 tables of 8 fields in place; beside it the same
// editor without names and words, and a key press without the redraw.
constexpr int kLines = 10000;
double KeyPress(int reps, bool with_lists, bool redraw) {
  app::SqlEditor editor;
  editor.resize(1000, 700);
  std::vector<std::string> names;
  std::vector<app::TableFields> tables;
  for (int t = 0; t < 200; ++t) {
    names.push_back("table" + std::to_string(t));
    app::TableFields table{names.back(), {}};
    for (int f = 0; f < 8; ++f) table.fields.push_back("field" + std::to_string(f));
    tables.push_back(table);
  }
  if (with_lists) {
    editor.SetTableNames(names);
    editor.SetCompletionWords(app::BuildCompletionWords(tables));
  }
  std::string text;
  for (int line = 0; line < kLines; ++line) {
    text += "SELECT a.field1, b.field2, 'text " + std::to_string(line) + "' FROM table" +
            std::to_string(line % 200) + " a, table" + std::to_string((line + 7) % 200) +
            " b WHERE a.field3 = b.field3 AND a.field4 > " + std::to_string(line) + "\n";
  }
  editor.SetProgramText(text);
  editor.show();
  QCoreApplication::processEvents();
  editor.setCursorPosition(5000, 10);
  editor.ensureLineVisible(5000);
  editor.viewport()->repaint();

  std::vector<double> typed;
  for (int i = 0; i < reps * 20; ++i) {
    typed.push_back(Seconds([&] {
      QTest::keyClick(&editor, Qt::Key_X);
      if (redraw) editor.viewport()->repaint();
    }));
  }
  return Median(typed);
}

// Ctrl+Space on "tab" (200 table names and their qualified fields match),
// then a key that refills the pop-up, each with the redraw.
double CompletionKeys(int reps) {
  app::SqlEditor editor;
  editor.resize(1000, 700);
  std::vector<app::TableFields> tables;
  for (int t = 0; t < 200; ++t) {
    app::TableFields table{"table" + std::to_string(t), {}};
    for (int f = 0; f < 8; ++f) table.fields.push_back("field" + std::to_string(f));
    tables.push_back(table);
  }
  editor.SetCompletionWords(app::BuildCompletionWords(tables));
  editor.show();
  QCoreApplication::processEvents();
  std::vector<double> times;
  for (int i = 0; i < reps * 5; ++i) {
    QTest::keyClicks(&editor, " tab");
    times.push_back(Seconds([&] {
      QTest::keyClick(&editor, Qt::Key_Space, Qt::ControlModifier);
      QTest::keyClick(&editor, Qt::Key_L);
      editor.viewport()->repaint();
      editor.Popup().repaint();
    }));
    QTest::keyClick(&editor, Qt::Key_Escape);
  }
  return Median(times);
}

void KeyPressBench(int reps) {
  std::printf("| key press and redraw, 10,000 lines, 200 tables | %.4f | | |\n",
              KeyPress(reps, true, true));
  std::printf("| the same without table names and completion words | %.4f | | |\n",
              KeyPress(reps, false, true));
  std::printf("| key press alone (no redraw), 200 tables | %.4f | | |\n",
              KeyPress(reps, true, false));
  std::printf("| Ctrl+Space and one key refilling the pop-up (1,600+ words) | %.4f | | |\n",
              CompletionKeys(reps));
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string data;
  int reps = 3;
  bool keys_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--data" && i + 1 < argc) data = argv[++i];
    if (arg == "--keys-only") keys_only = true;
    if (arg == "--reps" && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
  }
  if (data.empty()) {
    std::fprintf(stderr, "usage: app_queries_bench --data DIR [--reps R] [--keys-only]\n");
    return 2;
  }
  data = std::filesystem::absolute(data).string();
  if (!data.ends_with('/')) data += '/';
  QApplication application(argc, argv);
  std::filesystem::current_path(MakeFolder());
  // The dataset layer's reports (a refused statement) count as failures.
  app::RecordingMessages reports;
  app::MessagesReporter reporter(reports);

  const Workload workloads[] = {
      {"Q1", "SELECT id, name, amount FROM t WHERE amount > 9900 AND cat = 'delta'", "name"},
      {"Q2", "SELECT grp, count(id) AS n, sum(amount) AS s FROM t GROUP BY grp", "s"},
      {"all of t", "SELECT id, name, amount FROM t", "name"},
  };
  std::printf("| step | program s | engine s | program / engine |\n|---|---:|---:|---:|\n");
  bool ok = true;
  for (const Workload& w : workloads) {
    if (keys_only) break;
    std::vector<double> run, sort, save, e_run, e_sort, e_save;
    int rows = 0;
    for (int rep = 0; rep < reps; ++rep) {
      const std::string result_file = data + "bench_result.txt";
      // The engine's own figures, in the same run.
      e_run.push_back(Seconds([&] { ok &= EngineRun(data, w.sql); }));
      e_sort.push_back(
          Seconds([&] { ok &= EngineRun(data, w.sql + " ORDER BY " + w.sort_field); }));
      e_save.push_back(Seconds([&] {
        ok &= EngineRun(data, "ASSIGN TO bench_result " + w.sql + "; SAVE TABLE bench_result");
      }));

      Page page(MakeFolder(), data);
      page.editor_->SetProgramText(w.sql);
      run.push_back(Seconds([&] { page.Click("ButtonRunQuery"); }));
      ok &= page.Ok(w.id);
      rows = page.window_.VoQueryDatasetQueryResult().RecordCount();
      const int section = SectionOf(*page.grid_, w.sort_field);
      sort.push_back(Seconds([&] { ClickTitle(*page.grid_, section); }));
      if (page.window_.VoQueryDatasetQueryResult().IndexName() !=
          std::string(w.sort_field) + "__IdxA") {
        std::fprintf(stderr, "%s: the title click did not sort (section %d, index %s)\n", w.id,
                     section, page.window_.VoQueryDatasetQueryResult().IndexName().c_str());
        page.Ok(w.id);
        ok = false;
      }
      page.window_.findChild<app::FileNameEdit*>("FileNameEditSaveQueryResult")
          ->SetFileName(QString::fromStdString(result_file));
      save.push_back(Seconds([&] { page.Click("ButtonSaveQueryResult"); }));
      ok &= page.Ok(w.id);
      std::filesystem::remove(result_file);
    }
    const auto row = [&](const char* step, const std::vector<double>& p,
                         const std::vector<double>& e) {
      std::printf("| %s (%d rows), %s | %.3f | %.3f | %.2f |\n", w.id, rows, step, Median(p),
                  Median(e), Median(p) / Median(e));
    };
    row("Run Query into the grid", run, e_run);
    row("title-click sort (engine: ORDER BY)", sort, e_sort);
    row("Save Query Result To A File (engine: SAVE TABLE)", save, e_save);
  }
  KeyPressBench(reps);
  for (const auto& entry : reports.entries) {
    std::fprintf(stderr, "report: %s\n", entry.text.c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}

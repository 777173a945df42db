// The program's own speed: from the start to the shown main window with an
// empty catalogue and with 1,000 projects, and a grid over a buffered dataset
// of 1,000,000 rows opened, scrolled to its end and back, and closed. Runs on
// Qt's offscreen platform unless QT_QPA_PLATFORM names another; prints seconds.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Catalogue.h"
#include "datasets/VoBufDataset.h"
#include "DBGrid.h"
#include "MainWindow.h"
#include "bench_util.h"

namespace {

constexpr int kProjects = 1000;
constexpr int kRows = 1000000;

using bench::SecondsSince;

std::string MakeFolder() { return bench::ScratchFolder("orlenda-bench"); }

void WaitUntilShown(QWidget& widget) {
  while (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  QCoreApplication::processEvents();
}

// Builds the window over `program_folder`, shows it and closes it; seconds to
// the shown window.
double StartWindow(const std::string& program_folder) {
  app::RecordingMessages messages;
  const auto start = std::chrono::steady_clock::now();
  app::MainWindow window(messages, program_folder);
  window.resize(1280, 800);
  window.show();
  WaitUntilShown(window);
  const double seconds = SecondsSince(start);
  window.close();
  if (!messages.entries.empty()) std::printf("  message: %s\n", messages.entries[0].text.c_str());
  return seconds;
}

void AddProjects(const std::string& program_folder, const std::string& project_folder) {
  app::RecordingMessages messages;
  app::Catalogue catalogue(messages);
  catalogue.Open(program_folder);
  dbf::TDbf& projects = catalogue.Projects();
  for (int i = 0; i < kProjects; ++i) {
    projects.Append();
    projects.FieldByName("PROJECTNAME").SetAsString("project" + std::to_string(i));
    projects.FieldByName("PROJECTPATH").SetAsString(project_folder);
    projects.Post();
  }
  catalogue.Close();
}

void MillionRowGrid() {
  TVoBufDataset dataset;
  dataset.FieldDefs().Add("ID", db::FieldType::ftString, 10);
  dataset.FieldDefs().Add("NAME", db::FieldType::ftString, 20);
  dataset.FieldDefs().Add("CITY", db::FieldType::ftString, 20);
  dataset.CreateDataset();
  dataset.Open();
  dataset.DisableControls();
  for (int i = 1; i <= kRows; ++i) {
    dataset.Append();
    dataset.Fields(0).SetAsString(std::to_string(i));
    dataset.Fields(1).SetAsString("name" + std::to_string(i % 977));
    dataset.Fields(2).SetAsString("city" + std::to_string(i % 53));
    dataset.Post();
  }
  dataset.EnableControls();
  dataset.First();

  app::RecordingMessages messages;
  auto grid = std::make_unique<app::DBGrid>(messages);
  grid->resize(1000, 700);
  auto start = std::chrono::steady_clock::now();
  grid->SetDataSet(&dataset);
  grid->show();
  WaitUntilShown(*grid);
  std::printf("grid over %d rows: open and show   %8.4f s\n", kRows, SecondsSince(start));

  start = std::chrono::steady_clock::now();
  QScrollBar* bar = grid->verticalScrollBar();
  bar->setValue(bar->maximum());
  grid->viewport()->repaint();
  std::printf("grid: scroll to the end            %8.4f s\n", SecondsSince(start));

  start = std::chrono::steady_clock::now();
  bar->setValue(0);
  grid->viewport()->repaint();
  std::printf("grid: scroll back to the start     %8.4f s\n", SecondsSince(start));

  start = std::chrono::steady_clock::now();
  for (int page = 0; page < 100; ++page) {
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    grid->viewport()->repaint();
  }
  std::printf("grid: 100 pages down               %8.4f s\n", SecondsSince(start));

  start = std::chrono::steady_clock::now();
  grid.reset();
  std::printf("grid: close                        %8.4f s\n", SecondsSince(start));
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  auto start = std::chrono::steady_clock::now();
  QApplication application(argc, argv);
  std::printf("application object                 %8.4f s\n", SecondsSince(start));

  const std::string work = MakeFolder();
  std::filesystem::current_path(work);
  const std::string empty = MakeFolder();
  std::printf("window, empty catalogue (1st)      %8.4f s\n", StartWindow(empty));
  std::printf("window, empty catalogue (2nd)      %8.4f s\n", StartWindow(empty));

  const std::string full = MakeFolder();
  AddProjects(full, work);
  std::printf("window, %d projects              %8.4f s\n", kProjects, StartWindow(full));

  MillionRowGrid();

  for (const std::string& folder : {work, empty, full}) std::filesystem::remove_all(folder);
  return 0;
}

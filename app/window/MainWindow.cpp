// The main window's shell: its components, its pages, the catalogue's hooks,
// the first show and the close.
#include "MainWindow.h"

#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "ExternalSourcesArea.h"
#include "FileChoosers.h"
#include "ProjectsArea.h"
#include "QueriesArea.h"
#include "Session.h"
#include "StaticPages.h"
#include "WindowContext.h"

namespace app {

MainWindow::MainWindow(Messages& messages, std::string program_folder, QWidget* parent)
    : QMainWindow(parent),
      messages_(messages),
      app_folder_(std::move(program_folder)),
      catalogue_(messages) {
  setObjectName("FormMain");
  setWindowTitle("Orlenda 1.0.9");
  resize(958, 509);

  // DecimalSeparator #0: the connection leaves the process-wide separators alone.
  connection_.SetDecimalSeparator('\0');
  for (TVoQueryDataSet* dataset :
       {&query_result_, &csv_table_data_, &sql_table_data_, &action_query_}) {
    dataset->SetVoConnection(&connection_);
    dataset->SetIndexName("DEFAULT_ORDER");
  }
  query_result_.SetName("VoQueryDatasetQueryResult");
  query_result_.SetTableName("ordrs");
  csv_table_data_.SetName("VoQueryDatasetCSVTableData");
  sql_table_data_.SetName("VoQueryDatasetSQLTableData");
  action_query_.SetName("VoQueryDataSetActionQuery");

  context_ = std::make_unique<WindowContext>(WindowContext{
      messages_, connection_, query_result_, csv_table_data_, sql_table_data_, catalogue_});
  page_control_ = MakePageControl("PageControl1");
  projects_ = std::make_unique<ProjectsArea>(*context_, *page_control_);
  queries_ = std::make_unique<QueriesArea>(*context_, *page_control_);
  external_sources_ = std::make_unique<ExternalSourcesArea>(*context_, *page_control_);
  static_pages_ = std::make_unique<StaticPages>(*page_control_);
  setCentralWidget(page_control_);
  page_control_->setFocus();

  BindCatalogueHooks();
  catalogue_.Open(app_folder_);
}

MainWindow::~MainWindow() {
  // The grids and navigators observe the datasets and the catalogue, which
  // are members and go before the base class frees its children: free the
  // pages first.
  delete takeCentralWidget();
}

void MainWindow::BindCatalogueHooks() {
  CatalogueHooks& hooks = catalogue_.hooks;
  hooks.editor_text = [this] { return queries_->EditorText(); };
  hooks.load_query_text = [this](const std::string& text) { queries_->SetEditorText(text); };
  hooks.refresh_table_names = [this] { queries_->RefreshHighlighterTableNames(); };
  hooks.rebuild_completion_words = [this] { queries_->RebuildCompletionWords(); };
  hooks.open_current_project = [this](const std::string& project_path) {
    ConnectToProject(connection_, project_path);
    // The three file choosers start in the project's folder.
    const QString folder = QString::fromStdString(connection_.DatabaseFolder());
    for (FileNameEdit* edit :
         {&projects_->FileNameEditTableFile(), &queries_->FileNameEditSaveQueryResult(),
          &queries_->FileNameEditSaveQuerySQL()}) {
      edit->SetInitialDir(folder);
      edit->SetFileName(folder);
    }
  };
}

QSplitter* MainWindow::FindSplitter(const std::string& name) const {
  constexpr std::string_view kSuffix = ".Position";
  if (!name.ends_with(kSuffix)) return nullptr;
  const QString object = QString::fromStdString(name.substr(0, name.size() - kSuffix.size()));
  return findChild<QSplitter*>(object);
}

std::vector<std::pair<std::string, int>> MainWindow::SessionValues() const {
  std::vector<std::pair<std::string, int>> values;
  for (std::string_view property : kSessionProperties) {
    if (const QSplitter* splitter = FindSplitter(std::string(property))) {
      values.emplace_back(property, SplitterPosition(*splitter));
    }
  }
  return values;
}

void MainWindow::ApplySession(const std::map<std::string, int>& values) {
  for (const auto& [name, position] : values) {
    if (std::find(kSessionProperties.begin(), kSessionProperties.end(), name) ==
        kSessionProperties.end()) {
      continue;
    }
    if (QSplitter* splitter = FindSplitter(name)) SetSplitterPosition(*splitter, position);
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_before_) return;
  shown_before_ = true;
  ApplySession(ReadSessionFile(kSessionFile));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    catalogue_.Close();
    const std::string error = WriteSessionFile(kSessionFile, SessionValues());
    if (!error.empty()) messages_.Info(error);
  }
  event->accept();
}

}  // namespace app

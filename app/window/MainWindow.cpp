// The main window's shell: its components, its pages, the catalogue's hooks,
// the first show and the close.
#include "MainWindow.h"

#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "DBGrid.h"
#include "ExternalSourcesArea.h"
#include "FileChoosers.h"
#include "FormExportToCSV.h"
#include "FormFilters.h"
#include "FormFind.h"
#include "Guard.h"
#include "ProjectsArea.h"
#include "QueriesArea.h"
#include "Session.h"
#include "StaticPages.h"
#include "TablesArea.h"
#include "WindowContext.h"

namespace app {

MainWindow::MainWindow(Messages& messages, std::string program_folder, QWidget* parent)
    : QMainWindow(parent),
      messages_(messages),
      app_folder_(std::move(program_folder)),
      catalogue_(messages) {
  setObjectName("FormMain");
  setWindowTitle("Orlenda 1.0.9");
  // The design bounds; main() then shows the window maximised.
  setGeometry(60, 34, 958, 509);

  // DecimalSeparator #0: the connection leaves the process-wide separators alone.
  connection_.SetDecimalSeparator('\0');
  // A project path without a separator names a folder beside the catalogue.
  connection_.SetProgramFolder(app_folder_);
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
  tables_ = std::make_unique<TablesArea>(*context_, action_query_, *page_control_);
  setCentralWidget(page_control_);
  page_control_->setFocus();

  BindCatalogueHooks();
  catalogue_.Open(app_folder_);
  CreateDialogs();
}

MainWindow::~MainWindow() {
  // The grids and navigators observe the datasets and the catalogue, which
  // are members and go before the base class frees its children: free the
  // pages and the dialogs first.
  form_find_.reset();
  form_filters_.reset();
  form_export_.reset();
  delete takeCentralWidget();
}

void MainWindow::CreateDialogs() {
  form_export_ = std::make_unique<FormExportToCSV>(messages_, this);
  form_filters_ = std::make_unique<FormFilters>(messages_, catalogue_.Filters(), this);
  form_find_ = std::make_unique<FormFind>(messages_, this);
  using Launcher = void (MainWindow::*)(db::DataSet&);
  const struct {
    const char* button;
    TVoQueryDataSet& dataset;
    Launcher launcher;
  } buttons[] = {
      {"ButtonFilterCSVTableData", csv_table_data_, &MainWindow::ShowFilterDialog},
      {"ButtonFindCSVTableData", csv_table_data_, &MainWindow::ShowFindDialog},
      {"ButtonExportCSVTableData", csv_table_data_, &MainWindow::ShowExportDialog},
      {"ButtonFilterSQLTableData", sql_table_data_, &MainWindow::ShowFilterDialog},
      {"ButtonFindSQLTableData", sql_table_data_, &MainWindow::ShowFindDialog},
      {"ButtonExportSQLTableData", sql_table_data_, &MainWindow::ShowExportDialog},
      {"ButtonFilterQueryResult", query_result_, &MainWindow::ShowFilterDialog},
      {"ButtonFindQueryResult", query_result_, &MainWindow::ShowFindDialog},
      {"ButtonExportQueryResult", query_result_, &MainWindow::ShowExportDialog},
  };
  for (const auto& b : buttons) {
    QPushButton* button = findChild<QPushButton*>(QString::fromLatin1(b.button));
    if (button == nullptr) continue;
    TVoQueryDataSet* dataset = &b.dataset;
    const Launcher launcher = b.launcher;
    connect(button, &QPushButton::clicked, this, [this, dataset, launcher] {
      Guard(messages_, [&] { (this->*launcher)(*dataset); });
    });
  }
}

namespace {

// The launchers' steps around a dialog: closed when visible, opened for the
// dataset, made visible; `open` is the dialog's OpenFor.
template <class Open>
void Launch(Messages& messages, QWidget& dialog, const std::string& close_error, Open&& open,
            const std::string& show_error) {
  try {
    if (dialog.isVisible()) dialog.close();
  } catch (const std::exception&) {
    messages.Info(close_error);
  }
  open();
  try {
    dialog.show();
    dialog.raise();
  } catch (const std::exception& e) {
    messages.Info(show_error + e.what());
  }
}

}  // namespace

void MainWindow::ShowFilterDialog(db::DataSet& dataset) {
  Launch(
      messages_, *form_filters_, "Error while trying to close form FormFilters.",
      [&] { form_filters_->OpenFor(dataset); },
      "Error while trying to open form \"FormFilters\".");
}

void MainWindow::ShowFindDialog(db::DataSet& dataset) {
  Launch(
      messages_, *form_find_, "Error while trying to close form FormFind.",
      [&] {
        try {
          form_find_->OpenFor(dataset);
        } catch (const std::exception& e) {
          messages_.Info(e.what());
        }
      },
      "Error while trying to open form \"FormFind\".");
}

void MainWindow::ShowExportDialog(db::DataSet& dataset) {
  Launch(
      messages_, *form_export_, "Error while trying to close form FormExportToCsv.",
      [&] { form_export_->OpenFor(dataset); },
      "Error while trying to open form \"FormExportToCSV\". ");
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
    if (!IsSessionProperty(name)) continue;
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
    // A value typed into a cell and not yet left belongs to the row that the
    // catalogue's close posts.
    for (DBGrid* grid : findChildren<DBGrid*>()) grid->CommitEdit();
    catalogue_.Close();
    const std::string error = WriteSessionFile(kSessionFile, SessionValues());
    if (!error.empty()) messages_.Info(error);
  }
  event->accept();
}

}  // namespace app

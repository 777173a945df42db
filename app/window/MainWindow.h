// TFormMain's shell: the window with its eight pages, each area built by its
// own class; the components it owns (catalogue, dataset connection, query
// datasets); start-up of the catalogue, and the session file of the splitter
// positions.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Catalogue.h"
#include "Messages.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"

class QSplitter;
class QTabWidget;

namespace app {

class ExternalSourcesArea;
class FormExportToCSV;
class FormFilters;
class FormFind;
class ProjectsArea;
class QueriesArea;
class StaticPages;
class TablesArea;
struct WindowContext;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kSessionFile = "OrlendaSession.xml";

  // Builds the window and opens the catalogue from `program_folder` (ending in
  // a path separator). Every message goes through `messages`, which must
  // outlive the window. The session file is read from the working directory.
  MainWindow(Messages& messages, std::string program_folder, QWidget* parent = nullptr);
  ~MainWindow() override;

  const std::string& AppFolder() const { return app_folder_; }
  Catalogue& GetCatalogue() { return catalogue_; }
  TVoConnection& VoConnection1() { return connection_; }
  TVoQueryDataSet& VoQueryDatasetQueryResult() { return query_result_; }
  TVoQueryDataSet& VoQueryDatasetCSVTableData() { return csv_table_data_; }
  TVoQueryDataSet& VoQueryDatasetSQLTableData() { return sql_table_data_; }
  TVoQueryDataSet& VoQueryDataSetActionQuery() { return action_query_; }

  // The session values, "PairSplitterN.Position" and the handle's position, of
  // the splitters that exist, in the order the session lists them.
  std::vector<std::pair<std::string, int>> SessionValues() const;
  // Applies each value whose name is one of the session's splitters; others
  // are ignored.
  void ApplySession(const std::map<std::string, int>& values);

  // The three dialogs, made hidden with the window; each launcher closes its
  // dialog when visible, opens it for `dataset` and shows it.
  FormFilters& GetFormFilters() { return *form_filters_; }
  FormFind& GetFormFind() { return *form_find_; }
  FormExportToCSV& GetFormExportToCSV() { return *form_export_; }
  void ShowFilterDialog(db::DataSet& dataset);
  void ShowFindDialog(db::DataSet& dataset);
  void ShowExportDialog(db::DataSet& dataset);

 protected:
  // The first show applies the session file's positions.
  void showEvent(QShowEvent* event) override;
  // Closing saves the catalogue (packing it) and the session file; it is
  // never refused.
  void closeEvent(QCloseEvent* event) override;

 private:
  QSplitter* FindSplitter(const std::string& name) const;
  void BindCatalogueHooks();
  void CreateDialogs();

  Messages& messages_;
  std::string app_folder_;
  TVoConnection connection_;
  TVoQueryDataSet query_result_;
  TVoQueryDataSet csv_table_data_;
  TVoQueryDataSet sql_table_data_;
  TVoQueryDataSet action_query_;
  Catalogue catalogue_;
  std::unique_ptr<WindowContext> context_;
  QTabWidget* page_control_ = nullptr;
  std::unique_ptr<ProjectsArea> projects_;
  std::unique_ptr<QueriesArea> queries_;
  std::unique_ptr<ExternalSourcesArea> external_sources_;
  std::unique_ptr<StaticPages> static_pages_;
  std::unique_ptr<TablesArea> tables_;
  // After the catalogue and the datasets, so that they go first.
  std::unique_ptr<FormExportToCSV> form_export_;
  std::unique_ptr<FormFilters> form_filters_;
  std::unique_ptr<FormFind> form_find_;
  bool shown_before_ = false;
  bool closed_ = false;
};

}  // namespace app

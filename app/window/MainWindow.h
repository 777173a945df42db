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
class ProjectsArea;
class QueriesArea;
class StaticPages;
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

 protected:
  // The first show applies the session file's positions.
  void showEvent(QShowEvent* event) override;
  // Closing saves the catalogue (packing it) and the session file; it is
  // never refused.
  void closeEvent(QCloseEvent* event) override;

 private:
  QSplitter* FindSplitter(const std::string& name) const;
  void BindCatalogueHooks();

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
  bool shown_before_ = false;
  bool closed_ = false;
};

}  // namespace app

// The handlers of the Projects and Tables pages: the project folder chosen,
// a table file registered, the fields schema read and set, and the table data
// loaded, sorted by a title click, unloaded and saved. The controls are
// ProjectsArea's; this class finds them by name and connects them.
#pragma once

#include <QString>
#include <memory>

class QWidget;

class TVoQueryDataSet;

namespace app {

class DBGrid;
class FileNameEdit;
class TableData;
struct WindowContext;

class TablesArea {
 public:
  // `root` holds the controls of both pages. `action_query` runs the schema
  // statements. All must outlive this object. Also puts the table-name check
  // in front of the Tables before-post rule.
  TablesArea(WindowContext& context, TVoQueryDataSet& action_query, QWidget& root);
  ~TablesArea();
  TablesArea(const TablesArea&) = delete;
  TablesArea& operator=(const TablesArea&) = delete;

  TableData& CSVTableData() { return *table_data_; }

  // The handlers, as the controls call them.
  void DirectoryEditProjectFolderAcceptDirectory(const QString& directory);
  void FileNameEditTableFileClick();
  void FileNameEditTableFileAcceptFileName(const QString& file_name);
  void ButtonGetFieldsSchemaClick();
  void ButtonSetFieldsSchemaClick();
  void ButtonActivateCSVTablePreviewClick();
  void ButtonDeactivateCSVTablePreviewClick();
  void ButtonUpdateCSVTableClick();
  void DBGridCSVTableTitleClick(const QString& field_name);

 private:
  WindowContext& context_;
  TVoQueryDataSet& action_query_;
  std::unique_ptr<TableData> table_data_;
  DBGrid* csv_grid_ = nullptr;
  FileNameEdit* table_file_ = nullptr;
};

}  // namespace app

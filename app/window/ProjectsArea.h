// The Projects page and the Tables page (TableDesign and TableData tabs): the
// registered projects, their tables and fields, and a table's loaded data.
#pragma once

class QTabWidget;

namespace app {

class FileNameEdit;
struct WindowContext;

class ProjectsArea {
 public:
  // Adds the two pages to `page_control`.
  ProjectsArea(WindowContext& context, QTabWidget& page_control);

  FileNameEdit& FileNameEditTableFile() const { return *table_file_; }

 private:
  void BuildProjectsPage(WindowContext& context, QTabWidget& page_control);
  void BuildTablesPage(WindowContext& context, QTabWidget& page_control);

  FileNameEdit* table_file_ = nullptr;
};

}  // namespace app

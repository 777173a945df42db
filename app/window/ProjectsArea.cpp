// Projects and tables: the controls of both pages. Their handlers (choosing a
// project folder, registering a file, reading and setting the fields schema,
// loading and saving table data) come with the catalogue's operations.
#include "ProjectsArea.h"

#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "Controls.h"
#include "WindowContext.h"

namespace app {

ProjectsArea::ProjectsArea(WindowContext& context, QTabWidget& page_control) {
  BuildProjectsPage(context, page_control);
  BuildTablesPage(context, page_control);
}

void ProjectsArea::BuildProjectsPage(WindowContext& context, QTabWidget& page_control) {
  Messages& m = context.messages;
  db::DataSet* projects = &context.catalogue.Projects();
  DBGrid* grid = MakeGrid(m, nullptr, "DBGridProjects", projects,
                          {{"ProjectName", "PROJECTNAME"},
                           {"ProjectPath", "PROJECTPATH"},
                           {"Comment", "PROJECTCOMMENT"}});
  QWidget* page = Stack({MakeNavigator(m, nullptr, "DBNavigatorProjects", projects),
                         MakeDirectoryEdit(nullptr, "DirectoryEditProjectFolder"), grid},
                        grid);
  page->setObjectName("TabSheetProjects");
  page_control.addTab(page, "Projects");
}

void ProjectsArea::BuildTablesPage(WindowContext& context, QTabWidget& page_control) {
  Messages& m = context.messages;
  db::DataSet* tables = &context.catalogue.Tables();
  db::DataSet* fields = &context.catalogue.Fields();

  table_file_ = MakeFileNameEdit(nullptr, "FileNameEditTableFile");
  DBGrid* tables_grid = MakeGrid(m, nullptr, "DBGridTables", tables,
                                 {{"Table", "TABLENAME"}, {"Comment", "TABLECOMMENT"}});
  QWidget* upper =
      Stack({MakeNavigator(m, nullptr, "DBNavigatorTables", tables), table_file_, tables_grid},
            tables_grid);

  DBGrid* fields_grid = MakeGrid(m, nullptr, "DBGridFields", fields,
                                 {{"Field", "FIELDNAME"}, {"Comment", "FIELDCOMMENT"}});
  QWidget* lower =
      Stack({MakeHeading(nullptr, "Investigate Or Edit Fields (Columns)"),
             Row({MakeNavigator(m, nullptr, "DBNavigatorFields", fields),
                  MakeButton(nullptr, "ButtonGetFieldsSchema", "Get Fields Schema",
                             "Get list of existing fields (columns) in the table."),
                  MakeButton(nullptr, "ButtonSetFieldsSchema", "Set Fields Schema",
                             "Recreate fields (columns) in the table (insert or delete columns), "
                             "according to the list of fields in the list below.")}),
             fields_grid},
            fields_grid);

  QWidget* design = Stack({MakeSplitter("PairSplitter1", Qt::Vertical, 160, upper, lower)});
  design->layout()->setContentsMargins(0, 0, 0, 0);
  design->setObjectName("TabSheetTableDesign");

  DBGrid* data_grid = MakeGrid(m, nullptr, "DBGridCSVTable", &context.VoQueryDatasetCSVTableData);
  QWidget* data = Stack(
      {MakeHeading(nullptr, "Records"),
       Row({MakeNavigator(m, nullptr, "DBNavigatorCSVTable", &context.VoQueryDatasetCSVTableData),
            MakeButton(nullptr, "ButtonDeactivateCSVTablePreview", "Unload Data"),
            MakeButton(nullptr, "ButtonActivateCSVTablePreview", "Load Data"),
            MakeButton(nullptr, "ButtonUpdateCSVTable", "Update CSV table", {}, ButtonLook::kBold),
            MakeButton(nullptr, "ButtonFilterCSVTableData", "Filter"),
            MakeButton(nullptr, "ButtonFindCSVTableData", "Find"),
            MakeButton(nullptr, "ButtonExportCSVTableData", "Export")}),
       data_grid},
      data_grid);
  data->setObjectName("TabSheetTableData");

  QTabWidget* inner = MakePageControl("PageControlTables");
  inner->addTab(design, "TableDesign");
  inner->addTab(data, "TableData");
  QWidget* page = Stack({inner}, inner);
  page->setObjectName("TabSheetTables");
  page_control.addTab(page, "Tables");
}

}  // namespace app

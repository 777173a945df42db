// Projects and table registration: what the Projects page's folder chooser and
// the TableDesign page's file chooser do once the user picked a path.
#include "ProjectOperations.h"

#include <cstdint>
#include <exception>

#include "FieldsSchema.h"
#include "TableNames.h"

namespace app {

std::string OpenCurrentProject(TVoConnection& connection, const std::string& project_path) {
  ConnectToProject(connection, project_path);
  return connection.DatabaseFolder();
}

bool AcceptProjectFolder(Catalogue& catalogue, Messages& messages, const std::string& folder) {
  if (!messages.YesNo("Do you want to apply selected folder as the project folder")) return false;
  dbf::TDbf& projects = catalogue.Projects();
  // Edit on an empty table appends: the folder becomes a project without a name.
  projects.Edit();
  try {
    projects.FieldByName("PROJECTPATH").SetAsString(folder);
    projects.Post();
  } catch (...) {
    // A row left in edit would be posted by the next move with the refused path.
    projects.Cancel();
    throw;
  }
  projects.Refresh();
  return true;
}

std::string TableFileDialogFolder(Catalogue& catalogue) {
  dbf::TDbf& projects = catalogue.Projects();
  if (!projects.Active() || projects.IsEmpty()) return {};
  return projects.FieldByName("PROJECTPATH").AsString();
}

std::string BaseFileName(std::string_view file_name) {
  const std::size_t slash = file_name.find_last_of("/\\");
  return std::string(slash == file_name.npos ? file_name : file_name.substr(slash + 1));
}

std::string TableNameOfFile(std::string_view file_name) {
  const std::string base = BaseFileName(file_name);
  const std::size_t dot = base.rfind('.');
  return dot == base.npos ? base : base.substr(0, dot);
}

bool RegisterTableFile(Catalogue& catalogue, const TVoConnection& connection,
                       Messages& messages, const std::string& file_name) {
  if (!messages.YesNo("Do you want to register selected file as a table of the current project?")) {
    return false;
  }
  const std::string base = BaseFileName(file_name);
  const std::string name = TableNameOfFile(file_name);
  dbf::TDbf& tables = catalogue.Tables();
  bool registered = false;
  std::int64_t table_id = 0;
  try {
    // An empty name would be the file ".txt"; a refused one a file outside
    // the project folder. Neither is stored.
    if (!name.empty() && TableNameProblem(name).empty()) {
      tables.Append();
      tables.FieldByName("TABLENAME").SetAsString(name);
      tables.Post();
      table_id = tables.FieldByName("TABLE_ID").AsInteger();
      registered = true;
    }
  } catch (const std::exception&) {
    // Left in insert, the row would be posted by the next move; and the fields
    // below would replace those of whichever table is current.
    if (tables.State() == db::DataSetState::kInsert) tables.Cancel();
  }
  if (!registered) {
    dbf::TDbf& projects = catalogue.Projects();
    const std::string project = projects.Active() && !projects.IsEmpty()
                                    ? projects.FieldByName("PROJECTNAME").AsString()
                                    : std::string();
    messages.Info("The " + base + " file could not be registered as table: " + name +
                  " in the project: " + project);
  }
  if (tables.Active()) tables.Refresh();
  if (!registered) return false;
  // The fields go to the new table, wherever the re-read left the cursor.
  if (tables.FieldByName("TABLE_ID").AsInteger() != table_id) {
    tables.Locate("TABLE_ID", rtl::Variant::Int(table_id));
  }
  GetFieldsSchema(catalogue, connection, messages);
  return registered;
}

}  // namespace app

// The table-name check and the file of a table.
#include "TableNames.h"

#include <utility>

#include "Catalogue.h"
#include "Messages.h"
#include "db/DatabaseError.h"

namespace app {

std::string TableNameProblem(std::string_view name) {
  const bool leaves_folder = name.find_first_of(std::string_view("/\\\0", 3)) != name.npos ||
                             name == "." || name == "..";
  if (!leaves_folder) return {};
  return "Invalid table name: " + std::string(name) +
         " (a table name may not hold \"/\", \"\\\" or NUL, nor be \".\" or \"..\")";
}

std::string TableFilePath(const std::string& folder, const std::string& name) {
  return folder + name + ".txt";
}

std::optional<std::string> CurrentTableName(Catalogue& catalogue) {
  dbf::TDbf& tables = catalogue.Tables();
  if (!tables.Active() || tables.IsEmpty()) return std::nullopt;
  return tables.FieldByName("TABLENAME").AsString();
}

std::optional<std::string> CurrentTableToWorkOn(Catalogue& catalogue, Messages& messages) {
  std::optional<std::string> table = CurrentTableName(catalogue);
  if (!table) {
    messages.Info(kNoCurrentTable);
    return std::nullopt;
  }
  if (const std::string problem = TableNameProblem(*table); !problem.empty()) {
    messages.Info(problem);
    return std::nullopt;
  }
  return table;
}

void GuardTableNames(Catalogue& catalogue) {
  dbf::TDbf& tables = catalogue.Tables();
  tables.BeforePost = [rule = std::move(tables.BeforePost)](db::DataSet& dataset) {
    const std::string problem = TableNameProblem(dataset.FieldByName("TABLENAME").AsString());
    if (!problem.empty()) throw db::DatabaseError(problem);
    if (rule) rule(dataset);
  };
}

}  // namespace app

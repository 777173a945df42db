// What the Queries page does, apart from its widgets: the catalogue walks that
// feed the editor's highlighter and completion words, the parameters of the
// current query, the SQL lines a run sends and the saving of its result.
#pragma once

#include <string>
#include <vector>

#include "QueryText.h"

class TVoQueryDataSet;

namespace app {

class Catalogue;

// The TABLENAME of every Tables row of the current project, in Tables order.
// Tables returns to the row it was on; a closed Tables gives none.
std::vector<std::string> ProjectTableNames(Catalogue& catalogue);

// Every table of the current project with its fields, in the order of Tables
// and Fields. The grids do not follow the walk; Tables and Fields return to the
// rows they were on, also when a step fails (the error then passes on).
std::vector<TableFields> ProjectTablesAndFields(Catalogue& catalogue);

// The parameters of the current query, in the order of QueriesParameters,
// which is left on the last of them. None when the table is closed or empty.
std::vector<QueryParameter> CurrentQueryParameters(Catalogue& catalogue);

// Each line with the parameters put in (SubstituteParameters), in order.
std::vector<std::string> ParameterizedLines(const std::vector<std::string>& lines,
                                            const std::vector<QueryParameter>& params);

// The QUERYTEXT of the current Queries row as last posted; "" with no row.
std::string StoredQueryText(Catalogue& catalogue);

// Writes the result as a table file: the field names joined by ";", then the
// rows the dataset shows (its filter applies) in its current order, each value
// in the engine's cell encoding; the file is replaced whole or not at all, and
// afterwards the current row is the last one. Throws db::DatabaseError "No
// filename set for export" for an empty name, "Dataset not in browse mode"
// for a closed dataset or one in edit or insert, and the writer's errors.
void SaveQueryResult(TVoQueryDataSet& result, const std::string& file_name);

}  // namespace app

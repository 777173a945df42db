// The Queries page's catalogue walks, parameters and result file.
#include "QueryOperations.h"

#include "Catalogue.h"
#include "db/DatabaseError.h"
#include "datasets/VoQueryDataSet.h"
#include "datasets/VoTableFile.h"

namespace app {
namespace {

// Stops the grids of `dataset` from following a walk and brings it back to
// its row afterwards, whatever happens meanwhile.
class WalkScope {
 public:
  explicit WalkScope(db::DataSet& dataset) : dataset_(dataset) {
    dataset_.DisableControls();
    bookmark_ = dataset_.GetBookmark();
  }
  ~WalkScope() {
    try {
      if (dataset_.Active() && bookmark_.IsSet() && dataset_.BookmarkValid(bookmark_)) {
        dataset_.GotoBookmark(bookmark_);
      }
    } catch (...) {
      // The row is gone or hidden: the walk's own error, if any, is the one to hear.
    }
    dataset_.EnableControls();
  }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;

 private:
  db::DataSet& dataset_;
  db::Bookmark bookmark_;
};

}  // namespace

std::vector<std::string> ProjectTableNames(Catalogue& catalogue) {
  dbf::TDbf& tables = catalogue.Tables();
  std::vector<std::string> names;
  if (!tables.Active()) return names;
  WalkScope keep(tables);
  for (tables.First(); !tables.Eof(); tables.Next()) {
    names.push_back(tables.FieldByName("TABLENAME").AsString());
  }
  return names;
}

std::vector<TableFields> ProjectTablesAndFields(Catalogue& catalogue) {
  dbf::TDbf& tables = catalogue.Tables();
  dbf::TDbf& fields = catalogue.Fields();
  std::vector<TableFields> result;
  if (!tables.Active()) return result;
  // Fields follows Tables: it is brought back after Tables is.
  WalkScope keep_fields(fields);
  WalkScope keep_tables(tables);
  for (tables.First(); !tables.Eof(); tables.Next()) {
    TableFields table{tables.FieldByName("TABLENAME").AsString(), {}};
    if (fields.Active()) {
      for (fields.First(); !fields.Eof(); fields.Next()) {
        table.fields.push_back(fields.FieldByName("FIELDNAME").AsString());
      }
    }
    result.push_back(std::move(table));
  }
  return result;
}

std::vector<QueryParameter> CurrentQueryParameters(Catalogue& catalogue) {
  dbf::TDbf& params = catalogue.QueriesParameters();
  std::vector<QueryParameter> result;
  if (!params.Active()) return result;
  for (params.First(); !params.Eof(); params.Next()) {
    result.push_back({params.FieldByName("QUERYPARAMETERNAME").AsString(),
                      params.FieldByName("QUERYPARAMETERVALUE").AsString()});
  }
  return result;
}

std::vector<std::string> ParameterizedLines(const std::vector<std::string>& lines,
                                            const std::vector<QueryParameter>& params) {
  std::vector<std::string> result;
  result.reserve(lines.size());
  for (const std::string& line : lines) result.push_back(SubstituteParameters(line, params));
  return result;
}

std::string StoredQueryText(Catalogue& catalogue) {
  dbf::TDbf& queries = catalogue.Queries();
  if (!queries.Active() || queries.IsEmpty()) return {};
  return queries.FieldByName("QUERYTEXT").AsString();
}

void SaveQueryResult(TVoQueryDataSet& result, const std::string& file_name) {
  if (file_name.empty()) throw db::DatabaseError("No filename set for export");
  if (!result.Active() || result.State() != db::DataSetState::kBrowse) {
    throw db::DatabaseError("Dataset not in browse mode");
  }
  SaveDataSetToTableFile(result, file_name, TableFileOptions{.all_rows = false});
  result.Last();
}

}  // namespace app

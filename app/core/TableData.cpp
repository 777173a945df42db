// Loading, unloading, sorting and saving the current table's data.
#include "TableData.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <functional>
#include <utility>

#include "db/DatabaseError.h"
#include "rtl/FileAccess.h"
#include "TableNames.h"
#include "datasets/VoTableFile.h"

namespace app {

namespace {

constexpr std::string_view kLoadAnnouncement =
    "Orlenda will try to load data now. Please, be patient.";
constexpr std::string_view kFinished = "Finished!";

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

// The first line of `file` without its line break; "" when it cannot be read.
std::string FirstLine(const std::string& file) {
  // A file that cannot be read, or is no regular file (a pipe or a device,
  // which the load refuses), gives nothing here.
  rtl::FileReader reader;
  if (!reader.Open(file)) return {};
  std::string line;
  char chunk[4096];
  for (;;) {
    const long got = reader.Read(chunk, sizeof chunk);
    if (got <= 0) return line;
    const std::string_view part(chunk, static_cast<std::size_t>(got));
    const std::size_t end = part.find_first_of("\r\n");
    line.append(part.substr(0, end));
    if (end != std::string_view::npos) return line;
  }
}

}  // namespace

std::vector<std::string> HeaderLineNames(std::string_view line) {
  std::vector<std::string> names;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (true) {
    while (i < n && line[i] != '\0' && IsBlankOrControl(line[i])) ++i;
    if (i >= n) break;
    std::string_view name;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == line.npos) {
        name = line.substr(i);
        i = n;
      } else {
        name = line.substr(i + 1, close - i - 1);
        i = std::min(line.find(';', close + 1), n);
      }
    } else {
      const std::size_t semicolon = std::min(line.find(';', i), n);
      name = line.substr(i, semicolon - i);
      i = semicolon;
    }
    if (i < n) ++i;
    name = Trimmed(name);
    name = name.substr(0, name.find('='));
    if (!name.empty()) names.emplace_back(name);
  }
  return names;
}

std::vector<int> FitGridColumnsToTitles(const std::vector<int>& widths,
                                        const std::vector<int>& title_widths) {
  std::vector<int> fitted = widths;
  for (std::size_t i = 0; i < fitted.size() && i < title_widths.size(); ++i) {
    if (fitted[i] < title_widths[i]) fitted[i] = title_widths[i] + 10;
  }
  return fitted;
}

bool SortByTitle(TVoQueryDataSet& dataset, std::string_view field_name) {
  if (!dataset.Active()) return false;
  return dataset.ToggleIndexOnField(field_name);
}

// A load posts every row it reads and empties the dataset first: only the
// user's posts and deletes change the data.
struct TableData::OwnAfterPost {
  TableData* page;
  void operator()(db::DataSet& d) const {
    if (!page->dataset_.InternalLoading()) page->changed_ = true;
    if (page->previous_after_post_) page->previous_after_post_(d);
  }
};

TableData::TableData(TVoQueryDataSet& dataset)
    : dataset_(dataset),
      previous_after_post_(std::move(dataset.AfterPost)),
      previous_after_delete_(std::move(dataset.AfterDelete)) {
  dataset_.AfterPost = OwnAfterPost{this};
  dataset_.AfterDelete = [this](db::DataSet& d) {
    if (!dataset_.InternalLoading()) changed_ = true;
    if (previous_after_delete_) previous_after_delete_(d);
  };
}

TableData::~TableData() {
  dataset_.AfterPost = std::move(previous_after_post_);
  dataset_.AfterDelete = std::move(previous_after_delete_);
}

bool TableData::HasUnsavedChanges() const {
  if (!Loaded()) return false;
  const db::DataSetState state = dataset_.State();
  const bool pending =
      (state == db::DataSetState::kEdit || state == db::DataSetState::kInsert) && dataset_.Modified();
  return changed_ || pending;
}

std::string TableData::DiscardQuestion() const {
  return "The data of table " + loaded_table_ +
         " has changes that are not saved to its file. Discard them?";
}

bool TableData::LoadCSVTableData(Catalogue& catalogue, Messages& messages) {
  const std::optional<std::string> table = CurrentTableToWorkOn(catalogue, messages);
  if (!table) return false;
  // The reader would create a missing file: a table registered from another
  // folder would leave an empty file in this one.
  const TVoConnection* connection = dataset_.VoConnection();
  const std::string file =
      TableFilePath(connection != nullptr ? connection->DatabaseFolder() : std::string(), *table);
  if (rtl::KindOfPath(file) == rtl::PathKind::kMissing) {
    messages.Info("The file " + file + " of table " + *table + " does not exist.");
    return false;
  }
  if (HasUnsavedChanges() && !messages.YesNo(DiscardQuestion())) return false;
  return Load(*table, messages);
}

bool TableData::Reload(Messages& messages) {
  if (!Loaded()) return false;
  return Load(loaded_table_, messages);
}

bool TableData::Load(const std::string& table, Messages& messages) {
  messages.Info(kLoadAnnouncement);
  bool failed = false;
  std::string error;
  dataset_.DisableControls();
  if (detach_view) detach_view();
  // During a load the chained AfterPost above does nothing but pass each row's
  // post on to the handler set before it. Without one (and unless another
  // handler took its place) it is left out until the load ends: a dataset with
  // no per-row handler stores the rows straight.
  std::function<void(db::DataSet&)> own_after_post;
  if (!previous_after_post_ && dataset_.AfterPost.target<OwnAfterPost>() != nullptr) {
    own_after_post = std::exchange(dataset_.AfterPost, nullptr);
  }
  try {
    dataset_.SetTableName(table);
    TVoConnection* connection = dataset_.VoConnection();
    if (connection != nullptr) PrepareUncutFields(TableFilePath(connection->DatabaseFolder(), table));
    dataset_.ReadTableFile();
    // The header was read here otherwise than the reader read it (a rare
    // name): its columns got the reader's sizes, so the rows are read again
    // into widened ones.
    if (HasCutFields()) {
      WidenFields();
      dataset_.ReadTableFile();
    }
    // The load resolved the folder again: the file is the one it read.
    loaded_table_ = table;
    loaded_file_ = TableFilePath(dataset_.VoConnection()->DatabaseFolder(), table);
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  } catch (...) {
    failed = true;
    error = "Unknown error";
  }
  if (own_after_post) dataset_.AfterPost = std::move(own_after_post);
  changed_ = false;
  if (failed) {
    // Half-read rows must not be taken for the table: a save would write them
    // over the whole file.
    loaded_table_.clear();
    loaded_file_.clear();
    dataset_.Close();
  }
  dataset_.EnableControls();
  // The view comes back also after a failure: it then shows the closed data.
  if (attach_view) attach_view(!failed);
  messages.Info(kFinished);
  if (failed) messages.Error(error);
  return !failed;
}

void TableData::PrepareUncutFields(const std::string& file) {
  const std::vector<std::string> names = HeaderLineNames(FirstLine(file));
  db::FieldDefList& defs = dataset_.FieldDefs();
  bool same = defs.Count() == static_cast<int>(names.size()) &&
              dataset_.FieldCount() == defs.Count();
  for (int i = 0; same && i < defs.Count(); ++i) {
    same = defs[i].Name == names[static_cast<std::size_t>(i)] &&
           dataset_.Fields(i).Size() >= kUncutFieldSize;
  }
  if (same || names.empty()) return;
  dataset_.Close();
  defs.Clear();
  dataset_.DestroyFields();
  try {
    for (const std::string& name : names) defs.Add(name, db::FieldType::ftString, kUncutFieldSize);
  } catch (const db::DatabaseError&) {
    // Two names equal but for case: the load reports them.
    defs.Clear();
    return;
  }
  // One ascending and one descending sort per column, as the load would allow.
  const int indexes = 2 * defs.Count() + 3;
  if (dataset_.MaxIndexesCount() < indexes) dataset_.SetMaxIndexesCount(indexes);
  dataset_.CreateDataset();
}

bool TableData::HasCutFields() const {
  for (int i = 0; i < dataset_.FieldCount(); ++i) {
    const db::Field& field = dataset_.Fields(i);
    if (field.Kind() == db::StorageKind::kText && field.Size() < kUncutFieldSize) return true;
  }
  return false;
}

void TableData::WidenFields() {
  dataset_.Close();
  db::FieldDefList& defs = dataset_.FieldDefs();
  for (int i = 0; i < defs.Count(); ++i) {
    if (db::StorageOf(defs[i].DataType) == db::StorageKind::kText) {
      defs[i].Size = std::max(defs[i].Size, kUncutFieldSize);
    }
  }
  dataset_.DestroyFields();
  dataset_.CreateDataset();
}

bool TableData::UnloadData(Messages& messages) {
  if (HasUnsavedChanges() && !messages.YesNo(DiscardQuestion())) return false;
  dataset_.Close();
  loaded_table_.clear();
  loaded_file_.clear();
  changed_ = false;
  return true;
}

bool TableData::SaveCSVTableData(Catalogue& catalogue, Messages& messages) {
  const std::optional<std::string> current = CurrentTableName(catalogue);
  if (!current || current->empty()) return false;
  const std::string table = Loaded() ? loaded_table_ : dataset_.TableName();
  try {
    if (!Loaded() || !dataset_.Active()) throw db::DatabaseError("No table data is loaded.");
    SaveDataSetToTableFile(dataset_, loaded_file_);
  } catch (const std::exception& e) {
    messages.Info("Error while trying to save updated table " + table + ". " + e.what());
    return false;
  }
  changed_ = false;
  messages.Info("Table " + table + " updated and saved to file: " + loaded_file_);
  return true;
}

}  // namespace app

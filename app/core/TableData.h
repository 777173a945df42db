// The TableData page without a window: the current table's rows loaded into
// the table-data dataset, unloaded, sorted by a column title and written back
// to the file they were loaded from; and the column widths that fit the titles.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Catalogue.h"
#include "db/DataSet.h"
#include "Messages.h"
#include "datasets/VoQueryDataSet.h"

namespace app {

// Field size given to every loaded column, so that no value is cut: not on a
// reload, and not when a longer value is typed into a cell. Texts are stored
// at their own length; the size only bounds what a field accepts.
inline constexpr int kUncutFieldSize = 1 << 28;

class TableData {
 public:
  // `dataset` is the table-data dataset, its VoConnection set; it must outlive
  // this object. Its AfterPost and AfterDelete events are chained (set any of
  // your own before making this object): a post or delete outside a load marks
  // the loaded data changed. The destructor puts the previous events back.
  explicit TableData(TVoQueryDataSet& dataset);
  ~TableData();
  TableData(const TableData&) = delete;
  TableData& operator=(const TableData&) = delete;

  // Button "Load Data". Reports and does nothing else when there is no current
  // table, when its name is refused (TableNameProblem) and when its file is
  // missing; asks before discarding changes of the loaded data that were not
  // saved (No keeps them and loads nothing). Otherwise shows "Orlenda will try
  // to load data now. Please, be patient.", loads DatabaseFolder + TABLENAME +
  // ".txt" (every column a text field of kUncutFieldSize; a column sort chosen
  // before stays when the new data has that column, else the rows keep the
  // file's order), shows "Finished!", and then, when the load failed, the
  // error in Messages::Error (the dataset is then closed and nothing is
  // loaded). True when the data was loaded.
  bool LoadCSVTableData(Catalogue& catalogue, Messages& messages);
  // Loads the loaded table's file again, without asking (Set Fields Schema
  // asked before it changed the file); the same messages as a load.
  bool Reload(Messages& messages);
  // Button "Unload Data": asks before discarding unsaved changes (No keeps the
  // data); closes the dataset. True when closed.
  bool UnloadData(Messages& messages);
  // Button "Update CSV table". Only when Tables shows a current row with a
  // non-empty TABLENAME: writes every row (whatever the filter, in the current
  // sort order, a pending edit posted first) to the file the data was loaded
  // from, through SaveDataSetToTableFile (replaced whole or not at all), then
  // shows "Table <T> updated and saved to file: <file>". A failure, and a save
  // with no data loaded, shows "Error while trying to save updated table <T>.
  // " + the reason and leaves the file as it was. True when written.
  bool SaveCSVTableData(Catalogue& catalogue, Messages& messages);

  // Called around every read of a file into the dataset (loads and reloads):
  // the window detaches its grid before and attaches it again after, then,
  // when `loaded`, fits its columns. Left empty, nothing is called.
  std::function<void()> detach_view;
  std::function<void(bool loaded)> attach_view;

  bool Loaded() const { return !loaded_file_.empty(); }
  // The table and file of the loaded data; "" when none is loaded.
  const std::string& LoadedTable() const { return loaded_table_; }
  const std::string& LoadedFile() const { return loaded_file_; }
  // True when data is loaded and a row was posted or deleted since the load or
  // the last save, or an edit with a change in it is pending.
  bool HasUnsavedChanges() const;

 private:
  bool Load(const std::string& table, Messages& messages);
  // Gives the dataset one text field of kUncutFieldSize per column of the
  // file's header line, so that the load keeps them.
  void PrepareUncutFields(const std::string& file);
  bool HasCutFields() const;
  void WidenFields();
  std::string DiscardQuestion() const;

  TVoQueryDataSet& dataset_;
  db::DataSetNotifyEvent previous_after_post_;
  // The AfterPost this object sets: a type of its own, so that a load can tell
  // it from a handler set after it.
  struct OwnAfterPost;
  db::DataSetNotifyEvent previous_after_delete_;
  std::string loaded_table_;
  std::string loaded_file_;
  bool changed_ = false;
};

// A click on a column title of a data grid: sorts `dataset` by the column,
// ascending first, then alternating (ToggleIndexOnField). False, and nothing
// changes, on a closed dataset and for a column it cannot sort.
bool SortByTitle(TVoQueryDataSet& dataset, std::string_view field_name);

// The column names of a table file's header line as the reader takes them
// (blanks and control characters around each dropped, a double-quoted name
// unquoted, empty names dropped, "=size" cut off).
std::vector<std::string> HeaderLineNames(std::string_view line);

// Column widths after fitting them to their titles: a column narrower than its
// title's width becomes the title's width + 10; wider ones stay. Both lists are
// in pixels, column by column (the window measures the titles).
std::vector<int> FitGridColumnsToTitles(const std::vector<int>& widths,
                                        const std::vector<int>& title_widths);

}  // namespace app

// How a statement's expressions read the cells of the rows it is working on:
// each table of the statement is an entry with its own current row, and names
// are bound to (entry, column) once per compiled expression.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vekSQLExpression2.h"
#include "engine/vekSQLRecords.h"

namespace vek {

class RowResolver : public VariableSource {
 public:
  // `qualified` makes "name.column" and "alias.column" look the entry up by its
  // name or alias (exact, letter case counts, first entry wins); a SELECT over
  // one table registers no names, so there "t.a" is an unknown name.
  int AddEntry(RecordSetPtr set, std::string name, std::string alias, bool qualified);
  void SetRow(int entry, int row) { entries_[entry].row = row; }
  // Gives the entry other rows of the same columns (the next piece of a table
  // read a piece at a time); names stay bound as they were.
  void SetSet(int entry, RecordSetPtr set) { entries_[entry].set = std::move(set); }
  int Row(int entry) const { return entries_[entry].row; }
  const RecordSetPtr& Set(int entry) const { return entries_[entry].set; }
  int EntryCount() const { return static_cast<int>(entries_.size()); }

  // With whole field names a name holding "." is a column name as it stands
  // (the columns of a join result are named "table.column").
  void SetWholeFieldNames(bool whole) { whole_field_names_ = whole; }
  // The cells of the entry's columns marked true read as null (the sum, avg,
  // max or min of no rows), whatever their text.
  void SetNullColumns(int entry, std::vector<bool> columns) {
    entries_[entry].null_columns = std::move(columns);
  }

  // Binds to the first entry whose table has the column; -1 when none has it.
  int BindVariable(std::string_view name) override;
  bool GetVariable(int handle, rtl::Variant& out) override;
  // The text GetVariable reads for `handle`; nullopt where it reads null.
  std::optional<std::string_view> CellText(int handle) const;

  // The entry and column a handle reads.
  struct Binding {
    int entry;
    int column;
  };
  const Binding& BindingOf(int handle) const { return bindings_[handle]; }

 private:
  struct Entry {
    RecordSetPtr set;
    std::string name;
    std::string alias;
    bool qualified;
    int row = 0;
    std::vector<bool> null_columns;
  };
  std::vector<Entry> entries_;
  std::vector<Binding> bindings_;
  bool whole_field_names_ = false;
};

}  // namespace vek

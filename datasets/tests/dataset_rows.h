// Test helpers for datasets filled from rows of texts: give a dataset its
// columns and rows, and read one field over the rows it shows.
#pragma once

#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"

namespace vo_testing {

using Texts = std::vector<std::string>;

struct Column {
  const char* name;
  db::FieldType type;
  int size = 0;
  bool required = false;
};

// Gives `ds` the columns and rows (texts; "" leaves a value null), open on its
// first row. At most `max_indexes` indexes, 2 per column and 3 when 0.
inline void Fill(TVoBufDataset& ds, const std::vector<Column>& columns,
                 const std::vector<Texts>& rows, int max_indexes = 0) {
  for (const Column& c : columns) ds.FieldDefs().Add(c.name, c.type, c.size, c.required);
  ds.SetMaxIndexesCount(max_indexes > 0 ? max_indexes : 2 * static_cast<int>(columns.size()) + 3);
  ds.CreateDataset();
  ds.Open();
  for (const Texts& row : rows) {
    ds.Append();
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (!row[i].empty()) ds.Fields(static_cast<int>(i)).SetAsString(row[i]);
    }
    ds.Post();
  }
  ds.First();
}

// The values of one field over the rows the dataset shows, in its order.
inline Texts Values(db::DataSet& ds, const char* field) {
  Texts values;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    db::Field& f = ds.FieldByName(field);
    values.push_back(f.IsNull() ? "<null>" : f.AsString());
  }
  return values;
}

}  // namespace vo_testing

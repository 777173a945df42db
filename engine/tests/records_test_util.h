// Test helpers for record sets: build a set from names and rows of cell texts,
// and read its cells back exactly (short rows stay short).
#pragma once

#include <string>
#include <vector>

#include "engine/vekSQL.h"

namespace vek::testing {

using Strings = std::vector<std::string>;
using CellRows = std::vector<Strings>;

inline CellRows CellsOf(const TvekRecordSet& set) {
  CellRows rows;
  for (const TvekRecord& row : set.Records) {
    Strings cells;
    for (int i = 0; i < row.FieldCount(); ++i) cells.emplace_back(row.Cell(i));
    rows.push_back(cells);
  }
  return rows;
}

inline TvekRecordSet MakeSet(const Strings& names, const CellRows& rows) {
  TvekRecordSet set;
  set.Name = "t";
  set.FieldNames = names;
  for (const Strings& cells : rows) {
    TvekRecord& row = set.Records.emplace_back();
    for (const std::string& cell : cells) row.AddField(cell);
  }
  return set;
}

}  // namespace vek::testing

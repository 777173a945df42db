// A small buffered dataset for the widget tests: rows of an id, a name and a
// logical flag, open on its first row.
#pragma once

#include <string>

#include "datasets/VoBufDataset.h"

namespace app_testing {

// `rows` rows: id "1".."n", name "name<i>", flag true on even ids.
inline void FillPeople(TVoBufDataset& ds, int rows) {
  ds.FieldDefs().Add("ID", db::FieldType::ftString, 10);
  ds.FieldDefs().Add("NAME", db::FieldType::ftString, 30);
  ds.FieldDefs().Add("FLAG", db::FieldType::ftBoolean);
  ds.CreateDataset();
  ds.Open();
  ds.DisableControls();
  for (int i = 1; i <= rows; ++i) {
    ds.Append();
    ds.Fields(0).SetAsString(std::to_string(i));
    ds.Fields(1).SetAsString("name" + std::to_string(i));
    ds.Fields(2).SetAsBoolean(i % 2 == 0);
    ds.Post();
  }
  ds.EnableControls();
  ds.First();
}

}  // namespace app_testing

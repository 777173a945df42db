// A data source: a named link through which controls and detail datasets reach
// a dataset. It does not own the dataset, which must outlive the link or be
// unset first.
#pragma once

#include <string>

namespace db {

class DataSet;

class DataSource {
 public:
  DataSource() = default;
  explicit DataSource(DataSet* dataset) : dataset_(dataset) {}

  DataSet* GetDataSet() const { return dataset_; }
  void SetDataSet(DataSet* dataset) { dataset_ = dataset; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

 private:
  DataSet* dataset_ = nullptr;
  std::string name_;
};

}  // namespace db

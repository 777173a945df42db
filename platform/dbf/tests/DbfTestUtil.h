// Helpers of the dbf tests: a temporary folder per test, whole-file reads and
// writes, and a table set up the way the catalogue sets up its tables.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dbf/Dbf.h"

class DbfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbf_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern + "/";
  }
  void TearDown() override {
    tables_.clear();
    std::filesystem::remove_all(folder_);
  }

  // A closed table in the test folder; owned by the fixture.
  dbf::TDbf& Table(const std::string& file_name, std::vector<dbf::FieldDef> fields,
                   std::vector<dbf::IndexDef> indexes = {}) {
    tables_.push_back(std::make_unique<dbf::TDbf>());
    dbf::TDbf& table = *tables_.back();
    table.SetFilePath(folder_);
    table.SetTableName(file_name);
    table.SetExclusive(true);
    table.SetStoredDefs(std::move(fields), std::move(indexes));
    return table;
  }

  std::string Path(const std::string& name) const { return folder_ + name; }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::string folder_;
  std::vector<std::unique_ptr<dbf::TDbf>> tables_;
};

// Appends and posts one row of text values by field name ("" leaves null).
inline void AddRow(dbf::TDbf& table,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  table.Append();
  for (const auto& [name, value] : values) table.FieldByName(name).SetAsString(value);
  table.Post();
}

// The values of `field` over all rows shown, in order.
inline std::vector<std::string> Column(dbf::TDbf& table, const std::string& field) {
  std::vector<std::string> values;
  for (table.First(); !table.Eof(); table.Next())
    values.push_back(table.FieldByName(field).AsString());
  return values;
}

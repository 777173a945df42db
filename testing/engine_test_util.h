// Shared helpers of the engine's tests: a temporary catalog folder with table
// files, and a way to run SQL and read a result as rows of texts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/vekSQL.h"
#include "rtl/Separators.h"
#include "testing/temp_folder.h"

namespace vek::testing {

using rtl::testing::TempFolder;

// The rows of a record set, each row its cells joined with "|", the first
// entry the column names joined with "|".
inline std::vector<std::string> Rows(const TvekRecordSet& set) {
  std::vector<std::string> rows;
  std::string header;
  for (std::size_t i = 0; i < set.FieldNames.size(); ++i) {
    if (i) header += '|';
    header += set.FieldNames[i];
  }
  rows.push_back(header);
  for (const TvekRecord& r : set.Records) {
    std::string line;
    for (int i = 0; i < r.FieldCount(); ++i) {
      if (i) line += '|';
      line += r.Cell(i);
    }
    rows.push_back(line);
  }
  return rows;
}

// An engine connected to a temporary folder.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "");
    rtl::InitLocaleSeparators();
    ASSERT_EQ(engine_.ExecuteSQL("connect to '" + dir_.path() + "'"), -1)
        << TvekSQL::GetLastError();
  }

  // Runs `sql` and returns the rows of its result (see Rows); fails the test
  // when the batch fails or produces no record set.
  std::vector<std::string> Query(const std::string& sql) {
    int n = engine_.ExecuteSQL(sql);
    EXPECT_GT(n, 0) << sql << ": " << TvekSQL::GetLastError();
    if (n <= 0) return {};
    return Rows(*engine_.GetRecordSet(n));
  }
  // Runs `sql` expecting failure; returns the last error text.
  std::string Error(const std::string& sql) {
    EXPECT_EQ(engine_.ExecuteSQL(sql), 0) << sql;
    return TvekSQL::GetLastError();
  }

  TempFolder dir_;
  TvekSQL engine_;
};

}  // namespace vek::testing

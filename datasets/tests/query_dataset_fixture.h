// A query dataset on a connection to a temporary folder holding one table t,
// over the real engine, with every message recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "datasets/Reporter.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

class QueryDataSetFixture : public ::testing::Test {
 protected:
  explicit QueryDataSetFixture(std::string table) : table_(std::move(table)) {}

  void SetUp() override {
    dir_.Write("t.txt", table_);
    connection_.SetDatabasePath(dir_.path());
    ds_.SetName("Result");
    ds_.SetVoConnection(&connection_);
  }

  void Run(std::vector<std::string> lines) {
    ds_.SetSQL(lines);
    ds_.RunSqlText();
  }

  std::string table_;
  rtl::ScopedSeparators separators_{'.', ','};
  RecordingReporter messages_;
  vek::testing::TempFolder dir_;
  TVoConnection connection_;
  TVoQueryDataSet ds_;
};

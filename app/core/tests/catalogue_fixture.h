// A catalogue opened in a temporary program folder with recording messages and
// hooks, helpers that add rows through the catalogue's own tables, and readers
// that look at the table files afterwards without the catalogue.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/temp_folder.h"
#include "Catalogue.h"
#include "dbf/Dbf.h"
#include "Messages.h"

namespace app::testing {

using Values = std::vector<std::pair<std::string, std::string>>;
// One row of a table file: field name to value as text.
using Row = std::map<std::string, std::string>;

// Every row of a table file that is not marked deleted, in record order, read
// through a table of its own (no master, no tag).
inline std::vector<Row> ReadFile(const std::string& folder, const std::string& file_name) {
  dbf::TDbf table;
  table.SetFilePath(folder);
  table.SetTableName(file_name);
  table.Open();
  std::vector<Row> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    Row row;
    for (int i = 0; i < table.FieldCount(); ++i) {
      row[table.Fields(i).FieldName()] = table.Fields(i).AsString();
    }
    rows.push_back(std::move(row));
  }
  table.Close();
  return rows;
}

// The values of `field` in the rows a table shows now, in its order; the
// current row is kept.
inline std::vector<std::string> Shown(db::DataSet& table, const std::string& field) {
  std::vector<std::string> values;
  if (table.IsEmpty()) return values;
  const db::Bookmark here = table.GetBookmark();
  for (table.First(); !table.Eof(); table.Next()) {
    values.push_back(table.FieldByName(field).AsString());
  }
  table.GotoBookmark(here);
  return values;
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    OpenCatalogue();
  }

  std::string Folder() const { return folder_.path() + "/"; }

  void OpenCatalogue() {
    catalogue_ = std::make_unique<Catalogue>(messages_);
    catalogue_->hooks.editor_text = [this] { return editor_; };
    catalogue_->hooks.load_query_text = [this](const std::string& text) {
      loaded_.push_back(text);
    };
    catalogue_->hooks.refresh_table_names = [this] { ++table_name_refreshes_; };
    catalogue_->hooks.rebuild_completion_words = [this] { ++completion_rebuilds_; };
    catalogue_->hooks.open_current_project = [this](const std::string& path) {
      project_paths_.push_back(path);
    };
    catalogue_->Open(Folder());
  }

  // Packs and frees the catalogue, so that the files can be read on their own.
  void CloseCatalogue() {
    catalogue_->Close();
    catalogue_.reset();
  }

  // Appends a row with `values`, posts it and returns its auto-increment key
  // (`key_field`).
  static std::int64_t Add(dbf::TDbf& table, const std::string& key_field, const Values& values) {
    table.Append();
    for (const auto& [field, value] : values) table.FieldByName(field).SetAsString(value);
    table.Post();
    return table.FieldByName(key_field).AsInteger();
  }

  std::int64_t AddProject(const std::string& name, const std::string& path = "") {
    return Add(catalogue_->Projects(), "PROJECT_ID",
               {{"PROJECTNAME", name}, {"PROJECTPATH", path}});
  }
  std::int64_t AddTable(const std::string& name) {
    return Add(catalogue_->Tables(), "TABLE_ID", {{"TABLENAME", name}});
  }
  std::int64_t AddField(const std::string& name) {
    return Add(catalogue_->Fields(), "FIELD_ID", {{"FIELDNAME", name}});
  }
  std::int64_t AddConnector(const std::string& name) {
    return Add(catalogue_->SQLConnectors(), "SQLCONNECTOR_ID", {{"SQLCONNECTORNAME", name}});
  }
  std::int64_t AddSQLTable(const std::string& name) {
    return Add(catalogue_->SQLTables(), "SQLTABLE_ID", {{"SQLTABLENAME", name}});
  }
  // The query's text is what the editor shows when it is posted.
  std::int64_t AddQuery(const std::string& name, const std::string& text = "") {
    editor_ = text;
    return Add(catalogue_->Queries(), "QUERY_ID", {{"QUERYNAME", name}});
  }
  std::int64_t AddParameter(const std::string& name) {
    return Add(catalogue_->QueriesParameters(), "QUERYPARAMETER_ID",
               {{"QUERYPARAMETERNAME", name}});
  }
  std::int64_t AddFilter(const std::string& name) {
    return Add(catalogue_->Filters(), "FILTER_ID", {{"FILTERNAME", name}});
  }

  std::vector<Row> Read(const std::string& file_name) const {
    return ReadFile(Folder(), file_name);
  }

  rtl::testing::TempFolder folder_;
  RecordingMessages messages_;
  std::unique_ptr<Catalogue> catalogue_;
  // What the hooks were given and answered.
  std::string editor_;
  std::vector<std::string> loaded_;
  std::vector<std::string> project_paths_;
  int table_name_refreshes_ = 0;
  int completion_rebuilds_ = 0;
};

}  // namespace app::testing

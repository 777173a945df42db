// A catalogue with one project whose folder is a fresh temporary folder, the
// dataset connection following it, the table-data and action-query datasets on
// that connection, and every message of the datasets' reporter recorded in the
// same list as the operations' own messages, so that tests see one order.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ProjectOperations.h"
#include "datasets/Reporter.h"
#include "TableData.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"
#include "catalogue_fixture.h"

namespace app::testing {

// Shows the datasets' reports as Info messages of a recorder.
class ReporterToMessages final : public Reporter {
 public:
  explicit ReporterToMessages(Messages& messages)
      : messages_(messages), previous_(SetReporter(this)) {}
  ~ReporterToMessages() override { SetReporter(previous_); }
  ReporterToMessages(const ReporterToMessages&) = delete;
  ReporterToMessages& operator=(const ReporterToMessages&) = delete;
  void Show(std::string_view text) override { messages_.Info(text); }

 private:
  Messages& messages_;
  Reporter* previous_;
};

using Texts = std::vector<std::string>;

inline const std::string kAnnouncement = "Orlenda will try to load data now. Please, be patient.";
inline const std::string kFinished = "Finished!";

class OperationsTest : public CatalogueTest {
 protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    std::filesystem::create_directory(folder_.File("project"));
    connection_.SetProgramFolder(Folder());
    data_.SetName("VoQueryDatasetCSVTableData");
    data_.SetVoConnection(&connection_);
    action_.SetName("VoQueryDataSetActionQuery");
    action_.SetVoConnection(&connection_);
    table_data_ = std::make_unique<TableData>(data_);
    catalogue_->hooks.open_current_project = [this](const std::string& path) {
      project_paths_.push_back(path);
      shown_folder_ = OpenCurrentProject(connection_, path);
    };
    AddProject("shop", ProjectFolder());
  }

  void TearDown() override {
    table_data_.reset();
    CatalogueTest::TearDown();
  }

  // As the user gives it: without a trailing separator.
  std::string ProjectFolder() const { return folder_.File("project"); }
  // As the connection resolves it.
  std::string TablePath(const std::string& table) const {
    return ProjectFolder() + "/" + table + ".txt";
  }
  void WriteTable(const std::string& table, const std::string& bytes) const {
    folder_.Write("project/" + table + ".txt", bytes);
  }
  std::string ReadTable(const std::string& table) const {
    return folder_.Read("project/" + table + ".txt");
  }
  bool TableExists(const std::string& table) const {
    return std::filesystem::exists(TablePath(table));
  }
  // The kinds of file a table file must not be: reading one would never start
  // (a pipe without a writer) or never end (a device).
  static constexpr const char* kIrregularKinds[] = {"pipe", "device"};
  // Puts a file of such a kind in place of `table`'s file.
  void MakeIrregularTable(const std::string& table, std::string_view kind) const {
    std::filesystem::remove(TablePath(table));
    if (kind == "pipe") {
      ASSERT_EQ(::mkfifo(TablePath(table).c_str(), 0600), 0);
    } else {
      std::filesystem::create_symlink("/dev/zero", TablePath(table));
    }
  }

  // The values of `field` in the table data, in its order.
  std::vector<std::string> Column(const std::string& field) { return Shown(data_, field); }

  Texts TakeTexts() {
    Texts texts = messages_.Texts();
    messages_.entries.clear();
    return texts;
  }

  TVoConnection connection_;
  TVoQueryDataSet data_;
  TVoQueryDataSet action_;
  std::unique_ptr<TableData> table_data_;
  ReporterToMessages reporter_{messages_};
  std::string shown_folder_;
};

}  // namespace app::testing

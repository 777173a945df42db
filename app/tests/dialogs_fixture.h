// The main window over a temporary program folder with one project whose
// folder holds the table "t" (ID;NAME;CITY, four rows), the datasets' reports
// recorded with the window's messages, and helpers that fill the window's own
// datasets as Load Data and Run Query do, click buttons and read files.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "MainWindow.h"
#include "rtl/Dates.h"
#include "QtMessages.h"
#include "datasets/VoBufDataset.h"
#include "temp_folder.h"

namespace app_testing {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A dataset with typed fields, as an external table's preview has them: ID
// integer, PRICE float, DAY date, AT date-time, OK boolean, NAME text; the
// second row has no ID, PRICE, DAY, AT or OK. Open on its first row.
inline void FillTyped(TVoBufDataset& ds) {
  ds.SetName("Typed");
  ds.FieldDefs().Add("ID", db::FieldType::ftInteger);
  ds.FieldDefs().Add("NAME", db::FieldType::ftString, 20);
  ds.FieldDefs().Add("PRICE", db::FieldType::ftFloat);
  ds.FieldDefs().Add("DAY", db::FieldType::ftDate);
  ds.FieldDefs().Add("AT", db::FieldType::ftDateTime);
  ds.FieldDefs().Add("OK", db::FieldType::ftBoolean);
  ds.CreateDataset();
  ds.Open();
  const double day = *rtl::EncodeDate(2024, 2, 29);
  struct Row {
    int id;
    const char* name;
    double price;
    double day;
    bool ok;
  };
  for (const Row& r : {Row{7, "a\"b", 2.5, day, true}, Row{0, "x", 0, 0, false},
                       Row{9, "", -0.125, day + 1, false}, Row{11, "y", 2.5, day, true}}) {
    ds.Append();
    ds.FieldByName("NAME").SetAsString(r.name);
    if (r.id != 0) {
      ds.FieldByName("ID").SetAsInteger(r.id);
      ds.FieldByName("PRICE").SetAsFloat(r.price);
      ds.FieldByName("DAY").SetAsDateTime(r.day);
      ds.FieldByName("AT").SetAsDateTime(r.day + 0.75);
      ds.FieldByName("OK").SetAsBoolean(r.ok);
    }
    ds.Post();
  }
  ds.First();
}

class DialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    project_ = work_.Path() / "shop";
    std::filesystem::create_directory(project_);
    WriteBytes(project_ / "t.txt", "ID;NAME;CITY\n1;ann;Rome\n2;bob;Oslo\n3;cid;Rome\n4;Bob;\n");
    window_ = std::make_unique<app::MainWindow>(messages_, program_.Folder());
    window_->resize(1200, 800);
    dbf::TDbf& projects = window_->GetCatalogue().Projects();
    projects.Append();
    projects.FieldByName("PROJECTNAME").SetAsString("shop");
    projects.FieldByName("PROJECTPATH").SetAsString(project_.string() + "/");
    projects.Post();
    app::ConnectToProject(window_->VoConnection1(), project_.string() + "/");
    messages_.entries.clear();
  }
  void TearDown() override { window_.reset(); }

  // The table-data dataset with t loaded, as Load Data leaves it.
  TVoQueryDataSet& LoadTableData() {
    TVoQueryDataSet& ds = window_->VoQueryDatasetCSVTableData();
    ds.SetTableName("t");
    ds.ReadTableFile();
    return ds;
  }
  // The query result of `sql`, as Run Query leaves it.
  TVoQueryDataSet& RunQuery(const std::string& sql) {
    TVoQueryDataSet& ds = window_->VoQueryDatasetQueryResult();
    ds.SQL() = {sql};
    ds.RunSqlText();
    return ds;
  }

  template <class T>
  T* Find(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // A main-window button: its pages may be hidden, so it is clicked directly.
  void ClickWindowButton(const char* name) {
    if (auto* button = Find<QAbstractButton>(*window_, name)) button->click();
  }
  // A dialog's button, with the mouse (the dialog is shown).
  void Click(const QWidget& dialog, const char* name) {
    if (auto* button = Find<QAbstractButton>(dialog, name)) {
      QTest::mouseClick(button, Qt::LeftButton);
    }
  }
  std::vector<std::string> Texts() const { return messages_.Texts(); }

  TempFolder program_;
  TempFolder work_;
  WorkingDirectory cwd_{work_.Path()};
  app::RecordingMessages messages_;
  app::MessagesReporter reporter_{messages_};
  std::filesystem::path project_;
  std::unique_ptr<app::MainWindow> window_;
};

}  // namespace app_testing

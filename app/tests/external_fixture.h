// The main window over a temporary program folder with one project whose
// folder is a fresh temporary folder, for the ExternalSources page's tests:
// connector and SQL-table rows added as a user types them, the page's buttons
// clicked, and the project's files read back.
#pragma once

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "DBGrid.h"
#include "MainWindow.h"
#include "datasets/VoTableFile.h"
#include "temp_folder.h"

namespace app_testing {

struct Connector {
  Connector(std::string name_, std::string protocol_, std::string database_, std::string host_ = "",
            int port_ = 0, std::string user_ = "", std::string password_ = "", bool marked_ = true)
      : name(std::move(name_)),
        protocol(std::move(protocol_)),
        database(std::move(database_)),
        host(std::move(host_)),
        port(port_),
        user(std::move(user_)),
        password(std::move(password_)),
        marked(marked_) {}
  std::string name;
  std::string protocol;
  std::string database;
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  bool marked = true;
};

using Rows = std::vector<std::vector<std::string>>;

class ExternalSourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(project_.Path() / "project");
    window_ = std::make_unique<app::MainWindow>(messages_, program_.Folder());
    window_->resize(1400, 900);
    window_->show();
    auto* pages = window_->findChild<QTabWidget*>("PageControl1");
    pages->setCurrentIndex(3);
    Add(Catalogue().Projects(), {{"PROJECTNAME", "shop"}, {"PROJECTPATH", ProjectFolder()}});
    Catalogue().Projects().First();
    messages_.entries.clear();
  }
  void TearDown() override { window_.reset(); }

  app::Catalogue& Catalogue() { return window_->GetCatalogue(); }
  std::string ProjectFolder() const { return (project_.Path() / "project").string(); }
  std::string ProjectFile(const std::string& table) const {
    return window_->VoConnection1().DatabaseFolder() + table + ".txt";
  }

  static void Add(db::DataSet& table,
                  const std::vector<std::pair<std::string, std::string>>& values) {
    table.Append();
    for (const auto& [field, value] : values) table.FieldByName(field).SetAsString(value);
    table.Post();
  }
  void AddConnector(const Connector& c) {
    db::DataSet& t = Catalogue().SQLConnectors();
    t.Append();
    t.FieldByName("SQLCONNECTORNAME").SetAsString(c.name);
    t.FieldByName("TOBEIMPORTED").SetAsBoolean(c.marked);
    t.FieldByName("PROTOCOL").SetAsString(c.protocol);
    t.FieldByName("DATABASE").SetAsString(c.database);
    t.FieldByName("HOSTNAME").SetAsString(c.host);
    t.FieldByName("PORT").SetAsInteger(c.port);
    t.FieldByName("USER").SetAsString(c.user);
    t.FieldByName("PASSWORD").SetAsString(c.password);
    t.Post();
  }
  void AddSQLTable(const std::string& name, bool marked = true, const std::string& imported = "",
                   const std::string& comment = "") {
    db::DataSet& t = Catalogue().SQLTables();
    t.Append();
    t.FieldByName("SQLTABLENAME").SetAsString(name);
    t.FieldByName("TOBEIMPORTED").SetAsBoolean(marked);
    t.FieldByName("IMPORTEDNAME").SetAsString(imported);
    t.FieldByName("SQLTABLENAMECOMMENT").SetAsString(comment);
    t.Post();
  }
  // Makes the SQL-tables row named `name` current.
  void SelectSQLTable(const std::string& name) {
    ASSERT_TRUE(Catalogue().SQLTables().Locate("SQLTABLENAME", rtl::Variant::Text(name)));
  }
  // Each SQLTables row of the current connector: name, mark, imported name, comment.
  Rows SQLTableRows() {
    Rows rows;
    db::DataSet& t = Catalogue().SQLTables();
    for (t.First(); !t.Eof(); t.Next()) {
      rows.push_back({t.FieldByName("SQLTABLENAME").AsString(),
                      t.FieldByName("TOBEIMPORTED").AsBoolean() ? "T" : "F",
                      t.FieldByName("IMPORTEDNAME").AsString(),
                      t.FieldByName("SQLTABLENAMECOMMENT").AsString()});
    }
    return rows;
  }

  void Click(const char* button) {
    auto* b = window_->findChild<QPushButton*>(button);
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  QStringList ListItems(const char* list) {
    QStringList items;
    auto* l = window_->findChild<QListWidget*>(list);
    for (int i = 0; i < l->count(); ++i) items << l->item(i)->text();
    return items;
  }
  // Clicks the title of `column` of the preview grid.
  void ClickPreviewTitle(int column) {
    auto* grid = window_->findChild<app::DBGrid*>("DBGridSQLTableData");
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  // The preview's rows as texts, in its current order.
  Rows PreviewRows() {
    Rows rows;
    db::DataSet& d = window_->VoQueryDatasetSQLTableData();
    if (!d.Active()) return rows;
    for (d.First(); !d.Eof(); d.Next()) {
      std::vector<std::string> row;
      for (int i = 0; i < d.FieldCount(); ++i) row.push_back(d.Fields(i).AsString());
      rows.push_back(row);
    }
    return rows;
  }

  static std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // A table file's lines cut into values the way the engine reads them.
  static Rows ReadTableFile(const std::string& file) {
    Rows rows;
    std::string bytes = ReadFile(file);
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      std::vector<sdf::TSdfValue> values;
      CutTableFileRow(std::span<char>(line.data(), line.size()), values);
      std::vector<std::string> row;
      for (const sdf::TSdfValue& v : values) row.emplace_back(line.substr(v.offset, v.length));
      rows.push_back(row);
      start = end + 1;
    }
    return rows;
  }
  // The files of the project folder, temporary ones included.
  std::vector<std::string> ProjectFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(ProjectFolder())) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder program_;
  TempFolder project_;
  TempFolder work_;
  WorkingDirectory cwd_{work_.Path()};
  app::RecordingMessages messages_;
  std::unique_ptr<app::MainWindow> window_;
};

inline const std::string kAnnouncement = "Orlenda will try to load data now. Please, be patient.";

}  // namespace app_testing

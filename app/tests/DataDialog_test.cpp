// The three dialogs as windows of the program: made hidden with the main
// window, tool windows above it, opened by the main window's nine buttons for
// their datasets, their field lists refreshed at every opening.
#include "DataDialog.h"

#include <QApplication>
#include <QComboBox>

#include "FormExportToCSV.h"
#include "FormFilters.h"
#include "FormFind.h"
#include "dialogs_fixture.h"

namespace {

using app_testing::DialogsTest;

QStringList Items(const QComboBox& list) {
  QStringList items;
  for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
  return items;
}

TEST_F(DialogsTest, DialogsExistHiddenAsToolWindowsOfTheMainWindow) {
  struct Case {
    app::DataDialog* dialog;
    const char* name;
    const char* caption;
  };
  const Case cases[] = {
      {&window_->GetFormFilters(), "FormFilters", "Custom Filter"},
      {&window_->GetFormFind(), "FormFind", "Custom Search"},
      {&window_->GetFormExportToCSV(), "FormExportToCSV",
       "Export Dataset To CSV (Comma Separated Values)"},
  };
  window_->show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.dialog->objectName(), c.name);
    EXPECT_EQ(c.dialog->windowTitle(), c.caption);
    EXPECT_FALSE(c.dialog->isVisible());
    EXPECT_TRUE(c.dialog->isWindow());
    EXPECT_EQ(c.dialog->windowType(), Qt::Tool);
    EXPECT_EQ(c.dialog->parentWidget(), window_.get());
    EXPECT_EQ(c.dialog->TargetDataSet(), nullptr);
    EXPECT_FALSE(c.dialog->isModal());
  }
}

TEST_F(DialogsTest, EachOfTheNineButtonsOpensItsDialogForItsDataset) {
  LoadTableData();
  RunQuery("SELECT NAME, ID FROM t");
  window_->show();
  TVoQueryDataSet& table_data = window_->VoQueryDatasetCSVTableData();
  TVoQueryDataSet& preview = window_->VoQueryDatasetSQLTableData();
  TVoQueryDataSet& result = window_->VoQueryDatasetQueryResult();
  app::DataDialog* filters = &window_->GetFormFilters();
  app::DataDialog* find = &window_->GetFormFind();
  app::DataDialog* export_dialog = &window_->GetFormExportToCSV();
  QComboBox* filter_fields = window_->GetFormFilters().ComboBoxFilterFields();
  QComboBox* find_fields = window_->GetFormFind().ComboBoxFindFields();
  struct Case {
    const char* button;
    app::DataDialog* dialog;
    db::DataSet* dataset;
    QComboBox* fields;
    QStringList expected_fields;
  };
  const Case cases[] = {
      {"ButtonFilterCSVTableData", filters, &table_data, filter_fields, {"ID", "NAME", "CITY"}},
      {"ButtonFindCSVTableData", find, &table_data, find_fields, {"ID", "NAME", "CITY"}},
      {"ButtonExportCSVTableData", export_dialog, &table_data, nullptr, {}},
      // The external preview is closed: the lists stay empty.
      {"ButtonFilterSQLTableData", filters, &preview, filter_fields, {}},
      {"ButtonFindSQLTableData", find, &preview, find_fields, {}},
      {"ButtonExportSQLTableData", export_dialog, &preview, nullptr, {}},
      {"ButtonFilterQueryResult", filters, &result, filter_fields, {"NAME", "ID"}},
      {"ButtonFindQueryResult", find, &result, find_fields, {"NAME", "ID"}},
      {"ButtonExportQueryResult", export_dialog, &result, nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    ClickWindowButton(c.button);
    EXPECT_TRUE(c.dialog->isVisible());
    EXPECT_EQ(c.dialog->TargetDataSet(), c.dataset);
    if (c.fields != nullptr) {
      EXPECT_EQ(Items(*c.fields), c.expected_fields);
      EXPECT_EQ(c.fields->currentIndex(), c.expected_fields.isEmpty() ? -1 : 0);
    }
  }
  EXPECT_TRUE(Texts().empty());
  // The main window stays usable: the dialogs are not modal.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DialogsTest, ReopeningRefreshesTheFieldListAndClosingHides) {
  window_->show();
  ClickWindowButton("ButtonFindQueryResult");
  app::FormFind& find = window_->GetFormFind();
  EXPECT_TRUE(Items(*find.ComboBoxFindFields()).isEmpty());
  RunQuery("SELECT CITY FROM t");
  // Open already: the launcher closes it and opens it again, with the new list.
  ClickWindowButton("ButtonFindQueryResult");
  EXPECT_EQ(Items(*find.ComboBoxFindFields()), QStringList{"CITY"});
  EXPECT_TRUE(find.isVisible());
  find.close();
  EXPECT_FALSE(find.isVisible());
  // Closing hides: the dialog is the same one, still bound to its dataset.
  EXPECT_EQ(find.TargetDataSet(), &window_->VoQueryDatasetQueryResult());
  EXPECT_EQ(&window_->GetFormFind(), &find);
}

}  // namespace

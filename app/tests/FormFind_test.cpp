// The find dialog driven through its widgets: Find as an exact search on the
// table data, Find Next walking on from the current row, on text fields and on
// typed ones, and the messages of every miss and failure in order.
#include "FormFind.h"

#include <QComboBox>
#include <QLineEdit>

#include "dialogs_fixture.h"

namespace {

class FormFindTest : public app_testing::DialogsTest {
 protected:
  app::FormFind& Dialog() { return window_->GetFormFind(); }
  // Chooses the field and types the value, as the user does.
  void Ask(const QString& field, const QString& value) {
    QComboBox* fields = Dialog().ComboBoxFindFields();
    fields->setCurrentIndex(fields->findText(field));
    if (fields->currentIndex() < 0) fields->setEditText(field);
    QLineEdit* edit = Dialog().EditFindValue();
    edit->clear();
    QTest::keyClicks(edit, value);
  }
  std::string Current(db::DataSet& ds, const char* field = "NAME") {
    return ds.FieldByName(field).AsString();
  }
};

TEST_F(FormFindTest, FindLocatesTheExactValueOnly) {
  TVoQueryDataSet& data = LoadTableData();
  ClickWindowButton("ButtonFindCSVTableData");
  struct Case {
    const char* field;
    const char* value;
    const char* current;  // NAME of the current row afterwards
    bool found;
  };
  const Case cases[] = {
      {"NAME", "bob", "bob", true},   {"NAME", "Bob", "Bob", true},
      {"NAME", "BOB", "Bob", false},  {"NAME", "bo", "Bob", false},
      {"CITY", "Rome", "ann", true},  {"ID", "3", "cid", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.value);
    messages_.entries.clear();
    Ask(c.field, c.value);
    Click(Dialog(), "ButtonFind");
    EXPECT_EQ(Texts(), c.found ? std::vector<std::string>{} : std::vector<std::string>{"Not found."});
    EXPECT_EQ(Current(data), c.current);
    EXPECT_FALSE(data.ControlsDisabled());
  }
}

TEST_F(FormFindTest, FindNextWalksOnFromTheCurrentRowAndStaysWhenNothingFollows) {
  TVoQueryDataSet& data = LoadTableData();
  ClickWindowButton("ButtonFindCSVTableData");
  Ask("CITY", "Rome");
  Click(Dialog(), "ButtonFindNext");  // from ann (Rome) on: cid
  EXPECT_EQ(Current(data), "cid");
  Click(Dialog(), "ButtonFindNext");  // nothing after cid
  EXPECT_EQ(Current(data), "cid");
  data.Last();
  Ask("NAME", "Bob");
  Click(Dialog(), "ButtonFindNext");  // the last row itself matches: not counted
  EXPECT_EQ(Current(data), "Bob");
  // Typed text that is no field selects none: the walk finds nothing.
  data.First();
  Ask("NAMEX", "bob");
  Click(Dialog(), "ButtonFindNext");
  EXPECT_EQ(Current(data), "ann");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Not found.", "Not found.", "Not found."}));
}

TEST_F(FormFindTest, FailuresShowTheirOwnMessages) {
  LoadTableData();
  ClickWindowButton("ButtonFindCSVTableData");
  Ask("NAMEX", "bob");
  Click(Dialog(), "ButtonFind");
  // The query result is closed: no fields to choose.
  ClickWindowButton("ButtonFindQueryResult");
  EXPECT_EQ(Dialog().ComboBoxFindFields()->count(), 0);
  Click(Dialog(), "ButtonFind");
  Click(Dialog(), "ButtonFindNext");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"No field (column) is selected.",
                                               "No field (column) is selected.", "Not found."}));
}

TEST_F(FormFindTest, TypedFieldsCompareByTheirKind) {
  TVoBufDataset typed;
  app_testing::FillTyped(typed);
  window_->ShowFindDialog(typed);
  struct Case {
    const char* field;
    const char* value;
    bool next_found;       // Find Next from the first row
    std::int64_t next_id;  // ID of the row Find Next stops at
  };
  const Case cases[] = {
      {"ID", "9", true, 9},
      {"ID", "9.0", true, 9},
      {"ID", "nine", false, 7},
      {"PRICE", "2.5", true, 11},
      {"DAY", "2024-03-01", true, 9},
      {"AT", "2024-02-29 18:00:00", true, 11},
      {"OK", "False", true, 9},  // the row without a value matches nothing
      {"NAME", "a\"b", false, 7},  // only the first row holds it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.value);
    typed.First();
    messages_.entries.clear();
    Ask(c.field, c.value);
    Click(Dialog(), "ButtonFindNext");
    EXPECT_EQ(typed.FieldByName("ID").AsInteger(), c.next_id);
    EXPECT_EQ(Texts().empty(), c.next_found);
  }
}

}  // namespace

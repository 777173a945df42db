// The navigator: every button does its dataset operation, delete asks first
// and keeps the record on Cancel, the buttons follow the dataset's state, and
// an error of the dataset becomes one message.
#include "DBNavigator.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QToolButton>

#include "dataset_fixture.h"

namespace {

using app::DBNavigator;
using app::RecordingMessages;
using Kind = RecordingMessages::Kind;

class NavigatorTest : public testing::Test {
 protected:
  void SetUp() override {
    app_testing::FillPeople(ds_, 5);
    navigator_.SetDataSet(&ds_);
    navigator_.show();
  }
  void Press(DBNavigator::Button button) {
    QTest::mouseClick(navigator_.ButtonOf(button), Qt::LeftButton);
  }
  bool Enabled(DBNavigator::Button button) { return navigator_.ButtonOf(button)->isEnabled(); }

  TVoBufDataset ds_;
  RecordingMessages messages_;
  DBNavigator navigator_{messages_};
};

TEST_F(NavigatorTest, DeleteAsksAndCancelKeepsTheRecord) {
  Press(DBNavigator::kNext);
  messages_.answers = {false};
  Press(DBNavigator::kDelete);
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_EQ(messages_.entries[0], (RecordingMessages::Entry{Kind::kOkCancel, "Delete record?"}));
  EXPECT_EQ(ds_.RecordCount(), 5);
  EXPECT_EQ(ds_.Fields(0).AsString(), "2");

  messages_.answers = {true};
  Press(DBNavigator::kDelete);
  EXPECT_EQ(ds_.RecordCount(), 4);
  EXPECT_EQ(ds_.Fields(0).AsString(), "3");
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Delete record?", "Delete record?"}));
}

TEST_F(NavigatorTest, ButtonsMoveAndEdit) {
  Press(DBNavigator::kLast);
  EXPECT_EQ(ds_.RecNo(), 5);
  Press(DBNavigator::kPrior);
  EXPECT_EQ(ds_.RecNo(), 4);
  Press(DBNavigator::kFirst);
  EXPECT_EQ(ds_.RecNo(), 1);
  Press(DBNavigator::kNext);
  EXPECT_EQ(ds_.RecNo(), 2);

  Press(DBNavigator::kEdit);
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  ds_.Fields(1).SetAsString("edited");
  Press(DBNavigator::kCancel);
  EXPECT_EQ(ds_.Fields(1).AsString(), "name2");

  Press(DBNavigator::kInsert);
  EXPECT_EQ(ds_.State(), db::DataSetState::kInsert);
  ds_.Fields(0).SetAsString("new");
  Press(DBNavigator::kPost);
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecordCount(), 6);
  Press(DBNavigator::kRefresh);
  EXPECT_EQ(ds_.Fields(0).AsString(), "new");
  EXPECT_TRUE(messages_.entries.empty());
}

TEST_F(NavigatorTest, ButtonsFollowTheState) {
  struct Case {
    const char* name;
    std::function<void(TVoBufDataset&)> step;
    std::vector<bool> enabled;  // first prior next last insert delete edit post cancel refresh
  };
  const std::vector<Case> cases = {
      {"on the first record",
       [](TVoBufDataset& ds) { ds.First(); },
       {false, false, true, true, true, true, true, false, false, true}},
      {"past the last record",
       [](TVoBufDataset& ds) {
         ds.Last();
         ds.Next();
       },
       {true, true, false, false, true, true, true, false, false, true}},
      {"editing",
       [](TVoBufDataset& ds) { ds.Edit(); },
       {false, false, false, false, true, true, false, true, true, false}},
      {"closed",
       [](TVoBufDataset& ds) { ds.Close(); },
       {false, false, false, false, false, false, false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.step(ds_);
    for (int b = 0; b < DBNavigator::kButtonCount; ++b) {
      SCOPED_TRACE(
          navigator_.ButtonOf(static_cast<DBNavigator::Button>(b))->objectName().toStdString());
      EXPECT_EQ(Enabled(static_cast<DBNavigator::Button>(b)),
                c.enabled[static_cast<std::size_t>(b)]);
    }
  }
}

TEST_F(NavigatorTest, DatasetErrorBecomesOneMessage) {
  ds_.BeforeDelete = [](db::DataSet& ds) { ds.Raise("refused"); };
  Press(DBNavigator::kDelete);
  ASSERT_EQ(messages_.entries.size(), 2u);
  EXPECT_EQ(messages_.entries[1].kind, Kind::kError);
  EXPECT_NE(messages_.entries[1].text.find("refused"), std::string::npos);
  EXPECT_EQ(ds_.RecordCount(), 5);
}

TEST_F(NavigatorTest, ButtonsHaveAccessibleNames) {
  const char* names[] = {"First",  "Prior", "Next", "Last",   "Insert",
                         "Delete", "Edit",  "Post", "Cancel", "Refresh"};
  for (int b = 0; b < DBNavigator::kButtonCount; ++b) {
    EXPECT_EQ(navigator_.ButtonOf(static_cast<DBNavigator::Button>(b))->accessibleName(), names[b]);
  }
}

}  // namespace

// A grid and a navigator over one dataset, driven as a user drives them: the
// navigator's buttons never take the focus, so a value still open in a cell's
// editor must reach the dataset before the button's operation runs; a row
// inserted by the navigator takes typed values like any other row; and the
// grid shows the rows and the current row where the dataset has them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "DBGrid.h"
#include "DBNavigator.h"
#include "dataset_fixture.h"

namespace {

using app::DBNavigator;
using app::RecordingMessages;

class GridNavigatorTest : public testing::Test {
 protected:
  void SetUp() override {
    Refill(rows_);
    auto* layout = new QVBoxLayout(&form_);
    layout->addWidget(navigator_);
    layout->addWidget(grid_);
    form_.resize(500, 320);
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  }
  void TearDown() override {
    navigator_->SetDataSet(nullptr);
    grid_->SetDataSet(nullptr);
  }
  // A new dataset of `rows` rows of the fixture, on its first, under the grid
  // and the navigator.
  void Refill(int rows) {
    navigator_->SetDataSet(nullptr);
    grid_->SetDataSet(nullptr);
    owned_ = std::make_unique<TVoBufDataset>();
    app_testing::FillPeople(*owned_, rows);
    navigator_->SetDataSet(owned_.get());
    grid_->SetDataSet(owned_.get());
    messages_.entries.clear();
  }

  TVoBufDataset& Ds() { return *owned_; }
  QPoint CellCentre(int row, int column) {
    const QModelIndex index = grid_->Model().index(row, column);
    grid_->scrollTo(index);
    return grid_->visualRect(index).center();
  }
  void ClickCell(int row, int column) {
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, CellCentre(row, column));
  }
  void Press(DBNavigator::Button button) {
    QTest::mouseClick(navigator_->ButtonOf(button), Qt::LeftButton);
  }
  // The open in-place editor (closed ones linger hidden until deleted).
  QLineEdit* Editor() {
    for (QLineEdit* edit : grid_->viewport()->findChildren<QLineEdit*>()) {
      if (edit->isVisible()) return edit;
    }
    return nullptr;
  }
  // Types `text` into the current cell as a user does: the first key opens
  // the editor over the cell's value, the rest go to the editor.
  void TypeIntoCurrentCell(const QString& text) {
    ASSERT_FALSE(text.isEmpty());
    QTest::keyClicks(grid_, text.left(1));
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, text.mid(1));
  }
  void PressReturnInEditor() {
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor hands its value over through a queued call.
    QCoreApplication::processEvents();
  }
  QString Cell(int row, int column) { return grid_->Model().index(row, column).data().toString(); }
  // The dataset's names in their order.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    const db::Bookmark home = Ds().GetBookmark();
    for (Ds().First(); !Ds().Eof(); Ds().Next()) names.push_back(Ds().Fields(1).AsString());
    if (home.IsSet()) Ds().GotoBookmark(home);
    return names;
  }
  // The grid shows every record of the dataset in its order, its current row
  // is the dataset's and the indicator marks it.
  void ExpectGridFollowsTheDataset() {
    const std::vector<std::string> names = Names();
    ASSERT_EQ(grid_->Model().rowCount(), static_cast<int>(names.size()));
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
      EXPECT_EQ(Cell(row, 1).toStdString(), names[static_cast<std::size_t>(row)]) << "row " << row;
    }
    EXPECT_EQ(grid_->Model().CurrentRow(), Ds().RecNo() - 1);
    EXPECT_EQ(grid_->currentIndex().row(), Ds().RecNo() - 1);
    EXPECT_EQ(grid_->Model().headerData(Ds().RecNo() - 1, Qt::Vertical).toString(), ">");
  }

  int rows_ = 5;
  std::unique_ptr<TVoBufDataset> owned_;
  RecordingMessages messages_;
  QWidget form_;
  DBNavigator* navigator_ = new DBNavigator(messages_, &form_);
  app::DBGrid* grid_ = new app::DBGrid(messages_, &form_);
};

// Whatever the user did on the row before, the new row takes what is typed
// into its cells, in the column the user was in.
TEST_F(GridNavigatorTest, ValuesTypedIntoAnInsertedRowAreKeptOnReturn) {
  struct Case {
    const char* name;
    const char* typed_before;  // into row 2's NAME cell before the insert
    bool return_before;        // ... and handed over with Return
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"a cell only chosen",
       nullptr,
       false,
       {"name1", "name2", "fresh", "name3", "name4", "name5"}},
      {"a row being edited",
       "edited",
       true,
       {"name1", "name2", "fresh", "edited", "name4", "name5"}},
      {"an editor still open",
       "open",
       false,
       {"name1", "name2", "fresh", "open", "name4", "name5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Refill(5);
    ClickCell(2, 1);
    if (c.typed_before != nullptr) {
      TypeIntoCurrentCell(c.typed_before);
      if (c.return_before) PressReturnInEditor();
    }
    Press(DBNavigator::kInsert);
    ASSERT_EQ(Ds().State(), db::DataSetState::kInsert);
    ASSERT_EQ(grid_->Model().rowCount(), 6);
    ASSERT_EQ(grid_->currentIndex().row(), 2);
    ASSERT_EQ(grid_->currentIndex().column(), 1);
    EXPECT_EQ(grid_->Model().headerData(2, Qt::Vertical).toString(), "*");
    // The rows around the new one still show.
    EXPECT_EQ(Cell(1, 1), "name2");
    EXPECT_EQ(Cell(3, 1).toStdString(), c.names[3]);
    EXPECT_EQ(Cell(5, 1), "name5");

    TypeIntoCurrentCell("fresh");
    PressReturnInEditor();
    EXPECT_EQ(Ds().State(), db::DataSetState::kInsert);
    EXPECT_EQ(Ds().Fields(1).AsString(), "fresh");
    EXPECT_EQ(Cell(2, 1), "fresh");
    // A second cell of the same new row.
    QTest::keyClick(grid_, Qt::Key_Left);
    TypeIntoCurrentCell("77");
    PressReturnInEditor();
    EXPECT_EQ(Ds().Fields(0).AsString(), "77");
    EXPECT_EQ(Ds().Fields(1).AsString(), "fresh");

    Press(DBNavigator::kPost);
    EXPECT_EQ(Ds().State(), db::DataSetState::kBrowse);
    EXPECT_EQ(Ds().RecordCount(), 6);
    EXPECT_EQ(Ds().Fields(0).AsString(), "77");
    EXPECT_EQ(Ds().Fields(1).AsString(), "fresh");
    EXPECT_EQ(Names(), c.names);
    ExpectGridFollowsTheDataset();
    EXPECT_TRUE(messages_.entries.empty()) << messages_.Texts().front();
  }
}

TEST_F(GridNavigatorTest, ValueTypedIntoAnAppendedRowIsKeptOnReturn) {
  ClickCell(1, 1);
  Ds().Append();
  ASSERT_EQ(grid_->Model().rowCount(), 6);
  const int row = grid_->Model().CurrentRow();
  EXPECT_EQ(grid_->currentIndex().row(), row);
  EXPECT_EQ(grid_->currentIndex().column(), 1);
  EXPECT_EQ(grid_->Model().headerData(row, Qt::Vertical).toString(), "*");

  TypeIntoCurrentCell("tail");
  PressReturnInEditor();
  EXPECT_EQ(Ds().Fields(1).AsString(), "tail");
  EXPECT_EQ(Cell(row, 1), "tail");

  Press(DBNavigator::kPost);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"name1", "name2", "name3", "name4", "name5", "tail"}));
  ExpectGridFollowsTheDataset();
  EXPECT_EQ(Ds().RecNo(), 6);
}

TEST_F(GridNavigatorTest, InsertedRowOfAnEmptyDatasetTakesTypedValues) {
  Refill(0);
  ASSERT_EQ(grid_->Model().rowCount(), 0);
  grid_->setFocus();
  Press(DBNavigator::kInsert);
  ASSERT_EQ(grid_->Model().rowCount(), 1);
  ASSERT_EQ(grid_->currentIndex().row(), 0);
  QTest::keyClick(grid_, Qt::Key_Right);
  TypeIntoCurrentCell("first");
  PressReturnInEditor();
  EXPECT_EQ(Ds().Fields(1).AsString(), "first");
  Press(DBNavigator::kPost);
  EXPECT_EQ(Names(), (std::vector<std::string>{"first"}));
  ExpectGridFollowsTheDataset();
}

// A value still open in the editor when a navigator button is clicked.
TEST_F(GridNavigatorTest, ButtonsTakeTheValueStillOpenInTheEditor) {
  struct Case {
    const char* name;
    bool insert_first;  // type into a row the navigator inserted (else record 3)
    DBNavigator::Button button;
    std::vector<std::string> names;  // the dataset afterwards
    int rec_no;                      // its current record afterwards
  };
  const std::vector<Case> cases = {
      {"post an inserted row",
       true,
       DBNavigator::kPost,
       {"name1", "name2", "open", "name3", "name4", "name5"},
       3},
      {"insert another row",
       true,
       DBNavigator::kInsert,
       {"name1", "name2", "open", "name3", "name4", "name5"},
       0},
      {"next", false, DBNavigator::kNext, {"name1", "name2", "open", "name4", "name5"}, 4},
      {"prior", false, DBNavigator::kPrior, {"name1", "name2", "open", "name4", "name5"}, 2},
      {"first", false, DBNavigator::kFirst, {"name1", "name2", "open", "name4", "name5"}, 1},
      {"last", false, DBNavigator::kLast, {"name1", "name2", "open", "name4", "name5"}, 5},
      {"refresh", false, DBNavigator::kRefresh, {"name1", "name2", "open", "name4", "name5"}, 3},
      {"edit", false, DBNavigator::kEdit, {"name1", "name2", "open", "name4", "name5"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Refill(5);
    ClickCell(2, 1);
    if (c.insert_first) Press(DBNavigator::kInsert);
    TypeIntoCurrentCell("open");
    ASSERT_NE(Editor(), nullptr);
    ASSERT_TRUE(navigator_->ButtonOf(c.button)->isEnabled());
    Press(c.button);
    if (c.button == DBNavigator::kEdit) {
      EXPECT_EQ(Ds().State(), db::DataSetState::kEdit);
      EXPECT_EQ(Ds().Fields(1).AsString(), "open");
      Press(DBNavigator::kPost);
    } else if (c.button == DBNavigator::kInsert) {
      EXPECT_EQ(Ds().State(), db::DataSetState::kInsert);
      EXPECT_EQ(grid_->currentIndex().row(), 2);
      Press(DBNavigator::kCancel);
    } else {
      EXPECT_EQ(Ds().State(), db::DataSetState::kBrowse);
    }
    if (c.rec_no > 0) {
      EXPECT_EQ(Ds().RecNo(), c.rec_no);
    }
    EXPECT_EQ(Names(), c.names);
    ExpectGridFollowsTheDataset();
    // The editor's value went once, to its own row.
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_TRUE(messages_.entries.empty());
  }
}

TEST_F(GridNavigatorTest, CancelDropsTheValueOpenInTheEditor) {
  ClickCell(3, 1);
  Press(DBNavigator::kEdit);
  TypeIntoCurrentCell("dropped");
  Press(DBNavigator::kCancel);
  EXPECT_EQ(Ds().State(), db::DataSetState::kBrowse);
  EXPECT_EQ(Editor(), nullptr);
  // Nothing comes back when the user moves on.
  ClickCell(0, 1);
  EXPECT_EQ(Ds().State(), db::DataSetState::kBrowse);
  EXPECT_EQ(Names(), (std::vector<std::string>{"name1", "name2", "name3", "name4", "name5"}));
  ExpectGridFollowsTheDataset();
}

TEST_F(GridNavigatorTest, RefusedValueStopsTheButtonAndKeepsTheEditor) {
  Ds().Fields(1).OnChange = [](db::Field& field) {
    if (field.AsString() == "bad") field.GetDataSet().Raise("no bad names");
  };
  ClickCell(2, 1);
  Press(DBNavigator::kEdit);
  TypeIntoCurrentCell("bad");
  Press(DBNavigator::kPost);
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_EQ(messages_.entries[0].kind, RecordingMessages::Kind::kError);
  EXPECT_NE(messages_.entries[0].text.find("no bad names"), std::string::npos);
  // The post did not go on without the typed value; the editor keeps it.
  EXPECT_EQ(Ds().State(), db::DataSetState::kEdit);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->text(), "bad");
  Editor()->setText("good");
  Press(DBNavigator::kPost);
  EXPECT_EQ(Ds().State(), db::DataSetState::kBrowse);
  EXPECT_EQ(Names(), (std::vector<std::string>{"name1", "name2", "good", "name4", "name5"}));
}

}  // namespace

// The grid model over a buffered dataset: rows read on demand with the user's
// record kept and no scroll rule run, edits through the dataset, logical
// fields as check boxes, the dataset's events and its disabled controls
// followed; and the grid itself driven with clicks and keys.
#include "DatasetTableModel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "DBGrid.h"
#include "dataset_fixture.h"

namespace {

using app::DatasetTableModel;
using app::RecordingMessages;

class ModelTest : public testing::Test {
 protected:
  void SetUp() override {
    app_testing::FillPeople(ds_, 1000);
    ds_.AfterScroll = [this](db::DataSet&) { ++after_scroll_; };
    model_.SetDataSet(&ds_);
  }
  QString Cell(int row, int column) { return model_.index(row, column).data().toString(); }

  TVoBufDataset ds_;
  RecordingMessages messages_;
  DatasetTableModel model_{messages_};
  int after_scroll_ = 0;
};

TEST_F(ModelTest, ReadsRowsOnDemandAndKeepsTheUsersRecord) {
  ds_.MoveBy(9);  // the user is on row 10
  after_scroll_ = 0;
  EXPECT_EQ(model_.rowCount(), 1000);
  EXPECT_EQ(model_.columnCount(), 3);
  EXPECT_EQ(model_.headerData(1, Qt::Horizontal).toString(), "NAME");
  for (int row : {999, 0, 500, 998, 10, 9}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Cell(row, 0), QString::number(row + 1));
    EXPECT_EQ(Cell(row, 1), QString("name%1").arg(row + 1));
    EXPECT_EQ(ds_.RecNo(), 10);
    EXPECT_EQ(ds_.Fields(0).AsString(), "10");
  }
  // The reads are not the user's moves: the scroll rule never ran.
  EXPECT_EQ(after_scroll_, 0);
  EXPECT_EQ(model_.CurrentRow(), 9);
}

TEST_F(ModelTest, LogicalFieldsAreCheckBoxes) {
  const QModelIndex even = model_.index(1, 2);
  EXPECT_EQ(even.data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(model_.index(0, 2).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(even.data(Qt::DisplayRole).isValid());
  EXPECT_TRUE(model_.flags(even) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(model_.flags(even) & Qt::ItemIsEditable);
  EXPECT_TRUE(model_.flags(model_.index(1, 1)) & Qt::ItemIsEditable);

  ASSERT_TRUE(model_.setData(even, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  EXPECT_EQ(ds_.RecNo(), 2);
  EXPECT_FALSE(ds_.Fields(2).AsBoolean());
  EXPECT_EQ(even.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST_F(ModelTest, EditsGoThroughTheDatasetAndArePostedOnLeavingTheRow) {
  ASSERT_TRUE(model_.setData(model_.index(4, 1), "changed"));
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  EXPECT_EQ(ds_.RecNo(), 5);
  EXPECT_EQ(Cell(4, 1), "changed");
  model_.MoveTo(7);
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecNo(), 8);
  EXPECT_EQ(Cell(4, 1), "changed");
  ds_.SetRecNo(5);
  EXPECT_EQ(ds_.Fields(1).AsString(), "changed");
}

TEST_F(ModelTest, RefusedEditIsReportedAndChangesNothing) {
  ds_.Fields(0).SetReadOnly(true);
  EXPECT_FALSE(model_.flags(model_.index(0, 0)) & Qt::ItemIsEditable);
  // A delegate that writes anyway gets the dataset's error as one message.
  EXPECT_FALSE(model_.setData(model_.index(0, 0), "x"));
  ASSERT_EQ(messages_.entries.size(), 1u);
  EXPECT_EQ(messages_.entries[0].kind, RecordingMessages::Kind::kError);
  EXPECT_EQ(ds_.Fields(0).AsString(), "1");
}

TEST_F(ModelTest, FollowsTheDatasetsEvents) {
  QSignalSpy current(&model_, &DatasetTableModel::currentRowChanged);
  ds_.Last();
  EXPECT_EQ(model_.CurrentRow(), 999);
  ASSERT_FALSE(current.isEmpty());
  EXPECT_EQ(current.last().at(0).toInt(), 999);

  // Inserting shows a new row before the current one; cancelling removes it.
  // The rows around it show as they were painted before.
  ds_.SetRecNo(3);
  ASSERT_EQ(Cell(2, 1), "name3");
  ds_.Insert();
  EXPECT_EQ(model_.rowCount(), 1001);
  EXPECT_EQ(model_.CurrentRow(), 2);
  EXPECT_EQ(model_.headerData(2, Qt::Vertical).toString(), "*");
  ds_.Fields(1).SetAsString("new");
  EXPECT_EQ(Cell(2, 1), "new");
  EXPECT_EQ(Cell(3, 1), "name3");
  ds_.Cancel();
  EXPECT_EQ(model_.rowCount(), 1000);
  EXPECT_EQ(Cell(2, 1), "name3");

  ds_.Append();
  ds_.Fields(1).SetAsString("appended");
  ds_.Post();
  EXPECT_EQ(model_.rowCount(), 1001);
  ds_.Delete();
  ds_.Delete();
  EXPECT_EQ(model_.rowCount(), 999);

  ds_.Close();
  EXPECT_EQ(model_.rowCount(), 0);
  EXPECT_EQ(model_.CurrentRow(), -1);
  // An in-memory dataset opens empty again.
  ds_.Open();
  EXPECT_EQ(model_.columnCount(), 3);
  EXPECT_EQ(model_.rowCount(), 0);
  ds_.Append();
  EXPECT_EQ(model_.rowCount(), 1);
  EXPECT_EQ(model_.CurrentRow(), 0);
}

TEST_F(ModelTest, HonoursDisabledControls) {
  ASSERT_EQ(Cell(0, 1), "name1");
  QSignalSpy reset(&model_, &QAbstractItemModel::modelReset);
  ds_.DisableControls();
  ds_.Last();
  ds_.Append();
  ds_.Fields(1).SetAsString("bulk");
  ds_.Post();
  ds_.First();
  // Nothing is heard or read while the bulk work runs.
  EXPECT_EQ(model_.rowCount(), 1000);
  EXPECT_TRUE(reset.isEmpty());
  EXPECT_FALSE(model_.index(900, 1).data().isValid());
  EXPECT_EQ(ds_.RecNo(), 1);
  ds_.EnableControls();
  EXPECT_EQ(reset.size(), 1);
  EXPECT_EQ(model_.rowCount(), 1001);
  EXPECT_EQ(Cell(1000, 1), "bulk");
}

TEST_F(ModelTest, LeavesTheCursorAloneWhileAModalBoxIsOpen) {
  // A rule that reports in the middle of a dataset operation opens a modal box,
  // whose event loop paints the grid.
  QDialog box;
  box.setModal(true);
  box.show();
  ASSERT_NE(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(model_.index(700, 1).data().isValid());
  EXPECT_EQ(after_scroll_, 0);
  EXPECT_EQ(ds_.RecNo(), 1);
  box.hide();
  EXPECT_EQ(Cell(700, 1), "name701");
}

TEST_F(ModelTest, FixedColumnsShowTheirFieldsWhateverTheLetterCase) {
  model_.SetColumns({{"Name", "name"}, {"Missing", "NOPE"}});
  EXPECT_EQ(model_.columnCount(), 2);
  EXPECT_EQ(model_.headerData(0, Qt::Horizontal).toString(), "Name");
  EXPECT_EQ(Cell(3, 0), "name4");
  EXPECT_EQ(Cell(3, 1), "");
  EXPECT_EQ(model_.ColumnFieldName(0), "name");
}

// ---- The grid, driven with the mouse and keys ----

class GridTest : public testing::Test {
 protected:
  void SetUp() override {
    app_testing::FillPeople(ds_, rows_);
    grid_.resize(500, 300);
    grid_.SetDataSet(&ds_);
    grid_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
  }
  QPoint CellCentre(int row, int column) {
    grid_.scrollTo(grid_.Model().index(row, column));
    return grid_.visualRect(grid_.Model().index(row, column)).center();
  }

  int rows_ = 50;
  TVoBufDataset ds_;
  RecordingMessages messages_;
  app::DBGrid grid_{messages_};
};

TEST_F(GridTest, ClickingARowMovesTheDatasetAndTheDatasetMovesTheCell) {
  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(6, 1));
  EXPECT_EQ(ds_.RecNo(), 7);
  ds_.Last();
  EXPECT_EQ(grid_.currentIndex().row(), 49);
  EXPECT_EQ(grid_.currentIndex().column(), 1);
}

TEST_F(GridTest, EditsInPlaceAndPostsWhenTheUserLeavesTheRow) {
  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(2, 1));
  QTest::keyClick(&grid_, Qt::Key_F2);
  auto* editor = grid_.viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "typed");
  QTest::keyClick(editor, Qt::Key_Return);
  // The editor commits through a queued call.
  QCoreApplication::processEvents();
  EXPECT_EQ(ds_.State(), db::DataSetState::kEdit);
  EXPECT_EQ(ds_.Fields(1).AsString(), "typed");
  QTest::keyClick(&grid_, Qt::Key_Down);
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.RecNo(), 4);
  ds_.SetRecNo(3);
  EXPECT_EQ(ds_.Fields(1).AsString(), "typed");
}

TEST_F(GridTest, TitleClickIsOfferedButDoesNotSort) {
  QSignalSpy clicked(&grid_, &app::DBGrid::titleClicked);
  QHeaderView* header = grid_.horizontalHeader();
  const int x = header->sectionViewportPosition(1) + header->sectionSize(1) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  ASSERT_EQ(clicked.size(), 1);
  EXPECT_EQ(clicked[0].at(0).toInt(), 1);
  EXPECT_EQ(clicked[0].at(1).toString(), "NAME");
  EXPECT_EQ(grid_.Model().index(0, 1).data().toString(), "name1");
}

TEST_F(GridTest, AutoFillColumnsStretchesThemOverTheWidth) {
  const int width = grid_.viewport()->width();
  int total = 0;
  for (int c = 0; c < 3; ++c) total += grid_.columnWidth(c);
  EXPECT_NEAR(total, width, 3);
  grid_.SetAutoFillColumns(false);
  const int kept = grid_.columnWidth(0);
  grid_.resize(900, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(grid_.columnWidth(0), kept);
}

class MillionRowsTest : public GridTest {
 protected:
  void SetUp() override {
    rows_ = 1000000;
    GridTest::SetUp();
  }
};

TEST_F(MillionRowsTest, OpensScrollsToTheEndAndBack) {
  QScrollBar* bar = grid_.verticalScrollBar();
  bar->setValue(bar->maximum());
  grid_.viewport()->repaint();
  const QModelIndex last = grid_.indexAt(QPoint(5, grid_.viewport()->height() - 3));
  ASSERT_TRUE(last.isValid());
  EXPECT_GT(last.row(), 999900);
  EXPECT_EQ(last.data().toString(), QString::number(last.row() + 1));
  EXPECT_EQ(ds_.RecNo(), 1);
  bar->setValue(0);
  grid_.viewport()->repaint();
  EXPECT_EQ(grid_.indexAt(QPoint(5, 5)).data().toString(), "1");
  QTest::keyClick(&grid_, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(ds_.RecNo(), 1000000);
}

}  // namespace

// DBGrid: the data-aware grid. A table view over a DatasetTableModel whose
// current cell follows the dataset's current record and moves it when the user
// picks another row; cells are edited in place through the dataset.
#pragma once

#include <QStringList>
#include <QTableView>
#include <vector>

#include "DatasetTableModel.h"

namespace app {

class DBGrid : public QTableView {
  Q_OBJECT

 public:
  // Errors of moves and edits are shown through `messages` (must outlive it).
  explicit DBGrid(Messages& messages, QWidget* parent = nullptr);
  ~DBGrid() override;

  DatasetTableModel& Model() { return model_; }
  void SetDataSet(db::DataSet* dataset) { model_.SetDataSet(dataset); }
  void SetColumns(std::vector<GridColumn> columns) { model_.SetColumns(std::move(columns)); }

  // On: the columns share the grid's width; off: they keep the widths they
  // have and the user may resize them.
  void SetAutoFillColumns(bool value);
  bool AutoFillColumns() const { return auto_fill_; }
  // The in-place editor of `column` offers these values (free text still allowed).
  void SetPickList(int column, const QStringList& values);
  // Hands what the open in-place editor holds to the dataset (which then is in
  // edit with it), as leaving the cell would; nothing when no editor is open.
  // A value the dataset refuses is reported through the messages, the editor
  // stays open with it and the result is false.
  bool CommitEdit();
  // CommitEdit for every grid over `dataset`: what a control that works on the
  // dataset without taking the focus (a navigator's button) calls before it
  // acts. False when some grid's value was refused.
  static bool CommitEdits(const db::DataSet& dataset);
  // Paints every shown grid over `dataset` at once, so that the rows it shows
  // are read now: while the dataset inserts or edits a record they cannot be
  // (reading moves the cursor), and a post has just made the grid forget them.
  static void ReadShownRows(const db::DataSet& dataset);

 signals:
  // A column title was clicked; what it does is the handler's (no sorting here).
  void titleClicked(int column, const QString& field_name);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void FollowCurrentRow(int row);

  Messages& messages_;
  DatasetTableModel model_;
  bool auto_fill_ = true;
  bool following_ = false;
  bool resetting_ = false;
  // The column of the user's current cell, kept while the model is reset
  // (a post, an insert) so that typing goes on in the same column.
  int column_ = 0;
};

}  // namespace app

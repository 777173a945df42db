// DatasetTableModel: a table model over any dataset of the dataset framework.
// It keeps no copy of the data: the rows a view asks for are read from the
// dataset itself, a window of them at a time, and the model follows the
// dataset's events, so a grid over a million rows opens as fast as over ten.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>
#include <string>
#include <vector>

#include "db/DataSet.h"
#include "Messages.h"

namespace app {

// One shown column: its title and the name of the field it shows (matched
// without regard to case).
struct GridColumn {
  QString title;
  std::string field;
};

class DatasetTableModel : public QAbstractTableModel, private db::DataSetObserver {
  Q_OBJECT

 public:
  // Edits that fail are reported through `messages`, which must outlive the model.
  explicit DatasetTableModel(Messages& messages, QObject* parent = nullptr);
  ~DatasetTableModel() override;

  // Shows `dataset` (not owned: it must outlive the model, or be replaced by
  // nullptr first).
  void SetDataSet(db::DataSet* dataset);
  db::DataSet* DataSet() const { return dataset_; }
  // Fixed columns; an empty list shows one column per field of the open
  // dataset, titled with the field's name.
  void SetColumns(std::vector<GridColumn> columns);
  // The field shown in `column`; nullptr while closed or when no field has
  // that name.
  db::Field* ColumnField(int column) const;
  QString ColumnFieldName(int column) const;

  // The row of the dataset's current record (or of the record being
  // inserted); -1 when there is none.
  int CurrentRow() const { return current_row_; }
  // Makes the record of `row` current, posting a pending edit first as every
  // move of the dataset does. Dataset errors pass to the caller.
  void MoveTo(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Writes through the dataset: moves to the row, puts it into edit and sets
  // the field; the row is posted when the user leaves it (or by the
  // navigator). False, with the error shown, when the dataset refuses.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // How many writes of setData the dataset has refused so far.
  int RefusedWrites() const { return refused_writes_; }

  // True while the cursor of `dataset` is quiet, as while a model reads rows
  // by moving it: the moves seen then are not the user's.
  static bool IsReading(const db::DataSet& dataset);

 signals:
  void currentRowChanged(int row);

 private:
  using RowValues = std::vector<QVariant>;

  void OnDataEvent(db::DataSet& dataset, db::DataEvent event) override;
  void Reset();
  void ResolveFields();
  void UpdateCurrentRow();
  // The dataset row shown in view row `row` (rows after the one being
  // inserted move down by one).
  int DataSetRow(int row) const;
  bool IsLiveRow(int row) const;
  // The active record's value of `field` as the grid shows it (null: none).
  QVariant ActiveValue(const db::Field* field) const;
  RowValues ReadActiveRecord() const;
  // Reads a window of rows around `row` into window_ and returns to the
  // record that was current.
  void FillWindow(int row) const;
  // Column `column`'s `value` in `role`.
  QVariant CellValue(const QVariant& value, int column, int role) const;

  Messages& messages_;
  db::DataSet* dataset_ = nullptr;
  std::vector<GridColumn> columns_;
  bool auto_columns_ = true;
  std::vector<db::Field*> fields_;
  int count_ = 0;
  int current_row_ = -1;
  int insert_row_ = -1;
  int refused_writes_ = 0;
  // Rows read last, first at window_first_; emptied by every change.
  mutable int window_first_ = 0;
  mutable std::vector<RowValues> window_;
};

}  // namespace app

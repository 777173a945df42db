// DBNavigator: the row of buttons that moves through a dataset and edits it:
// first, prior, next, last, insert, delete, edit, post, cancel, refresh. Each
// button is enabled only where its action makes sense in the dataset's state.
#pragma once

#include <QWidget>
#include <array>

#include "db/DataSet.h"
#include "Messages.h"

class QToolButton;

namespace app {

class DBNavigator : public QWidget, private db::DataSetObserver {
  Q_OBJECT

 public:
  enum Button { kFirst, kPrior, kNext, kLast, kInsert, kDelete, kEdit, kPost, kCancel, kRefresh };
  static constexpr int kButtonCount = 10;

  // Questions and errors go through `messages` (must outlive the navigator).
  explicit DBNavigator(Messages& messages, QWidget* parent = nullptr);
  ~DBNavigator() override;

  // Not owned: the dataset must outlive the navigator or be replaced first.
  void SetDataSet(db::DataSet* dataset);
  db::DataSet* DataSet() const { return dataset_; }
  QToolButton* ButtonOf(Button button) const { return buttons_[button]; }
  // What a click on `button` does: the dataset's operation, behind the guard.
  // Every button but cancel and delete first hands the value open in a grid's
  // cell editor over the dataset to it (DBGrid::CommitEdits) and does nothing
  // more when that value is refused. Delete asks "Delete record?" first and
  // keeps the record on Cancel.
  void Click(Button button);

 private:
  void OnDataEvent(db::DataSet& dataset, db::DataEvent event) override;
  void UpdateButtons();

  Messages& messages_;
  db::DataSet* dataset_ = nullptr;
  std::array<QToolButton*, kButtonCount> buttons_{};
};

}  // namespace app

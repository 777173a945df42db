// The grid's two directions: the dataset's moves place the current cell, and
// the user's choice of a row moves the dataset; a flag keeps them from echoing.
#include "DBGrid.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <algorithm>

#include "Guard.h"

namespace app {
namespace {

// An editable combo box as a column's in-place editor.
class PickListDelegate : public QStyledItemDelegate {
 public:
  PickListDelegate(const QStringList& values, QObject* parent)
      : QStyledItemDelegate(parent), values_(values) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->addItems(values_);
    return combo;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QComboBox*>(editor)->setCurrentText(index.data(Qt::EditRole).toString());
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText(), Qt::EditRole);
  }

 private:
  QStringList values_;
};

// The grids alive, for CommitEdits.
std::vector<DBGrid*>& Grids() {
  static std::vector<DBGrid*> grids;
  return grids;
}

}  // namespace

DBGrid::DBGrid(Messages& messages, QWidget* parent)
    : QTableView(parent), messages_(messages), model_(messages) {
  setModel(&model_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  setSortingEnabled(false);
  horizontalHeader()->setSectionsClickable(true);
  // Fixed row heights: a view over a million rows must not measure each one.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("MM")));
  SetAutoFillColumns(true);
  connect(&model_, &DatasetTableModel::currentRowChanged, this, &DBGrid::FollowCurrentRow);
  // A reset clears the current cell, and the view may pick the first cell
  // meanwhile (an editor it closes hands the focus back to it): that is no
  // choice of the user's. The model places the current row after the reset.
  // (Connected after setModel: runs after the view's own reset.)
  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { resetting_ = true; });
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] { resetting_ = false; });
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int section) { emit titleClicked(section, model_.ColumnFieldName(section)); });
  Grids().push_back(this);
}

DBGrid::~DBGrid() {
  auto& grids = Grids();
  grids.erase(std::find(grids.begin(), grids.end(), this));
}

void DBGrid::SetAutoFillColumns(bool value) {
  auto_fill_ = value;
  if (value) {
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    return;
  }
  // Keep the widths the stretching gave.
  std::vector<int> widths;
  for (int c = 0; c < model_.columnCount(); ++c) widths.push_back(columnWidth(c));
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  for (int c = 0; c < static_cast<int>(widths.size()); ++c) {
    setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
  }
}

void DBGrid::SetPickList(int column, const QStringList& values) {
  setItemDelegateForColumn(column, new PickListDelegate(values, this));
}

bool DBGrid::CommitEdit() {
  if (state() != QAbstractItemView::EditingState) return true;
  const int refused = model_.RefusedWrites();
  // The editors are the viewport's children; commitData skips any other.
  // Closed ones stay there hidden until they are deleted.
  for (QWidget* editor : viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!editor->isHidden()) commitData(editor);
  }
  return model_.RefusedWrites() == refused;
}

bool DBGrid::CommitEdits(const db::DataSet& dataset) {
  bool accepted = true;
  // A copy: a rule run by the commit may create or free grids.
  const std::vector<DBGrid*> grids = Grids();
  for (DBGrid* grid : grids) {
    const auto& all = Grids();
    if (std::find(all.begin(), all.end(), grid) == all.end()) continue;
    if (grid->model_.DataSet() == &dataset && !grid->CommitEdit()) accepted = false;
  }
  return accepted;
}

void DBGrid::ReadShownRows(const db::DataSet& dataset) {
  const std::vector<DBGrid*> grids = Grids();
  for (DBGrid* grid : grids) {
    if (grid->model_.DataSet() == &dataset && grid->isVisible()) grid->viewport()->repaint();
  }
}

void DBGrid::FollowCurrentRow(int row) {
  following_ = true;
  if (row < 0) {
    setCurrentIndex(QModelIndex());
  } else {
    // The user's column, also when a reset of the model has cleared the cell.
    const int column = std::max(0, std::min(column_, model_.columnCount() - 1));
    setCurrentIndex(model_.index(row, column));
  }
  following_ = false;
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (resetting_) return;
  if (current.isValid()) column_ = current.column();
  if (following_ || !current.isValid() || current.row() == model_.CurrentRow()) return;
  Guard(messages_, [&] { model_.MoveTo(current.row()); });
  // A refused move (a post that failed) leaves the cell on the dataset's row.
  if (model_.CurrentRow() != current.row()) FollowCurrentRow(model_.CurrentRow());
}

}  // namespace app

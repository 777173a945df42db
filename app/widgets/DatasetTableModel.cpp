// Reading rows on demand: a row is read by moving the dataset's cursor to it,
// with the dataset's scroll events muted, and the cursor goes back to the
// record the user chose before anything else can see it.
#include "DatasetTableModel.h"

#include <QApplication>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

#include "Guard.h"

namespace app {
namespace {

// Rows read in one excursion: a screenful and then some, so that scrolling by
// a line or a page costs one excursion per window, not one per row.
constexpr int kWindowRows = 160;

bool IsBoolean(const db::Field* field) {
  return field != nullptr && field->DataType() == db::FieldType::ftBoolean;
}

}  // namespace

DatasetTableModel::DatasetTableModel(Messages& messages, QObject* parent)
    : QAbstractTableModel(parent), messages_(messages) {}

DatasetTableModel::~DatasetTableModel() {
  if (dataset_ != nullptr) dataset_->RemoveObserver(this);
}

bool DatasetTableModel::IsReading(const db::DataSet& dataset) { return dataset.CursorQuiet(); }

void DatasetTableModel::SetDataSet(db::DataSet* dataset) {
  if (dataset_ == dataset) return;
  if (dataset_ != nullptr) dataset_->RemoveObserver(this);
  dataset_ = dataset;
  if (dataset_ != nullptr) dataset_->AddObserver(this);
  Reset();
}

void DatasetTableModel::SetColumns(std::vector<GridColumn> columns) {
  auto_columns_ = columns.empty();
  columns_ = std::move(columns);
  Reset();
}

db::Field* DatasetTableModel::ColumnField(int column) const {
  if (column < 0 || column >= static_cast<int>(fields_.size())) return nullptr;
  return fields_[static_cast<std::size_t>(column)];
}

QString DatasetTableModel::ColumnFieldName(int column) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return {};
  return QString::fromStdString(columns_[static_cast<std::size_t>(column)].field);
}

void DatasetTableModel::ResolveFields() {
  const bool open = dataset_ != nullptr && dataset_->Active();
  if (auto_columns_) {
    columns_.clear();
    for (int i = 0; open && i < dataset_->FieldCount(); ++i) {
      const std::string& name = dataset_->Fields(i).FieldName();
      columns_.push_back({QString::fromStdString(name), name});
    }
  }
  fields_.clear();
  for (const GridColumn& column : columns_) {
    fields_.push_back(open ? dataset_->FindField(column.field) : nullptr);
  }
}

void DatasetTableModel::Reset() {
  beginResetModel();
  window_.clear();
  ResolveFields();
  const bool open = dataset_ != nullptr && dataset_->Active();
  count_ = open ? dataset_->RecordCount() : 0;
  insert_row_ = -1;
  if (open && dataset_->State() == db::DataSetState::kInsert) {
    insert_row_ = std::clamp(current_row_, 0, count_);
  }
  endResetModel();
  UpdateCurrentRow();
}

void DatasetTableModel::UpdateCurrentRow() {
  int row = -1;
  if (insert_row_ >= 0) {
    row = insert_row_;
  } else if (dataset_ != nullptr && dataset_->Active() && !dataset_->IsEmpty()) {
    // RecNo walks the order in some datasets: asked once per move, never per cell.
    row = dataset_->RecNo() - 1;
  }
  const int old_row = current_row_;
  current_row_ = row;
  if (old_row >= 0 && old_row < rowCount()) emit headerDataChanged(Qt::Vertical, old_row, old_row);
  if (row >= 0) emit headerDataChanged(Qt::Vertical, row, row);
  emit currentRowChanged(row);
}

void DatasetTableModel::OnDataEvent(db::DataSet& dataset, db::DataEvent event) {
  if (IsReading(dataset)) return;
  switch (event) {
    case db::DataEvent::kActiveChanged:
    case db::DataEvent::kDataSetChanged:
      Reset();
      break;
    case db::DataEvent::kScrolled:
      UpdateCurrentRow();
      break;
    case db::DataEvent::kRecordChanged:
      if (current_row_ >= 0) {
        emit dataChanged(index(current_row_, 0), index(current_row_, columnCount() - 1));
      }
      break;
    case db::DataEvent::kStateChanged:
      if (dataset.State() == db::DataSetState::kInsert && insert_row_ < 0) {
        // The framework inserts before the current record, or at the end of
        // an empty dataset.
        const int row = std::clamp(current_row_ < 0 ? count_ : current_row_, 0, count_);
        beginInsertRows(QModelIndex(), row, row);
        insert_row_ = row;
        endInsertRows();
        UpdateCurrentRow();
      } else if (dataset.State() != db::DataSetState::kInsert && insert_row_ >= 0) {
        Reset();
      } else if (current_row_ >= 0) {
        emit headerDataChanged(Qt::Vertical, current_row_, current_row_);
      }
      break;
  }
}

int DatasetTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return count_ + (insert_row_ >= 0 ? 1 : 0);
}

int DatasetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int DatasetTableModel::DataSetRow(int row) const {
  return insert_row_ >= 0 && row > insert_row_ ? row - 1 : row;
}

bool DatasetTableModel::IsLiveRow(int row) const {
  if (insert_row_ >= 0) return row == insert_row_;
  return row == current_row_ && dataset_->State() == db::DataSetState::kEdit;
}

QVariant DatasetTableModel::ActiveValue(const db::Field* field) const {
  if (field == nullptr || field->IsNull()) return {};
  if (IsBoolean(field)) return field->AsBoolean();
  return QString::fromStdString(field->DisplayText());
}

DatasetTableModel::RowValues DatasetTableModel::ReadActiveRecord() const {
  RowValues values;
  values.reserve(fields_.size());
  for (const db::Field* field : fields_) values.push_back(ActiveValue(field));
  return values;
}

void DatasetTableModel::FillWindow(int row) const {
  db::DataSet& ds = *dataset_;
  window_.clear();
  const int first = std::max(0, std::min(row - kWindowRows / 4, count_ - kWindowRows));
  const int last = std::min(count_ - 1, first + kWindowRows - 1);
  window_first_ = first;
  // The cursor walks quietly: neither the dataset's scroll rules and hooks
  // (a master moving its details, a query loaded into the editor, a project
  // reconnecting) nor its observers see rows the user never chose.
  db::QuietCursor reading(ds);
  const db::Bookmark home = ds.GetBookmark();
  try {
    // Start from the nearest of the first record, the last and the current one.
    const int from_first = first;
    const int from_last = count_ - 1 - first;
    const int from_current = current_row_ >= 0 ? std::abs(first - current_row_) : INT_MAX;
    if (from_first <= from_last && from_first <= from_current) {
      ds.First();
      ds.MoveBy(first);
    } else if (from_last <= from_current) {
      ds.Last();
      ds.MoveBy(first - (count_ - 1));
    } else {
      ds.MoveBy(first - current_row_);
    }
    for (int r = first; r <= last && !ds.IsEmpty(); ++r) {
      window_.push_back(ReadActiveRecord());
      if (r == last || ds.MoveBy(1) != 1) break;
    }
  } catch (...) {
    // A row that cannot be read shows empty; painting must not raise.
  }
  try {
    if (home.IsSet()) {
      ds.GotoBookmark(home);
    } else if (ds.Active()) {
      ds.First();
    }
  } catch (...) {
  }
}

QVariant DatasetTableModel::CellValue(const QVariant& value, int column, int role) const {
  if (IsBoolean(ColumnField(column))) {
    if (role != Qt::CheckStateRole) return {};
    return value.toBool() ? Qt::Checked : Qt::Unchecked;
  }
  if (role == Qt::DisplayRole || role == Qt::EditRole) return value.isNull() ? QString() : value;
  return {};
}

QVariant DatasetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || dataset_ == nullptr || !dataset_->Active()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::CheckStateRole) return {};
  const int row = index.row();
  if (IsLiveRow(row)) {
    // The record being edited or inserted: only the asked field is read.
    const int column = index.column();
    if (column < 0 || column >= static_cast<int>(fields_.size())) return {};
    return CellValue(ActiveValue(fields_[static_cast<std::size_t>(column)]), column, role);
  }
  const int ds_row = DataSetRow(row);
  const bool cached =
      ds_row >= window_first_ && ds_row < window_first_ + static_cast<int>(window_.size());
  if (!cached) {
    // Moving the cursor would post a pending edit, and while controls are
    // disabled the dataset is in the middle of bulk work: show nothing new.
    if (dataset_->State() != db::DataSetState::kBrowse || dataset_->ControlsDisabled()) return {};
    // A message box opened in the middle of a dataset operation (a rule that
    // reports) paints the window from its own event loop: leave the cursor be.
    if (QApplication::activeModalWidget() != nullptr) return {};
    FillWindow(ds_row);
    if (ds_row < window_first_ || ds_row >= window_first_ + static_cast<int>(window_.size())) {
      return {};
    }
  }
  const RowValues& values = window_[static_cast<std::size_t>(ds_row - window_first_)];
  const int column = index.column();
  if (column < 0 || column >= static_cast<int>(values.size())) return {};
  return CellValue(values[static_cast<std::size_t>(column)], column, role);
}

QVariant DatasetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
    return columns_[static_cast<std::size_t>(section)].title;
  }
  // The indicator column: the current record, marked by its state.
  if (section != current_row_ || dataset_ == nullptr) return QString();
  switch (dataset_->State()) {
    case db::DataSetState::kEdit:
      return QStringLiteral("I");
    case db::DataSetState::kInsert:
      return QStringLiteral("*");
    default:
      return QStringLiteral(">");
  }
}

Qt::ItemFlags DatasetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const db::Field* field = ColumnField(index.column());
  if (field == nullptr || field->ReadOnly() || field->DataType() == db::FieldType::ftAutoInc) {
    return flags;
  }
  return flags | (IsBoolean(field) ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable);
}

void DatasetTableModel::MoveTo(int row) {
  if (dataset_ == nullptr || !dataset_->Active() || row < 0 || row == current_row_) return;
  db::DataSet& ds = *dataset_;
  // A pending edit or insert is posted first; the rows may change with it.
  ds.CheckBrowseMode();
  if (row == current_row_ || row >= count_) return;
  if (current_row_ < 0) {
    ds.First();
    ds.MoveBy(row);
  } else {
    ds.MoveBy(row - current_row_);
  }
}

bool DatasetTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || dataset_ == nullptr || !dataset_->Active()) return false;
  if (role != Qt::EditRole && role != Qt::CheckStateRole) return false;
  const bool written = Guard(messages_, [&] {
    if (index.row() != current_row_) MoveTo(index.row());
    db::Field* field = ColumnField(index.column());
    if (field == nullptr) return;
    if (dataset_->State() == db::DataSetState::kBrowse) dataset_->Edit();
    if (role == Qt::CheckStateRole) {
      field->SetAsBoolean(value.toInt() == Qt::Checked);
    } else {
      field->SetAsString(value.toString().toStdString());
    }
  });
  if (!written) ++refused_writes_;
  return written;
}

}  // namespace app

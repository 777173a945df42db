// The navigator's buttons and their enabled states.
#include "DBNavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "DBGrid.h"
#include "DatasetTableModel.h"
#include "Guard.h"

namespace app {
namespace {

struct ButtonLook {
  const char* name;  // object and accessible name, and the tooltip
  const char* glyph;
};

constexpr std::array<ButtonLook, DBNavigator::kButtonCount> kButtons = {{
    {"First", "|<"},
    {"Prior", "<"},
    {"Next", ">"},
    {"Last", ">|"},
    {"Insert", "+"},
    {"Delete", "-"},
    {"Edit", "^"},
    {"Post", "\u2713"},
    {"Cancel", "x"},
    {"Refresh", "\u21bb"},
}};

}  // namespace

DBNavigator::DBNavigator(Messages& messages, QWidget* parent)
    : QWidget(parent), messages_(messages) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  for (int i = 0; i < kButtonCount; ++i) {
    auto* button = new QToolButton(this);
    const QString name = QString::fromLatin1(kButtons[static_cast<std::size_t>(i)].name);
    button->setObjectName(name);
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setText(QString::fromUtf8(kButtons[static_cast<std::size_t>(i)].glyph));
    button->setMinimumWidth(28);
    connect(button, &QToolButton::clicked, this, [this, i] { Click(static_cast<Button>(i)); });
    layout->addWidget(button);
    buttons_[static_cast<std::size_t>(i)] = button;
  }
  layout->addStretch(1);
  UpdateButtons();
}

DBNavigator::~DBNavigator() {
  if (dataset_ != nullptr) dataset_->RemoveObserver(this);
}

void DBNavigator::SetDataSet(db::DataSet* dataset) {
  if (dataset_ == dataset) return;
  if (dataset_ != nullptr) dataset_->RemoveObserver(this);
  dataset_ = dataset;
  if (dataset_ != nullptr) dataset_->AddObserver(this);
  UpdateButtons();
}

void DBNavigator::Click(Button button) {
  if (dataset_ == nullptr) return;
  db::DataSet& ds = *dataset_;
  // The buttons never take the focus, so a value still open in a grid's cell
  // editor has not reached the dataset: it goes first, as leaving the cell
  // would hand it over. Cancel and delete drop it with the record's changes.
  // A refused value stops the button, the editor keeping it.
  if (button != kCancel && button != kDelete && !DBGrid::CommitEdits(ds)) {
    UpdateButtons();
    return;
  }
  Guard(messages_, [&] {
    switch (button) {
      case kFirst:
        ds.First();
        break;
      case kPrior:
        ds.Prior();
        break;
      case kNext:
        ds.Next();
        break;
      case kLast:
        ds.Last();
        break;
      case kInsert:
        // A pending edit is posted first, on its own: the grids then read the
        // rows around the new one while the dataset may still move.
        ds.CheckBrowseMode();
        DBGrid::ReadShownRows(ds);
        ds.Insert();
        break;
      case kDelete:
        if (messages_.OkCancel("Delete record?")) ds.Delete();
        break;
      case kEdit:
        ds.Edit();
        break;
      case kPost:
        ds.Post();
        break;
      case kCancel:
        ds.Cancel();
        break;
      case kRefresh:
        ds.Refresh();
        break;
    }
  });
  UpdateButtons();
}

void DBNavigator::OnDataEvent(db::DataSet& dataset, db::DataEvent) {
  if (!DatasetTableModel::IsReading(dataset)) UpdateButtons();
}

void DBNavigator::UpdateButtons() {
  const bool active = dataset_ != nullptr && dataset_->Active();
  const bool editing = active && (dataset_->State() == db::DataSetState::kEdit ||
                                  dataset_->State() == db::DataSetState::kInsert);
  const bool browsing = active && !editing;
  const bool empty = !active || dataset_->IsEmpty();
  const bool can_back = browsing && !empty && !dataset_->Bof();
  const bool can_forward = browsing && !empty && !dataset_->Eof();
  const std::array<bool, kButtonCount> enabled = {
      can_back,         can_back,           can_forward, can_forward, active,
      active && !empty, browsing && !empty, editing,     editing,     browsing};
  for (int i = 0; i < kButtonCount; ++i) {
    buttons_[static_cast<std::size_t>(i)]->setEnabled(enabled[static_cast<std::size_t>(i)]);
  }
}

}  // namespace app

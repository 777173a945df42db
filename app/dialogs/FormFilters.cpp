// The filter dialog's layout, its memo kept on the current saved filter, and
// its buttons.
#include "FormFilters.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include "Controls.h"
#include "DBGrid.h"
#include "DBNavigator.h"
#include "DatasetDialogs.h"
#include "Guard.h"

namespace app {

namespace {

constexpr std::int64_t kNoTable = -3;
constexpr std::int64_t kNoRow = -2;
constexpr std::int64_t kNewRow = -1;

QWidget* Labelled(const QString& text, QWidget* control) {
  auto* label = new QLabel(text);
  label->setBuddy(control);
  return Stack({label, control});
}

}  // namespace

FormFilters::FormFilters(Messages& messages, dbf::TDbf& filters, QWidget* parent)
    : DataDialog(messages, parent, "FormFilters", QStringLiteral("Custom Filter")),
      filters_(filters) {
  resize(520, 420);
  grid_ = MakeGrid(messages, nullptr, "DBGridFilters", &filters,
                   {{"FilterName", "FILTERNAME"}, {"Comment", "FILTERCOMMENT"}});
  navigator_ = MakeNavigator(messages, nullptr, "DBNavigatorFilters", &filters);
  auto* saved = new QGroupBox(QStringLiteral("Saved Filters"));
  saved->setObjectName(QStringLiteral("GroupBoxSavedFilters"));
  auto* saved_layout = new QVBoxLayout(saved);
  saved_layout->setContentsMargins(2, 2, 2, 2);
  saved_layout->addWidget(navigator_);
  saved_layout->addWidget(grid_, 1);

  fields_ = MakeEditableList(nullptr, "ComboBoxFilterFields", QStringLiteral("Choose Fields"));
  expressions_ =
      MakeEditableList(nullptr, "ComboBoxFilterExpressions", QStringLiteral("Choose Expression"));
  for (std::string_view item : kFilterExpressions) {
    expressions_->addItem(QString::fromUtf8(item.data(), static_cast<int>(item.size())));
  }
  expressions_->setCurrentIndex(0);

  memo_ = new QPlainTextEdit;
  memo_->setObjectName(QStringLiteral("DBMemoFilter"));
  memo_->setAccessibleName(QStringLiteral("DBMemoFilter"));
  connect(memo_, &QPlainTextEdit::textChanged, this, [this] {
    if (!loading_memo_) memo_changed_ = true;
  });

  QPushButton* append_field = MakeButton(nullptr, "ButtonAppendFilterField", "Append Field");
  QPushButton* append_expression =
      MakeButton(nullptr, "ButtonAppendFilterExpression", "Append Expression");
  QPushButton* apply = MakeButton(nullptr, "ButtonApplyFilter", "Apply Filter");
  QPushButton* remove = MakeButton(nullptr, "ButtonRemoveFilter", "Remove Filter");
  connect(append_field, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonAppendFilterFieldClick(); }); });
  connect(append_expression, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonAppendFilterExpressionClick(); }); });
  connect(apply, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonApplyFilterClick(); }); });
  connect(remove, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonRemoveFilterClick(); }); });

  QWidget* lists = Row({Labelled(QStringLiteral("Choose Fields"), fields_),
                        Labelled(QStringLiteral("Choose Expression"), expressions_)});
  QWidget* buttons = Row({append_field, append_expression, apply, remove});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(saved, 1);
  layout->addWidget(lists);
  layout->addWidget(buttons);
  layout->addWidget(memo_, 1);

  filters_.AddObserver(this);
  shown_key_ = ShownRowKey();
  LoadMemo();
}

FormFilters::~FormFilters() {
  filters_.RemoveObserver(this);
  // The grid and navigator observe the table too: they go now, while it exists.
  grid_->SetDataSet(nullptr);
  navigator_->SetDataSet(nullptr);
}

void FormFilters::OpenFor(db::DataSet& dataset) {
  OpenWithFieldList(dataset, *fields_, "Error while trying to open the form \"FormFilters\". ");
}

std::int64_t FormFilters::ShownRowKey() const {
  if (!filters_.Active()) return kNoTable;
  if (filters_.IsEmpty()) return kNoRow;
  const db::Field* id = filters_.FindField("FILTER_ID");
  if (id == nullptr || id->IsNull()) return kNewRow;
  return id->AsInteger();
}

void FormFilters::LoadMemo() {
  std::string text;
  if (filters_.Active() && !filters_.IsEmpty()) {
    if (const db::Field* field = filters_.FindField("FILTERTEXT")) text = field->AsString();
  }
  loading_memo_ = true;
  if (memo_->toPlainText().toStdString() != text) memo_->setPlainText(QString::fromStdString(text));
  loading_memo_ = false;
  memo_changed_ = false;
}

void FormFilters::OnDataEvent(db::DataSet&, db::DataEvent) {
  // Another saved filter (a move, another project, a reopened table) brings
  // its text; on the same one, text being composed is kept.
  const std::int64_t key = ShownRowKey();
  if (key == shown_key_ && memo_changed_) return;
  shown_key_ = key;
  LoadMemo();
}

void FormFilters::AppendAtCaret(const QComboBox& list) {
  // Only an entry of the list counts: typed text that is none of them is not.
  const QString entry = ChosenEntry(list);
  if (entry.isEmpty()) return;
  QTextCursor cursor = memo_->textCursor();
  const QTextBlock block = cursor.block();
  const QString line = block.text();
  const int column = cursor.positionInBlock();
  const std::string line_bytes = line.toStdString();
  const std::size_t caret = line.left(column).toStdString().size();
  std::size_t new_caret = 0;
  const std::string changed =
      InsertAtCaret(line_bytes, caret, entry.toStdString(), &new_caret);
  const QString new_line = QString::fromStdString(changed);
  const int new_column = QString::fromStdString(changed.substr(0, new_caret)).size();

  cursor.beginEditBlock();
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + line.size(), QTextCursor::KeepAnchor);
  cursor.insertText(new_line);
  cursor.endEditBlock();
  cursor.setPosition(block.position() + new_column);
  memo_->setTextCursor(cursor);
  memo_changed_ = true;
}

void FormFilters::ButtonAppendFilterFieldClick() { AppendAtCaret(*fields_); }

void FormFilters::ButtonAppendFilterExpressionClick() { AppendAtCaret(*expressions_); }

void FormFilters::ButtonApplyFilterClick() {
  const std::string text = memo_->toPlainText().toStdString();
  if (const std::string too_long = FilterTextTooLong(text); !too_long.empty()) {
    messages_.Info(too_long);
    return;
  }
  if (target_ == nullptr) throw db::DatabaseError("No dataset to filter.");
  const std::string error = ApplyFilter(*target_, StoredFilterText(text), [&] {
    StoreFilterText(filters_, text);
    memo_changed_ = false;
    LoadMemo();
  });
  if (!error.empty()) messages_.Info(error);
}

void FormFilters::ButtonRemoveFilterClick() {
  if (target_ == nullptr) return;
  RemoveFilter(*target_);
}

}  // namespace app

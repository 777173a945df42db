// The find dialog's layout and its two buttons.
#include "FormFind.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Controls.h"
#include "DatasetDialogs.h"
#include "Guard.h"

namespace app {

FormFind::FormFind(Messages& messages, QWidget* parent)
    : DataDialog(messages, parent, "FormFind", QStringLiteral("Custom Search")) {
  resize(360, 150);
  fields_ = MakeEditableList(nullptr, "ComboBoxFindFields", QStringLiteral("Field (Column)"));
  value_ = new QLineEdit;
  value_->setObjectName(QStringLiteral("EditFindValue"));
  value_->setAccessibleName(QStringLiteral("Value To Find"));
  auto* field_label = new QLabel(QStringLiteral("Field (Column)"));
  field_label->setBuddy(fields_);
  auto* value_label = new QLabel(QStringLiteral("Value To Find"));
  value_label->setBuddy(value_);

  QPushButton* find = MakeButton(nullptr, "ButtonFind", "Find");
  QPushButton* find_next = MakeButton(nullptr, "ButtonFindNext", "Find Next");
  connect(find, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonFindClick(); }); });
  connect(find_next, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { ButtonFindNextClick(); }); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(field_label);
  layout->addWidget(fields_);
  layout->addWidget(value_label);
  layout->addWidget(value_);
  layout->addWidget(Row({find, find_next}));
  layout->addStretch(1);
}

void FormFind::OpenFor(db::DataSet& dataset) {
  OpenWithFieldList(dataset, *fields_, "Error while trying to open the form \"FormFind\". ");
}

std::string FormFind::SelectedField() const { return ChosenEntry(*fields_).toStdString(); }

void FormFind::ButtonFindClick() {
  try {
    if (target_ == nullptr) throw db::DatabaseError("Dataset not assigned");
    if (!FindValue(*target_, SelectedField(), value_->text().toStdString())) {
      messages_.Info(kNotFound);
    }
  } catch (const std::exception& e) {
    messages_.Info(e.what());
  }
}

void FormFind::ButtonFindNextClick() {
  bool found = false;
  if (target_ != nullptr) {
    try {
      found = FindNextValue(*target_, SelectedField(), value_->text().toStdString());
    } catch (const std::exception&) {
      // Find Next reports nothing but "Not found.".
    }
  }
  if (!found) messages_.Info(kNotFound);
}

}  // namespace app

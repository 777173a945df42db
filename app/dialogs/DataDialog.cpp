// The dialogs' common window settings.
#include "DataDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <exception>
#include <string>

namespace app {

DataDialog::DataDialog(Messages& messages, QWidget* parent, const char* name,
                       const QString& caption)
    : QWidget(parent, Qt::Tool), messages_(messages) {
  setObjectName(QString::fromLatin1(name));
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose, false);
}

QComboBox* MakeEditableList(QWidget* parent, const char* name, const QString& label) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setAccessibleName(label);
  list->setEditable(true);
  list->setInsertPolicy(QComboBox::NoInsert);
  NameEditableParts(*list, label);
  return list;
}

QString ChosenEntry(const QComboBox& list) {
  const int index = list.currentIndex();
  if (index < 0 || list.itemText(index) != list.currentText()) return {};
  return list.itemText(index);
}

void NameEditableParts(QComboBox& list, const QString& name) {
  if (QLineEdit* edit = list.lineEdit()) edit->setAccessibleName(name);
  list.view()->setAccessibleName(name);
}

void DataDialog::OpenWithFieldList(db::DataSet& dataset, QComboBox& fields,
                                   std::string_view error_prefix) {
  target_ = &dataset;
  fields.clear();
  if (dataset.Active()) {
    for (int i = 0; i < dataset.FieldCount(); ++i) {
      fields.addItem(QString::fromStdString(dataset.Fields(i).FieldName()));
    }
    fields.setCurrentIndex(fields.count() > 0 ? 0 : -1);
  }
  MakeVisible(error_prefix);
}

void DataDialog::MakeVisible(std::string_view error_prefix) {
  try {
    show();
    raise();
  } catch (const std::exception& e) {
    messages_.Info(std::string(error_prefix) + e.what());
  }
}

}  // namespace app

// What the three dialogs share: a tool window of the main window (non-modal,
// above it, hidden on close and kept for the program's lifetime), bound to the
// dataset it last was opened for.
#pragma once

#include <QWidget>

#include "db/DataSet.h"
#include "Messages.h"

class QComboBox;

namespace app {

// An editable list's edit and drop-down take its accessible name too.
void NameEditableParts(QComboBox& list, const QString& name);
// An editable list named `name`, whose typed text adds no entry, its parts
// named `label` for accessibility.
QComboBox* MakeEditableList(QWidget* parent, const char* name, const QString& label);
// The list's chosen entry: "" when the text typed into it is none of them.
QString ChosenEntry(const QComboBox& list);

class DataDialog : public QWidget {
  Q_OBJECT

 public:
  // `messages` must outlive the dialog; `parent` is the main window, above
  // which the dialog stays.
  DataDialog(Messages& messages, QWidget* parent, const char* name, const QString& caption);

  // The dataset the dialog works on: set by OpenFor, kept until the next one.
  // Not owned; nullptr before the first OpenFor.
  db::DataSet* TargetDataSet() const { return target_; }

 protected:
  // Shows the dialog; a failure is reported as `error_prefix` + its message.
  void MakeVisible(std::string_view error_prefix);
  // Binds the dialog to `dataset`, lists its field names (none while it is
  // closed) in `fields` with the first chosen, and shows the dialog.
  void OpenWithFieldList(db::DataSet& dataset, QComboBox& fields, std::string_view error_prefix);

  Messages& messages_;
  db::DataSet* target_ = nullptr;
};

}  // namespace app

// FormFind, "Custom Search": moves the target dataset to a row holding a value
// in a chosen field, the first one (Find) or the next one after the current
// row (Find Next).
#pragma once

#include "DataDialog.h"

class QComboBox;
class QLineEdit;

namespace app {

class FormFind : public DataDialog {
  Q_OBJECT

 public:
  FormFind(Messages& messages, QWidget* parent);

  // Binds the dialog to `dataset`, lists its fields (none when it is closed)
  // with the first selected, and shows the dialog.
  void OpenFor(db::DataSet& dataset);

  // "Not found." when no row holds the value exactly; any failure (no field
  // selected, a closed target) is shown by its own message.
  void ButtonFindClick();
  // "Not found." when no later row matches; the current row then stays.
  void ButtonFindNextClick();

  QComboBox* ComboBoxFindFields() const { return fields_; }
  QLineEdit* EditFindValue() const { return value_; }

 private:
  // The selected entry of the field list; "" when typed text selects none.
  std::string SelectedField() const;

  QComboBox* fields_;
  QLineEdit* value_;
};

}  // namespace app

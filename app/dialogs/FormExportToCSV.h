// FormExportToCSV, "Export Dataset To CSV (Comma Separated Values)": writes the
// rows the target dataset shows to the CSV file chosen in FileNameEdit1.
#pragma once

#include "DataDialog.h"

namespace app {

class FileNameEdit;

class FormExportToCSV : public DataDialog {
  Q_OBJECT

 public:
  FormExportToCSV(Messages& messages, QWidget* parent);

  // Binds the dialog to `dataset` and shows it.
  void OpenFor(db::DataSet& dataset);

  // "Save File": exports the target to the file named in FileNameEdit1 and
  // says where; a failure is shown as " I could not export the dataset. " +
  // its message, and an existing file is then left as it was.
  void Button1Click();

  FileNameEdit* FileNameEdit1() const { return file_name_; }

 private:
  FileNameEdit* file_name_;
};

}  // namespace app

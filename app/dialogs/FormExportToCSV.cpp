// The export dialog's layout and its "Save File" button.
#include "FormExportToCSV.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Controls.h"
#include "DatasetDialogs.h"
#include "FileChoosers.h"
#include "Guard.h"

namespace app {

FormExportToCSV::FormExportToCSV(Messages& messages, QWidget* parent)
    : DataDialog(messages, parent, "FormExportToCSV",
                 QStringLiteral("Export Dataset To CSV (Comma Separated Values)")) {
  resize(480, 110);
  auto* label = new QLabel(QStringLiteral("Browse folder and enter the file name."));
  file_name_ = MakeFileNameEdit(nullptr, "FileNameEdit1");
  label->setBuddy(file_name_->Edit());
  // A file to write: the dialog may name one that does not exist yet.
  file_name_->SetDialog([](QWidget* owner, const QString& start) {
    return QFileDialog::getSaveFileName(owner, QString(), start);
  });
  QPushButton* save = MakeButton(nullptr, "Button1", "Save File");
  connect(save, &QPushButton::clicked, this,
          [this] { Guard(messages_, [this] { Button1Click(); }); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(label);
  layout->addWidget(file_name_);
  layout->addWidget(Row({save}));
  layout->addStretch(1);
}

void FormExportToCSV::OpenFor(db::DataSet& dataset) {
  target_ = &dataset;
  MakeVisible("Error while trying to open the form \"FormExportToCSV\". ");
}

void FormExportToCSV::Button1Click() {
  const std::string file = file_name_->FileName().toStdString();
  try {
    if (target_ == nullptr) throw db::DatabaseError("Dataset not assigned");
    ExportToCsv(*target_, file);
  } catch (const std::exception& e) {
    messages_.Info(std::string(kExportFailed) + e.what());
    return;
  }
  messages_.Info(std::string(kExportDone) + file);
}

}  // namespace app

// The Projects and Tables pages' handlers: each reads its control, runs one
// Qt-free operation inside the guard and leaves the reporting to it.
#include "TablesArea.h"

#include <QHeaderView>
#include <QPushButton>

#include "Controls.h"
#include "DBGrid.h"
#include "FieldsSchema.h"
#include "FileChoosers.h"
#include "Guard.h"
#include "ProjectOperations.h"
#include "TableData.h"
#include "TableNames.h"
#include "WindowContext.h"

namespace app {
namespace {

template <class T>
T& Control(QWidget& root, const char* name) {
  T* control = root.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("The window lacks the control %s", name);
  return *control;
}

}  // namespace

TablesArea::TablesArea(WindowContext& context, TVoQueryDataSet& action_query, QWidget& root)
    : context_(context),
      action_query_(action_query),
      table_data_(std::make_unique<TableData>(context.VoQueryDatasetCSVTableData)) {
  GuardTableNames(context.catalogue);
  csv_grid_ = &Control<DBGrid>(root, "DBGridCSVTable");
  table_file_ = &Control<FileNameEdit>(root, "FileNameEditTableFile");

  // Loading detaches the grid, so that a million posted rows do not each
  // reach it, and attaches it again with its columns first stretched over its
  // width, then kept at those widths and widened to their titles.
  table_data_->detach_view = [this] { csv_grid_->SetDataSet(nullptr); };
  table_data_->attach_view = [this](bool loaded) {
    csv_grid_->SetDataSet(&context_.VoQueryDatasetCSVTableData);
    if (!loaded) return;
    csv_grid_->SetAutoFillColumns(true);
    csv_grid_->horizontalHeader()->resizeSections(QHeaderView::Stretch);
    csv_grid_->SetAutoFillColumns(false);
    FitGridColumnsToTitles(*csv_grid_);
  };

  auto& folder = Control<DirectoryEdit>(root, "DirectoryEditProjectFolder");
  QObject::connect(&folder, &DirectoryEdit::acceptDirectory, &folder, [this](QString& directory) {
    DirectoryEditProjectFolderAcceptDirectory(directory);
  });
  QObject::connect(table_file_, &FileNameEdit::clicked, table_file_,
                   [this] { FileNameEditTableFileClick(); });
  QObject::connect(table_file_, &FileNameEdit::acceptFileName, table_file_,
                   [this](QString& file_name) { FileNameEditTableFileAcceptFileName(file_name); });

  const struct {
    const char* name;
    void (TablesArea::*handler)();
  } buttons[] = {
      {"ButtonGetFieldsSchema", &TablesArea::ButtonGetFieldsSchemaClick},
      {"ButtonSetFieldsSchema", &TablesArea::ButtonSetFieldsSchemaClick},
      {"ButtonActivateCSVTablePreview", &TablesArea::ButtonActivateCSVTablePreviewClick},
      {"ButtonDeactivateCSVTablePreview", &TablesArea::ButtonDeactivateCSVTablePreviewClick},
      {"ButtonUpdateCSVTable", &TablesArea::ButtonUpdateCSVTableClick},
  };
  for (const auto& button : buttons) {
    auto& control = Control<QPushButton>(root, button.name);
    QObject::connect(&control, &QPushButton::clicked, &control,
                     [this, handler = button.handler] { (this->*handler)(); });
  }

  QObject::connect(csv_grid_, &DBGrid::titleClicked, csv_grid_,
                   [this](int, const QString& field) { DBGridCSVTableTitleClick(field); });
}

TablesArea::~TablesArea() = default;

void TablesArea::DirectoryEditProjectFolderAcceptDirectory(const QString& directory) {
  Guard(context_.messages, [&] {
    AcceptProjectFolder(context_.catalogue, context_.messages, directory.toStdString());
  });
}

void TablesArea::FileNameEditTableFileClick() {
  Guard(context_.messages, [&] {
    table_file_->SetInitialDir(QString::fromStdString(TableFileDialogFolder(context_.catalogue)));
  });
}

void TablesArea::FileNameEditTableFileAcceptFileName(const QString& file_name) {
  Guard(context_.messages, [&] {
    RegisterTableFile(context_.catalogue, context_.VoConnection1, context_.messages,
                      file_name.toStdString());
  });
}

void TablesArea::ButtonGetFieldsSchemaClick() {
  Guard(context_.messages,
        [&] { GetFieldsSchema(context_.catalogue, context_.VoConnection1, context_.messages); });
}

void TablesArea::ButtonSetFieldsSchemaClick() {
  Guard(context_.messages, [&] {
    SetFieldsSchema(context_.catalogue, context_.VoConnection1, action_query_, *table_data_,
                    context_.messages);
  });
}

void TablesArea::ButtonActivateCSVTablePreviewClick() {
  Guard(context_.messages,
        [&] { table_data_->LoadCSVTableData(context_.catalogue, context_.messages); });
}

void TablesArea::ButtonDeactivateCSVTablePreviewClick() {
  Guard(context_.messages, [&] { table_data_->UnloadData(context_.messages); });
}

void TablesArea::ButtonUpdateCSVTableClick() {
  // A value still in the grid's cell editor goes to the dataset first, so that
  // the save posts it.
  csv_grid_->CommitEdit();
  Guard(context_.messages,
        [&] { table_data_->SaveCSVTableData(context_.catalogue, context_.messages); });
}

void TablesArea::DBGridCSVTableTitleClick(const QString& field_name) {
  Guard(context_.messages,
        [&] { SortByTitle(context_.VoQueryDatasetCSVTableData, field_name.toStdString()); });
}

}  // namespace app

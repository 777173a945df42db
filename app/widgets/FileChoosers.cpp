// The choosers' layout and their default dialogs.
#include "FileChoosers.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace app {
namespace {

void Arrange(QWidget* owner, QLineEdit* edit, QToolButton* button, const QString& button_name) {
  auto* layout = new QHBoxLayout(owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  button->setText(QStringLiteral("..."));
  button->setAccessibleName(button_name);
  button->setToolTip(button_name);
  layout->addWidget(edit, 1);
  layout->addWidget(button);
}

}  // namespace

DirectoryEdit::DirectoryEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
  Arrange(this, edit_, button_, QStringLiteral("Choose folder"));
  dialog_ = [](QWidget* owner, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, QString(), start);
  };
  connect(button_, &QToolButton::clicked, this, &DirectoryEdit::Choose);
}

QString DirectoryEdit::Directory() const { return edit_->text(); }

void DirectoryEdit::SetDirectory(const QString& directory) { edit_->setText(directory); }

void DirectoryEdit::Choose() {
  QString chosen = dialog_(this, Directory());
  if (chosen.isEmpty()) return;
  emit acceptDirectory(chosen);
  SetDirectory(chosen);
}

FileNameEdit::FileNameEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
  Arrange(this, edit_, button_, QStringLiteral("Choose file"));
  dialog_ = [](QWidget* owner, const QString& start) {
    return QFileDialog::getOpenFileName(owner, QString(), start);
  };
  connect(button_, &QToolButton::clicked, this, &FileNameEdit::Choose);
}

QString FileNameEdit::FileName() const { return edit_->text(); }

void FileNameEdit::SetFileName(const QString& file_name) { edit_->setText(file_name); }

void FileNameEdit::Choose() {
  emit clicked();
  QString chosen = dialog_(this, initial_dir_);
  if (chosen.isEmpty()) return;
  emit acceptFileName(chosen);
  SetFileName(chosen);
}

}  // namespace app

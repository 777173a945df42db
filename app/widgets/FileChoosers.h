// The folder and file choosers: a line edit that shows the chosen path and a
// button that opens the file dialog. The choice is offered to a handler, which
// may change it, before it is shown.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace app {

// Opens a dialog starting in `start` and returns the chosen path, or "" when
// the user cancelled. Tests put in their own.
using PathDialog = std::function<QString(QWidget* parent, const QString& start)>;

class DirectoryEdit : public QWidget {
  Q_OBJECT

 public:
  explicit DirectoryEdit(QWidget* parent = nullptr);

  QString Directory() const;
  void SetDirectory(const QString& directory);
  QLineEdit* Edit() const { return edit_; }
  QToolButton* Button() const { return button_; }
  // Replaces the folder dialog.
  void SetDialog(PathDialog dialog) { dialog_ = std::move(dialog); }
  // Opens the dialog; a chosen folder goes to acceptDirectory, then into the edit.
  void Choose();

 signals:
  // A folder was chosen; handlers may change it.
  void acceptDirectory(QString& directory);

 private:
  QLineEdit* edit_;
  QToolButton* button_;
  PathDialog dialog_;
};

class FileNameEdit : public QWidget {
  Q_OBJECT

 public:
  explicit FileNameEdit(QWidget* parent = nullptr);

  QString FileName() const;
  void SetFileName(const QString& file_name);
  // Where the file dialog starts.
  QString InitialDir() const { return initial_dir_; }
  void SetInitialDir(const QString& folder) { initial_dir_ = folder; }
  QLineEdit* Edit() const { return edit_; }
  QToolButton* Button() const { return button_; }
  void SetDialog(PathDialog dialog) { dialog_ = std::move(dialog); }
  // Emits clicked, opens the dialog in InitialDir; a chosen file goes to
  // acceptFileName, then into the edit.
  void Choose();

 signals:
  // The button was pressed, before the dialog opens.
  void clicked();
  void acceptFileName(QString& file_name);

 private:
  QLineEdit* edit_;
  QToolButton* button_;
  QString initial_dir_;
  PathDialog dialog_;
};

}  // namespace app

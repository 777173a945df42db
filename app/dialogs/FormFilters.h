// FormFilters, "Custom Filter": the saved filters of the current project (the
// main window's Filters table) with the memo of the current one's FILTERTEXT,
// the field and expression lists that compose a filter at the memo's caret,
// and Apply Filter / Remove Filter on the target dataset.
#pragma once

#include "DataDialog.h"
#include "dbf/Dbf.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace app {

class DBGrid;
class DBNavigator;

class FormFilters : public DataDialog, private db::DataSetObserver {
  Q_OBJECT

 public:
  // `filters` is the main window's Filters table; it must outlive the dialog.
  FormFilters(Messages& messages, dbf::TDbf& filters, QWidget* parent);
  ~FormFilters() override;

  // Binds the dialog to `dataset`, lists its fields (none when it is closed)
  // with the first selected, and shows the dialog.
  void OpenFor(db::DataSet& dataset);

  void ButtonAppendFilterFieldClick();
  void ButtonAppendFilterExpressionClick();
  // Stores the memo as the current saved filter's FILTERTEXT (a new saved
  // filter when there is none) and applies it to the target. A text too long
  // for FILTERTEXT is reported and neither stored nor applied; a text the
  // filter parser refuses is reported, and the target then shows all its rows.
  void ButtonApplyFilterClick();
  void ButtonRemoveFilterClick();

  QComboBox* ComboBoxFilterFields() const { return fields_; }
  QComboBox* ComboBoxFilterExpressions() const { return expressions_; }
  QPlainTextEdit* DBMemoFilter() const { return memo_; }
  DBGrid* DBGridFilters() const { return grid_; }

 private:
  void OnDataEvent(db::DataSet& dataset, db::DataEvent event) override;
  // Which saved filter the memo shows: its FILTER_ID, or a mark for none.
  std::int64_t ShownRowKey() const;
  // The memo takes FILTERTEXT of the current saved filter.
  void LoadMemo();
  void AppendAtCaret(const QComboBox& list);

  dbf::TDbf& filters_;
  QComboBox* fields_;
  QComboBox* expressions_;
  QPlainTextEdit* memo_;
  DBGrid* grid_;
  DBNavigator* navigator_;
  // The memo holds text typed or appended since it was loaded.
  bool memo_changed_ = false;
  bool loading_memo_ = false;
  std::int64_t shown_key_ = 0;
};

}  // namespace app

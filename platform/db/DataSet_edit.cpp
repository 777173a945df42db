// The framework's editing: append, insert, edit, post, cancel, delete and the
// browse-mode check, in the fixed step order documented in DataSet.h.
#include "db/DataSet.h"

namespace db {

void DataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) {
    if (modified_) {
      Post();
    } else {
      Cancel();
    }
  }
}

void DataSet::Append() { DoInsertAppend(true); }

void DataSet::Insert() { DoInsertAppend(false); }

void DataSet::DoInsertAppend(bool append) {
  CheckBrowseMode();
  DoBeforeInsert();
  DoBeforeScroll();
  InternalInsert(append || !has_record_);
  modified_ = false;
  SetState(DataSetState::kInsert);
  DoOnNewRecord();
  DoAfterInsert();
  DoAfterScroll();
}

void DataSet::Edit() {
  CheckActive();
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) return;
  if (!has_record_) {
    // Nothing to edit: the record to be written is a new one.
    Append();
    return;
  }
  DoBeforeEdit();
  InternalEdit();
  modified_ = false;
  SetState(DataSetState::kEdit);
  DoAfterEdit();
}

void DataSet::Post() {
  CheckActive();
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) return;
  DoBeforePost();
  for (const auto& field : fields_) {
    if (field->Required() && !field->ReadOnly() && field->DataType() != FieldType::ftAutoInc &&
        field->IsNull()) {
      Raise(FormatMessage(kSNeedField, {field->DisplayName()}));
    }
  }
  InternalPost();
  modified_ = false;
  SetState(DataSetState::kBrowse);
  Resync();
  Notify(DataEvent::kDataSetChanged);
  DoAfterPost();
}

void DataSet::Cancel() {
  CheckActive();
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) return;
  bool was_insert = state_ == DataSetState::kInsert;
  DoBeforeCancel();
  InternalCancel();
  modified_ = false;
  SetState(DataSetState::kBrowse);
  Resync();
  Notify(DataEvent::kDataSetChanged);
  DoAfterCancel();
  if (was_insert) DoAfterScroll();
}

void DataSet::Delete() {
  CheckActive();
  if (state_ == DataSetState::kInsert) {
    Cancel();
    return;
  }
  if (!has_record_) Raise(kSEmptyDataset);
  DoBeforeDelete();
  if (state_ == DataSetState::kEdit) {
    // The pending changes of the record about to go are dropped.
    InternalCancel();
    modified_ = false;
    SetState(DataSetState::kBrowse);
  }
  InternalDelete();
  SetState(DataSetState::kBrowse);
  Resync();
  Notify(DataEvent::kDataSetChanged);
  DoAfterDelete();
  DoAfterScroll();
}

}  // namespace db

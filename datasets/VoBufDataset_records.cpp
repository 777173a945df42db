// TVoBufDataset: inserting, editing, posting, cancelling and deleting records.
#include "datasets/VoBufDataset.h"

void TVoBufDataset::InternalInsert(bool append) {
  for (db::FieldValue& value : edit_buffer_) value.SetNull();
  pending_blobs_.clear();
  appending_ = append;
  inserting_ = true;
  edit_target_ = append ? db::kNoRecord : Current().CursorRecord();
}

void TVoBufDataset::InternalEdit() {
  pending_blobs_.clear();
  inserting_ = false;
  edit_target_ = Current().CursorRecord();
  store_.Unpack(edit_target_, edit_buffer_);
}

void TVoBufDataset::InternalCancel() {
  pending_blobs_.clear();
  inserting_ = false;
}

bool TVoBufDataset::IsMaintained(std::size_t index) const {
  if (index == 0) return true;
  // A bulk load sorts every other index once at its end instead.
  if (bulk_index_) return false;
  if (!indexes_[index]->IsInitialised()) return false;
  return index != 1 || current_index_ == 1;
}

void TVoBufDataset::InternalPost() {
  for (const PendingBlob& blob : pending_blobs_) {
    db::FieldValue& value = edit_buffer_[static_cast<std::size_t>(blob.field_index)];
    value.is_null = false;
    value.s = *blob.contents;
  }
  pending_blobs_.clear();

  if (State() == db::DataSetState::kEdit) {
    // Logged first: the entry keeps the record as it was before this edit.
    LogPost(edit_target_, false);
    store_.Replace(edit_target_, edit_buffer_);
    Current().SetCursor(edit_target_);
    return;
  }

  // The record named at Insert may be gone (deleted by a handler meanwhile):
  // the new record is then appended.
  db::RecordId before = TBufIndex::kSentinel;
  if (!appending_ && edit_target_ != db::kNoRecord && IsListed(store_.BookmarkOf(edit_target_))) {
    before = edit_target_;
  }
  db::RecordId record = store_.Add(edit_buffer_);
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (!IsMaintained(i)) continue;
    TBufIndex& index = *indexes_[i];
    index.Reserve(store_.IdLimit());
    if (i == current_index_ || i == 0) {
      index.InsertBefore(before, record);
    } else {
      index.InsertBefore(index.CursorRecord(), record);
    }
  }
  Current().SetCursor(record);
  inserting_ = false;
  LogPost(record, true);
}

// The record stays stored: the change log names it until it is applied,
// cancelled or the dataset closes.
void TVoBufDataset::InternalDelete() {
  db::RecordId record = Current().CursorRecord();
  delete_followers_.assign(indexes_.size(), kUnknownFollower);
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (!IsMaintained(i)) continue;
    delete_followers_[i] = indexes_[i]->Next(record);
    indexes_[i]->Unlink(record);
  }
  LogDeletion(record);
}

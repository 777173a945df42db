// TVoBufDataset: the cursor over the current index, the filter test, bookmarks,
// and inserting, editing, posting, cancelling and deleting records.
#include "VoBufDataset.h"

void TVoBufDataset::InternalFirst() { Current().SetCursor(TBufIndex::kSentinel); }

void TVoBufDataset::InternalLast() { Current().SetCursor(TBufIndex::kSentinel); }

bool TVoBufDataset::FilterAccepts(db::RecordId record) {
  filter_record_ = record;
  db::DataSetState old_state = SetTempState(db::DataSetState::kFilter);
  bool accept = true;
  try {
    DoFilterRecord(accept);
  } catch (...) {
    RestoreState(old_state);
    throw;
  }
  RestoreState(old_state);
  return accept;
}

void TVoBufDataset::DoFilterRecord(bool& accept) {
  accept = true;
  if (OnFilterRecord) OnFilterRecord(*this, accept);
}

db::GetResult TVoBufDataset::GetRecord(db::GetMode mode, bool do_check) {
  TBufIndex& index = Current();
  const db::RecordId start = index.CursorRecord();
  db::GetResult result = db::GetResult::grOK;
  bool rejected = false;
  while (true) {
    db::RecordId cursor = index.CursorRecord();
    switch (mode) {
      case db::GetMode::kPrior:
        cursor = index.Prior(cursor);
        result = cursor == TBufIndex::kSentinel ? db::GetResult::grBOF : db::GetResult::grOK;
        break;
      case db::GetMode::kCurrent:
        if (index.IsEmpty()) {
          result = db::GetResult::grError;
        } else {
          if (cursor == TBufIndex::kSentinel) cursor = index.LastRecord();
          result = db::GetResult::grOK;
        }
        break;
      case db::GetMode::kNext:
        cursor = index.Next(cursor);
        result = cursor == TBufIndex::kSentinel ? db::GetResult::grEOF : db::GetResult::grOK;
        break;
    }
    if (result != db::GetResult::grOK) break;
    index.SetCursor(cursor);
    if (!Filtered() || FilterAccepts(cursor)) break;
    if (mode == db::GetMode::kCurrent) {
      rejected = true;
      result = db::GetResult::grError;
      break;
    }
  }
  if (result != db::GetResult::grOK) {
    index.SetCursor(start);
    if (result == db::GetResult::grError && do_check && !rejected) Raise(db::kSNoRecord);
  }
  return result;
}

int TVoBufDataset::GetRecNo() const {
  if (!HasCurrentRecord() || store_.Count() == 0 || State() == db::DataSetState::kInsert) {
    return 0;
  }
  return Current().RecordNumber(Current().CursorRecord());
}

db::Bookmark TVoBufDataset::InternalGetBookmark() const {
  return store_.BookmarkOf(Current().CursorRecord());
}

bool TVoBufDataset::BookmarkValid(const db::Bookmark& bookmark) const {
  return Active() && store_.IsLive(bookmark);
}

void TVoBufDataset::InternalGotoBookmark(const db::Bookmark& bookmark) {
  if (!store_.IsLive(bookmark)) Raise(db::kSInvalidBookmark);
  Current().SetCursor(bookmark.id);
}

void TVoBufDataset::InternalInsert(bool append) {
  for (db::FieldValue& value : edit_buffer_) value.SetNull();
  pending_blobs_.clear();
  appending_ = append;
  edit_target_ = append ? db::kNoRecord : Current().CursorRecord();
}

void TVoBufDataset::InternalEdit() {
  pending_blobs_.clear();
  edit_target_ = Current().CursorRecord();
  store_.Unpack(edit_target_, edit_buffer_);
}

void TVoBufDataset::InternalCancel() { pending_blobs_.clear(); }

bool TVoBufDataset::IsMaintained(std::size_t index) const {
  if (index == 0) return true;
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
    store_.Replace(edit_target_, edit_buffer_);
    Current().SetCursor(edit_target_);
    return;
  }

  // The record named at Insert may be gone (deleted by a handler meanwhile):
  // the new record is then appended.
  db::RecordId before = TBufIndex::kSentinel;
  if (!appending_ && edit_target_ != db::kNoRecord &&
      store_.IsLive(store_.BookmarkOf(edit_target_))) {
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
}

void TVoBufDataset::InternalDelete() {
  db::RecordId record = Current().CursorRecord();
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (IsMaintained(i)) indexes_[i]->Unlink(record);
  }
  store_.Remove(record);
}

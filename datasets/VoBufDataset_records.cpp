// TVoBufDataset: inserting, editing, posting, cancelling and deleting records,
// and a bulk load's records stored straight from texts.
#include "datasets/VoBufDataset.h"

#include <algorithm>
#include <stdexcept>

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

bool TVoBufDataset::BeginTextAppends(std::size_t rows) {
  text_slots_.clear();
  text_sizes_.clear();
  if (!Active() || State() != db::DataSetState::kBrowse || !bulk_index_ || !ControlsDisabled() ||
      Filtered()) {
    return false;
  }
  // Each of these would be called once per row by Append and Post.
  if (BeforeInsert || AfterInsert || OnNewRecord || BeforePost || AfterPost || BeforeScroll ||
      AfterScroll) {
    return false;
  }
  const db::RecordFormat& format = store_.Format();
  if (FieldCount() != format.FieldCount()) return false;
  std::vector<bool> taken(static_cast<std::size_t>(format.FieldCount()), false);
  for (int i = 0; i < FieldCount(); ++i) {
    const db::Field& field = Fields(i);
    const int slot = field.FieldNo() - 1;
    if (slot < 0 || slot >= format.FieldCount() || taken[static_cast<std::size_t>(slot)] ||
        format.Kind(slot) != db::StorageKind::kText || db::IsWideType(field.DataType()) ||
        field.Required() || field.ReadOnly() || field.OnChange) {
      text_slots_.clear();
      text_sizes_.clear();
      return false;
    }
    taken[static_cast<std::size_t>(slot)] = true;
    text_slots_.push_back(static_cast<std::size_t>(slot));
    text_sizes_.push_back(static_cast<std::size_t>(std::max(field.Size(), 0)));
  }
  text_record_.assign(static_cast<std::size_t>(format.FieldCount()), std::nullopt);
  store_.Reserve(rows);
  indexes_[0]->Reserve(store_.IdLimit() + rows);
  log_.Reserve(rows, store_.IdLimit() + rows);
  return true;
}

void TVoBufDataset::AppendTexts(std::span<const std::string_view> texts) {
  if (texts.size() > text_slots_.size() || !bulk_index_) {
    throw std::logic_error("TVoBufDataset::AppendTexts: outside BeginTextAppends");
  }
  std::fill(text_record_.begin(), text_record_.end(), std::nullopt);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    text_record_[text_slots_[i]] = texts[i].substr(0, text_sizes_[i]);
  }
  // As InternalPost appends: during a bulk load DEFAULT_ORDER alone takes it.
  const db::RecordId record = store_.AddTexts(text_record_);
  TBufIndex& index = *indexes_[0];
  index.Reserve(store_.IdLimit());
  index.InsertBefore(TBufIndex::kSentinel, record);
  Current().SetCursor(record);
  LogPost(record, true);
}

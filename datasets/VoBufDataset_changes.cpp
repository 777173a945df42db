// TVoBufDataset's change log: logging posts and deletes, finding a record's
// entry, the update status and old values, cancelling every change, and applying
// the changes one by one through ApplyRecUpdate.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

#include "VoBufDataset.h"

// --- Finding entries ----------------------------------------------------------

db::RecordId TVoBufDataset::ActiveRecord() const {
  if (State() == db::DataSetState::kFilter) return filter_record_;
  if (apply_record_ != db::kNoRecord) return apply_record_;
  switch (State()) {
    case db::DataSetState::kInsert:
      return db::kNoRecord;
    case db::DataSetState::kEdit:
      return edit_target_;
    default:
      // The old-value state may stand over an insert: the new record has none.
      if (inserting_ || !HasCurrentRecord()) return db::kNoRecord;
      return Current().CursorRecord();
  }
}

bool TVoBufDataset::IsLoggedDeletion(db::RecordId record) const {
  std::uint32_t entry = EntryIndexOf(record);
  return entry != kNoEntry && change_log_[entry].UpdateKind == db::UpdateKind::ukDelete;
}

bool TVoBufDataset::IsListed(const db::Bookmark& bookmark) const {
  return bookmark.IsSet() && store_.IsLive(bookmark) && !IsLoggedDeletion(bookmark.id);
}

db::Bookmark TVoBufDataset::BookmarkOfPosition(db::RecordId record) const {
  if (record == TBufIndex::kSentinel) return {};
  return store_.BookmarkOf(record);
}

db::Bookmark TVoBufDataset::NextBookmark(const TRecUpdateBuffer& entry) const {
  if (entry.Deletion == TRecUpdateBuffer::kNone) return {};
  return BookmarkOfPosition(deletion_followers_[entry.Deletion]);
}

bool TVoBufDataset::EntryMatches(std::size_t index, const db::Bookmark& bookmark,
                                 bool include_prior) const {
  if (!bookmark.IsSet() || index >= change_log_.size()) return false;
  const TRecUpdateBuffer& entry = change_log_[index];
  if (entry.Record == bookmark.id && store_.BookmarkOf(entry.Record) == bookmark) return true;
  return include_prior && entry.UpdateKind == db::UpdateKind::ukDelete &&
         NextBookmark(entry) == bookmark;
}

void TVoBufDataset::EnsureFollowerIndex() const {
  if (followers_valid_) return;
  followers_.clear();
  for (std::size_t i = 0; i < change_log_.size(); ++i) {
    const TRecUpdateBuffer& entry = change_log_[i];
    if (entry.UpdateKind != db::UpdateKind::ukDelete) continue;
    auto position = static_cast<std::uint32_t>(i);
    const db::RecordId next = deletion_followers_[entry.Deletion];
    if (next != TBufIndex::kSentinel) followers_.push_back({next, position, true});
    for (std::uint16_t s = 0; s < entry.SuccessorCount; ++s) {
      const db::RecordId follower = deletion_followers_[entry.Deletion + 1 + s];
      if (follower != TBufIndex::kSentinel && follower != kUnknownFollower && follower != next) {
        followers_.push_back({follower, position, false});
      }
    }
  }
  std::sort(followers_.begin(), followers_.end(), [](const Follower& a, const Follower& b) {
    return a.follower != b.follower ? a.follower < b.follower : a.entry < b.entry;
  });
  followers_valid_ = true;
}

bool TVoBufDataset::FindChangeEntry(const db::Bookmark& bookmark, bool include_prior,
                                    bool find_next) const {
  if (!bookmark.IsSet()) return false;
  const std::size_t start = find_next ? static_cast<std::size_t>(current_change_index_ + 1) : 0;
  std::size_t found = change_log_.size();
  // A record has at most one entry naming it.
  std::uint32_t own = EntryIndexOf(bookmark.id);
  if (own != kNoEntry && own >= start && EntryMatches(own, bookmark, false)) found = own;
  // The records the log names stay stored while it lasts: a bookmark of one of
  // them is the one its id has now.
  if (include_prior && bookmark.id < store_.IdLimit() &&
      store_.BookmarkOf(bookmark.id) == bookmark) {
    EnsureFollowerIndex();
    auto it = std::lower_bound(followers_.begin(), followers_.end(), bookmark.id,
                               [start](const Follower& f, db::RecordId id) {
                                 return f.follower != id ? f.follower < id : f.entry < start;
                               });
    for (; it != followers_.end() && it->follower == bookmark.id && it->entry < found; ++it) {
      if (it->is_next && it->entry >= start) {
        found = it->entry;
        break;
      }
    }
  }
  if (found == change_log_.size()) return false;
  current_change_index_ = static_cast<int>(found);
  return true;
}

bool TVoBufDataset::FindChangeEntryCached(const db::Bookmark& bookmark, bool include_prior) const {
  if (current_change_index_ >= 0 &&
      EntryMatches(static_cast<std::size_t>(current_change_index_), bookmark, include_prior)) {
    return true;
  }
  return FindChangeEntry(bookmark, include_prior, false);
}

bool TVoBufDataset::ActiveChangeEntry() const {
  db::RecordId record = ActiveRecord();
  if (record == db::kNoRecord) return false;
  return FindChangeEntryCached(store_.BookmarkOf(record), false);
}

db::UpdateStatus TVoBufDataset::UpdateStatus() const {
  if (!Active() || !ActiveChangeEntry()) return db::UpdateStatus::usUnmodified;
  switch (change_log_[static_cast<std::size_t>(current_change_index_)].UpdateKind) {
    case db::UpdateKind::ukModify:
      return db::UpdateStatus::usModified;
    case db::UpdateKind::ukInsert:
      return db::UpdateStatus::usInserted;
    case db::UpdateKind::ukDelete:
      return db::UpdateStatus::usDeleted;
  }
  return db::UpdateStatus::usUnmodified;
}

// --- Logging ------------------------------------------------------------------

void TVoBufDataset::AppendChange(db::UpdateKind kind, db::RecordId record, db::RecordId old_image) {
  TRecUpdateBuffer entry;
  entry.UpdateKind = kind;
  entry.Record = record;
  entry.OldImage = old_image;
  change_log_.push_back(entry);
  if (entry_of_.size() <= record) entry_of_.resize(store_.IdLimit(), kNoEntry);
  entry_of_[record] = static_cast<std::uint32_t>(change_log_.size() - 1);
  current_change_index_ = static_cast<int>(change_log_.size() - 1);
}

db::RecordId TVoBufDataset::CopyToOldImage(db::RecordId record) {
  store_.Unpack(record, scratch_);
  return old_images_.Add(scratch_);
}

void TVoBufDataset::LogPost(db::RecordId record, bool inserted) {
  std::uint32_t existing = EntryIndexOf(record);
  if (existing != kNoEntry) {
    current_change_index_ = static_cast<int>(existing);
    return;
  }
  if (inserted) {
    AppendChange(db::UpdateKind::ukInsert, record, db::kNoRecord);
    return;
  }
  db::RecordId image = CopyToOldImage(record);
  try {
    AppendChange(db::UpdateKind::ukModify, record, image);
  } catch (...) {
    old_images_.Remove(image);
    throw;
  }
}

void TVoBufDataset::LogDeletion(db::RecordId record) {
  const std::vector<db::RecordId>& followers = delete_followers_;
  std::uint32_t existing = EntryIndexOf(record);
  if (existing != kNoEntry) {
    current_change_index_ = static_cast<int>(existing);
  } else {
    db::RecordId image = CopyToOldImage(record);
    AppendChange(db::UpdateKind::ukDelete, record, image);
  }
  // A modification's entry keeps the image from before the first change; an
  // insertion's has none.
  TRecUpdateBuffer& entry = change_log_[static_cast<std::size_t>(current_change_index_)];
  entry.UpdateKind = db::UpdateKind::ukDelete;
  entry.Deletion = static_cast<std::uint32_t>(deletion_followers_.size());
  deletion_followers_.push_back(Current().CursorRecord());
  // The followers in other indexes are kept only when another index holds the
  // record: with the current index alone, NextBookmark says it all.
  std::size_t maintained = 0;
  for (std::size_t i = 0; i < indexes_.size(); ++i) maintained += IsMaintained(i) ? 1 : 0;
  if (maintained > 1 && followers.size() <= 0xFFFF) {
    entry.SuccessorCount = static_cast<std::uint16_t>(followers.size());
    deletion_followers_.insert(deletion_followers_.end(), followers.begin(), followers.end());
  }
  deletion_events_.push_back({static_cast<std::uint32_t>(current_change_index_),
                              static_cast<std::uint32_t>(change_log_.size())});
  ++logged_deletions_;
  followers_valid_ = false;
}

// --- Cancelling ---------------------------------------------------------------

db::RecordId TVoBufDataset::RestoreBefore(const TRecUpdateBuffer& entry, std::size_t slot,
                                          const PendingPlacements& pending) const {
  const TRecUpdateBuffer* current = &entry;
  // Each step goes to a record deleted later than the one before, so the walk
  // ends; the bound guards against a log that says otherwise.
  for (std::size_t steps = 0; steps <= change_log_.size(); ++steps) {
    const db::RecordId* followers = &deletion_followers_[current->Deletion];
    // Without per-index followers DEFAULT_ORDER alone held the record.
    db::RecordId follower = kUnknownFollower;
    if (slot < current->SuccessorCount) {
      follower = followers[1 + slot];
    } else if (slot == 0) {
      follower = followers[0];
    }
    if (follower == kUnknownFollower || follower == TBufIndex::kSentinel) return follower;
    if (!store_.IsLive(store_.BookmarkOf(follower)) || IsPending(pending, slot, follower)) {
      return kUnknownFollower;
    }
    // Only a follower whose deletion was applied is still a logged deletion
    // here: cancelling restores later deletions before earlier ones.
    if (!IsLoggedDeletion(follower)) return follower;
    current = &change_log_[EntryIndexOf(follower)];
  }
  return kUnknownFollower;
}

void TVoBufDataset::RestoreDeletedRecord(TRecUpdateBuffer& entry, PendingPlacements& pending) {
  if (entry.Record == db::kNoRecord || entry.UpdateKind != db::UpdateKind::ukDelete) return;
  db::RecordId record = entry.Record;
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (!IsMaintained(i)) continue;
    TBufIndex& index = *indexes_[i];
    db::RecordId before = RestoreBefore(entry, i, pending);
    if (before == kUnknownFollower) {
      if (i != 0) {
        // A sorted index: its key order tells, once every value is back.
        if (pending[i].size() <= record) pending[i].resize(store_.IdLimit(), 0);
        pending[i][record] = 1;
        continue;
      }
      before = TBufIndex::kSentinel;
    }
    index.Reserve(store_.IdLimit());
    index.InsertBefore(before, record);
  }
  --logged_deletions_;
  if (entry.OldImage == db::kNoRecord) {
    // An inserted record: back in place for the records deleted before it,
    // until its insert is undone in turn.
    entry.UpdateKind = db::UpdateKind::ukInsert;
    return;
  }
  old_images_.Unpack(entry.OldImage, scratch_);
  store_.Replace(record, scratch_);
  MarkDone(entry);
}

void TVoBufDataset::MarkDone(TRecUpdateBuffer& entry) {
  if (entry.OldImage != db::kNoRecord) {
    old_images_.Remove(entry.OldImage);
    entry.OldImage = db::kNoRecord;
  }
  if (EntryIndexOf(entry.Record) != kNoEntry) entry_of_[entry.Record] = kNoEntry;
  entry.Record = db::kNoRecord;
}

void TVoBufDataset::RemoveInsertedRecord(std::size_t index, db::RecordId& remembered,
                                         PendingPlacements& pending) {
  TRecUpdateBuffer& entry = change_log_[index];
  db::RecordId record = entry.Record;
  if (remembered == record) {
    db::RecordId next = Current().Next(record);
    remembered = next != TBufIndex::kSentinel ? next : Current().Prior(record);
  }
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (!IsMaintained(i)) continue;
    if (IsPending(pending, i, record)) {
      pending[i][record] = 0;
    } else {
      indexes_[i]->Unlink(record);
    }
  }
  MarkDone(entry);
  store_.Remove(record);
}

// Before the first record with a greater key; among equal keys in
// DEFAULT_ORDER's order, as a build sorts them.
void TVoBufDataset::PlaceByKeys(PendingPlacements& pending) {
  std::vector<std::uint32_t> rank;
  for (std::size_t i = 1; i < pending.size(); ++i) {
    for (db::RecordId record = 0; record < pending[i].size(); ++record) {
      if (pending[i][record] == 0) continue;
      if (rank.empty()) {
        rank.assign(store_.IdLimit(), 0);
        const TBufIndex& source = *indexes_[0];
        std::uint32_t n = 0;
        for (db::RecordId r = source.FirstRecord(); r != TBufIndex::kSentinel; r = source.Next(r)) {
          rank[r] = n++;
        }
      }
      TBufIndex& index = *indexes_[i];
      db::RecordId before = index.FirstRecord();
      for (; before != TBufIndex::kSentinel; before = index.Next(before)) {
        int order = CompareRecords(record, before, index.CompareStruct);
        if (order < 0 || (order == 0 && rank[before] > rank[record])) break;
      }
      index.Reserve(store_.IdLimit());
      index.InsertBefore(before, record);
    }
  }
}

void TVoBufDataset::CancelUpdates() {
  CheckBrowseMode();
  if (change_log_.empty()) return;
  db::RecordId remembered = Current().CursorRecord();
  PendingPlacements pending(indexes_.size());
  // Edits change values only: undone first, so that every value is back before
  // a record is placed by its keys.
  for (TRecUpdateBuffer& entry : change_log_) {
    if (entry.Record == db::kNoRecord || entry.UpdateKind != db::UpdateKind::ukModify) continue;
    old_images_.Unpack(entry.OldImage, scratch_);
    store_.Replace(entry.Record, scratch_);
    MarkDone(entry);
  }
  // Inserts and deletions, latest first: each deleted record returns to the
  // indexes as they were just after its deletion, so its followers are there.
  auto prior_insert = [this](std::size_t from) {
    while (from-- > 0) {
      const TRecUpdateBuffer& entry = change_log_[from];
      if (entry.Record != db::kNoRecord && entry.OldImage == db::kNoRecord) return from;
    }
    return change_log_.size();
  };
  std::size_t insert = prior_insert(change_log_.size());
  std::size_t deletion = deletion_events_.size();
  while (deletion > 0 || insert != change_log_.size()) {
    if (deletion > 0 &&
        (insert == change_log_.size() || insert < deletion_events_[deletion - 1].log_size)) {
      --deletion;
      RestoreDeletedRecord(change_log_[deletion_events_[deletion].entry], pending);
    } else {
      RemoveInsertedRecord(insert, remembered, pending);
      insert = prior_insert(insert);
    }
  }
  PlaceByKeys(pending);
  EmptyChangeLog();
  Current().SetCursor(remembered);
  Resynchronise();
}

// --- Applying -----------------------------------------------------------------

void TVoBufDataset::ApplyRecUpdate(db::UpdateKind) {
  throw db::DatabaseError(std::string(kSApplyRecNotSupported));
}

void TVoBufDataset::ApplyUpdates() { ApplyUpdates(0); }

void TVoBufDataset::ApplyUpdates(int max_errors) {
  CheckBrowseMode();
  const db::RecordId remembered = Current().CursorRecord();
  int failed = 0;
  db::ResolverResponse response = db::ResolverResponse::rrApply;
  // Only a run that went through every entry without a failure empties the
  // log: an unexpected exception leaves the entries not yet applied in it.
  auto finish = [&](bool completed) {
    apply_record_ = db::kNoRecord;
    if (completed && failed == 0) EmptyChangeLog();
    Current().SetCursor(remembered);
    Resynchronise();
    EnableControls();
  };
  DisableControls();
  try {
    ApplyEntries(max_errors, failed, response);
  } catch (...) {
    try {
      finish(false);
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  finish(true);
}

void TVoBufDataset::ApplyEntries(int max_errors, int& failed, db::ResolverResponse& response) {
  const auto max_failures = static_cast<std::uint16_t>(max_errors);
  std::size_t r = 0;
  while (r < change_log_.size() && response != db::ResolverResponse::rrAbort) {
    TRecUpdateBuffer& entry = change_log_[r];
    const db::UpdateKind kind = entry.UpdateKind;
    if (entry.Record == db::kNoRecord ||
        (kind == db::UpdateKind::ukDelete && entry.OldImage == db::kNoRecord)) {
      ++r;
      continue;
    }
    // A deleted record is in no index: the cursor cannot stand on it, but the
    // fields read it all the same while the hook runs.
    if (kind != db::UpdateKind::ukDelete) Current().SetCursor(entry.Record);
    apply_record_ = entry.Record;
    response = db::ResolverResponse::rrApply;
    bool done = true;
    bool retry = false;
    try {
      ApplyRecUpdate(kind);
    } catch (const db::DatabaseError& error) {
      ++failed;
      response =
          failed > max_failures ? db::ResolverResponse::rrAbort : db::ResolverResponse::rrSkip;
      db::UpdateError update_error(db::FormatMessage(kSOnUpdateError, {error.what()}),
                                   std::current_exception());
      if (OnUpdateError) {
        OnUpdateError(*this, *this, update_error, kind, response);
        if (response == db::ResolverResponse::rrApply ||
            response == db::ResolverResponse::rrIgnore) {
          --failed;
        }
      } else if (response == db::ResolverResponse::rrAbort) {
        throw update_error;
      }
      done = response == db::ResolverResponse::rrIgnore;
      retry = response == db::ResolverResponse::rrApply;
    }
    apply_record_ = db::kNoRecord;
    if (done) {
      TRecUpdateBuffer& applied = change_log_[r];
      if (applied.UpdateKind == db::UpdateKind::ukDelete) {
        // Still a deleted record until the log is emptied; then it is freed.
        old_images_.Remove(applied.OldImage);
        applied.OldImage = db::kNoRecord;
        applied_deletions_.push_back(applied.Record);
        applied.Record = db::kNoRecord;
      } else {
        MarkDone(applied);
      }
    }
    if (!retry) ++r;
  }
}

// --- Emptying -----------------------------------------------------------------

void TVoBufDataset::EmptyChangeLog() {
  for (const TRecUpdateBuffer& entry : change_log_) {
    if (entry.Record != db::kNoRecord && entry.UpdateKind == db::UpdateKind::ukDelete) {
      store_.Remove(entry.Record);
      --logged_deletions_;
    }
  }
  for (db::RecordId record : applied_deletions_) store_.Remove(record);
  DropChangeLog();
  old_images_.Reset(store_.Format());
}

void TVoBufDataset::DropChangeLog() {
  change_log_.clear();
  change_log_.shrink_to_fit();
  entry_of_.clear();
  entry_of_.shrink_to_fit();
  deletion_followers_.clear();
  deletion_followers_.shrink_to_fit();
  deletion_events_.clear();
  deletion_events_.shrink_to_fit();
  applied_deletions_.clear();
  applied_deletions_.shrink_to_fit();
  followers_.clear();
  followers_.shrink_to_fit();
  followers_valid_ = false;
  current_change_index_ = -1;
  logged_deletions_ = 0;
}

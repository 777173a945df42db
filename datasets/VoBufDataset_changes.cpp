// TVoBufDataset's side of the change log (TVoChangeLog keeps the entries):
// logging posts and deletes, finding a record's entry by bookmark, the update
// status, cancelling every change, and applying the changes one by one through
// ApplyRecUpdate.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

#include "datasets/VoBufDataset.h"
#include "rtl/ScopeExit.h"

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

bool TVoBufDataset::IsListed(const db::Bookmark& bookmark) const {
  return bookmark.IsSet() && store_.IsLive(bookmark) && !IsLoggedDeletion(bookmark.id);
}

db::Bookmark TVoBufDataset::BookmarkOfPosition(db::RecordId record) const {
  if (record == TBufIndex::kSentinel) return {};
  return store_.BookmarkOf(record);
}

db::Bookmark TVoBufDataset::NextBookmark(const TRecUpdateBuffer& entry) const {
  return BookmarkOfPosition(log_.NextRecord(entry));
}

bool TVoBufDataset::EntryMatches(std::size_t index, const db::Bookmark& bookmark,
                                 bool include_prior) const {
  if (!bookmark.IsSet() || index >= log_.size()) return false;
  const TRecUpdateBuffer& entry = log_[index];
  if (entry.Record == bookmark.id && store_.BookmarkOf(entry.Record) == bookmark) return true;
  return include_prior && entry.UpdateKind == db::UpdateKind::ukDelete &&
         NextBookmark(entry) == bookmark;
}

bool TVoBufDataset::FindChangeEntry(const db::Bookmark& bookmark, bool include_prior,
                                    bool find_next) const {
  if (!bookmark.IsSet()) return false;
  const std::size_t start = find_next ? static_cast<std::size_t>(log_.CurrentIndex() + 1) : 0;
  std::size_t found = log_.size();
  // A record has at most one entry naming it.
  std::uint32_t own = EntryIndexOf(bookmark.id);
  if (own != kNoEntry && own >= start && EntryMatches(own, bookmark, false)) found = own;
  // The records the log names stay stored while it lasts: a bookmark of one of
  // them is the one its id has now.
  if (include_prior && bookmark.id < store_.IdLimit() &&
      store_.BookmarkOf(bookmark.id) == bookmark) {
    found = log_.FindDeletionFollowedBy(bookmark.id, start, found);
  }
  if (found == log_.size()) return false;
  log_.SetCurrentIndex(static_cast<int>(found));
  return true;
}

bool TVoBufDataset::FindChangeEntryCached(const db::Bookmark& bookmark, bool include_prior) const {
  if (log_.CurrentIndex() >= 0 &&
      EntryMatches(static_cast<std::size_t>(log_.CurrentIndex()), bookmark, include_prior)) {
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
  switch (log_[static_cast<std::size_t>(log_.CurrentIndex())].UpdateKind) {
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

db::RecordId TVoBufDataset::CopyToOldImage(db::RecordId record) {
  store_.Unpack(record, scratch_);
  return log_.OldImages().Add(scratch_);
}

void TVoBufDataset::LogPost(db::RecordId record, bool inserted) {
  std::uint32_t existing = EntryIndexOf(record);
  if (existing != kNoEntry) {
    log_.SetCurrentIndex(static_cast<int>(existing));
    return;
  }
  if (inserted) {
    log_.Append(db::UpdateKind::ukInsert, record, db::kNoRecord, store_.IdLimit());
    return;
  }
  db::RecordId image = CopyToOldImage(record);
  rtl::ScopeExit drop_image([&] { log_.OldImages().Remove(image); });
  log_.Append(db::UpdateKind::ukModify, record, image, store_.IdLimit());
  drop_image.Dismiss();
}

void TVoBufDataset::LogDeletion(db::RecordId record) {
  std::uint32_t existing = EntryIndexOf(record);
  if (existing != kNoEntry) {
    log_.SetCurrentIndex(static_cast<int>(existing));
  } else {
    db::RecordId image = CopyToOldImage(record);
    log_.Append(db::UpdateKind::ukDelete, record, image, store_.IdLimit());
  }
  // The followers in other indexes are kept only when another index holds the
  // record: with the current index alone, NextBookmark says it all.
  std::size_t maintained = 0;
  for (std::size_t i = 0; i < indexes_.size(); ++i) maintained += IsMaintained(i) ? 1 : 0;
  log_.MarkDeletion(Current().CursorRecord(), delete_followers_, maintained > 1);
}

// --- Cancelling ---------------------------------------------------------------

db::RecordId TVoBufDataset::RestoreBefore(const TRecUpdateBuffer& entry, std::size_t slot,
                                          const PendingPlacements& pending) const {
  const TRecUpdateBuffer* current = &entry;
  // Each step goes to a record deleted later than the one before, so the walk
  // ends; the bound guards against a log that says otherwise.
  for (std::size_t steps = 0; steps <= log_.size(); ++steps) {
    const db::RecordId* followers = log_.Followers(*current);
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
    current = &log_[EntryIndexOf(follower)];
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
  log_.Restored();
  if (entry.OldImage == db::kNoRecord) {
    // An inserted record: back in place for the records deleted before it,
    // until its insert is undone in turn.
    entry.UpdateKind = db::UpdateKind::ukInsert;
    return;
  }
  log_.OldImages().Unpack(entry.OldImage, scratch_);
  store_.Replace(record, scratch_);
  log_.Forget(entry);
}

void TVoBufDataset::RemoveInsertedRecord(std::size_t index, db::RecordId& remembered,
                                         PendingPlacements& pending) {
  TRecUpdateBuffer& entry = log_[index];
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
  log_.Forget(entry);
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
  if (log_.empty()) return;
  db::RecordId remembered = Current().CursorRecord();
  PendingPlacements pending(indexes_.size());
  // Edits change values only: undone first, so that every value is back before
  // a record is placed by its keys.
  for (std::size_t i = 0; i < log_.size(); ++i) {
    TRecUpdateBuffer& entry = log_[i];
    if (entry.Record == db::kNoRecord || entry.UpdateKind != db::UpdateKind::ukModify) continue;
    log_.OldImages().Unpack(entry.OldImage, scratch_);
    store_.Replace(entry.Record, scratch_);
    log_.Forget(entry);
  }
  // Inserts and deletions, latest first: each deleted record returns to the
  // indexes as they were just after its deletion, so its followers are there.
  auto prior_insert = [this](std::size_t from) {
    while (from-- > 0) {
      const TRecUpdateBuffer& entry = log_[from];
      if (entry.Record != db::kNoRecord && entry.OldImage == db::kNoRecord) return from;
    }
    return log_.size();
  };
  const std::vector<TVoChangeLog::DeletionEvent>& deletions = log_.DeletionEvents();
  std::size_t insert = prior_insert(log_.size());
  std::size_t deletion = deletions.size();
  while (deletion > 0 || insert != log_.size()) {
    if (deletion > 0 && (insert == log_.size() || insert < deletions[deletion - 1].log_size)) {
      --deletion;
      RestoreDeletedRecord(log_[deletions[deletion].entry], pending);
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
  while (r < log_.size() && response != db::ResolverResponse::rrAbort) {
    TRecUpdateBuffer& entry = log_[r];
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
      TRecUpdateBuffer& applied = log_[r];
      if (applied.UpdateKind == db::UpdateKind::ukDelete) {
        // Still a deleted record until the log is emptied; then it is freed.
        log_.ApplyDeletion(applied);
      } else {
        log_.Forget(applied);
      }
    }
    if (!retry) ++r;
  }
}

// --- Emptying -----------------------------------------------------------------

void TVoBufDataset::EmptyChangeLog() {
  for (const TRecUpdateBuffer& entry : log_.Entries()) {
    if (entry.Record != db::kNoRecord && entry.UpdateKind == db::UpdateKind::ukDelete) {
      store_.Remove(entry.Record);
    }
  }
  for (db::RecordId record : log_.AppliedDeletions()) store_.Remove(record);
  log_.Clear(store_.Format());
}

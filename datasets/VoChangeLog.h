// The buffered dataset's change log: its entries in the order the changes were
// made, the entry naming each record, the record images from before the first
// change, and what each deletion needs to be undone (the records that followed
// the deleted one). It knows record ids only; placing records in indexes and
// storing them is the dataset's (VoBufDataset_changes.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "db/Bookmark.h"
#include "db/DataSet.h"
#include "db/RecordStore.h"

// One change-log entry, 16 bytes: a bulk load logs one per row. What a deletion
// adds (TVoBufDataset::NextBookmark, and the record that followed the deleted
// one in each further index, so that cancelling puts it back where it was in
// every index) is kept beside the log, from position `Deletion` on.
struct TRecUpdateBuffer {
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  db::UpdateKind UpdateKind = db::UpdateKind::ukModify;
  // The number of per-index followers kept after NextBookmark (0: only
  // NextBookmark is known).
  std::uint16_t SuccessorCount = 0;
  // The record the entry is about; kNoRecord once applied or cancelled.
  db::RecordId Record = db::kNoRecord;
  // The record image before the first change, in the log's old-image store;
  // kNoRecord for none (insertions, and inserted records deleted since).
  db::RecordId OldImage = db::kNoRecord;
  std::uint32_t Deletion = kNone;
};
static_assert(sizeof(TRecUpdateBuffer) == 16);
// The change log, in the order the changes were made.
using TRecordsUpdateBuffer = std::vector<TRecUpdateBuffer>;

class TVoChangeLog {
 public:
  static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
  // A follower that stands for the end of an index: the deleted record was last.
  static constexpr db::RecordId kLast = db::kNoRecord;
  // A follower slot of an index that did not take the deletion (not maintained
  // then, or added since): where the record stood there is unknown.
  static constexpr db::RecordId kUnknownFollower = db::kNoRecord - 1;

  // A deletion in the order deletions were made: its entry, and the log's size
  // just after, so that an insert logged at a position below it came earlier.
  struct DeletionEvent {
    std::uint32_t entry;
    std::uint32_t log_size;
  };
  // An entry as a packet holds it: its position, and for a deletion the record
  // that followed the deleted one.
  struct LoadedEntry {
    std::int32_t order;
    db::UpdateKind kind;
    db::RecordId record;
    db::RecordId old_image;
    db::RecordId follower = kLast;
  };

  // --- Reading ---------------------------------------------------------------
  const TRecordsUpdateBuffer& Entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  TRecUpdateBuffer& operator[](std::size_t i) { return entries_[i]; }
  const TRecUpdateBuffer& operator[](std::size_t i) const { return entries_[i]; }
  // The position of the entry naming `record`; kNoEntry for none. A record
  // whose deletion was applied keeps its entry's position until the log is
  // emptied, so that it still counts as deleted.
  std::uint32_t EntryIndexOf(db::RecordId record) const {
    return record < entry_of_.size() ? entry_of_[record] : kNoEntry;
  }
  bool IsDeletion(db::RecordId record) const;
  // The position last found or logged; -1 for none.
  int CurrentIndex() const { return current_; }
  void SetCurrentIndex(int index) const { current_ = index; }
  // The record that followed a deletion's record in the index it was deleted
  // from; kLast when it was last or the entry is no deletion.
  db::RecordId NextRecord(const TRecUpdateBuffer& entry) const;
  // The records that followed a deletion's record: the next one, then one per
  // index slot (SuccessorCount of them).
  const db::RecordId* Followers(const TRecUpdateBuffer& entry) const {
    return &deletion_followers_[entry.Deletion];
  }
  // The first deletion at a position in [from, before) whose NextRecord is
  // `record`; `before` when there is none.
  std::size_t FindDeletionFollowedBy(db::RecordId record, std::size_t from,
                                     std::size_t before) const;
  const std::vector<DeletionEvent>& DeletionEvents() const { return deletion_events_; }
  // Deleted records whose deletion was applied: the dataset frees them when the
  // log is emptied.
  const std::vector<db::RecordId>& AppliedDeletions() const { return applied_deletions_; }
  // Deleted records the log names, still stored.
  std::size_t LoggedDeletions() const { return logged_deletions_; }
  // Record images before their first change, in the records' own format.
  db::RecordStore& OldImages() { return old_images_; }
  const db::RecordStore& OldImages() const { return old_images_; }

  // --- Changing --------------------------------------------------------------
  // Room for `more` entries, and for record ids below `id_limit`, ahead of a
  // bulk load that appends one entry a row.
  void Reserve(std::size_t more, std::size_t id_limit) {
    entries_.reserve(entries_.size() + more);
    entry_of_.reserve(id_limit);
  }
  // Appends an entry for `record` and makes it current. `id_limit` bounds the
  // record ids in use.
  void Append(db::UpdateKind kind, db::RecordId record, db::RecordId old_image,
              std::size_t id_limit);
  // Turns the current entry into a deletion of its record: `next` followed it
  // in the index it was deleted from, `followers` in each index slot (kept only
  // when `keep_followers`).
  void MarkDeletion(db::RecordId next, const std::vector<db::RecordId>& followers,
                    bool keep_followers);
  // A deleted record put back in place: one deletion fewer to free.
  void Restored() { --logged_deletions_; }
  // The entry is done with: its old image freed, and it names its record no more.
  void Forget(TRecUpdateBuffer& entry);
  // An applied deletion: its old image freed; the record stays a deleted one
  // until the log is emptied.
  void ApplyDeletion(TRecUpdateBuffer& entry);
  // Replaces the log by a packet's entries, which fill positions 0..log_size-1
  // (the others stay empty); their old images are in OldImages already.
  void Load(std::size_t log_size, std::size_t id_limit, const std::vector<LoadedEntry>& entries);
  // Forgets every entry and the old images, which take `format` from now on.
  void Clear(db::RecordFormat format);

 private:
  struct Follower {
    db::RecordId follower;
    std::uint32_t entry;
    bool is_next;  // NextRecord rather than another index's follower
  };
  void EnsureFollowerIndex() const;

  TRecordsUpdateBuffer entries_;
  mutable int current_ = -1;
  std::vector<std::uint32_t> entry_of_;
  db::RecordStore old_images_;
  // Per deletion: NextRecord, then the followers in each index slot when kept.
  std::vector<db::RecordId> deletion_followers_;
  // A cancel undoes inserts and deletions in exactly the reverse order, so that
  // each deleted record's follower is back in place when it returns.
  std::vector<DeletionEvent> deletion_events_;
  std::vector<db::RecordId> applied_deletions_;
  // Deletions by the records that followed them, sorted by record and position:
  // made when a search asks for them, dropped when a deletion is logged.
  mutable std::vector<Follower> followers_;
  mutable bool followers_valid_ = false;
  std::size_t logged_deletions_ = 0;
};

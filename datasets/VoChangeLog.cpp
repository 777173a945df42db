// The change log's bookkeeping: entries, the entry of each record, old images,
// and the followers of deletions with their search index.
#include "datasets/VoChangeLog.h"

#include <algorithm>

bool TVoChangeLog::IsDeletion(db::RecordId record) const {
  const std::uint32_t entry = EntryIndexOf(record);
  return entry != kNoEntry && entries_[entry].UpdateKind == db::UpdateKind::ukDelete;
}

db::RecordId TVoChangeLog::NextRecord(const TRecUpdateBuffer& entry) const {
  if (entry.Deletion == TRecUpdateBuffer::kNone) return kLast;
  return deletion_followers_[entry.Deletion];
}

void TVoChangeLog::EnsureFollowerIndex() const {
  if (followers_valid_) return;
  followers_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const TRecUpdateBuffer& entry = entries_[i];
    if (entry.UpdateKind != db::UpdateKind::ukDelete) continue;
    auto position = static_cast<std::uint32_t>(i);
    const db::RecordId next = deletion_followers_[entry.Deletion];
    if (next != kLast) followers_.push_back({next, position, true});
    for (std::uint16_t s = 0; s < entry.SuccessorCount; ++s) {
      const db::RecordId follower = deletion_followers_[entry.Deletion + 1 + s];
      if (follower != kLast && follower != kUnknownFollower && follower != next) {
        followers_.push_back({follower, position, false});
      }
    }
  }
  std::sort(followers_.begin(), followers_.end(), [](const Follower& a, const Follower& b) {
    return a.follower != b.follower ? a.follower < b.follower : a.entry < b.entry;
  });
  followers_valid_ = true;
}

std::size_t TVoChangeLog::FindDeletionFollowedBy(db::RecordId record, std::size_t from,
                                                 std::size_t before) const {
  EnsureFollowerIndex();
  auto it = std::lower_bound(followers_.begin(), followers_.end(), record,
                             [from](const Follower& f, db::RecordId id) {
                               return f.follower != id ? f.follower < id : f.entry < from;
                             });
  for (; it != followers_.end() && it->follower == record && it->entry < before; ++it) {
    if (it->is_next && it->entry >= from) return it->entry;
  }
  return before;
}

void TVoChangeLog::Append(db::UpdateKind kind, db::RecordId record, db::RecordId old_image,
                          std::size_t id_limit) {
  TRecUpdateBuffer entry;
  entry.UpdateKind = kind;
  entry.Record = record;
  entry.OldImage = old_image;
  entries_.push_back(entry);
  if (entry_of_.size() <= record) entry_of_.resize(std::max<std::size_t>(id_limit, record + 1), kNoEntry);
  entry_of_[record] = static_cast<std::uint32_t>(entries_.size() - 1);
  current_ = static_cast<int>(entries_.size() - 1);
}

void TVoChangeLog::MarkDeletion(db::RecordId next, const std::vector<db::RecordId>& followers,
                                bool keep_followers) {
  // A modification's entry keeps the image from before the first change; an
  // insertion's has none.
  TRecUpdateBuffer& entry = entries_[static_cast<std::size_t>(current_)];
  entry.UpdateKind = db::UpdateKind::ukDelete;
  entry.Deletion = static_cast<std::uint32_t>(deletion_followers_.size());
  deletion_followers_.push_back(next);
  if (keep_followers && followers.size() <= 0xFFFF) {
    entry.SuccessorCount = static_cast<std::uint16_t>(followers.size());
    deletion_followers_.insert(deletion_followers_.end(), followers.begin(), followers.end());
  }
  deletion_events_.push_back(
      {static_cast<std::uint32_t>(current_), static_cast<std::uint32_t>(entries_.size())});
  ++logged_deletions_;
  followers_valid_ = false;
}

void TVoChangeLog::Forget(TRecUpdateBuffer& entry) {
  if (entry.OldImage != db::kNoRecord) {
    old_images_.Remove(entry.OldImage);
    entry.OldImage = db::kNoRecord;
  }
  if (EntryIndexOf(entry.Record) != kNoEntry) entry_of_[entry.Record] = kNoEntry;
  entry.Record = db::kNoRecord;
}

void TVoChangeLog::ApplyDeletion(TRecUpdateBuffer& entry) {
  old_images_.Remove(entry.OldImage);
  entry.OldImage = db::kNoRecord;
  applied_deletions_.push_back(entry.Record);
  entry.Record = db::kNoRecord;
}

void TVoChangeLog::Load(std::size_t log_size, std::size_t id_limit,
                        const std::vector<LoadedEntry>& entries) {
  entries_.assign(log_size, TRecUpdateBuffer{});
  entry_of_.assign(id_limit, kNoEntry);
  for (const LoadedEntry& loaded : entries) {
    TRecUpdateBuffer& entry = entries_[static_cast<std::size_t>(loaded.order)];
    entry.UpdateKind = loaded.kind;
    entry.Record = loaded.record;
    entry.OldImage = loaded.old_image;
    entry_of_[loaded.record] = static_cast<std::uint32_t>(loaded.order);
    if (loaded.kind != db::UpdateKind::ukDelete) continue;
    ++logged_deletions_;  // stored, and in no index
    entry.Deletion = static_cast<std::uint32_t>(deletion_followers_.size());
    deletion_followers_.push_back(loaded.follower);
    // Made after every insertion the packet holds: a cancel puts the deleted
    // records back while the inserted ones are still there to follow.
    deletion_events_.push_back(
        {static_cast<std::uint32_t>(loaded.order), static_cast<std::uint32_t>(log_size)});
  }
  followers_valid_ = false;
}

void TVoChangeLog::Clear(db::RecordFormat format) {
  // Given back, not only emptied: a bulk load logs one entry per row.
  entries_ = {};
  entry_of_ = {};
  deletion_followers_ = {};
  deletion_events_ = {};
  applied_deletions_ = {};
  followers_ = {};
  followers_valid_ = false;
  current_ = -1;
  logged_deletions_ = 0;
  old_images_.Reset(std::move(format));
}

// The change log on its own: the entry naming each record, deletions and the
// records that followed them (found again after later deletions), old images
// given back when an entry is done with, a packet's entries, and emptying.
#include "datasets/VoChangeLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using db::UpdateKind;

class ChangeLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::FieldDefList defs;
    defs.Add("S", db::FieldType::ftString, 10);
    format_ = db::RecordFormat(defs);
    log_.Clear(format_);
  }

  db::RecordId Image(const std::string& text) {
    db::RecordBuffer row = format_.NewBuffer();
    row[0].is_null = false;
    row[0].s = text;
    return log_.OldImages().Add(row);
  }

  db::RecordFormat format_;
  TVoChangeLog log_;
};

TEST_F(ChangeLogTest, EachRecordHasTheEntryItsFirstChangeMade) {
  log_.Append(UpdateKind::ukInsert, 4, db::kNoRecord, 5);
  log_.Append(UpdateKind::ukModify, 1, Image("before"), 5);
  // A record id past the limit given still gets its entry.
  log_.Append(UpdateKind::ukInsert, 9, db::kNoRecord, 5);

  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_.EntryIndexOf(4), 0u);
  EXPECT_EQ(log_.EntryIndexOf(1), 1u);
  EXPECT_EQ(log_.EntryIndexOf(9), 2u);
  EXPECT_EQ(log_.EntryIndexOf(2), TVoChangeLog::kNoEntry);
  EXPECT_EQ(log_.EntryIndexOf(1000), TVoChangeLog::kNoEntry);
  EXPECT_EQ(log_.CurrentIndex(), 2);
  EXPECT_FALSE(log_.IsDeletion(1));
  EXPECT_EQ(log_.NextRecord(log_[1]), TVoChangeLog::kLast);
}

TEST_F(ChangeLogTest, ADeletionKeepsItsFollowersOnlyWhenAskedTo) {
  log_.Append(UpdateKind::ukDelete, 3, Image("three"), 8);
  log_.MarkDeletion(5, {5, 7}, false);
  log_.Append(UpdateKind::ukInsert, 6, db::kNoRecord, 8);
  log_.MarkDeletion(TVoChangeLog::kLast, {TVoChangeLog::kLast, 2}, true);

  EXPECT_TRUE(log_.IsDeletion(3));
  EXPECT_TRUE(log_.IsDeletion(6));
  EXPECT_EQ(log_.LoggedDeletions(), 2u);
  EXPECT_EQ(log_[0].SuccessorCount, 0);
  EXPECT_EQ(log_.NextRecord(log_[0]), 5u);
  ASSERT_EQ(log_[1].SuccessorCount, 2);
  EXPECT_EQ(log_.Followers(log_[1])[2], 2u);
  // Each deletion with the log's size just after it, in the order made.
  ASSERT_EQ(log_.DeletionEvents().size(), 2u);
  EXPECT_EQ(log_.DeletionEvents()[0].entry, 0u);
  EXPECT_EQ(log_.DeletionEvents()[0].log_size, 1u);
  EXPECT_EQ(log_.DeletionEvents()[1].entry, 1u);
  EXPECT_EQ(log_.DeletionEvents()[1].log_size, 2u);
  log_.Restored();
  EXPECT_EQ(log_.LoggedDeletions(), 1u);
}

TEST_F(ChangeLogTest, DeletionsAreFoundByTheRecordThatFollowedThem) {
  // Records 1 and 2 deleted while 7 followed them; record 3 while 2 followed
  // it in another index only.
  log_.Append(UpdateKind::ukDelete, 1, Image("1"), 10);
  log_.MarkDeletion(7, {}, false);
  log_.Append(UpdateKind::ukModify, 4, Image("4"), 10);
  log_.Append(UpdateKind::ukDelete, 3, Image("3"), 10);
  log_.MarkDeletion(8, {8, 2}, true);

  struct Case {
    const char* name;
    db::RecordId follower;
    std::size_t from, before, found;
  };
  const Case cases[] = {
      {"the first such deletion", 7, 0, 5, 0},
      {"a search from past it finds none", 7, 1, 5, 5},
      {"nor one stopped before it", 7, 0, 0, 0},
      {"an index's follower is not the next record", 2, 0, 5, 5},
      {"a record nothing followed", 4, 0, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(log_.FindDeletionFollowedBy(c.follower, c.from, c.before), c.found);
  }
  // A deletion logged after a search is found by the next one.
  log_.Append(UpdateKind::ukDelete, 2, Image("2"), 10);
  log_.MarkDeletion(7, {}, false);
  EXPECT_EQ(log_.FindDeletionFollowedBy(7, 1, 5), 3u);
}

TEST_F(ChangeLogTest, DoneEntriesGiveBackTheirImagesAndAppliedDeletionsStayDeletions) {
  log_.Append(UpdateKind::ukModify, 1, Image("one"), 4);
  log_.Append(UpdateKind::ukDelete, 2, Image("two"), 4);
  log_.MarkDeletion(TVoChangeLog::kLast, {}, false);
  ASSERT_EQ(log_.OldImages().Count(), 2u);

  log_.Forget(log_[0]);
  EXPECT_EQ(log_[0].Record, db::kNoRecord);
  EXPECT_EQ(log_[0].OldImage, db::kNoRecord);
  EXPECT_EQ(log_.EntryIndexOf(1), TVoChangeLog::kNoEntry);

  log_.ApplyDeletion(log_[1]);
  EXPECT_EQ(log_.OldImages().Count(), 0u);
  EXPECT_EQ(log_[1].Record, db::kNoRecord);
  // Until the log is emptied the record counts as deleted, for the dataset to free.
  EXPECT_TRUE(log_.IsDeletion(2));
  EXPECT_EQ(log_.AppliedDeletions(), std::vector<db::RecordId>{2});

  log_.Clear(format_);
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(log_.IsDeletion(2));
  EXPECT_TRUE(log_.AppliedDeletions().empty());
  EXPECT_EQ(log_.LoggedDeletions(), 0u);
  EXPECT_EQ(log_.CurrentIndex(), -1);
}

TEST_F(ChangeLogTest, APacketsEntriesTakeTheirPositions) {
  const db::RecordId image = Image("old");
  log_.Load(4, 6,
            {{2, UpdateKind::ukDelete, 5, image, 1}, {0, UpdateKind::ukInsert, 3, db::kNoRecord}});
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_.EntryIndexOf(5), 2u);
  EXPECT_EQ(log_.EntryIndexOf(3), 0u);
  EXPECT_EQ(log_[1].Record, db::kNoRecord);  // a position no entry filled
  EXPECT_TRUE(log_.IsDeletion(5));
  EXPECT_EQ(log_.NextRecord(log_[2]), 1u);
  EXPECT_EQ(log_.LoggedDeletions(), 1u);
  // The deletions count as made after every entry the packet holds.
  ASSERT_EQ(log_.DeletionEvents().size(), 1u);
  EXPECT_EQ(log_.DeletionEvents()[0].log_size, 4u);
  EXPECT_EQ(log_.FindDeletionFollowedBy(1, 0, 4), 2u);
}

}  // namespace

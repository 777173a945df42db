// Packed record storage: every kind round-trips, texts of any length keep
// their bytes (offset widths of 1, 2 and 4 bytes), removed ids come back with a
// new generation, and compaction keeps every live record.
#include "db/RecordStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

db::FieldDefList Defs() {
  db::FieldDefList defs;
  defs.Add("S", db::FieldType::ftString, 10);
  defs.Add("I", db::FieldType::ftInteger);
  defs.Add("F", db::FieldType::ftFloat);
  defs.Add("B", db::FieldType::ftBoolean);
  defs.Add("M", db::FieldType::ftMemo);
  defs.Add("D", db::FieldType::ftDate);
  defs.Add("N", db::FieldType::ftBCD);
  defs.Add("S2", db::FieldType::ftString, 10);
  defs.Add("L", db::FieldType::ftLargeint);  // the ninth field: a second null-mask byte
  return defs;
}

db::RecordBuffer Row(const db::RecordFormat& format, const std::string& memo) {
  db::RecordBuffer row = format.NewBuffer();
  auto set = [&row](int field) -> db::FieldValue& {
    row[static_cast<std::size_t>(field)].is_null = false;
    return row[static_cast<std::size_t>(field)];
  };
  set(0).s = "abc";
  set(1).i = -5;
  set(2).f = 2.5;
  set(3).i = 1;
  set(4).s = memo;
  set(6).i = 123456;
  set(8).i = INT64_MIN;
  return row;  // D and S2 stay null
}

TEST(RecordStoreTest, EveryKindRoundTripsAtEveryOffsetWidth) {
  for (std::size_t memo_length : {0u, 200u, 255u, 256u, 70000u}) {
    SCOPED_TRACE(memo_length);
    db::RecordStore store;
    store.Reset(db::RecordFormat(Defs()));
    std::string memo(memo_length, 'm');
    if (!memo.empty()) memo.back() = 'z';
    db::RecordId id = store.Add(Row(store.Format(), memo));
    db::PackedRecord record = store.Get(id);
    EXPECT_EQ(record.Get(0).s, "abc");
    EXPECT_EQ(record.Get(1).i, -5);
    EXPECT_EQ(record.Get(2).f, 2.5);
    EXPECT_EQ(record.Get(3).i, 1);
    EXPECT_EQ(record.Get(4).s, memo);
    EXPECT_TRUE(record.IsNull(5));
    EXPECT_EQ(record.Get(5).f, 0.0);  // a null holds the zero of its kind
    EXPECT_EQ(record.Get(6).i, 123456);
    EXPECT_TRUE(record.IsNull(7));
    EXPECT_EQ(record.Get(7).s, "");
    EXPECT_FALSE(record.IsNull(8));
    EXPECT_EQ(record.Get(8).i, INT64_MIN);

    db::RecordBuffer back;
    store.Unpack(id, back);
    EXPECT_EQ(back[4].s, memo);
    EXPECT_TRUE(back[7].is_null);
  }
}

TEST(RecordStoreTest, ReplacingGrowsAndShrinksInPlaceOfTheOldValue) {
  db::RecordStore store;
  store.Reset(db::RecordFormat(Defs()));
  db::RecordId first = store.Add(Row(store.Format(), "short"));
  db::RecordId second = store.Add(Row(store.Format(), "other"));
  store.Replace(first, Row(store.Format(), std::string(1000, 'x')));
  store.Replace(second, Row(store.Format(), ""));
  EXPECT_EQ(store.Get(first).Get(4).s, std::string(1000, 'x'));
  EXPECT_EQ(store.Get(second).Get(4).s, "");
  EXPECT_EQ(store.Get(second).Get(0).s, "abc");
}

TEST(RecordStoreTest, RemovedIdsComeBackWithANewGeneration) {
  db::RecordStore store;
  store.Reset(db::RecordFormat(Defs()));
  db::RecordId id = store.Add(Row(store.Format(), "a"));
  db::Bookmark old = store.BookmarkOf(id);
  store.Remove(id);
  EXPECT_FALSE(store.IsLive(old));
  EXPECT_EQ(store.Count(), 0u);
  db::RecordId again = store.Add(Row(store.Format(), "b"));
  EXPECT_EQ(again, id);
  EXPECT_FALSE(store.IsLive(old));
  EXPECT_TRUE(store.IsLive(store.BookmarkOf(again)));
  // A reset store gives out the same ids again, never the same generations.
  store.Reset(db::RecordFormat(Defs()));
  EXPECT_EQ(store.Add(Row(store.Format(), "c")), id);
  EXPECT_FALSE(store.IsLive(old));
}

TEST(RecordStoreTest, CompactionKeepsEveryLiveRecord) {
  db::RecordStore store;
  store.Reset(db::RecordFormat(Defs()));
  std::vector<db::RecordId> ids;
  const int count = 6000;  // 24 MB of memos: enough waste to be given back
  for (int i = 0; i < count; ++i) {
    std::string memo(4000, static_cast<char>('a' + i % 26));
    ids.push_back(store.Add(Row(store.Format(), memo)));
  }
  for (int i = 0; i < count; i += 2) store.Remove(ids[static_cast<std::size_t>(i)]);
  for (int i = 1; i < count; i += 4) {
    store.Replace(ids[static_cast<std::size_t>(i)], Row(store.Format(), "tiny"));
  }
  EXPECT_LT(store.GarbageBytes(), store.LiveBytes());
  for (int i = 1; i < count; i += 2) {
    std::string expected = i % 4 == 1 ? "tiny" : std::string(4000, static_cast<char>('a' + i % 26));
    ASSERT_EQ(store.Get(ids[static_cast<std::size_t>(i)]).Get(4).s, expected) << i;
  }
}

}  // namespace

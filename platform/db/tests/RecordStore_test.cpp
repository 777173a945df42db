// Packed record storage: every kind round-trips, texts of any length keep
// their bytes (offset widths of 1, 2 and 4 bytes), removed ids come back with a
// new generation, compaction keeps every live record, and records stored
// straight from texts are the records Add stores.
#include "db/RecordStore.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

// Nine text fields (two null-mask bytes) with nulls, empty texts and lengths
// that need each offset width: AddTexts must store what Add stores, so that
// a bulk-loaded record compares, sorts and saves as a posted one.
TEST(RecordStoreTest, RecordsFromTextsAreTheRecordsAddStores) {
  db::FieldDefList defs;
  for (int i = 0; i < 8; ++i) defs.Add("T" + std::to_string(i), db::FieldType::ftString, 100000);
  defs.Add("B", db::FieldType::ftMemo);
  const std::string long_text(70000, 'x');
  const std::string mid_text(300, 'y');
  using Texts = std::vector<std::optional<std::string_view>>;
  const std::vector<Texts> rows = {
      {"a", std::nullopt, "", "bc", std::nullopt, "d", "", "e", "f"},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt, std::nullopt},
      {"", "", "", "", "", "", "", "", ""},
      {mid_text, "1", std::nullopt, "2", "3", "4", "5", "6", std::nullopt},
      {long_text, "1", "2", std::nullopt, "3", "4", "5", "6", "7"},
  };
  db::RecordStore by_add;
  db::RecordStore by_texts;
  by_add.Reset(db::RecordFormat(defs));
  by_texts.Reset(db::RecordFormat(defs));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    SCOPED_TRACE(r);
    db::RecordBuffer buffer = by_add.Format().NewBuffer();
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      if (!rows[r][i]) continue;
      buffer[i].is_null = false;
      buffer[i].s = std::string(*rows[r][i]);
    }
    const db::RecordId a = by_add.Add(buffer);
    const db::RecordId t = by_texts.AddTexts(rows[r]);
    ASSERT_EQ(a, t);
    EXPECT_EQ(by_add.BookmarkOf(a).generation, by_texts.BookmarkOf(t).generation);
    const std::size_t size = by_add.Get(a).ByteSize();
    ASSERT_EQ(by_texts.Get(t).ByteSize(), size);
    db::RecordBuffer back;
    by_texts.Unpack(t, back);
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      EXPECT_EQ(back[i].is_null, !rows[r][i]) << i;
      if (rows[r][i]) {
        EXPECT_EQ(back[i].s, *rows[r][i]) << i;
      }
    }
  }
  EXPECT_EQ(by_texts.LiveBytes(), by_add.LiveBytes());
}

TEST(RecordStoreTest, RecordsFromTextsNeedOneTextPerFieldOfTexts) {
  db::RecordStore store;
  store.Reset(db::RecordFormat(Defs()));  // has numbers
  const std::vector<std::optional<std::string_view>> nine(9, std::string_view("1"));
  EXPECT_THROW(store.AddTexts(nine), std::logic_error);
  db::FieldDefList defs;
  defs.Add("A", db::FieldType::ftString, 5);
  store.Reset(db::RecordFormat(defs));
  EXPECT_THROW(store.AddTexts(nine), std::logic_error);
  EXPECT_EQ(store.Count(), 0u);
}

// The buffered dataset's records and editing: record image sizes, editing of
// every field type, insert/append/delete positions, state errors, closing and
// reopening, wide records, all-or-nothing opening, bookmarks, the filter hook
// and blob streams.
#include "datasets/VoBufDataset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rtl/Separators.h"

namespace {

using db::FieldType;

std::vector<std::string> Column(TVoBufDataset& ds, const char* field) {
  std::vector<std::string> values;
  for (ds.First(); !ds.Eof(); ds.Next()) values.push_back(ds.FieldByName(field).AsString());
  return values;
}

void AppendRow(TVoBufDataset& ds, const char* name) {
  ds.Append();
  ds.FieldByName("NAME").SetAsString(name);
  ds.Post();
}

class BufDatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Orders");
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds_.FieldDefs().Add("QTY", FieldType::ftInteger);
    ds_.SetMaxIndexesCount(4);
    ds_.CreateDataset();
    ds_.Open();
  }

  rtl::ScopedSeparators separators_{'.', ','};
  TVoBufDataset ds_;
};

TEST(BufDatasetSizeTest, FieldSlotsAndRecordSizesFollowTheRecordImage) {
  struct SizeCase {
    FieldType type;
    int size;
    std::int64_t bytes;
  };
  const SizeCase cases[] = {
      {FieldType::ftString, 20, 21},      {FieldType::ftFixedChar, 5, 6},
      {FieldType::ftGuid, 38, 39},        {FieldType::ftWideString, 20, 42},
      {FieldType::ftFixedWideChar, 1, 4}, {FieldType::ftSmallint, 0, 4},
      {FieldType::ftInteger, 0, 4},       {FieldType::ftWord, 0, 4},
      {FieldType::ftBoolean, 0, 2},       {FieldType::ftFloat, 0, 8},
      {FieldType::ftCurrency, 0, 8},      {FieldType::ftBCD, 0, 8},
      {FieldType::ftDate, 0, 8},          {FieldType::ftTime, 0, 8},
      {FieldType::ftDateTime, 0, 8},      {FieldType::ftLargeint, 0, 8},
      {FieldType::ftBlob, 0, 16},         {FieldType::ftMemo, 0, 16},
      {FieldType::ftWideMemo, 0, 16},     {FieldType::ftGraphic, 0, 16},
      {FieldType::ftAutoInc, 0, 10},      {FieldType::ftBytes, 4, 10},
      {FieldType::ftTimeStamp, 0, 10},    {FieldType::ftFMTBcd, 0, 10},
      {FieldType::ftUnknown, 0, 10},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(db::FieldTypeName(c.type));
    db::FieldDef def;
    def.DataType = c.type;
    def.Size = c.size;
    EXPECT_EQ(TVoBufDataset::GetFieldSize(def), c.bytes);
  }

  db::FieldDefList defs;
  EXPECT_EQ(TVoBufDataset::CalcRecordSize(defs).RecordSize, 1);  // the null mask alone
  for (int i = 0; i < 8; ++i) defs.Add("F" + std::to_string(i), FieldType::ftInteger);
  TRecordLayout eight = TVoBufDataset::CalcRecordSize(defs);
  EXPECT_EQ(eight.NullMaskSize, 1);
  EXPECT_EQ(eight.RecordSize, 1 + 8 * 4);
  EXPECT_EQ(eight.FieldOffsets[1], 5);
  defs.Add("F8", FieldType::ftString, 20);
  TRecordLayout nine = TVoBufDataset::CalcRecordSize(defs);
  EXPECT_EQ(nine.NullMaskSize, 2);
  EXPECT_EQ(nine.FieldOffsets[8], 2 + 8 * 4);
  EXPECT_EQ(nine.RecordSize, 2 + 8 * 4 + 21);
}

TEST(BufDatasetSizeTest, WideTablesDoNotWrap) {
  db::FieldDefList defs;
  for (int i = 0; i < 3000; ++i) defs.Add("F" + std::to_string(i), FieldType::ftWideString, 1000);
  TRecordLayout layout = TVoBufDataset::CalcRecordSize(defs);
  EXPECT_EQ(layout.NullMaskSize, 375);
  EXPECT_EQ(layout.RecordSize, 375 + 3000 * 2002);
  EXPECT_EQ(layout.FieldOffsets.back(), 375 + 2999 * 2002);
}

TEST(BufDatasetEditTest, EveryFieldTypeKeepsItsValueThroughPost) {
  rtl::ScopedSeparators separators('.', ',');
  struct TypeCase {
    FieldType type;
    const char* value;
  };
  const TypeCase cases[] = {
      {FieldType::ftString, "text"},      {FieldType::ftFixedChar, "fix"},
      {FieldType::ftWideString, "wïde"},  {FieldType::ftGuid, "{0000}"},
      {FieldType::ftSmallint, "-32768"},  {FieldType::ftInteger, "2147483647"},
      {FieldType::ftWord, "65535"},       {FieldType::ftLargeint, "-9223372036854775808"},
      {FieldType::ftAutoInc, "17"},       {FieldType::ftBoolean, "True"},
      {FieldType::ftFloat, "-1.25E-7"},   {FieldType::ftCurrency, "19.99"},
      {FieldType::ftBCD, "-0.0001"},      {FieldType::ftDate, "1999-12-31"},
      {FieldType::ftTime, "23:59:59"},    {FieldType::ftDateTime, "2000-01-01 00:00:01"},
      {FieldType::ftMemo, "memo\nlines"}, {FieldType::ftBlob, "\x01\x02"},
      {FieldType::ftBytes, "raw"},        {FieldType::ftTimeStamp, "2020-05-05 05:05:05"},
  };
  TVoBufDataset ds;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ds.FieldDefs().Add("F" + std::to_string(i), cases[i].type, 12);
  }
  ds.Open();
  ds.Append();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_TRUE(ds.Fields(static_cast<int>(i)).IsNull());  // a fresh record is all null
    ds.Fields(static_cast<int>(i)).SetAsString(cases[i].value);
  }
  ds.Post();
  // A second record, all null.
  ds.Append();
  ds.Post();
  ds.First();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(db::FieldTypeName(cases[i].type));
    EXPECT_EQ(ds.Fields(static_cast<int>(i)).AsString(), cases[i].value);
  }
  // Edit every value to null and back through the edit state.
  ds.Edit();
  for (int i = 0; i < ds.FieldCount(); ++i) ds.Fields(i).Clear();
  ds.Post();
  for (int i = 0; i < ds.FieldCount(); ++i) EXPECT_TRUE(ds.Fields(i).IsNull()) << i;
  ds.Next();
  for (int i = 0; i < ds.FieldCount(); ++i) EXPECT_TRUE(ds.Fields(i).IsNull()) << i;
}

TEST_F(BufDatasetTest, InsertAndAppendPlaceRecordsAndCountThem) {
  ds_.Insert();  // into an empty dataset
  ds_.FieldByName("NAME").SetAsString("b");
  ds_.Post();
  AppendRow(ds_, "d");
  EXPECT_EQ(ds_.RecordCount(), 2);
  EXPECT_EQ(Column(ds_, "NAME"), (std::vector<std::string>{"b", "d"}));
  ds_.Last();
  ds_.Insert();
  ds_.FieldByName("NAME").SetAsString("c");
  ds_.Post();
  EXPECT_EQ(ds_.RecNo(), 2);
  ds_.First();
  ds_.Insert();
  ds_.FieldByName("NAME").SetAsString("a");
  ds_.Post();
  EXPECT_EQ(Column(ds_, "NAME"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(ds_.RecordCount(), 4);
}

TEST_F(BufDatasetTest, DeleteLeavesTheFollowingRecordCurrent) {
  for (const char* name : {"a", "b", "c"}) AppendRow(ds_, name);
  ds_.First();
  ds_.Next();
  ds_.Delete();
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "c");
  ds_.Delete();  // the last one: the new last record becomes current
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "a");
  EXPECT_EQ(ds_.RecordCount(), 1);
  ds_.Delete();
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_EQ(ds_.RecNo(), 0);
}

TEST_F(BufDatasetTest, CancelDropsTheEditAndAStreamedBlob) {
  AppendRow(ds_, "keep");
  ds_.Edit();
  ds_.FieldByName("NAME").SetAsString("lost");
  ds_.Cancel();
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "keep");
  ds_.Append();
  ds_.Cancel();
  EXPECT_EQ(ds_.RecordCount(), 1);
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "keep");
}

TEST_F(BufDatasetTest, WritesOutsideEditingRaiseWithTheDatasetsName) {
  AppendRow(ds_, "a");
  try {
    ds_.FieldByName("NAME").SetAsString("x");
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(),
                 "Orders : Operation not allowed, dataset \"Orders\" is not in an edit or insert "
                 "state.");
  }
  struct ErrorCase {
    const char* name;
    std::function<void(TVoBufDataset&)> act;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"CreateDataset while open", [](TVoBufDataset& ds) { ds.CreateDataset(); },
       "Orders : Operation cannot be performed on an active dataset"},
      {"MaxIndexesCount while open", [](TVoBufDataset& ds) { ds.SetMaxIndexesCount(5); },
       "Orders : Operation cannot be performed on an active dataset"},
      {"MaxIndexesCount below 2",
       [](TVoBufDataset& ds) {
         ds.Close();
         ds.SetMaxIndexesCount(1);
       },
       "Orders : The minimum amount of indexes is 1"},
      {"PacketRecords 0", [](TVoBufDataset& ds) { ds.SetPacketRecords(0); },
       "Orders : PacketRecords has to be larger then 0"},
      {"PacketRecords -2", [](TVoBufDataset& ds) { ds.SetPacketRecords(-2); },
       "Orders : PacketRecords has to be larger then 0"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    ds_.Open();
    try {
      c.act(ds_);
      ADD_FAILURE() << "no error";
    } catch (const db::DatabaseError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  ds_.SetPacketRecords(-1);
  EXPECT_EQ(ds_.PacketRecords(), -1);
  ds_.Close();
  ds_.SetMaxIndexesCount(2);
  EXPECT_EQ(ds_.MaxIndexesCount(), 2);
}

TEST_F(BufDatasetTest, ARequiredFieldLeftNullPostsNothing) {
  ds_.FieldByName("QTY").SetRequired(true);
  ds_.Append();
  ds_.FieldByName("NAME").SetAsString("a");
  EXPECT_THROW(ds_.Post(), db::DatabaseError);
  EXPECT_EQ(ds_.RecordCount(), 0);
  ds_.FieldByName("QTY").SetAsInteger(1);
  ds_.Post();
  EXPECT_EQ(ds_.RecordCount(), 1);
}

TEST_F(BufDatasetTest, AppendRunsItsStepsInOrder) {
  std::vector<std::string> log;
  auto note = [&log](const char* what) {
    return [&log, what](db::DataSet&) { log.push_back(what); };
  };
  ds_.BeforeInsert = note("BeforeInsert");
  ds_.BeforeScroll = note("BeforeScroll");
  ds_.OnNewRecord = [&log](db::DataSet& ds) {
    log.push_back(ds.State() == db::DataSetState::kInsert ? "OnNewRecord(insert)" : "OnNewRecord");
    ds.FieldByName("QTY").SetAsInteger(1);  // a default filled in by the handler
  };
  ds_.AfterInsert = note("AfterInsert");
  ds_.AfterScroll = note("AfterScroll");
  ds_.BeforePost = note("BeforePost");
  ds_.AfterPost = note("AfterPost");
  ds_.Append();
  ds_.Post();
  EXPECT_EQ(log,
            (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord(insert)",
                                      "AfterInsert", "AfterScroll", "BeforePost", "AfterPost"}));
  EXPECT_EQ(ds_.FieldByName("QTY").AsInteger(), 1);
}

TEST_F(BufDatasetTest, ClosingEmptiesAndKeepsIndexesAndTheCurrentIndex) {
  AppendRow(ds_, "a");
  ds_.AddIndex("ByName", "NAME");
  ds_.SetIndexName("ByName");
  db::Bookmark mark = ds_.GetBookmark();
  ds_.Close();
  ds_.Open();
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_EQ(ds_.IndexesCount(), 3);
  EXPECT_EQ(ds_.IndexName(), "ByName");
  EXPECT_FALSE(ds_.BookmarkValid(mark));
  AppendRow(ds_, "b");
  EXPECT_FALSE(ds_.BookmarkValid(mark));  // the same record id, a new generation
}

TEST(BufDatasetWideTest, ValuesBeyond64KiBPerRecordReadBack) {
  TVoBufDataset ds;
  const int fields = 300;
  for (int i = 0; i < fields; ++i)
    ds.FieldDefs().Add("F" + std::to_string(i), FieldType::ftString, 1000);
  ds.Open();
  for (int row = 0; row < 3; ++row) {
    ds.Append();
    for (int i = 0; i < fields; ++i) {
      ds.Fields(i).SetAsString(std::string(1000, static_cast<char>('a' + (i + row) % 26)));
    }
    ds.Post();
  }
  int row = 0;
  for (ds.First(); !ds.Eof(); ds.Next(), ++row) {
    for (int i = 0; i < fields; i += 37) {
      ASSERT_EQ(ds.Fields(i).AsString(),
                std::string(1000, static_cast<char>('a' + (i + row) % 26)));
    }
  }
  EXPECT_EQ(row, 3);
}

TEST(BufDatasetOpenTest, AFailedOpenLeavesNothingHalfSet) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("A", FieldType::ftString, 5);
  ds.CreateDataset();
  ds.FieldDefs().Clear();
  ds.FieldDefs().Add("B", FieldType::ftString, 5);  // the field A has no definition now
  EXPECT_THROW(ds.Open(), db::DatabaseError);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 0);
  ds.DestroyFields();
  ds.AfterOpen = [](db::DataSet&) { throw db::DatabaseError("refused"); };
  EXPECT_THROW(ds.Open(), db::DatabaseError);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldCount(), 0);
  ds.AfterOpen = nullptr;
  ds.Open();
  ds.Append();
  ds.FieldByName("B").SetAsString("ok");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST_F(BufDatasetTest, BookmarksNameLiveRecordsOnly) {
  for (const char* name : {"a", "b", "c"}) AppendRow(ds_, name);
  ds_.First();
  ds_.Next();
  db::Bookmark b = ds_.GetBookmark();
  ds_.Last();
  db::Bookmark c = ds_.GetBookmark();
  EXPECT_EQ(ds_.CompareBookmarks(b, c), -1);
  EXPECT_EQ(ds_.CompareBookmarks(c, b), -1);
  ds_.GotoBookmark(b);
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "b");
  ds_.Delete();
  EXPECT_FALSE(ds_.BookmarkValid(b));
  try {
    ds_.GotoBookmark(b);
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Orders : Could not find the requested record.");
  }
  AppendRow(ds_, "reuses b's id");
  EXPECT_FALSE(ds_.BookmarkValid(b));
}

TEST_F(BufDatasetTest, TheFilterHookSeesTheRecordItDecides) {
  for (const char* name : {"a", "bb", "c", "dd"}) AppendRow(ds_, name);
  ds_.OnFilterRecord = [](db::DataSet& ds, bool& accept) {
    accept = ds.FieldByName("NAME").AsString().size() == 2;
  };
  ds_.SetFiltered(true);
  EXPECT_EQ(Column(ds_, "NAME"), (std::vector<std::string>{"bb", "dd"}));
  ds_.Last();
  EXPECT_EQ(ds_.FieldByName("NAME").AsString(), "dd");
  ds_.OnFilterRecord = [](db::DataSet&, bool& accept) { accept = false; };
  ds_.First();
  EXPECT_TRUE(ds_.Eof());
  EXPECT_TRUE(ds_.FieldByName("NAME").IsNull());
  ds_.SetFiltered(false);
  EXPECT_EQ(ds_.RecordCount(), 4);
}

class BlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Docs");
    ds_.FieldDefs().Add("BODY", FieldType::ftMemo);
    ds_.CreateDataset();
    ds_.Open();
  }
  db::Field& Body() { return ds_.FieldByName("BODY"); }
  std::string ReadAll() {
    auto stream = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmRead);
    if (!stream) return "<null>";
    std::string text(static_cast<std::size_t>(stream->Size()), '\0');
    stream->Read(text.data(), stream->Size());
    return text;
  }

  TVoBufDataset ds_;
};

TEST_F(BlobTest, WrittenContentsBecomeTheValueWhenPosted) {
  ds_.Append();
  EXPECT_EQ(ReadAll(), "<null>");
  auto writer = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
  writer->Write("hello world", 11);
  writer->Seek(0, db::SeekOrigin::kBeginning);
  writer->Write("J", 1);
  writer->Seek(2, db::SeekOrigin::kEnd);
  writer->Write("!", 1);
  EXPECT_EQ(ReadAll(), std::string("Jello world\0\0!", 14));  // read while inserting
  ds_.Post();
  EXPECT_EQ(Body().AsString(), std::string("Jello world\0\0!", 14));
  writer->Write("late", 4);  // the stream outlived the edit: nothing changes
  EXPECT_EQ(Body().AsString().size(), 14u);
}

TEST_F(BlobTest, ACancelledStreamLeavesThePreviousValue) {
  ds_.Append();
  Body().SetAsString("old");
  ds_.Post();
  ds_.Edit();
  auto writer = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
  EXPECT_TRUE(ds_.Modified());
  writer->Write("new", 3);
  EXPECT_EQ(Body().AsString(), "new");
  ds_.Cancel();
  EXPECT_EQ(ReadAll(), "old");
}

TEST_F(BlobTest, TheLastWriteOfAFieldWins) {
  ds_.Append();
  auto first = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
  first->Write("first", 5);
  auto second = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
  second->Write("second", 6);
  ds_.Post();
  EXPECT_EQ(Body().AsString(), "second");
  ds_.Edit();
  auto third = ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
  third->Write("third", 5);
  Body().SetAsString("direct");  // a direct write replaces the streamed contents
  ds_.Post();
  EXPECT_EQ(Body().AsString(), "direct");
}

TEST_F(BlobTest, StreamsThatCannotBeGiven) {
  ds_.Append();
  ds_.Post();
  try {
    ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmWrite);
    FAIL();
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(),
                 "Docs : Operation not allowed, dataset \"Docs\" is not in an edit or insert "
                 "state.");
  }
  EXPECT_EQ(ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmRead), nullptr);  // null
  EXPECT_EQ(ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmReadWrite), nullptr);
  ds_.Close();
  EXPECT_EQ(ds_.CreateBlobStream(Body(), db::BlobStreamMode::bmRead), nullptr);
}

}  // namespace

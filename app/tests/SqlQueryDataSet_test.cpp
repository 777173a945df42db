// The read-only dataset over a Qt SQL query: field kinds from a record's
// column types, moving both ways over an SQLite query (whose driver cannot
// tell the row count beforehand), bookmarks, the filter event, and refusing
// every change.
#include "SqlQueryDataSet.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>

#include "temp_folder.h"

namespace app {
namespace {

TEST(FieldDefOf, TakesTheKindFromTheColumnsType) {
  struct Case {
    QMetaType::Type type;
    int length;
    bool wide;
    db::FieldType kind;
    int size;
  };
  const Case cases[] = {
      {QMetaType::Int, 0, false, db::FieldType::ftInteger, 0},
      {QMetaType::Int, 0, true, db::FieldType::ftLargeint, 0},
      {QMetaType::Short, 0, false, db::FieldType::ftInteger, 0},
      {QMetaType::UInt, 0, false, db::FieldType::ftLargeint, 0},
      {QMetaType::LongLong, 0, false, db::FieldType::ftLargeint, 0},
      {QMetaType::ULongLong, 0, false, db::FieldType::ftLargeint, 0},
      {QMetaType::Double, 12, false, db::FieldType::ftFloat, 0},
      {QMetaType::Bool, 0, false, db::FieldType::ftBoolean, 0},
      {QMetaType::QDate, 0, false, db::FieldType::ftDate, 0},
      {QMetaType::QTime, 0, false, db::FieldType::ftTime, 0},
      {QMetaType::QDateTime, 0, false, db::FieldType::ftDateTime, 0},
      {QMetaType::QByteArray, 0, false, db::FieldType::ftBlob, 0},
      {QMetaType::QString, 40, false, db::FieldType::ftString, 40},
      {QMetaType::QString, -1, false, db::FieldType::ftMemo, 0},
      {QMetaType::QString, 0, false, db::FieldType::ftMemo, 0},
      {QMetaType::QString, 1 << 20, false, db::FieldType::ftMemo, 0},
      {QMetaType::QUuid, 0, false, db::FieldType::ftMemo, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << QMetaType(c.type).name() << " " << c.length);
    QSqlField field("col", QMetaType(c.type));
    field.setLength(c.length);
    const db::FieldDef def = FieldDefOf(field, c.wide);
    EXPECT_EQ(def.Name, "col");
    EXPECT_EQ(def.DataType, c.kind);
    EXPECT_EQ(def.Size, c.size);
  }
}

class SqlQueryDataSetTest : public testing::Test {
 protected:
  void SetUp() override {
    QSqlDatabase d = QSqlDatabase::addDatabase("QSQLITE", "dataset-test");
    d.setDatabaseName((folder_.Path() / "t.sqlite").string().c_str());
    ASSERT_TRUE(d.open());
    QSqlQuery q(d);
    for (const char* s : {"CREATE TABLE t (id INTEGER, name TEXT, price REAL, raw BLOB)",
                          "INSERT INTO t VALUES (1, 'one', 1.5, x'00ff')",
                          "INSERT INTO t VALUES (2, NULL, NULL, NULL)",
                          "INSERT INTO t VALUES (3, 'three', -2.25, x'41')"}) {
      ASSERT_TRUE(q.exec(s)) << q.lastError().text().toStdString();
    }
    query_ = std::make_unique<QSqlQuery>(d);
    query_->setForwardOnly(false);
    ASSERT_TRUE(query_->exec("SELECT * FROM t ORDER BY id"));
    data_ = std::make_unique<SqlQueryDataSet>(*query_);
    data_->Open();
  }
  void TearDown() override {
    data_.reset();
    query_.reset();
    QSqlDatabase::removeDatabase("dataset-test");
  }
  std::string Ids() {
    std::string ids;
    for (data_->First(); !data_->Eof(); data_->Next()) ids += data_->Fields(0).AsString();
    return ids;
  }

  app_testing::TempFolder folder_;
  std::unique_ptr<QSqlQuery> query_;
  std::unique_ptr<SqlQueryDataSet> data_;
};

TEST_F(SqlQueryDataSetTest, ReadsRowsBothWaysWithTheirValues) {
  ASSERT_EQ(data_->FieldCount(), 4);
  EXPECT_EQ(data_->Fields(0).DataType(), db::FieldType::ftLargeint);
  EXPECT_EQ(data_->RecordCount(), 3);
  // Counting walked the query to its end; the current row still reads.
  EXPECT_EQ(data_->Fields(1).AsString(), "one");
  EXPECT_EQ(Ids(), "123");
  data_->Last();
  EXPECT_EQ(data_->Fields(1).AsString(), "three");
  EXPECT_EQ(data_->Fields(3).AsString(), "A");
  data_->Prior();
  EXPECT_TRUE(data_->Fields(1).IsNull());
  EXPECT_TRUE(data_->Fields(2).IsNull());
  EXPECT_EQ(data_->RecNo(), 2);
  const db::Bookmark second = data_->GetBookmark();
  data_->First();
  EXPECT_EQ(data_->Fields(2).AsFloat(), 1.5);
  EXPECT_EQ(data_->Fields(3).AsString(), std::string("\0\xff", 2));
  data_->GotoBookmark(second);
  EXPECT_EQ(data_->Fields(0).AsInteger(), 2);
}

TEST_F(SqlQueryDataSetTest, OffersRowsToTheFilter) {
  data_->OnFilterRecord = [](db::DataSet& d, bool& accept) {
    accept = d.Fields(0).AsInteger() != 2;
  };
  data_->SetFiltered(true);
  EXPECT_EQ(Ids(), "13");
  data_->SetFiltered(false);
  EXPECT_EQ(Ids(), "123");
}

TEST_F(SqlQueryDataSetTest, RefusesEveryChange) {
  EXPECT_THROW(data_->Edit(), db::DatabaseError);
  EXPECT_EQ(data_->State(), db::DataSetState::kBrowse);
  EXPECT_THROW(data_->Append(), db::DatabaseError);
  EXPECT_THROW(data_->Delete(), db::DatabaseError);
  EXPECT_EQ(Ids(), "123");
}

}  // namespace
}  // namespace app

// A query dataset with a packet file: its loads and queries close and reopen it
// without touching the packet, and only the caller's own open and close read
// and write it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query_dataset_fixture.h"

namespace {

using Texts = std::vector<std::string>;

class QueryPacketTest : public QueryDataSetFixture {
 protected:
  QueryPacketTest() : QueryDataSetFixture("a;b\n1;2\n3;4\n") {}

  void SetUp() override {
    QueryDataSetFixture::SetUp();
    dir_.Write("u.txt", "x;y;z\n5;6;7\n");
    packet_ = dir_.File("result.pkt");
  }

  static Texts FieldNames(db::DataSet& ds) {
    Texts names;
    for (int i = 0; i < ds.FieldCount(); ++i) names.push_back(ds.Fields(i).FieldName());
    return names;
  }
  static Texts Column(db::DataSet& ds, int field) {
    Texts values;
    for (ds.First(); !ds.Eof(); ds.Next()) values.push_back(ds.Fields(field).AsString());
    return values;
  }

  std::string packet_;
};

TEST_F(QueryPacketTest, ReloadingAnotherTableKeepsItsColumns) {
  // The table load opens the dataset itself: no packet is read yet (there is
  // none), and none is written by the reload's own closes.
  ds_.SetFileName(packet_);
  ds_.SetTableName("t");
  ds_.ReadTableFile();
  EXPECT_EQ(FieldNames(ds_), (Texts{"a", "b"}));
  EXPECT_FALSE(dir_.Exists("result.pkt"));
  ds_.Close();
  ASSERT_TRUE(dir_.Exists("result.pkt"));

  ds_.Open();
  EXPECT_EQ(FieldNames(ds_), (Texts{"a", "b"}));
  EXPECT_EQ(Column(ds_, 0), (Texts{"1", "3"}));

  // Another table while the packet's rows are open: its columns win.
  ds_.SetTableName("u");
  ds_.ReadTableFile();
  EXPECT_EQ(FieldNames(ds_), (Texts{"x", "y", "z"}));
  EXPECT_EQ(Column(ds_, 2), Texts{"7"});

  Run({"select a from t where a = '3'"});
  EXPECT_EQ(FieldNames(ds_), Texts{"a"});
  EXPECT_EQ(Column(ds_, 0), Texts{"3"});
  ds_.Close();

  TVoBufDataset saved;
  saved.LoadFromFile(packet_);
  EXPECT_EQ(FieldNames(saved), Texts{"a"});
  EXPECT_EQ(Column(saved, 0), Texts{"3"});
}

}  // namespace

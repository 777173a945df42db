// One table-file format between the engine and the datasets: values of every
// troublesome byte written by one side read back the same through the other,
// files of plain values stay byte for byte the same on either side's save, and
// the dataset writer's refusals and filter handling.
#include "datasets/VoTableFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dataset_rows.h"
#include "db/DatabaseError.h"
#include "query_dataset_fixture.h"

namespace {

using Table = std::vector<std::vector<std::string>>;  // rows of values

const std::vector<std::string> kNames = {"id", "name", "note", "memo"};

// Values from a fixed seed. mt19937's output is fixed by the standard; the
// distributions are not, so they are not used.
class ValueGenerator {
 public:
  explicit ValueGenerator(std::uint32_t seed) : random_(seed) {}

  // Up to 12 bytes, about half of them ones the format must quote or escape:
  // the separator, the three quote characters, the backslash, CR, LF, TAB,
  // NUL, and blanks, often at the ends.
  std::string Special() {
    static constexpr char kBytes[] = {';', '"', '\'', '`', '\\', '\r', '\n', '\t', '\0', ' '};
    std::string value;
    const std::uint32_t length = Below(13);
    for (std::uint32_t i = 0; i < length; ++i) {
      value += Below(2) == 0 ? kBytes[Below(sizeof kBytes)] : Plain1();
    }
    if (Below(4) == 0) value = "  " + value;
    if (Below(4) == 0) value += "  ";
    return value;
  }

  // Letters, digits and blanks (at the ends too), nothing the format encodes.
  std::string Plain() {
    std::string value;
    const std::uint32_t length = Below(10);
    for (std::uint32_t i = 0; i < length; ++i) value += Below(6) == 0 ? ' ' : Plain1();
    return value;
  }

  Table Rows(int count, bool special) {
    Table rows;
    for (int r = 0; r < count; ++r) {
      std::vector<std::string> row{std::to_string(r)};
      for (std::size_t c = 1; c < kNames.size(); ++c) row.push_back(special ? Special() : Plain());
      rows.push_back(row);
    }
    return rows;
  }

 private:
  std::uint32_t Below(std::size_t n) { return static_cast<std::uint32_t>(random_() % n); }
  char Plain1() {
    static constexpr char kPlain[] = "abcXYZ019.,-=";
    return kPlain[Below(sizeof kPlain - 1)];
  }

  std::mt19937 random_;
};

// The rows of a dataset as texts (null as ""), in its current order.
Table DatasetRows(db::DataSet& ds) {
  Table rows;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::vector<std::string> row;
    for (int c = 0; c < ds.FieldCount(); ++c) row.push_back(ds.Fields(c).AsString());
    rows.push_back(row);
  }
  return rows;
}

// The rows of the file as the engine reads them.
Table EngineRows(const std::string& file, std::vector<std::string>* names = nullptr) {
  vek::TvekRecordSet set;
  bool loaded = false;
  const vek::Status s = set.LoadFromFile(file, loaded);
  EXPECT_TRUE(s.ok()) << s.message();
  EXPECT_TRUE(loaded);
  if (names != nullptr) *names = set.FieldNames;
  Table rows;
  for (const vek::TvekRecord& record : set.Records) {
    std::vector<std::string> row;
    for (int c = 0; c < record.FieldCount(); ++c) row.emplace_back(record.Cell(c));
    rows.push_back(row);
  }
  return rows;
}

void EngineSave(const Table& rows, const std::string& file) {
  vek::TvekRecordSet set;
  set.FieldNames = kNames;
  for (const auto& row : rows) set.AppendRow(std::vector<std::string_view>(row.begin(), row.end()));
  const vek::Status s = set.SaveToFile(file);
  ASSERT_TRUE(s.ok()) << s.message();
}

// Loads `file` into the engine and saves it again, as a COMMIT does.
void EngineResave(const std::string& file) {
  vek::TvekRecordSet set;
  bool loaded = false;
  ASSERT_TRUE(set.LoadFromFile(file, loaded).ok());
  ASSERT_TRUE(set.SaveToFile(file).ok());
}

// A dataset of string columns and one memo column holding `rows`.
void FillWithMemo(TVoBufDataset& ds, const Table& rows) {
  vo_testing::Fill(ds,
                   {{"id", db::FieldType::ftString, 10},
                    {"name", db::FieldType::ftString, 40},
                    {"note", db::FieldType::ftString, 40},
                    {"memo", db::FieldType::ftMemo}},
                   {});
  for (const auto& row : rows) {
    ds.Append();
    for (std::size_t c = 0; c < row.size(); ++c) {
      ds.Fields(static_cast<int>(c)).SetAsString(row[c]);
    }
    ds.Post();
  }
}

class TableFileFormatTest : public QueryDataSetFixture {
 protected:
  TableFileFormatTest() : QueryDataSetFixture("") {}
};

TEST_F(TableFileFormatTest, EveryValueCrossesBetweenEngineAndDatasetsUnchanged) {
  ValueGenerator generator(20261211);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const Table rows = generator.Rows(60, true);

    // Engine save, dataset load: every value as it was; the dataset's save
    // gives the engine's bytes back.
    EngineSave(rows, dir_.File("e.txt"));
    const std::string engine_bytes = dir_.Read("e.txt");
    ds_.SetTableName("e");
    ds_.ReadTableFile();
    EXPECT_EQ(DatasetRows(ds_), rows);
    ds_.WriteTableFile();
    EXPECT_EQ(dir_.Read("e.txt"), engine_bytes);

    // Dataset save, engine load: the same, memo values included; the engine's
    // save (a COMMIT) keeps the bytes, and the dataset reads them back.
    TVoBufDataset source;
    FillWithMemo(source, rows);
    SaveDataSetToTableFile(source, dir_.File("d.txt"));
    const std::string dataset_bytes = dir_.Read("d.txt");
    std::vector<std::string> names;
    EXPECT_EQ(EngineRows(dir_.File("d.txt"), &names), rows);
    EXPECT_EQ(names, kNames);
    EngineResave(dir_.File("d.txt"));
    EXPECT_EQ(dir_.Read("d.txt"), dataset_bytes);
    ds_.SetTableName("d");
    ds_.ReadTableFile();
    EXPECT_EQ(DatasetRows(ds_), rows);
  }
}

// A file nobody encoded, of plain values with blanks anywhere, is saved byte
// for byte as it was by either side.
TEST_F(TableFileFormatTest, PlainFilesStayByteForByteTheSame) {
  ValueGenerator generator(7);
  std::string bytes = "id;name;note;memo\n";
  for (const auto& row : generator.Rows(200, false)) {
    bytes += row[0] + ";" + row[1] + ";" + row[2] + ";" + row[3] + "\n";
  }
  dir_.Write("p.txt", bytes);
  ds_.SetTableName("p");
  ds_.ReadTableFile();
  ds_.WriteTableFile();
  EXPECT_EQ(dir_.Read("p.txt"), bytes);
  EngineResave(dir_.File("p.txt"));
  EXPECT_EQ(dir_.Read("p.txt"), bytes);
}

// A whole-table save of text columns walks the stored records in the current
// index's order: every row whatever the filter, a deleted one gone, a pending
// edit posted first, a null value empty; the filter and the current row stay.
TEST_F(TableFileFormatTest, ASortedFilteredSaveWritesEveryStoredRowInSortOrder) {
  dir_.Write("s.txt", "id;name\n1;bob\n2;ann\n3;cid\n4;dan\n");
  ds_.SetTableName("s");
  ds_.ReadTableFile();
  ASSERT_TRUE(ds_.ToggleIndexOnField("name"));
  ASSERT_TRUE(ds_.Locate("id", rtl::Variant::Text("4")));
  ds_.Delete();
  ASSERT_TRUE(ds_.Locate("id", rtl::Variant::Text("3")));
  ds_.Edit();
  ds_.FieldByName("name").Clear();
  ds_.SetFilterText("id = '1'");
  ds_.SetFiltered(true);
  ds_.First();
  ds_.Edit();
  ds_.FieldByName("name").SetAsString("a;b");
  SaveDataSetToTableFile(ds_, dir_.File("s.txt"));
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(ds_.State(), db::DataSetState::kBrowse);
  EXPECT_EQ(ds_.FieldByName("id").AsString(), "1");

  // The rows as the cursor shows them with the filter off.
  ds_.SetFiltered(false);
  std::string shown = "id;name\n";
  for (ds_.First(); !ds_.Eof(); ds_.Next()) {
    shown += ds_.FieldByName("id").AsString() + ";" +
             vek::EncodeCell(ds_.FieldByName("name").AsString()) + "\n";
  }
  EXPECT_EQ(dir_.Read("s.txt"), shown);
  EXPECT_EQ(shown, "id;name\n2;ann\n1;\"a;b\"\n3;\n");
}

// A sorted index keeps its order for the save only until rows come or go:
// saved again after an append and a deletion, the rows are those the cursor
// walks.
TEST_F(TableFileFormatTest, ASaveAfterSortingAndChangingRowsFollowsTheCursor) {
  dir_.Write("s.txt", "id;name\n1;bob\n2;ann\n3;cid\n4;dan\n");
  ds_.SetTableName("s");
  ds_.ReadTableFile();
  ASSERT_TRUE(ds_.ToggleIndexOnField("name"));
  SaveDataSetToTableFile(ds_, dir_.File("s.txt"));
  EXPECT_EQ(dir_.Read("s.txt"), "id;name\n2;ann\n1;bob\n3;cid\n4;dan\n");
  ds_.Append();
  ds_.FieldByName("id").SetAsString("5");
  ds_.FieldByName("name").SetAsString("bea");
  ds_.Post();
  ASSERT_TRUE(ds_.Locate("id", rtl::Variant::Text("3")));
  ds_.Delete();
  std::string shown = "id;name\n";
  for (ds_.First(); !ds_.Eof(); ds_.Next()) {
    shown += ds_.FieldByName("id").AsString() + ";" + ds_.FieldByName("name").AsString() + "\n";
  }
  SaveDataSetToTableFile(ds_, dir_.File("s.txt"));
  EXPECT_EQ(dir_.Read("s.txt"), shown);
  EXPECT_NE(shown.find("5;bea\n"), std::string::npos);
  EXPECT_EQ(shown.find("3;cid"), std::string::npos);
}

// Row lines cut by the engine's rules, each value decoded in place.
TEST(CutTableFileRowTest, CutsAndDecodesAsTheEngineDoes) {
  const struct {
    std::string line;
    std::vector<std::string> values;
  } cases[] = {
      {"", {}},  // an empty line has no values
      {";", {"", ""}},
      {" a ; b", {" a ", " b"}},
      {"\"a;b\";c", {"a;b", "c"}},
      {"\"say \\\"hi\\\"\";x", {"say \"hi\"", "x"}},
      {"C:\\\\dir\\\\;next", {"C:\\dir\\", "next"}},
      {"a\\lb\\nc\\td\\0e", {"a\nb\rc\td" + std::string(1, '\0') + "e"}},
      {"'it;s';`b`", {"it;s", "b"}},
      {"\"open;to the end", {"\"open;to the end"}},  // a quote never closed
      // Lines longer than the cutter's sixteen-byte steps: separators on both
      // sides of a step, and a quote or an escape found only in a later one.
      {"0123456789abcde;;0123456789abcd;;x", {"0123456789abcde", "", "0123456789abcd", "", "x"}},
      {"0123456789abcdef0123456789abcd;\"q;r\"", {"0123456789abcdef0123456789abcd", "q;r"}},
      {"0123456789abcdef0123456789abcdef;a\\tb;c",
       {"0123456789abcdef0123456789abcdef", "a\tb", "c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    std::string line = c.line;
    std::vector<sdf::TSdfValue> cut;
    CutTableFileRow(line, cut);
    std::vector<std::string> values;
    for (const sdf::TSdfValue& v : cut) values.push_back(line.substr(v.offset, v.length));
    EXPECT_EQ(values, c.values);
    std::vector<std::string> engine;
    vek::SplitText(c.line, engine);
    for (std::string& piece : engine) piece = vek::DecodeCell(piece);
    EXPECT_EQ(values, engine);
  }
}

// ---- The writer ----

TEST_F(TableFileFormatTest, WritesAllRowsOrTheFilteredOnesAndPutsTheFilterBack) {
  TVoBufDataset ds;
  vo_testing::Fill(ds, {{"k", db::FieldType::ftString, 5}}, {{"a"}, {"b"}, {"c"}});
  ds.SetFilterText("k <> 'b'");
  ds.SetFiltered(true);
  ds.Last();
  TableFileOptions options;
  SaveDataSetToTableFile(ds, dir_.File("all.txt"), options);
  EXPECT_EQ(dir_.Read("all.txt"), "k\na\nb\nc\n");
  options.all_rows = false;
  SaveDataSetToTableFile(ds, dir_.File("shown.txt"), options);
  EXPECT_EQ(dir_.Read("shown.txt"), "k\na\nc\n");
  EXPECT_TRUE(ds.Filtered());
  EXPECT_EQ(ds.FieldByName("k").AsString(), "c");
  EXPECT_FALSE(ds.ControlsDisabled());
}

// Names the header line cannot keep would read back as other columns, with
// values under the wrong names: nothing is written and the old file stays.
TEST_F(TableFileFormatTest, RefusesNamesTheHeaderCannotKeepAndAClosedDataset) {
  const std::vector<std::vector<vo_testing::Column>> cases = {
      {{"a;b", db::FieldType::ftString, 5}},
      {{"two\nlines", db::FieldType::ftString, 5}},
      // Apart, each reads back; together they are one quoted stretch.
      {{"it's", db::FieldType::ftString, 5}, {"x'", db::FieldType::ftString, 5}},
  };
  for (const auto& columns : cases) {
    SCOPED_TRACE(columns[0].name);
    TVoBufDataset ds;
    vo_testing::Fill(ds, columns, {{"v"}});
    dir_.Write("n.txt", "old\n");
    EXPECT_THROW(SaveDataSetToTableFile(ds, dir_.File("n.txt")), db::DatabaseError);
    EXPECT_EQ(dir_.Read("n.txt"), "old\n");
    EXPECT_FALSE(ds.ControlsDisabled());
  }
  TVoBufDataset closed;
  EXPECT_THROW(SaveDataSetToTableFile(closed, dir_.File("n.txt")), db::DatabaseError);
  EXPECT_EQ(dir_.Read("n.txt"), "old\n");
}

}  // namespace

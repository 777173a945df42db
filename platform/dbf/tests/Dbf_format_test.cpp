// The bytes of the table and memo files, worked out by hand from the level 7
// layout, and files that are not level 7 tables: refused on open, never written.
#include <ctime>

#include "DbfTestUtil.h"

namespace {

using dbf::FieldKind;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

std::string Padded(const std::string& text, std::size_t size, char fill = '\0') {
  std::string bytes = text;
  bytes.resize(size, fill);
  return bytes;
}

std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Bytes({local.tm_year, local.tm_mon + 1, local.tm_mday});
}

std::string Descriptor(const std::string& name, char type, int length, int next_autoinc = 0) {
  std::string bytes = Padded(name, 32);
  bytes += type;
  bytes += static_cast<char>(length);
  bytes += std::string(6, '\0');  // decimal count, reserved, index flag, reserved
  bytes += Bytes({next_autoinc, 0, 0, 0});
  bytes += std::string(4, '\0');
  return bytes;
}

class DbfFormatTest : public DbfTest {
 protected:
  // NAME C 5, N I, ID +, OK L, TXT M.
  dbf::TDbf& Golden() {
    return Table("Golden.dbf", {{"NAME", FieldKind::kCharacter, 5},
                                {"N", FieldKind::kInteger},
                                {"ID", FieldKind::kAutoInc},
                                {"OK", FieldKind::kLogical},
                                {"TXT", FieldKind::kMemo}});
  }

  // Three rows: one of every value, one with negatives and nulls, one deleted.
  void FillGolden(dbf::TDbf& table) {
    table.Open();
    AddRow(table, {{"NAME", "ab"}, {"N", "1"}, {"OK", "True"}, {"TXT", "hi"}});
    AddRow(table, {{"NAME", "cd"}, {"N", "-1"}});
    AddRow(table, {{"NAME", "gone"}, {"OK", "False"}, {"TXT", "x"}});
    table.Last();
    table.Delete();
  }

  static std::string Header(int version, int count) {
    std::string bytes = Bytes({version}) + Today() + Bytes({count, 0, 0, 0});
    bytes += Bytes({0x35, 0x01});  // header length 68 + 5 * 48 + 1 = 309
    bytes += Bytes({25, 0});       // record length 1 + 5 + 4 + 4 + 1 + 10
    bytes += std::string(16, '\0');
    bytes += Bytes({0x00, 0x57, 0, 0});  // no production index; language driver
    bytes += Padded("DBWINUS0", 32);
    bytes += std::string(4, '\0');
    return bytes;
  }

  static std::string Fields(int next_autoinc) {
    return Descriptor("NAME", 'C', 5) + Descriptor("N", 'I', 4) +
           Descriptor("ID", '+', 4, next_autoinc) + Descriptor("OK", 'L', 1) +
           Descriptor("TXT", 'M', 10) + "\x0D";
  }

  static std::string FirstRow() {
    return " ab   " + Bytes({0x80, 0, 0, 1}) + Bytes({0x80, 0, 0, 1}) + "T" + "         1";
  }
  static std::string SecondRow() {
    return " cd   " + Bytes({0x7F, 0xFF, 0xFF, 0xFF}) + Bytes({0x80, 0, 0, 2}) + " " +
           std::string(10, ' ');
  }

  static std::string MemoHeader(int next_free) {
    std::string bytes = Bytes({next_free, 0, 0, 0}) + std::string(4, '\0') + Padded("Golden", 8);
    bytes += std::string(4, '\0') + Bytes({0x00, 0x02});  // block size 512
    return Padded(bytes, 512);
  }
  static std::string MemoBlock(const std::string& text) {
    return Padded(
        Bytes({0xFF, 0xFF, 0x08, 0x00, static_cast<int>(text.size()) + 8, 0, 0, 0}) + text, 512);
  }
};

TEST_F(DbfFormatTest, TableFileHoldsHeaderDescriptorsAndEveryValueForm) {
  dbf::TDbf& table = Golden();
  FillGolden(table);
  const std::string third =
      "*gone " + Bytes({0, 0, 0, 0}) + Bytes({0x80, 0, 0, 3}) + "F" + "         2";
  EXPECT_EQ(ReadFile("Golden.dbf"),
            Header(0x8C, 3) + Fields(4) + FirstRow() + SecondRow() + third + "\x1A");
}

TEST_F(DbfFormatTest, MemoFileHoldsHeaderAndOneBlockPerMemo) {
  dbf::TDbf& table = Golden();
  FillGolden(table);
  EXPECT_EQ(ReadFile("Golden.dbt"), MemoHeader(3) + MemoBlock("hi") + MemoBlock("x"));
}

TEST_F(DbfFormatTest, PackDropsDeletedRowsAndTheirMemoBlocks) {
  dbf::TDbf& table = Golden();
  FillGolden(table);
  table.PackTable();
  EXPECT_EQ(ReadFile("Golden.dbf"),
            Header(0x8C, 2) + Fields(4) + FirstRow() + SecondRow() + "\x1A");
  EXPECT_EQ(ReadFile("Golden.dbt"), MemoHeader(2) + MemoBlock("hi"));
  EXPECT_EQ(Column(table, "NAME"), (std::vector<std::string>{"ab", "cd"}));
}

TEST_F(DbfFormatTest, TableWithoutMemoHasVersion4AndNoMemoFile) {
  dbf::TDbf& table = Table("Plain.dbf", {{"A", FieldKind::kInteger}});
  table.Open();
  AddRow(table, {{"A", "0"}});
  const std::string header =
      Bytes({0x04}) + Today() + Bytes({1, 0, 0, 0}) + Bytes({117, 0}) + Bytes({5, 0});
  EXPECT_EQ(ReadFile("Plain.dbf"), header + std::string(16, '\0') + Bytes({0, 0x57, 0, 0}) +
                                       Padded("DBWINUS0", 32) + std::string(4, '\0') +
                                       Descriptor("A", 'I', 4) + "\x0D" + " " +
                                       Bytes({0x80, 0, 0, 0}) + "\x1A");
  EXPECT_FALSE(std::filesystem::exists(Path("Plain.dbt")));
}

TEST_F(DbfFormatTest, EditingAMemoWritesNewBlocksAndKeepsTheOldOnesUntilPack) {
  dbf::TDbf& table = Golden();
  table.Open();
  AddRow(table, {{"NAME", "a"}, {"TXT", "old"}});
  table.Edit();
  table.FieldByName("TXT").SetAsString(std::string(600, 'm'));  // two blocks
  table.Post();
  const std::string memo = ReadFile("Golden.dbt");
  ASSERT_EQ(memo.size(), 4u * 512);
  EXPECT_EQ(memo.substr(0, 4), Bytes({4, 0, 0, 0}));
  EXPECT_EQ(memo.substr(512, 512), MemoBlock("old"));
  EXPECT_EQ(memo.substr(1024, 8), Bytes({0xFF, 0xFF, 0x08, 0x00, 0x60, 0x02, 0, 0}));  // 608
  EXPECT_EQ(ReadFile("Golden.dbf").substr(309 + 15, 10), "         2");
  table.PackTable();
  EXPECT_EQ(ReadFile("Golden.dbt").size(), 3u * 512);
  EXPECT_EQ(ReadFile("Golden.dbf").substr(309 + 15, 10), "         1");
  table.Close();
  table.Open();
  EXPECT_EQ(table.FieldByName("TXT").AsString(), std::string(600, 'm'));
}

// Each case damages a valid table in one place.
struct BadFile {
  const char* name;
  std::size_t offset;
  std::string bytes;
  const char* message;
};

TEST_F(DbfFormatTest, FileThatIsNotALevel7TableIsRefusedAndLeftAlone) {
  const BadFile cases[] = {
      {"dBase III version byte", 0, Bytes({0x03}), "version byte 0x03"},
      {"header shorter than its fields", 8, Bytes({0x80, 0x00}),
       "header is shorter than its field descriptors"},
      {"record length disagrees", 10, Bytes({24, 0}), "record length 24 disagrees"},
      {"numeric field", 68 + 48 + 32, "N", "field N has the type 'N'"},
      {"integer of 5 bytes", 68 + 48 + 33, Bytes({5}), "field N of type 'I' has the length 5"},
      {"more records than bytes", 4, Bytes({9}), "shorter than its 9 records"},
  };
  dbf::TDbf& table = Golden();
  FillGolden(table);
  table.Close();
  const std::string good = ReadFile("Golden.dbf");
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bad = good;
    bad.replace(c.offset, c.bytes.size(), c.bytes);
    WriteFile("Golden.dbf", bad);
    try {
      table.Open();
      ADD_FAILURE() << "opened";
    } catch (const db::DatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(Path("Golden.dbf")), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadFile("Golden.dbf"), bad);
  }
}

TEST_F(DbfFormatTest, DamagedMemoReferenceIsRefused) {
  dbf::TDbf& table = Golden();
  FillGolden(table);
  table.Close();
  std::string bytes = ReadFile("Golden.dbf");
  bytes.replace(309 + 15, 10, "        99");
  WriteFile("Golden.dbf", bytes);
  EXPECT_THROW(table.Open(), db::DatabaseError);
  EXPECT_EQ(ReadFile("Golden.dbf"), bytes);
}

}  // namespace

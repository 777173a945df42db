// The binary packet format byte by byte: the header and record images, the
// encoding of each field type, values the format refuses, malformed packets,
// and the reader registry.
#include "datasets/BinaryDatapacketReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "datasets/VoBufDataset.h"
#include "packet_bytes.h"
#include "rtl/Separators.h"
#include "testing/temp_folder.h"

namespace {

using db::FieldType;
using vo_testing::OneFieldHeader;
using vo_testing::PacketBytes;

const std::string kNotRecognised = "The data-stream format is not recognized";

std::string Save(TVoBufDataset& ds) {
  std::ostringstream out;
  ds.SaveToStream(out);
  return out.str();
}

void Load(TVoBufDataset& ds, const std::string& bytes) {
  std::istringstream in(bytes);
  ds.LoadFromStream(in);
}

// The header and one row of the smallest packet, as the format lays them out.
TEST(BinaryPacketTest, OneFieldHeaderAndARowOfTwoCharacters) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("a", FieldType::ftString, 2);
  ds.CreateDataset();
  ds.Open();
  ds.Append();
  ds.FieldByName("a").SetAsString("xy");
  ds.Post();
  const std::string header = OneFieldHeader().str();
  ASSERT_EQ(header.size(), 32u);
  // Marker, state 0 without order, a mask with only field 0 not null, "xy" and
  // its terminator.
  const std::string row("\xFE\x00\xFE\x78\x79\x00", 6);  // "xy"
  // The appended row is an insertion at position 0 of the change log.
  EXPECT_EQ(Save(ds), header + std::string("\xFE\x04\0\0\0\0\xFE\x78\x79\x00", 10));

  TVoBufDataset loaded;
  Load(loaded, header + row);
  ASSERT_TRUE(loaded.Active());
  ASSERT_EQ(loaded.RecordCount(), 1);
  EXPECT_EQ(loaded.FieldByName("a").AsString(), "xy");
  EXPECT_EQ(loaded.GetChangeCount(), 0);
  EXPECT_EQ(Save(loaded), header + row);
}

TEST(BinaryPacketTest, EmptyDatasetSavesTheHeaderAloneAndLoadsBackEmpty) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("a", FieldType::ftString, 2);
  ds.FieldDefs().Add("n", FieldType::ftInteger);
  ds.FieldDefs()[1].ReadOnly = true;
  ds.CreateDataset();
  ds.Open();
  PacketBytes expected;
  expected.Magic()
      .U16(2)
      .Field("a", FieldType::ftString, 2)
      .Field("n", FieldType::ftInteger, 0, true);
  EXPECT_EQ(Save(ds), expected.str());

  TVoBufDataset loaded;
  Load(loaded, expected.str());
  EXPECT_TRUE(loaded.Active());
  EXPECT_EQ(loaded.RecordCount(), 0);
  ASSERT_EQ(loaded.FieldDefs().Count(), 2);
  EXPECT_EQ(loaded.FieldDefs()[1].Name, "n");
  EXPECT_EQ(loaded.FieldDefs()[1].DataType, FieldType::ftInteger);
  EXPECT_FALSE(loaded.FieldDefs()[0].ReadOnly);
  EXPECT_TRUE(loaded.FieldDefs()[1].ReadOnly);
}

// The display name is the one a field is named by.
TEST(BinaryPacketTest, TheDisplayNameNamesTheField) {
  PacketBytes bytes;
  bytes.Magic().U16(1).I32(4).Raw("name").I32(7).Raw("display");
  bytes.U16(2).U16(static_cast<std::uint16_t>(FieldType::ftString)).U8(0);
  TVoBufDataset ds;
  Load(ds, bytes.str());
  EXPECT_EQ(ds.FieldDefs()[0].Name, "display");
}

// Every slot kind, written and read back.
TEST(BinaryPacketTest, EachFieldTypeHasItsEncoding) {
  rtl::ScopedSeparators separators('.', ',');
  TVoBufDataset ds;
  struct Column {
    const char* name;
    FieldType type;
    int size;
  };
  const std::vector<Column> columns = {
      {"s", FieldType::ftString, 3},    {"w", FieldType::ftWideString, 3},
      {"si", FieldType::ftSmallint, 0}, {"wd", FieldType::ftWord, 0},
      {"b", FieldType::ftBoolean, 0},   {"f", FieldType::ftFloat, 0},
      {"cu", FieldType::ftCurrency, 0}, {"bcd", FieldType::ftBCD, 0},
      {"d", FieldType::ftDate, 0},      {"li", FieldType::ftLargeint, 0},
      {"m", FieldType::ftMemo, 0},      {"vb", FieldType::ftVarBytes, 0},
      {"ai", FieldType::ftAutoInc, 0},  {"nul", FieldType::ftInteger, 0},
  };
  for (const Column& c : columns) ds.FieldDefs().Add(c.name, c.type, c.size);
  ds.CreateDataset();
  ds.Open();
  ds.Append();
  ds.FieldByName("s").SetAsString("abc");
  ds.FieldByName("w").SetAsString("é€");
  ds.FieldByName("si").SetAsInteger(-2);
  ds.FieldByName("wd").SetAsInteger(65535);
  ds.FieldByName("b").SetAsBoolean(true);
  ds.FieldByName("f").SetAsFloat(1.5);
  ds.FieldByName("cu").SetAsFloat(1.2345);
  ds.FieldByName("bcd").SetAsString("2.5");
  ds.FieldByName("d").SetAsDateTime(45000.0);
  ds.FieldByName("li").SetAsInteger(-1);
  ds.FieldByName("m").SetAsString("memo text");
  ds.FieldByName("vb").SetAsString("ab");
  ds.FieldByName("ai").SetAsInteger(7);
  ds.Post();

  const std::string packet = Save(ds);
  const TRecordLayout layout = TVoBufDataset::CalcRecordSize(ds.FieldDefs());
  ASSERT_EQ(layout.NullMaskSize, 2);
  const std::string image =
      packet.substr(packet.size() - static_cast<std::size_t>(layout.RecordSize));
  auto slot = [&](const char* name) {
    const int i = ds.FieldDefs().IndexOf(name);
    return image.substr(static_cast<std::size_t>(layout.FieldOffsets[static_cast<std::size_t>(i)]),
                        static_cast<std::size_t>(TVoBufDataset::GetFieldSize(ds.FieldDefs()[i])));
  };
  auto bytes = [](std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
  };
  auto le64 = [](std::int64_t v) { return PacketBytes().I64(v).str(); };
  auto dbl = [](double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
  };
  // Field 13 ("nul") is the only null one; bits 14 and 15 are past the last field.
  EXPECT_EQ(image.substr(0, 2), bytes({0x00, 0xE0}));
  EXPECT_EQ(slot("s"), std::string("abc\0", 4));
  EXPECT_EQ(slot("w"), bytes({0xE9, 0x00, 0xAC, 0x20, 0, 0, 0, 0}));
  EXPECT_EQ(slot("si"), bytes({0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(slot("wd"), bytes({0xFF, 0xFF, 0x00, 0x00}));
  EXPECT_EQ(slot("b"), bytes({0x01, 0x00}));
  EXPECT_EQ(slot("f"), dbl(1.5));
  EXPECT_EQ(slot("cu"), le64(12345));
  EXPECT_EQ(slot("bcd"), le64(25000));
  EXPECT_EQ(slot("d"), dbl(45000.0));
  EXPECT_EQ(slot("li"), le64(-1));
  EXPECT_EQ(slot("m"), std::string(16, '\0'));
  EXPECT_EQ(slot("vb"), bytes({0x02, 0x00, 'a', 'b', 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(slot("ai"), bytes({0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(slot("nul"), std::string(4, '\0'));

  TVoBufDataset loaded;
  Load(loaded, packet);
  ASSERT_EQ(loaded.RecordCount(), 1);
  EXPECT_EQ(loaded.FieldByName("s").AsString(), "abc");
  EXPECT_EQ(loaded.FieldByName("w").AsString(), "é€");
  EXPECT_EQ(loaded.FieldByName("si").AsInteger(), -2);
  EXPECT_EQ(loaded.FieldByName("wd").AsInteger(), 65535);
  EXPECT_TRUE(loaded.FieldByName("b").AsBoolean());
  EXPECT_EQ(loaded.FieldByName("f").AsFloat(), 1.5);
  EXPECT_EQ(loaded.FieldByName("cu").AsFloat(), 1.2345);
  EXPECT_EQ(loaded.FieldByName("bcd").AsString(), "2.5");
  EXPECT_EQ(loaded.FieldByName("d").AsDateTime(), 45000.0);
  EXPECT_EQ(loaded.FieldByName("li").AsInteger(), -1);
  // Blob contents do not travel: the field is there, and empty.
  EXPECT_FALSE(loaded.FieldByName("m").IsNull());
  EXPECT_EQ(loaded.FieldByName("m").AsString(), "");
  EXPECT_EQ(loaded.FieldByName("vb").AsString(), "ab");
  EXPECT_EQ(loaded.FieldByName("ai").AsInteger(), 7);
  EXPECT_TRUE(loaded.FieldByName("nul").IsNull());
  EXPECT_EQ(Save(loaded), packet);
}

TEST(BinaryPacketTest, AnyNonZeroBooleanReadsTrueAndUnpairedSurrogatesReadAsReplacement) {
  PacketBytes bytes;
  bytes.Magic().U16(2).Field("b", FieldType::ftBoolean, 0).Field("w", FieldType::ftWideString, 2);
  // Mask 0xFC: both fields hold values. 0x0200 as the truth value; a lone
  // high surrogate, then zero.
  bytes.U8(0xFE).U8(0).U8(0xFC).U16(0x0200).U16(0xD800).U16(0).U16(0);
  TVoBufDataset ds;
  Load(ds, bytes.str());
  EXPECT_TRUE(ds.FieldByName("b").AsBoolean());
  EXPECT_EQ(ds.FieldByName("w").AsString(), "\xEF\xBF\xBD");
}

// Null slots, padding and the spare mask bits never carry leftovers, so the
// same content gives the same bytes.
TEST(BinaryPacketTest, BytesAreDeterministic) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("a", FieldType::ftString, 5);
  ds.CreateDataset();
  ds.Open();
  ds.Append();
  ds.FieldByName("a").SetAsString("hello");
  ds.Post();
  ds.Edit();
  ds.FieldByName("a").Clear();
  ds.Post();
  ds.Append();
  ds.FieldByName("a").SetAsString("hi");
  ds.Post();
  const std::string first = Save(ds);
  EXPECT_EQ(Save(ds), first);
  const std::string header = PacketBytes().Magic().U16(1).Field("a", FieldType::ftString, 5).str();
  // Two insertions, the first edited to null since: its entry stays the
  // insertion, and its slot is zero where "hello" was.
  PacketBytes records;
  records.U8(0xFE).U8(4).I32(0).U8(0xFF).Padded("", 6);
  records.U8(0xFE).U8(4).I32(1).U8(0xFE).Padded("hi", 6);
  EXPECT_EQ(first, header + records.str());
}

// Values the format cannot hold whole are refused, and a file saved before
// stays as it was.
TEST(BinaryPacketTest, ValuesThatDoNotFitAreRefusedAndTheFileIsKept) {
  struct Case {
    const char* name;
    FieldType type;
    int size;
    std::function<void(db::Field&)> set;
    const char* message_part;
  };
  const std::vector<Case> cases = {
      {"zero byte in a string", FieldType::ftString, 5,
       [](db::Field& f) { f.SetAsString(std::string("a\0b", 3)); }, "holds a zero byte"},
      {"size past 16 bits", FieldType::ftString, 70000, [](db::Field& f) { f.SetAsString("x"); },
       "its size of 70000 is outside 0 to 65535"},
      {"wide text needing more units than its size", FieldType::ftWideString, 1,
       [](db::Field& f) { f.SetAsString("\xF0\x9F\x98\x80"); },
       "2 UTF-16 units pass its size of 1"},
      {"wide text that is not UTF-8", FieldType::ftWideString, 4,
       [](db::Field& f) { f.SetAsString("\xFF"); }, "not valid UTF-8"},
      {"currency past 64 bits once scaled", FieldType::ftCurrency, 0,
       [](db::Field& f) { f.SetAsFloat(1e16); }, "does not fit 64 bits"},
      {"more bytes than a 10-byte slot keeps", FieldType::ftVarBytes, 0,
       [](db::Field& f) { f.SetAsString("123456789"); }, "9 bytes pass the 8"},
  };
  rtl::testing::TempFolder dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("p.bin", "old contents");
    TVoBufDataset ds;
    ds.FieldDefs().Add("f", c.type, c.size);
    ds.CreateDataset();
    ds.Open();
    ds.Append();
    c.set(ds.Fields(0));
    ds.Post();
    try {
      ds.SaveToFile(dir.File("p.bin"));
      ADD_FAILURE() << "saved";
    } catch (const db::DatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
    EXPECT_EQ(dir.Read("p.bin"), "old contents");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"p.bin"});
  }
}

// Packets are untrusted: each of these fails cleanly and leaves the dataset
// closed with the definitions it had.
TEST(BinaryPacketTest, MalformedPacketsAreNotRecognised) {
  const std::string header = OneFieldHeader().str();
  auto rows = [&](std::function<void(PacketBytes&)> add) {
    PacketBytes bytes = OneFieldHeader();
    add(bytes);
    return bytes.str();
  };
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty stream", ""},
      {"shorter than the magic", "BinVo"},
      {"another magic", "BinVoBufDataseX" + header.substr(15)},
      {"ends inside the field count", PacketBytes().Magic().U8(1).str()},
      {"ends inside a name", PacketBytes().Magic().U16(1).I32(5).Raw("ab").str()},
      {"negative name length", PacketBytes().Magic().U16(1).I32(-1).Raw("abcd").str()},
      {"overlong name length", PacketBytes().Magic().U16(1).I32(0x7FFFFFFF).Raw("abcd").str()},
      {"type ordinal past the last type",
       PacketBytes().Magic().U16(1).Field("a", static_cast<FieldType>(40), 2).str()},
      {"empty name", PacketBytes().Magic().U16(1).Field("", FieldType::ftString, 2).str()},
      {"two fields of one name", PacketBytes()
                                     .Magic()
                                     .U16(2)
                                     .Field("a", FieldType::ftString, 2)
                                     .Field("A", FieldType::ftString, 2)
                                     .str()},
      {"ends inside the read-only byte", header.substr(0, 31)},
      {"ends inside a record image", header + std::string("\xFE\x00\xFE\x78", 4)},
      {"ends inside an update order", header + std::string("\xFE\x04\x01\x00", 4)},
      {"ends after a row state", header + std::string("\xFE\x04", 2)},
      {"negative update order", rows([](PacketBytes& b) { b.Row(4, -1, "x"); })},
      {"update order past every record", rows([](PacketBytes& b) { b.Row(4, 1 << 28, "x"); })},
      {"update order at the record count",
       rows([](PacketBytes& b) { b.Row(0, 0, "x").Row(4, 2, "y"); })},
      {"two entries at one position",
       rows([](PacketBytes& b) { b.Row(4, 0, "x").Row(2, 0, "y"); })},
      {"old image followed by an unchanged record",
       rows([](PacketBytes& b) { b.Row(1, 0, "x").Row(0, 0, "y"); })},
      {"old image at the end", rows([](PacketBytes& b) { b.Row(1, 0, "x"); })},
      {"old image followed by a stray byte",
       rows([](PacketBytes& b) { b.Row(1, 0, "x").U8(0x00); })},
      {"old image and record with different orders",
       rows([](PacketBytes& b) { b.Row(0, 0, "a").Row(1, 0, "x").Row(8, 1, "y"); })},
      {"updated record without its old image", rows([](PacketBytes& b) { b.Row(8, 0, "x"); })},
      {"original and deleted at once", rows([](PacketBytes& b) { b.Row(3, 0, "x"); })},
      {"deleted and inserted at once", rows([](PacketBytes& b) { b.Row(6, 0, "x"); })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVoBufDataset ds;
    ds.FieldDefs().Add("keep", FieldType::ftInteger);
    try {
      Load(ds, c.bytes);
      ADD_FAILURE() << "loaded";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), kNotRecognised);
    }
    EXPECT_FALSE(ds.Active());
    ASSERT_EQ(ds.FieldDefs().Count(), 1);
    EXPECT_EQ(ds.FieldDefs()[0].Name, "keep");
  }
}

TEST(BinaryPacketTest, RecordsEndAtTheFirstByteThatIsNoMarker) {
  struct Case {
    const char* name;
    std::string tail;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"stray byte", PacketBytes().Row(0, 0, "x").U8(0x00).Row(0, 0, "y").str(), {"x"}},
      {"stray byte at once", PacketBytes().U8(0x41).Row(0, 0, "y").str(), {}},
      // Bits past the four that travel are ignored, but a state that is not
      // 0 still has its order.
      {"unknown state bits", PacketBytes().Row(0x10, 7, "x").Row(0x14, 0, "y").str(), {"x", "y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVoBufDataset ds;
    Load(ds, OneFieldHeader().str() + c.tail);
    std::vector<std::string> rows;
    for (ds.First(); !ds.Eof(); ds.Next()) rows.push_back(ds.FieldByName("a").AsString());
    EXPECT_EQ(rows, c.rows);
  }
}

// A string slot without its terminator reads its Size bytes.
TEST(BinaryPacketTest, AStringSlotWithoutTerminatorReadsItsSize) {
  PacketBytes bytes = OneFieldHeader();
  bytes.U8(0xFE).U8(0).U8(0xFE).Raw("xyz");
  TVoBufDataset ds;
  Load(ds, bytes.str());
  EXPECT_EQ(ds.FieldByName("a").AsString(), "xy");
}

// A reader that knows a format of its own ("XPKT" and the binary packet after
// it) and counts what it is asked to do.
struct RegistryTest : ::testing::Test {
  void TearDown() override { ClearDatapacketReaders(); }

  static TDatapacketReaderClass PrefixedClass(int& made) {
    TDatapacketReaderClass reader_class;
    reader_class.IsPacketStream = [](std::istream& in) {
      char head[4];
      in.read(head, 4);
      return in.gcount() == 4 && std::string(head, 4) == "XPKT";
    };
    reader_class.CreateReader = [&made](std::istream& in) {
      ++made;
      in.ignore(4);
      return std::make_unique<TBinaryDatapacketReader>(in);
    };
    reader_class.CreateWriter = [&made](std::ostream& out) {
      ++made;
      out << "XPKT";
      return std::make_unique<TBinaryDatapacketReader>(out);
    };
    return reader_class;
  }
};

TEST_F(RegistryTest, SavingInAFormatWithoutReaderIsRefused) {
  TVoBufDataset ds;
  ds.FieldDefs().Add("a", FieldType::ftString, 2);
  ds.CreateDataset();
  ds.Open();
  std::ostringstream out;
  for (TDataPacketFormat format : {dfXML, dfXMLUTF8, dfAny}) {
    try {
      ds.SaveToStream(out, format);
      ADD_FAILURE() << "saved in format " << format;
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()),
                "There is no TDatapacketReaderClass registered for this kind of data-stream");
    }
  }
  EXPECT_EQ(out.str(), "");
}

TEST_F(RegistryTest, ARegisteredReaderIsAskedBeforeTheBinaryOne) {
  int made = 0;
  RegisterDatapacketReader(PrefixedClass(made), dfXML);
  TVoBufDataset ds;
  ds.FieldDefs().Add("a", FieldType::ftString, 2);
  ds.CreateDataset();
  ds.Open();
  ds.Append();
  ds.FieldByName("a").SetAsString("xy");
  ds.Post();
  std::ostringstream out;
  ds.SaveToStream(out, dfXML);
  EXPECT_EQ(made, 1);
  ASSERT_EQ(out.str().substr(0, 4), "XPKT");

  // Recognised from the stream whatever format is asked for; a binary packet
  // still loads through the built-in reader.
  TVoBufDataset loaded;
  std::istringstream in(out.str());
  loaded.LoadFromStream(in, dfAny);
  EXPECT_EQ(made, 2);
  EXPECT_EQ(loaded.FieldByName("a").AsString(), "xy");

  TVoBufDataset binary;
  Load(binary, out.str().substr(4));
  EXPECT_EQ(made, 2);
  EXPECT_EQ(binary.FieldByName("a").AsString(), "xy");
}

}  // namespace

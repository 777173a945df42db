// The text-table file: splitting, cell encoding and decoding, line ends, reading
// and writing whole tables, values that must survive any number of save/load
// cycles, and saves and loads that fail without harming the file or the set.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/vekSQL.h"
#include "engine/vekSQLTableFile.h"
#include "file_test_util.h"
#include "records_test_util.h"
#include "rtl/AtomicFile.h"
#include "testing/engine_test_util.h"

namespace vek {
namespace {

namespace fs = std::filesystem;
using testing::CellsOf;
using testing::FileNames;
using testing::MakeSet;
using testing::Strings;
using Rows = testing::CellRows;

// Shows a value with its control bytes visible, for failure messages.
std::string Visible(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 32 || c >= 127) {
      out += "<" + std::to_string(c) + ">";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

class TableFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }
  Strings FolderEntries() const { return FileNames(dir_.path()); }

  // Saves and loads `set` `cycles` times through one file; returns the last load.
  TvekRecordSet Cycle(const TvekRecordSet& set, int cycles) {
    TvekRecordSet current = set;
    for (int i = 0; i < cycles; ++i) {
      const std::string path = PathOf("t.txt");
      EXPECT_TRUE(current.SaveToFile(path).ok());
      TvekRecordSet next;
      bool loaded = false;
      EXPECT_TRUE(next.LoadFromFile(path, loaded).ok());
      EXPECT_TRUE(loaded);
      current = std::move(next);
    }
    return current;
  }

  testing::TempFolder dir_;
};

// ---- Splitting -------------------------------------------------------------------

TEST(SplitText, CutsAtSeparatorsOutsideQuotedStretches) {
  struct Case {
    const char* name;
    std::string text;
    Strings pieces;
  } cases[] = {
      {"empty text", "", {}},
      {"lone separator", ";", {"", ""}},
      {"trailing separator", "a;b;", {"a", "b", ""}},
      {"adjacent separators", "a;;b", {"a", "", "b"}},
      {"blanks stay", " a ; b ", {" a ", " b "}},
      {"apostrophe stretch", "'a;b';c", {"'a;b'", "c"}},
      {"backtick stretch", "`a;b`;c", {"`a;b`", "c"}},
      {"apostrophe inside double quotes", "\"it's;x\";y", {"\"it's;x\"", "y"}},
      {"double quote inside apostrophes", "'a\";b';c", {"'a\";b'", "c"}},
      {"stretch opened inside a piece", "a'b;c'd;e", {"a'b;c'd", "e"}},
      {"unclosed stretch runs to the end", "a;\"b;c;d", {"a", "\"b;c;d"}},
      {"escaped quote inside double quotes",
       "\"say \\\"hi\\\";x\";y",
       {"\"say \\\"hi\\\";x\"", "y"}},
      {"escaped backslash before the closing quote", "\"a\\\\\";b", {"\"a\\\\\"", "b"}},
      {"backslash at the end of an open stretch", "\"x\\", {"\"x\\"}},
      {"backslash plain in apostrophes", "'x\\'; COMMIT", {"'x\\'", " COMMIT"}},
      {"backslash plain in backticks", "`x\\`;y", {"`x\\`", "y"}},
      {"backslash plain outside stretches", "a\\;b", {"a\\", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Strings pieces = {"left over"};
    SplitText(c.text, pieces);
    EXPECT_EQ(pieces, c.pieces);
  }
}

TEST(SplitText, JoinTextPutsOneSeparatorBetweenEveryTwo) {
  EXPECT_EQ(JoinText({}), "");
  EXPECT_EQ(JoinText({""}), "");
  EXPECT_EQ(JoinText({"", ""}), ";");
  EXPECT_EQ(JoinText({"a", "", "b;c"}), "a;;b;c");
}

// ---- Cell encoding -------------------------------------------------------------------

TEST(CellEncoding, EncodesEscapesAndQuotes) {
  struct Case {
    const char* name;
    std::string value, written;
  } cases[] = {
      {"empty", "", ""},
      {"plain", "abc 1.5", "abc 1.5"},
      {"separator", "a;b", "\"a;b\""},
      {"apostrophe", "it's", "\"it's\""},
      {"backtick", "a`b", "\"a`b\""},
      {"line break", "a\r\nb", "a\\n\\lb"},
      {"tab and NUL", std::string("a\tb\0c", 5), "a\\tb\\0c"},
      {"double quotes", "say \"hi\"", "\"say \\\"hi\\\"\""},
      {"backslash", "C:\\dir", "C:\\\\dir"},
      {"backslash before the closing quote", "a;\\", "\"a;\\\\\""},
      {"slash is plain", "a/b//c", "a/b//c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeCell(c.value), c.written);
    std::string appended = "x;";
    EncodeCell(c.value, appended);
    EXPECT_EQ(appended, "x;" + c.written);
  }
}

TEST(CellEncoding, DecodesQuotesAndEscapes) {
  struct Case {
    const char* name;
    std::string piece, value;
  } cases[] = {
      {"two double quotes", "\"\"", ""},
      {"one double quote", "\"", "\""},
      {"mismatched quotes", "'a\"", "'a\""},
      {"quote on one side", "x\"", "x\""},
      {"double quoted", "\"a;b\"", "a;b"},
      {"apostrophes", "'a'", "a"},
      {"backticks", "`a`", "a"},
      {"only one pair is stripped", "\"\"a\"\"", "\"a\""},
      {"blanks stay", "\" a \"", " a "},
      {"escaped quotes", "\"say \\\"hi\\\"\"", "say \"hi\""},
      {"every escape", "a\\nb\\lc\\td\\0e\\\\f", std::string("a\rb\nc\td\0e\\f", 11)},
      {"unknown escape stays", "a\\x", "a\\x"},
      {"backslash at the end stays", "a\\", "a\\"},
      {"escaped backslash then n", "\\\\n", "\\n"},
      {"unknown escape then a real one", "\\q\\n", "\\q\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeCell(c.piece), c.value);
  }
}

TEST(CellEncoding, RowsAsFileLines) {
  TvekRecord row;
  row.SetRow("1;\"a;b\";;x\\ly;'q'");
  ASSERT_EQ(row.FieldCount(), 5);
  EXPECT_EQ(row.Cell(1), "a;b");
  EXPECT_EQ(row.Cell(2), "");
  EXPECT_EQ(row.Cell(3), "x\ny");
  EXPECT_EQ(row.Cell(4), "q");
  EXPECT_EQ(row.GetRow(), "1;\"a;b\";;x\\ly;q");

  row.SetRow("");
  EXPECT_EQ(row.FieldCount(), 0);
  EXPECT_EQ(row.GetRow(), "");
}

// ---- Reading -----------------------------------------------------------------------------

TEST_F(TableFileTest, LineEnds) {
  struct Case {
    const char* name;
    std::string file;
    Strings names;
    Rows rows;
  } cases[] = {
      {"line feeds", "a;b\n1;2\n3;4\n", {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
      {"carriage returns", "a;b\r1;2\r3;4\r", {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
      {"CR LF", "a;b\r\n1;2\r\n3;4\r\n", {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
      {"last line without line end", "a;b\n1;2\n3;4", {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
      {"LF CR ends two lines", "a;b\n\r1;2\n", {"a", "b"}, {{}, {"1", "2"}}},
      {"blank line in the middle", "a;b\n1;2\n\n3;4\n", {"a", "b"}, {{"1", "2"}, {}, {"3", "4"}}},
      {"blank last line", "a;b\n1;2\n\n", {"a", "b"}, {{"1", "2"}, {}}},
      {"header only without line end", "a;b", {"a", "b"}, {}},
      {"one empty line", "\n", {}, {}},
      {"short and long rows", "a;b\n1\n1;2;3\n", {"a", "b"}, {{"1"}, {"1", "2", "3"}}},
      {"quoted names keep their quotes", "\"a\";'b;c'\n1\n", {"\"a\"", "'b;c'"}, {{"1"}}},
      {"escapes in names are not decoded", "a\\n;b\n", {"a\\n", "b"}, {}},
      {"byte order mark joins the first name", "\xEF\xBB\xBFid;x\n", {"\xEF\xBB\xBFid", "x"}, {}},
      {"LF then CR LF", "a\n\r\nxyz\r\n\r\n", {"a"}, {{}, {"xyz"}, {}}},
      {"a line longer than a piece", "h\nabcdefghijklmnopqrstuvwxyz;0123456789\r\nq",
       {"h"}, {{"abcdefghijklmnopqrstuvwxyz", "0123456789"}, {"q"}}},
  };
  // The file is read a piece at a time: every piece size, down to pieces that
  // end between the CR and the LF of a line end, reads the same lines.
  const std::size_t pieces[] = {std::size_t{4} << 20, 2, 3, 4, 5, 7, 11};
  for (const Case& c : cases) {
    for (std::size_t piece : pieces) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      dir_.Write("t.txt", c.file);
      TvekRecordSet set;
      bool loaded = false;
      ASSERT_TRUE(set.LoadFromFile(PathOf("t.txt"), loaded, piece).ok());
      EXPECT_TRUE(loaded);
      EXPECT_EQ(set.FieldNames, c.names);
      EXPECT_EQ(CellsOf(set), c.rows);
    }
  }
}

// Lines without quotes or backslashes are cut by a faster path than the others.
// Random lines mixing both kinds, with separators and specials on every side of
// a 16-byte boundary, must read exactly as the splitter and decoder read them.
// The file is large enough (2.5 MB) for its pieces to be cut on worker threads
// where the process may use more than one processor.
TEST_F(TableFileTest, EveryLineReadsAsTheSplitterReadsIt) {
  std::mt19937 random(20261211);
  const std::string alphabet("abcdefghij;;;;\"'`\\\t ", 20);
  const char* const line_ends[] = {"\n", "\r", "\r\n"};
  std::string file = "h\n";
  Strings lines;
  for (int r = 0; r < 70000; ++r) {
    std::string line(random() % 70, ' ');
    // Most lines are plain, as in real tables.
    const std::size_t letters = random() % 3 == 0 ? alphabet.size() : 14;
    for (char& c : line) c = alphabet[random() % letters];
    lines.push_back(line);
    file += line;
    file += line_ends[random() % 3];
  }
  // A CR ending a blank-free line before an empty line would merge with the
  // next LF, so the expected lines are cut from the file text itself.
  Strings expected_lines;
  for (std::size_t p = 2; p < file.size();) {
    const std::size_t e = file.find_first_of("\r\n", p);
    expected_lines.push_back(file.substr(p, e - p));
    p = file[e] == '\r' && e + 1 < file.size() && file[e + 1] == '\n' ? e + 2 : e + 1;
  }
  Rows expected;
  for (const std::string& line : expected_lines) {
    TvekRecord row;
    row.SetRow(line);
    Strings cells;
    for (int i = 0; i < row.FieldCount(); ++i) cells.emplace_back(row.Cell(i));
    expected.push_back(cells);
  }
  dir_.Write("t.txt", file);
  for (std::size_t piece : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{61}}) {
    SCOPED_TRACE(piece);
    TvekRecordSet set;
    bool loaded = false;
    ASSERT_TRUE(set.LoadFromFile(PathOf("t.txt"), loaded, piece).ok());
    const Rows read = CellsOf(set);
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t r = 0; r < read.size(); ++r) {
      ASSERT_EQ(read[r], expected[r]) << "line " << r << ": " << Visible(expected_lines[r]);
    }
  }
}

TEST_F(TableFileTest, BlankLineIsARowWithoutCells) {
  dir_.Write("t.txt", "a;b\n\n");
  TvekRecordSet set;
  bool loaded = false;
  ASSERT_TRUE(set.LoadFromFile(PathOf("t.txt"), loaded).ok());
  ASSERT_EQ(set.RecordCount(), 1);
  EXPECT_EQ(set.Records[0].Cell(1), "");
  try {
    set.Records[0].GetField(0);
    ADD_FAILURE() << "no exception";
  } catch (const EFieldCount& e) {
    EXPECT_STREQ(e.what(), "fieldcount:0");
  }
}

TEST_F(TableFileTest, MissingEmptyAndUnreadableFiles) {
  const TvekRecordSet before = MakeSet({"x"}, {{"1"}, {"2"}});
  dir_.Write("empty.txt", "");
  dir_.Write("file", "a\n");
  fs::create_directory(PathOf("folder.txt"));
  struct Case {
    const char* name;
    std::string path;
    bool ok;
    Strings names;
    Rows rows;
  } cases[] = {
      {"missing file", PathOf("none.txt"), true, {"x"}, {{"1"}, {"2"}}},
      {"missing folder", PathOf("none/t.txt"), true, {"x"}, {{"1"}, {"2"}}},
      {"a file where a folder should be", PathOf("file/t.txt"), true, {"x"}, {{"1"}, {"2"}}},
      {"empty file empties the set", PathOf("empty.txt"), true, {}, {}},
      {"a folder cannot be read", PathOf("folder.txt"), false, {"x"}, {{"1"}, {"2"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = before;
    bool loaded = true;
    const Status status = set.LoadFromFile(c.path, loaded);
    EXPECT_EQ(status.ok(), c.ok);
    if (!c.ok) {
      EXPECT_NE(status.message().find(c.path), std::string::npos) << status.message();
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(set.FieldNames, c.names);
    EXPECT_EQ(CellsOf(set), c.rows);
  }
}

// A named pipe would block the reader and a device behind a link would never
// end: both are refused before a byte is read, and the set stays as it was.
TEST_F(TableFileTest, OnlyRegularFilesAreRead) {
  ASSERT_EQ(::mkfifo(PathOf("pipe.txt").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", PathOf("zero.txt"));
  fs::create_symlink("/dev/urandom", PathOf("random.txt"));
  dir_.Write("real", "a\n1\n");
  fs::create_symlink("real", PathOf("link.txt"));
  for (const char* name : {"pipe.txt", "zero.txt", "random.txt"}) {
    SCOPED_TRACE(name);
    TvekRecordSet set = MakeSet({"x"}, {{"1"}});
    bool loaded = true;
    const Status status = set.LoadFromFile(PathOf(name), loaded);
    EXPECT_EQ(status.message(), "Could not read file " + PathOf(name) + ": not a regular file");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(CellsOf(set), (Rows{{"1"}}));
  }
  // A link to a regular file is read as that file.
  TvekRecordSet set;
  bool loaded = false;
  ASSERT_TRUE(set.LoadFromFile(PathOf("link.txt"), loaded).ok());
  EXPECT_TRUE(loaded);
  EXPECT_EQ(CellsOf(set), (Rows{{"1"}}));
}

TEST_F(TableFileTest, LoadingKeepsNameFlagsAndFileName) {
  dir_.Write("t.txt", "a\n1\n");
  TvekRecordSet set = MakeSet({"old"}, {{"x"}});
  set.Name = "T";
  set.Persistent = true;
  set.Modified = true;
  set.IsVariable = true;
  set.FileName = "/elsewhere/T.txt";
  bool loaded = false;
  ASSERT_TRUE(set.LoadFromFile(PathOf("t.txt"), loaded).ok());
  EXPECT_TRUE(loaded);
  EXPECT_EQ(CellsOf(set), (Rows{{"1"}}));
  EXPECT_EQ(set.Name, "T");
  EXPECT_TRUE(set.Persistent);
  EXPECT_TRUE(set.Modified);
  EXPECT_TRUE(set.IsVariable);
  EXPECT_EQ(set.FileName, "/elsewhere/T.txt");
}

// ---- Writing -----------------------------------------------------------------------

TEST_F(TableFileTest, WritesNamesAsTheyAreAndALineFeedAfterEveryLine) {
  const TvekRecordSet set =
      MakeSet({"a;b", "\"c\""}, {{"1", "x;y"}, {}, {""}, {"", ""}, {"it's", "a\r\nb"}});
  ASSERT_TRUE(set.SaveToFile(PathOf("t.txt")).ok());
  EXPECT_EQ(dir_.Read("t.txt"), "a;b;\"c\"\n1;\"x;y\"\n\n\n;\n\"it's\";a\\n\\lb\n");
  EXPECT_EQ(FolderEntries(), Strings{"t.txt"});
}

// Many rows are written in batches, turned into text side by side where the
// process may use several processors: every line still comes in its place.
TEST_F(TableFileTest, ManyRowsAreWrittenInTheirOrder) {
  Rows rows;
  std::string expected = "id;text\n";
  for (int i = 0; i < 300000; ++i) {
    const std::string id = std::to_string(i);
    const bool encoded = i % 1013 == 0;
    rows.push_back({id, encoded ? "a;" + id : "v" + id});
    expected += id + ";" + (encoded ? "\"a;" + id + "\"" : "v" + id) + "\n";
  }
  ASSERT_TRUE(MakeSet({"id", "text"}, rows).SaveToFile(PathOf("t.txt")).ok());
  EXPECT_EQ(dir_.Read("t.txt"), expected);
}

// Files whose values hold no separator, quote, backslash or control character
// come back byte for byte, and so do the quoted values an older writer left.
TEST_F(TableFileTest, PlainFilesAreRewrittenByteIdentically) {
  const char* files[] = {
      "id;name;price\n1;Bread;2.50\n2;;\n\n3;Milk\n4;a;b;c;d\n",
      "h\n\n\n",
      "a b;c\n  spaced  ;x\n;\n",
      "\"q\";r;s\n1;2;3\n",
      "a;b\n\"x;y\";\"it's\"\n\"a`b\";\n",
      "name\n\xC3\xA9t\xC3\xA9\n",
  };
  for (const char* file : files) {
    SCOPED_TRACE(Visible(file));
    dir_.Write("t.txt", file);
    TvekRecordSet set;
    bool loaded = false;
    ASSERT_TRUE(set.LoadFromFile(PathOf("t.txt"), loaded).ok());
    ASSERT_TRUE(set.SaveToFile(PathOf("t.txt")).ok());
    EXPECT_EQ(dir_.Read("t.txt"), file);
  }
}

TEST_F(TableFileTest, ValuesSurviveSaveLoadCycles) {
  const Strings values = {
      "",
      "plain",
      ";",
      ";;",
      "\"",
      "'",
      "`",
      "\\",
      "\\\\",
      "\\\"",
      "\"\"",
      "''",
      "``",
      "a\\",
      "\\n",
      "\\l",
      "\\0",
      "\\x",
      "\r",
      "\n",
      "\r\n",
      "\n\r",
      "\t",
      " ",
      "a\";b",
      "say \"hi\"",
      "'x\\'",
      "\"a;\\\"",
      "C:\\new\\table",
      std::string(1, '\0'),
      std::string("\\\0\"", 3),
      std::string(40, '"'),
      "`;'\";\\\r\n\t",
  };
  TvekRecordSet set;
  set.FieldNames = {"k", "v", "w"};
  for (const std::string& value : values) {
    TvekRecord& row = set.Records.emplace_back();
    row.AddField("k");
    row.AddField(value);
    row.AddField(value + ";" + value);
  }
  TvekRecordSet once = Cycle(set, 1);
  const std::string first_file = dir_.Read("t.txt");
  TvekRecordSet thrice = Cycle(set, 3);
  EXPECT_EQ(dir_.Read("t.txt"), first_file);
  for (const TvekRecordSet* read : {&once, &thrice}) {
    ASSERT_EQ(read->RecordCount(), set.RecordCount());
    for (int i = 0; i < set.RecordCount(); ++i) {
      SCOPED_TRACE(Visible(values[i]));
      EXPECT_EQ(read->Records[i].Cell(1), values[i]);
      EXPECT_EQ(read->Records[i].Cell(2), values[i] + ";" + values[i]);
      EXPECT_EQ(read->Records[i].FieldCount(), 3);
    }
  }
}

TEST_F(TableFileTest, RandomBytesSurviveSaveLoadCycles) {
  std::mt19937 random(20240501);
  const std::string specials("\\\"'`;\r\n\t\0 an", 13);
  auto random_value = [&] {
    std::string value(random() % 24, ' ');
    for (char& c : value) {
      c = random() % 2 ? specials[random() % specials.size()] : static_cast<char>(random() % 256);
    }
    return value;
  };
  TvekRecordSet set;
  set.FieldNames = {"a", "b", "c", "d", "e"};
  for (int r = 0; r < 400; ++r) {
    TvekRecord& row = set.Records.emplace_back();
    for (int c = 0; c < 5; ++c) row.AddField(random_value());
  }
  const TvekRecordSet read = Cycle(set, 3);
  ASSERT_EQ(read.RecordCount(), set.RecordCount());
  for (int r = 0; r < set.RecordCount(); ++r) {
    for (int c = 0; c < 5; ++c) {
      ASSERT_EQ(read.Records[r].Cell(c), set.Records[r].Cell(c))
          << "row " << r << " cell " << c << ": " << Visible(set.Records[r].Cell(c));
    }
    ASSERT_EQ(read.Records[r].FieldCount(), 5) << "row " << r;
  }
}

// A table larger than one write chunk, with long cells, comes back whole.
// Pieces cut on any number of workers come out in the file's order, the
// header's names with the first, whatever the pieces' size.
TEST_F(TableFileTest, PiecesComeOutInOrderWithAnyNumberOfWorkers) {
  std::string file = "a;b\r\n";
  Rows expected;
  for (int r = 0; r < 5000; ++r) {
    expected.push_back({std::to_string(r), std::string(static_cast<std::size_t>(r % 23), 'x')});
    file += expected.back()[0] + ";" + expected.back()[1] + (r % 3 == 0 ? "\r\n" : "\n");
  }
  dir_.Write("t.txt", file);
  for (int workers : {0, 1, 3}) {
    for (std::size_t piece : {std::size_t{7}, std::size_t{61}, std::size_t{4096}}) {
      SCOPED_TRACE(std::to_string(workers) + " workers, pieces of " + std::to_string(piece));
      TableFileReader reader;
      bool missing = true;
      ASSERT_TRUE(reader.Open(PathOf("t.txt"), piece, missing).ok());
      ASSERT_FALSE(missing);
      TableFileRows pieces(reader, workers);
      TvekRecordSet all;
      for (;;) {
        RecordSetPtr rows;
        ASSERT_TRUE(pieces.Next(rows).ok());
        if (rows == nullptr) break;
        if (all.FieldNames.empty()) all.FieldNames = rows->FieldNames;
        for (const TvekRecord& row : rows->Records) all.AppendRow(row);
      }
      EXPECT_TRUE(pieces.HeaderSeen());
      EXPECT_EQ(pieces.BytesCut(), file.size());
      EXPECT_EQ(all.FieldNames, Strings({"a", "b"}));
      EXPECT_EQ(CellsOf(all), expected);
    }
  }
}

TEST_F(TableFileTest, LargeTableRoundTrip) {
  TvekRecordSet set;
  set.FieldNames = {"id", "text"};
  for (int r = 0; r < 30000; ++r) {
    TvekRecord& row = set.Records.emplace_back();
    row.AddField(std::to_string(r));
    row.AddField(std::string(static_cast<std::size_t>(r % 97), static_cast<char>('a' + r % 26)) +
                 (r % 5 == 0 ? ";\n" : ""));
  }
  const TvekRecordSet read = Cycle(set, 1);
  EXPECT_EQ(CellsOf(read), CellsOf(set));
}

TEST_F(TableFileTest, SavingKeepsThePermissionBits) {
  for (fs::perms bits : {fs::perms(0640), fs::perms(0604), fs::perms(0755)}) {
    SCOPED_TRACE(static_cast<int>(bits));
    dir_.Write("t.txt", "old\n");
    fs::permissions(PathOf("t.txt"), bits);
    ASSERT_TRUE(MakeSet({"new"}, {{"1"}}).SaveToFile(PathOf("t.txt")).ok());
    EXPECT_EQ(dir_.Read("t.txt"), "new\n1\n");
    EXPECT_EQ(fs::status(PathOf("t.txt")).permissions(), bits);
  }
}

// A save killed part way leaves its temporary file; the next save of that
// table removes it, and nothing else.
TEST_F(TableFileTest, ASaveRemovesTheTemporaryFilesOfKilledSaves) {
  dir_.Write("t.txt", "old\n");
  const std::string prefix = rtl::AtomicFileWriter::TemporaryPrefix(PathOf("t.txt"));
  const std::string other = rtl::AtomicFileWriter::TemporaryPrefix(PathOf("u.txt"));
  const std::string killed = prefix.substr(prefix.rfind('/') + 1) + "4d2.0";
  const std::string others = other.substr(other.rfind('/') + 1) + "4d2.0";
  dir_.Write(killed, "half");
  dir_.Write(others, "half");
  dir_.Write("t.txt.tmp", "mine");
  const std::string lookalike = prefix.substr(prefix.rfind('/') + 1) + "keep";
  dir_.Write(lookalike, "mine");
  ASSERT_TRUE(MakeSet({"new"}, {{"1"}}).SaveToFile(PathOf("t.txt")).ok());
  EXPECT_EQ(dir_.Read("t.txt"), "new\n1\n");
  EXPECT_EQ(FolderEntries(), (Strings{"t.txt", "t.txt.tmp", lookalike, others}));
}

// The temporary file's name fits the file system wherever the table's does.
TEST_F(TableFileTest, TheLongestFileNameStillSaves) {
  const std::string name = std::string(NAME_MAX - 4, 'n') + ".txt";
  ASSERT_TRUE(MakeSet({"a"}, {{"1"}}).SaveToFile(PathOf(name)).ok());
  ASSERT_TRUE(MakeSet({"a"}, {{"2"}}).SaveToFile(PathOf(name)).ok());
  EXPECT_EQ(dir_.Read(name), "a\n2\n");
  EXPECT_EQ(FolderEntries(), Strings{name});
}

TEST_F(TableFileTest, FailedSavesLeaveTheOldFile) {
  fs::create_directory(PathOf("folder.txt"));
  dir_.Write("folder.txt/inside", "kept");
  const TvekRecordSet set = MakeSet({"a"}, {{"1"}});

  const Status missing = set.SaveToFile(PathOf("none/t.txt"));
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find(PathOf("none/t.txt")), std::string::npos) << missing.message();

  // The rename over a folder fails after the temporary file was written.
  const Status over_folder = set.SaveToFile(PathOf("folder.txt"));
  EXPECT_FALSE(over_folder.ok());
  EXPECT_NE(over_folder.message().find("folder.txt"), std::string::npos);
  EXPECT_EQ(dir_.Read("folder.txt/inside"), "kept");
  EXPECT_EQ(FolderEntries(), Strings{"folder.txt"});
}

// Folder and file permissions: run without privileges, so that they bind for
// root too.
TEST_F(TableFileTest, ReadOnlyFolderKeepsTheOldFile) {
  fs::permissions(dir_.path(), fs::perms(0555));
  dir_.Write("t.txt", "old\n1\n");
  const std::string message = testing::WithoutPrivileges([&] {
    const Status status = MakeSet({"a"}, {{"2"}}).SaveToFile(PathOf("t.txt"));
    return status.ok() ? std::string("saved") : status.message();
  });
  fs::permissions(dir_.path(), fs::perms(0755));
  EXPECT_EQ(message, "Could not write file " + PathOf("t.txt") + ": Permission denied");
  EXPECT_EQ(dir_.Read("t.txt"), "old\n1\n");
  EXPECT_EQ(FolderEntries(), Strings{"t.txt"});
}

TEST_F(TableFileTest, UnreadableFileLeavesTheSetAsItWas) {
  fs::permissions(dir_.path(), fs::perms(0755));
  dir_.Write("t.txt", "a\n1\n");
  fs::permissions(PathOf("t.txt"), fs::perms::none);
  const std::string outcome = testing::WithoutPrivileges([&] {
    TvekRecordSet set = MakeSet({"x", "y"}, {{"1", "2"}});
    bool loaded = true;
    const Status status = set.LoadFromFile(PathOf("t.txt"), loaded);
    return (status.ok() ? std::string("ok") : status.message()) + (loaded ? " loaded " : " ") +
           set.FieldList() + " " + std::to_string(set.RecordCount());
  });
  EXPECT_EQ(outcome, "Could not open file " + PathOf("t.txt") + ": Permission denied x;y 1");
}

// A write that fails half way (here: a file-size limit, which holds for root too)
// reports the error and leaves the old file as it was, with no temporary beside it.
TEST_F(TableFileTest, FailedWriteLeavesTheOldFile) {
  dir_.Write("t.txt", "old\n1\n");
  TvekRecordSet set;
  set.FieldNames = {"a"};
  for (int r = 0; r < 2000; ++r) set.Records.emplace_back().AddField(std::string(50, 'x'));

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status status = set.SaveToFile(PathOf("t.txt"));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(PathOf("t.txt")), std::string::npos) << status.message();
  EXPECT_EQ(dir_.Read("t.txt"), "old\n1\n");
  EXPECT_EQ(FolderEntries(), Strings{"t.txt"});
}

}  // namespace
}  // namespace vek

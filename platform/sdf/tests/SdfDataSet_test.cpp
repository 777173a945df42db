// The delimited-text reader: how lines split into rows, how quotes group values,
// what the header line gives as columns and sizes, what a file without a header
// gives, rows cut by other rules, rows handed out without being kept, rows
// read again from the file a block at a time, and how missing or unreadable
// files fail.
#include "sdf/SdfDataSet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <string>
#include <thread>
#include <vector>

#include "db/DatabaseError.h"
#include "testing/Privileges.h"
#include "testing/temp_folder.h"

namespace {

using namespace std::string_literals;
using Row = std::vector<std::optional<std::string>>;
constexpr std::nullopt_t null = std::nullopt;

// A value as the tests compare it: a text of its own, or null.
std::optional<std::string> Text(std::optional<std::string_view> value) {
  if (!value) return null;
  return std::string(*value);
}

using rtl::testing::TempFolder;

class SdfDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    // What the program sets before every read.
    reader_.SetFirstLineAsSchema(true);
    reader_.SetDelimiter(';');
    reader_.SetFileMustExist(false);
  }

  // Writes `bytes` to a table file and opens the reader on it (closing it first).
  void Load(const std::string& bytes, const std::string& name = "t.txt") {
    dir_.Write(name, bytes);
    reader_.Close();
    reader_.SetFileName(dir_.File(name));
    reader_.Open();
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < reader_.FieldDefCount(); ++i) names.push_back(reader_.FieldName(i));
    return names;
  }
  std::vector<int> Sizes() const {
    std::vector<int> sizes;
    for (int i = 0; i < reader_.FieldDefCount(); ++i) sizes.push_back(reader_.FieldSize(i));
    return sizes;
  }
  // Every row, walked the way the program copies them.
  std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (reader_.First(); !reader_.Eof(); reader_.Next()) {
      Row row;
      for (int i = 0; i < reader_.FieldDefCount(); ++i) row.push_back(Text(reader_.Value(i)));
      rows.push_back(row);
    }
    return rows;
  }

  // Every row as VisitRows hands them out, `width` values each.
  std::vector<Row> Visited(std::size_t width) {
    std::vector<Row> rows;
    reader_.VisitRows([&](std::span<const std::string_view> values) {
      Row row(width, null);
      for (std::size_t i = 0; i < values.size(); ++i) row.at(i) = std::string(values[i]);
      rows.push_back(row);
    });
    return rows;
  }

  TempFolder dir_;
  sdf::TSdfDataSet reader_;
};

// One row line under the header "a;b;c".
TEST_F(SdfDataSetTest, RowLineSplitsIntoValues) {
  struct Case {
    std::string line;
    Row expected;
  };
  const std::vector<Case> cases = {
      {"1;2;3", {"1", "2", "3"}},
      // Quotes group a value; the delimiter inside stays part of it.
      {"1;\"x;y\";3", {"1", "x;y", "3"}},
      {"\"x;y\"", {"x;y", null, null}},
      // No unescaping: doubled quotes and backslashes stay as written.
      {"\"a\"\"b\";2;3", {"a\"\"b", "2", "3"}},
      {"\"a\\nb\";2", {"a\\nb", "2", null}},
      {"\"\";x", {"", "x", null}},
      // A quote followed by anything but the delimiter or the end does not
      // close: the value closes at a later quote, or never.
      {"\"ab\"x\";c", {"ab\"x", "c", null}},
      {"\"ab\"x;c", {"\"ab\"x;c", null, null}},
      {"\"a\" ;b", {"\"a\" ;b", null, null}},
      // Unclosed: the rest of the line, quote and delimiters included, goes to
      // this column and the later ones are null.
      {"\"open;2;3", {"\"open;2;3", null, null}},
      {"1;\"open;3", {"1", "\"open;3", null}},
      {"\"", {"\"", null, null}},
      // Short rows leave nulls, long rows drop the extra values.
      {"1;2", {"1", "2", null}},
      {"1", {"1", null, null}},
      {"1;2;3;4;5", {"1", "2", "3"}},
      // A delimiter (plus blanks) at the end: the line ends before the next column.
      {"1;", {"1", null, null}},
      {"1; \t", {"1", null, null}},
      // Between two delimiters there is a value, empty but not null.
      {"1;;3", {"1", "", "3"}},
      {"1;  ;3", {"1", "", "3"}},
      {";;", {"", "", null}},
      // Leading blanks and control bytes skipped; trailing spaces removed, tabs kept.
      {"  x  ;\ty\t;\x01\x1fz ", {"x", "y\t", "z"}},
      {"\"ab  \";\"  \";\"  c\"", {"ab", "", "  c"}},
      {"\"open  ", {"\"open", null, null}},
      // Byte 0 is content, not a blank; high bytes are copied unchanged.
      {"\0x;\0"s, {"\0x"s, "\0"s, null}},
      {"\xC3\xA9\xFF;b", {"\xC3\xA9\xFF", "b", null}},
      // Empty and blank lines are rows of nulls.
      {"", {null, null, null}},
      {"   \t ", {null, null, null}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line: " + c.line);
    Load("a;b;c\n" + c.line + "\n");
    ASSERT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Rows(), std::vector<Row>{c.expected});
  }
}

TEST_F(SdfDataSetTest, LinesSplitAtEveryKindOfBreak) {
  struct Case {
    std::string bytes;
    std::vector<Row> rows;
    int record_count;
  };
  const std::vector<Case> cases = {
      {"h", {}, 1},
      {"h\n", {}, 1},  // a final break adds no line
      {"h\r\n", {}, 1},
      {"h\nA\r\nB\rC", {{"A"}, {"B"}, {"C"}}, 4},
      {"h\nA\n", {{"A"}}, 2},
      {"h\nA\n\n", {{"A"}, {null}}, 3},
      {"h\r\n\r\nA", {{null}, {"A"}}, 3},
      {"h\r\rA\r\n", {{null}, {"A"}}, 3},
      {"h\n\r", {{null}}, 2},  // LF then CR: two breaks, not one
      {"h\n\r\n\n", {{null}, {null}}, 3},
  };
  for (bool from_file : {false, true}) {
    reader_.SetRowsFromFile(from_file);
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.bytes) + (from_file ? " from the file" : " held"));
      Load(c.bytes);
      EXPECT_EQ(Names(), std::vector<std::string>{"h"});
      EXPECT_EQ(Rows(), c.rows);
      EXPECT_EQ(reader_.RecordCount(), c.record_count);
      Load(c.bytes);
      EXPECT_EQ(Visited(1), c.rows);
    }
  }
}

TEST_F(SdfDataSetTest, HeaderGivesColumnNamesAndSizes) {
  struct Case {
    std::string bytes;
    std::vector<std::string> names;
    std::vector<int> sizes;
    std::vector<Row> rows;
  };
  const std::vector<Case> cases = {
      // Sizes default to the longest line in bytes, header included, breaks not.
      {"a;b\r\n12345\r\n1", {"a", "b"}, {5, 5}, {{"12345", null}, {"1", null}}},
      {"long_header;b\n1;2", {"long_header", "b"}, {13, 13}, {{"1", "2"}}},
      // Empty names are dropped and the values are assigned by position.
      {"a;;b\n1;2;3", {"a", "b"}, {5, 5}, {{"1", "2"}}},
      {"a;b;\n1;2;3", {"a", "b"}, {5, 5}, {{"1", "2"}}},
      {"\t\x01;a; ;b\n", {"a", "b"}, {8, 8}, {}},
      // Names are trimmed; a quoted one ends at the next quote and the rest up
      // to the delimiter is ignored.
      {"  x  ;\" y \";\"z\"junk;w", {"x", "y", "z", "w"}, {21, 21, 21, 21}, {}},
      {"\"a;b\";c", {"a;b", "c"}, {7, 7}, {}},
      // An unclosed quote makes the rest of the line the last name.
      {"a;\"b;c", {"a", "\"b;c"}, {6, 6}, {}},
      // "=" splits off a size when the rest reads as a whole number.
      {"a=10;b=abc;c=$10;d=-1;e= 7;f=1=2\n1",
       {"a", "b", "c", "d", "e", "f"},
       {10, 32, 16, 32, 7, 32},
       {{"1", null, null, null, null, null}}},
      {"a=0;b=99999999999", {"a", "b"}, {0, 17}, {}},
      // The split is made on the trimmed name as it stands.
      {"a =5;=3;b", {"a ", "", "b"}, {5, 3, 9}, {}},
      // A header of delimiters only names no column at all.
      {";;\nx", {}, {}, {{}}},
      // A NUL is a control character: trimmed from names like a blank.
      {"\0a\0;b\n1"s, {"a", "b"}, {5, 5}, {{"1", null}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    Load(c.bytes);
    EXPECT_EQ(Names(), c.names);
    EXPECT_EQ(Sizes(), c.sizes);
    EXPECT_EQ(Rows(), c.rows);
  }
}

TEST_F(SdfDataSetTest, DuplicateNamesFailAndKeepTheEarlierColumns) {
  Load("x=3;y\n1;2");
  ASSERT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
  struct Case {
    std::string header;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"Id;name;ID", "Duplicate name 'ID' in TFieldDefs"},
      {"a=5;b;A=6", "Duplicate name 'A' in TFieldDefs"},  // compared without the size
      {" a ;\"A\"", "Duplicate name 'A' in TFieldDefs"},  // compared after trimming
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    dir_.Write("dup.txt", c.header + "\nv;w;z\n");
    reader_.Close();
    reader_.SetFileName(dir_.File("dup.txt"));
    try {
      reader_.Open();
      ADD_FAILURE() << "no error";
    } catch (const db::DatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_FALSE(reader_.Active());
    EXPECT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(Sizes(), (std::vector<int>{3, 5}));
    EXPECT_EQ(reader_.RecordCount(), 0);
  }
  // Names that only differ beyond ASCII count as the same under the locale.
  const char* old_locale = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old_locale ? old_locale : "C";
  if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) {
    dir_.Write("dup.txt", "\xC3\x84;\xC3\xA4\n");  // "Ä" and "ä"
    EXPECT_THROW(reader_.Open(), db::DatabaseError);
    std::setlocale(LC_ALL, saved.c_str());
  }
}

// A file read for its header that has none has no columns: the names of the
// file read before belong to another table, and a save would write them over
// this one.
TEST_F(SdfDataSetTest, FileWithoutHeaderHasNoColumns) {
  Load("x=3;y\n1;2");
  reader_.Close();
  EXPECT_EQ(reader_.RecordCount(), 0);
  EXPECT_TRUE(reader_.Eof());

  Load("");  // empty: no columns, no rows
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(reader_.RecordCount(), 0);
  EXPECT_TRUE(Rows().empty());

  // A blank first line is no header: it and every later line are rows, of no
  // values.
  Load("x=3;y\n1;2");
  Load(" \t\na;b;c;long\n");
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(Rows(), (std::vector<Row>{{}, {}}));
  EXPECT_EQ(reader_.RecordCount(), 2);

  // A header read after that gives its columns again.
  Load("p;q\n1");
  EXPECT_EQ(Names(), (std::vector<std::string>{"p", "q"}));
}

// Without FirstLineAsSchema the first line is a row too, and the columns are
// those of the last header read.
TEST_F(SdfDataSetTest, WithoutFirstLineAsSchemaTheLastColumnsStay) {
  Load("x=3;y\n1;2");
  reader_.SetFirstLineAsSchema(false);
  Load("p;q\n1");
  EXPECT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Sizes(), (std::vector<int>{3, 3}));
  EXPECT_EQ(Rows(), (std::vector<Row>{{"p", "q"}, {"1", null}}));
  EXPECT_EQ(reader_.RecordCount(), 2);
}

TEST_F(SdfDataSetTest, ReaderThatNeverReadAHeaderHasOneColumnLine) {
  sdf::TSdfDataSet fresh;
  fresh.SetDelimiter(';');
  fresh.SetFirstLineAsSchema(false);
  dir_.Write("line.txt", "head;er\n12345678");
  fresh.SetFileName(dir_.File("line.txt"));
  fresh.Open();
  ASSERT_EQ(fresh.FieldDefCount(), 1);
  EXPECT_EQ(fresh.FieldName(0), "Line");
  EXPECT_EQ(fresh.FieldSize(0), 8);
  std::vector<Row> rows;
  for (fresh.First(); !fresh.Eof(); fresh.Next()) rows.push_back({Text(fresh.Value(0))});
  EXPECT_EQ(rows, (std::vector<Row>{{"head"}, {"12345678"}}));
}

TEST_F(SdfDataSetTest, DelimiterIsConfigurableAndNeverSkippedAsBlank) {
  reader_.SetDelimiter('\t');
  Load("a\tb\tc\n1\t\t 3 \n\"x\ty\"\t2");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", "", "3"}, {"x\ty", "2", null}}));

  reader_.SetDelimiter(',');
  Load("a,b\n1;2,3");
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1;2", "3"}}));
}

TEST_F(SdfDataSetTest, MissingFileIsCreatedEmptyUnlessItMustExist) {
  const std::string path = dir_.File("missing.txt");
  reader_.SetFileName(path);
  reader_.Open();
  EXPECT_TRUE(reader_.Active());
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_EQ(reader_.RecordCount(), 0);
  EXPECT_TRUE(reader_.Eof());
  EXPECT_TRUE(Names().empty());

  reader_.Close();
  reader_.SetFileMustExist(true);
  reader_.SetFileName(dir_.File("other.txt"));
  try {
    reader_.Open();
    ADD_FAILURE() << "no error";
  } catch (const db::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not open file " + dir_.File("other.txt") + ": No such file or directory");
  }
  EXPECT_FALSE(reader_.Active());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("other.txt")));
}

// Run without privileges, so that the locked file stays locked for root too.
TEST_F(SdfDataSetTest, UnreadableFilesFailWithTheReason) {
  struct Case {
    std::string name;
    std::string reason;
  };
  std::filesystem::create_directory(dir_.File("folder"));
  dir_.Write("locked.txt", "a\n1");
  ::chmod(dir_.File("locked.txt").c_str(), 0);
  ::chmod(dir_.path().c_str(), 0755);  // the unprivileged user must reach the files
  const std::vector<Case> cases = {
      {dir_.File("folder"), "Is a directory"},
      // Creation is only tried for the file itself, not for its folder.
      {dir_.File("nofolder/t.txt"), "No such file or directory"},
      {dir_.File("locked.txt"), "Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string outcome = orlenda::testing::WithoutPrivileges([&] {
      reader_.Close();
      reader_.SetFileName(c.name);
      std::string text = "opened";
      try {
        reader_.Open();
      } catch (const db::DatabaseError& e) {
        text = e.what();
      }
      return text + (reader_.Active() ? " (active)" : "");
    });
    EXPECT_EQ(outcome, "Could not open file " + c.name + ": " + c.reason);
  }
}

TEST_F(SdfDataSetTest, OpenOnAnOpenReaderKeepsItsRowsAndCloseDropsThem) {
  Load("a\n1\n2");
  reader_.Next();
  dir_.Write("t.txt", "b\n9");
  reader_.Open();  // already open: nothing is read again
  EXPECT_EQ(reader_.Value(0), "2");
  EXPECT_EQ(Names(), std::vector<std::string>{"a"});
  EXPECT_EQ(reader_.RecordCount(), 3);
  reader_.Next();
  EXPECT_TRUE(reader_.Eof());
  reader_.Next();  // stays at the end
  EXPECT_TRUE(reader_.Eof());

  reader_.Close();
  EXPECT_FALSE(reader_.Active());
  EXPECT_TRUE(reader_.Eof());
  reader_.Open();
  EXPECT_EQ(Names(), std::vector<std::string>{"b"});
  EXPECT_EQ(Rows(), std::vector<Row>{{"9"}});
}

// Another format's row rules: values between "|", a "#" dropped from them in
// place. The header is still read by the reader's own rules.
TEST_F(SdfDataSetTest, ARowCutterCutsTheRowsAndMayDecodeInPlace) {
  reader_.SetRowCutter([](std::span<char> line, std::vector<sdf::TSdfValue>& values) {
    values.clear();
    std::size_t start = 0;
    std::size_t write = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
      if (i == line.size() || line[i] == '|') {
        values.push_back({start, write - start});
        start = write = i + 1;
      } else if (line[i] != '#') {
        line[write++] = line[i];
      }
    }
  });
  Load(" \"a\" ;b;c\n#x#| y |z|extra\n1;2\n\nlong|line|of|values\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Sizes(), (std::vector<int>{19, 19, 19}));
  EXPECT_EQ(Rows(), (std::vector<Row>{{"x", " y ", "z"},  // values past the last column dropped
                                      {"1;2", null, null},
                                      {"", null, null},  // this cutter's empty line
                                      {"long", "line", "of"}}));
}

// Lines of every length from 0 to 150 (so that breaks fall on and around the
// reader's 64-byte steps, a CR LF split across two of them included), ending
// in LF, CR LF or CR in turn; the rows VisitRows hands out are those Value
// reads, whether the lines are cut as they are handed out or were cut before.
TEST_F(SdfDataSetTest, VisitedRowsAreTheRowsValueReads) {
  const char* const endings[] = {"\n", "\r\n", "\r"};
  std::string file = "a;b;c\r\n";
  std::vector<Row> expected;
  for (std::size_t length = 0; length <= 150; ++length) {
    const std::string first(length, static_cast<char>('a' + length % 26));
    std::string line = first;
    Row row{length == 0 ? null : std::optional<std::string>(first), null, null};
    if (length % 3 == 1) {
      line += ";" + std::to_string(length) + ";x;extra";
      row = {first, std::to_string(length), "x"};
    } else if (length % 3 == 2) {
      line += ";" + std::to_string(length);
      row = {first, std::to_string(length), null};
    }
    file += line + endings[length % 3];
    expected.push_back(row);
  }
  file += "last;1;2";  // no break at the end
  expected.push_back({"last", "1", "2"});

  for (bool from_file : {false, true}) {
    SCOPED_TRACE(from_file ? "rows from the file" : "file held");
    reader_.SetRowsFromFile(from_file);
    Load(file);
    EXPECT_EQ(Rows(), expected);
    Load(file);
    EXPECT_EQ(Visited(3), expected);
    // Nothing is kept: the reader is at the end of its rows, its columns and
    // line count as read.
    EXPECT_TRUE(reader_.Eof());
    EXPECT_THROW(reader_.Value(0), std::out_of_range);
    EXPECT_EQ(reader_.RecordCount(), static_cast<int>(expected.size()) + 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(Visited(3).empty());
    // Rows already read through Value are handed out as read.
    Load(file);
    ASSERT_EQ(Text(reader_.Value(0)), null);
    EXPECT_EQ(Visited(3), expected);
  }
}

// Read from the file, lines are read a block at a time: a line that runs over
// the end of a block, one longer than a block, and a CR LF split between two
// blocks each read as one line, as when the file is held whole.
TEST_F(SdfDataSetTest, RowsReadFromTheFileCrossBlocksWhole) {
  const std::size_t block = sdf::TSdfDataSet::kReadBlockSize;
  struct Case {
    const char* what;
    std::string file;
  };
  auto line_to = [](std::size_t end, std::size_t at, char fill) {
    return std::string(end - at, fill);
  };
  std::vector<Case> cases;
  {
    // "h\n", a line ending in CR right at the block's end, its LF in the next.
    std::string file = "h\n";
    file += line_to(block - 1, file.size(), 'a') + "\r\nnext\n";
    cases.push_back({"CR LF split", file});
  }
  {
    std::string file = "h\n";
    file += line_to(block - 1, file.size(), 'a') + "\rnext\r";
    cases.push_back({"CR at the end of a block, then a line", file});
  }
  {
    std::string file = "h\n";
    file += line_to(block, file.size(), 'b') + "\n\n";
    cases.push_back({"LF first in a block, then an empty line", file});
  }
  cases.push_back({"a line of two and a half blocks",
                   "h\nx\n" + std::string(block * 5 / 2, 'c') + "\r\ny"});
  {
    std::string file = "h\n";
    for (int i = 0; file.size() < 3 * block; ++i) file += std::to_string(i) + ";v\r\n";
    cases.push_back({"many short lines over three blocks", file});
  }
  // Rows of megabytes are compared by their length and ends, so that a
  // failure prints what differs and not the rows.
  auto digest = [](const std::vector<Row>& rows) {
    std::vector<std::string> lines;
    for (const Row& row : rows) {
      const std::string& v = row.at(0).value_or("<null>");
      lines.push_back(std::to_string(v.size()) + ":" + v.substr(0, 8) + "..." +
                      v.substr(v.size() - std::min<std::size_t>(v.size(), 8)));
    }
    return lines;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reader_.SetRowsFromFile(false);
    Load(c.file);
    const std::vector<std::string> held = digest(Rows());
    ASSERT_GT(held.size(), 1u);
    reader_.SetRowsFromFile(true);
    Load(c.file);
    EXPECT_EQ(reader_.RecordCount(), static_cast<int>(held.size()) + 1);
    EXPECT_EQ(digest(Visited(1)), held);
    Load(c.file);
    EXPECT_EQ(digest(Rows()), held);
  }
}

// Rows read from the file come from the file that was opened: one written aside
// and renamed over it meanwhile (as every save here does) changes nothing. A
// pipe cannot be read twice: it is held whole.
TEST_F(SdfDataSetTest, RowsReadFromTheFileAreThoseOfTheFileOpened) {
  reader_.SetRowsFromFile(true);
  Load("a\n1\n2\n");
  dir_.Write("new.txt", "b\n9\n");
  std::filesystem::rename(dir_.File("new.txt"), dir_.File("t.txt"));
  EXPECT_EQ(Visited(1), (std::vector<Row>{{"1"}, {"2"}}));
  EXPECT_EQ(Names(), std::vector<std::string>{"a"});

  const std::string pipe = dir_.File("pipe.txt");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream out(pipe, std::ios::binary);
    out << "c;d\nx;y\nz\n";
  });
  reader_.Close();
  reader_.SetFileName(pipe);
  reader_.Open();
  writer.join();
  EXPECT_EQ(reader_.RecordCount(), 3);
  EXPECT_EQ(Visited(2), (std::vector<Row>{{"x", "y"}, {"z", null}}));
}

// A cutter that decodes in place ("#x" reads "x", so "##" reads "#"): every
// line is decoded once, whichever way its rows are read.
TEST_F(SdfDataSetTest, ALineIsDecodedOnceWhicheverWayItIsRead) {
  reader_.SetRowCutter([](std::span<char> line, std::vector<sdf::TSdfValue>& values) {
    values.clear();
    std::size_t start = 0;
    std::size_t write = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
      if (i == line.size() || line[i] == '|') {
        values.push_back({start, write - start});
        start = write = i + 1;
        continue;
      }
      if (line[i] == '#' && i + 1 < line.size()) ++i;
      line[write++] = line[i];
    }
  });
  const std::string file = "a;b\n####|#a#|\n1\n";
  const std::vector<Row> expected = {{"##", "a|"}, {"1", null}};
  Load(file);
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(Rows(), expected);  // read again from the rows cut before
  for (bool from_file : {false, true}) {
    reader_.SetRowsFromFile(from_file);
    for (bool read_first : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "from the file " << from_file << ", read first "
                                        << read_first);
      Load(file);
      if (read_first) {
        ASSERT_EQ(Text(reader_.Value(0)), "##");
      }
      EXPECT_EQ(Visited(2), expected);
    }
  }
}

}  // namespace

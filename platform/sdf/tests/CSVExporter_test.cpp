// The delimited-text export: header and row lines, the written form of each
// field kind, where the walk starts and where the dataset is left, the filter,
// the all-or-nothing file replacement and the errors.
#include "sdf/CSVExporter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Dates.h"
#include "rtl/Separators.h"
#include "testing/ListDataSet.h"
#include "testing/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using db::FieldType;
using sdf::TQuoteStrings;

db::FieldValue Null() { return {}; }
db::FieldValue Text(const char* text) {
  db::FieldValue value;
  value.is_null = false;
  value.s = text;
  return value;
}
// Integers, booleans (0/1) and BCD values (times 10000).
db::FieldValue Int(std::int64_t number) {
  db::FieldValue value;
  value.is_null = false;
  value.i = number;
  return value;
}
// Floats and date serials.
db::FieldValue Real(double number) {
  db::FieldValue value;
  value.is_null = false;
  value.f = number;
  return value;
}
double Serial(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return *rtl::EncodeDate(year, month, day) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

using rtl::testing::TempFolder;

// Counts what observers hear, to see that the export kept the controls quiet.
class EventCounter : public db::DataSetObserver {
 public:
  explicit EventCounter(db::DataSet& dataset) : dataset_(dataset) { dataset.AddObserver(this); }
  ~EventCounter() override { dataset_.RemoveObserver(this); }
  void OnDataEvent(db::DataSet&, db::DataEvent event) override { events.push_back(event); }
  std::vector<db::DataEvent> events;

 private:
  db::DataSet& dataset_;
};

// Exports with the settings the program uses for its tables (";", header,
// texts always quoted); a test changes what it needs.
class CSVExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exporter_.SetDataset(&ds_);
    exporter_.SetFileName(Target().string());
    auto& settings = exporter_.FormatSettings();
    settings.FieldDelimiter = ';';
    settings.QuoteStrings = TQuoteStrings::qsAlways;
  }

  fs::path Folder() const { return folder_.path(); }
  fs::path Target() const { return Folder() / "out.csv"; }

  // A dataset of one row per `rows` entry with the fields `defs`.
  void Fill(const std::vector<std::pair<const char*, FieldType>>& defs,
            std::vector<db::RecordBuffer> rows) {
    for (const auto& [name, type] : defs) {
      ds_.FieldDefs().Add(name, type, db::StorageOf(type) == db::StorageKind::kText ? 100 : 0);
    }
    ds_.rows = std::move(rows);
    ds_.Open();
  }
  // Five rows "a".."e" of one text field and one integer field.
  void FillLetters() {
    Fill({{"NAME", FieldType::ftString}, {"NO", FieldType::ftInteger}},
         {{Text("a"), Int(1)},
          {Text("b"), Int(2)},
          {Text("c"), Int(3)},
          {Text("d"), Int(4)},
          {Text("e"), Int(5)}});
  }
  std::string Current() { return ds_.FieldByName("NAME").AsString(); }

  std::string Export() {
    exporter_.Execute();
    return ReadFile(Target());
  }

  TempFolder folder_;
  ListDataSet ds_;
  sdf::TCSVExporter exporter_;
};

// --- Lines and quoting -------------------------------------------------------

struct LinesCase {
  const char* name;
  TQuoteStrings quote;
  char quote_char;
  bool header;
  const char* expected;
  bool double_quote_char = false;
};

TEST_F(CSVExporterTest, WritesTheHeaderAndOneLinePerRowWithTextsQuotedOrNot) {
  // Every quoted text kind, a number and a memo between them; texts holding
  // the delimiter, the quote character and a line break go out unchanged.
  Fill({{"S", FieldType::ftString},
        {"FC", FieldType::ftFixedChar},
        {"N", FieldType::ftInteger},
        {"WS", FieldType::ftWideString},
        {"FW", FieldType::ftFixedWideChar},
        {"M", FieldType::ftMemo}},
       {{Text("plain"), Text("a;b"), Int(-7), Text("say \"hi\""), Text("x\ny"), Text("memo;text")},
        {Text(""), Null(), Int(0), Text("\xC3\xA4"), Text("z"), Null()}});
  const LinesCase cases[] = {
      {"always", TQuoteStrings::qsAlways, '"', true,
       "S;FC;N;WS;FW;M\n"
       "\"plain\";\"a;b\";-7;\"say \"hi\"\";\"x\ny\";memo;text\n"
       "\"\";\"\";0;\"\xC3\xA4\";\"z\";\n"},
      {"never", TQuoteStrings::qsNever, '"', true,
       "S;FC;N;WS;FW;M\n"
       "plain;a;b;-7;say \"hi\";x\ny;memo;text\n"
       ";;0;\xC3\xA4;z;\n"},
      {"other quote, no header", TQuoteStrings::qsAlways, '\'', false,
       "'plain';'a;b';-7;'say \"hi\"';'x\ny';memo;text\n"
       "'';'';0;'\xC3\xA4';'z';\n"},

      // The quote character in quoted texts is doubled; a memo stays as it is
      // unless it would not read back (here it holds the delimiter).
      {"always, quotes doubled", TQuoteStrings::qsAlways, '"', true,
       "S;FC;N;WS;FW;M\n"
       "\"plain\";\"a;b\";-7;\"say \"\"hi\"\"\";\"x\ny\";\"memo;text\"\n"
       "\"\";\"\";0;\"\xC3\xA4\";\"z\";\n",
       true},
      {"never, quotes doubled", TQuoteStrings::qsNever, '"', true,
       "S;FC;N;WS;FW;M\n"
       "plain;a;b;-7;say \"hi\";x\ny;memo;text\n"
       ";;0;\xC3\xA4;z;\n",
       true},
  };
  for (const LinesCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto& settings = exporter_.FormatSettings();
    settings.QuoteStrings = c.quote;
    settings.QuoteChar = c.quote_char;
    settings.HeaderRow = c.header;
    settings.DoubleQuoteChar = c.double_quote_char;
    EXPECT_EQ(Export(), c.expected);
  }
}

TEST_F(CSVExporterTest, NullValuesOfEveryKindGiveEmptyFieldsBetweenAllDelimiters) {
  Fill({{"S", FieldType::ftString},
        {"I", FieldType::ftInteger},
        {"B", FieldType::ftBoolean},
        {"F", FieldType::ftFloat},
        {"C", FieldType::ftCurrency},
        {"D", FieldType::ftDate},
        {"T", FieldType::ftTime},
        {"DT", FieldType::ftDateTime},
        {"TS", FieldType::ftTimeStamp},
        {"BCD", FieldType::ftBCD},
        {"M", FieldType::ftMemo},
        {"W", FieldType::ftFixedWideChar}},
       {db::RecordBuffer(12)});
  exporter_.FormatSettings().HeaderRow = false;
  EXPECT_EQ(Export(), "\"\";;;;;;;;;;;\"\"\n");
  exporter_.FormatSettings().QuoteStrings = TQuoteStrings::qsNever;
  EXPECT_EQ(Export(), ";;;;;;;;;;;\n");
}

TEST_F(CSVExporterTest, AnEmptyDatasetGivesTheHeaderAlone) {
  Fill({{"A", FieldType::ftString}, {"B", FieldType::ftInteger}}, {});
  EXPECT_EQ(Export(), "A;B\n");
  exporter_.FormatSettings().HeaderRow = false;
  EXPECT_EQ(Export(), "");
}

// --- The written form of each kind -------------------------------------------

struct ValueCase {
  const char* name;
  FieldType type;
  db::FieldValue value;
  std::function<void(sdf::TCSVFormatSettings&)> configure;
  char process_decimal;  // the process-wide separator during the export
  const char* expected;
};

TEST_F(CSVExporterTest, WritesEachKindInItsOwnForm) {
  auto none = [](sdf::TCSVFormatSettings&) {};
  auto date_format = [](const char* format) {
    return [format](sdf::TCSVFormatSettings& s) { s.DateFormat = format; };
  };
  auto date_time_format = [](const char* format) {
    return [format](sdf::TCSVFormatSettings& s) { s.DateTimeFormat = format; };
  };
  auto decimal = [](char separator) {
    return [separator](sdf::TCSVFormatSettings& s) { s.DecimalSeparator = separator; };
  };
  auto words = [](sdf::TCSVFormatSettings& s) {
    s.BooleanTrue = "ja";
    s.BooleanFalse = "nein";
  };
  const double afternoon = Serial(2024, 3, 7, 14, 5, 9);
  const std::vector<ValueCase> cases = {
      {"true", FieldType::ftBoolean, Int(1), none, '.', "True"},
      {"false", FieldType::ftBoolean, Int(0), none, '.', "False"},
      {"true in own words", FieldType::ftBoolean, Int(1), words, '.', "ja"},
      {"false in own words", FieldType::ftBoolean, Int(0), words, '.', "nein"},

      {"date", FieldType::ftDate, Real(Serial(2024, 3, 7)), none, '.', "2024-03-07"},
      {"date, own pattern", FieldType::ftDate, Real(Serial(2024, 3, 7)), date_format("dd.mm.yy"),
       '.', "07.03.24"},
      {"date, unpadded", FieldType::ftDate, Real(Serial(2024, 3, 7)), date_format("d/m/yyyy"), '.',
       "7/3/2024"},
      {"date, upper case", FieldType::ftDate, Real(Serial(905, 11, 20)),
       date_format("YYYY-MM-DD"), '.', "0905-11-20"},
      {"date, lone y and other letters", FieldType::ftDate, Real(Serial(2024, 3, 7)),
       date_format("y: yyyy/x"), '.', "y: 2024/x"},
      {"date before 1899-12-30", FieldType::ftDate, Real(Serial(1850, 6, 1)), none, '.',
       "1850-06-01"},
      {"date pattern ignores the date-time one", FieldType::ftDate, Real(Serial(2024, 3, 7)),
       date_time_format("hh"), '.', "2024-03-07"},

      {"date-time", FieldType::ftDateTime, Real(afternoon), none, '.', "2024-03-07 14:05:09"},
      // The field's own text leaves the time out at midnight; the pattern does not.
      {"date-time at midnight", FieldType::ftDateTime, Real(Serial(2024, 3, 7)), none, '.',
       "2024-03-07 00:00:00"},
      {"time stamp", FieldType::ftTimeStamp, Real(afternoon), none, '.', "2024-03-07 14:05:09"},
      {"date-time, upper case", FieldType::ftDateTime, Real(afternoon),
       date_time_format("YYYY-MM-DD HH:MM:SS"), '.', "2024-03-07 14:05:09"},
      {"date-time, unpadded", FieldType::ftDateTime, Real(Serial(2024, 3, 7, 4, 5, 6)),
       date_time_format("d.m.yy h:n:s"), '.', "7.3.24 4:5:6"},
      {"mm after an hour and a blank is minutes", FieldType::ftDateTime, Real(afternoon),
       date_time_format("hh mm"), '.', "14 05"},
      {"mm after a day is the month", FieldType::ftDateTime, Real(afternoon),
       date_time_format("hh:nn dd mm"), '.', "14:05 07 03"},
      {"m after h is minutes", FieldType::ftDateTime, Real(afternoon), date_time_format("h:m"),
       '.', "14:5"},
      {"rounded to the second, into the next day", FieldType::ftDateTime,
       Real(Serial(2024, 12, 31, 23, 59, 59) + 0.6 / 86400), none, '.', "2025-01-01 00:00:00"},
      // Split as the field's own text splits it: the day toward minus infinity.
      {"date-time before 1899-12-30", FieldType::ftDateTime,
       Real(Serial(1850, 6, 1) - 6.0 / 24), none, '.', "1850-05-31 18:00:00"},

      {"time: own text", FieldType::ftTime, Real(14.5 / 24), none, '.', "14:30:00"},
      {"integer", FieldType::ftInteger, Int(-42), none, '.', "-42"},
      {"large integer", FieldType::ftLargeint, Int(9007199254740993), decimal(','), '.',
       "9007199254740993"},
      {"memo", FieldType::ftMemo, Text("line 1\nline 2"), none, '.', "line 1\nline 2"},

      {"float, process-wide '.'", FieldType::ftFloat, Real(1.5), none, '.', "1.5"},
      {"float, process-wide ','", FieldType::ftFloat, Real(1.5), none, ',', "1,5"},
      {"float, ',' set", FieldType::ftFloat, Real(-1234.25), decimal(','), '.', "-1234,25"},
      {"float, '.' set over a process-wide ','", FieldType::ftFloat, Real(1.5), decimal('.'), ',',
       "1.5"},
      {"float in exponent form, ',' set", FieldType::ftFloat, Real(1.5e20), decimal(','), '.',
       "1,5E20"},
      {"currency, ',' set", FieldType::ftCurrency, Real(19.99), decimal(','), '.', "19,99"},
      {"BCD, ',' set", FieldType::ftBCD, Int(123450), decimal(','), '.', "12,345"},
      {"BCD, process-wide ','", FieldType::ftBCD, Int(123450), none, ',', "12,345"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("V", c.type, db::StorageOf(c.type) == db::StorageKind::kText ? 40 : 0);
    ds.rows = {{c.value}};
    ds.Open();
    sdf::TCSVExporter exporter;
    exporter.SetDataset(&ds);
    exporter.SetFileName(Target().string());
    exporter.FormatSettings().HeaderRow = false;
    c.configure(exporter.FormatSettings());
    rtl::ScopedSeparators separators(c.process_decimal, c.process_decimal == ',' ? '.' : ',');
    exporter.Execute();
    EXPECT_EQ(ReadFile(Target()), std::string(c.expected) + "\n");
    // The override lasts for the writing only.
    EXPECT_EQ(rtl::DecimalSeparator(), c.process_decimal);
  }
}

TEST_F(CSVExporterTest, ASeparatorOverrideLeavesTheFilterItsOwnSeparator) {
  Fill({{"F", FieldType::ftFloat}}, {{Real(0.5)}, {Real(2.5)}});
  exporter_.FormatSettings().HeaderRow = false;
  exporter_.FormatSettings().DecimalSeparator = ',';
  std::vector<char> seen;
  ds_.OnFilterRecord = [&seen](db::DataSet&, bool&) { seen.push_back(rtl::DecimalSeparator()); };
  ds_.SetFiltered(true);
  seen.clear();
  rtl::ScopedSeparators separators('.', ',');
  EXPECT_EQ(Export(), "0,5\n2,5\n");
  ASSERT_FALSE(seen.empty());
  for (char c : seen) EXPECT_EQ(c, '.');
}

// --- Where the walk starts and where the dataset is left ---------------------

struct PositionCase {
  const char* name;
  std::function<void(db::DataSet&)> place;
  bool from_current;
  bool restore;
  const char* expected;
  const char* current_after;
  bool eof_after;
};

TEST_F(CSVExporterTest, StartsAtTheFirstOrCurrentRowAndRestoresThePosition) {
  auto third = [](db::DataSet& ds) { ds.MoveBy(2); };
  auto last = [](db::DataSet& ds) { ds.Last(); };
  auto past_end = [](db::DataSet& ds) {
    ds.Last();
    ds.Next();
  };
  const PositionCase cases[] = {
      {"from the first, left at the end", third, false, false, "a\nb\nc\nd\ne\n", "e", true},
      {"from the first, restored", third, false, true, "a\nb\nc\nd\ne\n", "c", false},
      {"from the current, left at the end", third, true, false, "c\nd\ne\n", "e", true},
      {"from the current, restored", third, true, true, "c\nd\ne\n", "c", false},
      // After Last the dataset is at its end with the last row current: that
      // row is still the current one to start from.
      {"from the current after Last", last, true, true, "e\n", "e", false},
      {"from the current past the end", past_end, true, false, "e\n", "e", true},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"}), TextRow({"d"}), TextRow({"e"})};
    ds.Open();
    c.place(ds);
    sdf::TCSVExporter exporter;
    exporter.SetDataset(&ds);
    exporter.SetFileName(Target().string());
    exporter.FormatSettings().HeaderRow = false;
    exporter.SetFromCurrent(c.from_current);
    exporter.SetRestorePosition(c.restore);
    exporter.Execute();
    EXPECT_EQ(ReadFile(Target()), c.expected);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), c.current_after);
    if (c.restore) {
      EXPECT_EQ(ds.Eof(), c.eof_after);
    }
  }
}

TEST_F(CSVExporterTest, WritesOnlyTheRowsTheFilterShows) {
  FillLetters();
  ds_.OnFilterRecord = [](db::DataSet& ds, bool& accept) {
    accept = ds.FieldByName("NO").AsInteger() % 2 == 1;
  };
  ds_.SetFiltered(true);
  ds_.Next();  // on "c"
  exporter_.SetRestorePosition(true);
  EXPECT_EQ(Export(), "NAME;NO\n\"a\";1\n\"c\";3\n\"e\";5\n");
  EXPECT_EQ(Current(), "c");
}

TEST_F(CSVExporterTest, KeepsObserversQuietAndEnablesTheControlsAgain) {
  FillLetters();
  std::vector<bool> disabled;
  ds_.AfterScroll = [&disabled](db::DataSet& ds) { disabled.push_back(ds.ControlsDisabled()); };
  EventCounter counter(ds_);
  exporter_.SetRestorePosition(true);
  Export();
  EXPECT_EQ(disabled, std::vector<bool>(disabled.size(), true));
  EXPECT_GE(disabled.size(), 5u);  // First, four moves and the way back
  EXPECT_FALSE(ds_.ControlsDisabled());
  // Nothing while the rows were walked, one "changed" when enabled again.
  EXPECT_EQ(counter.events, std::vector<db::DataEvent>{db::DataEvent::kDataSetChanged});
}

TEST_F(CSVExporterTest, PostsAPendingEditOrInsertBeforeWriting) {
  struct Case {
    const char* name;
    std::function<void(db::DataSet&)> change;
    bool from_current;
    const char* expected;
  };
  auto edit = [](db::DataSet& ds) {
    ds.Next();
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("B");
  };
  auto append = [](db::DataSet& ds) {
    ds.Append();
    ds.FieldByName("NAME").SetAsString("f");
  };
  const Case cases[] = {
      {"edit, from the first", edit, false, "a\nB\nc\n"},
      {"edit, from the current", edit, true, "B\nc\n"},
      {"append, from the first", append, false, "a\nb\nc\nf\n"},
      {"append, from the current", append, true, "f\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListDataSet ds;
    ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds.rows = {TextRow({"a"}), TextRow({"b"}), TextRow({"c"})};
    ds.Open();
    c.change(ds);
    const std::string changed = ds.FieldByName("NAME").AsString();
    sdf::TCSVExporter exporter;
    exporter.SetDataset(&ds);
    exporter.SetFileName(Target().string());
    exporter.FormatSettings().HeaderRow = false;
    exporter.SetFromCurrent(c.from_current);
    exporter.SetRestorePosition(true);
    exporter.Execute();
    EXPECT_EQ(ReadFile(Target()), c.expected);
    EXPECT_EQ(ds.State(), db::DataSetState::kBrowse);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), changed);  // back on the changed row
  }
}

TEST_F(CSVExporterTest, WritesRowsBeyondTheWriteBufferInOrder) {
  // Lines of 100 bytes: the rows pass the writer's one-megabyte buffer.
  const std::string filler(90, 'x');
  std::vector<db::RecordBuffer> rows;
  for (int i = 0; i < 12000; ++i) rows.push_back({Text(filler.c_str()), Int(i)});
  Fill({{"S", FieldType::ftString}, {"N", FieldType::ftInteger}}, std::move(rows));
  exporter_.FormatSettings().HeaderRow = false;
  exporter_.FormatSettings().QuoteStrings = TQuoteStrings::qsNever;
  const std::string text = Export();
  std::istringstream lines(text);
  std::string line;
  int expected = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line, filler + ";" + std::to_string(expected)) << "line " << expected;
    ++expected;
  }
  EXPECT_EQ(expected, 12000);
}

// --- Failures ------------------------------------------------------------------

TEST_F(CSVExporterTest, RefusesAMissingOrClosedDataset) {
  sdf::TCSVExporter unassigned;
  unassigned.SetFileName(Target().string());
  try {
    unassigned.Execute();
    ADD_FAILURE() << "no error without a dataset";
  } catch (const db::DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Dataset not assigned");
  }

  ds_.FieldDefs().Add("NAME", FieldType::ftString, 10);  // never opened
  try {
    exporter_.Execute();
    ADD_FAILURE() << "no error for a closed dataset";
  } catch (const db::DatabaseError& error) {
    EXPECT_EQ(error.what(), std::string(db::kSInactiveDataset));
  }
  EXPECT_FALSE(ds_.ControlsDisabled());
  EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(CSVExporterTest, AFileThatCannotBeWrittenGivesTheWritersErrorAndRestoresTheDataset) {
  FillLetters();
  ds_.MoveBy(2);  // on "c"
  exporter_.SetRestorePosition(true);
  struct Case {
    const char* name;
    fs::path target;
  };
  // A missing folder fails at the start; a folder in the target's place fails
  // at the final rename (both also when run as root).
  fs::create_directory(Folder() / "taken");
  const Case cases[] = {
      {"missing folder", Folder() / "missing" / "out.csv"},
      {"folder in the way", Folder() / "taken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    exporter_.SetFileName(c.target.string());
    try {
      exporter_.Execute();
      ADD_FAILURE() << "no error";
    } catch (const db::DatabaseError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Could not write file " + c.target.string() + ": ", 0),
                0u)
          << error.what();
    }
    EXPECT_EQ(Current(), "c");
    EXPECT_FALSE(ds_.ControlsDisabled());
  }
  EXPECT_TRUE(fs::is_directory(Folder() / "taken"));
  EXPECT_TRUE(fs::is_empty(Folder() / "taken"));
  // No temporary file is left behind.
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"taken"});
}

TEST_F(CSVExporterTest, AFailureHalfwayLeavesTheOldFileAndTheDatasetAsTheyWere) {
  FillLetters();
  WriteFile(Target(), "old contents\n");
  ds_.Next();  // on "b"
  ds_.OnFilterRecord = [](db::DataSet& ds, bool&) {
    if (ds.FieldByName("NAME").AsString() == "d") throw std::runtime_error("filter broke");
  };
  ds_.SetFiltered(true);
  exporter_.SetRestorePosition(true);
  EXPECT_THROW(exporter_.Execute(), std::runtime_error);
  EXPECT_EQ(ReadFile(Target()), "old contents\n");
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"out.csv"});
  EXPECT_EQ(Current(), "b");
  EXPECT_FALSE(ds_.ControlsDisabled());

  // A successful export replaces the old file whole.
  ds_.OnFilterRecord = nullptr;
  EXPECT_EQ(Export(), "NAME;NO\n\"a\";1\n\"b\";2\n\"c\";3\n\"d\";4\n\"e\";5\n");
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"out.csv"});
}

// A file format with its own cell encoding gets every value's text, of every
// kind and in its own form, in place of the quoting.
TEST_F(CSVExporterTest, AValueEncoderWritesEveryKindsTextThroughIt) {
  Fill({{"NAME", FieldType::ftString},
        {"NO", FieldType::ftInteger},
        {"NOTE", FieldType::ftMemo},
        {"OK", FieldType::ftBoolean},
        {"DAY", FieldType::ftDate}},
       {{Text("a;b"), Int(1), Text("x\ny"), Int(1), Real(Serial(2024, 3, 7))},
        {Null(), Null(), Null(), Null(), Null()}});
  exporter_.FormatSettings().EncodeValue = [](std::string_view text, std::string& out) {
    out += '<';
    out += text;
    out += '>';
  };
  EXPECT_EQ(Export(),
            "NAME;NO;NOTE;OK;DAY\n"
            "<a;b>;<1>;<x\ny>;<True>;<2024-03-07>\n"
            "<>;<>;<>;<>;<>\n");
}

}  // namespace

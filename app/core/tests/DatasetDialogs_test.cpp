// The dialogs' operations without a window, on a buffered dataset with typed
// fields: filter text composition and its size, applying and refusing a
// filter, Find and Find Next by field kind, and the CSV export's bytes and its
// all-or-nothing file.
#include "DatasetDialogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "testing/temp_folder.h"
#include "rtl/Dates.h"
#include "datasets/VoBufDataset.h"

namespace {

namespace fs = std::filesystem;
using db::FieldType;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double Serial(int year, int month, int day) { return *rtl::EncodeDate(year, month, day); }

TEST(InsertAtCaret, PutsTheItemBetweenBlanksAndABlankAtTheLineEnd) {
  struct Case {
    const char* name;
    const char* line;
    std::size_t caret;
    const char* item;
    const char* expected;
    std::size_t new_caret;
  };
  const Case cases[] = {
      {"empty line", "", 0, "NAME", " NAME ", 5},
      {"at the end", "NAME", 4, "=", "NAME = ", 6},
      {"in the middle", "NAME'x'", 4, "=", "NAME ='x' ", 6},
      {"at the start", "= 'x'", 0, "NAME", " NAME= 'x' ", 5},
      {"caret past the end", "A", 9, "OR", "A OR ", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t new_caret = 0;
    EXPECT_EQ(app::InsertAtCaret(c.line, c.caret, c.item, &new_caret), c.expected);
    EXPECT_EQ(new_caret, c.new_caret);
  }
}

TEST(FilterText, FitsWhenItsStoredFormHoldsAtMostAHundredCharacters) {
  const std::string hundred(100, 'x');
  EXPECT_EQ(app::FilterTextTooLong(hundred), "");
  // Trailing blanks (an Append leaves one) are not stored, so they do not count.
  EXPECT_EQ(app::FilterTextTooLong(hundred + "  "), "");
  EXPECT_EQ(app::StoredFilterText(hundred + "  "), hundred);
  EXPECT_EQ(app::FilterTextTooLong(hundred + "y"),
            "The filter text is 101 characters long; a saved filter holds 100. It was neither "
            "saved nor applied.");
}

// Four rows of every kind the dialogs meet; the third row is null throughout
// but for its ID.
class TypedDataset : public testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Typed");
    ds_.FieldDefs().Add("ID", FieldType::ftInteger);
    ds_.FieldDefs().Add("NAME", FieldType::ftString, 30);
    ds_.FieldDefs().Add("PRICE", FieldType::ftFloat);
    ds_.FieldDefs().Add("DAY", FieldType::ftDate);
    ds_.FieldDefs().Add("AT", FieldType::ftDateTime);
    ds_.FieldDefs().Add("OK", FieldType::ftBoolean);
    ds_.CreateDataset();
    ds_.Open();
    AddRow(1, "a\"b", 2.5, Serial(2024, 2, 29), Serial(2024, 2, 29) + 0.5, true);
    AddRow(2, "x;y", -0.125, Serial(1999, 12, 31), Serial(2000, 1, 1) + 1.0 / 86400, false);
    ds_.Append();
    ds_.FieldByName("ID").SetAsInteger(3);
    ds_.Post();
    AddRow(4, "x;y", 2.5, Serial(2024, 2, 29), Serial(2024, 2, 29), true);
    ds_.First();
  }
  void AddRow(int id, const char* name, double price, double day, double at, bool ok) {
    ds_.Append();
    ds_.FieldByName("ID").SetAsInteger(id);
    ds_.FieldByName("NAME").SetAsString(name);
    ds_.FieldByName("PRICE").SetAsFloat(price);
    ds_.FieldByName("DAY").SetAsDateTime(day);
    ds_.FieldByName("AT").SetAsDateTime(at);
    ds_.FieldByName("OK").SetAsBoolean(ok);
    ds_.Post();
  }
  std::int64_t Id() { return ds_.FieldByName("ID").AsInteger(); }
  void GoTo(int id) { ASSERT_TRUE(ds_.Locate("ID", rtl::Variant::Int(id))); }
  std::vector<std::int64_t> VisibleIds() {
    std::vector<std::int64_t> ids;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) ids.push_back(Id());
    return ids;
  }

  TVoBufDataset ds_;
  rtl::testing::TempFolder folder_;
};

TEST_F(TypedDataset, FieldMatchesTextComparesByTheFieldsKind) {
  struct Case {
    const char* field;
    const char* text;
    bool on_first;  // against row 1
    bool on_null;   // against row 3
  };
  const Case cases[] = {
      {"ID", "1", true, false},         {"ID", "1.0", true, false},
      {"ID", "01", true, false},        {"ID", "one", false, false},
      {"NAME", "a\"b", true, false},    {"NAME", "A\"B", false, false},
      {"NAME", "a", false, false},      {"NAME", "", false, false},
      {"PRICE", "2.5", true, false},    {"PRICE", "2.50", true, false},
      {"PRICE", "2", false, false},     {"DAY", "2024-02-29", true, false},
      {"DAY", "2024-03-01", false, false}, {"DAY", "29.02.2024", false, false},
      {"AT", "2024-02-29 12:00:00", true, false}, {"AT", "2024-02-29", false, false},
      {"OK", "True", true, false},      {"OK", "true", true, false},
      {"OK", "False", false, false},    {"OK", "maybe", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.text);
    GoTo(1);
    EXPECT_EQ(app::FieldMatchesText(ds_.FieldByName(c.field), c.text), c.on_first);
    GoTo(3);
    EXPECT_EQ(app::FieldMatchesText(ds_.FieldByName(c.field), c.text), c.on_null);
  }
}

TEST_F(TypedDataset, FindIsAnExactLocateAndFindNextWalksOnFromTheCurrentRow) {
  EXPECT_TRUE(app::FindValue(ds_, "NAME", "x;y"));
  EXPECT_EQ(Id(), 2);
  // Letter case and a beginning alone find nothing, and the row stays.
  EXPECT_FALSE(app::FindValue(ds_, "NAME", "X;Y"));
  EXPECT_FALSE(app::FindValue(ds_, "NAME", "x"));
  EXPECT_EQ(Id(), 2);
  EXPECT_THROW(app::FindValue(ds_, "", "x"), db::DatabaseError);
  EXPECT_THROW(app::FindValue(ds_, "NOPE", "x"), db::DatabaseError);

  EXPECT_TRUE(app::FindNextValue(ds_, "NAME", "x;y"));
  EXPECT_EQ(Id(), 4);
  // At the last row nothing follows, even though the row itself matches.
  EXPECT_FALSE(app::FindNextValue(ds_, "NAME", "x;y"));
  EXPECT_EQ(Id(), 4);
  GoTo(1);
  EXPECT_TRUE(app::FindNextValue(ds_, "DAY", "2024-02-29"));
  EXPECT_EQ(Id(), 4);
  GoTo(1);
  EXPECT_TRUE(app::FindNextValue(ds_, "PRICE", "-0.125"));
  EXPECT_EQ(Id(), 2);
  // No field, an unknown one, a text the kind cannot take: nothing, row kept.
  for (const auto& [field, text] : std::vector<std::pair<const char*, const char*>>{
           {"", "x;y"}, {"NOPE", "x;y"}, {"ID", "abc"}, {"OK", ""}}) {
    SCOPED_TRACE(field);
    EXPECT_FALSE(app::FindNextValue(ds_, field, text));
    EXPECT_EQ(Id(), 2);
  }
}

TEST_F(TypedDataset, ARefusedFilterIsReportedClearedAndTheSwitchRestored) {
  struct Case {
    const char* name;
    bool filtered_before;
  };
  for (const Case c : {Case{"switch was off", false}, Case{"switch was on", true}}) {
    SCOPED_TRACE(c.name);
    ds_.SetFilterText("ID > 1");
    ds_.SetFiltered(c.filtered_before);
    const std::string error = app::ApplyFilter(ds_, "NOPE = 1");
    EXPECT_EQ(error, "Error while trying to apply filter. Index based on unknown field \"NOPE\".");
    EXPECT_EQ(ds_.Filter(), "");
    EXPECT_EQ(ds_.Filtered(), c.filtered_before);
    EXPECT_EQ(VisibleIds(), (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_FALSE(ds_.ControlsDisabled());
  }
  EXPECT_EQ(app::ApplyFilter(ds_, "PRICE > 1"), "");
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(VisibleIds(), (std::vector<std::int64_t>{1, 4}));
  app::RemoveFilter(ds_);
  EXPECT_TRUE(ds_.Filtered());
  EXPECT_EQ(ds_.Filter(), "");
  EXPECT_EQ(VisibleIds(), (std::vector<std::int64_t>{1, 2, 3, 4}));
}

TEST_F(TypedDataset, AFailingStoreLeavesTheFilterAloneAndPassesOut) {
  ds_.SetFilterText("ID > 2");
  ds_.SetFiltered(true);
  EXPECT_THROW(
      app::ApplyFilter(ds_, "ID = 1", [] { throw std::runtime_error("disk full"); }),
      std::runtime_error);
  EXPECT_EQ(ds_.Filter(), "ID > 2");
  EXPECT_FALSE(ds_.ControlsDisabled());
}

TEST_F(TypedDataset, ExportWritesEachKindInItsFormAndGoesBackToTheRow) {
  const fs::path file = fs::path(folder_.path()) / "out.csv";
  GoTo(2);
  app::ExportToCsv(ds_, file.string());
  EXPECT_EQ(ReadFile(file),
            "ID;NAME;PRICE;DAY;AT;OK\n"
            "1;\"a\"\"b\";2.5;2024-02-29;2024-02-29 12:00:00;True\n"
            "2;\"x;y\";-0.125;1999-12-31;2000-01-01 00:00:01;False\n"
            "3;\"\";;;;\n"
            "4;\"x;y\";2.5;2024-02-29;2024-02-29 00:00:00;True\n");
  EXPECT_EQ(Id(), 2);

  // Only the rows the filter lets through.
  ds_.SetFilterText("OK");
  ds_.SetFiltered(true);
  GoTo(4);
  app::ExportToCsv(ds_, file.string());
  EXPECT_EQ(ReadFile(file),
            "ID;NAME;PRICE;DAY;AT;OK\n"
            "1;\"a\"\"b\";2.5;2024-02-29;2024-02-29 12:00:00;True\n"
            "4;\"x;y\";2.5;2024-02-29;2024-02-29 00:00:00;True\n");
  EXPECT_EQ(Id(), 4);
}

TEST_F(TypedDataset, AFailedExportLeavesTheOldFileWhole) {
  const fs::path file = fs::path(folder_.path()) / "out.csv";
  std::ofstream(file, std::ios::binary) << "old\n";
  struct Case {
    const char* name;
    std::string file_name;
    std::function<void()> prepare;
    const char* error;
  };
  const Case cases[] = {
      {"no file name", "", [] {}, "No filename set for export"},
      {"being edited", file.string(), [this] { ds_.Edit(); }, "Dataset not in browse mode"},
      // The walk breaks off at the third row: what was written never shows.
      {"failing in the middle", file.string(),
       [this] {
         ds_.OnFilterRecord = [](db::DataSet& ds, bool&) {
           if (ds.FieldByName("ID").AsInteger() == 3) throw db::DatabaseError("row 3 is bad");
         };
         ds_.SetFiltered(true);
       },
       "row 3 is bad"},
      {"closed", file.string(), [this] { ds_.Close(); }, "Dataset not in browse mode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    try {
      app::ExportToCsv(ds_, c.file_name);
      ADD_FAILURE() << "exported";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), c.error);
    }
    EXPECT_EQ(ReadFile(file), "old\n");
    ds_.OnFilterRecord = nullptr;
    if (ds_.Active()) ds_.Cancel();
    ds_.SetFiltered(false);
    if (!ds_.Active()) ds_.Open();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);
}

// A dataset of text fields only is exported straight from its records; one
// that shows fewer rows than it stores, or holds another kind, goes field by
// field. Both must write the same bytes.
class TextDataset : public testing::Test {
 protected:
  void SetUp() override {
    ds_.SetName("Texts");
    ds_.FieldDefs().Add("A", FieldType::ftString, 12);
    ds_.FieldDefs().Add("B", FieldType::ftFixedChar, 6);
    ds_.FieldDefs().Add("C", FieldType::ftWideString, 12);
    ds_.CreateDataset();
    ds_.Open();
    const char* const rows[][3] = {
        {"m", "a\"b", ""},        {"x;y", "", "line\nbreak"},
        {"", "\"", "  padded  "}, {"\xc3\xa9t\xc3\xa9", "\"\"", "x"},
        {"b", nullptr, nullptr},  {nullptr, "z", "tab\there"},
    };
    for (const auto& row : rows) {
      ds_.Append();
      for (int i = 0; i < 3; ++i) {
        if (row[i] != nullptr) ds_.Fields(i).SetAsString(row[i]);
      }
      ds_.Post();
    }
    ds_.First();
  }
  // The export with every row offered to a filter handler that lets all pass,
  // which takes it field by field: the bytes the direct path must match.
  std::string FieldByField() {
    int offered = 0;
    const bool was_filtered = ds_.Filtered();
    ds_.OnFilterRecord = [&offered](db::DataSet&, bool&) { ++offered; };
    ds_.SetFiltered(true);
    app::ExportToCsv(ds_, File().string());
    ds_.OnFilterRecord = nullptr;
    ds_.SetFiltered(was_filtered);
    EXPECT_GT(offered, 0);
    return ReadFile(File());
  }
  std::string Direct() {
    ds_.OnFilterRecord = nullptr;
    app::ExportToCsv(ds_, File().string());
    return ReadFile(File());
  }
  fs::path File() const { return fs::path(folder_.path()) / "out.csv"; }
  std::string A() { return ds_.FieldByName("A").AsString(); }

  TVoBufDataset ds_;
  rtl::testing::TempFolder folder_;
};

TEST_F(TextDataset, DirectExportWritesTheBytesOfTheFieldByFieldOne) {
  const std::string expected =
      "A;B;C\n"
      "\"m\";\"a\"\"b\";\"\"\n"
      "\"x;y\";\"\";\"line\nbreak\"\n"
      "\"\";\"\"\"\";\"  padded  \"\n"
      "\"\xc3\xa9t\xc3\xa9\";\"\"\"\"\"\";\"x\"\n"
      "\"b\";\"\";\"\"\n"
      "\"\";\"z\";\"tab\there\"\n";
  EXPECT_EQ(FieldByField(), expected);
  EXPECT_EQ(Direct(), expected);

  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"in the order of a sorted index", [this] { ds_.SetIndexFieldNames("A"); }},
      {"after an edit and a deletion",
       [this] {
         ds_.First();
         ds_.Edit();
         ds_.FieldByName("C").SetAsString("changed \"again\"");
         ds_.Post();
         ds_.Next();
         ds_.Delete();
       }},
      {"with an empty filter switched on (Remove Filter)",
       [this] {
         ds_.SetFilterText("");
         ds_.SetFiltered(true);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    ds_.Last();
    const std::string current = A();
    const std::string direct = Direct();
    EXPECT_EQ(direct, FieldByField());
    EXPECT_EQ(A(), current);
  }
}

TEST_F(TextDataset, RowsHiddenByAFilterAreLeftOut) {
  ds_.SetFilterText("A = 'b'");
  ds_.SetFiltered(true);
  EXPECT_EQ(Direct(), "A;B;C\n\"b\";\"\";\"\"\n");
}

TEST_F(TextDataset, ADatasetWithAnotherKindGoesFieldByField) {
  ds_.Close();
  ds_.FieldDefs().Add("N", FieldType::ftInteger);
  ds_.FieldDefs().Add("M", FieldType::ftMemo);
  ds_.CreateDataset();
  ds_.Open();
  ds_.Append();
  ds_.FieldByName("A").SetAsString("q\"");
  ds_.FieldByName("N").SetAsInteger(5);
  ds_.FieldByName("M").SetAsString("memo; \"as is\"");
  ds_.Post();
  ds_.Append();
  ds_.Post();
  const std::string expected =
      "A;B;C;N;M\n"
      "\"q\"\"\";\"\";\"\";5;\"memo; \"\"as is\"\"\"\n"
      "\"\";\"\";\"\";;\n";
  EXPECT_EQ(Direct(), expected);
  EXPECT_EQ(FieldByField(), expected);
}

}  // namespace

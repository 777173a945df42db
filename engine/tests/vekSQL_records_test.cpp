// Cells, rows and record sets in memory: a cell on its own, short and long rows,
// column and row changes with their Modified flag, name look-ups and the joined
// name lists, and the output-column list.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/vekSQLStatements.h"
#include "records_test_util.h"

namespace vek {
namespace {

using testing::CellsOf;
using testing::MakeSet;
using Rows = testing::CellRows;
using testing::Strings;

// ---- The cell ------------------------------------------------------------------

// Short and long texts, and bytes that a C string would lose.
const std::vector<std::string> kCellValues = {
    "",
    "a",
    std::string("a\0b", 3),
    "exactly15bytes!",
    "sixteen bytes!!!",
    std::string(300, 'x'),
    std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20),
};

TEST(RecordField, HoldsAnyValueThroughCopyMoveAndAssignment) {
  for (const std::string& value : kCellValues) {
    SCOPED_TRACE(value.size());
    TvekSQLRecordField cell(value);
    EXPECT_EQ(cell.value(), value);

    TvekSQLRecordField copy(cell);
    EXPECT_EQ(copy.value(), value);
    EXPECT_EQ(cell.value(), value);

    TvekSQLRecordField moved(std::move(copy));
    EXPECT_EQ(moved.value(), value);
    EXPECT_EQ(copy.value(), "");  // NOLINT(bugprone-use-after-move): moved-from is empty

    for (const std::string& before : kCellValues) {
      TvekSQLRecordField target(before);
      target = cell;
      EXPECT_EQ(target.value(), value);
      TvekSQLRecordField other(before);
      other = std::move(target);
      EXPECT_EQ(other.value(), value);
      other.SetValue(before);
      EXPECT_EQ(other.value(), before);
      other.SetValue(value);
      EXPECT_EQ(other.value(), value);
    }
  }
}

TEST(RecordField, SetValueFromAPartOfItself) {
  const std::string long_text = "0123456789abcdefghijklmnopqrstuvwxyz";
  struct Case {
    std::string start;
    std::size_t from, length;
  } cases[] = {
      {long_text, 1, 30},  // long to a shorter long text
      {long_text, 2, 10},  // long to short
      {"0123456789", 3, 5},
      {long_text, 0, long_text.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start + " " + std::to_string(c.from));
    TvekSQLRecordField cell(c.start);
    cell.SetValue(cell.value().substr(c.from, c.length));
    EXPECT_EQ(cell.value(), c.start.substr(c.from, c.length));
  }
  TvekSQLRecordField cell(long_text);
  TvekSQLRecordField& same = cell;
  cell = same;
  cell = std::move(same);
  EXPECT_EQ(cell.value(), long_text);
}

// ---- The row -------------------------------------------------------------------

TEST(Record, GetFieldOutsideTheRowRaisesFieldCountOrListIndex) {
  TvekRecord row;
  for (const char* value : {"a", "b", "c"}) row.AddField(value);
  EXPECT_EQ(row.GetField(2).value(), "c");

  for (int index : {-1, 3, 100}) {
    SCOPED_TRACE(index);
    try {
      row.GetField(index);
      ADD_FAILURE() << "no exception";
    } catch (const EFieldCount& e) {
      EXPECT_STREQ(e.what(), "fieldcount:3");
    }
  }
  try {
    row.GetField(-2);
    ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index (-2) out of bounds");
  }

  TvekRecord blank;
  EXPECT_THROW(
      {
        try {
          blank.GetField(0);
        } catch (const EFieldCount& e) {
          EXPECT_STREQ(e.what(), "fieldcount:0");
          throw;
        }
      },
      EFieldCount);
}

TEST(Record, ShortRowsReadEmptyCellsAndArePaddedOnStore) {
  TvekRecord row;
  row.AddField("a");
  EXPECT_EQ(row.Cell(0), "a");
  EXPECT_EQ(row.Cell(1), "");
  EXPECT_EQ(row.Cell(-1), "");
  EXPECT_EQ(row.FieldCount(), 1);

  row.SetCell(3, "d");
  ASSERT_EQ(row.FieldCount(), 4);
  EXPECT_EQ(row.Cell(1), "");
  EXPECT_EQ(row.Cell(2), "");
  EXPECT_EQ(row.Cell(3), "d");
  row.SetCell(0, "x");
  EXPECT_EQ(row.Cell(0), "x");
  EXPECT_EQ(row.FieldCount(), 4);
  EXPECT_THROW(row.SetCell(-1, "y"), std::out_of_range);

  EXPECT_TRUE(row.DeleteField(1));
  EXPECT_FALSE(row.DeleteField(3));
  EXPECT_FALSE(row.DeleteField(-1));
  EXPECT_EQ(row.FieldCount(), 3);
  EXPECT_EQ(row.Cell(2), "d");
}

// Rows packed into a set's storage and rows with blocks of their own must change
// alike, and a change to one row must leave its neighbours in the storage alone.
// Random changes, values read from the row itself among them, against a model.
TEST(Record, ChangesMatchAModelWhereverTheRowLives) {
  std::mt19937 random(7);
  // Now and then a text long enough that two or three of them pass the 65535
  // bytes a row's two-byte end offsets can hold, so rows change width.
  auto random_text = [&] {
    const std::size_t size = random() % 40 == 0 ? 21000 + random() % 12000 : random() % 20;
    return std::string(size, static_cast<char>('a' + random() % 26));
  };
  TvekRecordSet set;
  Rows model;
  for (int r = 0; r < 40; ++r) {
    Strings cells(random() % 5);
    for (std::string& cell : cells) cell = random_text();
    std::vector<std::string_view> views(cells.begin(), cells.end());
    set.AppendRow(views);
    model.push_back(cells);
  }
  for (int step = 0; step < 4000; ++step) {
    const std::size_t r = random() % model.size();
    TvekRecord& row = set.Records[r];
    Strings& cells = model[r];
    const int at = static_cast<int>(random() % 6);
    // A value taken from the row itself, or a new one.
    const std::string value = random() % 3 == 0 && !cells.empty()
                                  ? cells[random() % cells.size()]
                                  : random_text();
    const std::string_view from_row = row.Cell(at);
    switch (random() % 6) {
      case 0:
        row.SetCell(at, value);
        if (cells.size() <= static_cast<std::size_t>(at)) cells.resize(at + 1);
        cells[at] = value;
        break;
      case 1:
      {
        const int to = static_cast<int>(random() % 6);
        const std::string text(from_row);
        row.SetCell(to, from_row);  // a text read from the row itself
        if (cells.size() <= static_cast<std::size_t>(to)) cells.resize(to + 1);
        cells[to] = text;
        break;
      }
      case 2:
        row.InsertField(at, value);
        if (cells.size() < static_cast<std::size_t>(at)) cells.resize(at);
        cells.insert(cells.begin() + at, value);
        break;
      case 3:
        EXPECT_EQ(row.DeleteField(at), static_cast<std::size_t>(at) < cells.size());
        if (static_cast<std::size_t>(at) < cells.size()) cells.erase(cells.begin() + at);
        break;
      case 4:
        row.Resize(at);
        cells.resize(at);
        break;
      case 5:
        row.AddField(value);
        cells.push_back(value);
        break;
    }
    if (step % 97 == 0) {
      TvekRecord copy = row;  // copies and assignments keep the cells
      set.Records[(r + 1) % model.size()] = copy;
      model[(r + 1) % model.size()] = cells;
    }
    ASSERT_EQ(CellsOf(set), model) << "step " << step;
  }
}

// Two-byte end offsets hold cells of up to 65535 bytes in all; longer rows get
// four-byte ones. Rows of both widths and odd sizes share one storage, and a
// reused row block changes width.
TEST(Record, RowsOnEitherSideOfTheTwoByteLimitReadBack) {
  const std::size_t totals[] = {0, 1, 65534, 65535, 65536, 65537, 200001};
  TvekRecordSet set;
  Rows model;
  for (std::size_t total : totals) {
    SCOPED_TRACE(total);
    const Strings cells = {std::string(total / 3, 'x'), std::string(total - total / 3 * 2, 'y'),
                           std::string(total / 3, 'z')};
    set.AppendRow(std::vector<std::string_view>(cells.begin(), cells.end()));
    model.push_back(cells);
    set.AppendRow({"odd"});  // five bytes packed: the next row starts unaligned
    model.push_back({"odd"});
  }
  EXPECT_EQ(CellsOf(set), model);

  TvekRecord row;
  for (std::size_t total : {std::size_t{10}, std::size_t{70000}, std::size_t{3}, std::size_t{65535},
                            std::size_t{65536}, std::size_t{0}}) {
    SCOPED_TRACE(total);
    const std::string a(total / 2, 'a');
    const std::string b(total - total / 2, 'b');
    row.Assign({a, b, ""});
    ASSERT_EQ(row.FieldCount(), 3);
    EXPECT_EQ(row.Cell(0), a);
    EXPECT_EQ(row.Cell(1), b);
    EXPECT_EQ(row.Cell(2), "");
  }
}

TEST(Record, SetCellFromItsOwnCellsKeepsTheModel) {
  TvekRecordSet set;
  set.AppendRow({"first", "second-and-longer", ""});
  TvekRecord& row = set.Records[0];
  row.SetCell(2, row.Cell(1));
  row.SetCell(0, row.Cell(1).substr(7));
  row.InsertField(1, row.Cell(0));
  EXPECT_EQ(CellsOf(set), Rows({{"and-longer", "and-longer", "second-and-longer", "second-and-longer"}}));
}

// Rows moved to another set stay readable once the set they came from is gone,
// and a copied set owns its rows.
TEST(RecordSet, RowsOutliveTheSetTheyCameFrom) {
  auto source = std::make_unique<TvekRecordSet>();
  for (int r = 0; r < 5000; ++r) source->AppendRow({std::to_string(r), "value " + std::to_string(r)});

  TvekRecordSet target;
  target.MoveRowsFrom(*source);
  EXPECT_EQ(source->RecordCount(), 0);
  const TvekRecordSet copy = target;
  source.reset();
  TvekRecordSet moved = std::move(target);
  target.ClearRecords();
  ASSERT_EQ(moved.RecordCount(), 5000);
  ASSERT_EQ(copy.RecordCount(), 5000);
  for (int r = 0; r < 5000; r += 499) {
    EXPECT_EQ(moved.Records[r].Cell(1), "value " + std::to_string(r));
    EXPECT_EQ(copy.Records[r].Cell(1), "value " + std::to_string(r));
  }
}

// A row cannot be moved out of its set, nor a set's list of rows out of it:
// such code does not compile. Rows reach another set only with their storage
// (MoveRowsFrom, above), and copies have blocks of their own.
static_assert(!std::is_move_constructible_v<TvekRecord>);
static_assert(!std::is_move_assignable_v<TvekRecord>);
static_assert(!std::is_move_constructible_v<TvekRows>);
static_assert(!std::is_move_assignable_v<TvekRows>);
static_assert(std::is_copy_constructible_v<TvekRecord>);

// A cell may hold a whole line (a row's GetRow kept in a cell); reading that
// line back into the same row must cut the text before the row's block is
// written over. A row that already has a large block of its own reuses it.
TEST(Record, SetRowFromOneOfItsOwnCells) {
  struct Case {
    const char* name;
    bool own_block_first;  // the row first gets a block larger than the result
  };
  for (const Case& c : {Case{"packed row", false}, Case{"row with a large own block", true}}) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set;
    set.AppendRow({"\"a;b;c;d;e;f\""});
    TvekRecord& row = set.Records[0];
    if (c.own_block_first) {
      row.SetRow(std::string(64, 'z'));
      row.SetRow("\"a;b;c;d;e;f\"");  // one quoted cell holding a line
    } else {
      row.SetRow(row.Cell(0));
    }
    ASSERT_EQ(CellsOf(set), Rows({{"a;b;c;d;e;f"}}));
    row.SetRow(row.Cell(0));
    EXPECT_EQ(CellsOf(set), Rows({{"a", "b", "c", "d", "e", "f"}}));
  }
}

// A record set moved from reads as empty and takes new rows like a new set;
// those rows must neither share memory with the set moved to nor depend on it.
TEST(RecordSet, SetMovedFromTakesRowsOfItsOwn) {
  auto check = [](TvekRecordSet& source, TvekRecordSet& target) {
    source.AppendRow({"two"});
    target.AppendRow({"three"});
    EXPECT_EQ(CellsOf(source), Rows({{"two"}}));
    EXPECT_EQ(CellsOf(target), Rows({{"one"}, {"three"}}));
  };
  {
    SCOPED_TRACE("move construction");
    TvekRecordSet source;
    source.AppendRow({"one"});
    TvekRecordSet target(std::move(source));
    check(source, target);
  }
  {
    SCOPED_TRACE("move assignment");
    TvekRecordSet source;
    source.AppendRow({"one"});
    TvekRecordSet target;
    target.AppendRow({"old"});
    target = std::move(source);
    check(source, target);
  }
}

// ---- Columns -------------------------------------------------------------------

TEST(RecordSet, AddFieldPutsTheCellAtTheColumnsIndex) {
  struct Case {
    const char* name;
    Rows rows, expected;
  } cases[] = {
      {"full rows", {{"1", "2"}, {"3", "4"}}, {{"1", "2", "v"}, {"3", "4", "v"}}},
      {"short rows are padded", {{"1"}, {}}, {{"1", "", "v"}, {"", "", "v"}}},
      {"surplus cells move right", {{"1", "2", "x", "y"}}, {{"1", "2", "v", "x", "y"}}},
      {"no rows", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = MakeSet({"a", "b"}, c.rows);
    EXPECT_TRUE(set.AddField("c", "v"));
    EXPECT_EQ(set.FieldNames, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(CellsOf(set), c.expected);
    EXPECT_TRUE(set.Modified);
  }
}

TEST(RecordSet, AddFieldRefusesANameThatExistsInAnyCase) {
  TvekRecordSet set = MakeSet({"Name", "b"}, {{"1", "2"}});
  EXPECT_FALSE(set.AddField("NAME", "v"));
  EXPECT_FALSE(set.AddField("b", "v"));
  EXPECT_EQ(set.FieldNames, (std::vector<std::string>{"Name", "b"}));
  EXPECT_EQ(CellsOf(set), (Rows{{"1", "2"}}));
  EXPECT_FALSE(set.Modified);
}

TEST(RecordSet, DeleteFieldByNameOrIndex) {
  TvekRecordSet set = MakeSet({"a", "B", "c"}, {{"1", "2", "3"}, {"4"}, {}, {"5", "6", "7", "8"}});
  EXPECT_FALSE(set.DeleteField("d"));
  EXPECT_FALSE(set.DeleteField(3));
  EXPECT_FALSE(set.DeleteField(-1));
  EXPECT_FALSE(set.Modified);

  EXPECT_TRUE(set.DeleteField("b"));
  EXPECT_EQ(set.FieldNames, (std::vector<std::string>{"a", "c"}));
  // Rows without a cell at the index keep what they have.
  EXPECT_EQ(CellsOf(set), (Rows{{"1", "3"}, {"4"}, {}, {"5", "7", "8"}}));
  EXPECT_TRUE(set.Modified);

  EXPECT_TRUE(set.DeleteField(0));
  EXPECT_EQ(set.FieldNames, (std::vector<std::string>{"c"}));
}

TEST(RecordSet, DeleteFieldWithoutRowsLeavesModified) {
  TvekRecordSet set = MakeSet({"a", "b"}, {});
  EXPECT_TRUE(set.DeleteField("a"));
  EXPECT_FALSE(set.Modified);
}

TEST(RecordSet, FieldIndexIgnoresCaseAndFindsTheFirst) {
  // Letters beyond ASCII fold by the user's locale; the tests run under a UTF-8 one.
  const std::string saved_locale = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "");
  if (MB_CUR_MAX == 1) std::setlocale(LC_ALL, "C.UTF-8");

  TvekRecordSet set = MakeSet({"id", "Name", "NAME", "", "x.y", "Größe"}, {});
  struct Case {
    const char* name;
    int expected;
  } cases[] = {
      {"id", 0},    {"ID", 0},    {"name", 1},    {"nAmE", 1},   {"", 3},
      {"x.y", 4},   {"X.Y", 4},   {"nam", -1},    {"names", -1}, {"Größe", 5},
      {"GRÖßE", 5}, {"größe", 5}, {"Grösse", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(set.FieldIndex(c.name), c.expected);
  }
  std::setlocale(LC_ALL, saved_locale.c_str());
}

TEST(RecordSet, FieldListsSkipLeadingEmptyNames) {
  struct Case {
    std::vector<std::string> names;
    const char* list;
    const char* qualified;
  } cases[] = {
      {{}, "", ""},
      {{"a", "b"}, "a;b", "t.a;t.b"},
      {{"", "", "a", "", "b"}, "a;;b", "t.;t.;t.a;t.;t.b"},
      {{"", ""}, "", "t.;t."},
      {{"a;b", "c"}, "a;b;c", "t.a;b;t.c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    TvekRecordSet set = MakeSet(c.names, {});
    EXPECT_EQ(set.FieldList(), c.list);
    EXPECT_EQ(set.QualifiedFieldList(), c.qualified);

    TvekSQLOutput output;
    for (const std::string& name : c.names) output.AddField()->Name = name;
    EXPECT_EQ(output.FieldNameList(), c.list);
  }
}

// ---- Rows ------------------------------------------------------------------------

TEST(RecordSet, AddRecordGivesOneEmptyCellPerColumn) {
  TvekRecordSet bare;
  EXPECT_EQ(bare.AddRecord(), 0);
  EXPECT_EQ(bare.Records[0].FieldCount(), 0);
  EXPECT_FALSE(bare.Modified);

  TvekRecordSet set = MakeSet({"a", "b"}, {{"1", "2"}});
  EXPECT_EQ(set.AddRecord(), 1);
  EXPECT_EQ(CellsOf(set), (Rows{{"1", "2"}, {"", ""}}));
  EXPECT_TRUE(set.Modified);
}

TEST(RecordSet, DeleteRecordIgnoresIndexesOutside) {
  TvekRecordSet set = MakeSet({"a"}, {{"1"}, {"2"}, {"3"}});
  for (int index : {-1, 3}) set.DeleteRecord(index);
  EXPECT_FALSE(set.Modified);
  EXPECT_EQ(set.RecordCount(), 3);

  set.DeleteRecord(1);
  EXPECT_EQ(CellsOf(set), (Rows{{"1"}, {"3"}}));
  EXPECT_TRUE(set.Modified);
}

TEST(RecordSet, GetRecordIsNullWithoutRowsAndRaisesOutside) {
  TvekRecordSet empty = MakeSet({"a"}, {});
  for (int index : {-1, 0, 5}) EXPECT_EQ(empty.GetRecord(index), nullptr);

  TvekRecordSet set = MakeSet({"a"}, {{"1"}, {"2"}});
  EXPECT_EQ(set.GetRecord(1)->Cell(0), "2");
  for (int index : {-1, 2}) {
    SCOPED_TRACE(index);
    try {
      set.GetRecord(index);
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_EQ(std::string(e.what()), "List index (" + std::to_string(index) + ") out of bounds");
    }
  }
}

TEST(RecordSet, ClearEmptiesColumnsAndRowsOnly) {
  TvekRecordSet set = MakeSet({"a"}, {{"1"}});
  set.Aggregates = {toNone};
  set.Persistent = true;
  set.FileName = "/x/t.txt";
  set.Clear();
  EXPECT_EQ(set.FieldCount(), 0);
  EXPECT_EQ(set.RecordCount(), 0);
  EXPECT_TRUE(set.Aggregates.empty());
  EXPECT_EQ(set.Name, "t");
  EXPECT_TRUE(set.Persistent);
  EXPECT_EQ(set.FileName, "/x/t.txt");
}

// ---- Output columns ----------------------------------------------------------------

TEST(SQLOutput, NumbersItsColumnsFromZero) {
  TvekSQLOutput output;
  TvekSQLCalcField* first = output.AddField();
  TvekSQLCalcField* second = output.AddField();
  EXPECT_EQ(output.Count(), 2);
  EXPECT_EQ(output.GetField(0), first);
  EXPECT_EQ(output.GetField(1), second);
  EXPECT_EQ(output.GetField(2), nullptr);
  EXPECT_EQ(output.GetField(-1), nullptr);
  output.Clear();
  EXPECT_EQ(output.Count(), 0);
  EXPECT_EQ(output.GetField(0), nullptr);
}

}  // namespace
}  // namespace vek

// Grouping of result record sets: every aggregate over one row, many rows and
// texts that are no numbers, grouping by one and several keys compared exactly,
// grouping without aggregates, aggregates over no rows, unknown keys, and
// GROUP BY with HAVING through SQL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/vekSQL.h"
#include "engine/vekSQL_select.h"
#include "records_test_util.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace vek {
namespace {

using testing::Rows;
using Cells = std::vector<std::vector<std::string>>;

TvekRecordSet MakeResult(const std::vector<std::string>& names,
                         const std::vector<TTokenOperator>& aggregates, const Cells& cells) {
  TvekRecordSet set = testing::MakeSet(names, cells);
  set.Name = "$$$0";
  set.Aggregates = aggregates;
  return set;
}

class GroupTest : public ::testing::Test {
 protected:
  // Groups and returns the rows as "a|b" texts, the header first.
  std::vector<std::string> Group(TvekRecordSet& set, std::string_view group_text,
                                 bool has_aggregate = true) {
    Status s = GroupBy(engine_, set, group_text, has_aggregate);
    EXPECT_TRUE(s.ok()) << s.message();
    return Rows(set);
  }

  rtl::ScopedSeparators separators_{'.', ','};
  TvekSQL engine_;
};

// ---- Each aggregate over the rows of one group ---------------------------------

struct AggregateCase {
  const char* name;
  TTokenOperator kind;
  std::vector<std::string> values;
  std::string expected;
};

const AggregateCase kAggregateCases[] = {
    {"count_one_row", tosqlCount, {"5"}, "1"},
    {"count_counts_every_row_whatever_its_value", tosqlCount, {"1", "abc", "", "nan"}, "4"},
    // A single row keeps its own text: nothing was added to it.
    {"sum_one_row_keeps_its_text", tosqlSum, {"1.50"}, "1.50"},
    {"sum_one_non_number_keeps_its_text", tosqlSum, {"abc"}, "abc"},
    {"sum_many_rows", tosqlSum, {"1", "2", "3.5"}, "6.5"},
    {"sum_non_numbers_count_as_zero", tosqlSum, {"2", "abc", "", "inf", "0x10"}, "2"},
    {"sum_negative_and_fractions", tosqlSum, {"-1.25", "0.25", "3"}, "2"},
    {"sum_of_tenths_is_rounded_to_15_digits", tosqlSum, {"0.1", "0.2"}, "0.3"},
    {"avg_one_row_keeps_its_text", tosqlAvg, {"7.0"}, "7.0"},
    {"avg_two_rows", tosqlAvg, {"2", "5"}, "3.5"},
    {"avg_many_rows", tosqlAvg, {"1", "2", "3", "4"}, "2.5"},
    {"avg_non_numbers_count_as_zero", tosqlAvg, {"4", "abc"}, "2"},
    // The running average is carried as its 15-digit text from row to row: after
    // 1, 1, 2 it is 1.33333333333333, which the last row turns into just below 1.
    {"avg_running_text_rounding_shows", tosqlAvg, {"1", "1", "2", "0"}, "0.999999999999997"},
    {"max_keeps_the_rows_text", tosqlMAX, {"3", "05", "4", "5.0"}, "05"},
    {"max_negatives", tosqlMAX, {"-5", "-1", "-3"}, "-1"},
    {"max_non_numbers_count_as_zero", tosqlMAX, {"-1", "abc", "-2"}, "abc"},
    {"max_all_texts_gives_the_first", tosqlMAX, {"pear", "apple", "zoo"}, "pear"},
    // "nan" and "inf" read as no number: 0, never an undefined comparison.
    {"max_nan_and_inf_are_zero", tosqlMAX, {"5", "nan", "inf", "1e3"}, "1e3"},
    {"max_nan_first_is_zero", tosqlMAX, {"nan", "-1", "2"}, "2"},
    {"min_keeps_the_rows_text", tosqlMIN, {"3", "1.0", "2", "1"}, "1.0"},
    {"min_non_numbers_count_as_zero", tosqlMIN, {"4", "x", "2"}, "x"},
    {"min_nan_is_zero", tosqlMIN, {"nan", "-inf", "3"}, "nan"},
    {"stddev_one_row", tosqlStdDev, {"5"}, "0"},
    {"stddev_one_non_number", tosqlStdDev, {"abc"}, "0"},
    {"stddev_population", tosqlStdDev, {"2", "4", "4", "4", "5", "5", "7", "9"}, "2"},
    {"stddev_two_rows", tosqlStdDev, {"1", "2"}, "0.5"},
    {"stddev_non_numbers_count_as_zero", tosqlStdDev, {"abc", "2"}, "1"},
    // The variance of three equal tenths computes a hair below 0.
    {"stddev_equal_fractions_is_zero", tosqlStdDev, {"0.1", "0.1", "0.1"}, "0"},
};

TEST_F(GroupTest, EachAggregateFoldsAllRowsWithoutGroupBy) {
  for (const AggregateCase& c : kAggregateCases) {
    SCOPED_TRACE(c.name);
    Cells cells;
    for (const std::string& v : c.values)
      cells.push_back({v, "plain" + std::to_string(cells.size())});
    TvekRecordSet set = MakeResult({"v", "p"}, {c.kind, toNone}, cells);
    EXPECT_EQ(Group(set, ""), (std::vector<std::string>{"v|p", c.expected + "|plain0"}));
  }
}

TEST_F(GroupTest, AverageFollowsTheProcessDecimalSeparator) {
  rtl::ScopedSeparators comma(',', '.');
  TvekRecordSet set = MakeResult({"m"}, {tosqlAvg}, {{"1,5"}, {"2"}});
  EXPECT_EQ(Group(set, ""), (std::vector<std::string>{"m", "1,75"}));
}

TEST_F(GroupTest, TwoAveragesOverEqualColumnsAreEqual) {
  TvekRecordSet set = MakeResult({"m1", "m2"}, {tosqlAvg, tosqlAvg},
                                 {{"0.1", "0.1"}, {"0.7", "0.7"}, {"1.3", "1.3"}, {"2", "2"}});
  std::vector<std::string> rows = Group(set, "");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(set.Records[0].Cell(0), set.Records[0].Cell(1));
}

// ---- Groups ----------------------------------------------------------------------

// (a, b): (x, 1), (y, 2), (x, 3), (z, 4), (y, 5): groups in order of first appearance.
const Cells kXyz = {{"x", "1"}, {"y", "2"}, {"x", "3"}, {"z", "4"}, {"y", "5"}};

TEST_F(GroupTest, OneKeyKeepsGroupsInOrderOfFirstAppearance) {
  struct Case {
    TTokenOperator kind;
    std::vector<std::string> expected;
  } cases[] = {
      {tosqlSum, {"a|s", "x|4", "y|7", "z|4"}},   {tosqlCount, {"a|s", "x|2", "y|2", "z|1"}},
      {tosqlAvg, {"a|s", "x|2", "y|3.5", "z|4"}}, {tosqlMAX, {"a|s", "x|3", "y|5", "z|4"}},
      {tosqlMIN, {"a|s", "x|1", "y|2", "z|4"}},   {tosqlStdDev, {"a|s", "x|1", "y|1.5", "z|0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TvekRecordSet set = MakeResult({"a", "s"}, {toNone, c.kind}, kXyz);
    EXPECT_EQ(Group(set, "a"), c.expected);
  }
}

TEST_F(GroupTest, KeyNamesIgnoreLetterCase) {
  TvekRecordSet set = MakeResult({"Name", "n"}, {toNone, tosqlCount}, kXyz);
  EXPECT_EQ(Group(set, "NAME"), (std::vector<std::string>{"Name|n", "x|2", "y|2", "z|1"}));
}

TEST_F(GroupTest, KeysCompareAsExactTuples) {
  struct Case {
    const char* name;
    Cells cells;
    std::vector<std::string> expected;
  } cases[] = {
      // Joined with "|" these two keys would both read "a|b||".
      {"bar_inside_keys", {{"a|b", "", "1"}, {"a", "b|", "1"}}, {"k1|k2|n", "a|b||1", "a|b||1"}},
      {"letter_case",
       {{"Smith", "", "1"}, {"smith", "", "1"}},
       {"k1|k2|n", "Smith||1", "smith||1"}},
      {"number_texts", {{"1", "", "1"}, {"1.0", "", "1"}}, {"k1|k2|n", "1||1", "1.0||1"}},
      {"empty_cells", {{"", "", "1"}, {"", "x", "1"}, {"", "", "1"}}, {"k1|k2|n", "||2", "|x|1"}},
      {"trailing_blank", {{"a", "b", "1"}, {"a", "b ", "1"}}, {"k1|k2|n", "a|b|1", "a|b |1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TvekRecordSet set = MakeResult({"k1", "k2", "n"}, {toNone, toNone, tosqlCount}, c.cells);
    EXPECT_EQ(Group(set, "k1;k2"), c.expected);
  }
}

TEST_F(GroupTest, SeveralKeysAndPlainColumnsFromTheGroupsFirstRow) {
  TvekRecordSet set =
      MakeResult({"city", "year", "note", "total"}, {toNone, toNone, toNone, tosqlSum},
                 {{"Oslo", "2020", "first", "1"},
                  {"Rome", "2020", "second", "2"},
                  {"Oslo", "2021", "third", "4"},
                  {"Oslo", "2020", "fourth", "8"},
                  {"Rome", "2020", "fifth", "16"}});
  EXPECT_EQ(Group(set, "city;year"),
            (std::vector<std::string>{"city|year|note|total", "Oslo|2020|first|9",
                                      "Rome|2020|second|18", "Oslo|2021|third|4"}));
}

TEST_F(GroupTest, WithoutAggregatesGroupByListsDistinctKeys) {
  TvekRecordSet set = MakeResult({"a", "b"}, {toNone, toNone}, kXyz);
  EXPECT_EQ(Group(set, "a", false), (std::vector<std::string>{"a|b", "x|1", "y|2", "z|4"}));
}

TEST_F(GroupTest, NeitherKeysNorAggregatesLeavesTheRows) {
  TvekRecordSet set = MakeResult({"a", "b"}, {toNone, toNone}, kXyz);
  EXPECT_EQ(Group(set, "", false).size(), kXyz.size() + 1);
}

// An unaliased count(a) is named a; grouping by it groups by the argument's
// values and then shows the counts.
TEST_F(GroupTest, KeyColumnThatIsItselfAnAggregate) {
  TvekRecordSet set = MakeResult({"a"}, {tosqlCount}, {{"x"}, {"y"}, {"x"}, {"x"}});
  EXPECT_EQ(Group(set, "a"), (std::vector<std::string>{"a", "3", "1"}));
}

TEST_F(GroupTest, ManyGroupsEachFoldedOnce) {
  // 20000 rows over 997 keys of equal length and equal first characters.
  Cells cells;
  for (int i = 0; i < 20000; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "key%05d", i % 997);
    cells.push_back({key, std::to_string(i), std::to_string(i)});
  }
  TvekRecordSet set = MakeResult({"k", "n", "s"}, {toNone, tosqlCount, tosqlSum}, cells);
  ASSERT_TRUE(GroupBy(engine_, set, "k", true).ok());
  ASSERT_EQ(set.RecordCount(), 997);
  for (int g = 0; g < 997; ++g) {
    SCOPED_TRACE(g);
    char key[16];
    std::snprintf(key, sizeof key, "key%05d", g);
    EXPECT_EQ(set.Records[g].Cell(0), key);
    int count = (20000 - g + 996) / 997;
    long long sum = 0;
    for (int i = g; i < 20000; i += 997) sum += i;
    EXPECT_EQ(set.Records[g].Cell(1), std::to_string(count));
    EXPECT_EQ(set.Records[g].Cell(2), std::to_string(sum));
    EXPECT_FALSE(set.Records[g].Marked);
  }
}

// ---- Sums: exact while they can be, always the carried-text rule's texts ---------

// The sum carried from row to row as its 15-digit text: the rule every sum's
// text follows, however the engine computes it.
std::string CarriedSum(const std::vector<std::string>& values) {
  if (values.size() == 1) return values[0];
  double number = NumberOrZero(values[0]);
  double exact = 0.0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    exact = number + NumberOrZero(values[i]);
    number = rtl::ThroughGeneralText(exact);
  }
  return rtl::FloatToText(exact);
}

std::string EngineSum(TvekSQL& engine, const std::vector<std::string>& values) {
  Cells cells;
  for (const std::string& v : values) cells.push_back({v});
  TvekRecordSet set = MakeResult({"s"}, {tosqlSum}, cells);
  EXPECT_TRUE(GroupBy(engine, set, "", true).ok());
  return std::string(set.Records[0].Cell(0));
}

TEST_F(GroupTest, SumsGiveTheCarriedTextsOfTheirRows) {
  struct Case {
    const char* name;
    std::vector<std::string> values;
    std::string expected;
  };
  const Case cases[] = {
      {"cents", {"0.10", "0.20", "0.30"}, "0.6"},
      {"mixed_decimals", {"1", "2.5", "0.125", "3."}, "6.625"},
      {"reaches_a_power_of_ten", {"999.99", "0.01"}, "1000"},
      {"signs_and_forms", {"+1.5", "-.5", "-0", "7"}, "8"},
      {"other_texts_read_as_numbers", {"1", " 2", "3e1", "abc", ""}, "33"},
      {"fifteen_digits", {"99999999999999.8", "0.1"}, "99999999999999.9"},
      // Beyond 15 digits the carried text rounds.
      {"past_fifteen_digits", {"999999999999999", "1", "0.4"}, "1E15"},
      {"sixteen_decimals", {"0.1234567890123456", "1"}, "1.12345678901235"},
      {"twenty_decimals", {"0.00000000000000000001", "1", "2"}, "3"},
      // A sum that cancels keeps the carried double's rounding: the first cell
      // stands as the double nearest to it, whose error shows once the large
      // part is gone.
      {"cancelling", {"100000000000000.01", "-100000000000000", "0"}, "0.015625"},
      {"cancelling_to_zero", {"123.45", "-123.45"}, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CarriedSum(c.values), c.expected);
    EXPECT_EQ(EngineSum(engine_, c.values), c.expected);
  }
}

TEST_F(GroupTest, RandomSumsGiveTheCarriedTexts) {
  // Seeded runs of decimals of different scales and magnitudes, one sign or
  // both, with now and then a text of another form: the engine's sum must be
  // the carried text's to the character, before and after any fallback.
  std::mt19937_64 random(20261211);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int run = 0; run < 3000; ++run) {
    const int magnitude = pick(16);
    const bool both_signs = pick(3) == 0;
    const bool odd_texts = pick(4) == 0;
    std::vector<std::string> values(1 + pick(run % 10 == 0 ? 400 : 12));
    for (std::string& v : values) {
      if (odd_texts && pick(8) == 0) {
        const char* odd[] = {"abc", "", " 4", "1e3", "0.30000000000000004", "-0", ".5", "7."};
        v = odd[pick(8)];
        continue;
      }
      const int scale = pick(5);
      std::int64_t units = static_cast<std::int64_t>(random() % 1000000000000000ULL);
      for (int i = 0; i < 15 - std::min(15, magnitude + scale); ++i) units /= 10;
      std::string digits = std::to_string(units);
      if (scale > 0) {
        digits.insert(0, static_cast<std::size_t>(std::max(0, scale + 1 - int(digits.size()))), '0');
        digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
      }
      v = (both_signs && pick(2) == 0 ? "-" : "") + digits;
    }
    SCOPED_TRACE(::testing::PrintToString(values));
    ASSERT_EQ(EngineSum(engine_, values), CarriedSum(values));
  }
}

TEST_F(GroupTest, SumsUnderADecimalCommaGiveTheCarriedTexts) {
  rtl::ScopedSeparators comma(',', '.');
  const std::vector<std::vector<std::string>> runs = {
      {"1,25", "2,5", "0,01"}, {"1.000", "2"}, {"0,1", "0,2"}, {"1,5", "1.5", "2"}};
  for (const auto& values : runs) {
    SCOPED_TRACE(::testing::PrintToString(values));
    EXPECT_EQ(EngineSum(engine_, values), CarriedSum(values));
  }
}

// ---- Groups of parts added up ------------------------------------------------------

// Folds the rows one by one; or in parts, each grouped on its own and added to
// the first part's groups, or where AddGroups refuses, folded row by row.
std::vector<std::string> FoldInParts(const std::vector<std::string>& names,
                                     const std::vector<TTokenOperator>& aggregates,
                                     const Cells& cells, std::string_view keys,
                                     const std::vector<std::size_t>& cuts, int* refused = nullptr) {
  TvekRecordSet result = MakeResult(names, aggregates, {});
  GroupAccumulator groups;
  EXPECT_TRUE(groups.Start(result, keys, true).ok());
  TvekRecordSet rows = MakeResult(names, aggregates, cells);
  std::size_t from = 0;
  for (std::size_t part = 0; part <= cuts.size(); ++part) {
    const std::size_t to = part < cuts.size() ? cuts[part] : cells.size();
    TvekRecordSet part_result = MakeResult(names, aggregates, {});
    GroupAccumulator part_groups;
    EXPECT_TRUE(part_groups.Start(part_result, keys, true).ok());
    for (std::size_t r = from; r < to; ++r) part_groups.Add(rows.Records[r]);
    if (part == 0 || !groups.AddGroups(part_groups)) {
      if (part > 0 && refused != nullptr) ++*refused;
      for (std::size_t r = from; r < to; ++r) groups.Add(rows.Records[r]);
    }
    from = to;
  }
  groups.Finish();
  return Rows(result);
}

TEST_F(GroupTest, GroupsOfPartsAddUpToTheRowByRowAnswer) {
  // Seeded rows over a few keys, new keys showing up in later parts, with
  // counts, sums, maxima and minima of decimals of one sign or both, large
  // ones, ties written differently and other texts; cut into parts at random.
  std::mt19937_64 random(20261212);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const std::vector<std::string> names = {"k", "n", "s", "hi", "lo", "t"};
  const std::vector<TTokenOperator> kinds = {toNone, tosqlCount, tosqlSum, tosqlMAX, tosqlMIN,
                                             toNone};
  int refused = 0;
  for (int run = 0; run < 400; ++run) {
    const bool both_signs = pick(3) == 0;
    const int magnitude = pick(16);
    Cells cells(1 + pick(300));
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const int key = pick(3 + static_cast<int>(i) / 40);
      std::string value;
      if (pick(10) == 0) {
        const char* odd[] = {"abc", "", " 4", "1e3", "-0", ".5", "05", "5.0"};
        value = odd[pick(8)];
      } else {
        std::int64_t units = static_cast<std::int64_t>(random() % 1000000000000000ULL);
        for (int d = 0; d < 15 - magnitude; ++d) units /= 10;
        value = std::to_string(units);
        if (pick(2) == 0 && value.size() > 1) value.insert(value.size() - 1, ".");
        if (both_signs && pick(2) == 0) value.insert(0, "-");
      }
      cells[i] = {"k" + std::to_string(key), value, value, value, value, std::to_string(i)};
    }
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; (at += 1 + pick(60)) < cells.size();) cuts.push_back(at);
    SCOPED_TRACE(run);
    ASSERT_EQ(FoldInParts(names, kinds, cells, "k", cuts, &refused),
              FoldInParts(names, kinds, cells, "k", {}));
    ASSERT_EQ(FoldInParts(names, kinds, cells, "", cuts),
              FoldInParts(names, kinds, cells, "", {}));
  }
  EXPECT_GT(refused, 0);  // some parts were folded row by row
}

TEST_F(GroupTest, GroupsThatMayNotAddUpAreRefused) {
  struct Case {
    const char* name;
    TTokenOperator kind;
    std::vector<std::string> first, later;
  };
  const Case cases[] = {
      // Added exactly this would be 0.1; folded, the cancelling sum falls back
      // to the carried double of its first cell.
      {"sum_cancelling_across_parts", tosqlSum, {"99999999999999.9"}, {"-99999999999999.8"}},
      {"sum_past_fifteen_digits", tosqlSum, {"999999999999999"}, {"1"}},
      {"sum_of_a_text_of_another_form", tosqlSum, {"1"}, {"1e3"}},
      {"avg", tosqlAvg, {"1", "1"}, {"2", "0"}},
      {"stddev", tosqlStdDev, {"1"}, {"2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cells first, later;
    for (const std::string& v : c.first) first.push_back({v});
    for (const std::string& v : c.later) later.push_back({v});
    TvekRecordSet result = MakeResult({"a"}, {c.kind}, {});
    GroupAccumulator groups;
    ASSERT_TRUE(groups.Start(result, "", true).ok());
    TvekRecordSet rows = MakeResult({"a"}, {c.kind}, first);
    for (const TvekRecord& row : rows.Records) groups.Add(row);
    TvekRecordSet later_result = MakeResult({"a"}, {c.kind}, {});
    GroupAccumulator later_groups;
    ASSERT_TRUE(later_groups.Start(later_result, "", true).ok());
    TvekRecordSet later_rows = MakeResult({"a"}, {c.kind}, later);
    for (const TvekRecord& row : later_rows.Records) later_groups.Add(row);
    const std::vector<std::string> before = Rows(result);
    EXPECT_FALSE(groups.AddGroups(later_groups));
    EXPECT_EQ(Rows(result), before);
  }
}

// ---- No rows and errors ----------------------------------------------------------

TEST_F(GroupTest, AggregatesOverNoRowsAnswerOneRow) {
  TvekRecordSet set =
      MakeResult({"n", "s", "a", "mx", "mn", "sd", "p"},
                 {tosqlCount, tosqlSum, tosqlAvg, tosqlMAX, tosqlMIN, tosqlStdDev, toNone}, {});
  EXPECT_EQ(Group(set, ""), (std::vector<std::string>{"n|s|a|mx|mn|sd|p", "0||||||"}));
}

TEST_F(GroupTest, GroupByOverNoRowsAnswersNoRow) {
  TvekRecordSet set = MakeResult({"a", "n"}, {toNone, tosqlCount}, {});
  EXPECT_EQ(Group(set, "a"), (std::vector<std::string>{"a|n"}));
}

TEST_F(GroupTest, UnknownKeyFailsAndLeavesTheResult) {
  struct Case {
    const char* group_text;
    const char* error;
  } cases[] = {
      {"nosuch", "GROUP BY: unknown column nosuch"},
      {"a;nosuch", "GROUP BY: unknown column nosuch"},
      {"b;a;x", "GROUP BY: unknown column x"},
  };
  for (const Case& c : cases) {
    for (int row_count : {0, 5}) {
      SCOPED_TRACE(std::string(c.group_text) + " rows " + std::to_string(row_count));
      TvekRecordSet set =
          MakeResult({"a", "b"}, {toNone, tosqlSum}, Cells(kXyz.begin(), kXyz.begin() + row_count));
      std::vector<std::string> before = Rows(set);
      Status s = GroupBy(engine_, set, c.group_text, true);
      EXPECT_FALSE(s.ok());
      EXPECT_EQ(s.message(), c.error);
      EXPECT_EQ(Rows(set), before);
    }
  }
}

// ---- Through SQL -----------------------------------------------------------------

class GroupSqlTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("sales.txt",
               "region;item;qty\n"
               "north;pen;3\n"
               "south;pen;5\n"
               "north;ink;4\n"
               "east;pen;1\n"
               "south;cap;2\n"
               "north;pen;6\n");
    dir_.Write("empty.txt", "region;item;qty\n");
  }
};

TEST_F(GroupSqlTest, GroupByWithAggregates) {
  struct Case {
    const char* sql;
    std::vector<std::string> expected;
  } cases[] = {
      {"select region, sum(qty) as total from sales group by region",
       {"region|total", "north|13", "south|7", "east|1"}},
      {"select region, count(item) as n, max(qty) as top from sales group by region",
       {"region|n|top", "north|3|6", "south|2|5", "east|1|1"}},
      {"select region, item, count(qty) as n from sales group by region, item",
       {"region|item|n", "north|pen|2", "south|pen|1", "north|ink|1", "east|pen|1", "south|cap|1"}},
      {"select count(item) as n, avg(qty) as m, stddev(qty) as d from sales where qty > 3",
       {"n|m|d", "3|5|0.816496580927727"}},
      {"select region from sales group by region", {"region", "north", "south", "east"}},
      {"select count(qty) as n, sum(qty) as s from empty", {"n|s", "0|"}},
      {"select region, count(qty) as n from empty group by region", {"region|n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(c.sql), c.expected);
  }
}

TEST_F(GroupSqlTest, HavingTestsTheAggregatedColumns) {
  struct Case {
    const char* sql;
    std::vector<std::string> expected;
  } cases[] = {
      // Over an alias, and over an unaliased count, which is named by its argument.
      {"select region, count(item) as n from sales group by region having n > 1",
       {"region|n", "north|3", "south|2"}},
      {"select region, count(item) from sales group by region having item > 2",
       {"region|item", "north|3"}},
      {"select region, sum(qty) as total from sales group by region having total >= 7 and "
       "region <> 'north'",
       {"region|total", "south|7"}},
      {"select region, sum(qty) as total from sales group by region having total > 100",
       {"region|total"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Query(c.sql), c.expected);
  }
}

TEST_F(GroupSqlTest, UnknownGroupKeyFailsTheStatement) {
  EXPECT_EQ(Error("select region, count(qty) as n from sales group by nosuch"),
            "GROUP BY: unknown column nosuch");
  // The key is a result column: qty is a field of the table but not of the result.
  EXPECT_EQ(Error("select region, count(item) as n from sales group by qty"),
            "GROUP BY: unknown column qty");
}

}  // namespace
}  // namespace vek

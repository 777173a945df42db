// Grouping of SELECT results: one row per distinct key (the group's first row)
// with the aggregate columns folded over the group's rows. The running state of
// the aggregates lives in arrays of this file, never in the cells; the cells get
// their final texts once, after the pass.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Numbers.h"
#include "Separators.h"
#include "vekSQL_select.h"

namespace vek {
namespace {

}  // namespace

// A cell read as a number the way the run-time library's StrToFloat reads it:
// the process-wide decimal separator, no thousand separator; 0 when it does not
// read. "1,000" under a "," thousand separator is no number here.
double NumberOrZero(std::string_view text) {
  const char thousand = rtl::ThousandSeparator();
  if (thousand != rtl::DecimalSeparator() && text.find(thousand) != std::string_view::npos) {
    return 0.0;
  }
  return rtl::TextToFloat(text).value_or(0.0);
}

namespace {

// The number that reading the text of `value` gives back: rounded to 15
// significant digits, and 0 for an infinite or undefined value (whose texts
// "INF" and "NAN" read as no number). A running sum or average is carried from
// one row to the next as its text, so this rounding is visible: the average of
// 1, 1, 2, 0 is "0.999999999999997", not "1".
double ThroughText(double value) {
  // Whole numbers below 1E15 have at most 15 digits and come back unchanged;
  // sums of whole numbers then cost no formatting.
  if (value == std::trunc(value) && std::fabs(value) < 1e15) return value;
  return rtl::ThroughGeneralText(value);
}

bool IsAggregate(TTokenOperator kind) {
  switch (kind) {
    case tosqlCount:
    case tosqlSum:
    case tosqlAvg:
    case tosqlMAX:
    case tosqlMIN:
    case tosqlStdDev:
      return true;
    default:
      return false;
  }
}

struct AggregateColumn {
  int index;
  TTokenOperator kind;
};

// The running state of one aggregate column in one group.
struct AggregateState {
  // sum, avg: the cell's current text read as a number; max, min: the best
  // number so far; stddev: the sum of the values.
  double number = 0.0;
  // sum, avg: the unrounded last result, whose text the cell gets; stddev: the
  // sum of the squares.
  double exact = 0.0;
  // Rows folded in so far; for sum and avg, 1 means the first row's own text
  // still stands.
  std::int32_t count = 0;
  std::int32_t row = 0;  // max, min: the row whose text is the best so far
};

void StartGroup(const TvekRecord& row, int row_index, const AggregateColumn& column,
                AggregateState& state) {
  double x = column.kind == tosqlCount ? 0.0 : NumberOrZero(row.Cell(column.index));
  state.count = 1;
  state.number = x;
  state.row = row_index;
  if (column.kind == tosqlStdDev) state.exact = x * x;
}

void FoldRow(const TvekRecord& row, int row_index, const AggregateColumn& column,
             AggregateState& state) {
  if (column.kind == tosqlCount) {
    ++state.count;
    return;
  }
  double x = NumberOrZero(row.Cell(column.index));
  switch (column.kind) {
    case tosqlSum:
      state.exact = state.number + x;
      state.number = ThroughText(state.exact);
      ++state.count;
      break;
    case tosqlAvg: {
      double c = static_cast<double>(state.count);
      state.exact = (c * state.number + x) / (c + 1);
      state.number = ThroughText(state.exact);
      ++state.count;
      break;
    }
    case tosqlMAX:
      if (x > state.number) {
        state.number = x;
        state.row = row_index;
      }
      break;
    case tosqlMIN:
      if (x < state.number) {
        state.number = x;
        state.row = row_index;
      }
      break;
    case tosqlStdDev:
      ++state.count;
      state.number += x;
      state.exact += x * x;
      break;
    default:
      break;
  }
}

// Writes the group's final aggregate text into its first row.
void FinishGroup(std::vector<TvekRecord>& rows, int first_row, const AggregateColumn& column,
                 const AggregateState& state) {
  TvekRecord& row = rows[first_row];
  switch (column.kind) {
    case tosqlCount:
      row.SetCell(column.index, rtl::IntToText(state.count));
      break;
    case tosqlSum:
    case tosqlAvg:
      if (state.count > 1) row.SetCell(column.index, rtl::FloatToText(state.exact));
      break;
    case tosqlMAX:
    case tosqlMIN:
      // The best row's text as it stands: max("05", "5.0") is "05".
      if (state.row != first_row) row.SetCell(column.index, rows[state.row].Cell(column.index));
      break;
    case tosqlStdDev: {
      // Population deviation. Equal values such as 0.1, 0.1, 0.1 can leave a
      // variance a hair below 0; that is 0, not the root of a negative number.
      double n = static_cast<double>(state.count);
      double mean = state.number / n;
      double variance = state.exact / n - mean * mean;
      if (variance < 0) variance = 0;
      row.SetCell(column.index, rtl::FloatToText(state.count == 1 ? 0.0 : std::sqrt(variance)));
      break;
    }
    default:
      break;
  }
}

// Maps the key of a row (the tuple of its key cells, compared exactly) to its
// group, numbering groups in order of first appearance. Open addressing over
// group numbers: the keys stay in the rows' own cells, so no row costs an
// allocation. ("a|b", "") and ("a", "b|") are two keys.
class GroupIndex {
 public:
  GroupIndex(const std::vector<TvekRecord>& rows, const std::vector<int>& keys)
      : rows_(rows), keys_(keys), slots_(64) {}

  // The group of row `row`; a row with a key not seen before starts a new group.
  int GroupOf(int row) {
    std::uint32_t hash = Hash(rows_[row]);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.group < 0) {
        slot = {hash, static_cast<std::int32_t>(first_rows_.size())};
        first_rows_.push_back(row);
        if (first_rows_.size() * 2 > slots_.size()) Grow();
        return static_cast<int>(first_rows_.size()) - 1;
      }
      if (slot.hash == hash && SameKey(rows_[row], rows_[first_rows_[slot.group]])) {
        return slot.group;
      }
    }
  }

  // The first row of each group, by group number.
  std::vector<int>& first_rows() { return first_rows_; }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::int32_t group = -1;
  };

  std::uint32_t Hash(const TvekRecord& row) const {
    std::uint64_t h = 0;
    for (int k : keys_) {
      h = (h ^ std::hash<std::string_view>{}(row.Cell(k))) * 0x9E3779B97F4A7C15ULL;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }

  bool SameKey(const TvekRecord& a, const TvekRecord& b) const {
    for (int k : keys_) {
      if (a.Cell(k) != b.Cell(k)) return false;
    }
    return true;
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.group < 0) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].group >= 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  const std::vector<TvekRecord>& rows_;
  const std::vector<int>& keys_;
  std::vector<Slot> slots_;
  std::vector<int> first_rows_;
};

}  // namespace

Status GroupBy(TvekSQL& /*engine*/, TvekRecordSet& result, std::string_view group_text,
               bool has_aggregate) {
  std::vector<std::string> names;
  SplitText(group_text, names);
  std::vector<int> keys;
  keys.reserve(names.size());
  for (const std::string& name : names) {
    int index = result.FieldIndex(name);
    if (index < 0) return Status::Error("GROUP BY: unknown column " + name);
    keys.push_back(index);
  }
  if (keys.empty() && !has_aggregate) return Status::OK();

  std::vector<AggregateColumn> columns;
  for (int k = 0; k < result.FieldCount(); ++k) {
    TTokenOperator kind =
        k < static_cast<int>(result.Aggregates.size()) ? result.Aggregates[k] : toNone;
    if (IsAggregate(kind)) columns.push_back({k, kind});
  }

  std::vector<TvekRecord>& rows = result.Records;
  if (rows.empty()) {
    // Aggregates over no rows still answer one row, as SELECT count(a) FROM an
    // empty table answers 0; with a GROUP BY there is no group to answer for.
    if (keys.empty()) {
      TvekRecord& row = rows[result.AddRecord()];
      for (const AggregateColumn& column : columns) {
        if (column.kind == tosqlCount) row.SetCell(column.index, "0");
      }
    }
    return Status::OK();
  }

  // First the group of every row, then the folds: the states are allocated
  // once, for the number of groups that the first pass found.
  const int row_count = static_cast<int>(rows.size());
  std::vector<int> first_rows = {0};   // by group number
  std::vector<std::int32_t> group_of;  // by row; empty: all rows form group 0
  if (!keys.empty()) {
    GroupIndex index(rows, keys);
    group_of.resize(row_count);
    for (int i = 0; i < row_count; ++i) group_of[i] = index.GroupOf(i);
    first_rows.swap(index.first_rows());
  }
  auto group_of_row = [&group_of](int i) -> std::size_t {
    return group_of.empty() ? 0 : static_cast<std::size_t>(group_of[i]);
  };

  if (!columns.empty()) {
    const std::size_t width = columns.size();
    std::vector<AggregateState> states(first_rows.size() * width);
    for (int i = 0; i < row_count; ++i) {
      std::size_t group = group_of_row(i);
      AggregateState* state = states.data() + group * width;
      if (first_rows[group] == i) {
        for (std::size_t j = 0; j < width; ++j) StartGroup(rows[i], i, columns[j], state[j]);
      } else {
        for (std::size_t j = 0; j < width; ++j) FoldRow(rows[i], i, columns[j], state[j]);
      }
    }
    for (std::size_t g = 0; g < first_rows.size(); ++g) {
      for (std::size_t j = 0; j < width; ++j) {
        FinishGroup(rows, first_rows[g], columns[j], states[g * width + j]);
      }
    }
  }
  for (int i = 0; i < row_count; ++i) rows[i].Marked = first_rows[group_of_row(i)] != i;
  std::erase_if(rows, [](const TvekRecord& row) { return row.Marked; });
  return Status::OK();
}

}  // namespace vek

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

#include "engine/vekSQL_select.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

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

using AggregateColumn = GroupAccumulator::Column;

}  // namespace

// The running state of one aggregate column in one group.
struct GroupAccumulator::State {
  // sum, avg: the cell's current text read as a number; max, min: the best
  // number so far; stddev: the sum of the values.
  double number = 0.0;
  // sum, avg: the unrounded last result, whose text the cell gets; stddev: the
  // sum of the squares.
  double exact = 0.0;
  // Rows folded in so far; for sum and avg, 1 means the first row's own text
  // still stands.
  std::int32_t count = 0;
  // max, min: the text of the best row so far, when it is not the first row's.
  bool replaced = false;
  std::string best;
};

namespace {

using State = GroupAccumulator::State;

void StartGroup(const TvekRecord& row, const AggregateColumn& column, State& state) {
  double x = column.kind == tosqlCount ? 0.0 : NumberOrZero(row.Cell(column.index));
  state.count = 1;
  state.number = x;
  if (column.kind == tosqlStdDev) state.exact = x * x;
}

void FoldRow(const TvekRecord& row, const AggregateColumn& column, State& state) {
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
    case tosqlMIN:
      if (column.kind == tosqlMAX ? x > state.number : x < state.number) {
        // The best row's text as it stands: max("05", "5.0") is "05".
        state.number = x;
        state.replaced = true;
        state.best.assign(row.Cell(column.index));
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
void FinishGroup(TvekRecord& row, const AggregateColumn& column, const State& state) {
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
      if (state.replaced) row.SetCell(column.index, state.best);
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

}  // namespace

GroupAccumulator::GroupAccumulator() = default;
GroupAccumulator::~GroupAccumulator() = default;

Status GroupAccumulator::Start(TvekRecordSet& result, std::string_view group_text,
                               bool has_aggregate) {
  result_ = &result;
  std::vector<std::string> names;
  SplitText(group_text, names);
  keys_.clear();
  for (const std::string& name : names) {
    int index = result.FieldIndex(name);
    if (index < 0) return Status::Error("GROUP BY: unknown column " + name);
    keys_.push_back(index);
  }
  active_ = !keys_.empty() || has_aggregate;
  columns_.clear();
  for (int k = 0; k < result.FieldCount(); ++k) {
    TTokenOperator kind =
        k < static_cast<int>(result.Aggregates.size()) ? result.Aggregates[k] : toNone;
    if (IsAggregate(kind)) columns_.push_back({k, kind});
  }
  slots_.assign(64, Slot{});
  states_.clear();
  return Status::OK();
}

std::uint32_t GroupAccumulator::Hash(const TvekRecord& row) const {
  std::uint64_t h = 0;
  for (int k : keys_) {
    h = (h ^ std::hash<std::string_view>{}(row.Cell(k))) * 0x9E3779B97F4A7C15ULL;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool GroupAccumulator::SameKey(const TvekRecord& a, const TvekRecord& b) const {
  for (int k : keys_) {
    if (a.Cell(k) != b.Cell(k)) return false;
  }
  return true;
}

void GroupAccumulator::Grow() {
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

bool GroupAccumulator::Add(const TvekRecord& row) {
  const TvekRows& groups = result_->Records;
  const std::size_t width = columns_.size();
  int group = -1;
  if (keys_.empty()) {
    if (!groups.empty()) group = 0;
  } else {
    // Open addressing over group numbers; the keys stay in the groups' own
    // first rows, compared exactly as tuples: ("a|b", "") and ("a", "b|") are
    // two keys.
    std::uint32_t hash = Hash(row);
    std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    for (;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.group < 0) break;
      if (slot.hash == hash && SameKey(row, groups[slot.group])) {
        group = slot.group;
        break;
      }
    }
    if (group < 0) {
      slots_[i] = {hash, static_cast<std::int32_t>(groups.size())};
      if ((groups.size() + 1) * 2 > slots_.size()) Grow();
    }
  }
  if (group >= 0) {
    State* state = states_.data() + group * width;
    for (std::size_t j = 0; j < width; ++j) FoldRow(row, columns_[j], state[j]);
    return false;
  }
  states_.resize(states_.size() + width);
  State* state = states_.data() + states_.size() - width;
  for (std::size_t j = 0; j < width; ++j) StartGroup(row, columns_[j], state[j]);
  result_->AppendRow(row);
  return true;
}

void GroupAccumulator::Finish() {
  TvekRows& groups = result_->Records;
  if (groups.empty()) {
    // Aggregates over no rows still answer one row, as SELECT count(a) FROM an
    // empty table answers 0; with a GROUP BY there is no group to answer for.
    if (keys_.empty() && !columns_.empty()) {
      answered_no_rows_ = true;
      TvekRecord& row = groups[result_->AddRecord()];
      for (const AggregateColumn& column : columns_) {
        if (column.kind == tosqlCount) row.SetCell(column.index, "0");
      }
    }
    return;
  }
  const std::size_t width = columns_.size();
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::size_t j = 0; j < width; ++j) {
      FinishGroup(groups[g], columns_[j], states_[g * width + j]);
    }
  }
}

Status GroupBy(TvekSQL& /*engine*/, TvekRecordSet& result, std::string_view group_text,
               bool has_aggregate) {
  GroupAccumulator groups;
  if (Status s = groups.Start(result, group_text, has_aggregate); !s.ok()) return s;
  if (!groups.Active()) return Status::OK();
  // The rows leave the result (with their storage) and come back one per group.
  TvekRecordSet rows;
  rows.MoveRowsFrom(result);
  for (const TvekRecord& row : rows.Records) groups.Add(row);
  groups.Finish();
  return Status::OK();
}

}  // namespace vek

// Grouping of SELECT results: one row per distinct key (the group's first row)
// with the aggregate columns folded over the group's rows. The running state of
// the aggregates lives in arrays of this file, never in the cells; the cells get
// their final texts once, after the pass.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/vekSQL_select.h"
#include "engine/vekSQLTextHash.h"
#include "rtl/Numbers.h"
#include "rtl/Separators.h"

namespace vek {

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

namespace {

// A sum held exactly as a whole number of units of 10^-scale while its cells
// are plain decimals, so that no row pays for the 15-digit text of the running
// sum. The sum carried through its text (ThroughText above) gives the same
// number at every row as long as the double sum lands within half a unit of
// the 15th significant digit of the exact sum: then its text is the exact
// sum's, and so is the number read back from it. Each step checks a bound on
// that error; where it does not hold (long mixed-sign sums that cancel, more
// than 15 digits, cells that are no plain decimals), the state falls back to
// the carried double, which at that row equals the exact sum's double.
struct ExactSum {
  static constexpr int kMaxScale = 15;
  static constexpr std::int64_t kLimit = 1'000'000'000'000'000;  // 10^15

  std::int64_t units = 0;
  int scale = 0;
};

constexpr std::int64_t kPowersOfTen[] = {1,
                                         10,
                                         100,
                                         1000,
                                         10000,
                                         100000,
                                         1000000,
                                         10000000,
                                         100000000,
                                         1000000000,
                                         10000000000,
                                         100000000000,
                                         1000000000000,
                                         10000000000000,
                                         100000000000000,
                                         1000000000000000};

// [sign]digits[separator digits], at least one digit, the thousand separator
// never: the texts NumberOrZero reads exactly as this decimal. nullopt for any
// other text, which may still be a number (" 5", "1e3").
std::optional<ExactSum> ReadPlainDecimal(std::string_view text, char decimal) {
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::uint64_t units = 0;
  int digits = 0;
  int scale = -1;  // -1 until the separator
  for (; p < end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      if (units >= static_cast<std::uint64_t>(ExactSum::kLimit)) return std::nullopt;
      units = units * 10 + static_cast<std::uint64_t>(c - '0');
      ++digits;
      if (scale >= 0) ++scale;
    } else if (c == decimal && scale < 0) {
      scale = 0;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || scale > ExactSum::kMaxScale ||
      units >= static_cast<std::uint64_t>(ExactSum::kLimit)) {
    return std::nullopt;
  }
  const auto value = static_cast<std::int64_t>(units);
  return ExactSum{negative ? -value : value, scale < 0 ? 0 : scale};
}

// Brings `a` to `scale` decimals (never fewer); false when it would reach 10^15.
bool Rescale(ExactSum& a, int scale) {
  if (scale == a.scale) return true;
  const std::int64_t factor = kPowersOfTen[scale - a.scale];
  const std::int64_t limit = ExactSum::kLimit / factor;
  if (a.units >= limit || a.units <= -limit) return false;
  a.units *= factor;
  a.scale = scale;
  return true;
}

// The double nearest to the exact sum: both operands are exact doubles and the
// division is correctly rounded.
double Nearest(const ExactSum& a) {
  return static_cast<double>(a.units) / static_cast<double>(kPowersOfTen[a.scale]);
}

// The digits of n, below 10^15 (0 has none).
int DigitCount(std::int64_t n) {
  int count = 0;
  while (count < 16 && n >= kPowersOfTen[count]) ++count;
  return count;
}

// Adds `x` to `sum` when the carried double would give the same number: with
// a the carried sum and s = a + x, every double involved is within half an ulp
// (at most 2^-53 of its magnitude) of its exact value, so the double sum is
// off by at most 2^-53 (|a| + |x| + |s|) and a little more. Its 15-digit
// rounding is s when that stays under half a unit of s's 15th digit, taken one
// place lower when |s| is a power of ten (the digits just below it are finer).
// In units: |a| + |x| + |s| < 2^52 * 10^(D - 15), D the digits of |s| - 1.
// Terms of one sign always pass (the left side is 2|s|, below 2 * 10^D); only a
// sum that cancels can fail.
bool AddExactly(ExactSum& sum, ExactSum x) {
  const int scale = std::max(sum.scale, x.scale);
  if (!Rescale(sum, scale) || !Rescale(x, scale)) return false;
  const std::int64_t s = sum.units + x.units;
  if (s >= ExactSum::kLimit || s <= -ExactSum::kLimit) return false;
  if ((sum.units ^ x.units) < 0 && s != 0) {
    const std::int64_t magnitude = std::llabs(s);
    const double spread = static_cast<double>(std::llabs(sum.units)) +
                          static_cast<double>(std::llabs(x.units)) +
                          static_cast<double>(magnitude);
    // 2^52 * 10^(D - 15), shrunk by a millionth for the roundings neglected above.
    const double bound = 4503599627370496.0 * 0.999999 /
                         static_cast<double>(kPowersOfTen[15 - DigitCount(magnitude - 1)]);
    if (!(spread < bound)) return false;
  }
  // s == 0: the carried sum and the cell are opposite doubles; their sum is 0.
  sum.units = s;
  return true;
}

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
  // sum: the exact sum stands for `number` and `exact` while this is set.
  bool exact_sum = false;
  // sum: whether the exact sum has a term below 0, or above 0.
  bool negative_term = false;
  bool positive_term = false;
  ExactSum sum;
  std::string best;
};

namespace {

using State = GroupAccumulator::State;

// The cell as an exact decimal when NumberOrZero reads it as exactly that
// number: a plain decimal, or a text that reads as no number (0).
std::optional<ExactSum> ExactCell(std::string_view text) {
  const char decimal = rtl::DecimalSeparator();
  const char thousand = rtl::ThousandSeparator();
  // A thousand separator that is also the decimal one is dropped when read.
  if (thousand == decimal || (thousand >= '0' && thousand <= '9') || thousand == '-' ||
      thousand == '+') {
    return std::nullopt;
  }
  if (std::optional<ExactSum> x = ReadPlainDecimal(text, decimal)) return x;
  if (NumberOrZero(text) == 0.0) return ExactSum{};
  return std::nullopt;
}

// The cells of a row gathered as views, read like a row's.
struct CellViews {
  const std::vector<std::string_view>& cells;
  std::string_view Cell(int index) const {
    return static_cast<std::size_t>(index) < cells.size() ? cells[index] : std::string_view{};
  }
};

void NoteSign(State& state, std::int64_t units) {
  state.negative_term = state.negative_term || units < 0;
  state.positive_term = state.positive_term || units > 0;
}

void AppendGroupRow(TvekRecordSet& result, const TvekRecord& row) { result.AppendRow(row); }
void AppendGroupRow(TvekRecordSet& result, const CellViews& row) { result.AppendRow(row.cells); }

template <typename Row>
void StartGroup(const Row& row, const AggregateColumn& column, State& state) {
  const std::string_view cell = row.Cell(column.index);
  double x = column.kind == tosqlCount ? 0.0 : NumberOrZero(cell);
  state.count = 1;
  state.number = x;
  if (column.kind == tosqlStdDev) state.exact = x * x;
  if (column.kind == tosqlSum) {
    if (std::optional<ExactSum> exact = ExactCell(cell)) {
      state.exact_sum = true;
      state.sum = *exact;
      NoteSign(state, exact->units);
    }
  }
}

// Adds a row to an exact sum; false, with the state back on the carried double
// (as that double stands before this row), when it cannot stay exact.
bool FoldExactSum(std::string_view cell, State& state) {
  if (std::optional<ExactSum> x = ExactCell(cell)) {
    ExactSum sum = state.sum;
    if (AddExactly(sum, *x)) {
      state.sum = sum;
      NoteSign(state, x->units);
      ++state.count;
      return true;
    }
  }
  state.exact_sum = false;
  state.number = Nearest(state.sum);
  return false;
}

template <typename Row>
void FoldRow(const Row& row, const AggregateColumn& column, State& state) {
  if (column.kind == tosqlCount) {
    ++state.count;
    return;
  }
  if (state.exact_sum && FoldExactSum(row.Cell(column.index), state)) return;
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

// Whether `later`, the state of a group over rows that come after those of
// `state`, can be added to it with the result that folding those rows one by
// one would give. Counts add up, and the best of two maxima or minima is the
// one folding would keep. An exact sum adds up exactly when every term of both
// has one sign: then no step of the fold could have fallen back to the
// carried double, and the sum at the end is the largest the fold meets.
// Averages and deviations are carried from row to row and do not add up.
bool CanAdd(const AggregateColumn& column, const State& state, const State& later) {
  switch (column.kind) {
    case tosqlCount:
    case tosqlMAX:
    case tosqlMIN:
      return true;
    case tosqlSum: {
      if (!state.exact_sum || !later.exact_sum) return false;
      const bool negative = state.negative_term || later.negative_term;
      const bool positive = state.positive_term || later.positive_term;
      ExactSum sum = state.sum;
      return !(negative && positive) && AddExactly(sum, later.sum);
    }
    default:
      return false;
  }
}

// Adds `later` (CanAdd holds), whose group's first row is `later_row`.
void AddState(const AggregateColumn& column, State& state, const State& later,
              const TvekRecord& later_row) {
  switch (column.kind) {
    case tosqlCount:
      state.count += later.count;
      break;
    case tosqlSum:
      AddExactly(state.sum, later.sum);
      state.count += later.count;
      state.negative_term = state.negative_term || later.negative_term;
      state.positive_term = state.positive_term || later.positive_term;
      break;
    case tosqlMAX:
    case tosqlMIN:
      if (column.kind == tosqlMAX ? later.number > state.number : later.number < state.number) {
        state.number = later.number;
        state.replaced = true;
        state.best = later.replaced ? later.best : std::string(later_row.Cell(column.index));
      }
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
      if (state.count > 1) {
        row.SetCell(column.index,
                    rtl::FloatToText(state.exact_sum ? Nearest(state.sum) : state.exact));
      }
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

template <typename Row>
std::uint32_t GroupAccumulator::Hash(const Row& row) const {
  std::uint64_t h = 0;
  for (int k : keys_) {
    h = (h ^ HashText(row.Cell(k))) * 0x9E3779B97F4A7C15ULL;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

template <typename Row>
bool GroupAccumulator::SameKey(const Row& a, const TvekRecord& b) const {
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

bool GroupAccumulator::Add(const TvekRecord& row) { return AddRow(row); }

bool GroupAccumulator::Add(const std::vector<std::string_view>& cells) {
  return AddRow(CellViews{cells});
}

template <typename Row>
int GroupAccumulator::FindGroup(const Row& row, std::uint32_t hash, std::size_t& slot) const {
  const TvekRows& groups = result_->Records;
  if (keys_.empty()) return groups.empty() ? -1 : 0;
  // Open addressing over group numbers; the keys stay in the groups' own
  // first rows, compared exactly as tuples: ("a|b", "") and ("a", "b|") are
  // two keys.
  const std::size_t mask = slots_.size() - 1;
  for (slot = hash & mask;; slot = (slot + 1) & mask) {
    const Slot& s = slots_[slot];
    if (s.group < 0) return -1;
    if (s.hash == hash && SameKey(row, groups[s.group])) return s.group;
  }
}

template <typename Row>
State* GroupAccumulator::StartNewGroup(const Row& row, std::uint32_t hash, std::size_t slot) {
  const TvekRows& groups = result_->Records;
  if (!keys_.empty()) {
    slots_[slot] = {hash, static_cast<std::int32_t>(groups.size())};
    if ((groups.size() + 1) * 2 > slots_.size()) Grow();
  }
  const std::size_t width = columns_.size();
  states_.resize(states_.size() + width);
  AppendGroupRow(*result_, row);
  return states_.data() + states_.size() - width;
}

template <typename Row>
bool GroupAccumulator::AddRow(const Row& row) {
  const std::size_t width = columns_.size();
  const std::uint32_t hash = Hash(row);
  std::size_t slot = 0;
  const int group = FindGroup(row, hash, slot);
  if (group >= 0) {
    State* state = states_.data() + group * width;
    for (std::size_t j = 0; j < width; ++j) FoldRow(row, columns_[j], state[j]);
    return false;
  }
  State* state = StartNewGroup(row, hash, slot);
  for (std::size_t j = 0; j < width; ++j) StartGroup(row, columns_[j], state[j]);
  return true;
}

bool GroupAccumulator::AddGroups(const GroupAccumulator& later) {
  const TvekRows& theirs = later.result_->Records;
  const std::size_t width = columns_.size();
  // First every group is looked up and checked, so that nothing changes
  // unless all of them can be added.
  std::vector<Found>& found = found_;
  found.assign(theirs.size(), Found{});
  std::size_t slot = 0;
  for (std::size_t g = 0; g < theirs.size(); ++g) {
    found[g].hash = Hash(theirs[g]);
    found[g].group = FindGroup(theirs[g], found[g].hash, slot);
    if (found[g].group < 0) continue;
    for (std::size_t j = 0; j < width; ++j) {
      if (!CanAdd(columns_[j], states_[found[g].group * width + j],
                  later.states_[g * width + j])) {
        return false;
      }
    }
  }
  for (std::size_t g = 0; g < theirs.size(); ++g) {
    const State* their_states = later.states_.data() + g * width;
    if (found[g].group < 0) {
      // A group these rows start: its state is the one folding them gives.
      // Its slot is looked for again, as groups started before it may have
      // taken the one found or grown the table.
      FindGroup(theirs[g], found[g].hash, slot);
      State* state = StartNewGroup(theirs[g], found[g].hash, slot);
      std::copy(their_states, their_states + width, state);
      continue;
    }
    State* state = states_.data() + found[g].group * width;
    for (std::size_t j = 0; j < width; ++j) {
      AddState(columns_[j], state[j], their_states[j], theirs[g]);
    }
  }
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

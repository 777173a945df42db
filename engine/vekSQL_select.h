// The pieces of SELECT that work on a whole result record set: grouping with
// its aggregates, and ordering. The executors call them after the WHERE filter.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/vekSQLStatements.h"

namespace vek {

// Groups the rows of `result` by the ";"-separated result column names of
// `group_text` (empty: all rows form one group when `has_aggregate`), folding
// the aggregate columns named in result.Aggregates. Every cell of an aggregate
// column holds the per-row value of its argument on entry. Fails with
// "GROUP BY: unknown column " + name, leaving the result untouched.
Status GroupBy(TvekSQL& engine, TvekRecordSet& result, std::string_view group_text,
               bool has_aggregate);

// Grouping one row at a time: each finished result row either starts a group
// (and becomes the group's row in `result`) or is folded into its group.
class GroupAccumulator {
 public:
  GroupAccumulator();
  ~GroupAccumulator();
  // Sets up grouping into `result` (its FieldNames and Aggregates set, its rows
  // empty) by the ";"-separated result column names of `group_text`. Fails with
  // "GROUP BY: unknown column " + name.
  Status Start(TvekRecordSet& result, std::string_view group_text, bool has_aggregate);
  // False when there is nothing to group: no key and no aggregate column.
  bool Active() const { return active_; }
  // True when the row started a group (a copy of it became the group's row in
  // the result); otherwise it was folded into its group.
  bool Add(const TvekRecord& row);
  // The same for a row given as its cells, one per result column.
  bool Add(const std::vector<std::string_view>& cells);
  // Adds the groups of `later`, an accumulator started the same way over the
  // rows that come after those added so far, when the answer is then the one
  // adding those rows one by one gives; false, with nothing changed, when it
  // may not be (averages, deviations, sums that are not exact or whose terms
  // have both signs). Groups new here come in `later`'s order.
  bool AddGroups(const GroupAccumulator& later);
  // Writes the aggregates' final texts.
  void Finish();
  // True when Finish answered aggregates over no rows with a row of its own:
  // its counts are "0" and every other cell stands for no value.
  bool AnsweredNoRows() const { return answered_no_rows_; }

  struct State;
  struct Column {
    int index;
    TTokenOperator kind;
  };

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::int32_t group = -1;
  };
  template <typename Row>
  bool AddRow(const Row& row);
  // The group of the row's key, or -1 with `slot` where a new one would go.
  template <typename Row>
  int FindGroup(const Row& row, std::uint32_t hash, std::size_t& slot) const;
  // Lists a new group whose first row is `row`: its states, to be started.
  template <typename Row>
  State* StartNewGroup(const Row& row, std::uint32_t hash, std::size_t slot);
  template <typename Row>
  std::uint32_t Hash(const Row& row) const;
  template <typename Row>
  bool SameKey(const Row& a, const TvekRecord& b) const;
  void Grow();

  TvekRecordSet* result_ = nullptr;
  std::vector<int> keys_;
  std::vector<Column> columns_;
  std::vector<Slot> slots_;
  std::vector<State> states_;
  struct Found {
    std::uint32_t hash = 0;
    int group = -1;
  };
  std::vector<Found> found_;  // AddGroups' look-ups
  bool active_ = false;
  bool answered_no_rows_ = false;
};

// A cell read as a number by grouping and "#" ordering keys: the process-wide
// decimal separator, no thousand separator; 0 when it does not read.
double NumberOrZero(std::string_view text);

// Sorts `result` by the ";"-separated keys of `order_text`, each an optional
// "#" (numeric), a result column name and an optional "+" or "-". Fails with
// "ORDER BY: unknown column " + name, leaving the result unsorted.
Status OrderBy(TvekSQL& engine, TvekRecordSet& result, std::string_view order_text);

}  // namespace vek

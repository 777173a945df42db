// The product of several tables filtered by a WHERE condition, walked without
// visiting every combination when the condition allows it.
#pragma once

#include <functional>
#include <vector>

#include "engine/vekSQLRowResolver.h"
#include "engine/vekSQLStatements.h"

namespace vek {

enum class JoinOutcome {
  kDone,             // every passing combination was visited
  kStopped,          // the visitor asked to stop
  kConditionFailed,  // the condition is no truth value for some combination
};

// A walk over the combinations of rows of the resolver's entries that a WHERE
// condition accepts, without visiting every combination.
class HashJoin {
 public:
  HashJoin();
  ~HashJoin();
  HashJoin(const HashJoin&) = delete;
  HashJoin& operator=(const HashJoin&) = delete;

  // True when the condition tokens[first..last] is a conjunction ("c1 AND c2
  // ...", no OR at the top) whose conjuncts each read at most one entry, or
  // are equalities "a.x = b.y" of columns of two entries; false otherwise (the
  // walk is then not for this condition).
  bool Compile(const std::vector<TToken>& tokens, int first, int last, RowResolver& resolver);
  // Binds the conjuncts' names to the entries' columns now, for rows that
  // come without their column names. A source that throws passes through.
  void Bind();

  // Visits exactly the combinations a nested loop over the whole product
  // would accept, in the same order (the first entry varying slowest), with
  // the resolver's rows set to each of them; and fails exactly when the nested
  // loop would. `visit` returns false to stop.
  //
  // The first entry's rows may be given a piece at a time: `next_rows`, when
  // set, replaces the resolver's set of the first entry by the next piece and
  // returns false after the last (or when the rows cannot be read, which the
  // caller reports). Each piece is walked as it comes, so combinations of
  // earlier pieces may have been visited when a later row's condition fails.
  // `handled`, when set, is asked before each piece and returns true where the
  // caller has answered that piece itself.
  //
  // The later entries' rows are looked at once, at the first walk; further
  // walks (over other pieces of the first entry) reuse what was found.
  JoinOutcome Walk(const std::function<bool()>& visit, const std::function<bool()>& next_rows = {},
                   const std::function<bool()>& handled = {});

 private:
  struct Equality;
  struct Filter;
  struct Level;
  bool Holds(Filter& filter, bool& result);
  bool SelectCandidates(int entry);
  bool Prepare();
  bool WalkFrom(int entry, const std::function<bool()>& visit);

  RowResolver* resolver_ = nullptr;
  std::vector<Equality> equalities_;
  std::vector<std::vector<Filter>> row_filters_;
  std::vector<Filter> constant_filters_;
  bool prepared_ = false;
  bool prepared_ok_ = false;  // no later table's own condition failed
  bool all_constants_hold_ = true;
  std::vector<std::vector<int>> candidates_;
  std::vector<Level> levels_;
  rtl::Variant value_;
};

}  // namespace vek

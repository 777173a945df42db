// The product of several tables filtered by a WHERE condition, walked without
// visiting every combination when the condition allows it.
#pragma once

#include <functional>

#include "engine/vekSQLRowResolver.h"
#include "engine/vekSQLStatements.h"

namespace vek {

enum class JoinOutcome {
  kDone,          // every passing combination was visited
  kStopped,       // the visitor asked to stop
  kConditionFailed,  // the condition is no truth value for some combination
  kNotApplicable,    // the condition has no shape the fast walk can use
};

// When the condition tokens[first..last] are a conjunction ("c1 AND c2 ...", no
// OR at the top) whose conjuncts each read at most one entry, or are equalities
// "a.x = b.y" of columns of two entries, visits exactly the combinations a
// nested loop over the whole product would accept, in the same order (the first
// entry varying slowest), with the resolver's rows set to each of them; and
// fails exactly when the nested loop would. Otherwise returns kNotApplicable
// without visiting anything. `visit` returns false to stop.
//
// The first entry's rows may be given a piece at a time: `next_rows`, when
// set, replaces the resolver's set of the first entry by the next piece and
// returns false after the last (or when the rows cannot be read, which the
// caller reports). Each piece is walked as it comes, so combinations of
// earlier pieces may have been visited when a later row's condition fails.
JoinOutcome HashJoin(const std::vector<TToken>& tokens, int first, int last, RowResolver& resolver,
                     const std::function<bool()>& visit,
                     const std::function<bool()>& next_rows = {});

}  // namespace vek

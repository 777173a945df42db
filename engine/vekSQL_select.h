// The pieces of SELECT that work on a whole result record set: grouping with
// its aggregates, and ordering. The executors call them after the WHERE filter.
#pragma once

#include <string_view>

#include "vekSQL.h"

namespace vek {

// Groups the rows of `result` by the ";"-separated result column names of
// `group_text` (empty: all rows form one group when `has_aggregate`), folding
// the aggregate columns named in result.Aggregates. Every cell of an aggregate
// column holds the per-row value of its argument on entry. Fails with
// "GROUP BY: unknown column " + name, leaving the result untouched.
Status GroupBy(TvekSQL& engine, TvekRecordSet& result, std::string_view group_text,
               bool has_aggregate);

// A cell read as a number by grouping and "#" ordering keys: the process-wide
// decimal separator, no thousand separator; 0 when it does not read.
double NumberOrZero(std::string_view text);

// Sorts `result` by the ";"-separated keys of `order_text`, each an optional
// "#" (numeric), a result column name and an optional "+" or "-". Fails with
// "ORDER BY: unknown column " + name, leaving the result unsorted.
Status OrderBy(TvekSQL& engine, TvekRecordSet& result, std::string_view order_text);

}  // namespace vek

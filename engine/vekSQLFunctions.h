// Internal to the evaluator: the built-in functions of the expression language
// (lower, left, dateadd, format ...), run by the evaluator on its value stack.
// Not part of the engine's public interface.
#pragma once

#include "engine/vekSQLTokenizer.h"
#include "rtl/Variant.h"

namespace vek {

bool IsFunctionOperator(TTokenOperator op);

// How many arguments the function takes (1 to 3); 0 for an operator that is no
// built-in function.
int FunctionArgCount(TTokenOperator op);

// Runs function `op` on args[0 .. FunctionArgCount(op) - 1] and writes its
// result into `out` (which must not be one of the arguments; its text buffer is
// reused). Returns false when the expression fails with it (a count that is no
// whole number, a sine of a text that is no number ...); `out` is then
// undefined.
bool RunFunction(TTokenOperator op, const rtl::Variant* args, rtl::Variant& out);

}  // namespace vek

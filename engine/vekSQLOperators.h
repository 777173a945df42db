// Internal to the evaluator: the value rules of the operators and the readings
// of a value as a number, a whole number or a text that the operators and the
// built-in functions share. Not part of the engine's public interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/Variant.h"

namespace vek {

// A value read as a number: text by the number rule under the process-wide
// separators, Boolean true as -1, empty as 0. Returns false when a text does
// not read as a number.
bool ValueToNumber(const rtl::Variant& v, double& out);

// A value read as a whole number: text by the whole-number rule, numbers rounded
// half to even, Boolean true as -1, empty as 0. Returns false for a text that is
// no whole number and for a number outside the 64-bit range.
bool ValueToWhole(const rtl::Variant& v, std::int64_t& out);

// The value's text without copying when it already is a text; otherwise the
// text is written into `scratch` and the view points there.
std::string_view ValueTextView(const rtl::Variant& v, std::string& scratch);

enum class ArithmeticOp : std::uint8_t { kAdd, kSubtract, kMultiply, kDivide };

// left := left op right by the kinds of the operands: two texts join with "+";
// a text with a number reads as a number; two whole numbers stay whole (as a
// floating number beyond 64 bits); Booleans count as -1 and 0; null with
// anything is null; empty with anything else is empty. Returns false on an
// evaluation error: a text that is no number, a division involving Booleans or
// empty as the table refuses, a result beyond the floating range (a division
// by zero gives infinity, no error).
bool Arithmetic(ArithmeticOp op, rtl::Variant& left, const rtl::Variant& right);

// Unary minus (negate) or plus: texts are read as numbers, Booleans as -1 and
// 0, empty stays empty. Returns false for a text that is no number.
bool UnarySign(rtl::Variant& v, bool negate);

// The three-way result of comparing two numbers that have no order (NaN).
inline constexpr int kUnordered = 2;

// Writes -1, 0, 1 or kUnordered into `out`: texts byte by byte, a text with a
// number numerically, a text with a Boolean against "True"/"False", Booleans
// with numbers as -1 and 0, empty equal to empty and below everything else.
// Returns false when a text that must be read as a number is none.
bool CompareValues(const rtl::Variant& left, const rtl::Variant& right, int& out);

// LIKE. Without "%" the texts are compared ignoring case under the locale. With
// "%" the pattern is a glob of literal pieces matched byte for byte in order:
// 'abc' like 'a%c', 'abab' like '%ab'; "%" alone matches every value.
bool Like(std::string_view value, std::string_view pattern);

}  // namespace vek

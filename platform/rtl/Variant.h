// The run-time library's variant: one value of a small set of kinds, used by the
// engine's evaluator (cells are text, constants numbers) and by the datasets'
// typed field access. Plain data: copying a text variant copies its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

enum class VarType : std::uint8_t {
  kEmpty,  // unassigned
  kNull,   // the datasets' null field value; the engine never makes one
  kText,
  kFloat,  // 64-bit floating number
  kInt,    // whole number, kept in 64 bits
  kBool,
  kDate,  // date serial (days since 1899-12-30) in `f`
};

struct Variant {
  VarType type = VarType::kEmpty;
  bool b = false;
  std::int64_t i = 0;
  double f = 0.0;
  std::string s;

  static Variant Empty() { return {}; }
  static Variant Null() {
    Variant v;
    v.type = VarType::kNull;
    return v;
  }
  static Variant Text(std::string_view text) {
    Variant v;
    v.type = VarType::kText;
    v.s.assign(text);
    return v;
  }
  static Variant Float(double value) {
    Variant v;
    v.type = VarType::kFloat;
    v.f = value;
    return v;
  }
  static Variant Int(std::int64_t value) {
    Variant v;
    v.type = VarType::kInt;
    v.i = value;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.type = VarType::kBool;
    v.b = value;
    return v;
  }
  static Variant Date(double serial) {
    Variant v;
    v.type = VarType::kDate;
    v.f = serial;
    return v;
  }

  // In-place setters that keep the text buffer's capacity, so a reused variant
  // (a slot of the evaluator's stack) does not allocate for short or repeated texts.
  void SetText(std::string_view text) {
    type = VarType::kText;
    s.assign(text);
  }
  void SetFloat(double value) {
    type = VarType::kFloat;
    f = value;
  }
  void SetInt(std::int64_t value) {
    type = VarType::kInt;
    i = value;
  }
  void SetBool(bool value) {
    type = VarType::kBool;
    b = value;
  }
  void SetEmpty() { type = VarType::kEmpty; }

  bool IsEmpty() const { return type == VarType::kEmpty; }
  bool IsNull() const { return type == VarType::kNull; }
  bool IsText() const { return type == VarType::kText; }
};

}  // namespace rtl

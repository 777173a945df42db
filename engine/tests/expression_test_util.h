// Shared by the tests of the evaluator and the built-in functions: a variable
// source over a map, the locale set up as the program does at start-up, and a
// one-line description of a value ("text:11", "number:2", "fail").
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/vekSQLExpression2.h"
#include "rtl/Separators.h"

namespace vek::testing {

// Names it knows answer their values; `failing` names make GetVariable fail,
// `throwing` names make it throw. Counts the bindings it was asked for.
class MapSource : public VariableSource {
 public:
  std::map<std::string, rtl::Variant> values;
  std::vector<std::string> failing;
  std::vector<std::string> throwing;
  std::vector<std::string> bound;  // every name BindVariable was asked for

  void Set(const std::string& name, const std::string& text) {
    values[name] = rtl::Variant::Text(text);
  }

  int BindVariable(std::string_view name) override {
    bound.emplace_back(name);
    std::string key(name);
    if (!values.count(key) && !Contains(failing, key) && !Contains(throwing, key)) return -1;
    handles_.push_back(key);
    return static_cast<int>(handles_.size()) - 1;
  }

  bool GetVariable(int handle, rtl::Variant& out) override {
    const std::string& name = handles_.at(static_cast<std::size_t>(handle));
    if (Contains(failing, name)) return false;
    if (Contains(throwing, name)) throw std::runtime_error("cell not readable");
    out = values.at(name);
    return true;
  }

 private:
  static bool Contains(const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& n : list) {
      if (n == name) return true;
    }
    return false;
  }
  std::vector<std::string> handles_;
};

// The kind and text of a value: "text:abc", "number:2", "whole:2", "bool:True",
// "empty".
inline std::string Describe(const rtl::Variant& v) {
  switch (v.type) {
    case rtl::VarType::kText:
      return "text:" + v.s;
    case rtl::VarType::kFloat:
      return "number:" + ValueToText(v);
    case rtl::VarType::kInt:
      return "whole:" + ValueToText(v);
    case rtl::VarType::kBool:
      return "bool:" + ValueToText(v);
    case rtl::VarType::kEmpty:
      return "empty";
    default:
      return "other:" + ValueToText(v);
  }
}

// Compiles `text` (a failed compile fails the test) and evaluates it once with
// `source`: the value described, or "fail" when the evaluation failed (whose
// result must then be the empty text).
inline std::string EvaluateText(const std::string& text, VariableSource* source) {
  TvekSQLExpression2 e;
  e.SetVariableSource(source);
  Status s = e.SetExpression(text);
  EXPECT_TRUE(s.ok()) << text << ": " << s.message();
  if (!s.ok()) return "compile error: " + s.message();
  rtl::Variant result;
  if (!e.Evaluate(result)) {
    EXPECT_EQ(Describe(result), "text:") << text;
    return "fail";
  }
  return Describe(result);
}

struct EvalCase {
  const char* text;
  const char* expected;  // as Describe writes it, or "fail"
};

// The locale as the program sets it at start-up; the separators "." and ","
// for every test unless it switches them itself.
class ExpressionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::setlocale(LC_ALL, "");
    rtl::InitLocaleSeparators();
  }
  void SetUp() override {
    rtl::SetDecimalSeparator('.');
    rtl::SetThousandSeparator(',');
  }

  void ExpectAll(const std::vector<EvalCase>& cases) {
    for (const EvalCase& c : cases) {
      SCOPED_TRACE(c.text);
      EXPECT_EQ(EvaluateText(c.text, &source_), c.expected);
    }
  }

  MapSource source_;
};

}  // namespace vek::testing

// Fuzzes the expression compiler and evaluator: the input is an expression's
// text, compiled and, when it compiles, evaluated twice (a program is run once
// per row) over a few variables of fixed values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/vekSQLExpression2.h"
#include "rtl/Separators.h"

namespace {

// Three columns of a row: a number, a text and a date; other names are unknown.
class RowSource : public vek::VariableSource {
 public:
  int BindVariable(std::string_view name) override {
    if (name == "n") return 0;
    if (name == "s") return 1;
    if (name == "d") return 2;
    return -1;
  }
  bool GetVariable(int handle, rtl::Variant& out) override {
    static const char* const kValues[] = {"12.5", "abc;'x'", "2024-02-29"};
    out = rtl::Variant::Text(kValues[handle]);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    rtl::SetDecimalSeparator('.');
    rtl::SetThousandSeparator(',');
    return true;
  }();
  (void)ready;

  RowSource source;
  vek::TvekSQLExpression2 expression;
  expression.SetVariableSource(&source);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!expression.SetExpression(text).ok()) return 0;
  (void)expression.ToString();
  rtl::Variant result;
  expression.Evaluate(result);
  expression.Evaluate(result);
  (void)vek::ValueToText(result);
  return 0;
}

// Named parameter values (the SQL text's ":name" placeholders take them).
// Look-ups ignore letter case; the first parameter of a name wins.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "rtl/Variant.h"

namespace db {

struct Param {
  std::string Name;
  rtl::Variant Value = rtl::Variant::Null();
};

class ParamList {
 public:
  // Appends a parameter with a null value. The reference stays valid until Clear.
  Param& CreateParam(std::string_view name);
  void Clear() { params_.clear(); }
  int Count() const { return static_cast<int>(params_.size()); }
  Param& operator[](int index) { return params_[static_cast<std::size_t>(index)]; }
  const Param& operator[](int index) const { return params_[static_cast<std::size_t>(index)]; }

  // nullptr when no parameter has that name.
  Param* FindParam(std::string_view name);
  // Throws DatabaseError "Parameter "<name>" not found" when absent.
  Param& ParamByName(std::string_view name);

 private:
  std::deque<Param> params_;
};

}  // namespace db

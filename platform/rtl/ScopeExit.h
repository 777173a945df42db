// The one scope guard: runs a step when the scope is left, by return or by an
// exception, unless dismissed first. Undoes a temporary state ("the filter
// state ends also when a handler throws") or, dismissed after the last step
// that may throw, a half-done change.
#pragma once

#include <utility>

namespace rtl {

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (armed_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

  // The step is not run after all: what it would undo is complete.
  void Dismiss() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace rtl

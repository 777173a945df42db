// The scope guard runs its step on return and on an exception, once, and not
// at all once dismissed.
#include "rtl/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace rtl {
namespace {

TEST(ScopeExitTest, RunsOnLeavingTheScopeUnlessDismissed) {
  int runs = 0;
  { ScopeExit guard([&] { ++runs; }); }
  EXPECT_EQ(runs, 1);

  try {
    ScopeExit guard([&] { ++runs; });
    throw std::runtime_error("step failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(runs, 2);

  {
    ScopeExit guard([&] { ++runs; });
    guard.Dismiss();
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace rtl

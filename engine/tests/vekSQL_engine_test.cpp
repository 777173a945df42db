// The engine object: CONNECT TO and the catalog it sets.
#include <string>

#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

class EngineObjectTest : public EngineTest {};

// The system reads a path up to its first NUL, so '<folder>\0x' would connect
// to <folder>: refused, and the catalog stays.
TEST_F(EngineObjectTest, ConnectRefusesAFolderHoldingANul) {
  dir_.Write("t.txt", "a\n1\n");
  TempFolder other;
  other.Write("t.txt", "b\n2\n");
  const std::string folder = other.path() + std::string("\0x", 2);
  EXPECT_EQ(Error("connect to '" + folder + "'"), "Invalid catalog: " + folder);
  EXPECT_EQ(engine_.Catalog(), dir_.path());
  EXPECT_EQ(Query("SELECT * FROM t"), (std::vector<std::string>{"a", "1"}));
}

}  // namespace
}  // namespace vek::testing

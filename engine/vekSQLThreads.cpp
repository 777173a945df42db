#include "engine/vekSQLThreads.h"

#include <sched.h>

#include <algorithm>

namespace vek {

int SpareProcessors() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 0;
  return std::min(CPU_COUNT(&allowed) - 1, 7);
}

}  // namespace vek

// Restart with glibc's huge-page heap tunable.
#include "HeapTuning.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace rtl {

namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kHugePages = "glibc.malloc.hugetlb=1";

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

}  // namespace

void UseHugePageHeap(char** argv) {
  if (UnderSanitizer() || argv == nullptr || argv[0] == nullptr) return;
  // Someone who set the variable chose the allocator's behaviour already.
  if (std::getenv(kTunables) != nullptr) return;
  if (::setenv(kTunables, kHugePages, 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // execv returned: carry on untuned, and leave no trace for child processes.
  ::unsetenv(kTunables);
}

}  // namespace rtl

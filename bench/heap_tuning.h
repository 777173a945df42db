// Process start-up tuning of the C library's allocator, for a benchmark's
// main(). A loaded table is many small allocations; where the kernel backs
// memory with 4 KiB pages, touching them the first time costs more than
// reading the file itself.
#pragma once

#include <unistd.h>

#include <cstdlib>

namespace bench {

inline bool UnderSanitizer() {
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

// Restarts the running program once (execv of /proc/self/exe with the same
// arguments) with glibc's heap asking the kernel for transparent huge pages,
// unless that is already set or the environment variable GLIBC_TUNABLES names
// other tunables. Returns normally when no restart happens (already tuned, not
// possible, or under a sanitizer, whose allocator this does not concern).
// Call first thing in main(), before any thread or file is opened.
inline void UseHugePageHeap(char** argv) {
  constexpr const char* kTunables = "GLIBC_TUNABLES";
  if (UnderSanitizer() || argv == nullptr || argv[0] == nullptr) return;
  // Someone who set the variable chose the allocator's behaviour already.
  if (std::getenv(kTunables) != nullptr) return;
  if (::setenv(kTunables, "glibc.malloc.hugetlb=1", 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // execv returned: carry on untuned, and leave no trace for child processes.
  ::unsetenv(kTunables);
}

}  // namespace bench

// Process start-up tuning of the C library's allocator. A loaded table is many
// small allocations; where the kernel backs memory with 4 KiB pages, touching
// them the first time costs more than reading the file itself.
#pragma once

namespace rtl {

// Restarts the running program once (execv of /proc/self/exe with the same
// arguments) with glibc's heap asking the kernel for transparent huge pages,
// unless that is already set or the environment variable GLIBC_TUNABLES names
// other tunables. Returns normally when no restart happens (already tuned, not
// possible, or under a sanitizer, whose allocator this does not concern).
// Call first thing in main(), before any thread or file is opened.
void UseHugePageHeap(char** argv);

}  // namespace rtl

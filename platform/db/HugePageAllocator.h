// An allocator for large arrays that grow with every record (a dataset's change
// log, tables indexed by record id): a block of 2 MiB or more is aligned to and
// sized in whole huge pages and marked for them, so that filling a million-row
// table takes one page fault per 2 MiB instead of one per 4 KiB. Smaller blocks
// come from the ordinary heap.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace db {

template <typename T>
class HugePageAllocator {
 public:
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    std::size_t bytes = count * sizeof(T);
    void* p = nullptr;
    if (bytes >= kHugePage) {
      p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
      if (p != nullptr) madvise(p, bytes, MADV_HUGEPAGE);
    } else {
      p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  template <typename U>
  friend bool operator==(const HugePageAllocator&, const HugePageAllocator<U>&) noexcept {
    return true;
  }
};

}  // namespace db

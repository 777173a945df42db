// A quick hash of a cell's text for the engine's own hash tables (join look-ups
// and grouping), where keys are short and looked up once per row: eight bytes
// at a time, mixed by multiplication. Only equality of the texts decides; the
// hash only spreads them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vek {

inline std::uint64_t HashText(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, n);
    h = (h ^ word) * 0xC4CEB9FE1A85EC53ULL;
  }
  return h ^ (h >> 29);
}

}  // namespace vek

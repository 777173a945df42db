// A bookmark names one record of one dataset: its record id and the generation
// the id had when the bookmark was taken. A record freed and its id reused get a
// new generation, so an old bookmark can be told from a live one.
#pragma once

#include <cstdint>

namespace db {

using RecordId = std::uint32_t;
inline constexpr RecordId kNoRecord = 0xFFFFFFFFu;

struct Bookmark {
  RecordId id = kNoRecord;
  std::uint32_t generation = 0;

  bool IsSet() const { return id != kNoRecord; }
  friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

}  // namespace db

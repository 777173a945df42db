// An exact-compare map from strings to pairs of integers, used as the SELECT's
// name space (table names and aliases to record-set numbers) and by grouping.
// Contract: letter case counts, the first entry added under a string wins, the
// empty string is never stored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vek {

class TmwStringHashList {
 public:
  // Stores (s, id, ex_id) unless an entry for s exists already or s is empty.
  void AddString(std::string_view s, std::int32_t id, std::int32_t ex_id = 0);
  // True with the first entry's id and ex_id; false with both -1.
  bool FindString(std::string_view s, std::int32_t& id, std::int32_t& ex_id) const;
  bool FindString(std::string_view s, std::int32_t& id) const;
  void Clear();
  bool Empty() const { return map_.empty(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::pair<std::int32_t, std::int32_t>, Hash, std::equal_to<>>
      map_;
};

}  // namespace vek

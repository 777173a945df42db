// The name map of the SELECT's name space and of grouping.
#include "engine/mwStringHashList.h"

namespace vek {

void TmwStringHashList::AddString(std::string_view s, std::int32_t id, std::int32_t ex_id) {
  if (s.empty()) return;
  map_.try_emplace(std::string(s), id, ex_id);  // an existing entry wins
}

bool TmwStringHashList::FindString(std::string_view s, std::int32_t& id,
                                   std::int32_t& ex_id) const {
  auto it = map_.find(s);
  if (it == map_.end()) {
    id = -1;
    ex_id = -1;
    return false;
  }
  id = it->second.first;
  ex_id = it->second.second;
  return true;
}

bool TmwStringHashList::FindString(std::string_view s, std::int32_t& id) const {
  std::int32_t ex_id;
  return FindString(s, id, ex_id);
}

void TmwStringHashList::Clear() { map_.clear(); }

}  // namespace vek

// Field definition list and the name helpers shared by fields and indexes.
#include "db/FieldDefs.h"

#include "db/DatabaseError.h"
#include "rtl/Text.h"

namespace db {

FieldDef& FieldDefList::Add(std::string_view name, FieldType type, int size, bool required) {
  FieldDef def;
  def.Name.assign(name);
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  return Add(def);
}

FieldDef& FieldDefList::Add(const FieldDef& def) {
  if (IndexOf(def.Name) >= 0) {
    throw DatabaseError(FormatMessage(kSDuplicateName, {def.Name, "TFieldDefs"}));
  }
  defs_.push_back(def);
  return defs_.back();
}

int FieldDefList::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < defs_.size(); ++i) {
    if (rtl::SameText(defs_[i].Name, name)) return static_cast<int>(i);
  }
  return -1;
}

const FieldDef* FieldDefList::Find(std::string_view name) const {
  int index = IndexOf(name);
  return index < 0 ? nullptr : &defs_[static_cast<std::size_t>(index)];
}

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view part = names.substr(start, end - start);
    // Blanks around a name are not part of it ("a; b").
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (!part.empty()) out.emplace_back(part);
    start = end + 1;
  }
  return out;
}

}  // namespace db

// Name binding for the expressions of a statement.
#include "engine/vekSQLRowResolver.h"

namespace vek {

int RowResolver::AddEntry(RecordSetPtr set, std::string name, std::string alias, bool qualified) {
  entries_.push_back({std::move(set), std::move(name), std::move(alias), qualified, 0, {}});
  return static_cast<int>(entries_.size()) - 1;
}

int RowResolver::BindVariable(std::string_view name) {
  auto bind = [this](int entry, int column) {
    bindings_.push_back({entry, column});
    return static_cast<int>(bindings_.size()) - 1;
  };
  std::size_t dot = name.find('.');
  if (!whole_field_names_ && dot != std::string_view::npos) {
    std::string_view table = name.substr(0, dot);
    std::string_view field = name.substr(dot + 1);
    for (int e = 0; e < EntryCount(); ++e) {
      const Entry& entry = entries_[e];
      if (!entry.qualified || (entry.name != table && entry.alias != table)) continue;
      int column = entry.set->FieldIndex(field);
      return column < 0 ? -1 : bind(e, column);
    }
    return -1;
  }
  for (int e = 0; e < EntryCount(); ++e) {
    int column = entries_[e].set->FieldIndex(name);
    if (column >= 0) return bind(e, column);
  }
  return -1;
}

std::optional<std::string_view> RowResolver::CellText(int handle) const {
  const Binding& b = bindings_[handle];
  const Entry& entry = entries_[b.entry];
  const auto& records = entry.set->Records;
  if (entry.row < 0 || entry.row >= static_cast<int>(records.size())) return std::string_view();
  if (static_cast<std::size_t>(b.column) < entry.null_columns.size() &&
      entry.null_columns[b.column]) {
    return std::nullopt;
  }
  return records[entry.row].Cell(b.column);
}

bool RowResolver::GetVariable(int handle, rtl::Variant& out) {
  if (std::optional<std::string_view> text = CellText(handle)) {
    out.SetText(*text);
  } else {
    out.type = rtl::VarType::kNull;
  }
  return true;
}

}  // namespace vek

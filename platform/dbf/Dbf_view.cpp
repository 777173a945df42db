// The in-memory index tags and the view they give: primary tags that refuse a
// duplicate key, the active tag's order (key, then record number), the unique
// tag that leaves a duplicate row out, and the detail link to a master.
#include <algorithm>

#include "dbf/DbfImpl.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"

namespace dbf {

std::string KeyText(std::string_view image, const FieldLayout& field) {
  switch (field.kind) {
    case FieldKind::kInteger:
    case FieldKind::kAutoInc: {
      std::int64_t value = 0;
      return IntValue(image, field, value) ? rtl::IntToText(value) : std::string();
    }
    case FieldKind::kLogical: {
      int value = BoolValue(image, field);
      return value < 0 ? "" : value ? "T" : "F";
    }
    default:
      return std::string(CharValue(image, field));
  }
}

int CompareKeys(std::string_view a, std::string_view b, const FieldLayout& field) {
  if (field.kind == FieldKind::kInteger || field.kind == FieldKind::kAutoInc) {
    std::int64_t x = 0, y = 0;
    bool has_x = IntValue(a, field, x), has_y = IntValue(b, field, y);
    // Null first, as the lowest key.
    if (has_x != has_y) return has_x ? 1 : -1;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  std::string x = KeyText(a, field), y = KeyText(b, field);
  return x.compare(y) < 0 ? -1 : x == y ? 0 : 1;
}

namespace {

int FieldIndex(const TableFile& file, std::string_view name) {
  const auto& fields = file.Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (rtl::AnsiSameText(fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void MasterObserver::OnDataEvent(db::DataSet&, db::DataEvent event) {
  if (event == db::DataEvent::kScrolled || event == db::DataEvent::kDataSetChanged ||
      event == db::DataEvent::kActiveChanged) {
    detail_.FollowMaster();
  }
}

void TDbf::Impl::ResolveTags() {
  tag_field = -1;
  tag_unique = false;
  primaries.clear();
  bool active_found = index_name.empty();
  for (const IndexDef& tag : stored_indexes) {
    int field = FieldIndex(file, tag.field);
    if (field < 0) {
      self.Raise(table + ": index tag " + tag.name + " names the field " + tag.field +
                 ", which the table does not have");
    }
    if (Layout(field).kind == FieldKind::kMemo) {
      self.Raise(table + ": index tag " + tag.name + " is on the memo field " + tag.field);
    }
    if (tag.options & ixPrimary) primaries.push_back({tag.name, field, {}});
    if (!index_name.empty() && rtl::AnsiSameText(tag.name, index_name)) {
      active_found = true;
      tag_field = field;
      tag_unique = (tag.options & (ixPrimary | ixUnique)) != 0;
    }
  }
  if (!active_found) self.Raise(table + ": index tag " + index_name + " not found");
  if (master != nullptr && tag_field < 0) {
    self.Raise(table + ": a detail table needs an active index tag on its link field");
  }
  RebuildPrimaries();
}

// A file written elsewhere may hold a duplicate key; the first row keeps it.
void TDbf::Impl::RebuildPrimaries() {
  const auto& rows = file.Rows();
  for (PrimaryTag& tag : primaries) {
    tag.keys.clear();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].Deleted()) continue;
      tag.keys.emplace(KeyText(rows[r].image, Layout(tag.field)), static_cast<std::uint32_t>(r));
    }
  }
}

void TDbf::Impl::UpdateMasterKey() {
  master_row = true;
  master_key.clear();
  if (master == nullptr) return;
  master_row = false;
  if (!master->Active() || master->IsEmpty()) return;
  db::Field* field = master->FindField(master_field);
  if (field == nullptr) {
    self.Raise(table + ": the master has no field \"" + master_field + "\"");
  }
  if (field->IsNull()) return;
  master_row = true;
  master_key = field->AsString();
}

bool TDbf::Impl::Visible(std::uint32_t row) const {
  const Row& r = file.Rows()[row];
  if (r.Deleted() || !master_row) return false;
  return master == nullptr || rtl::AnsiSameText(KeyText(r.image, Layout(tag_field)), master_key);
}

void TDbf::Impl::RebuildView() {
  UpdateMasterKey();
  view.clear();
  const auto& rows = file.Rows();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (Visible(static_cast<std::uint32_t>(r))) view.push_back(static_cast<std::uint32_t>(r));
  }
  if (tag_field < 0) return;
  const FieldLayout& field = Layout(tag_field);
  std::stable_sort(view.begin(), view.end(), [&](std::uint32_t a, std::uint32_t b) {
    return CompareKeys(rows[a].image, rows[b].image, field) < 0;
  });
  if (tag_unique) {
    view.erase(std::unique(view.begin(), view.end(),
                           [&](std::uint32_t a, std::uint32_t b) {
                             return CompareKeys(rows[a].image, rows[b].image, field) == 0;
                           }),
               view.end());
  }
}

// A new row goes after the rows of equal key (its record number is the
// highest); a unique tag that holds its key already leaves it out.
void TDbf::Impl::AddToView(std::uint32_t row) {
  if (!Visible(row)) return;
  if (tag_field < 0) {
    view.push_back(row);
    return;
  }
  const auto& rows = file.Rows();
  const FieldLayout& field = Layout(tag_field);
  auto at = std::upper_bound(view.begin(), view.end(), row, [&](std::uint32_t a, std::uint32_t b) {
    return CompareKeys(rows[a].image, rows[b].image, field) < 0;
  });
  if (tag_unique && at != view.begin() &&
      CompareKeys(rows[*(at - 1)].image, rows[row].image, field) == 0) {
    return;
  }
  view.insert(at, row);
}

int TDbf::Impl::PositionOf(std::uint32_t row) const {
  auto at = std::find(view.begin(), view.end(), row);
  return at == view.end() ? -1 : static_cast<int>(at - view.begin());
}

void TDbf::Impl::LinkMaster(db::DataSet* new_master) {
  if (new_master == &self) self.Raise(table + ": a table cannot be its own master");
  UnlinkMaster();
  master = new_master;
  if (master == nullptr) return;
  master_dbf = dynamic_cast<TDbf*>(master);
  if (master_dbf != nullptr) {
    master_dbf->impl_->details.push_back(&self);
  } else {
    observer = std::make_unique<MasterObserver>(*this);
    master->AddObserver(observer.get());
  }
}

void TDbf::Impl::UnlinkMaster() {
  if (master_dbf != nullptr) {
    auto& list = master_dbf->impl_->details;
    list.erase(std::remove(list.begin(), list.end(), &self), list.end());
  } else if (master != nullptr && observer) {
    master->RemoveObserver(observer.get());
  }
  observer.reset();
  master = nullptr;
  master_dbf = nullptr;
}

// The master moved (or opened, closed, posted): show the rows of its new key
// from the first, with the events of a move, so that the detail's own rules
// and its own details follow in turn.
void TDbf::Impl::FollowMaster() {
  if (!self.Active()) return;
  self.CheckBrowseMode();
  RebuildView();
  cursor = -1;
  self.First();
  self.Notify(db::DataEvent::kDataSetChanged);
}

void TDbf::Impl::NotifyDetails() {
  // By copy: a detail's rules may relink tables while they run.
  const std::vector<TDbf*> list = details;
  for (TDbf* detail : list) detail->impl_->FollowMaster();
}

void TDbf::Impl::CheckMasterRow() const {
  if (master == nullptr) return;
  bool has_row = master->Active() && !master->IsEmpty();
  if (has_row) {
    db::Field* field = master->FindField(master_field);
    has_row = field != nullptr && !field->IsNull();
  }
  if (!has_row) {
    self.Raise(table + ": the row cannot be posted because the master table has no current row");
  }
}

}  // namespace dbf

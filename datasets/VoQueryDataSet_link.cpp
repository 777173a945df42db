// The query dataset's links to other datasets: copying another dataset in,
// sorting by one field, the master/detail link between query datasets, the
// snapshot of the row before a change, and the event hooks that drive them.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "DatabaseError.h"
#include "VoQueryDataSet.h"

namespace {

constexpr std::string_view kNoTableName =
    "Dataset can not be saved because TableName property is not set";

// Writes `from`'s value into `to` through `to`'s own conversion: the typed
// value when both keep the same kind of value, the text otherwise.
void CopyFieldValue(const db::Field& from, db::Field& to) {
  if (from.IsNull()) {
    to.Clear();
    return;
  }
  if (from.Kind() == to.Kind()) {
    to.SetValue(from.Value());
  } else {
    to.SetAsString(from.AsString());
  }
}

bool IsNumber(const rtl::Variant& v) {
  return v.type == rtl::VarType::kInt || v.type == rtl::VarType::kFloat ||
         v.type == rtl::VarType::kDate;
}

// Equal as values: null only to null, numbers (dates as their serials) as
// numbers, texts byte for byte, truth values to truth values. A text and a
// number are not equal as values; their texts may still be.
bool SameValue(const rtl::Variant& a, const rtl::Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  if (a.type == rtl::VarType::kInt && b.type == rtl::VarType::kInt) return a.i == b.i;
  if (IsNumber(a) && IsNumber(b)) {
    const double x = a.type == rtl::VarType::kInt ? static_cast<double>(a.i) : a.f;
    const double y = b.type == rtl::VarType::kInt ? static_cast<double>(b.i) : b.f;
    return x == y;
  }
  if (a.IsText() && b.IsText()) return a.s == b.s;
  if (a.type == rtl::VarType::kBool && b.type == rtl::VarType::kBool) return a.b == b.b;
  return false;
}

// Whether the master's field `master_field` on its current row and the
// detail's field `detail_field` on the record under test match. Throws the
// field-not-found error for an unknown name.
bool PairMatches(const db::DataSet& master, std::string_view master_field,
                 const db::DataSet& detail, std::string_view detail_field) {
  const db::Field& m = master.FieldByName(master_field);
  const db::Field& d = detail.FieldByName(detail_field);
  return SameValue(m.Value(), d.Value()) || m.AsString() == d.AsString();
}

// Open, with one field object per definition and at least one, and holding at
// least one record whatever its filter shows.
bool HoldsRows(const db::DataSet& ds) {
  return ds.Active() && ds.FieldCount() > 0 && ds.FieldDefs().Count() == ds.FieldCount() &&
         ds.RecordCount() > 0;
}

bool IsSortable(db::FieldType type) {
  return !db::IsBlobType(type) && type != db::FieldType::ftVariant &&
         type != db::FieldType::ftBytes && type != db::FieldType::ftVarBytes;
}

}  // namespace

void TVoQueryDataSet::SetMasterDetailSuspended(bool value) {
  if (value != master_detail_suspended_) master_detail_suspended_ = value;
}

// ---- Copying another dataset ----

void TVoQueryDataSet::ImportFromDataset(db::DataSet& source) {
  if (connection_ == nullptr) Raise("VoConnection property is not set");
  const int columns = source.FieldDefs().Count();
  DisableControls();
  source.DisableControls();
  internal_loading_ = true;
  SetMasterDetailSuspended(true);
  auto finish = [&] {
    internal_loading_ = false;
    SetMasterDetailSuspended(false);
    EnableControls();
    source.EnableControls();
    // The rows were offered to the filter while the link was suspended.
    if (Active()) Refresh();
  };
  RunThenCleanUp(
      [&] {
        Reconnect();
        if (!Active()) Open();
        DeleteAllRows();

        source_kind_ = sdOtherDataset;
        import_source_ = &source;
        source_field_count_ = source.FieldDefs().Count();
        source_record_count_ = source.RecordCount();

        FitFieldDefsToSource();
        CopyRowsFromDataset(source, columns);
      },
      finish);
}

void TVoQueryDataSet::CopyRowsFromDataset(db::DataSet& source, int columns) {
  columns = std::min({columns, FieldCount(), source.FieldCount()});
  source.First();
  // A definition copied read-only makes a read-only field; the copy fills it
  // all the same.
  std::vector<bool> read_only;
  for (int c = 0; c < columns; ++c) {
    read_only.push_back(Fields(c).ReadOnly());
    Fields(c).SetReadOnly(false);
  }
  auto restore = [&] {
    for (int c = 0; c < columns; ++c) Fields(c).SetReadOnly(read_only[static_cast<std::size_t>(c)]);
  };
  RunThenCleanUp(
      [&] {
        BulkCopy(columns, [&](const std::vector<db::Field*>& fields, const std::vector<bool>&) {
          for (; !source.Eof(); source.Next()) {
            Append();
            for (int c = 0; c < columns; ++c) {
              CopyFieldValue(source.Fields(c), *fields[static_cast<std::size_t>(c)]);
            }
            Post();
          }
        });
      },
      restore);
}

// ---- Sorting by one field ----

bool TVoQueryDataSet::ToggleIndexOnField(std::string_view field_name) {
  db::Field* field = nullptr;
  for (int i = 0; i < FieldCount() && field == nullptr; ++i) {
    if (db::SameAsciiText(Fields(i).FieldName(), field_name)) field = &Fields(i);
  }
  if (field == nullptr || !IsSortable(field->DataType())) return false;

  const std::string current = IndexName();
  UpdateIndexDefs();
  const std::string ascending = std::string(field_name) + "__IdxA";
  const bool descending = current == ascending;
  const std::string name = descending ? std::string(field_name) + "__IdxD" : ascending;
  const db::IndexDefList& defs = IndexDefs();
  const bool exists = std::any_of(defs.begin(), defs.end(),
                                  [&](const db::IndexDef& def) { return def.Name == name; });
  if (!exists) {
    if (descending) {
      AddIndex(name, field->FieldName(), db::ixDescending, field->FieldName());
    } else {
      AddIndex(name, field->FieldName());
    }
  }
  SetIndexName(name);
  return true;
}

// ---- Master/detail ----

TVoQueryDataSet* TVoQueryDataSet::MasterDatasetOf(const db::DataSource* source) {
  if (source == nullptr || source->GetDataSet() == nullptr) return nullptr;
  auto* master = dynamic_cast<TVoQueryDataSet*>(source->GetDataSet());
  if (master == nullptr) throw db::DatabaseError("Invalid class typecast");
  return master;
}

void TVoQueryDataSet::SetMasterSource(db::DataSource* source) {
  if (source == master_source_) return;
  // A cycle would never end: every record a detail filters refreshes the
  // detail's own details in turn. The walk stops at a dataset seen before, in
  // case a data source was pointed elsewhere behind an existing link's back.
  std::vector<const TVoQueryDataSet*> seen;
  for (const TVoQueryDataSet* master = MasterDatasetOf(source); master != nullptr;) {
    if (master == this) Raise("Circular master/detail link");
    if (std::find(seen.begin(), seen.end(), master) != seen.end()) break;
    seen.push_back(master);
    const db::DataSource* up = master->master_source_;
    master = up == nullptr ? nullptr : dynamic_cast<const TVoQueryDataSet*>(up->GetDataSet());
  }

  if (!Active()) Open();
  SetFiltered(true);
  if (master_source_ != nullptr) previous_master_source_ = master_source_;
  master_source_ = source;
  RegisterWithMaster();
}

void TVoQueryDataSet::RegisterWithMaster() {
  TVoQueryDataSet* master = MasterDatasetOf(master_source_);
  if (master == registered_master_) return;
  if (master != nullptr) master->detail_datasets_.push_back(this);
  if (registered_master_ != nullptr) {
    std::vector<TVoQueryDataSet*>& list = registered_master_->detail_datasets_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  registered_master_ = master;
}

void TVoQueryDataSet::UnlinkMasterDetail() noexcept {
  if (registered_master_ != nullptr) {
    std::vector<TVoQueryDataSet*>& list = registered_master_->detail_datasets_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    registered_master_ = nullptr;
  }
  // The details keep their rows and their filter switch; only the link goes.
  for (TVoQueryDataSet* detail : detail_datasets_) {
    if (detail->master_source_ != nullptr) detail->previous_master_source_ = detail->master_source_;
    detail->master_source_ = nullptr;
    detail->registered_master_ = nullptr;
  }
  detail_datasets_.clear();
}

void TVoQueryDataSet::SetMasterFields(const std::vector<std::string>& lines) {
  if (&lines != &master_fields_) master_fields_ = lines;
}

void TVoQueryDataSet::DoFilterRecord(bool& accept) {
  TVoBufDataset::DoFilterRecord(accept);
  if (!accept) return;
  if (internal_loading_ || master_detail_suspended_ || master_source_ == nullptr) return;
  const db::DataSet* master = master_source_->GetDataSet();
  if (master == nullptr || !Active() || !master->Active()) return;

  bool all_match = true;
  for (const std::string& line : master_fields_) {
    const std::size_t eq = line.find('=');
    bool match;
    if (eq == std::string::npos) {
      // No pair written: the whole line names one field on both sides.
      match = PairMatches(*master, line, *this, line);
    } else {
      try {
        match = PairMatches(*master, std::string_view(line).substr(eq + 1), *this,
                            std::string_view(line).substr(0, eq));
      } catch (const std::exception&) {
        // A field named with "=" in it: try the whole line as the name.
        match = PairMatches(*master, line, *this, line);
      }
    }
    all_match = all_match && match;
  }
  accept = all_match;
  DoAfterScroll();
}

void TVoQueryDataSet::DoAfterScroll() {
  TVoBufDataset::DoAfterScroll();
  if (master_detail_suspended_ || internal_loading_ || !HoldsRows(*this)) return;
  // A copy: refreshing a detail runs its hooks, which must not disturb the walk.
  const std::vector<TVoQueryDataSet*> details = detail_datasets_;
  for (TVoQueryDataSet* detail : details) {
    if (!HoldsRows(*detail)) continue;
    detail->Refresh();
    detail->First();
  }
}

// ---- The row before a change ----

void TVoQueryDataSet::SnapshotRow(TVoBufDataset& snapshot, db::DataSet& source) {
  const int n = source.FieldDefs().Count();
  snapshot.Close();
  snapshot.FieldDefs().Clear();
  snapshot.DestroyFields();
  snapshot.DisableControls();
  try {
    for (int i = 0; i < n; ++i) {
      const db::FieldDef& def = source.FieldDefs()[i];
      snapshot.FieldDefs().Add(def.Name, def.DataType, def.Size, def.Required);
    }
    snapshot.SetMaxIndexesCount(2 * n + 3);
    snapshot.CreateDataset();
    // The definitions say which fields are required; the row itself may hold
    // nulls (there may be no current row at all).
    for (int i = 0; i < snapshot.FieldCount(); ++i) snapshot.Fields(i).SetRequired(false);
    snapshot.Open();
    snapshot.Append();
    const int columns = std::min(n, source.FieldCount());
    for (int i = 0; i < columns; ++i) CopyFieldValue(source.Fields(i), snapshot.Fields(i));
    snapshot.Post();
  } catch (...) {
    snapshot.EnableControls();
    throw;
  }
  snapshot.EnableControls();
}

void TVoQueryDataSet::SnapshotIfActive() {
  if (Active() && !internal_loading_) SnapshotRow(old_values_buffer_, *this);
}

// ---- Hooks ----

void TVoQueryDataSet::DoBeforeEdit() {
  TVoBufDataset::DoBeforeEdit();
  if (!internal_loading_) SnapshotIfActive();
}

void TVoQueryDataSet::DoBeforeInsert() {
  TVoBufDataset::DoBeforeInsert();
  if (!internal_loading_) SnapshotIfActive();
}

void TVoQueryDataSet::DoBeforeDelete() {
  TVoBufDataset::DoBeforeDelete();
  if (!internal_loading_) SnapshotIfActive();
}

void TVoQueryDataSet::DoBeforePost() {
  TVoBufDataset::DoBeforePost();
  post_was_edit_ = State() == db::DataSetState::kEdit;
}

void TVoQueryDataSet::DoAfterInsert() {
  TVoBufDataset::DoAfterInsert();
  DoAfterScroll();
}

void TVoQueryDataSet::DoAfterPost() {
  TVoBufDataset::DoAfterPost();
  if (persistent_save_ && !internal_loading_ && !unloading_) AutoSave(kNoTableName);
  if (post_was_edit_) DoAfterScroll();
}

void TVoQueryDataSet::DoAfterDelete() {
  TVoBufDataset::DoAfterDelete();
  if (persistent_save_ && !internal_loading_ && !unloading_) AutoSave(kNoTableName);
  DoAfterScroll();
}

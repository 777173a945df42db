// The query dataset's links to other datasets: copying another dataset in,
// sorting by one field, the master/detail link between query datasets, the
// snapshot of the row before a change, and the event hooks that drive them.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "datasets/VoQueryDataSet.h"
#include "db/DatabaseError.h"
#include "rtl/Text.h"

namespace {

constexpr std::string_view kNoTableName =
    "Dataset can not be saved because TableName property is not set";

// Writes `from`'s value into `to` as a value, through `to`'s own conversion:
// a float into an integer field is rounded, a date into a float field is its
// serial, a longer text is cut to the field's size.
void CopyFieldValue(const db::Field& from, db::Field& to) {
  if (from.IsNull()) {
    to.Clear();
    return;
  }
  to.SetValue(from.Value());
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

// The two fields one line of field pairs names, for the master/detail link
// and the referential keys alike: the text before the first "=" names the
// field of `name_side`, the text after it that of `value_side`, neither
// trimmed. When the parts do not both name fields (a line without "=", or a
// field whose own name holds "="), the whole line names the field on both
// sides, and its field-not-found error passes on.
struct FieldPair {
  db::Field& named;
  db::Field& valued;
};
FieldPair FieldsOfLine(const db::DataSet& name_side, const db::DataSet& value_side,
                       const std::string& line) {
  const std::size_t eq = line.find('=');
  if (eq != std::string::npos) {
    db::Field* named = name_side.FindField(std::string_view(line).substr(0, eq));
    db::Field* valued = value_side.FindField(std::string_view(line).substr(eq + 1));
    if (named != nullptr && valued != nullptr) return {*named, *valued};
  }
  return {name_side.FieldByName(line), value_side.FieldByName(line)};
}

// Whether the slave's current row carries the key values of the master's row
// snapshot: the texts of both fields of every line equal, exactly.
bool SlaveRowMatches(const std::vector<std::string>& lines, const db::DataSet& snapshot,
                     const db::DataSet& slave) {
  bool all_match = true;
  for (const std::string& line : lines) {
    const FieldPair pair = FieldsOfLine(slave, snapshot, line);
    // Every line is read, so that one naming a missing field fails whatever
    // the lines before it gave.
    all_match = pair.named.AsString() == pair.valued.AsString() && all_match;
  }
  return all_match;
}

// Writes the master's current values of every line into the slave's row.
void CopyJoinedFields(const std::vector<std::string>& lines, const db::DataSet& master,
                      const db::DataSet& slave) {
  for (const std::string& line : lines) {
    const FieldPair pair = FieldsOfLine(slave, master, line);
    CopyFieldValue(pair.valued, pair.named);
  }
}

// Whether `key` is still in `keys`: a key destroyed by a hook of an earlier
// cascade has left the list.
bool Listed(const std::vector<TVoReferentialKey*>& keys, const TVoReferentialKey* key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
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
  // The copy empties this dataset before it reads the source: copied into
  // itself, a dataset would lose every row and report success.
  if (&source == this) Raise("A dataset can not be imported into itself");
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
    if (rtl::SameAsciiText(Fields(i).FieldName(), field_name)) field = &Fields(i);
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
    const FieldPair pair = FieldsOfLine(*this, *master, line);
    const db::Field& m = pair.valued;
    const db::Field& d = pair.named;
    const bool match = SameValue(m.Value(), d.Value()) || m.AsString() == d.AsString();
    all_match = all_match && match;
  }
  accept = all_match;
  ScrollDone();
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

// ---- Referential keys ----

void TVoQueryDataSet::FillFromMasterKeys() {
  // A copy: the hooks of the fill may change the list.
  const std::vector<TVoReferentialKey*> keys = key_lists_.slave_keys;
  for (const TVoReferentialKey* key : keys) {
    if (!Listed(key_lists_.slave_keys, key) || !key->Acts(rkInsert, *this)) continue;
    const TVoQueryDataSet& master = *key->MasterDataSet();
    // A copy: a field's change handler may give the key other lines meanwhile.
    const std::vector<std::string> lines = key->JoinedFields();
    DisableControls();
    // The new row stays in the insert state for the user to finish.
    RunThenCleanUp([&] { CopyJoinedFields(lines, master, *this); }, [&] { EnableControls(); });
  }
}

void TVoQueryDataSet::CascadeToSlaveKeys(TVoReferentialAction action) {
  const std::vector<TVoReferentialKey*> keys = key_lists_.master_keys;
  const bool was_cascading = cascading_;
  cascading_ = true;
  RunThenCleanUp(
      [&] {
        for (const TVoReferentialKey* key : keys) {
          if (Listed(key_lists_.master_keys, key) && key->Acts(action, *this)) {
            CascadeToSlave(*key, action);
          }
        }
      },
      [&] { cascading_ = was_cascading; });
}

void TVoQueryDataSet::CascadeToSlave(const TVoReferentialKey& key, TVoReferentialAction action) {
  TVoQueryDataSet& slave = *key.SlaveDataSet();
  // Keys A to B and B to A: deleting an A row deletes B rows, whose deletes
  // would walk A again while A is still deleting, moving A off the row it is
  // about to delete, and go round without end. Walking a dataset moves its
  // cursor, so the chain stops before it touches one whose cascade is running.
  if (slave.cascading_) {
    Raise("Referential keys form a cycle: the cascade would run into " +
          (slave.Name().empty() ? std::string("a dataset") : "dataset " + slave.Name()) +
          " while its own cascade is running");
  }
  // The lines are read once: the slave's own hooks run in the walk.
  const std::vector<std::string> lines = key.JoinedFields();
  slave.DisableControls();
  const std::string filter = slave.Filter();
  const bool filtered = slave.Filtered();
  // The controls come back whatever restoring the filter does.
  auto restore = [&] {
    RunThenCleanUp(
        [&] {
          slave.SetMasterDetailSuspended(false);
          slave.SetFilterText(filter);
          slave.SetFiltered(filtered);
          slave.Refresh();
        },
        [&] { slave.EnableControls(); });
  };
  RunThenCleanUp(
      [&] {
        // Rows that the slave's filters hide carry the key values too.
        slave.SetMasterDetailSuspended(true);
        slave.SetFiltered(false);
        slave.Refresh();
        slave.First();
        while (!slave.Eof()) {
          if (!SlaveRowMatches(lines, old_values_buffer_, slave)) {
            slave.Next();
          } else if (action == rkDelete) {
            slave.Delete();  // the next row becomes current
          } else {
            // Posting an edit moves the row in no index: the walk meets each
            // row once.
            slave.Edit();
            try {
              CopyJoinedFields(lines, posted_values_buffer_, slave);
              slave.Post();
            } catch (...) {
              // The row that failed keeps its values; the restore must not
              // post it half written.
              slave.Cancel();
              throw;
            }
            slave.Next();
          }
        }
      },
      restore);
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
  if (!internal_loading_) {
    SnapshotIfActive();
    CascadeToSlaveKeys(rkDelete);
  }
}

void TVoQueryDataSet::DoBeforePost() {
  TVoBufDataset::DoBeforePost();
  post_was_edit_ = State() == db::DataSetState::kEdit;
  // The update cascade copies the row's new values from here: once posted, the
  // row may be hidden by this dataset's filter and another row be current.
  if (post_was_edit_ && !internal_loading_ && !key_lists_.master_keys.empty()) {
    SnapshotRow(posted_values_buffer_, *this);
  }
}

void TVoQueryDataSet::DoAfterInsert() {
  TVoBufDataset::DoAfterInsert();
  FillFromMasterKeys();
  DoAfterScroll();
}

void TVoQueryDataSet::DoAfterPost() {
  TVoBufDataset::DoAfterPost();
  if (persistent_save_ && !internal_loading_) AutoSave(kNoTableName);
  if (post_was_edit_) {
    CascadeToSlaveKeys(rkUpdate);
    DoAfterScroll();
  }
}

void TVoQueryDataSet::DoAfterDelete() {
  TVoBufDataset::DoAfterDelete();
  if (persistent_save_ && !internal_loading_) AutoSave(kNoTableName);
  DoAfterScroll();
}

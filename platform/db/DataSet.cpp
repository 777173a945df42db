// The dataset framework: opening and closing, field objects, events and their
// hooks, states, observers and disable/enable controls.
#include "db/DataSet.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

#include <algorithm>

namespace db {

void DataSet::Open() {
  if (Active()) return;
  DoBeforeOpen();
  // Opening may drop a filter text that no longer compiles; a failed open must
  // not have dropped it.
  const std::string filter_text = filter_text_;
  bool announced = false;
  try {
    InternalInitFieldDefs();
    if (fields_.empty()) {
      CreateFields();
      default_fields_ = true;
    }
    BindFields();
    InternalOpen();
    state_ = DataSetState::kBrowse;
    modified_ = false;
    InternalFirst();
    bool found = GetRecord(GetMode::kNext, false) == GetResult::grOK;
    SetPosition(found, true, !found);
    Notify(DataEvent::kActiveChanged);
    announced = true;
    DoAfterOpen();
    if (has_record_) DoAfterScroll();
  } catch (...) {
    // Nothing of the failed open may stay: a half-built storage is released and
    // fields made for this open go with it.
    try {
      InternalClose();
    } catch (...) {
    }
    BecomeInactive();
    filter_text_ = filter_text;
    InternalOpenFailed();
    if (announced) Notify(DataEvent::kActiveChanged);
    throw;
  }
}

void DataSet::Close() {
  if (!Active()) return;
  DoBeforeClose();
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) InternalCancel();
  InternalClose();
  BecomeInactive();
  Notify(DataEvent::kActiveChanged);
  DoAfterClose();
}

void DataSet::BecomeInactive() {
  state_ = DataSetState::kInactive;
  SetPosition(false, true, true);
  modified_ = false;
  if (default_fields_) {
    fields_.clear();
    default_fields_ = false;
  }
}

Field* DataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_) {
    if (rtl::SameText(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

Field& DataSet::FieldByName(std::string_view name) const {
  Field* field = FindField(name);
  if (field == nullptr) Raise(FormatMessage(kSFieldNotFound, {name}));
  return *field;
}

void DataSet::CreateFields() {
  CheckInactive();
  fields_.clear();
  fields_.reserve(static_cast<std::size_t>(field_defs_.Count()));
  for (int i = 0; i < field_defs_.Count(); ++i) {
    fields_.push_back(std::make_unique<Field>(*this, field_defs_[i]));
    fields_.back()->field_no_ = i + 1;
  }
  default_fields_ = false;
}

void DataSet::DestroyFields() {
  CheckInactive();
  fields_.clear();
  default_fields_ = false;
}

// Each field finds its definition by name and follows its type and size, so
// that a field always reads its column as the storage holds it.
void DataSet::BindFields() {
  for (auto& field : fields_) {
    int index = field_defs_.IndexOf(field->FieldName());
    if (index < 0) Raise(FormatMessage(kSFieldNotFound, {field->FieldName()}));
    const FieldDef& def = field_defs_[index];
    field->field_no_ = index + 1;
    field->type_ = def.DataType;
    field->kind_ = StorageOf(def.DataType);
    field->size_ = def.Size;
  }
}

bool DataSet::ReadFieldData(const Field& field, FieldData& data) const {
  if (!Active() || field.FieldNo() <= 0) return false;
  return GetFieldData(field, data);
}

void DataSet::WriteFieldData(Field& field, const FieldData* data) {
  // The filter state lets a dataset fill a record of its own through the
  // fields' conversions (a search key); such a record is not the table's, so a
  // read-only field may take a value there.
  if (state_ != DataSetState::kFilter) {
    if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) {
      Raise(FormatMessage(kSNotEditing, {name_}));
    }
    if (field.ReadOnly()) Raise(FormatMessage(kSReadOnlyField, {field.DisplayName()}));
  }
  SetFieldData(field, data);
  FieldChanged(field);
}

void DataSet::FieldChanged(Field& field) {
  if (state_ == DataSetState::kFilter) return;
  modified_ = true;
  if (field.OnChange) field.OnChange(field);
  Notify(DataEvent::kRecordChanged);
}

std::unique_ptr<BlobStream> DataSet::CreateBlobStream(Field&, BlobStreamMode) { return nullptr; }

void DataSet::Raise(std::string_view message) const {
  throw DatabaseError(PrefixedMessage(name_, message));
}

void DataSet::CheckActive() const {
  if (!Active()) Raise(kSInactiveDataset);
}

void DataSet::CheckInactive() const {
  if (Active()) Raise(kSActiveDataset);
}

void DataSet::SetState(DataSetState state) {
  if (state_ == state) return;
  state_ = state;
  Notify(DataEvent::kStateChanged);
}

DataSetState DataSet::SetTempState(DataSetState state) {
  DataSetState old = state_;
  state_ = state;
  return old;
}

bool DataSet::OfferToFilterHandler() {
  bool accept = true;
  if (!OnFilterRecord) return accept;
  const DataSetState old = SetTempState(DataSetState::kFilter);
  rtl::ScopeExit restore([&] { RestoreState(old); });
  OnFilterRecord(*this, accept);
  return accept;
}

void DataSet::SetPosition(bool found, bool bof, bool eof) {
  has_record_ = found;
  bof_ = found ? bof : true;
  eof_ = found ? eof : true;
}

void DataSet::Notify(DataEvent event) {
  if (disable_count_ > 0 || (event == DataEvent::kScrolled && quiet_count_ > 0)) return;
  // By index: an observer may remove itself while it is told.
  for (std::size_t i = 0; i < observers_.size(); ++i) observers_[i]->OnDataEvent(*this, event);
}

void DataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ == 0) Notify(DataEvent::kDataSetChanged);
}

void DataSet::AddObserver(DataSetObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void DataSet::RemoveObserver(DataSetObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

namespace {
void Fire(const DataSetNotifyEvent& event, DataSet& dataset) {
  if (event) event(dataset);
}
}  // namespace

void DataSet::DoBeforeOpen() { Fire(BeforeOpen, *this); }
void DataSet::DoAfterOpen() { Fire(AfterOpen, *this); }
void DataSet::DoBeforeClose() { Fire(BeforeClose, *this); }
void DataSet::DoAfterClose() { Fire(AfterClose, *this); }
void DataSet::DoBeforeInsert() { Fire(BeforeInsert, *this); }
void DataSet::DoAfterInsert() { Fire(AfterInsert, *this); }
void DataSet::DoBeforeEdit() { Fire(BeforeEdit, *this); }
void DataSet::DoAfterEdit() { Fire(AfterEdit, *this); }
void DataSet::DoBeforePost() { Fire(BeforePost, *this); }
void DataSet::DoAfterPost() { Fire(AfterPost, *this); }
void DataSet::DoBeforeCancel() { Fire(BeforeCancel, *this); }
void DataSet::DoAfterCancel() { Fire(AfterCancel, *this); }
void DataSet::DoBeforeDelete() { Fire(BeforeDelete, *this); }
void DataSet::DoAfterDelete() { Fire(AfterDelete, *this); }
void DataSet::DoBeforeScroll() { Fire(BeforeScroll, *this); }
void DataSet::DoAfterScroll() { Fire(AfterScroll, *this); }
void DataSet::DoBeforeRefresh() { Fire(BeforeRefresh, *this); }
void DataSet::DoAfterRefresh() { Fire(AfterRefresh, *this); }
void DataSet::DoOnNewRecord() { Fire(OnNewRecord, *this); }

}  // namespace db

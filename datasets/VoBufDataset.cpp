// TVoBufDataset: construction, properties, opening and closing, the packet
// layout's sizes, field data and blob streams.
#include "datasets/VoBufDataset.h"

namespace {

bool IsEditing(db::DataSetState state) {
  return state == db::DataSetState::kEdit || state == db::DataSetState::kInsert;
}

}  // namespace

TVoBufDataset::TVoBufDataset() {
  filter_source_ = [this](int field_index, db::FieldData& data) {
    return GetFieldData(Fields(field_index), data);
  };
  InternalAddIndex("DEFAULT_ORDER", "", 0, "", "");
  InternalAddIndex("", "", 0, "", "");
}

TVoBufDataset::~TVoBufDataset() {
  destroying_ = true;
  try {
    Close();
  } catch (...) {
    // A handler that throws while the dataset goes must not end the program.
  }
}

void TVoBufDataset::CreateDataset() {
  CheckInactive();
  CreateFields();
}

void TVoBufDataset::SetPacketRecords(int value) {
  if (value != -1 && value <= 0) Raise(kSPacketRecords);
  packet_records_ = value;
}

void TVoBufDataset::SetMaxIndexesCount(int value) {
  CheckInactive();
  if (value <= 1) Raise(kSMinIndexes);
  max_indexes_count_ = value;
}

std::int64_t TVoBufDataset::GetFieldSize(const db::FieldDef& def) {
  using db::FieldType;
  std::int64_t size = def.Size;
  switch (def.DataType) {
    case FieldType::ftString:
    case FieldType::ftFixedChar:
    case FieldType::ftGuid:
      return size + 1;
    case FieldType::ftWideString:
    case FieldType::ftFixedWideChar:
      return (size + 1) * 2;
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
      return 4;
    case FieldType::ftBoolean:
      return 2;
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftBCD:
    case FieldType::ftDate:
    case FieldType::ftTime:
    case FieldType::ftDateTime:
    case FieldType::ftLargeint:
      return 8;
    default:
      return db::IsBlobType(def.DataType) ? 16 : 10;
  }
}

TRecordLayout TVoBufDataset::CalcRecordSize(const db::FieldDefList& defs) {
  TRecordLayout layout;
  std::int64_t count = defs.Count();
  layout.NullMaskSize = count == 0 ? 1 : 1 + (count - 1) / 8;
  layout.RecordSize = layout.NullMaskSize;
  for (const db::FieldDef& def : defs) {
    layout.FieldOffsets.push_back(layout.RecordSize);
    layout.RecordSize += GetFieldSize(def);
  }
  return layout;
}

void TVoBufDataset::InternalOpen() {
  index_before_open_ = current_index_;
  store_.Reset(db::RecordFormat(FieldDefs()));
  log_.Clear(store_.Format());
  edit_buffer_ = store_.Format().NewBuffer();
  indexes_[0]->Initialise(0);
  BuildAllIndexes();
  // A kept filter text that no longer compiles (a field it names is gone) must
  // not stop the dataset from opening: the dataset opens unfiltered by text.
  try {
    ParseFilter(Filter());
  } catch (const db::DatabaseError&) {
    db::DataSet::SetFilterText("");
  }
  if (packet_reader_ != nullptr) LoadPacketRecords();
}

void TVoBufDataset::InternalClose() {
  store_.Reset(db::RecordFormat());
  log_.Clear(db::RecordFormat());
  inserting_ = false;
  for (auto& index : indexes_) index->Release();
  edit_buffer_.clear();
  edit_buffer_.shrink_to_fit();
  pending_blobs_.clear();
  filter_record_ = db::kNoRecord;
  parser_.reset();
  ReleasePacketFile();
}

void TVoBufDataset::InternalOpenFailed() noexcept {
  current_index_ = index_before_open_;
  if (defs_before_packet_) {
    FieldDefs() = std::move(*defs_before_packet_);
    defs_before_packet_.reset();
  }
}

int TVoBufDataset::GetRecordCount() const {
  return static_cast<int>(store_.Count() - log_.LoggedDeletions());
}

bool TVoBufDataset::GetFieldData(const db::Field& field, db::FieldData& data) const {
  int field_index = field.FieldNo() - 1;
  db::RecordId record;
  switch (State()) {
    case db::DataSetState::kEdit:
    case db::DataSetState::kInsert: {
      for (auto it = pending_blobs_.rbegin(); it != pending_blobs_.rend(); ++it) {
        if (it->field_index == field_index) {
          data.s = *it->contents;
          return true;
        }
      }
      const db::FieldValue& value = edit_buffer_[static_cast<std::size_t>(field_index)];
      if (value.is_null) return false;
      data.i = value.i;
      data.f = value.f;
      data.s = value.s;
      return true;
    }
    case db::DataSetState::kOldValue: {
      // Only a record whose entry kept its image before the change has old
      // values: not an inserted one, nor one not changed since the log began.
      if (!ActiveChangeEntry()) return false;
      const TRecUpdateBuffer& entry = log_[static_cast<std::size_t>(log_.CurrentIndex())];
      if (entry.OldImage == db::kNoRecord) return false;
      db::PackedRecord image = log_.OldImages().Get(entry.OldImage);
      if (image.IsNull(field_index)) return false;
      data = image.Get(field_index);
      return true;
    }
    default:
      record = ActiveRecord();
  }
  if (record == db::kNoRecord) return false;
  db::PackedRecord packed = store_.Get(record);
  if (packed.IsNull(field_index)) return false;
  data = packed.Get(field_index);
  return true;
}

void TVoBufDataset::SetFieldData(db::Field& field, const db::FieldData* data) {
  int field_index = field.FieldNo() - 1;
  if (State() == db::DataSetState::kFilter) {
    // Only Locate's search record takes writes here; a filter handler that
    // writes a field is refused as any write outside editing is.
    if (key_buffer_ == nullptr) Raise(db::FormatMessage(db::kSNotEditing, {Name()}));
    db::FieldValue& key = (*key_buffer_)[static_cast<std::size_t>(field_index)];
    key.SetNull();
    if (data != nullptr) {
      key.is_null = false;
      key.i = data->i;
      key.f = data->f;
      key.s.assign(data->s);
    }
    return;
  }
  // A value written directly replaces contents written through a stream.
  std::erase_if(pending_blobs_,
                [field_index](const PendingBlob& blob) { return blob.field_index == field_index; });
  db::FieldValue& value = edit_buffer_[static_cast<std::size_t>(field_index)];
  if (data == nullptr) {
    value.is_null = true;
    return;
  }
  value.is_null = false;
  value.i = data->i;
  value.f = data->f;
  value.s.assign(data->s);
}

std::unique_ptr<db::BlobStream> TVoBufDataset::CreateBlobStream(db::Field& field,
                                                                db::BlobStreamMode mode) {
  if (!Active() || !db::IsBlobType(field.DataType()) || field.FieldNo() <= 0) return nullptr;
  int field_index = field.FieldNo() - 1;
  switch (mode) {
    case db::BlobStreamMode::bmRead: {
      if (IsEditing(State())) {
        for (auto it = pending_blobs_.rbegin(); it != pending_blobs_.rend(); ++it) {
          if (it->field_index == field_index) {
            return std::make_unique<db::BlobStream>(it->contents, false);
          }
        }
      }
      db::FieldData data;
      if (!GetFieldData(field, data)) return nullptr;
      return std::make_unique<db::BlobStream>(std::make_shared<std::string>(data.s), false);
    }
    case db::BlobStreamMode::bmWrite: {
      if (!IsEditing(State())) Raise(db::FormatMessage(db::kSNotEditing, {Name()}));
      if (field.ReadOnly()) Raise(db::FormatMessage(db::kSReadOnlyField, {field.DisplayName()}));
      auto contents = std::make_shared<std::string>();
      pending_blobs_.push_back({field_index, contents});
      FieldChanged(field);
      return std::make_unique<db::BlobStream>(contents, true);
    }
    case db::BlobStreamMode::bmReadWrite:
      return nullptr;
  }
  return nullptr;
}

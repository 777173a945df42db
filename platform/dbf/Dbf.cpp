// TDbf: settings, opening and closing, the cursor over the view, bookmarks,
// Locate, and reading field values from the record images. Editing is in
// Dbf_edit.cpp, the tags and the master/detail link in Dbf_view.cpp.
#include "dbf/Dbf.h"

#include "dbf/DbfImpl.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"

namespace dbf {

TDbf::TDbf() : impl_(std::make_unique<Impl>(*this)) {}

TDbf::~TDbf() {
  try {
    Close();
  } catch (...) {
    // A rule of the closing events failed; the table closes all the same.
  }
  impl_->UnlinkMaster();
  for (TDbf* detail : impl_->details) {
    detail->impl_->master = nullptr;
    detail->impl_->master_dbf = nullptr;
  }
}

void TDbf::SetFilePath(std::string folder) {
  CheckInactive();
  impl_->folder = std::move(folder);
}

void TDbf::SetTableName(std::string file_name) {
  CheckInactive();
  impl_->table = std::move(file_name);
}

const std::string& TDbf::TableName() const { return impl_->table; }

void TDbf::SetExclusive(bool value) { impl_->exclusive = value; }

void TDbf::SetStoredDefs(std::vector<FieldDef> fields, std::vector<IndexDef> indexes) {
  CheckInactive();
  impl_->stored_fields = std::move(fields);
  impl_->stored_indexes = std::move(indexes);
}

void TDbf::SetIndexName(std::string tag) {
  if (!Active()) {
    impl_->index_name = std::move(tag);
    return;
  }
  CheckBrowseMode();
  const Row* current = impl_->CurrentRow();
  const std::uint32_t current_row =
      current != nullptr ? static_cast<std::uint32_t>(current - impl_->file.Rows().data()) : 0;
  std::string previous = impl_->index_name;
  impl_->index_name = std::move(tag);
  try {
    impl_->ResolveTags();
  } catch (...) {
    impl_->index_name = previous;
    impl_->ResolveTags();
    throw;
  }
  impl_->RebuildView();
  impl_->cursor = current != nullptr ? impl_->PositionOf(current_row) : -1;
  Resync();
  Notify(db::DataEvent::kDataSetChanged);
}

const std::string& TDbf::IndexName() const { return impl_->index_name; }

void TDbf::SetMasterSource(db::DataSet* master) {
  if (Active() && master != nullptr && impl_->tag_field < 0) {
    Raise(impl_->table + ": a detail table needs an active index tag on its link field");
  }
  impl_->LinkMaster(master);
  if (Active()) {
    impl_->ResolveTags();
    impl_->FollowMaster();
  }
}

void TDbf::SetMasterFields(std::string master_field) {
  impl_->master_field = std::move(master_field);
  if (Active()) impl_->FollowMaster();
}

std::string TDbf::FullPath() const { return impl_->Path(); }

const Row* TDbf::Impl::CurrentRow() const {
  if (cursor < 0 || cursor >= static_cast<int>(view.size())) return nullptr;
  return &file.Rows()[view[static_cast<std::size_t>(cursor)]];
}

// The definitions come from the file itself, which is opened (or created from
// the stored definitions) here.
void TDbf::InternalInitFieldDefs() {
  impl_->file.Open(impl_->Path(), impl_->stored_fields);
  FieldDefs().Clear();
  impl_->may_cut.clear();
  for (const FieldLayout& field : impl_->file.Fields()) {
    bool cut = false;
    for (const FieldDef& def : impl_->stored_fields) {
      if (rtl::AnsiSameText(def.name, field.name)) cut = def.may_cut;
    }
    impl_->may_cut.push_back(cut);
    switch (field.kind) {
      case FieldKind::kCharacter:
        // One byte more than the file holds: the framework cuts a written text
        // at the field's size, and a text that arrives longer than the field
        // must reach the table to be refused (or cut at a character boundary).
        FieldDefs().Add(field.name, db::FieldType::ftString, field.length + 1);
        break;
      case FieldKind::kInteger:
        FieldDefs().Add(field.name, db::FieldType::ftInteger);
        break;
      case FieldKind::kAutoInc:
        FieldDefs().Add(field.name, db::FieldType::ftAutoInc).ReadOnly = true;
        break;
      case FieldKind::kLogical:
        FieldDefs().Add(field.name, db::FieldType::ftBoolean);
        break;
      case FieldKind::kMemo:
        FieldDefs().Add(field.name, db::FieldType::ftMemo);
        break;
    }
  }
}

void TDbf::InternalOpen() {
  if (!impl_->file.IsOpen()) InternalInitFieldDefs();
  impl_->ResolveTags();
  impl_->RebuildView();
  impl_->cursor = -1;
  impl_->editing = impl_->inserting = false;
  ++impl_->generation;
}

void TDbf::InternalClose() {
  impl_->file.Close();
  impl_->view.clear();
  impl_->primaries.clear();
  impl_->cursor = -1;
  impl_->editing = impl_->inserting = false;
}

void TDbf::InternalFirst() { impl_->cursor = -1; }

void TDbf::InternalLast() { impl_->cursor = static_cast<int>(impl_->view.size()); }

db::GetResult TDbf::GetRecord(db::GetMode mode, bool do_check) {
  const int size = static_cast<int>(impl_->view.size());
  int& cursor = impl_->cursor;
  switch (mode) {
    case db::GetMode::kNext:
      if (cursor + 1 >= size) return db::GetResult::grEOF;
      cursor = std::max(cursor + 1, 0);
      return db::GetResult::grOK;
    case db::GetMode::kPrior:
      if (cursor - 1 < 0 || size == 0) return db::GetResult::grBOF;
      cursor = std::min(cursor - 1, size - 1);
      return db::GetResult::grOK;
    case db::GetMode::kCurrent:
      if (cursor >= 0 && cursor < size) return db::GetResult::grOK;
      if (do_check) Raise(db::kSNoRecord);
      return db::GetResult::grError;
  }
  return db::GetResult::grError;
}

void TDbf::InternalRefresh() {
  const Row* current = impl_->CurrentRow();
  const std::uint32_t row =
      current != nullptr ? static_cast<std::uint32_t>(current - impl_->file.Rows().data()) : 0;
  impl_->RebuildView();
  if (current != nullptr) {
    int at = impl_->PositionOf(row);
    impl_->cursor =
        at >= 0 ? at : std::min(impl_->cursor, static_cast<int>(impl_->view.size()) - 1);
  }
}

db::Bookmark TDbf::InternalGetBookmark() const {
  const Row* current = impl_->CurrentRow();
  if (current == nullptr) return {};
  return {static_cast<db::RecordId>(current - impl_->file.Rows().data()), impl_->generation};
}

bool TDbf::BookmarkValid(const db::Bookmark& bookmark) const {
  return Active() && bookmark.IsSet() && bookmark.generation == impl_->generation &&
         bookmark.id < impl_->file.Rows().size() && !impl_->file.Rows()[bookmark.id].Deleted();
}

int TDbf::CompareBookmarks(const db::Bookmark& a, const db::Bookmark& b) const {
  return a == b ? 0 : -1;
}

void TDbf::InternalGotoBookmark(const db::Bookmark& bookmark) {
  int at = BookmarkValid(bookmark) ? impl_->PositionOf(bookmark.id) : -1;
  if (at < 0) Raise(db::kSRecordNotFound);
  impl_->cursor = at;
}

int TDbf::GetRecordCount() const { return static_cast<int>(impl_->view.size()); }

int TDbf::GetRecNo() const { return impl_->CurrentRow() != nullptr ? impl_->cursor + 1 : 0; }

void TDbf::SetRecNo(int value) {
  CheckBrowseMode();
  if (value < 1 || value > static_cast<int>(impl_->view.size())) Raise(db::kSRecordNotFound);
  ScrollStarting();
  impl_->cursor = value - 1;
  Resync();
  Notify(db::DataEvent::kScrolled);
  ScrollDone();
}

namespace {

// A row's value of `field` as a variant, null for a null value.
rtl::Variant RowValue(const Row& row, const FieldLayout& field) {
  switch (field.kind) {
    case FieldKind::kInteger:
    case FieldKind::kAutoInc: {
      std::int64_t value = 0;
      return IntValue(row.image, field, value) ? rtl::Variant::Int(value) : rtl::Variant::Null();
    }
    case FieldKind::kLogical: {
      int value = BoolValue(row.image, field);
      return value < 0 ? rtl::Variant::Null() : rtl::Variant::Bool(value == 1);
    }
    case FieldKind::kMemo: {
      const std::string& text = row.memos[static_cast<std::size_t>(field.memo_slot)];
      return text.empty() ? rtl::Variant::Null() : rtl::Variant::Text(text);
    }
    case FieldKind::kCharacter:
      break;
  }
  std::string_view text = CharValue(row.image, field);
  return text.empty() ? rtl::Variant::Null() : rtl::Variant::Text(text);
}

bool Matches(const rtl::Variant& stored, const rtl::Variant& wanted, db::LocateOptionSet options) {
  const bool wanted_null = wanted.IsNull() || wanted.IsEmpty();
  if (stored.IsNull() || wanted_null) return stored.IsNull() && wanted_null;
  std::string wanted_text;
  switch (wanted.type) {
    case rtl::VarType::kInt:
      wanted_text = rtl::IntToText(wanted.i);
      break;
    case rtl::VarType::kFloat:
    case rtl::VarType::kDate:
      wanted_text = rtl::FloatToText(wanted.f);
      break;
    case rtl::VarType::kBool:
      if (stored.type == rtl::VarType::kBool) return stored.b == wanted.b;
      wanted_text = rtl::BoolToText(wanted.b);
      break;
    default:
      wanted_text = wanted.s;
  }
  if (stored.type == rtl::VarType::kInt) {
    auto number = rtl::TextToInt64(wanted_text);
    return number && *number == stored.i;
  }
  if (stored.type == rtl::VarType::kBool) {
    auto truth = rtl::TextToBool(wanted_text);
    return truth && *truth == stored.b;
  }
  std::string_view text = stored.s;
  if (options & db::loPartialKey) text = text.substr(0, std::min(text.size(), wanted_text.size()));
  return (options & db::loCaseInsensitive) ? rtl::AnsiSameText(text, wanted_text)
                                           : text == wanted_text;
}

}  // namespace

bool TDbf::Locate(std::string_view key_fields, const std::vector<rtl::Variant>& key_values,
                  db::LocateOptionSet options) {
  CheckBrowseMode();
  std::vector<int> fields;
  for (const std::string& name : db::SplitFieldNames(key_fields)) {
    db::Field& field = FieldByName(name);
    fields.push_back(field.FieldNo() - 1);
  }
  if (fields.empty() || fields.size() != key_values.size()) return false;
  const auto& rows = impl_->file.Rows();
  for (std::size_t at = 0; at < impl_->view.size(); ++at) {
    const Row& row = rows[impl_->view[at]];
    bool all = true;
    for (std::size_t k = 0; all && k < fields.size(); ++k) {
      all = Matches(RowValue(row, impl_->Layout(fields[k])), key_values[k], options);
    }
    if (!all) continue;
    ScrollStarting();
    impl_->cursor = static_cast<int>(at);
    Resync();
    Notify(db::DataEvent::kScrolled);
    ScrollDone();
    return true;
  }
  return false;
}

bool TDbf::GetFieldData(const db::Field& field, db::FieldData& data) const {
  const int index = field.FieldNo() - 1;
  if (index < 0 || index >= static_cast<int>(impl_->file.Fields().size())) return false;
  if (State() == db::DataSetState::kOldValue) return false;
  const FieldLayout& layout = impl_->Layout(index);
  const std::string* image = nullptr;
  const std::string* memo = nullptr;
  if (impl_->editing) {
    if (impl_->has_overflow[static_cast<std::size_t>(index)]) {
      data.s = impl_->overflow[static_cast<std::size_t>(index)];
      return true;
    }
    image = &impl_->edit_image;
    if (layout.memo_slot >= 0)
      memo = impl_->edit_memos[static_cast<std::size_t>(layout.memo_slot)].get();
  } else {
    const Row* row = impl_->CurrentRow();
    if (row == nullptr) return false;
    image = &row->image;
    if (layout.memo_slot >= 0) memo = &row->memos[static_cast<std::size_t>(layout.memo_slot)];
  }
  switch (layout.kind) {
    case FieldKind::kCharacter:
      data.s = CharValue(*image, layout);
      return !data.s.empty();
    case FieldKind::kInteger:
    case FieldKind::kAutoInc:
      return IntValue(*image, layout, data.i);
    case FieldKind::kLogical: {
      int value = BoolValue(*image, layout);
      data.i = value == 1;
      return value >= 0;
    }
    case FieldKind::kMemo:
      data.s = *memo;
      return !memo->empty();
  }
  return false;
}

void TDbf::DoAfterOpen() {
  db::DataSet::DoAfterOpen();
  // With rows, the after-scroll of the open tells the details.
  if (IsEmpty()) impl_->NotifyDetails();
}

void TDbf::DoAfterClose() {
  db::DataSet::DoAfterClose();
  impl_->NotifyDetails();
}

void TDbf::DoAfterPost() {
  impl_->NotifyDetails();
  db::DataSet::DoAfterPost();
}

void TDbf::DoAfterScroll() {
  impl_->NotifyDetails();
  db::DataSet::DoAfterScroll();
}

}  // namespace dbf

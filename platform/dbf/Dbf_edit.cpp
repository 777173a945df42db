// TDbf editing: the record being inserted or edited, field writes into its
// image, the checks of a post (master row, texts too long, primary keys), the
// writes that make each post and delete reach the files at once, and the pack.
#include <limits>

#include "dbf/Dbf.h"
#include "dbf/DbfImpl.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"

namespace dbf {

namespace {

// The longest start of `text` that fits `size` bytes without splitting a UTF-8
// character: "señor" in 3 bytes is "se", not "se" and half of "ñ".
std::string_view CutAtCharacter(std::string_view text, std::size_t size) {
  if (text.size() <= size) return text;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return text.substr(0, size);
}

}  // namespace

void TDbf::InternalInsert(bool) {
  Impl& d = *impl_;
  d.editing = d.inserting = true;
  d.edit_image = d.file.BlankImage();
  d.edit_memos.clear();
  for (int i = 0; i < d.file.MemoCount(); ++i)
    d.edit_memos.push_back(std::make_shared<std::string>());
  d.memo_changed.assign(static_cast<std::size_t>(d.file.MemoCount()), true);
  d.overflow.assign(d.file.Fields().size(), std::string());
  d.has_overflow.assign(d.file.Fields().size(), false);
}

void TDbf::InternalEdit() {
  Impl& d = *impl_;
  const Row* row = d.CurrentRow();
  if (row == nullptr) Raise(db::kSNoRecord);
  d.editing = true;
  d.inserting = false;
  d.edit_row = d.view[static_cast<std::size_t>(d.cursor)];
  d.edit_image = row->image;
  d.edit_memos.clear();
  for (const std::string& memo : row->memos)
    d.edit_memos.push_back(std::make_shared<std::string>(memo));
  d.memo_changed.assign(static_cast<std::size_t>(d.file.MemoCount()), false);
  d.overflow.assign(d.file.Fields().size(), std::string());
  d.has_overflow.assign(d.file.Fields().size(), false);
}

void TDbf::SetFieldData(db::Field& field, const db::FieldData* data) {
  Impl& d = *impl_;
  // The filter state offers no search record in this table.
  if (!d.editing) Raise(db::FormatMessage(db::kSNotEditing, {Name()}));
  const int index = field.FieldNo() - 1;
  const FieldLayout& layout = d.Layout(index);
  d.has_overflow[static_cast<std::size_t>(index)] = false;
  d.overflow[static_cast<std::size_t>(index)].clear();
  if (data == nullptr) {
    if (layout.kind == FieldKind::kMemo) {
      d.edit_memos[static_cast<std::size_t>(layout.memo_slot)] = std::make_shared<std::string>();
      d.memo_changed[static_cast<std::size_t>(layout.memo_slot)] = true;
    } else {
      PutNull(d.edit_image, layout);
    }
    return;
  }
  switch (layout.kind) {
    case FieldKind::kCharacter: {
      const auto size = static_cast<std::size_t>(layout.length);
      if (data->s.size() > size && !d.may_cut[static_cast<std::size_t>(index)]) {
        // Kept aside and refused by the post: storing a cut text would store a
        // value other than the one given.
        d.has_overflow[static_cast<std::size_t>(index)] = true;
        d.overflow[static_cast<std::size_t>(index)].assign(data->s);
        return;
      }
      PutChar(d.edit_image, layout, CutAtCharacter(data->s, size));
      return;
    }
    case FieldKind::kInteger:
    case FieldKind::kAutoInc:
      // All zero bytes are the null value, so the lowest 32-bit number has no
      // form of its own in the file.
      if (data->i <= std::numeric_limits<std::int32_t>::min() ||
          data->i > std::numeric_limits<std::int32_t>::max()) {
        throw db::ConversionError(db::PrefixedMessage(
            Name(),
            db::FormatMessage(db::kSOutOfRange, {rtl::IntToText(data->i), field.FieldName()})));
      }
      PutInt(d.edit_image, layout, static_cast<std::int32_t>(data->i));
      return;
    case FieldKind::kLogical:
      PutBool(d.edit_image, layout, data->i != 0);
      return;
    case FieldKind::kMemo:
      d.edit_memos[static_cast<std::size_t>(layout.memo_slot)] =
          std::make_shared<std::string>(data->s);
      d.memo_changed[static_cast<std::size_t>(layout.memo_slot)] = true;
      return;
  }
}

std::unique_ptr<db::BlobStream> TDbf::CreateBlobStream(db::Field& field, db::BlobStreamMode mode) {
  Impl& d = *impl_;
  const int index = field.FieldNo() - 1;
  if (!Active() || index < 0 || d.Layout(index).kind != FieldKind::kMemo) return nullptr;
  const auto slot = static_cast<std::size_t>(d.Layout(index).memo_slot);
  if (mode == db::BlobStreamMode::bmRead) {
    db::FieldData data;
    auto contents = std::make_shared<std::string>();
    if (GetFieldData(field, data)) contents->assign(data.s);
    return std::make_unique<db::BlobStream>(contents, false);
  }
  if (!d.editing) Raise(db::FormatMessage(db::kSNotEditing, {Name()}));
  // The stream writes into the edited record's memo itself, so what it wrote
  // is what the post stores.
  auto contents = mode == db::BlobStreamMode::bmWrite
                      ? std::make_shared<std::string>()
                      : std::make_shared<std::string>(*d.edit_memos[slot]);
  d.edit_memos[slot] = contents;
  d.memo_changed[slot] = true;
  FieldChanged(field);
  return std::make_unique<db::BlobStream>(contents, true);
}

void TDbf::InternalPost() {
  Impl& d = *impl_;
  d.CheckMasterRow();
  const auto& fields = d.file.Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!d.has_overflow[i]) continue;
    Raise(d.table + ": the value of field " + fields[i].name +
          " is longer than the field's size of " + std::to_string(fields[i].length) +
          " bytes; the row was not stored");
  }
  // No key the row will have may stand for another row: a new row's
  // auto-increment fields are numbered by the append.
  for (const Impl::PrimaryTag& tag : d.primaries) {
    const FieldLayout& layout = d.Layout(tag.field);
    const std::string key = d.inserting && layout.kind == FieldKind::kAutoInc
                          ? rtl::IntToText(std::max<std::uint32_t>(layout.next_autoinc, 1))
                          : KeyText(d.edit_image, layout);
    auto found = tag.keys.find(key);
    if (found != tag.keys.end() && (d.inserting || found->second != d.edit_row)) {
      Raise(d.table + ": key violation: the index " + tag.name + " already holds the key \"" + key +
            "\"");
    }
  }

  Row row;
  row.image = d.edit_image;
  for (const auto& memo : d.edit_memos) row.memos.push_back(*memo);
  std::uint32_t index = 0;
  if (d.inserting) {
    index = static_cast<std::uint32_t>(d.file.Append(std::move(row)));
  } else {
    index = d.edit_row;
    std::vector<std::string> old_keys;
    for (const Impl::PrimaryTag& tag : d.primaries) {
      old_keys.push_back(KeyText(d.file.Rows()[index].image, d.Layout(tag.field)));
    }
    d.file.Rewrite(index, std::move(row), d.memo_changed);
    for (std::size_t t = 0; t < d.primaries.size(); ++t) d.primaries[t].keys.erase(old_keys[t]);
  }
  for (Impl::PrimaryTag& tag : d.primaries) {
    tag.keys[KeyText(d.file.Rows()[index].image, d.Layout(tag.field))] = index;
  }
  const bool was_insert = d.inserting;
  d.editing = d.inserting = false;
  if (was_insert) {
    d.AddToView(index);
  } else {
    d.RebuildView();
  }
  const int at = d.PositionOf(index);
  if (at >= 0) {
    d.cursor = at;
  } else {
    d.cursor = std::min(d.cursor, static_cast<int>(d.view.size()) - 1);
  }
}

void TDbf::InternalCancel() {
  impl_->editing = impl_->inserting = false;
  impl_->edit_memos.clear();
}

void TDbf::InternalDelete() {
  Impl& d = *impl_;
  const Row* current = d.CurrentRow();
  if (current == nullptr) Raise(db::kSNoRecord);
  const std::uint32_t index = d.view[static_cast<std::size_t>(d.cursor)];
  d.file.MarkDeleted(index);
  for (Impl::PrimaryTag& tag : d.primaries) {
    auto found = tag.keys.find(KeyText(d.file.Rows()[index].image, d.Layout(tag.field)));
    if (found != tag.keys.end() && found->second == index) tag.keys.erase(found);
  }
  d.view.erase(d.view.begin() + d.cursor);
  if (d.cursor >= static_cast<int>(d.view.size())) d.cursor = static_cast<int>(d.view.size()) - 1;
}

void TDbf::PackTable() {
  Impl& d = *impl_;
  if (!Active()) {
    TableFile file;
    file.Open(d.Path(), {});
    file.Pack();
    return;
  }
  CheckBrowseMode();
  // The current row stays current: its new index is the number of live rows
  // before it.
  const Row* current = d.CurrentRow();
  std::uint32_t new_index = 0;
  if (current != nullptr) {
    for (const Row* row = d.file.Rows().data(); row != current; ++row) new_index += !row->Deleted();
  }
  d.file.Pack();
  ++d.generation;
  d.RebuildPrimaries();
  d.RebuildView();
  d.cursor = current != nullptr ? d.PositionOf(new_index) : -1;
  Resync();
  Notify(db::DataEvent::kDataSetChanged);
}

}  // namespace dbf

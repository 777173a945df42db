// TVoBufDataset's indexes: the linked lists, adding, building (a stable sort of
// DEFAULT_ORDER's records by the key fields), selecting by name or by field list,
// and the key comparisons.
#include <algorithm>
#include <cstdint>
#include <string>

#include "datasets/VoBufDataset.h"
#include "rtl/Locale.h"
#include "rtl/Text.h"

namespace {

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool ListHasField(const std::vector<const db::Field*>& fields, const db::Field* field) {
  return std::find(fields.begin(), fields.end(), field) != fields.end();
}

}  // namespace

int CompareTextValues(const db::FieldData& a, const db::FieldData& b, bool case_insensitive) {
  int result = case_insensitive ? rtl::AnsiCompareText(a.s, b.s) : rtl::AnsiCompareStr(a.s, b.s);
  return Sign(result, 0);
}

int CompareByteValues(const db::FieldData& a, const db::FieldData& b, bool) {
  return Sign(a.i != 0, b.i != 0);
}

int CompareLargeintValues(const db::FieldData& a, const db::FieldData& b, bool) {
  return Sign(a.i, b.i);
}

int CompareDoubleValues(const db::FieldData& a, const db::FieldData& b, bool) {
  return Sign(a.f, b.f);
}

TBufIndex::TBufIndex(std::string_view name, std::string_view fields, db::IndexOptions options,
                     std::string_view desc_fields, std::string_view case_ins_fields)
    : Name(name),
      IndexFields(fields),
      DescFields(desc_fields),
      CaseInsFields(case_ins_fields),
      Options(options) {}

void TBufIndex::Initialise(std::size_t id_limit) {
  ForgetSortedOrder();
  links_.assign(id_limit + 1, LinkPair{kSentinel, kSentinel});
  cursor_ = kSentinel;
  initialised_ = true;
}

void TBufIndex::Release() {
  ForgetSortedOrder();
  links_.clear();
  links_.shrink_to_fit();
  cursor_ = kSentinel;
  initialised_ = false;
  CompareStruct.clear();
}

void TBufIndex::Reserve(std::size_t id_limit) {
  if (links_.size() < id_limit + 1) links_.resize(id_limit + 1);
}

void TBufIndex::InsertBefore(db::RecordId position, db::RecordId record) {
  if (!sorted_order_.empty()) ForgetSortedOrder();
  db::RecordId prior = LinkOf(position).prior;
  LinkOf(record) = LinkPair{prior, position};
  LinkOf(prior).next = record;
  LinkOf(position).prior = record;
}

void TBufIndex::Unlink(db::RecordId record) {
  if (!sorted_order_.empty()) ForgetSortedOrder();
  LinkPair link = LinkOf(record);
  if (cursor_ == record) cursor_ = link.next;
  LinkOf(link.prior).next = link.next;
  LinkOf(link.next).prior = link.prior;
}

void TBufIndex::ForgetSortedOrder() {
  sorted_order_.clear();
  sorted_order_.shrink_to_fit();
}

void TBufIndex::Relink(std::vector<db::RecordId> order) {
  db::RecordId prior = kSentinel;
  for (db::RecordId record : order) {
    LinkOf(prior).next = record;
    LinkOf(record).prior = prior;
    prior = record;
  }
  LinkOf(prior).next = kSentinel;
  LinkOf(kSentinel).prior = prior;
  sorted_order_ = std::move(order);
  cursor_ = kSentinel;
}

int TBufIndex::RecordNumber(db::RecordId record) const {
  int number = 1;
  for (db::RecordId r = FirstRecord(); r != kSentinel; r = Next(r), ++number) {
    if (r == record) return number;
  }
  return 0;
}

void TVoBufDataset::AddIndex(std::string_view name, std::string_view fields,
                             db::IndexOptions options, std::string_view desc_fields,
                             std::string_view case_ins_fields) {
  if (fields.empty()) Raise(kSNoIndexFields);
  if (Active() && UsableIndexesCount() >= max_indexes_count_) Raise(kSMaxIndexes);
  if (!Active()) packet_records_ = -1;
  InternalAddIndex(name, fields, options, desc_fields, case_ins_fields);
}

void TVoBufDataset::InternalAddIndex(std::string_view name, std::string_view fields,
                                     db::IndexOptions options, std::string_view desc_fields,
                                     std::string_view case_ins_fields) {
  indexes_.push_back(
      std::make_unique<TBufIndex>(name, fields, options, desc_fields, case_ins_fields));
  if (!Active()) {
    max_indexes_count_ = std::max(max_indexes_count_, IndexesCount());
    return;
  }
  // An index that cannot be built is not kept: it would otherwise sit in the
  // dataset half made, taking no records.
  try {
    BuildIndex(*indexes_.back());
  } catch (...) {
    indexes_.pop_back();
    throw;
  }
}

int TVoBufDataset::UsableIndexesCount() const {
  // The two built-in indexes always count. A sort index made for a column of
  // earlier data stays defined, to be used again when a load brings the column
  // back, but it must not use up the room of the data now loaded: otherwise a
  // few sorts of one table and a load of another would leave no index to sort
  // the new table by.
  int count = std::min(IndexesCount(), 2);
  for (std::size_t i = 2; i < indexes_.size(); ++i) {
    if (indexes_[i]->IsInitialised()) ++count;
  }
  return count;
}

TDBCompareStruct TVoBufDataset::ResolveKeys(const TBufIndex& index) const {
  auto resolve = [this](std::string_view names) {
    std::vector<const db::Field*> fields;
    for (const std::string& name : db::SplitFieldNames(names)) {
      fields.push_back(&FieldByName(name));
    }
    return fields;
  };
  std::vector<const db::Field*> keys = resolve(index.IndexFields);
  std::vector<const db::Field*> descending = resolve(index.DescFields);
  std::vector<const db::Field*> case_insensitive = resolve(index.CaseInsFields);
  if (keys.empty()) Raise(kSNoIndexFields);
  TDBCompareStruct compare(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    FillCompareEntry(*keys[i], compare[i]);
    compare[i].Descending = ListHasField(descending, keys[i]);
    compare[i].CaseInsensitive = ListHasField(case_insensitive, keys[i]);
  }
  return compare;
}

void TVoBufDataset::FillCompareEntry(const db::Field& field, TDBCompareRec& entry) const {
  using db::FieldType;
  switch (field.DataType()) {
    case FieldType::ftString:
      entry.CompareFunc = CompareTextValues;
      break;
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftLargeint:
    case FieldType::ftBCD:
      entry.CompareFunc = CompareLargeintValues;
      break;
    case FieldType::ftBoolean:
      entry.CompareFunc = CompareByteValues;
      break;
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftDate:
    case FieldType::ftTime:
    case FieldType::ftDateTime:
      entry.CompareFunc = CompareDoubleValues;
      break;
    default:
      Raise(db::FormatMessage(kSInvalidIndexType,
                              {field.FieldName(), db::FieldTypeName(field.DataType())}));
  }
  entry.FieldIndex = field.FieldNo() - 1;
}

int TVoBufDataset::CompareRecords(db::RecordId a, db::RecordId b,
                                  const TDBCompareStruct& compare) const {
  db::PackedRecord left = store_.Get(a);
  db::PackedRecord right = store_.Get(b);
  for (const TDBCompareRec& entry : compare) {
    int result = entry.CompareFunc(left.Get(entry.FieldIndex), right.Get(entry.FieldIndex),
                                   entry.CaseInsensitive);
    if (result != 0) return entry.Descending ? -result : result;
  }
  return 0;
}

// DEFAULT_ORDER's records, stably sorted by the keys. Text keys are turned into
// collation keys once per record, so that the sort compares bytes instead of
// asking the locale for every comparison.
std::vector<db::RecordId> TVoBufDataset::SortedRecords(const TDBCompareStruct& compare) const {
  const TBufIndex& source = *indexes_[0];
  std::vector<db::RecordId> records;
  records.reserve(store_.Count());
  for (db::RecordId r = source.FirstRecord(); r != TBufIndex::kSentinel; r = source.Next(r)) {
    records.push_back(r);
  }
  // The collation keys of each text entry, back to back in one buffer: a key
  // compares byte by byte as its texts collate.
  struct TextKeys {
    std::string bytes;
    std::vector<std::size_t> ends;
    std::string_view Key(std::uint32_t x) const {
      const std::size_t begin = x == 0 ? 0 : ends[x - 1];
      return std::string_view(bytes).substr(begin, ends[x] - begin);
    }
  };
  std::vector<TextKeys> text_keys(compare.size());
  for (std::size_t e = 0; e < compare.size(); ++e) {
    if (compare[e].CompareFunc != CompareTextValues) continue;
    TextKeys& keys = text_keys[e];
    keys.ends.reserve(records.size());
    for (db::RecordId r : records) {
      std::string_view text = store_.Get(r).Get(compare[e].FieldIndex).s;
      keys.bytes += compare[e].CaseInsensitive ? rtl::CollationKey(rtl::AnsiUpperCase(text))
                                               : rtl::CollationKey(text);
      keys.ends.push_back(keys.bytes.size());
    }
  }
  // Sorted as (first eight key bytes, position): most comparisons end on the
  // prefix, held beside the position, without a look into the keys or the
  // records. Equal keys keep the order of DEFAULT_ORDER.
  struct Entry {
    std::uint64_t prefix;
    std::uint32_t position;
  };
  const bool by_prefix = !compare.empty() && compare[0].CompareFunc == CompareTextValues;
  const bool prefix_descending = by_prefix && compare[0].Descending;
  std::vector<Entry> order(records.size());
  for (std::uint32_t x = 0; x < order.size(); ++x) {
    std::uint64_t prefix = 0;
    if (by_prefix) {
      const std::string_view key = text_keys[0].Key(x);
      for (std::size_t b = 0; b < 8; ++b) {
        prefix = (prefix << 8) | (b < key.size() ? static_cast<unsigned char>(key[b]) : 0u);
      }
    }
    order[x] = Entry{prefix, x};
  }
  std::sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return prefix_descending ? a.prefix > b.prefix : a.prefix < b.prefix;
    const std::uint32_t x = a.position;
    const std::uint32_t y = b.position;
    db::PackedRecord left = store_.Get(records[x]);
    db::PackedRecord right = store_.Get(records[y]);
    for (std::size_t e = 0; e < compare.size(); ++e) {
      const TDBCompareRec& entry = compare[e];
      int result =
          entry.CompareFunc == CompareTextValues
              ? Sign(text_keys[e].Key(x).compare(text_keys[e].Key(y)), 0)
              : entry.CompareFunc(left.Get(entry.FieldIndex), right.Get(entry.FieldIndex), false);
      if (result != 0) return entry.Descending ? result > 0 : result < 0;
    }
    return x < y;
  });
  std::vector<db::RecordId> sorted(records.size());
  for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = records[order[i].position];
  return sorted;
}

void TVoBufDataset::BuildIndex(TBufIndex& index) {
  TDBCompareStruct compare = ResolveKeys(index);
  std::vector<db::RecordId> sorted = SortedRecords(compare);
  index.CompareStruct = std::move(compare);
  index.Initialise(store_.IdLimit());
  index.Relink(std::move(sorted));
}

void TVoBufDataset::BuildAllIndexes() {
  for (std::size_t i = 1; i < indexes_.size(); ++i) {
    TBufIndex& index = *indexes_[i];
    if (i == 1 && index.IndexFields.empty()) {
      index.Release();
      continue;
    }
    try {
      BuildIndex(index);
    } catch (const db::DatabaseError&) {
      // Its key fields are gone (a reload with other columns): the index stays
      // defined but cannot be used until a later build finds them again.
      index.Release();
    }
  }
  // An index whose key fields are gone is remembered as the one asked for, and
  // selected again by the first build that finds its fields back: a grid sorted
  // by a column stays sorted by it once a table with that column is loaded.
  if (wanted_index_ && current_index_ == 0 && indexes_[*wanted_index_]->IsInitialised()) {
    current_index_ = *wanted_index_;
    wanted_index_.reset();
  }
  if (!Current().IsInitialised()) {
    wanted_index_ = current_index_;
    current_index_ = 0;
  }
}

void TVoBufDataset::RebuildIndexes() {
  CheckActive();
  CheckBrowseMode();
  BuildAllIndexes();
  Current().SetCursor(Current().FirstRecord());
  Resynchronise();
}

void TVoBufDataset::Resynchronise() {
  Resync();
  Notify(db::DataEvent::kDataSetChanged);
}

std::size_t TVoBufDataset::SelectedIndex() const {
  return bulk_index_ ? *bulk_index_ : current_index_;
}

std::string TVoBufDataset::IndexName() const { return indexes_[SelectedIndex()]->Name; }

void TVoBufDataset::SetIndexName(std::string_view name) {
  if (name.empty()) name = "DEFAULT_ORDER";
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    if (!rtl::SameAsciiText(indexes_[i]->Name, name)) continue;
    if (!Active()) {
      current_index_ = i;
      wanted_index_.reset();
      return;
    }
    if (!indexes_[i]->IsInitialised() || (i == 1 && SelectedIndex() != 1)) return;
    wanted_index_.reset();
    if (bulk_index_) {
      bulk_index_ = i;  // selected when the load ends
      return;
    }
    CheckBrowseMode();
    db::RecordId record = HasCurrentRecord() ? Current().CursorRecord() : TBufIndex::kSentinel;
    current_index_ = i;
    Current().SetCursor(record);
    Resynchronise();
    return;
  }
}

std::string TVoBufDataset::IndexFieldNames() const {
  return SelectedIndex() == 1 ? indexes_[1]->IndexFields : std::string();
}

void TVoBufDataset::SetIndexFieldNames(std::string_view fields) {
  if (fields.empty()) {
    SetIndexName("DEFAULT_ORDER");
    return;
  }
  TBufIndex& index = *indexes_[1];
  wanted_index_.reset();
  if (!Active()) {
    index.IndexFields.assign(fields);
    current_index_ = 1;
    return;
  }
  if (!bulk_index_) CheckBrowseMode();
  db::RecordId record = HasCurrentRecord() ? Current().CursorRecord() : TBufIndex::kSentinel;
  std::string old_fields = index.IndexFields;
  index.IndexFields.assign(fields);
  try {
    BuildIndex(index);
  } catch (...) {
    index.IndexFields = old_fields;
    throw;
  }
  if (bulk_index_) {
    bulk_index_ = 1;  // built, and sorted again with the loaded records at the end
    return;
  }
  current_index_ = 1;
  Current().SetCursor(record);
  Resynchronise();
}

void TVoBufDataset::BeginBulkLoad() {
  if (bulk_index_) return;
  CheckActive();
  CheckBrowseMode();
  bulk_index_ = current_index_;
  db::RecordId record = HasCurrentRecord() ? Current().CursorRecord() : TBufIndex::kSentinel;
  current_index_ = 0;
  Current().SetCursor(record);
}

void TVoBufDataset::EndBulkLoad() {
  if (!bulk_index_) return;
  current_index_ = *bulk_index_;
  bulk_index_.reset();
  if (Active()) RebuildIndexes();
}

void TVoBufDataset::UpdateIndexDefs() {
  index_defs_.Clear();
  for (const auto& index : indexes_) {
    index_defs_.Add(
        {index->Name, index->IndexFields, index->DescFields, index->CaseInsFields, index->Options});
  }
}

// TVoBufDataset: the cursor over the current index, record numbers, bookmarks,
// the filter (its hook, its text compiled by the filter parser, its options) and
// Locate.
#include <optional>
#include <utility>

#include "datasets/VoBufDataset.h"
#include "rtl/Numbers.h"
#include "rtl/ScopeExit.h"

namespace {

// Whether a whole-number or fixed-point field holds a numeric key exactly: the
// field's conversion rounds 1.5 to 2 in an integer field and 1.23456 to 1.2346
// in a fixed-point one, and neither may then match.
bool HoldsExactly(const db::Field& field, const rtl::Variant& key, const db::FieldValue& stored) {
  if (stored.is_null) return true;
  double wanted = 0.0;
  switch (key.type) {
    case rtl::VarType::kFloat:
    case rtl::VarType::kDate:
      wanted = key.f;
      break;
    case rtl::VarType::kText: {
      std::optional<double> value = rtl::TextToFloat(key.s);
      if (!value) return true;  // "$FF" and the like: read as a whole number
      wanted = *value;
      break;
    }
    default:
      return true;
  }
  switch (field.Kind()) {
    case db::StorageKind::kInteger:
      return static_cast<double>(stored.i) == wanted;
    case db::StorageKind::kBcd:
      return static_cast<double>(stored.i) / 10000.0 == wanted;
    default:
      return true;
  }
}

}  // namespace

bool TVoBufDataset::VisitStoredTexts(
    const std::vector<int>& fields,
    const std::function<void(const std::vector<std::string_view>&)>& visit) const {
  if (!Active() || State() != db::DataSetState::kBrowse) return false;
  const db::RecordFormat& format = store_.Format();
  for (int f : fields) {
    if (f < 0 || f >= format.FieldCount() || format.Kind(f) != db::StorageKind::kText) return false;
  }
  const TBufIndex& index = *indexes_[SelectedIndex()];
  if (!index.IsInitialised()) return false;
  // A sorted index keeps its order as a list; otherwise the links are walked
  // (in DEFAULT_ORDER after a load they run through memory in order).
  std::vector<db::RecordId> walked;
  if (index.SortedOrder().empty()) {
    walked.reserve(store_.Count());
    for (db::RecordId r = index.FirstRecord(); r != TBufIndex::kSentinel; r = index.Next(r)) {
      walked.push_back(r);
    }
  }
  const std::vector<db::RecordId>& order =
      index.SortedOrder().empty() ? walked : index.SortedOrder();
  // Sorted records lie all over memory. Their places in the store's table are
  // fetched well ahead, the records themselves half as far, so that neither
  // read waits on the other.
  constexpr std::size_t kAhead = 32;
  // Every field of the record, in order (a table's save): one reading of the
  // record gives them all. A null text is stored empty.
  bool whole_records = static_cast<int>(fields.size()) == format.FieldCount();
  for (std::size_t i = 0; whole_records && i < fields.size(); ++i) {
    whole_records = fields[i] == static_cast<int>(i);
  }
  std::vector<std::string_view> texts(fields.size());
  for (std::size_t n = 0; n < order.size(); ++n) {
    if (n + 2 * kAhead < order.size()) store_.PrefetchPlace(order[n + 2 * kAhead]);
    if (n + kAhead < order.size()) store_.Prefetch(order[n + kAhead]);
    const db::PackedRecord packed = store_.Get(order[n]);
    if (whole_records) {
      packed.Texts(texts);
    } else {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        texts[i] = packed.IsNull(fields[i]) ? std::string_view() : packed.Text(fields[i]);
      }
    }
    visit(texts);
  }
  return true;
}

void TVoBufDataset::InternalFirst() { Current().SetCursor(TBufIndex::kSentinel); }

void TVoBufDataset::InternalLast() { Current().SetCursor(TBufIndex::kSentinel); }

bool TVoBufDataset::FilterAccepts(db::RecordId record) {
  filter_record_ = record;
  db::DataSetState old_state = SetTempState(db::DataSetState::kFilter);
  rtl::ScopeExit restore([&] { RestoreState(old_state); });
  bool accept = true;
  DoFilterRecord(accept);
  return accept;
}

void TVoBufDataset::DoFilterRecord(bool& accept) {
  accept = true;
  if (OnFilterRecord) OnFilterRecord(*this, accept);
  if (accept && !Filter().empty() && parser_) accept = parser_->AcceptsRecord(filter_source_);
}

db::GetResult TVoBufDataset::GetRecord(db::GetMode mode, bool do_check) {
  TBufIndex& index = Current();
  const db::RecordId start = index.CursorRecord();
  db::GetResult result = db::GetResult::grOK;
  bool rejected = false;
  while (true) {
    db::RecordId cursor = index.CursorRecord();
    switch (mode) {
      case db::GetMode::kPrior:
        cursor = index.Prior(cursor);
        result = cursor == TBufIndex::kSentinel ? db::GetResult::grBOF : db::GetResult::grOK;
        break;
      case db::GetMode::kCurrent:
        if (index.IsEmpty()) {
          result = db::GetResult::grError;
        } else {
          if (cursor == TBufIndex::kSentinel) cursor = index.LastRecord();
          result = db::GetResult::grOK;
        }
        break;
      case db::GetMode::kNext:
        cursor = index.Next(cursor);
        result = cursor == TBufIndex::kSentinel ? db::GetResult::grEOF : db::GetResult::grOK;
        break;
    }
    if (result != db::GetResult::grOK) break;
    // The cursor stands on the record under test, so that a handler sees it as
    // current; a test that throws must not leave it there while the framework
    // still shows the record it started from.
    index.SetCursor(cursor);
    bool accepted = true;
    try {
      accepted = !Filtered() || FilterAccepts(cursor);
    } catch (...) {
      index.SetCursor(start);
      throw;
    }
    if (accepted) break;
    if (mode == db::GetMode::kCurrent) {
      rejected = true;
      result = db::GetResult::grError;
      break;
    }
  }
  if (result != db::GetResult::grOK) {
    index.SetCursor(start);
    if (result == db::GetResult::grError && do_check && !rejected) Raise(db::kSNoRecord);
  }
  return result;
}

int TVoBufDataset::GetRecNo() const {
  if (!HasCurrentRecord() || GetRecordCount() == 0 || State() == db::DataSetState::kInsert) {
    return 0;
  }
  return Current().RecordNumber(Current().CursorRecord());
}

void TVoBufDataset::SetRecNo(int value) {
  CheckBrowseMode();
  if (value < 1 || value > RecordCount()) Raise(db::kSRecordNotFound);
  const TBufIndex& index = Current();
  db::RecordId record = index.FirstRecord();
  for (int i = 1; i < value && record != TBufIndex::kSentinel; ++i) record = index.Next(record);
  if (record == TBufIndex::kSentinel) Raise(db::kSRecordNotFound);
  GotoBookmark(store_.BookmarkOf(record));
}

db::Bookmark TVoBufDataset::InternalGetBookmark() const {
  return store_.BookmarkOf(Current().CursorRecord());
}

bool TVoBufDataset::BookmarkValid(const db::Bookmark& bookmark) const {
  return Active() && IsListed(bookmark);
}

void TVoBufDataset::InternalGotoBookmark(const db::Bookmark& bookmark) {
  if (!IsListed(bookmark)) Raise(db::kSRecordNotFound);
  Current().SetCursor(bookmark.id);
}

void TVoBufDataset::ParseFilter(std::string_view text) { CompileFilter(text, FilterOptions()); }

void TVoBufDataset::CompileFilter(std::string_view text, db::FilterOptionSet options) {
  if (text.empty() || !CursorOpen()) return;
  // Compiled aside and swapped in only when it compiled: a text that fails
  // leaves the filter in force as it was.
  auto parser = std::make_unique<TVoBufDatasetParser>(FilterFieldsOf(*this));
  parser->SetPartialMatch((options & db::foNoPartialCompare) == 0);
  parser->SetCaseInsensitive((options & db::foCaseInsensitive) != 0);
  parser->CompileFilter(text);
  parser_ = std::move(parser);
}

void TVoBufDataset::SetFilterText(std::string_view value) {
  if (value == Filter()) return;
  ParseFilter(value);
  db::DataSet::SetFilterText(value);
}

void TVoBufDataset::SetFilterOptions(db::FilterOptionSet value) {
  if (value == FilterOptions()) return;
  CompileFilter(Filter(), value);
  db::DataSet::SetFilterOptions(value);
}

bool TVoBufDataset::Locate(std::string_view key_fields, const std::vector<rtl::Variant>& key_values,
                           db::LocateOptionSet) {
  if (!Active() || RecordCount() == 0) return false;
  std::vector<db::Field*> fields;
  for (const std::string& name : db::SplitFieldNames(key_fields)) {
    fields.push_back(&FieldByName(name));
  }
  if (fields.empty()) return false;
  TDBCompareStruct compare(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) FillCompareEntry(*fields[i], compare[i]);
  if (key_values.size() != fields.size()) {
    Raise(db::FormatMessage(kSKeyValueCount, {std::to_string(key_values.size()),
                                              std::to_string(fields.size()), key_fields}));
  }
  db::RecordBuffer key = store_.Format().NewBuffer();
  if (!FillSearchRecord(fields, key_values, key)) return false;

  // The walk follows the record links only; the cursor moves just once, to the
  // match, so a search that finds nothing leaves it where it was.
  const TBufIndex& index = Current();
  for (db::RecordId record = index.FirstRecord(); record != TBufIndex::kSentinel;
       record = index.Next(record)) {
    if (!KeyMatches(record, compare, key)) continue;
    if (Filtered() && !FilterAccepts(record)) continue;
    GotoBookmark(store_.BookmarkOf(record));
    return true;
  }
  return false;
}

bool TVoBufDataset::FillSearchRecord(const std::vector<db::Field*>& fields,
                                     const std::vector<rtl::Variant>& key_values,
                                     db::RecordBuffer& key) {
  {
    // The fields convert each value as for any write, into `key` rather than a
    // stored record (see SetFieldData).
    db::DataSetState old_state = SetTempState(db::DataSetState::kFilter);
    key_buffer_ = &key;
    rtl::ScopeExit restore([&] {
      key_buffer_ = nullptr;
      RestoreState(old_state);
    });
    try {
      for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(key_values[i]);
    } catch (const db::ConversionError&) {
      return false;  // "abc" for an integer field: no record can hold it
    }
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const db::FieldValue& stored = key[static_cast<std::size_t>(fields[i]->FieldNo() - 1)];
    if (!HoldsExactly(*fields[i], key_values[i], stored)) return false;
  }
  return true;
}

bool TVoBufDataset::KeyMatches(db::RecordId record, const TDBCompareStruct& compare,
                               const db::RecordBuffer& key) const {
  db::PackedRecord packed = store_.Get(record);
  for (const TDBCompareRec& entry : compare) {
    const db::FieldValue& value = key[static_cast<std::size_t>(entry.FieldIndex)];
    db::FieldData wanted;
    wanted.i = value.i;
    wanted.f = value.f;
    wanted.s = value.s;
    if (entry.CompareFunc(packed.Get(entry.FieldIndex), wanted, false) != 0) return false;
  }
  return true;
}

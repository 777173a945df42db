// The framework's navigation: first, last, next, prior, move by,
// resynchronisation, bookmarks, the filter switch, text and options, over the
// concrete dataset's cursor.
#include "db/DataSet.h"

namespace db {

DataSet::Position DataSet::SavePosition() const {
  Position position;
  position.has_record = has_record_;
  position.bof = bof_;
  position.eof = eof_;
  if (Active() && has_record_) position.bookmark = InternalGetBookmark();
  return position;
}

void DataSet::RestorePosition(const Position& position) noexcept {
  try {
    if (position.has_record && BookmarkValid(position.bookmark)) {
      InternalGotoBookmark(position.bookmark);
      SetPosition(true, position.bof, position.eof);
      return;
    }
    InternalFirst();
  } catch (...) {
    // The cursor cannot be put back: show nothing rather than a record other
    // than the cursor's.
  }
  SetPosition(false, true, true);
}

void DataSet::First() {
  CheckBrowseMode();
  ScrollStarting();
  const Position previous = SavePosition();
  bool found = false;
  try {
    InternalFirst();
    found = GetRecord(GetMode::kNext, false) == GetResult::grOK;
  } catch (...) {
    RestorePosition(previous);
    throw;
  }
  SetPosition(found, true, !found);
  Notify(DataEvent::kScrolled);
  ScrollDone();
}

void DataSet::Last() {
  CheckBrowseMode();
  ScrollStarting();
  const Position previous = SavePosition();
  bool found = false;
  try {
    InternalLast();
    found = GetRecord(GetMode::kPrior, false) == GetResult::grOK;
  } catch (...) {
    RestorePosition(previous);
    throw;
  }
  SetPosition(found, !found, true);
  Notify(DataEvent::kScrolled);
  ScrollDone();
}

void DataSet::Next() { MoveBy(1); }

void DataSet::Prior() { MoveBy(-1); }

int DataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  ScrollStarting();
  const GetMode mode = distance > 0 ? GetMode::kNext : GetMode::kPrior;
  // A move of several records that throws part way goes back to where it began.
  const Position previous = SavePosition();
  int moved = 0;
  while (moved != distance) {
    GetResult result = GetResult::grError;
    try {
      result = GetRecord(mode, false);
    } catch (...) {
      RestorePosition(previous);
      throw;
    }
    if (result != GetResult::grOK) {
      if (distance > 0) {
        eof_ = true;
      } else {
        bof_ = true;
      }
      break;
    }
    has_record_ = true;
    if (distance > 0) {
      bof_ = false;
      ++moved;
    } else {
      eof_ = false;
      --moved;
    }
  }
  Notify(DataEvent::kScrolled);
  ScrollDone();
  return moved;
}

bool DataSet::IsEmpty() const { return !has_record_ && state_ != DataSetState::kInsert; }

void DataSet::Refresh() {
  DoBeforeRefresh();
  CheckBrowseMode();
  InternalRefresh();
  Resync();
  Notify(DataEvent::kDataSetChanged);
  DoAfterRefresh();
}

void DataSet::Resync() {
  if (GetRecord(GetMode::kCurrent, false) == GetResult::grOK ||
      GetRecord(GetMode::kNext, false) == GetResult::grOK ||
      GetRecord(GetMode::kPrior, false) == GetResult::grOK) {
    SetPosition(true, false, false);
  } else {
    SetPosition(false, true, true);
  }
}

Bookmark DataSet::GetBookmark() const {
  if (!Active() || !has_record_) return {};
  return InternalGetBookmark();
}

void DataSet::GotoBookmark(const Bookmark& bookmark) {
  CheckBrowseMode();
  if (!bookmark.IsSet()) Raise(kSInvalidBookmark);
  // A bookmark of a record that is gone is refused before anything moves.
  if (!BookmarkValid(bookmark)) Raise(kSRecordNotFound);
  ScrollStarting();
  const Position shown = SavePosition();
  GetResult result = GetResult::grError;
  try {
    InternalGotoBookmark(bookmark);
    result = GetRecord(GetMode::kCurrent, false);
  } catch (...) {
    RestorePosition(shown);
    throw;
  }
  if (result != GetResult::grOK) {
    // The filter hides the record: stay on the record that was current.
    if (shown.has_record && BookmarkValid(shown.bookmark)) {
      InternalGotoBookmark(shown.bookmark);
    } else {
      InternalFirst();
    }
    Resync();
    Raise(kSRecordNotFound);
  }
  SetPosition(true, false, false);
  Notify(DataEvent::kScrolled);
  ScrollDone();
}

int DataSet::CompareBookmarks(const Bookmark& a, const Bookmark& b) const {
  return a == b ? 0 : -1;
}

void DataSet::SetRecNo(int) {}

void DataSet::SetFiltered(bool value) {
  if (filtered_ == value) return;
  if (Active()) CheckBrowseMode();
  filtered_ = value;
  if (Active()) Refresh();
}

void DataSet::SetFilterText(std::string_view value) {
  if (filter_text_ == value) return;
  filter_text_.assign(value);
  if (Active() && filtered_) Refresh();
}

void DataSet::SetFilterOptions(FilterOptionSet value) {
  if (filter_options_ == value) return;
  filter_options_ = value;
  if (Active() && filtered_) Refresh();
}

bool DataSet::Locate(std::string_view, const std::vector<rtl::Variant>&, LocateOptionSet) {
  return false;
}

bool DataSet::Locate(std::string_view key_fields, const rtl::Variant& key_value,
                     LocateOptionSet options) {
  return Locate(key_fields, std::vector<rtl::Variant>{key_value}, options);
}

}  // namespace db

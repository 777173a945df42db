// The framework's navigation: first, last, next, prior, resynchronisation,
// bookmarks and the filter switch, over the concrete dataset's cursor.
#include "DataSet.h"

namespace db {

void DataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  InternalFirst();
  bool found = GetRecord(GetMode::kNext, false) == GetResult::grOK;
  SetPosition(found, true, !found);
  Notify(DataEvent::kScrolled);
  DoAfterScroll();
}

void DataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  InternalLast();
  bool found = GetRecord(GetMode::kPrior, false) == GetResult::grOK;
  SetPosition(found, !found, true);
  Notify(DataEvent::kScrolled);
  DoAfterScroll();
}

void DataSet::Next() {
  CheckBrowseMode();
  if (eof_) return;
  DoBeforeScroll();
  if (GetRecord(GetMode::kNext, false) == GetResult::grOK) {
    bof_ = false;
    has_record_ = true;
  } else {
    eof_ = true;
  }
  Notify(DataEvent::kScrolled);
  DoAfterScroll();
}

void DataSet::Prior() {
  CheckBrowseMode();
  if (bof_) return;
  DoBeforeScroll();
  if (GetRecord(GetMode::kPrior, false) == GetResult::grOK) {
    eof_ = false;
    has_record_ = true;
  } else {
    bof_ = true;
  }
  Notify(DataEvent::kScrolled);
  DoAfterScroll();
}

bool DataSet::IsEmpty() const { return !has_record_ && state_ != DataSetState::kInsert; }

void DataSet::Refresh() {
  CheckBrowseMode();
  InternalRefresh();
  Resync();
  Notify(DataEvent::kDataSetChanged);
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
  if (!BookmarkValid(bookmark)) Raise(kSInvalidBookmark);
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  if (GetRecord(GetMode::kCurrent, false) != GetResult::grOK) {
    Resync();
    Raise(kSRecordNotFound);
  }
  SetPosition(true, false, false);
  Notify(DataEvent::kScrolled);
  DoAfterScroll();
}

int DataSet::CompareBookmarks(const Bookmark& a, const Bookmark& b) const {
  return a == b ? 0 : -1;
}

void DataSet::SetFiltered(bool value) {
  if (filtered_ == value) return;
  if (Active()) CheckBrowseMode();
  filtered_ = value;
  if (Active()) Refresh();
}

}  // namespace db

// A minimal concrete dataset over a vector of rows, for testing the framework:
// it logs each internal step, and can be told to fail while opening.
#pragma once

#include <string>
#include <vector>

#include "db/DataSet.h"
#include "db/RecordStore.h"

class ListDataSet : public db::DataSet {
 public:
  ListDataSet() { SetName("List"); }
  ~ListDataSet() override { Close(); }

  // Logs every event under its own name, into the same log as the internal steps.
  void LogEvents() {
    auto log = [this](const char* name) {
      return [this, name](db::DataSet&) { log_.push_back(name); };
    };
    BeforeOpen = log("BeforeOpen");
    AfterOpen = log("AfterOpen");
    BeforeClose = log("BeforeClose");
    AfterClose = log("AfterClose");
    BeforeInsert = log("BeforeInsert");
    AfterInsert = log("AfterInsert");
    BeforeEdit = log("BeforeEdit");
    AfterEdit = log("AfterEdit");
    BeforePost = log("BeforePost");
    AfterPost = log("AfterPost");
    BeforeCancel = log("BeforeCancel");
    AfterCancel = log("AfterCancel");
    BeforeDelete = log("BeforeDelete");
    AfterDelete = log("AfterDelete");
    BeforeScroll = log("BeforeScroll");
    AfterScroll = log("AfterScroll");
    BeforeRefresh = log("BeforeRefresh");
    AfterRefresh = log("AfterRefresh");
    OnNewRecord = log("OnNewRecord");
  }

  std::vector<db::RecordBuffer> rows;
  std::vector<std::string> log_;
  bool fail_open = false;

  using db::DataSet::HasCurrentRecord;
  // The record that field writes go to (the one being edited or inserted).
  const db::RecordBuffer& WriteBuffer() const { return buffer_; }

 protected:
  void InternalOpen() override {
    log_.push_back("InternalOpen");
    if (fail_open) throw db::DatabaseError("open failed");
    buffer_.assign(static_cast<std::size_t>(FieldDefs().Count()), db::FieldValue{});
    for (auto& row : rows) row.resize(buffer_.size());
    cursor_ = -1;
  }
  void InternalClose() override { log_.push_back("InternalClose"); }
  void InternalFirst() override { cursor_ = -1; }
  void InternalLast() override { cursor_ = Size(); }
  db::GetResult GetRecord(db::GetMode mode, bool) override {
    int start = cursor_;
    while (true) {
      int next = mode == db::GetMode::kNext    ? cursor_ + 1
                 : mode == db::GetMode::kPrior ? cursor_ - 1
                                               : std::min(cursor_, Size() - 1);
      db::GetResult result = db::GetResult::grOK;
      if (Size() == 0 && mode == db::GetMode::kCurrent) result = db::GetResult::grError;
      if (next >= Size()) result = db::GetResult::grEOF;
      if (next < 0) result = db::GetResult::grBOF;
      if (result != db::GetResult::grOK) {
        cursor_ = start;
        return result;
      }
      cursor_ = next;
      if (!Filtered() || Accepts()) return db::GetResult::grOK;
      if (mode == db::GetMode::kCurrent) {
        cursor_ = start;
        return db::GetResult::grError;
      }
    }
  }
  void InternalInsert(bool append) override {
    log_.push_back(append ? "InternalInsert(append)" : "InternalInsert");
    for (auto& value : buffer_) value.SetNull();
    insert_at_ = append || cursor_ < 0 ? Size() : cursor_;
  }
  void InternalEdit() override {
    log_.push_back("InternalEdit");
    buffer_ = rows[static_cast<std::size_t>(cursor_)];
  }
  void InternalPost() override {
    log_.push_back("InternalPost");
    if (State() == db::DataSetState::kInsert) {
      rows.insert(rows.begin() + insert_at_, buffer_);
      cursor_ = insert_at_;
    } else {
      rows[static_cast<std::size_t>(cursor_)] = buffer_;
    }
  }
  void InternalCancel() override { log_.push_back("InternalCancel"); }
  void InternalDelete() override {
    log_.push_back("InternalDelete");
    rows.erase(rows.begin() + cursor_);
  }
  db::Bookmark InternalGetBookmark() const override {
    return {static_cast<db::RecordId>(cursor_), 0};
  }
  void InternalGotoBookmark(const db::Bookmark& bookmark) override {
    if (static_cast<int>(bookmark.id) >= Size()) Raise(db::kSInvalidBookmark);
    cursor_ = static_cast<int>(bookmark.id);
  }
  int GetRecordCount() const override { return Size(); }
  int GetRecNo() const override { return HasCurrentRecord() ? cursor_ + 1 : 0; }
  bool GetFieldData(const db::Field& field, db::FieldData& data) const override {
    const db::RecordBuffer* row = &buffer_;
    if (State() == db::DataSetState::kBrowse || State() == db::DataSetState::kFilter) {
      if (cursor_ < 0 || cursor_ >= Size()) return false;
      row = &rows[static_cast<std::size_t>(cursor_)];
    }
    const db::FieldValue& value = (*row)[static_cast<std::size_t>(field.FieldNo() - 1)];
    if (value.is_null) return false;
    data.i = value.i;
    data.f = value.f;
    data.s = value.s;
    return true;
  }
  void SetFieldData(db::Field& field, const db::FieldData* data) override {
    db::FieldValue& value = buffer_[static_cast<std::size_t>(field.FieldNo() - 1)];
    if (data == nullptr) {
      value.SetNull();
      return;
    }
    value.is_null = false;
    value.i = data->i;
    value.f = data->f;
    value.s.assign(data->s);
  }

 private:
  int Size() const { return static_cast<int>(rows.size()); }
  bool Accepts() { return OfferToFilterHandler(); }

  db::RecordBuffer buffer_;
  int cursor_ = -1;
  int insert_at_ = 0;
};

// A row of text values for a dataset whose fields are all texts.
inline db::RecordBuffer TextRow(std::initializer_list<const char*> values) {
  db::RecordBuffer row;
  for (const char* value : values) {
    db::FieldValue field;
    field.is_null = false;
    field.s = value;
    row.push_back(field);
  }
  return row;
}

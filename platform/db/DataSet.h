// The dataset framework: states, opening and closing, field objects made from
// field definitions, navigation, bookmarks, editing, the filter switch, events
// with their virtual hooks, and disable/enable controls with observers. A
// concrete dataset (the buffered dataset, a table reader) supplies the cursor and
// the record storage through the protected Internal* operations.
//
// The order of the steps of each operation is fixed:
//   Open     before open, [field defs, bind fields, internal open, first record],
//            browse state, after open, after scroll (when not empty)
//   Close    before close, (a pending edit is dropped), internal close, inactive
//            state, after close
//   Append / Insert
//            check browse mode, before insert, before scroll, new record, insert
//            state, on new record, after insert, after scroll
//   Edit     before edit, internal edit, edit state, after edit (on an empty
//            dataset Edit appends instead)
//   Post     before post, required-field check, internal post, browse state,
//            resync, after post
//   Cancel   before cancel, internal cancel, browse state, resync, after cancel,
//            after scroll (only when an insert was cancelled)
//   Delete   before delete, internal delete, browse state, resync, after delete,
//            after scroll (Delete in the insert state cancels the insert instead)
//   First, Last, Next, Prior, MoveBy, GotoBookmark
//            check browse mode, before scroll, move, after scroll (Next at the end,
//            Prior at the beginning and MoveBy(0) do nothing at all)
// Check browse mode posts a modified record and cancels an unmodified one. An
// exception from a "before" hook stops the operation before anything changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/BlobStream.h"
#include "db/Bookmark.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/FieldDefs.h"

namespace db {

enum class DataSetState {
  kInactive,
  kBrowse,
  kEdit,
  kInsert,
  kFilter,  // temporary, while a record is offered to the filter
  // Temporary, while a field's old value is read (Field::OldValue): the dataset
  // gives the active record's values as they were before its logged changes.
  kOldValue,
};

// A record's standing in a dataset that logs its changes (UpdateStatus).
enum class UpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// What a logged change did to its record.
enum class UpdateKind : std::uint8_t { ukModify = 0, ukInsert = 1, ukDelete = 2 };

// The answer of an update-error handler about a change that could not be
// applied: leave it logged and go on (rrSkip), stop applying (rrAbort), count it
// as failed (rrMerge), try it again (rrApply), or drop it as if it had been
// applied (rrIgnore).
enum class ResolverResponse { rrSkip, rrAbort, rrMerge, rrApply, rrIgnore };

// What observers (a grid model) are told. While controls are disabled nothing is
// sent; enabling them again to nesting level zero sends kDataSetChanged.
enum class DataEvent {
  kActiveChanged,   // opened or closed
  kStateChanged,    // browse, edit or insert entered
  kRecordChanged,   // a field of the active record was written
  kScrolled,        // another record became current
  kDataSetChanged,  // records added, removed or reordered; anything may differ
};

class DataSetObserver {
 public:
  virtual ~DataSetObserver() = default;
  virtual void OnDataEvent(DataSet& dataset, DataEvent event) = 0;
};

using DataSetNotifyEvent = std::function<void(DataSet&)>;
using FilterRecordEvent = std::function<void(DataSet&, bool& accept)>;
// Called for a logged change that failed to apply: the dataset that applies
// (sender), the dataset whose change it is, the error (UpdateError, keeping the
// write's own error), the change's kind, and the response, which the handler may
// change.
using ResolverErrorEvent = std::function<void(DataSet& sender, DataSet& dataset, UpdateError& error,
                                              UpdateKind kind, ResolverResponse& response)>;

// Record-fetch modes and results of the concrete dataset's GetRecord.
enum class GetMode { kPrior, kCurrent, kNext };
enum class GetResult { grOK, grBOF, grEOF, grError };

// Filter options, combined as bits: texts compared without regard to case, and
// "*" patterns not expanded.
using FilterOptionSet = unsigned;
inline constexpr FilterOptionSet foCaseInsensitive = 1;
inline constexpr FilterOptionSet foNoPartialCompare = 2;

// Locate options, combined as bits; what they change is the concrete dataset's.
using LocateOptionSet = unsigned;
inline constexpr LocateOptionSet loCaseInsensitive = 1;
inline constexpr LocateOptionSet loPartialKey = 2;

class DataSet {
 public:
  DataSet() = default;
  // A concrete dataset closes itself in its own destructor (Close calls it back).
  virtual ~DataSet() = default;
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Opening is all or nothing: when any step throws, the dataset is left closed,
  // its default fields removed, its filter text as it was before the open, and
  // the exception passes on.
  void Open();
  void Close();
  bool Active() const { return state_ != DataSetState::kInactive; }
  void SetActive(bool value) { value ? Open() : Close(); }
  DataSetState State() const { return state_; }

  // Definitions, changed only while closed. Fields made by CreateFields stay
  // across closing; fields made by Open (because there were none) go at Close.
  FieldDefList& FieldDefs() { return field_defs_; }
  const FieldDefList& FieldDefs() const { return field_defs_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  Field& Fields(int index) { return *fields_[static_cast<std::size_t>(index)]; }
  // nullptr when no field has that name in any letter case.
  Field* FindField(std::string_view name) const;
  // Throws DatabaseError "<name> : Field not found : "<field>"" when absent.
  Field& FieldByName(std::string_view name) const;
  // Replaces the field objects by one per field definition; DatabaseError when
  // the dataset is active.
  void CreateFields();
  // Removes every field object; DatabaseError when the dataset is active.
  void DestroyFields();

  // Navigation. Each first posts or cancels a pending edit (check browse mode).
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves `distance` records forward (positive) or back, stopping at either end;
  // returns the number of records actually moved, negative when moving back.
  // One before-scroll and one after-scroll event for the whole move.
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // True when there is no current record (and no record being inserted).
  bool IsEmpty() const;
  int RecordCount() const { return Active() ? GetRecordCount() : 0; }
  // 1-based position of the current record in the current order; 0 when none.
  int RecNo() const { return Active() ? GetRecNo() : 0; }
  // Makes record number `value` current. The framework itself does nothing; see
  // the concrete dataset for its errors.
  virtual void SetRecNo(int value);
  // Re-reads the current record (or its nearest neighbour) after a check of
  // browse mode.
  void Refresh();

  // Bookmarks. GetBookmark gives an unset bookmark when there is no current
  // record. GotoBookmark throws DatabaseError "Invalid bookmark" for an unset
  // bookmark, and "Could not find the requested record." for one that
  // BookmarkValid refuses (its record is gone) or whose record the filter hides;
  // the current record then stays the one it was, as it does for every move
  // (First, Last, Next, Prior, MoveBy) that a filter test breaks off by throwing.
  Bookmark GetBookmark() const;
  void GotoBookmark(const Bookmark& bookmark);
  virtual bool BookmarkValid(const Bookmark& bookmark) const { return bookmark.IsSet(); }
  // 0 when both name the same record, otherwise -1 (bookmarks have no order).
  virtual int CompareBookmarks(const Bookmark& a, const Bookmark& b) const;

  // Editing. Append, Insert, Edit and Delete throw DatabaseError on an inactive
  // dataset, Delete also on an empty one. Post and Cancel do nothing outside the
  // edit and insert states. A failed post keeps the edit state and the values.
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void CheckBrowseMode();
  bool Modified() const { return modified_; }
  // The active record's standing in the dataset's change log; a dataset that
  // keeps no log has every record unmodified.
  virtual db::UpdateStatus UpdateStatus() const { return db::UpdateStatus::usUnmodified; }

  // The filter switch; records are offered to OnFilterRecord (and to the
  // concrete dataset's own filter) while it is on. Switching on an open dataset
  // refreshes it.
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool value);
  // The filter text, its meaning the concrete dataset's. The framework stores
  // it and, on an open dataset with the filter on, refreshes; so do the options.
  const std::string& Filter() const { return filter_text_; }
  virtual void SetFilterText(std::string_view value);
  FilterOptionSet FilterOptions() const { return filter_options_; }
  virtual void SetFilterOptions(FilterOptionSet value);

  // Makes the first record whose `key_fields` (names separated by ";") hold
  // `key_values` (one per key field) current and returns true; false leaves the
  // current record alone. The framework finds nothing; see the concrete dataset.
  virtual bool Locate(std::string_view key_fields, const std::vector<rtl::Variant>& key_values,
                      LocateOptionSet options);
  // The same for one value: Locate(key_fields, {key_value}, options).
  bool Locate(std::string_view key_fields, const rtl::Variant& key_value,
              LocateOptionSet options = 0);

  // Disable/enable controls nest; observers hear nothing while disabled and get
  // kDataSetChanged when the count returns to zero. Observers are not owned and
  // must be removed before they are destroyed.
  void DisableControls() { ++disable_count_; }
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0; }
  // A quiet cursor moves for a reader that walks the rows and comes back (a
  // grid reading what it paints): the scroll hooks and events do not run and
  // observers hear no kScrolled, so nothing follows a record nobody chose.
  // Quieting nests.
  void QuietenCursor() { ++quiet_count_; }
  void UnquietenCursor() {
    if (quiet_count_ > 0) --quiet_count_;
  }
  bool CursorQuiet() const { return quiet_count_ > 0; }
  void AddObserver(DataSetObserver* observer);
  void RemoveObserver(DataSetObserver* observer);

  // A stream over a blob field's value, or nullptr when the dataset has none to
  // give (a null field read, an unsupported mode). See the concrete dataset.
  virtual std::unique_ptr<BlobStream> CreateBlobStream(Field& field, BlobStreamMode mode);

  // Events; each is fired by the virtual hook of the same name.
  DataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  DataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  DataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  DataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  DataSetNotifyEvent BeforeRefresh, AfterRefresh;
  DataSetNotifyEvent OnNewRecord;
  FilterRecordEvent OnFilterRecord;

  // The dataset's error: DatabaseError with this dataset's name in front.
  [[noreturn]] void Raise(std::string_view message) const;
  // DatabaseError unless active / unless inactive.
  void CheckActive() const;
  void CheckInactive() const;

 protected:
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeInsert();
  virtual void DoAfterInsert();
  virtual void DoBeforeEdit();
  virtual void DoAfterEdit();
  virtual void DoBeforePost();
  virtual void DoAfterPost();
  virtual void DoBeforeCancel();
  virtual void DoAfterCancel();
  virtual void DoBeforeDelete();
  virtual void DoAfterDelete();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  virtual void DoBeforeRefresh();
  virtual void DoAfterRefresh();
  virtual void DoOnNewRecord();
  // The scroll hooks as a move of the cursor runs them: not while it is quiet.
  void ScrollStarting() {
    if (!CursorQuiet()) DoBeforeScroll();
  }
  void ScrollDone() {
    if (!CursorQuiet()) DoAfterScroll();
  }

  // Before the fields are bound: a concrete dataset that reads its definitions
  // from its source fills FieldDefs here.
  virtual void InternalInitFieldDefs() {}
  // With the fields bound: set up the storage. On an exception the framework
  // calls InternalClose, which must cope with a half-done open.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  // After InternalClose, when an open failed: puts back what InternalOpen changed
  // of the dataset's settings (an order it fell back from). Must not throw.
  virtual void InternalOpenFailed() noexcept {}
  // Cursor before the first / after the last record.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Moves the cursor to the prior / next record, or checks the current one,
  // offering each to the filter when it is on; on any result but grOK, and when
  // the filter test throws, the cursor stays where it was. grError with
  // `do_check` throws "No record". The framework also puts the cursor back on the
  // shown record when a move that placed it first (First, Last, GotoBookmark)
  // throws.
  virtual GetResult GetRecord(GetMode mode, bool do_check) = 0;
  // A new, all-null record to be inserted before the current record, or
  // appended at the end of the current order.
  virtual void InternalInsert(bool append) = 0;
  virtual void InternalEdit() = 0;
  virtual void InternalPost() = 0;
  virtual void InternalCancel() = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalRefresh() {}
  virtual Bookmark InternalGetBookmark() const = 0;
  // Throws DatabaseError for a bookmark of no live record.
  virtual void InternalGotoBookmark(const Bookmark& bookmark) = 0;
  virtual int GetRecordCount() const = 0;
  virtual int GetRecNo() const { return 0; }
  // The active record's value of `field`; false for null or no active record.
  virtual bool GetFieldData(const Field& field, FieldData& data) const = 0;
  // Stores `data` (nullptr: null) into the active record; the edit and insert
  // states are checked. In the filter state (which the framework lets writes
  // through in, read-only fields too) a dataset stores into a record of its own
  // making, such as a search record, or raises.
  virtual void SetFieldData(Field& field, const FieldData* data) = 0;

  bool HasCurrentRecord() const { return has_record_; }
  // Places the framework on the cursor's record, or its next or prior accepted
  // neighbour, or on nothing.
  void Resync();
  void Notify(DataEvent event);
  // Temporary states (filter) switch without events.
  DataSetState SetTempState(DataSetState state);
  void RestoreState(DataSetState state) { state_ = state; }
  // Offers the active record to OnFilterRecord in the filter state, which ends
  // also when the handler throws: its answer, true without a handler.
  bool OfferToFilterHandler();
  // Called from field writes and from blob-stream creation: marks the record
  // modified and raises the field's change event unless in a temporary state.
  void FieldChanged(Field& field);

 private:
  friend class Field;

  bool ReadFieldData(const Field& field, FieldData& data) const;
  void WriteFieldData(Field& field, const FieldData* data);
  void BindFields();
  // Inactive state, no current record, and the fields made by Open removed.
  void BecomeInactive();
  void SetState(DataSetState state);
  void DoInsertAppend(bool append);
  void SetPosition(bool found, bool bof, bool eof);
  // The record shown, to return to when a move throws.
  struct Position {
    Bookmark bookmark;
    bool has_record = false;
    bool bof = true;
    bool eof = true;
  };
  Position SavePosition() const;
  void RestorePosition(const Position& position) noexcept;

  std::string name_;
  DataSetState state_ = DataSetState::kInactive;
  FieldDefList field_defs_;
  std::vector<std::unique_ptr<Field>> fields_;
  bool default_fields_ = false;
  bool has_record_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool filtered_ = false;
  std::string filter_text_;
  FilterOptionSet filter_options_ = 0;
  int disable_count_ = 0;
  int quiet_count_ = 0;
  std::vector<DataSetObserver*> observers_;
};

// Suspends a dataset's display updates for a scope, and resumes them also when
// the scope is left by an exception.
class ControlsDisabled {
 public:
  explicit ControlsDisabled(DataSet& dataset) : dataset_(dataset) { dataset_.DisableControls(); }
  ~ControlsDisabled() { dataset_.EnableControls(); }
  ControlsDisabled(const ControlsDisabled&) = delete;
  ControlsDisabled& operator=(const ControlsDisabled&) = delete;

 private:
  DataSet& dataset_;
};

// Quietens a dataset's cursor for a scope, and gives it its voice back also
// when the scope is left by an exception.
class QuietCursor {
 public:
  explicit QuietCursor(DataSet& dataset) : dataset_(dataset) { dataset_.QuietenCursor(); }
  ~QuietCursor() { dataset_.UnquietenCursor(); }
  QuietCursor(const QuietCursor&) = delete;
  QuietCursor& operator=(const QuietCursor&) = delete;

 private:
  DataSet& dataset_;
};

}  // namespace db

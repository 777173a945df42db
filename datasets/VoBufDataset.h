// TVoBufDataset: the in-memory dataset. Every record lives in one record store
// and is linked into one or more indexes; each index is a doubly linked list of
// the records in its own order with its own cursor, and the dataset's cursor is
// the cursor of the current index. Index 0, "DEFAULT_ORDER", keeps the records in
// the order they were added; index 1 serves IndexFieldNames; further indexes
// come from AddIndex and are sorted by their key fields when built.
//
// Which indexes take a new record, and where: the current index at the insertion
// point (before the record that was current for Insert, at its end for Append),
// DEFAULT_ORDER before that same record or at its end, every further index before
// its own cursor; index 1 only while it is current. During a bulk load only
// DEFAULT_ORDER takes records. Posting an edit moves a record in no index; a
// sorted index is sorted again only when built: by AddIndex, by writing
// IndexFieldNames, by RebuildIndexes, and at the end of each bulk load.
//
// The change log. Every posted insert or edit and every delete is logged while
// the dataset is open (bulk loads included): a record has at most one entry, made
// by its first change and keeping, for an edit, a copy of the record as it was
// before it; a delete turns the record's entry into a deletion or adds one with a
// copy of the record. A deleted record leaves every index but stays stored while
// its entry names it, so that CancelUpdates can put it back and ApplyUpdates can
// show it to ApplyRecUpdate; one whose deletion was applied goes when the log is
// emptied. So no record the log names is freed while the log lasts, and record
// ids alone name records in it. Closing the dataset drops the log with
// everything it holds. A record's entry is found through a table indexed by
// record id, so a change costs the same however long the log is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/DataPacket.h"
#include "datasets/vobufdataset_parser.h"
#include "datasets/VoChangeLog.h"
#include "db/DataSet.h"
#include "db/RecordStore.h"

// Compares two values of one key field: <0, 0 or >0.
using TCompareFunc = int (*)(const db::FieldData& a, const db::FieldData& b, bool case_insensitive);

// Text by the locale's collation (upper-cased first when case-insensitive);
// truth values false before true; whole numbers (every integer type and the full
// 64 bits of a BCD value); floating numbers and dates.
int CompareTextValues(const db::FieldData& a, const db::FieldData& b, bool case_insensitive);
int CompareByteValues(const db::FieldData& a, const db::FieldData& b, bool case_insensitive);
int CompareLargeintValues(const db::FieldData& a, const db::FieldData& b, bool case_insensitive);
int CompareDoubleValues(const db::FieldData& a, const db::FieldData& b, bool case_insensitive);

// One key field of an index: its place in the record and how it compares.
struct TDBCompareRec {
  TCompareFunc CompareFunc = nullptr;
  int FieldIndex = 0;  // 0-based position of the field's definition
  bool Descending = false;
  bool CaseInsensitive = false;
};
using TDBCompareStruct = std::vector<TDBCompareRec>;

// The record image sizes of the dataset packet layout: a null mask of one bit per
// field, then one slot per field definition of GetFieldSize bytes.
struct TRecordLayout {
  std::int64_t NullMaskSize = 1;
  std::int64_t RecordSize = 1;
  std::vector<std::int64_t> FieldOffsets;
};

// One index: its definition, and while the dataset is open its list and cursor.
// The list is a ring through a sentinel (kSentinel): the sentinel's next is the
// first record and its prior the last. A cursor on the sentinel stands before the
// first record for a move forward and after the last for a move back.
class TBufIndex {
 public:
  static constexpr db::RecordId kSentinel = db::kNoRecord;

  TBufIndex(std::string_view name, std::string_view fields, db::IndexOptions options,
            std::string_view desc_fields, std::string_view case_ins_fields);

  std::string Name;
  std::string IndexFields;
  std::string DescFields;
  std::string CaseInsFields;
  db::IndexOptions Options = 0;
  TDBCompareStruct CompareStruct;

  // Holds a list: the dataset is open and the index was built (DEFAULT_ORDER
  // always); an index whose key fields did not resolve at the last build holds none
  // and cannot be selected.
  bool IsInitialised() const { return initialised_; }

  db::RecordId FirstRecord() const { return LinkOf(kSentinel).next; }
  db::RecordId LastRecord() const { return LinkOf(kSentinel).prior; }
  db::RecordId Next(db::RecordId record) const { return LinkOf(record).next; }
  db::RecordId Prior(db::RecordId record) const { return LinkOf(record).prior; }
  bool IsEmpty() const { return FirstRecord() == kSentinel; }
  db::RecordId CursorRecord() const { return cursor_; }
  void SetCursor(db::RecordId record) { cursor_ = record; }
  // 1 + the number of records before `record` in this index's order; 0 when
  // the record is not in this index.
  int RecordNumber(db::RecordId record) const;

 private:
  friend class TVoBufDataset;

  struct LinkPair {
    db::RecordId prior;
    db::RecordId next;
  };
  // The sentinel's id is all ones, so id + 1 (wrapping to 0) puts it first.
  const LinkPair& LinkOf(db::RecordId record) const { return links_[record + 1u]; }
  LinkPair& LinkOf(db::RecordId record) { return links_[record + 1u]; }

  void Initialise(std::size_t id_limit);
  void Release();
  void Reserve(std::size_t id_limit);
  void InsertBefore(db::RecordId position, db::RecordId record);
  // Removes `record`; a cursor on it moves to the following record.
  void Unlink(db::RecordId record);
  // Makes the list hold exactly `order`, cursor on the sentinel.
  void Relink(std::vector<db::RecordId> order);
  // The list's records in order, kept from the last Relink until the list
  // changes: walking a sorted list link by link misses the cache at every
  // record, and a whole-table save walks it once more after each sort. Empty
  // when not kept.
  const std::vector<db::RecordId>& SortedOrder() const { return sorted_order_; }
  void ForgetSortedOrder();

  std::vector<LinkPair> links_;
  std::vector<db::RecordId> sorted_order_;
  db::RecordId cursor_ = kSentinel;
  bool initialised_ = false;
};

class TVoBufDataset : public db::DataSet {
 public:
  TVoBufDataset();
  ~TVoBufDataset() override;

  // Makes the field objects from FieldDefs; DatabaseError when the dataset is
  // active. It does not open the dataset.
  void CreateDataset();

  // -1 or more than 0; DatabaseError "PacketRecords has to be larger then 0"
  // otherwise. Records are never fetched lazily here; the value is kept for
  // descendants that read from a source.
  int PacketRecords() const { return packet_records_; }
  void SetPacketRecords(int value);

  // The most usable indexes (UsableIndexesCount) an open dataset can hold (2
  // at first). Written only while inactive (DatabaseError otherwise); values
  // below 2 raise "The minimum amount of indexes is 1".
  int MaxIndexesCount() const { return max_indexes_count_; }
  void SetMaxIndexesCount(int value);

  int IndexesCount() const { return static_cast<int>(indexes_.size()); }
  // The indexes that count against MaxIndexesCount: the two built-in ones and
  // every further one built on the current fields. One whose key fields the
  // current data lacks stays defined but does not count.
  int UsableIndexesCount() const;
  const TBufIndex& Indexes(int index) const { return *indexes_[static_cast<std::size_t>(index)]; }
  // The index the cursor follows (DEFAULT_ORDER while a bulk load runs).
  const TBufIndex& CurrentIndex() const { return *indexes_[current_index_]; }

  // Adds a sorted index. DatabaseError: "There are no fields selected to base the
  // index on" for empty `fields`; "The maximum amount of indexes is reached" on an
  // open dataset that holds MaxIndexesCount usable indexes (UsableIndexesCount);
  // on an open dataset the field errors of the build ("Field not found", "...
  // invalid field type ...") after which the index is not kept. On an inactive
  // dataset the index is kept and built at the next open, MaxIndexesCount grows
  // to the number of indexes, and PacketRecords becomes -1.
  virtual void AddIndex(std::string_view name, std::string_view fields,
                        db::IndexOptions options = 0, std::string_view desc_fields = "",
                        std::string_view case_ins_fields = "");

  // The current index's name (during a bulk load, of the index that is current
  // again when it ends). Writing selects the first index of that name (the
  // letters a to z in any case; "" means DEFAULT_ORDER) with the current record
  // kept; an unknown name, or an index that cannot be selected because its fields
  // are missing, changes nothing and raises nothing.
  std::string IndexName() const;
  void SetIndexName(std::string_view name);
  // The field list of index 1 while it is current, else "". Writing "" selects
  // DEFAULT_ORDER; any other list is built into index 1 first (the errors of
  // AddIndex's build), and only a successful build makes it current, with the
  // current record kept. On an inactive dataset the list is stored and built at
  // the next open. During a bulk load either selection takes effect when the
  // load ends.
  std::string IndexFieldNames() const;
  void SetIndexFieldNames(std::string_view fields);

  // The index definitions, refreshed from the indexes by UpdateIndexDefs only.
  db::IndexDefList& IndexDefs() { return index_defs_; }
  void UpdateIndexDefs();

  // Sorts every index from index 1 on again (index 1 only when its field list is
  // not empty), and places the current index's cursor on its first record. An
  // index whose fields no longer resolve is skipped; when it was current,
  // DEFAULT_ORDER becomes current. DatabaseError on an inactive dataset, and the
  // errors of posting a pending edit.
  void RebuildIndexes();

  // The sizes of the packet layout's record image (pure functions of the
  // definitions).
  static std::int64_t GetFieldSize(const db::FieldDef& def);
  static TRecordLayout CalcRecordSize(const db::FieldDefList& defs);

  // Blob and memo fields. bmRead: nullptr for a null field, otherwise a stream
  // over a copy of the value, or, in the edit and insert states, over contents
  // written through a stream and not yet posted. bmWrite: DatabaseError outside
  // the edit and insert states; a stream over new, empty contents that become the
  // field's value when the record is posted (a cancel drops them); the field's
  // change event is raised. bmReadWrite and non-blob fields: nullptr.
  std::unique_ptr<db::BlobStream> CreateBlobStream(db::Field& field,
                                                   db::BlobStreamMode mode) override;

  // True when the bookmark names a record that is still stored: a deleted
  // record's bookmark stays invalid after its place is reused, and so does every
  // bookmark taken before a close.
  bool BookmarkValid(const db::Bookmark& bookmark) const override;

  // Makes record number `value` (1 for the first, in the current index's order,
  // the filter not considered) current after posting a pending edit.
  // DatabaseError "<name> : Could not find the requested record." for a number
  // outside 1..RecordCount, or when the filter hides that record (the current
  // record then stays); on an inactive dataset the framework's error.
  void SetRecNo(int value) override;

  // The filter: a text compiled by the filter parser (see
  // vobufdataset_parser.h) and applied, while Filtered is on, after
  // OnFilterRecord has accepted a record; "" filters by OnFilterRecord alone.
  // On an open dataset a new text is compiled before it is stored: a text that
  // does not compile throws the parser's DatabaseError and leaves the previous
  // text and its compiled form in force. On a closed dataset the text is only
  // stored; opening compiles it, and when it no longer compiles (a field it
  // names is gone) the dataset opens with Filter "" and Filtered as it was.
  // Texts compare with letter case unless the options hold foCaseInsensitive,
  // and "*" patterns work unless they hold foNoPartialCompare; changing the
  // options compiles the text again.
  void SetFilterText(std::string_view value) override;
  void SetFilterOptions(db::FilterOptionSet value) override;

  // Finds the first record, in the current index's order, whose key fields
  // equal the key values (one per field: texts whole and with letter case by
  // the locale's collation, a null key as the empty value) and that the active
  // filter shows, and makes it current. The options are not read: a search is
  // always for whole values with letter case counted. False, with the cursor
  // where it was, on an empty or closed dataset, for an empty field list, when
  // a key cannot be held by its field ("abc" for an integer, 1.5 for an
  // integer, a text longer than the field), or when no shown record matches.
  // DatabaseError for an unknown field name, a key field of a type an index
  // cannot use, and a number of key values other than the number of fields.
  using db::DataSet::Locate;
  bool Locate(std::string_view key_fields, const std::vector<rtl::Variant>& key_values,
              db::LocateOptionSet options) override;

  // Texts of the errors raised here.
  static constexpr std::string_view kSNoIndexFields =
      "There are no fields selected to base the index on";
  static constexpr std::string_view kSMaxIndexes = "The maximum amount of indexes is reached";
  static constexpr std::string_view kSMinIndexes = "The minimum amount of indexes is 1";
  static constexpr std::string_view kSPacketRecords = "PacketRecords has to be larger then 0";
  static constexpr std::string_view kSInvalidIndexType =
      "Field \"%s\" has an invalid field type (%s) to base index on.";
  static constexpr std::string_view kSKeyValueCount =
      "%s key values given for the %s key fields \"%s\"";
  static constexpr std::string_view kSApplyRecNotSupported =
      "Applying updates is not supported by this TDataset descendent";
  static constexpr std::string_view kSOnUpdateError =
      "An error occured while applying the updates in a record: %s";

  // --- The change log --------------------------------------------------------

  // Calls `visit` once per record of the current index, in its order, whatever
  // the filter, with the stored texts of the fields numbered `fields` (0-based
  // field numbers of text fields; a null value is ""). The texts are valid
  // during the call only. A whole-table save walks the rows this way, without
  // moving the cursor through every one. False, and nothing visited, when the
  // dataset is closed, not in browse mode, or a number is not a text field.
  bool VisitStoredTexts(const std::vector<int>& fields,
                        const std::function<void(const std::vector<std::string_view>&)>& visit) const;

  // The number of entries, applied ones not yet removed included.
  virtual int GetChangeCount() const { return static_cast<int>(log_.size()); }
  const TRecordsUpdateBuffer& ChangeLog() const { return log_.Entries(); }
  // The position of the entry found last (-1 before any).
  int CurrentChangeIndex() const { return log_.CurrentIndex(); }
  // For a deletion: the record that followed the deleted one in the current
  // index when it was deleted; unset when none followed, and for other entries.
  db::Bookmark NextBookmark(const TRecUpdateBuffer& entry) const;

  // The active record's entry kind: usModified, usInserted or usDeleted (the
  // last only seen by ApplyRecUpdate); usUnmodified without an entry and for a
  // record being inserted.
  db::UpdateStatus UpdateStatus() const override;

  // Finds the first entry, from position 0 or, with `find_next`, from the one
  // after CurrentChangeIndex, that names the record, or with `include_prior` a
  // deletion whose NextBookmark names it; CurrentChangeIndex becomes its
  // position. Entries already applied or cancelled name no record.
  bool FindChangeEntry(const db::Bookmark& bookmark, bool include_prior, bool find_next) const;
  // The same, true at once when the entry at CurrentChangeIndex matches.
  bool FindChangeEntryCached(const db::Bookmark& bookmark, bool include_prior) const;
  // FindChangeEntryCached for the active record, without include_prior.
  bool ActiveChangeEntry() const;

  // Undoes every logged change, last first, after posting or dropping a pending
  // edit: edited records get their old values back, deleted ones return to
  // every index where they were, inserted ones go. The log is then empty and the
  // current record is the one that was current, or the neighbour of an inserted
  // record that went (the next, else the prior).
  virtual void CancelUpdates();
  // ApplyUpdates(0).
  virtual void ApplyUpdates();
  // Hands each logged change, in log order, to ApplyRecUpdate with its record
  // as the active record (deletions of inserted records are passed over). An
  // entry whose hook raises a DatabaseError counts as failed; more than
  // `max_errors` failures (taken as an unsigned 16-bit number, so -1 allows
  // 65535) abort the run. OnUpdateError, when set, is asked about each failure
  // with an UpdateError whose message is kSOnUpdateError filled with the
  // failure's and which keeps it: rrApply retries the entry, rrIgnore drops it
  // as applied (neither counts as failed), rrSkip and rrMerge leave it logged,
  // rrAbort stops. Without a handler, an abort raises that UpdateError. Other
  // exceptions pass unchanged. A run without failures empties the log; the
  // current record stays the one it was and controls are disabled meanwhile.
  virtual void ApplyUpdates(int max_errors);
  db::ResolverErrorEvent OnUpdateError;

  // --- Dataset packets (VoBufDataset_packet.cpp) -------------------------------

  // The packet file: when not empty, opening reads the dataset from it (the
  // file must exist: "Could not open file ...") and closing writes the dataset
  // to it first. A close whose save fails throws and leaves the dataset open;
  // in the destructor the failure is shown through the reporter instead.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string value) { file_name_ = std::move(value); }

  // Writes the packet of the open dataset (DatabaseError when inactive): the
  // field definitions, every stored record in the current index's order and
  // the change log's entries with them. `file_name` "" means FileName. The
  // file is replaced whole or not at all. DatabaseError kSNoReaderClass for a
  // format no reader class is registered for (dfBinary is built in), the
  // refusals of the format for definitions or values it cannot hold whole,
  // and the file's write errors.
  void SaveToFile(std::string_view file_name = "", TDataPacketFormat format = dfBinary);
  void SaveToStream(std::ostream& stream, TDataPacketFormat format = dfBinary);
  // Opens the inactive dataset from a packet: a registered reader class that
  // recognises the stream, else the binary format; the stream is put back
  // where the packet starts before reading. DatabaseError
  // kSStreamNotRecognised for anything else and for a malformed packet; the
  // dataset then stays closed with its field definitions as they were.
  // "Could not open file <name>: <reason>" when the file cannot be opened.
  void LoadFromFile(std::string_view file_name = "", TDataPacketFormat format = dfAny);
  void LoadFromStream(std::istream& stream, TDataPacketFormat format = dfAny);
  // Opens the dataset from `reader`, which must outlive the call.
  // "Operation cannot be performed on an active dataset" on an open dataset.
  void ReadPacket(TDataPacketReader& reader);
  void WritePacket(TDataPacketReader& writer);

 protected:
  // The filter test of a record offered while Filtered is on: Accept starts
  // true, OnFilterRecord may change it, and when it is still true and Filter is
  // not empty the compiled filter decides. The record being tested is the
  // active record (the dataset is in the filter state).
  virtual void DoFilterRecord(bool& accept);
  // Compiles a non-empty filter text into a new parser on an open cursor and
  // keeps it in place of the previous one; throws the parser's DatabaseError and
  // keeps the previous parser when the text does not compile. An empty text, or
  // a closed cursor, compiles nothing.
  void ParseFilter(std::string_view text);
  virtual void InternalAddIndex(std::string_view name, std::string_view fields,
                                db::IndexOptions options, std::string_view desc_fields,
                                std::string_view case_ins_fields);
  // Resolves the key fields and sorts the index from DEFAULT_ORDER, stable; on
  // an error the index is left as it was.
  void BuildIndex(TBufIndex& index);
  // The compare entry of a key field; DatabaseError for a type an index cannot use.
  void FillCompareEntry(const db::Field& field, TDBCompareRec& entry) const;
  int CompareRecords(db::RecordId a, db::RecordId b, const TDBCompareStruct& compare) const;

  // A bulk load: from BeginBulkLoad (after posting a pending edit; DatabaseError
  // on an inactive dataset) new records go to DEFAULT_ORDER alone, which the
  // cursor follows meanwhile, so that each row costs one link instead of one per
  // index. EndBulkLoad makes the index chosen before (or during) the load
  // current again and sorts every index anew (RebuildIndexes), so a reloaded
  // dataset is still sorted by it; call it in every case, also when the load
  // fails, and in the browse state. A second BeginBulkLoad before EndBulkLoad
  // does nothing.
  void BeginBulkLoad();
  void EndBulkLoad();
  // Inside a bulk load, records of texts may be stored straight, as Append, a
  // SetAsString per field and Post would store them, when nothing of those
  // steps could be seen: the dataset is in the browse state with its controls
  // disabled and its filter off, no handler of the insert, new-record, post or
  // scroll events is set, and every field is a (not wide) text field, neither
  // required nor read-only, without a change handler. BeginTextAppends tells
  // whether that holds (a descendant answers for its own hooks), and makes
  // room for `rows` records (an estimate: more or fewer may come); while it does,
  // AppendTexts stores one record: texts[i] into field i cut at its size as
  // SetAsString cuts, the fields after the last text null, placed and logged as
  // a posted append, and made the cursor's record.
  bool BeginTextAppends(std::size_t rows);
  void AppendTexts(std::span<const std::string_view> texts);

  // Writes one logged change to a destination, reading the record through the
  // fields (old values through Field::OldValue). This dataset has none: it
  // raises DatabaseError kSApplyRecNotSupported.
  virtual void ApplyRecUpdate(db::UpdateKind kind);

  void InternalOpen() override;
  void InternalClose() override;
  void InternalOpenFailed() noexcept override;
  // Whether the caller's open and close go through FileName. A descendant that
  // closes and reopens itself while it reloads keeps those out of it.
  virtual bool PacketFileInUse() const { return !file_name_.empty(); }
  // Reads the packet's field definitions when a packet is being opened.
  void InternalInitFieldDefs() override;
  // Saves to FileName after the BeforeClose event.
  void DoBeforeClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  db::GetResult GetRecord(db::GetMode mode, bool do_check) override;
  void InternalInsert(bool append) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  db::Bookmark InternalGetBookmark() const override;
  void InternalGotoBookmark(const db::Bookmark& bookmark) override;
  int GetRecordCount() const override;
  int GetRecNo() const override;
  bool GetFieldData(const db::Field& field, db::FieldData& data) const override;
  void SetFieldData(db::Field& field, const db::FieldData* data) override;

 private:
  TBufIndex& Current() { return *indexes_[current_index_]; }
  const TBufIndex& Current() const { return *indexes_[current_index_]; }
  // The index IndexName reports: the current one, or during a bulk load the one
  // made current when it ends.
  std::size_t SelectedIndex() const;
  // Whether the index takes new records and gives up deleted ones.
  bool IsMaintained(std::size_t index) const;
  // Builds each index from index 1 on; one that fails is left uninitialised.
  void BuildAllIndexes();
  bool FilterAccepts(db::RecordId record);
  bool CursorOpen() const { return indexes_[0]->IsInitialised(); }
  void CompileFilter(std::string_view text, db::FilterOptionSet options);
  // Writes the key values into `key` through the fields; false when a value
  // cannot be held by its field.
  bool FillSearchRecord(const std::vector<db::Field*>& fields,
                        const std::vector<rtl::Variant>& key_values, db::RecordBuffer& key);
  bool KeyMatches(db::RecordId record, const TDBCompareStruct& compare,
                  const db::RecordBuffer& key) const;
  TDBCompareStruct ResolveKeys(const TBufIndex& index) const;
  std::vector<db::RecordId> SortedRecords(const TDBCompareStruct& compare) const;
  void Resynchronise();

  // The dataset's side of the change log (VoBufDataset_changes.cpp).
  static constexpr std::uint32_t kNoEntry = TVoChangeLog::kNoEntry;
  // The record the fields read: the one being applied, the filter's record, the
  // one being edited, or the current one; kNoRecord for none and while a new
  // record is being inserted.
  db::RecordId ActiveRecord() const;
  std::uint32_t EntryIndexOf(db::RecordId record) const { return log_.EntryIndexOf(record); }
  bool IsLoggedDeletion(db::RecordId record) const { return log_.IsDeletion(record); }
  // The bookmark names a stored record that is in the indexes (not deleted).
  bool IsListed(const db::Bookmark& bookmark) const;
  db::Bookmark BookmarkOfPosition(db::RecordId record) const;
  bool EntryMatches(std::size_t index, const db::Bookmark& bookmark, bool include_prior) const;
  db::RecordId CopyToOldImage(db::RecordId record);
  void LogPost(db::RecordId record, bool inserted);
  static constexpr db::RecordId kUnknownFollower = TVoChangeLog::kUnknownFollower;
  // Logs the deletion of `record`, just unlinked; delete_followers_ holds the
  // record that followed it in each index slot (kSentinel when it was last,
  // kUnknownFollower for the slots of indexes that did not hold it).
  void LogDeletion(db::RecordId record);
  // Records a cancel could not place by a follower, per index slot: they are
  // placed by the index's key order once every other change is undone.
  using PendingPlacements = std::vector<std::vector<std::uint8_t>>;
  static bool IsPending(const PendingPlacements& pending, std::size_t slot, db::RecordId record) {
    return record < pending[slot].size() && pending[slot][record] != 0;
  }
  void RemoveInsertedRecord(std::size_t index, db::RecordId& remembered,
                            PendingPlacements& pending);
  void PlaceByKeys(PendingPlacements& pending);
  // ApplyUpdates' walk over the log, counting failures and keeping the last
  // response.
  void ApplyEntries(int max_errors, int& failed, db::ResolverResponse& response);
  void RestoreDeletedRecord(TRecUpdateBuffer& entry, PendingPlacements& pending);
  // Where a restored record goes in index slot `slot`: before the record that
  // followed it there, or, when that one's deletion was applied, before what
  // followed that; kSentinel for the end; kUnknownFollower when the index did
  // not hold the record or its follower is not placed yet.
  db::RecordId RestoreBefore(const TRecUpdateBuffer& entry, std::size_t slot,
                             const PendingPlacements& pending) const;
  // Frees the deleted records the log still names, and empties it.
  void EmptyChangeLog();

  db::RecordStore store_;
  // AppendTexts' record slot and size per field, and its record, one text per
  // slot.
  std::vector<std::size_t> text_slots_;
  std::vector<std::size_t> text_sizes_;
  std::vector<std::optional<std::string_view>> text_record_;
  std::vector<std::unique_ptr<TBufIndex>> indexes_;
  std::size_t current_index_ = 0;
  // Set while a bulk load runs: the index to make current when it ends.
  std::optional<std::size_t> bulk_index_;
  // The current index when the last open began; a failed open goes back to it.
  std::size_t index_before_open_ = 0;
  // The index asked for while its key fields were missing; see BuildAllIndexes.
  std::optional<std::size_t> wanted_index_;
  int max_indexes_count_ = 2;
  int packet_records_ = 10;
  db::IndexDefList index_defs_;

  // The record being inserted or edited: its values, the record it replaces or
  // goes before (kNoRecord: appended), and blob contents written through streams.
  db::RecordBuffer edit_buffer_;
  db::RecordId edit_target_ = db::kNoRecord;
  bool appending_ = false;
  struct PendingBlob {
    int field_index;
    std::shared_ptr<std::string> contents;
  };
  std::vector<PendingBlob> pending_blobs_;
  db::RecordId filter_record_ = db::kNoRecord;
  // The compiled filter while the cursor is open (nullptr before a non-empty
  // text compiled), and how it reads the record under test.
  std::unique_ptr<TVoBufDatasetParser> parser_;
  TFilterValueSource filter_source_;
  // The search record that field writes in the filter state fill; nullptr
  // outside Locate.
  db::RecordBuffer* key_buffer_ = nullptr;

  // A record being inserted and not yet posted is the active one.
  bool inserting_ = false;
  TVoChangeLog log_;
  // The record ApplyRecUpdate works on, while it runs.
  db::RecordId apply_record_ = db::kNoRecord;
  db::RecordBuffer scratch_;
  std::vector<db::RecordId> delete_followers_;

  // Packets (VoBufDataset_packet.cpp).
  void OpenPacketFile(const std::string& file_name);
  void ReleasePacketFile() noexcept;
  void LoadPacketRecords();
  // The packet file, the reader an open reads from (set only while a packet is
  // being opened), and for a packet read from FileName the file and its reader.
  std::string file_name_;
  TDataPacketReader* packet_reader_ = nullptr;
  std::unique_ptr<std::istream> packet_stream_;
  std::unique_ptr<TDataPacketReader> packet_file_reader_;
  // The field definitions before a packet replaced them, put back when the
  // open fails.
  std::optional<db::FieldDefList> defs_before_packet_;
  // Set by the destructor: a failed save is shown, not thrown.
  bool destroying_ = false;
};

// In-memory record storage for datasets: records packed one after another in
// large memory chunks, each record one block holding its null flags, its
// fixed-width values and its texts and blobs, so that a record costs one small
// header per field and no allocation of its own. Records are named by a record id
// and a generation (see Bookmark.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/Bookmark.h"
#include "db/Field.h"
#include "db/FieldDefs.h"

namespace db {

// One field of a record being built or edited. The text keeps its capacity when
// the value is cleared, so a reused buffer does not allocate for each record.
struct FieldValue {
  bool is_null = true;
  std::int64_t i = 0;
  double f = 0.0;
  std::string s;

  void SetNull() {
    is_null = true;
    i = 0;
    f = 0.0;
    s.clear();
  }
};
using RecordBuffer = std::vector<FieldValue>;

// Where each field of a list of definitions lives in a packed record.
class RecordFormat {
 public:
  RecordFormat() = default;
  explicit RecordFormat(const FieldDefList& defs);

  int FieldCount() const { return static_cast<int>(slots_.size()); }
  StorageKind Kind(int field) const { return slots_[static_cast<std::size_t>(field)].kind; }
  // A buffer of FieldCount() null values.
  RecordBuffer NewBuffer() const { return RecordBuffer(slots_.size()); }

 private:
  friend class PackedRecord;
  friend class RecordStore;

  struct Slot {
    StorageKind kind;
    bool variable;        // texts and bytes
    std::uint32_t place;  // byte offset in the fixed area, or the variable value's number
  };
  std::vector<Slot> slots_;
  std::uint32_t mask_bytes_ = 0;
  std::uint32_t fixed_bytes_ = 0;
  std::uint32_t variable_count_ = 0;
};

// Read access to one packed record; valid until its store changes.
class PackedRecord {
 public:
  PackedRecord(const RecordFormat& format, const std::uint8_t* data)
      : format_(&format), data_(data) {}

  bool IsNull(int field) const {
    auto index = static_cast<std::uint32_t>(field);
    return (data_[1 + index / 8] >> (index % 8)) & 1;
  }
  // The stored value; a null field holds the zero value of its kind (0, 0.0, "").
  FieldData Get(int field) const;
  // The stored bytes of a text or blob field, without a copy ("" for a null
  // one); valid while the record is.
  std::string_view Text(int field) const;
  // Text(field) of every field at once, in field order, for a format whose
  // fields all hold texts or bytes: one reading of the record for a whole row.
  // `texts` holds one view per field.
  void Texts(std::span<std::string_view> texts) const;
  std::size_t ByteSize() const;

 private:
  std::uint32_t OffsetWidth() const { return data_[0]; }
  std::uint32_t VariableEnd(std::uint32_t number) const;
  std::size_t VariableStart() const;

  const RecordFormat* format_;
  const std::uint8_t* data_;
};

class RecordStore {
 public:
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Drops every record and takes a new format. Generations keep counting, so
  // bookmarks from before stay invalid.
  void Reset(RecordFormat format);
  const RecordFormat& Format() const { return format_; }

  // Stores a record; its values must follow Format(). Throws DatabaseError when a
  // record's texts pass 4 GiB or the store holds 2^32 - 1 records.
  RecordId Add(const RecordBuffer& values);
  // Stores a record of a format whose fields all hold texts or bytes, straight
  // from `texts` (one per field, nullopt for null): the same record, bytes and
  // errors as Add of those values, without building a RecordBuffer. A bulk load
  // of a text file stores its cut lines this way.
  RecordId AddTexts(std::span<const std::optional<std::string_view>> texts);
  // Makes room in the id tables for `records` more records, so that a bulk
  // load of a known number of them does not grow them step by step.
  void Reserve(std::size_t records);
  void Replace(RecordId id, const RecordBuffer& values);
  void Remove(RecordId id);

  PackedRecord Get(RecordId id) const { return PackedRecord(format_, data_[id]); }
  // Asks the processor to fetch the start of a record that will be read soon:
  // a walk in an index's order meets records all over memory.
  void Prefetch(RecordId id) const {
    __builtin_prefetch(data_[id]);
    __builtin_prefetch(data_[id] + 64);
  }
  // The same for where the record is: Prefetch reads it, so fetching it
  // earlier keeps that read from waiting.
  void PrefetchPlace(RecordId id) const { __builtin_prefetch(&data_[id]); }
  void Unpack(RecordId id, RecordBuffer& values) const;
  bool IsLive(const Bookmark& bookmark) const {
    return bookmark.id < data_.size() && data_[bookmark.id] != nullptr &&
           generation_[bookmark.id] == bookmark.generation;
  }
  Bookmark BookmarkOf(RecordId id) const { return {id, generation_[id]}; }

  // Every record id is below IdLimit().
  std::size_t IdLimit() const { return data_.size(); }
  std::size_t Count() const { return data_.size() - free_ids_.size(); }
  // Bytes of live records, and of space left behind by removed or grown ones.
  std::size_t LiveBytes() const { return live_bytes_; }
  std::size_t GarbageBytes() const { return garbage_bytes_; }

 private:
  std::size_t PackedSize(const RecordBuffer& values, std::uint32_t& width) const;
  void Pack(const RecordBuffer& values, std::uint32_t width, std::uint8_t* out) const;
  std::uint8_t* Allocate(std::size_t size);
  // A record id for a new record of `size` bytes and its memory, counted live.
  RecordId Place(std::size_t size, std::uint8_t*& memory);
  void CompactIfWasteful();

  RecordFormat format_;
  std::vector<std::uint8_t*> data_;
  std::vector<std::uint32_t> generation_;
  std::vector<RecordId> free_ids_;
  std::uint32_t next_generation_ = 1;

  struct FreeChunk {
    void operator()(std::uint8_t* p) const;
  };
  using Chunk = std::unique_ptr<std::uint8_t[], FreeChunk>;
  static Chunk NewChunk(std::size_t size);

  std::vector<Chunk> chunks_;
  std::uint8_t* chunk_next_ = nullptr;
  std::size_t chunk_left_ = 0;
  std::size_t live_bytes_ = 0;
  std::size_t garbage_bytes_ = 0;
};

}  // namespace db

// The record image of a dataset packet and the one codec between it and a
// stored record. An image is a null mask of one bit per field (set: null; the
// unused bits of the last byte set too), then one slot per field definition of
// TVoBufDataset::GetFieldSize bytes, little-endian. Slots by field type:
//   strings, fixed chars, guids  the bytes, NUL-terminated, zero-padded
//   wide strings                 UTF-16LE units, zero-terminated, zero-padded
//   smallint, integer, word,     4 bytes, two's complement (sign-extended)
//     autoinc (in its 10)
//   boolean                      2 bytes, 0 or 1 (any non-zero reads true)
//   float, date, time, datetime, the IEEE double (a date serial for the date
//     timestamp (in its 10)        and time kinds)
//   currency, bcd, fmtbcd        the value times 10,000 as a 64-bit integer
//   largeint                     8 bytes, two's complement
//   blobs and memos              16 zero bytes: contents do not travel
//   other types (10 bytes)       a 16-bit length, then at most 8 bytes
// Padding and the slots of null fields are zero, so equal records give equal
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/FieldDefs.h"
#include "db/RecordStore.h"

class TRecordImageCodec {
 public:
  TRecordImageCodec() = default;
  explicit TRecordImageCodec(const db::FieldDefList& defs);

  std::size_t RecordSize() const { return record_size_; }
  std::size_t NullMaskSize() const { return mask_size_; }

  // Appends the image of `record` (stored in the format of the definitions) to
  // `out`. A value that its slot cannot hold whole is refused, nothing being
  // cut: DatabaseError naming the field, for a text longer than the field's
  // size or holding a zero byte, text of a wide field that is not UTF-8 or
  // needs more UTF-16 units than the size, a currency beyond 64 bits once
  // scaled, and more than 8 bytes in a 10-byte slot. `out` then holds a partial
  // image at its end.
  void Encode(const db::PackedRecord& record, std::string& out) const;
  // Reads an image of RecordSize() bytes into `values`, one per field. Any
  // bytes decode: a string slot without terminator gives its first Size bytes,
  // a broken UTF-16 unit gives U+FFFD, blob fields that are not null read as
  // empty.
  void Decode(const std::uint8_t* image, db::RecordBuffer& values) const;

 private:
  enum class SlotKind : std::uint8_t {
    kText,
    kWideText,
    kInt32,
    kBoolean,
    kDouble,
    kScaledFloat,  // currency: held as a double, written scaled
    kInt64,
    kBlob,
    kBytes,
  };
  struct Slot {
    SlotKind kind;
    std::size_t offset;
    std::size_t size;  // the definition's Size
    std::string name;
  };

  std::vector<Slot> slots_;
  std::size_t mask_size_ = 1;
  std::size_t record_size_ = 1;
};

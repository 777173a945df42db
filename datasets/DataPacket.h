// Dataset packets: the whole content of a buffered dataset (field definitions,
// records, change log) written to a stream. This holds the packet vocabulary,
// the abstract packet reader that reads and writes one format, and the registry
// of reader classes consulted before the built-in binary format.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string_view>

#include "db/FieldDefs.h"
#include "db/RecordStore.h"

enum TDataPacketFormat { dfBinary, dfXML, dfXMLUTF8, dfAny };

// What a record of a packet says about its change-log entry. A TRowState is a
// set of them, value v held as bit (1 << v): the binary format writes the set
// as one byte, so rsvOriginal is 1, rsvDeleted 2, rsvInserted 4, rsvUpdated 8.
enum TRowStateValue : unsigned {
  rsvOriginal,
  rsvDeleted,
  rsvInserted,
  rsvUpdated,
  rsvDetailUpdates
};
using TRowState = unsigned;
constexpr TRowState RowStateOf(TRowStateValue value) { return 1u << value; }

// Reads a packet from, or writes one to, a stream it does not own (the stream
// must outlive it). One object serves one direction: the stream given.
// Reading: ReadFieldDefs first, then for each record NextRecordMarker,
// ReadRowState and ReadRecordImage (twice for an old image and its record);
// errors are DatabaseError "The data-stream format is not recognized".
// Writing: WriteFieldDefs, WriteRecord per record, EndWriteRecords.
class TDataPacketReader {
 public:
  explicit TDataPacketReader(std::istream& stream) : in_(&stream) {}
  explicit TDataPacketReader(std::ostream& stream) : out_(&stream) {}
  virtual ~TDataPacketReader() = default;
  TDataPacketReader(const TDataPacketReader&) = delete;
  TDataPacketReader& operator=(const TDataPacketReader&) = delete;

  // Replaces `defs` by the packet's field definitions.
  virtual void ReadFieldDefs(db::FieldDefList& defs) = 0;
  virtual void BeginReadRecords() {}
  // The row state of the next record, and the position of its change-log entry
  // in `update_order` (0 for a record without one).
  virtual TRowState ReadRowState(int& update_order) = 0;
  // True when another record follows.
  virtual bool NextRecordMarker() = 0;
  // The record's values, one per field definition read.
  virtual void ReadRecordImage(db::RecordBuffer& values) = 0;
  virtual void SkipToNextRecord() {}

  virtual void WriteFieldDefs(const db::FieldDefList& defs) = 0;
  // Writes one record of the definitions written last.
  virtual void WriteRecord(const db::PackedRecord& record, TRowState state, int update_order) = 0;
  // Puts out whatever is still held back; DatabaseError when the stream failed.
  virtual void EndWriteRecords() {}

 protected:
  std::istream* InStream() const { return in_; }
  std::ostream* OutStream() const { return out_; }

 private:
  std::istream* in_ = nullptr;
  std::ostream* out_ = nullptr;
};

// A reader class: how to make its readers and how it recognises its streams
// (reading from the stream's position; the caller rewinds it afterwards).
struct TDatapacketReaderClass {
  std::function<std::unique_ptr<TDataPacketReader>(std::istream&)> CreateReader;
  std::function<std::unique_ptr<TDataPacketReader>(std::ostream&)> CreateWriter;
  std::function<bool(std::istream&)> IsPacketStream;
};

struct TDatapacketReaderRegistration {
  TDatapacketReaderClass ReaderClass;
  TDataPacketFormat PacketFormat = dfBinary;
};

// The process-wide registry, empty at start. Entries are consulted in the order
// they were registered.
void RegisterDatapacketReader(TDatapacketReaderClass reader_class, TDataPacketFormat format);
void ClearDatapacketReaders();

// The first registered entry for `format` (any entry when it is dfAny). With a
// stream, only an entry whose class recognises the stream qualifies, and the
// stream is put back where it stood after each test; false when none does (or
// when the stream cannot be put back).
bool FindRegisteredReader(std::istream* stream, TDataPacketFormat format,
                          TDatapacketReaderRegistration& found);

inline constexpr std::string_view kSStreamNotRecognised =
    "The data-stream format is not recognized";
// Throws DatabaseError kSStreamNotRecognised.
[[noreturn]] void RaiseStreamNotRecognised();

inline constexpr std::string_view kSNoReaderClass =
    "There is no TDatapacketReaderClass registered for this kind of data-stream";

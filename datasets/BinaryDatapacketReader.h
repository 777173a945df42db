// The binary packet format: the 15 characters "BinVoBufDataset", a 16-bit field
// count, per field its name and display name (each a 32-bit length and the
// bytes), 16-bit size, 16-bit type ordinal and a read-only byte; then per
// record the marker 0xFE, the row-state byte, the 32-bit update order when the
// state is not 0, and the record image (RecordImage.h). All little-endian. The
// records end at the end of the stream or at the first byte that is not 0xFE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "datasets/DataPacket.h"
#include "datasets/RecordImage.h"

class TBinaryDatapacketReader : public TDataPacketReader {
 public:
  static constexpr std::string_view kMagic = "BinVoBufDataset";
  // Field names are kept to this many bytes in both directions.
  static constexpr std::size_t kMaxNameLength = 0xFFFF;

  explicit TBinaryDatapacketReader(std::istream& stream) : TDataPacketReader(stream) {}
  explicit TBinaryDatapacketReader(std::ostream& stream) : TDataPacketReader(stream) {}

  // Reading never asks for more memory than the bytes the stream actually
  // gave; a stream that ends inside a field, a negative or overlong name
  // length, an empty or repeated name and a type ordinal past the last type
  // raise "The data-stream format is not recognized".
  void ReadFieldDefs(db::FieldDefList& defs) override;
  TRowState ReadRowState(int& update_order) override;
  bool NextRecordMarker() override;
  void ReadRecordImage(db::RecordBuffer& values) override;

  // DatabaseError for definitions the format cannot hold: more than 65535
  // fields, a size outside 0 to 65535, a name longer than kMaxNameLength.
  void WriteFieldDefs(const db::FieldDefList& defs) override;
  // DatabaseError for a value its slot cannot hold (TRecordImageCodec::Encode).
  void WriteRecord(const db::PackedRecord& record, TRowState state, int update_order) override;
  // DatabaseError "Could not write the data-stream" when the stream failed.
  void EndWriteRecords() override;

  // Reads 15 bytes: true when there were 15 and they are the magic.
  static bool IsPacketStream(std::istream& stream);
  static TDatapacketReaderClass ReaderClass();

 private:
  // Makes `count` unread bytes available, reading the stream in pieces; false
  // when it ends first.
  bool Ensure(std::size_t count);
  const std::uint8_t* Take(std::size_t count);
  std::uint64_t TakeLE(int bytes);
  std::string TakeName();
  void Flush();

  TRecordImageCodec codec_;
  std::string input_;
  std::size_t input_at_ = 0;
  std::string output_;
};

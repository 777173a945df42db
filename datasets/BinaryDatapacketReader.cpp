// Reading and writing the binary packet format.
#include "datasets/BinaryDatapacketReader.h"

#include <algorithm>

#include "db/DatabaseError.h"

namespace {

constexpr std::uint8_t kRecordMarker = 0xFE;
constexpr std::size_t kReadPiece = std::size_t{1} << 16;
constexpr std::size_t kWriteFlush = std::size_t{1} << 20;
constexpr unsigned kLastFieldType = static_cast<unsigned>(db::FieldType::ftWideMemo);
// The row-state bits that travel: original, deleted, inserted, updated.
constexpr TRowState kWrittenStates = 0x0F;

void PutLE(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

}  // namespace

bool TBinaryDatapacketReader::IsPacketStream(std::istream& stream) {
  char head[kMagic.size()];
  stream.read(head, static_cast<std::streamsize>(kMagic.size()));
  return static_cast<std::size_t>(stream.gcount()) == kMagic.size() &&
         std::string_view(head, kMagic.size()) == kMagic;
}

TDatapacketReaderClass TBinaryDatapacketReader::ReaderClass() {
  TDatapacketReaderClass reader_class;
  reader_class.CreateReader = [](std::istream& stream) {
    return std::make_unique<TBinaryDatapacketReader>(stream);
  };
  reader_class.CreateWriter = [](std::ostream& stream) {
    return std::make_unique<TBinaryDatapacketReader>(stream);
  };
  reader_class.IsPacketStream = &TBinaryDatapacketReader::IsPacketStream;
  return reader_class;
}

bool TBinaryDatapacketReader::Ensure(std::size_t count) {
  if (input_.size() - input_at_ >= count) return true;
  std::istream* in = InStream();
  if (in == nullptr) return false;
  input_.erase(0, input_at_);
  input_at_ = 0;
  // Grown piece by piece as bytes arrive: a length read from the stream never
  // decides alone how much memory is taken.
  while (input_.size() < count && *in) {
    const std::size_t have = input_.size();
    const std::size_t piece = std::max(kReadPiece, std::min(count - have, std::size_t{1} << 24));
    input_.resize(have + piece);
    in->read(input_.data() + have, static_cast<std::streamsize>(piece));
    input_.resize(have + static_cast<std::size_t>(in->gcount()));
  }
  return input_.size() >= count;
}

const std::uint8_t* TBinaryDatapacketReader::Take(std::size_t count) {
  if (!Ensure(count)) RaiseStreamNotRecognised();
  const auto* p = reinterpret_cast<const std::uint8_t*>(input_.data() + input_at_);
  input_at_ += count;
  return p;
}

std::uint64_t TBinaryDatapacketReader::TakeLE(int bytes) {
  const std::uint8_t* p = Take(static_cast<std::size_t>(bytes));
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return value;
}

std::string TBinaryDatapacketReader::TakeName() {
  const auto length = static_cast<std::int32_t>(static_cast<std::uint32_t>(TakeLE(4)));
  if (length < 0 || static_cast<std::size_t>(length) > kMaxNameLength) RaiseStreamNotRecognised();
  const std::uint8_t* p = Take(static_cast<std::size_t>(length));
  return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
}

void TBinaryDatapacketReader::ReadFieldDefs(db::FieldDefList& defs) {
  if (std::string_view(reinterpret_cast<const char*>(Take(kMagic.size())), kMagic.size()) !=
      kMagic) {
    RaiseStreamNotRecognised();
  }
  const auto count = static_cast<int>(TakeLE(2));
  db::FieldDefList read;
  for (int i = 0; i < count; ++i) {
    TakeName();  // the display name that follows is the one kept
    db::FieldDef def;
    def.Name = TakeName();
    def.Size = static_cast<int>(TakeLE(2));
    const auto type = static_cast<unsigned>(TakeLE(2));
    def.ReadOnly = TakeLE(1) == 1;
    if (def.Name.empty() || type > kLastFieldType) RaiseStreamNotRecognised();
    def.DataType = static_cast<db::FieldType>(type);
    try {
      read.Add(def);
    } catch (const db::DatabaseError&) {
      RaiseStreamNotRecognised();  // two fields of one name
    }
  }
  codec_ = TRecordImageCodec(read);
  defs = std::move(read);
}

bool TBinaryDatapacketReader::NextRecordMarker() {
  if (!Ensure(1)) {
    // The end of the records is the end of the stream, never a read that
    // failed: a packet cut short by a read error must not load as whole.
    if (const std::istream* in = InStream(); in != nullptr && in->bad()) {
      RaiseStreamNotRecognised();
    }
    return false;
  }
  return static_cast<std::uint8_t>(input_[input_at_++]) == kRecordMarker;
}

TRowState TBinaryDatapacketReader::ReadRowState(int& update_order) {
  const auto state = static_cast<TRowState>(TakeLE(1));
  update_order = 0;
  if (state != 0) update_order = static_cast<std::int32_t>(static_cast<std::uint32_t>(TakeLE(4)));
  return state & kWrittenStates;
}

void TBinaryDatapacketReader::ReadRecordImage(db::RecordBuffer& values) {
  codec_.Decode(Take(codec_.RecordSize()), values);
}

void TBinaryDatapacketReader::WriteFieldDefs(const db::FieldDefList& defs) {
  if (defs.Count() > 0xFFFF) {
    throw db::DatabaseError("A dataset packet holds at most 65535 fields, not " +
                            std::to_string(defs.Count()));
  }
  for (const db::FieldDef& def : defs) {
    if (def.Size < 0 || def.Size > 0xFFFF) {
      throw db::DatabaseError("Field " + def.Name +
                              " cannot be saved in a dataset packet: its size of " +
                              std::to_string(def.Size) + " is outside 0 to 65535");
    }
    if (def.Name.size() > kMaxNameLength) {
      throw db::DatabaseError("A field name of " + std::to_string(def.Name.size()) +
                              " bytes is too long for a dataset packet");
    }
  }
  codec_ = TRecordImageCodec(defs);
  output_.append(kMagic);
  PutLE(output_, static_cast<std::uint64_t>(defs.Count()), 2);
  for (const db::FieldDef& def : defs) {
    // The name twice: as the name and as the display name, which is the same.
    for (int copy = 0; copy < 2; ++copy) {
      PutLE(output_, def.Name.size(), 4);
      output_ += def.Name;
    }
    PutLE(output_, static_cast<std::uint64_t>(def.Size), 2);
    PutLE(output_, static_cast<std::uint64_t>(def.DataType), 2);
    PutLE(output_, def.ReadOnly ? 1 : 0, 1);
  }
}

void TBinaryDatapacketReader::WriteRecord(const db::PackedRecord& record, TRowState state,
                                          int update_order) {
  state &= kWrittenStates;
  output_ += static_cast<char>(kRecordMarker);
  output_ += static_cast<char>(state);
  if (state != 0) PutLE(output_, static_cast<std::uint32_t>(update_order), 4);
  codec_.Encode(record, output_);
  if (output_.size() >= kWriteFlush) Flush();
}

void TBinaryDatapacketReader::Flush() {
  std::ostream* out = OutStream();
  if (out == nullptr) throw db::DatabaseError("The packet reader was not made for writing");
  out->write(output_.data(), static_cast<std::streamsize>(output_.size()));
  output_.clear();
  if (!*out) throw db::DatabaseError("Could not write the data-stream");
}

void TBinaryDatapacketReader::EndWriteRecords() {
  Flush();
  OutStream()->flush();
  if (!*OutStream()) throw db::DatabaseError("Could not write the data-stream");
}

// Test helpers for dataset packets: building packet bytes by hand, and a
// writer that records what a dataset writes, record by record.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "datasets/DataPacket.h"

namespace vo_testing {

// Little-endian bytes appended piece by piece.
class PacketBytes {
 public:
  PacketBytes& U8(std::uint8_t v) {
    bytes_ += static_cast<char>(v);
    return *this;
  }
  PacketBytes& U16(std::uint16_t v) { return Put(v, 2); }
  PacketBytes& I32(std::int32_t v) { return Put(static_cast<std::uint32_t>(v), 4); }
  PacketBytes& I64(std::int64_t v) { return Put(static_cast<std::uint64_t>(v), 8); }
  PacketBytes& Raw(const std::string& s) {
    bytes_ += s;
    return *this;
  }
  // `s` and zero bytes up to `width`.
  PacketBytes& Padded(const std::string& s, std::size_t width) {
    bytes_ += s;
    bytes_.append(width - s.size(), '\0');
    return *this;
  }
  PacketBytes& Magic() { return Raw("BinVoBufDataset"); }
  // One field definition: name and display name, size, type, read-only.
  PacketBytes& Field(const std::string& name, db::FieldType type, std::uint16_t size,
                     bool read_only = false) {
    I32(static_cast<std::int32_t>(name.size())).Raw(name);
    I32(static_cast<std::int32_t>(name.size())).Raw(name);
    return U16(size).U16(static_cast<std::uint16_t>(type)).U8(read_only ? 1 : 0);
  }
  // A record of one string field of size 2: marker, state, order, image.
  PacketBytes& Row(std::uint8_t state, std::int32_t order, const std::string& value) {
    U8(0xFE).U8(state);
    if (state != 0) I32(order);
    return U8(0xFE).Padded(value, 3);
  }
  const std::string& str() const { return bytes_; }

 private:
  PacketBytes& Put(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_ += static_cast<char>(v >> (8 * i));
    return *this;
  }
  std::string bytes_;
};

// The header of a packet of one ftString field "a" of size 2: 32 bytes.
inline PacketBytes OneFieldHeader() {
  PacketBytes bytes;
  bytes.Magic().U16(1).Field("a", db::FieldType::ftString, 2);
  return bytes;
}

// Records what WritePacket writes: per record its state, update order and
// first field as text ("<null>" for null).
class RecordingWriter : public TDataPacketReader {
 public:
  RecordingWriter() : TDataPacketReader(sink_) {}

  struct Written {
    TRowState state;
    int order;
    std::string first;
    friend bool operator==(const Written&, const Written&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Written& w) {
      return out << "{" << w.state << ", " << w.order << ", " << w.first << "}";
    }
  };
  std::vector<Written> records;

  void ReadFieldDefs(db::FieldDefList&) override {}
  TRowState ReadRowState(int&) override { return 0; }
  bool NextRecordMarker() override { return false; }
  void ReadRecordImage(db::RecordBuffer&) override {}
  void WriteFieldDefs(const db::FieldDefList&) override {}
  void WriteRecord(const db::PackedRecord& record, TRowState state, int order) override {
    records.push_back({state, order, record.IsNull(0) ? "<null>" : std::string(record.Get(0).s)});
  }

 private:
  std::ostringstream sink_;
};

}  // namespace vo_testing

// The registry of packet reader classes.
#include "datasets/DataPacket.h"

#include <string>
#include <utility>
#include <vector>

#include "db/DatabaseError.h"

namespace {

std::vector<TDatapacketReaderRegistration>& Registry() {
  static std::vector<TDatapacketReaderRegistration> registry;
  return registry;
}

}  // namespace

void RegisterDatapacketReader(TDatapacketReaderClass reader_class, TDataPacketFormat format) {
  Registry().push_back({std::move(reader_class), format});
}

void ClearDatapacketReaders() { Registry().clear(); }

void RaiseStreamNotRecognised() { throw db::DatabaseError(std::string(kSStreamNotRecognised)); }

bool FindRegisteredReader(std::istream* stream, TDataPacketFormat format,
                          TDatapacketReaderRegistration& found) {
  const std::streampos start = stream != nullptr ? stream->tellg() : std::streampos(-1);
  for (const TDatapacketReaderRegistration& entry : Registry()) {
    if (format != dfAny && format != entry.PacketFormat) continue;
    if (stream == nullptr) {
      found = entry;
      return true;
    }
    if (start == std::streampos(-1)) return false;
    const bool recognised =
        entry.ReaderClass.IsPacketStream && entry.ReaderClass.IsPacketStream(*stream);
    stream->clear();
    stream->seekg(start);
    if (!*stream) return false;
    if (recognised) {
      found = entry;
      return true;
    }
  }
  return false;
}

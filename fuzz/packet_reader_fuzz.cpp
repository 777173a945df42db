// Fuzzes the dataset packet reader: the input is a packet, loaded into a
// buffered dataset. When it loads, every field of every record is read, the
// dataset is saved, and the saved packet must load and save again to the same
// bytes; then its change log is cancelled and the dataset saved once more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "datasets/VoBufDataset.h"
#include "db/DatabaseError.h"

namespace {

// The packet of `ds`, or "" when the format refuses a value (a currency at
// the edge of 64 bits does not survive the trip through a double).
std::string Save(TVoBufDataset& ds) {
  std::ostringstream out;
  try {
    ds.SaveToStream(out);
  } catch (const db::DatabaseError&) {
    return "";
  }
  return out.str();
}

void ReadAll(TVoBufDataset& ds) {
  for (ds.First(); !ds.Eof(); ds.Next()) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
      try {
        (void)ds.Fields(i).AsString();
        (void)ds.Fields(i).OldValue();
      } catch (const db::DatabaseError&) {
        // A value with no text form of its kind: a clean refusal.
      }
    }
    (void)ds.UpdateStatus();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TVoBufDataset ds;
  {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
      ds.LoadFromStream(in);
    } catch (const db::DatabaseError&) {
      if (ds.Active()) std::abort();  // a failed load leaves the dataset closed
      return 0;
    }
  }
  ReadAll(ds);
  const std::string saved = Save(ds);
  if (!saved.empty()) {
    TVoBufDataset again;
    std::istringstream in(saved);
    again.LoadFromStream(in);  // what was saved must load: no catch here
    if (Save(again) != saved) std::abort();
  }
  ds.CancelUpdates();
  ReadAll(ds);
  (void)Save(ds);
  return 0;
}

// Reading and writing whole record sets as table files: the file is read a
// piece at a time through the run-time library's reader and cut by the
// text-table format; it is written whole through the atomic writer.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/vekSQLRecords.h"
#include "engine/vekSQLTextTable.h"
#include "rtl/AtomicFile.h"
#include "rtl/FileAccess.h"

namespace vek {

namespace {

// Gathers the header's names and the rows into a set of their own.
class RowCollector : public TextTableCutter::Sink {
 public:
  void OnHeader(std::string_view line) override {
    SplitText(line, set.FieldNames);
    ++lines;
  }
  void OnRow(const std::vector<std::string_view>& cells) override {
    set.AppendRow(cells);
    ++lines;
  }

  TvekRecordSet set;
  std::size_t lines = 0;
};

}  // namespace

Status TvekRecordSet::LoadFromFile(const std::string& file_name, bool& loaded,
                                   std::size_t chunk_bytes) {
  loaded = false;
  rtl::FileReader file;
  if (!file.Open(file_name)) return file.Missing() ? Status::OK() : Status::Error(file.Error());
  const std::size_t file_size = file.Size();
  chunk_bytes = std::max<std::size_t>(chunk_bytes, 2);

  // Read into new lists and swap them in at the end, so that a failure on the way
  // leaves the set as it was.
  RowCollector read;
  TextTableCutter cutter;

  // The file is read a piece at a time and cut into lines as it comes, so the
  // whole file never sits in memory beside the table made of it. A piece is cut
  // after its last line end; the rest is carried into the next piece. A carriage
  // return that ends a piece might be the first half of CR LF, so the cut goes
  // before its line.
  std::vector<char> buffer(std::min(chunk_bytes, file_size + 1) + 1);
  std::size_t filled = 0;
  std::size_t consumed_total = 0;
  bool at_end = false;
  bool reserved = false;
  while (!at_end) {
    if (filled == buffer.size()) buffer.resize(buffer.size() * 2);  // a very long line
    const long got = file.Read(buffer.data() + filled, buffer.size() - filled);
    if (got < 0) return Status::Error(file.Error());
    if (got == 0) at_end = true;
    filled += static_cast<std::size_t>(got);
    if (!at_end && filled < buffer.size()) continue;  // fill the piece first

    std::size_t cut = filled;  // bytes to cut into lines now
    if (!at_end) {
      cut = 0;
      for (std::size_t i = filled; i > 0; --i) {
        const char c = buffer[i - 1];
        if (c == '\n' || (c == '\r' && i < filled)) {
          cut = i;
          break;
        }
      }
      if (cut == 0) continue;  // no whole line yet: read more into a larger piece
    }
    try {
      cutter.Cut(std::string_view(buffer.data(), cut), read);
    } catch (const std::length_error&) {
      return Status::Error("Could not read file " + file_name + ": a row holds more than 4 GiB");
    }
    consumed_total += cut;
    if (!reserved && !at_end && consumed_total > 0) {
      // The rows seen so far tell how many the whole file holds.
      read.set.Records.reserve(static_cast<std::size_t>(static_cast<double>(read.lines) *
                                                        file_size / consumed_total * 1.05) +
                               16);
      reserved = true;
    }
    std::memmove(buffer.data(), buffer.data() + cut, filled - cut);
    filled -= cut;
  }

  if (!cutter.HeaderSeen()) {
    // An empty file holds no table, not even its columns.
    Clear();
    return Status::OK();
  }
  FieldNames.swap(read.set.FieldNames);
  Records = std::move(read.set.Records);
  storage_ = std::move(read.set.storage_);
  Aggregates.clear();
  loaded = true;
  return Status::OK();
}

Status TvekRecordSet::SaveToFile(const std::string& file_name) const {
  rtl::AtomicFileWriter file(file_name);
  if (!file.Open()) return Status::Error(file.Error());
  std::string& buffer = file.Buffer();
  buffer += JoinText(FieldNames);
  buffer += '\n';
  for (const TvekRecord& row : Records) {
    AppendRowLine(row, buffer);
    buffer += '\n';
    if (!file.WriteIfFull()) return Status::Error(file.Error());
  }
  if (!file.Commit()) return Status::Error(file.Error());
  return Status::OK();
}

}  // namespace vek

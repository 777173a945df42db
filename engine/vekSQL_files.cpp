// Reading and writing whole record sets as table files: the file is read a
// piece at a time through the run-time library's reader and cut by the
// text-table format; it is written whole through the atomic writer.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/vekSQLRecords.h"
#include "engine/vekSQLTableFile.h"
#include "engine/vekSQLTextTable.h"
#include "rtl/AtomicFile.h"

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

Status TableFileReader::Open(const std::string& file_name, std::size_t piece_bytes,
                             bool& missing) {
  file_name_ = file_name;
  missing = false;
  if (!file_->Open(file_name)) {
    missing = file_->Missing();
    done_ = true;
    return missing ? Status::OK() : Status::Error(file_->Error());
  }
  Start(piece_bytes);
  return Status::OK();
}

Status TableFileReader::Reopen(std::shared_ptr<rtl::FileReader> file,
                               const std::string& file_name, std::size_t piece_bytes) {
  file_ = std::move(file);
  file_name_ = file_name;
  if (!file_->UpdateSize()) {
    done_ = true;
    return Status::Error(file_->Error());
  }
  Start(piece_bytes);
  return Status::OK();
}

void TableFileReader::Start(std::size_t piece_bytes) {
  piece_bytes = std::max<std::size_t>(piece_bytes, 2);
  buffer_.assign(std::min(piece_bytes, file_->Size() + 1) + 1, '\0');
  filled_ = consumed_ = 0;
  offset_ = 0;
  at_end_ = done_ = false;
  cutter_ = TextTableCutter();
}

Status TableFileReader::Next(TextTableCutter::Sink& sink, bool& done) {
  // A piece is cut after its last line end; the rest is carried into the next
  // piece. A carriage return that ends a piece might be the first half of CR LF,
  // so the cut goes before its line.
  while (!done_) {
    if (filled_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
    // Read at this reader's own offset: a table whose rows are pending may
    // read the same open file at the same time.
    const long got = file_->ReadAt(buffer_.data() + filled_, buffer_.size() - filled_, offset_);
    if (got < 0) {
      done_ = true;
      done = true;
      return Status::Error(file_->Error());
    }
    if (got == 0) at_end_ = true;
    filled_ += static_cast<std::size_t>(got);
    offset_ += static_cast<std::uint64_t>(got);
    if (!at_end_ && filled_ < buffer_.size()) continue;  // fill the piece first

    std::size_t cut = filled_;  // bytes to cut into lines now
    if (!at_end_) {
      cut = 0;
      for (std::size_t i = filled_; i > 0; --i) {
        const char c = buffer_[i - 1];
        if (c == '\n' || (c == '\r' && i < filled_)) {
          cut = i;
          break;
        }
      }
      if (cut == 0) continue;  // no whole line yet: read more into a larger piece
    }
    done_ = at_end_;
    try {
      cutter_.Cut(std::string_view(buffer_.data(), cut), sink);
    } catch (const std::length_error&) {
      done_ = true;
      done = true;
      return Status::Error("Could not read file " + file_name_ + ": a row holds more than 4 GiB");
    }
    consumed_ += cut;
    std::memmove(buffer_.data(), buffer_.data() + cut, filled_ - cut);
    filled_ -= cut;
    break;
  }
  done = done_;
  return Status::OK();
}

Status TableFileReader::Drain() {
  struct Nothing : TextTableCutter::Sink {
    void OnHeader(std::string_view) override {}
    void OnRow(const std::vector<std::string_view>&) override {}
  } nothing;
  for (bool done = done_; !done;) {
    Status s = Next(nothing, done);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

Status TvekRecordSet::LoadFromFile(const std::string& file_name, bool& loaded,
                                   std::size_t chunk_bytes) {
  loaded = false;
  TableFileReader reader;
  bool missing = false;
  Status s = reader.Open(file_name, chunk_bytes, missing);
  if (!s.ok() || missing) return s;
  return LoadFrom(reader, loaded);
}

Status TvekRecordSet::LoadFrom(TableFileReader& reader, bool& loaded) {
  // Read into new lists and swap them in at the end, so that a failure on the way
  // leaves the set as it was.
  RowCollector read;
  bool reserved = false;
  for (bool done = false; !done;) {
    Status s = reader.Next(read, done);
    if (!s.ok()) return s;
    if (!reserved && !done && reader.BytesCut() > 0) {
      // The rows seen so far tell how many the whole file holds.
      read.set.Records.reserve(static_cast<std::size_t>(static_cast<double>(read.lines) *
                                                        reader.FileSize() / reader.BytesCut() *
                                                        1.05) +
                               16);
      reserved = true;
    }
  }

  if (!reader.HeaderSeen()) {
    // An empty file holds no table, not even its columns.
    Clear();
    pending_file_.reset();
    return Status::OK();
  }
  FieldNames.swap(read.set.FieldNames);
  Records = std::move(read.set.Records);
  storage_ = std::move(read.set.storage_);
  Aggregates.clear();
  pending_file_.reset();
  loaded = true;
  return Status::OK();
}

Status TvekRecordSet::ReadPendingRows() {
  if (!pending_file_) return Status::OK();
  TableFileReader reader;
  Status s = reader.Reopen(pending_file_, FileName, kLoadPieceBytes);
  bool loaded = false;
  if (s.ok()) s = LoadFrom(reader, loaded);
  return s;
}

void TvekRecordSet::SetRowsPending(std::shared_ptr<rtl::FileReader> file) {
  pending_file_ = std::move(file);
}

Status TvekRecordSet::SaveToFile(const std::string& file_name) const {
  rtl::AtomicFileWriter file(file_name);
  if (!file.Open()) return Status::Error(file.Error());
  std::string& buffer = file.Buffer();
  buffer += JoinText(FieldNames);
  buffer += '\n';
  // Rows a sort has moved lie all over memory: each is fetched some rows ahead
  // so that the cache misses overlap.
  constexpr std::size_t kAhead = 16;
  const std::size_t count = Records.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) Records[i + kAhead].Prefetch();
    AppendRowLine(Records[i], buffer);
    buffer += '\n';
    if (!file.WriteIfFull()) return Status::Error(file.Error());
  }
  if (!file.Commit()) return Status::Error(file.Error());
  return Status::OK();
}

}  // namespace vek

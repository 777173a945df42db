// Reading and writing whole record sets as table files: the file is read a
// piece at a time through the run-time library's reader and cut by the
// text-table format; it is written whole through the atomic writer.
#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/vekSQLRecords.h"
#include "engine/vekSQLTableFile.h"
#include "engine/vekSQLTextTable.h"
#include "engine/vekSQLThreads.h"
#include "rtl/AtomicFile.h"

namespace vek {

namespace {

// Appends a piece's rows to a set; the first piece's header gives its names.
class PieceSink : public TextTableCutter::Sink {
 public:
  explicit PieceSink(TvekRecordSet& set) : set_(set) {}
  void OnHeader(std::string_view line) override { SplitText(line, set_.FieldNames); }
  void OnRow(const std::vector<std::string_view>& cells) override { set_.AppendRow(cells); }

 private:
  TvekRecordSet& set_;
};

// Below this size a file is cut on the reading thread: starting workers
// would cost more than they save.
constexpr std::size_t kSmallFile = std::size_t{2} << 20;

// Cuts a piece of whole lines into `sink`; a row of more than 4 GiB is the
// file's error.
Status CutPiece(TextTableCutter& cutter, std::string_view piece, TextTableCutter::Sink& sink,
                const std::string& file_name) {
  try {
    cutter.Cut(piece, sink);
  } catch (const std::length_error&) {
    return Status::Error("Could not read file " + file_name + ": a row holds more than 4 GiB");
  }
  return Status::OK();
}

}  // namespace

// ---- TableFileReader -------------------------------------------------------------

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
  if (!file_->Unchanged()) {
    done_ = true;
    return Status::Error(file_->Error());
  }
  Start(piece_bytes);
  return Status::OK();
}

void TableFileReader::Start(std::size_t piece_bytes) {
  piece_bytes = std::max<std::size_t>(piece_bytes, 2);
  buffer_.assign(std::min(piece_bytes, file_->Size() + 1) + 1, '\0');
  filled_ = 0;
  offset_ = 0;
  at_end_ = done_ = false;
}

Status TableFileReader::NextPiece(std::string& piece) {
  piece.clear();
  // A piece ends after its last line end; the rest is carried into the next
  // piece. A carriage return that ends a piece might be the first half of CR
  // LF, so the piece ends before its line.
  while (!done_) {
    if (filled_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
    // Read at this reader's own offset: a table whose rows are pending may
    // read the same open file at the same time.
    const long got = file_->ReadAt(buffer_.data() + filled_, buffer_.size() - filled_, offset_);
    if (got < 0) {
      done_ = true;
      return Status::Error(file_->Error());
    }
    if (got == 0) at_end_ = true;
    filled_ += static_cast<std::size_t>(got);
    offset_ += static_cast<std::uint64_t>(got);
    if (!at_end_ && filled_ < buffer_.size()) continue;  // fill the piece first

    std::size_t cut = filled_;  // bytes of whole lines
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
    piece.assign(buffer_.data(), cut);
    std::memmove(buffer_.data(), buffer_.data() + cut, filled_ - cut);
    filled_ -= cut;
    break;
  }
  return Status::OK();
}

// ---- TableFileRows ---------------------------------------------------------------

TableFileRows::TableFileRows(TableFileReader& reader, int workers) : reader_(reader) {
  try {
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this, i] { Work(i); });
  } catch (const std::system_error&) {
    // No more threads to be had: the ones started do the work.
  }
}

TableFileRows::~TableFileRows() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

int TableFileRows::WorkersFor(std::size_t file_size) {
  return file_size < kSmallFile ? 0 : SpareProcessors();
}

void TableFileRows::Cut(Piece& piece) const {
  piece.rows->RewindRecords();
  TextTableCutter cutter;
  if (!piece.first) cutter.SkipHeader();
  PieceSink sink(*piece.rows);
  try {
    piece.status = CutPiece(cutter, piece.bytes, sink, reader_.FileName());
    piece.header_seen = piece.first && cutter.HeaderSeen();
  } catch (...) {
    piece.failure = std::current_exception();
  }
}

void TableFileRows::Work(int index) {
  for (;;) {
    Piece* piece = nullptr;
    PieceWork* work = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [&] { return stop_ || !to_cut_.empty(); });
      if (stop_) return;
      piece = to_cut_.front();
      to_cut_.pop_front();
      if (!work_per_worker_.empty() && !draining_) work = work_per_worker_[index].get();
    }
    Cut(*piece);
    if (work != nullptr && piece->status.ok() && !piece->failure) {
      // Work that fails (out of memory) is as good as not done: the reading
      // thread then does it, and meets the failure only if it gets there.
      try {
        work->Mark(piece->rows, piece->marks, piece->product);
        piece->marked = true;
      } catch (...) {
        piece->marked = false;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      piece->ready = true;
    }
    cut_.notify_all();
  }
}

Status TableFileRows::Next(RecordSetPtr& rows) {
  rows = nullptr;
  if (!cut_error_.ok()) return cut_error_;
  if (handed_out_) spare_.push_back(std::move(handed_out_));
  // Keep the workers busy: read pieces ahead, up to two for each; but only
  // from the second piece on, so that work given after the first piece (the
  // header's names) reaches every piece after it.
  const std::size_t ahead = workers_.empty() || !read_any_ ? 1 : 2 * workers_.size();
  while (queued_.size() < ahead && !reader_.AtEnd() && read_error_.ok()) {
    std::unique_ptr<Piece> piece;
    if (spare_.empty()) {
      piece = std::make_unique<Piece>();
    } else {
      piece = std::move(spare_.back());
      spare_.pop_back();
    }
    Status read = reader_.NextPiece(piece->bytes);
    if (!read.ok()) {
      read_error_ = read;  // reported once the pieces before it are used
      break;
    }
    piece->first = !read_any_;
    read_any_ = true;
    piece->header_seen = piece->ready = piece->marked = false;
    piece->status = Status::OK();
    piece->failure = nullptr;
    Piece* to_cut = piece.get();
    queued_.push_back(std::move(piece));
    if (workers_.empty()) {
      Cut(*to_cut);
      to_cut->ready = true;
    } else {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        to_cut_.push_back(to_cut);
      }
      work_.notify_one();
    }
  }
  if (queued_.empty()) return read_error_;

  Piece* front = queued_.front().get();
  if (!workers_.empty()) {
    std::unique_lock<std::mutex> lock(mutex_);
    cut_.wait(lock, [&] { return front->ready; });
  }
  handed_out_ = std::move(queued_.front());
  queued_.pop_front();
  if (front->failure) std::rethrow_exception(front->failure);
  if (!front->status.ok()) {
    // The file reads no further.
    cut_error_ = front->status;
    return cut_error_;
  }
  header_seen_ = header_seen_ || front->header_seen;
  bytes_cut_ += front->bytes.size();
  rows = front->rows;
  return Status::OK();
}

const std::vector<char>* TableFileRows::Marks() const {
  return handed_out_ && handed_out_->marked ? &handed_out_->marks : nullptr;
}

PieceProduct* TableFileRows::Product() const {
  return handed_out_ && handed_out_->marked ? handed_out_->product.get() : nullptr;
}

void TableFileRows::SetPieceWork(std::vector<std::unique_ptr<PieceWork>> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  work_per_worker_ = std::move(work);
}

Status TableFileRows::Drain() {
  // The rest is read for its errors alone: no more work on its pieces.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draining_ = true;
  }
  for (;;) {
    RecordSetPtr rows;
    Status s = Next(rows);
    if (!s.ok() || rows == nullptr) return s;
  }
}

// ---- Loading a table ------------------------------------------------------------

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
  // Read into a new set and take its lists at the end, so that a failure on
  // the way leaves this set as it was.
  TvekRecordSet read;
  // The first piece tells how many rows the whole file holds.
  auto reserve = [&](std::size_t rows, std::size_t bytes) {
    read.Records.reserve(
        static_cast<std::size_t>(static_cast<double>(rows) * reader.FileSize() / bytes * 1.05) + 16);
  };
  bool header_seen = false;
  const int workers = TableFileRows::WorkersFor(reader.FileSize());
  if (workers == 0) {
    // On one thread each piece is cut straight into the new set.
    TextTableCutter cutter;
    PieceSink sink(read);
    std::string piece;
    for (bool first = true; !reader.AtEnd(); first = false) {
      Status s = reader.NextPiece(piece);
      if (s.ok()) s = CutPiece(cutter, piece, sink, reader.FileName());
      if (!s.ok()) return s;
      if (first && !piece.empty()) reserve(read.Records.size(), piece.size());
    }
    header_seen = cutter.HeaderSeen();
  } else {
    TableFileRows pieces(reader, workers);
    for (;;) {
      RecordSetPtr rows;
      Status s = pieces.Next(rows);
      if (!s.ok()) return s;
      if (rows == nullptr) break;
      if (read.FieldNames.empty()) read.FieldNames = rows->FieldNames;
      if (read.Records.empty()) reserve(rows->Records.size(), pieces.BytesCut());
      // Copied rather than taken: a piece's rows fill a part of its storage
      // only, and the piece's storage serves the next piece.
      for (const TvekRecord& row : rows->Records) read.AppendRow(row);
    }
    header_seen = pieces.HeaderSeen();
  }

  if (!header_seen) {
    // An empty file holds no table, not even its columns.
    Clear();
    pending_file_.reset();
    return Status::OK();
  }
  FieldNames.swap(read.FieldNames);
  Records = std::move(read.Records);
  storage_ = std::move(read.storage_);
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

namespace {

// From this many rows on, a set is turned into text on several threads.
constexpr std::size_t kManyRowsToWrite = std::size_t{1} << 18;
// The text of a batch of rows turned into text on a thread: about this much.
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;

// The lines of rows [from, to) as a table file holds them. Rows a sort has
// moved lie all over memory: each is fetched some rows ahead (past `to` too,
// for the next call) so that the cache misses overlap.
void AppendRowLines(const TvekRows& rows, std::size_t from, std::size_t to, std::string& out) {
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = from; i < to; ++i) {
    if (i + kAhead < rows.size()) rows[i + kAhead].Prefetch();
    AppendRowLine(rows[i], out);
    out += '\n';
  }
}

}  // namespace

Status TvekRecordSet::SaveToFile(const std::string& file_name) const {
  rtl::AtomicFileWriter file(file_name);
  if (!file.Open()) return Status::Error(file.Error());
  std::string& buffer = file.Buffer();
  buffer += JoinText(FieldNames);
  buffer += '\n';
  const std::size_t count = Records.size();
  const int threads = count < kManyRowsToWrite ? 0 : SpareProcessors();
  if (threads == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      AppendRowLines(Records, i, i + 1, buffer);
      if (!file.WriteIfFull()) return Status::Error(file.Error());
    }
  } else {
    // The batches after the one being written are turned into text on threads
    // meanwhile. Each aims at about kBatchBytes of text, going by the rows
    // written so far (the first ones are small, for rows that turn out wide).
    // A batch's future waits for its thread when it goes, so no thread
    // outlives the rows it reads, whatever way this returns.
    struct Batch {
      std::string text;
      std::size_t rows = 0;
      std::future<void> done;
    };
    std::deque<std::unique_ptr<Batch>> in_flight;
    std::size_t next = 0;
    std::size_t batch_rows = 64;
    std::size_t rows_written = 0;
    std::size_t bytes_written = 0;
    auto start = [&] {
      auto batch = std::make_unique<Batch>();
      const std::size_t from = next;
      const std::size_t to = std::min(count, from + batch_rows);
      batch->rows = to - from;
      std::string* text = &batch->text;
      try {
        batch->done = std::async(std::launch::async, [this, from, to, text] {
          AppendRowLines(Records, from, to, *text);
        });
      } catch (const std::system_error&) {
        AppendRowLines(Records, from, to, *text);  // no thread to be had
      }
      in_flight.push_back(std::move(batch));
      next = to;
    };
    while (!in_flight.empty() || next < count) {
      while (next < count && in_flight.size() <= static_cast<std::size_t>(threads)) start();
      std::unique_ptr<Batch> batch = std::move(in_flight.front());
      in_flight.pop_front();
      if (batch->done.valid()) batch->done.get();
      rows_written += batch->rows;
      bytes_written += batch->text.size();
      batch_rows = std::clamp<std::size_t>(
          kBatchBytes * rows_written / std::max<std::size_t>(bytes_written, 1), 1,
          std::size_t{1} << 16);
      buffer += batch->text;
      if (!file.WriteIfFull()) return Status::Error(file.Error());
    }
  }
  if (!file.Commit()) return Status::Error(file.Error());
  return Status::OK();
}

}  // namespace vek

// Reading a table file a piece at a time: the file is read in pieces of whole
// lines, and each piece is cut into rows as it comes (on worker threads ahead
// of the reader when the file is large), so the whole file never sits in
// memory. Loading a table and a SELECT that reads its table once from start
// to end both read through it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/vekSQLRecords.h"
#include "engine/vekSQLStatus.h"
#include "rtl/FileAccess.h"

namespace vek {

// The file's bytes, a piece of whole lines at a time.
class TableFileReader {
 public:
  // Opens the file; `missing` tells a file that is not there (no error then).
  // A folder, a named pipe or a device is refused before a byte is read.
  Status Open(const std::string& file_name, std::size_t piece_bytes, bool& missing);
  // Reads a file opened before, from its start: the file it was when opened,
  // even if its name has been given to another file or removed since.
  Status Reopen(std::shared_ptr<rtl::FileReader> file, const std::string& file_name,
                std::size_t piece_bytes);
  // The next piece: whole lines (the last line of the file may lack its line
  // end), empty only at the end of the file. An error leaves the reader at
  // its end.
  Status NextPiece(std::string& piece);
  bool AtEnd() const { return done_; }

  // The file's size when it was opened.
  std::size_t FileSize() const { return file_->Size(); }
  const std::string& FileName() const { return file_name_; }
  // The open file, to be read again later through Reopen.
  const std::shared_ptr<rtl::FileReader>& File() const { return file_; }

 private:
  void Start(std::size_t piece_bytes);

  std::shared_ptr<rtl::FileReader> file_ = std::make_shared<rtl::FileReader>();
  std::string file_name_;
  std::vector<char> buffer_;
  std::size_t filled_ = 0;
  std::uint64_t offset_ = 0;
  bool at_end_ = false;
  bool done_ = false;
};

// What work on a piece found beside its marks; it stays with the piece, and
// the same work is given it again when the piece's storage is reused.
class PieceProduct {
 public:
  virtual ~PieceProduct() = default;
};

// Work on a piece's rows once they are cut, on the thread that cut them: a
// mark per row, and whatever else it keeps in `product` (made by the work
// itself). Each worker has its own, so that nothing in it is shared.
class PieceWork {
 public:
  virtual ~PieceWork() = default;
  virtual void Mark(const RecordSetPtr& rows, std::vector<char>& marks,
                    std::unique_ptr<PieceProduct>& product) = 0;
};

// The rows of a table file, piece by piece and in the file's order. With
// workers, the pieces after the one being used are read and cut meanwhile;
// what comes out, errors included, is the same either way.
class TableFileRows {
 public:
  // `workers` threads cut pieces ahead (0: each piece is cut when asked for).
  TableFileRows(TableFileReader& reader, int workers);
  ~TableFileRows();
  TableFileRows(const TableFileRows&) = delete;
  TableFileRows& operator=(const TableFileRows&) = delete;

  // The rows of the next piece, in a set that stays valid until the next call
  // (the first piece's set also holds the header's names); null after the
  // last piece. A failure to cut throws as cutting on this thread would
  // (running out of memory).
  Status Next(RecordSetPtr& rows);
  // Reads and cuts the rest without keeping anything (and without the work on
  // pieces): the error that reading it would give, if any.
  Status Drain();
  // The marks of the rows last handed out; null where no work ran on them.
  const std::vector<char>* Marks() const;
  // What the work found on the rows last handed out; null where none ran.
  PieceProduct* Product() const;
  // Gives each worker its own work (as many as WorkerCount()) for the pieces
  // it cuts from now on; pieces cut before carry no marks. Given after the
  // first piece, it reaches every piece after that one.
  void SetPieceWork(std::vector<std::unique_ptr<PieceWork>> work);
  int WorkerCount() const { return static_cast<int>(workers_.size()); }
  // Whether a header line has been cut: false for an empty file.
  bool HeaderSeen() const { return header_seen_; }
  // The bytes of the pieces handed out so far.
  std::size_t BytesCut() const { return bytes_cut_; }

  // The workers worth starting for a file of this size: none for a small one
  // or where this process may run on one processor only.
  static int WorkersFor(std::size_t file_size);

 private:
  struct Piece {
    std::string bytes;
    RecordSetPtr rows = std::make_shared<TvekRecordSet>();
    bool first = false;
    bool header_seen = false;
    bool ready = false;
    bool marked = false;
    std::vector<char> marks;
    std::unique_ptr<PieceProduct> product;
    Status status;
    std::exception_ptr failure;
  };
  void Cut(Piece& piece) const;
  void Work(int index);

  TableFileReader& reader_;
  std::deque<std::unique_ptr<Piece>> queued_;  // read, in file order
  std::vector<std::unique_ptr<Piece>> spare_;
  std::unique_ptr<Piece> handed_out_;
  Status read_error_;
  Status cut_error_;
  bool read_any_ = false;
  bool header_seen_ = false;
  std::size_t bytes_cut_ = 0;

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable work_;  // a piece to cut, or stop
  std::condition_variable cut_;   // a piece has been cut
  std::deque<Piece*> to_cut_;
  std::vector<std::unique_ptr<PieceWork>> work_per_worker_;
  bool draining_ = false;  // Drain has begun: pieces are only cut
  bool stop_ = false;
};

}  // namespace vek

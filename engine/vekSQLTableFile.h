// Reading a table file a piece at a time: each piece is cut into the header
// line and rows as it comes, so the whole file never sits in memory. Loading a
// table and a SELECT that reads its table once from start to end both read
// through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/vekSQLStatus.h"
#include "engine/vekSQLTextTable.h"
#include "rtl/FileAccess.h"

namespace vek {

class TableFileReader {
 public:
  // Opens the file; `missing` tells a file that is not there (no error then).
  // A folder, a named pipe or a device is refused before a byte is read.
  Status Open(const std::string& file_name, std::size_t piece_bytes, bool& missing);
  // Reads a file opened before, from its start: the file it was when opened,
  // even if its name has been given to another file or removed since.
  Status Reopen(std::shared_ptr<rtl::FileReader> file, const std::string& file_name,
                std::size_t piece_bytes);
  // Cuts the next piece of the file into `sink`; `done` once the file's end has
  // been cut. An error leaves the reader at its end.
  Status Next(TextTableCutter::Sink& sink, bool& done);
  // Cuts the rest of the file without keeping anything: the error that reading
  // the whole file would have given, if any.
  Status Drain();

  // Whether a header line has been cut: false for an empty file.
  bool HeaderSeen() const { return cutter_.HeaderSeen(); }
  // The file's size when it was opened, and the bytes cut so far.
  std::size_t FileSize() const { return file_->Size(); }
  std::size_t BytesCut() const { return consumed_; }
  // The open file, to be read again later through Reopen.
  const std::shared_ptr<rtl::FileReader>& File() const { return file_; }

 private:
  void Start(std::size_t piece_bytes);

  std::shared_ptr<rtl::FileReader> file_ = std::make_shared<rtl::FileReader>();
  std::string file_name_;
  TextTableCutter cutter_;
  std::vector<char> buffer_;
  std::size_t filled_ = 0;
  std::size_t consumed_ = 0;
  std::uint64_t offset_ = 0;
  bool at_end_ = false;
  bool done_ = false;
};

}  // namespace vek

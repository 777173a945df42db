// Reading files, asking what a path names, creating a new file and removing
// one. A table file is read in pieces from a regular file only: a named pipe
// would block the reader and a device such as /dev/zero would never end, so
// both are refused before any byte is read. Replacing a file whole is in
// AtomicFile.h.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

enum class PathKind { kMissing, kRegular, kDirectory, kOther };

// What `path` names, symbolic links followed; kMissing also when the path
// cannot be looked at (a dangling link, a missing folder on the way).
PathKind KindOfPath(const std::string& path);

// Creates `path` exclusively (fails when it already exists) holding `bytes`
// and nothing else; a file left incomplete is removed again, so that a retry
// does not find it. False on failure, with `error` saying
// "Cannot create file \"<path>\": <reason>" or
// "Cannot write file \"<path>\": <reason>".
bool CreateNewFile(const std::string& path, std::string_view bytes, std::string& error);

// Removes the file `path` names; false when it could not.
bool RemoveFile(const std::string& path);

// A regular file opened for reading from its start. Closed on destruction.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False on failure, with Missing() telling a file that is not there (no
  // error text then) from one that cannot be read. Error() says
  // "Could not open file <path>: <reason>" when opening failed and
  // "Could not read file <path>: <reason>" for a folder ("Is a directory") or
  // anything else that is not a regular file ("not a regular file").
  bool Open(const std::string& path);
  bool Missing() const { return missing_; }
  // The file's size when it was opened.
  std::size_t Size() const { return size_; }
  // Reads up to `size` bytes into `data`: the count read, 0 at the end of the
  // file, -1 on failure with Error() "Could not read file <path>: <reason>".
  long Read(char* data, std::size_t size);
  // Reads up to `size` bytes at `offset` of the open file (whatever its path
  // names now), leaving the position Read goes on from alone; as Read.
  long ReadAt(char* data, std::size_t size, std::uint64_t offset);
  // False, with Error() saying why, when the open file has been written since
  // it was opened (its size or modification time changed) or cannot be
  // looked at.
  bool Unchanged();
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* what, const std::string& reason);
  // False, with the error said, for a reader whose file is not open.
  bool IsOpen();
  // Reads at `offset`, or at the file's position where it is negative.
  long ReadFrom(char* data, std::size_t size, off_t offset);

  std::string path_;
  int fd_ = -1;
  std::size_t size_ = 0;
  std::int64_t modified_ns_ = 0;
  bool missing_ = false;
  std::string error_;
};

}  // namespace rtl

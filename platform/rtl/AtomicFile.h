// Writing a file whole or not at all: the bytes go to a new temporary file
// beside the target, which replaces the target only when everything was
// written and flushed to disk. A failure on the way, a killed process or a power
// loss leaves the old file or the new one, never a mix of the two.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string target) : target_(std::move(target)) {}
  // Removes the temporary file unless Commit put it in place.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Each step answers false on failure, with Error() saying
  // "Could not write file <target>: <reason>"; after a failure nothing more is
  // written.
  //
  // Open follows a target that is a symbolic link to the file it names (so the
  // link stays and the file behind it is replaced), removes the temporary files
  // that earlier saves of that file left when they were killed, and creates the
  // temporary file: TemporaryPrefix(file) + a unique ending.
  bool Open();
  // The bytes not yet written: append to it, and call WriteIfFull now and then.
  std::string& Buffer() { return buffer_; }
  // Writes the buffer out once it holds a megabyte or more.
  bool WriteIfFull();
  bool Append(std::string_view bytes);
  // Writes the rest, gives the temporary file the old file's permission bits
  // (a file readable only by its owner stays so), flushes it to disk, renames
  // it over the file and flushes the folder, so the new name survives a power
  // loss too.
  bool Commit();
  const std::string& Error() const { return error_; }

  // The start of every temporary file name of `path`: its folder, its file name
  // (cut to leave room for the rest within the file system's 255 bytes), ".tmp-",
  // 16 hex digits of a hash of the whole file name and "-". The hash keeps two
  // long names that share their first 200 bytes apart.
  static std::string TemporaryPrefix(const std::string& path);

 private:
  bool Flush();
  bool Fail(int error_number);
  bool Fail(const std::string& reason);

  std::string target_;
  std::string file_;  // the target with symbolic links followed
  std::string temporary_;
  int fd_ = -1;
  std::string buffer_;
  std::string error_;
};

}  // namespace rtl

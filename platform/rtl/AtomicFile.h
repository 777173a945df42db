// Writing a file whole or not at all: the bytes go to a new temporary file
// beside the target, which replaces the target only when everything was
// written and closed. A failure on the way leaves the old file as it was.
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
  // written. Open creates the temporary file (target + ".tmp" + a unique suffix).
  bool Open();
  // The bytes not yet written: append to it, and call WriteIfFull now and then.
  std::string& Buffer() { return buffer_; }
  // Writes the buffer out once it holds a megabyte or more.
  bool WriteIfFull();
  bool Append(std::string_view bytes);
  // Writes the rest, closes, gives the temporary file the old target's
  // permission bits (a file readable only by its owner stays so) and renames it
  // over the target.
  bool Commit();
  const std::string& Error() const { return error_; }

 private:
  bool Flush();
  bool Fail(int error_number);
  bool Fail(const std::string& reason);

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  std::string buffer_;
  std::string error_;
};

}  // namespace rtl

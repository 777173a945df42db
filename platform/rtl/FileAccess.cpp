// Reading, creating and removing files and asking what a path names, on the
// POSIX calls.
#include "rtl/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rtl {

namespace {

PathKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return PathKind::kRegular;
  if (S_ISDIR(mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

}  // namespace

PathKind KindOfPath(const std::string& path) {
  struct stat info;
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  return KindOfMode(info.st_mode);
}

bool CreateNewFile(const std::string& path, std::string_view bytes, std::string& error) {
  // "x": never empty or overwrite a file that is already there.
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) {
    error = "Cannot create file \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int failure = written ? 0 : errno;
  if (std::fclose(file) != 0 && failure == 0) failure = errno == 0 ? EIO : errno;
  if (!written && failure == 0) failure = EIO;
  if (failure != 0) {
    std::remove(path.c_str());
    error = "Cannot write file \"" + path + "\": " + std::strerror(failure);
    return false;
  }
  return true;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

namespace {

std::int64_t ModifiedNs(const struct stat& info) {
  return std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
}

}  // namespace

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReader::Fail(const char* what, const std::string& reason) {
  error_ = std::string(what) + " " + path_ + ": " + reason;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  return false;
}

bool FileReader::Open(const std::string& path) {
  path_ = path;
  missing_ = false;
  error_.clear();
  // Looked at before opening, as opening a named pipe waits for a writer; and
  // again on the open file, in case the path changed in between. O_NONBLOCK
  // keeps that second chance from waiting too.
  const PathKind kind = KindOfPath(path);
  if (kind == PathKind::kDirectory) return Fail("Could not read file", std::strerror(EISDIR));
  if (kind == PathKind::kOther) return Fail("Could not read file", "not a regular file");
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) {
    const int error = errno;
    missing_ = error == ENOENT || error == ENOTDIR;
    if (missing_) return false;
    return Fail("Could not open file", std::strerror(error));
  }
  struct stat info;
  if (::fstat(fd_, &info) != 0) return Fail("Could not read file", std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return Fail("Could not read file", std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode)) return Fail("Could not read file", "not a regular file");
  // A regular file never blocks; the flag goes so reads behave as usual.
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  size_ = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  modified_ns_ = ModifiedNs(info);
  return true;
}

bool FileReader::Unchanged() {
  if (!IsOpen()) return false;
  struct stat info;
  if (::fstat(fd_, &info) != 0) return Fail("Could not read file", std::strerror(errno));
  const std::size_t size = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  if (size != size_ || ModifiedNs(info) != modified_ns_) {
    error_ = "Could not read file " + path_ + ": changed since it was read";
    return false;
  }
  return true;
}

long FileReader::ReadAt(char* data, std::size_t size, std::uint64_t offset) {
  return ReadFrom(data, size, static_cast<off_t>(offset));
}

long FileReader::Read(char* data, std::size_t size) { return ReadFrom(data, size, -1); }

long FileReader::ReadFrom(char* data, std::size_t size, off_t offset) {
  if (!IsOpen()) return -1;
  for (;;) {
    const ssize_t got =
        offset < 0 ? ::read(fd_, data, size) : ::pread(fd_, data, size, offset);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    Fail("Could not read file", std::strerror(errno));
    return -1;
  }
}

bool FileReader::IsOpen() {
  if (fd_ >= 0) return true;
  if (error_.empty()) Fail("Could not read file", std::strerror(EBADF));
  return false;
}

}  // namespace rtl

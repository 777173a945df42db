#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace rtl {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool AtomicFileWriter::Fail(int error_number) { return Fail(std::strerror(error_number)); }

bool AtomicFileWriter::Fail(const std::string& reason) {
  if (error_.empty()) error_ = "Could not write file " + target_ + ": " + reason;
  return false;
}

bool AtomicFileWriter::Open() {
  if (!error_.empty()) return false;
  static std::atomic<unsigned> counter{0};
  buffer_.reserve(kWriteChunk + kWriteChunk / 4);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path =
        target_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_ = std::move(path);
      return true;
    }
    if (errno != EEXIST) return Fail(errno);
  }
  return Fail(EEXIST);
}

bool AtomicFileWriter::Flush() {
  if (!error_.empty()) return false;
  if (fd_ < 0) return Fail(EBADF);
  if (!WriteAll(fd_, buffer_)) return Fail(errno);
  buffer_.clear();
  return true;
}

bool AtomicFileWriter::WriteIfFull() {
  if (!error_.empty()) return false;
  return buffer_.size() < kWriteChunk || Flush();
}

bool AtomicFileWriter::Append(std::string_view bytes) {
  buffer_ += bytes;
  return WriteIfFull();
}

bool AtomicFileWriter::Commit() {
  if (!Flush()) return false;
  const int fd = fd_;
  fd_ = -1;
  // A failed close may mean lost data.
  if (::close(fd) != 0) return Fail(errno);

  std::error_code error;
  const std::filesystem::file_status old = std::filesystem::status(target_, error);
  if (std::filesystem::exists(old)) {
    std::filesystem::permissions(temporary_, old.permissions(),
                                 std::filesystem::perm_options::replace, error);
    if (error) return Fail(error.message());
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) return Fail(errno);
  temporary_.clear();
  return true;
}

}  // namespace rtl

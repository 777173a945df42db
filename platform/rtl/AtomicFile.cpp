#include "rtl/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace rtl {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
// Links are followed at most this many times, as the kernel does.
constexpr int kMaxLinks = 40;
// The unique ending of a temporary name: the process id and a counter in hex,
// "3f2a1.1c", at most 8 + 1 + 8 bytes.
constexpr std::size_t kUniqueLength = 17;
// ".tmp-" + 16 hex digits + "-"
constexpr std::size_t kMarkLength = 22;
constexpr std::size_t kMaxPrefix = NAME_MAX - kMarkLength - kUniqueLength;

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

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once symbolic links are followed; a link to a file that
// does not exist yet names that file. False with errno set on failure.
bool FollowLinks(std::string path, std::string& file) {
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      file = std::move(path);
      return true;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) == link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    // A relative link is read from the link's own folder.
    path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

// FNV-1a, 64 bits: stable from one run and one build to the next, which the
// names of temporary files left by earlier runs rely on.
std::uint64_t NameHash(std::string_view name) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

bool IsHex(std::string_view s) {
  if (s.empty() || s.size() > 8) return false;
  for (const char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A temporary file is locked by the writer that made it for as long as the
// writer lives; one whose lock can be taken belongs to a save that was killed
// (or to nobody) and is removed. A live save of the same file in another
// process keeps its lock, and its file.
void RemoveLeftovers(const std::string& prefix) {
  const std::string folder = FolderOf(prefix);
  const std::string start = NameOf(prefix);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with(start)) continue;
    // Only names this writer makes: the prefix, then "<hex>.<hex>".
    const std::string_view unique = name.substr(start.size());
    const std::size_t dot = unique.find('.');
    if (dot == std::string_view::npos || !IsHex(unique.substr(0, dot)) ||
        !IsHex(unique.substr(dot + 1))) {
      continue;
    }
    const std::string path = folder + "/" + std::string(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

std::string AtomicFileWriter::TemporaryPrefix(const std::string& path) {
  const std::string name = NameOf(path);
  std::size_t keep = std::min(name.size(), kMaxPrefix);
  // Cut before a UTF-8 continuation byte, not inside a character.
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(NameHash(name)));
  const std::string folder = path.substr(0, path.size() - name.size());
  return folder + name.substr(0, keep) + ".tmp-" + hash + "-";
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  if (fd_ >= 0) ::close(fd_);
}

bool AtomicFileWriter::Fail(int error_number) { return Fail(std::strerror(error_number)); }

bool AtomicFileWriter::Fail(const std::string& reason) {
  if (error_.empty()) error_ = "Could not write file " + target_ + ": " + reason;
  return false;
}

bool AtomicFileWriter::Open() {
  if (!error_.empty()) return false;
  if (!FollowLinks(target_, file_)) return Fail(errno);
  const std::string prefix = TemporaryPrefix(file_);
  RemoveLeftovers(prefix);

  // The new contents are as private as the old file's while they are written:
  // a table of mode 0600 never has a copy others may read, not even one left
  // behind by a killed save.
  struct stat old;
  const mode_t mode = ::stat(file_.c_str(), &old) == 0 ? (old.st_mode & 0777) : 0666;

  static std::atomic<unsigned> counter{0};
  buffer_.reserve(kWriteChunk + kWriteChunk / 4);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char unique[kUniqueLength + 1];
    std::snprintf(unique, sizeof unique, "%x.%x", static_cast<unsigned>(::getpid()) & 0xffffffffu,
                  counter.fetch_add(1));
    std::string path = prefix + unique;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno != EEXIST) return Fail(errno);
      continue;
    }
    // Held until the file is renamed: see RemoveLeftovers. Another save's
    // clean-up may have taken the fresh file for a leftover between the open
    // and the lock: then the name is no longer this file's, and another is made.
    struct stat opened, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino) {
      fd_ = fd;
      temporary_ = std::move(path);
      return true;
    }
    ::close(fd);
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
  struct stat old;
  if (::stat(file_.c_str(), &old) == 0 && ::fchmod(fd_, old.st_mode & 07777) != 0) {
    return Fail(errno);
  }
  // Without the flush a power loss after the rename can leave the new name on
  // an empty or partly written file.
  if (::fsync(fd_) != 0) return Fail(errno);
  // The folder is opened before the rename, so that a folder that cannot be
  // synced fails the save while the old file is still in place.
  const int folder = ::open(FolderOf(file_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return Fail(errno);
  // The file stays open, and locked, until it has its name: a clean-up of
  // another save never takes it for a leftover.
  if (::rename(temporary_.c_str(), file_.c_str()) != 0) {
    const int error = errno;
    ::close(folder);
    return Fail(error);
  }
  temporary_.clear();
  const int fd = fd_;
  fd_ = -1;
  ::close(fd);  // its data is on disk already
  const bool synced = ::fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP;
  const int error = errno;
  ::close(folder);
  return synced || Fail(error);
}

}  // namespace rtl

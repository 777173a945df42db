// The pack: the live rows and their memos written to new files beside the
// old ones, renamed over them in an order that a crash cannot break (the open
// finishes or drops what a broken-off pack left; see RecoverPack).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dbf/DbfFile.h"

namespace dbf {

namespace {

// A new file written through one reused buffer, so that packing a large table
// does not build a copy of both files in memory first.
class NewFile {
 public:
  // `like`: the file whose permission bits the new one takes.
  NewFile(const std::string& path, const std::string& like)
      : fd_(CreateFreshFile(path, like, O_RDWR)) {
    buffer_.reserve(kChunk);
  }
  ~NewFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  void Put(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kChunk) Flush();
  }
  void PutZeros(std::size_t count) {
    buffer_.append(count, '\0');
    if (buffer_.size() >= kChunk) Flush();
  }
  // Writes what is left and flushes the file to the disk; false, with errno
  // set, when any write failed.
  bool Finish() {
    Flush();
    if (ok_ && ::fsync(fd_) != 0) Failed();
    return ok_;
  }
  // The open file, now the caller's to close.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  static constexpr std::size_t kChunk = 1 << 18;

  void Failed() {
    if (ok_) saved_errno_ = errno;
    ok_ = false;
  }
  void Flush() {
    if (fd_ < 0) Failed();
    for (std::size_t done = 0; ok_ && done < buffer_.size();) {
      ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        Failed();
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
    buffer_.clear();
    if (!ok_) errno = saved_errno_;
  }

  int fd_;
  std::string buffer_;
  bool ok_ = true;
  int saved_errno_ = 0;
};

void SyncFolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

// The new pair is written beside the old one and renamed over it in an order
// that a crash anywhere leaves readable (RecoverPack finishes or drops it):
//   1. "X.dbt.pack": the new memo file, flushed.
//   2. "X.dbf.part": the new table, flushed and locked, renamed to "X.dbf.pack";
//      from this rename on the new pair is complete on disk.
//   3. "X.dbt.pack" renamed over "X.dbt"; 4. "X.dbf.pack" renamed over "X.dbf".
// Between 3 and 4 the old table names blocks of the new memo file; the next
// open sees "X.dbf.pack" and does step 4 before reading anything. The new table
// is locked before its rename, so the lock never lapses.
void TableFile::Pack() {
  CheckUsable();
  const bool has_memo = memo_count_ > 0;
  const std::string memo_packed = memo_path_ + ".pack";
  const std::string part = path_ + ".part";
  const std::string packed = path_ + ".pack";
  auto give_up = [&](int fd, const std::string& what) {
    int saved_errno = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(part.c_str());
    ::unlink(packed.c_str());
    ::unlink(memo_packed.c_str());
    errno = saved_errno;
    FailErrno(what);
  };
  auto blocks_of = [](const std::string& text) {
    return static_cast<std::uint32_t>((text.size() + 8 + kMemoBlockSize - 1) / kMemoBlockSize);
  };

  // The new memo file: the live rows' memos one after another from block 1.
  std::uint32_t next_free = 1;
  if (has_memo) {
    for (const Row& row : rows_) {
      if (row.Deleted()) continue;
      for (const std::string& text : row.memos) next_free += text.empty() ? 0 : blocks_of(text);
    }
    NewFile memo(memo_packed, memo_path_);
    memo.Put(MemoHeader(next_free));
    std::string block_header(8, '\0');
    PutLE32(block_header, 0, 0x0008FFFFu);
    for (const Row& row : rows_) {
      if (row.Deleted()) continue;
      for (const std::string& text : row.memos) {
        if (text.empty()) continue;
        PutLE32(block_header, 4, static_cast<std::uint32_t>(text.size() + 8));
        memo.Put(block_header);
        memo.Put(text);
        memo.PutZeros(std::size_t{blocks_of(text)} * kMemoBlockSize - text.size() - 8);
      }
    }
    if (!memo.Finish()) give_up(-1, "cannot pack: cannot write the new memo file");
  }

  // The new table: the live rows, their memo references renumbered the same way.
  std::vector<std::string> new_refs;
  {
    std::uint32_t block = 1;
    for (const Row& row : rows_) {
      if (row.Deleted()) continue;
      for (const std::string& text : row.memos) new_refs.push_back(MemoRef(text, block));
    }
  }
  NewFile table(part, path_);
  std::string header = header_;
  std::uint8_t stamp[3];
  TodayStamp(stamp);
  for (int i = 0; i < 3; ++i) header[1 + i] = static_cast<char>(stamp[i]);
  std::uint32_t live = 0;
  for (const Row& row : rows_) live += !row.Deleted();
  PutLE32(header, 4, live);
  table.Put(header);
  std::string image;
  std::size_t ref = 0;
  for (const Row& row : rows_) {
    if (row.Deleted()) continue;
    image = row.image;
    for (const FieldLayout& field : fields_) {
      if (field.kind == FieldKind::kMemo) {
        image.replace(static_cast<std::size_t>(field.offset), kMemoRefLength, new_refs[ref++]);
      }
    }
    table.Put(image);
  }
  table.Put("\x1A");
  if (!table.Finish()) give_up(-1, "cannot pack: cannot write the new table file");
  int new_fd = table.Release();
  if (::flock(new_fd, LOCK_EX | LOCK_NB) != 0)
    give_up(new_fd, "cannot pack: cannot lock the new table file");
  if (::rename(part.c_str(), packed.c_str()) != 0) give_up(new_fd, "cannot pack");
  SyncFolderOf(path_);

  if ((has_memo && ::rename(memo_packed.c_str(), memo_path_.c_str()) != 0) ||
      ::rename(packed.c_str(), path_.c_str()) != 0) {
    int saved_errno = errno;
    ::close(new_fd);
    broken_ = true;
    errno = saved_errno;
    FailErrno(
        "the pack could not replace the table's files; it is finished when the table is next "
        "opened");
  }
  SyncFolderOf(path_);
  ::close(fd_);
  fd_ = new_fd;
  if (has_memo) {
    ::close(memo_fd_);
    memo_fd_ = ::open(memo_path_.c_str(), O_RDWR | O_CLOEXEC);
    if (memo_fd_ < 0) {
      broken_ = true;
      FailErrno("cannot open the packed memo file");
    }
  }
  header_ = header;
  std::erase_if(rows_, [](const Row& row) { return row.Deleted(); });
  ref = 0;
  for (Row& row : rows_) {
    for (const FieldLayout& field : fields_) {
      if (field.kind == FieldKind::kMemo) {
        row.image.replace(static_cast<std::size_t>(field.offset), kMemoRefLength, new_refs[ref++]);
      }
    }
  }
  memo_next_free_ = next_free;
}

}  // namespace dbf

// The table files: opening with the exclusive lock, creation, validation and
// loading, the in-place writes of each change, and the values in record images.
// The layout is described in DbfFile.h; the pack is in DbfPack.cpp.
#include "dbf/DbfFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "db/DatabaseError.h"
#include "rtl/Locale.h"
#include "rtl/Text.h"

namespace dbf {

using namespace std::string_view_literals;

namespace {

constexpr std::uint8_t kVersionPlain = 0x04;
constexpr std::uint8_t kVersionMemo = 0x8C;
constexpr std::uint8_t kLanguageDriver = 0x57;
constexpr const char* kLanguageDriverName = "DBWINUS0";

std::uint32_t GetLE32(std::string_view bytes, std::size_t at) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

std::uint32_t GetLE16(std::string_view bytes, std::size_t at) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(0) | b(1) << 8;
}

std::string LE32(std::uint32_t value) {
  std::string bytes(4, '\0');
  PutLE32(bytes, 0, value);
  return bytes;
}

// "Projects.dbf" -> "Projects.dbt"; a name without the extension gets ".dbt".
std::string MemoPathOf(const std::string& path) {
  std::size_t n = path.size();
  if (n >= 4 && path[n - 4] == '.' && rtl::AsciiLowerCase(path.substr(n - 3)) == "dbf") {
    return path.substr(0, n - 1) + (path[n - 1] == 'F' ? "T" : "t");
  }
  return path + ".dbt";
}

std::string ErrnoText() { return std::strerror(errno); }

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

int LengthOf(FieldKind kind, int size) {
  switch (kind) {
    case FieldKind::kCharacter:
      return size;
    case FieldKind::kInteger:
    case FieldKind::kAutoInc:
      return 4;
    case FieldKind::kLogical:
      return 1;
    case FieldKind::kMemo:
      return kMemoRefLength;
  }
  return 0;
}

bool KnownKind(char type) {
  return type == 'C' || type == 'I' || type == '+' || type == 'L' || type == 'M';
}

}  // namespace

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int CreateFreshFile(const std::string& path, const std::string& like, int flags) {
  struct stat st;
  const mode_t mode = ::stat(like.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  // The umask may have taken bits the table has: it gets them back.
  if (fd >= 0 && ::fchmod(fd, mode) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = error;
    return -1;
  }
  return fd;
}

void PutLE16(std::string& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void PutLE32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

void TodayStamp(std::uint8_t out[3]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  out[0] = static_cast<std::uint8_t>(local.tm_year);
  out[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
  out[2] = static_cast<std::uint8_t>(local.tm_mday);
}

TableFile::~TableFile() { Close(); }

void TableFile::Fail(const std::string& what) const {
  throw db::DatabaseError(path_ + ": " + what);
}

void TableFile::FailErrno(const std::string& what) const { Fail(what + ": " + ErrnoText()); }

void TableFile::Close() {
  if (memo_fd_ >= 0) ::close(memo_fd_);
  if (fd_ >= 0) ::close(fd_);
  memo_fd_ = fd_ = -1;
  rows_.clear();
  fields_.clear();
  header_.clear();
  broken_ = false;
}

void TableFile::Open(const std::string& path, const std::vector<FieldDef>& create_defs) {
  Close();
  path_ = path;
  memo_path_ = MemoPathOf(path);
  try {
    OpenExisting(create_defs);
    Load();
  } catch (...) {
    Close();
    throw;
  }
}

// The lock is an advisory flock on the .dbf: it belongs to the open file, so a
// second TDbf in the same process is refused as surely as another process. A
// pack replaces the file by renaming, so after locking we make sure the path
// still names the file we locked, and start again when it does not.
void TableFile::OpenExisting(const std::vector<FieldDef>& create_defs) {
  for (int attempt = 0;; ++attempt) {
    if (attempt == 8) Fail("the file keeps being replaced while it is opened");
    int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      if (errno != ENOENT) FailErrno("cannot open the file");
      if (create_defs.empty()) Fail("the file does not exist");
      Create(create_defs);
      continue;
    }
    fd_ = fd;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        Fail("the table is already open (exclusive access) in another program or table object");
      }
      FailErrno("cannot lock the file");
    }
    struct stat by_fd, by_path;
    if (::fstat(fd_, &by_fd) != 0) FailErrno("cannot read the file's status");
    bool same = ::stat(path_.c_str(), &by_path) == 0 && by_fd.st_ino == by_path.st_ino &&
                by_fd.st_dev == by_path.st_dev;
    if (same && !RecoverPack()) return;
    ::close(fd_);
    fd_ = -1;
  }
}

// A pack that a crash broke off leaves its new files beside the table (see
// Pack). Once "X.dbf.pack" exists, the new pair is complete on disk and the
// pack is finished here; before that, the old pair is whole and the new files
// are dropped. Returns true when the table file was replaced.
bool TableFile::RecoverPack() {
  const std::string packed = path_ + ".pack";
  const std::string memo_packed = memo_path_ + ".pack";
  ::unlink((path_ + ".part").c_str());
  if (Exists(packed)) {
    if (Exists(memo_packed) && ::rename(memo_packed.c_str(), memo_path_.c_str()) != 0) {
      FailErrno("cannot finish an interrupted pack");
    }
    if (::rename(packed.c_str(), path_.c_str()) != 0)
      FailErrno("cannot finish an interrupted pack");
    return true;
  }
  ::unlink(memo_packed.c_str());
  return false;
}

// The new file is written whole under a temporary name and then linked to the
// table's name, which fails when another opener created it first: nobody ever
// sees a half-written table.
void TableFile::Create(const std::vector<FieldDef>& defs) {
  std::set<std::string> names;
  int record_length = 1;
  bool has_memo = false;
  for (const FieldDef& def : defs) {
    if (def.name.empty() || def.name.size() > 31) {
      Fail("cannot create the table: field name \"" + def.name + "\" must have 1 to 31 characters");
    }
    if (!names.insert(rtl::AsciiUpperCase(def.name)).second) {
      Fail("cannot create the table: duplicate field name \"" + def.name + "\"");
    }
    if (def.kind == FieldKind::kCharacter && (def.size < 1 || def.size > 255)) {
      Fail("cannot create the table: character field " + def.name +
           " must have a size of 1 to 255");
    }
    if (!KnownKind(static_cast<char>(def.kind))) {
      Fail("cannot create the table: field " + def.name + " has an unknown type");
    }
    has_memo = has_memo || def.kind == FieldKind::kMemo;
    record_length += LengthOf(def.kind, def.size);
  }
  const int header_length = kHeaderSize + kDescriptorSize * static_cast<int>(defs.size()) + 1;
  std::string bytes(static_cast<std::size_t>(header_length), '\0');
  bytes[0] = static_cast<char>(has_memo ? kVersionMemo : kVersionPlain);
  std::uint8_t stamp[3];
  TodayStamp(stamp);
  for (int i = 0; i < 3; ++i) bytes[1 + i] = static_cast<char>(stamp[i]);
  PutLE16(bytes, 8, static_cast<std::uint32_t>(header_length));
  PutLE16(bytes, 10, static_cast<std::uint32_t>(record_length));
  bytes[29] = static_cast<char>(kLanguageDriver);
  std::memcpy(&bytes[32], kLanguageDriverName, std::strlen(kLanguageDriverName));
  for (std::size_t i = 0; i < defs.size(); ++i) {
    std::size_t at = kHeaderSize + kDescriptorSize * i;
    std::memcpy(&bytes[at], defs[i].name.data(), defs[i].name.size());
    bytes[at + 32] = static_cast<char>(defs[i].kind);
    bytes[at + 33] = static_cast<char>(LengthOf(defs[i].kind, defs[i].size));
    if (defs[i].kind == FieldKind::kAutoInc) PutLE32(bytes, at + 40, 1);
  }
  bytes[static_cast<std::size_t>(header_length) - 1] = '\x0D';
  bytes += '\x1A';

  std::string temp = path_ + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) FailErrno("cannot create the table");
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  int saved_errno = errno;
  written = written && ::fsync(fd) == 0 && ::fchmod(fd, 0644) == 0;
  if (!written) saved_errno = errno;
  ::close(fd);
  if (written && ::link(temp.c_str(), path_.c_str()) != 0 && errno != EEXIST) {
    written = false;
    saved_errno = errno;
  }
  ::unlink(temp.c_str());
  if (!written) {
    errno = saved_errno;
    FailErrno("cannot create the table");
  }
}

void TableFile::Load() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) FailErrno("cannot read the file's status");
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0) FailErrno("cannot read the file");
    if (n == 0) {
      bytes.resize(done);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (bytes.size() < kHeaderSize) Fail("not a dBase level 7 table: the file is too short");
  const auto version = static_cast<std::uint8_t>(bytes[0]);
  if (version != kVersionPlain && version != kVersionMemo) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", version);
    Fail(std::string("not a dBase level 7 table: version byte ") + text);
  }
  const std::uint32_t count = GetLE32(bytes, 4);
  header_length_ = static_cast<int>(GetLE16(bytes, 8));
  record_length_ = static_cast<int>(GetLE16(bytes, 10));
  if (static_cast<std::size_t>(header_length_) > bytes.size()) {
    Fail("not a dBase level 7 table: the file is shorter than its header");
  }
  std::size_t at = kHeaderSize;
  int offset = 1;
  memo_count_ = 0;
  while (true) {
    if (at >= static_cast<std::size_t>(header_length_)) {
      Fail("not a dBase level 7 table: the header is shorter than its field descriptors");
    }
    if (bytes[at] == '\x0D') break;
    if (at + kDescriptorSize > static_cast<std::size_t>(header_length_)) {
      Fail("not a dBase level 7 table: the header is shorter than its field descriptors");
    }
    FieldLayout field;
    std::string_view name(&bytes[at], 32);
    field.name = std::string(name.substr(0, name.find('\0')));
    const char type = bytes[at + 32];
    field.length = static_cast<unsigned char>(bytes[at + 33]);
    if (field.name.empty()) Fail("not a dBase level 7 table: a field has no name");
    if (!KnownKind(type)) {
      Fail("field " + field.name + " has the type '" + std::string(1, type) +
           "', which this program does not read (only C, I, +, L and M)");
    }
    field.kind = static_cast<FieldKind>(type);
    const int expected = LengthOf(field.kind, field.length);
    if (field.length != expected || field.length == 0) {
      Fail("not a dBase level 7 table: field " + field.name + " of type '" + std::string(1, type) +
           "' has the length " + std::to_string(field.length));
    }
    field.offset = offset;
    offset += field.length;
    if (field.kind == FieldKind::kMemo) field.memo_slot = memo_count_++;
    if (field.kind == FieldKind::kAutoInc) field.next_autoinc = GetLE32(bytes, at + 40);
    fields_.push_back(std::move(field));
    at += kDescriptorSize;
  }
  if (fields_.empty()) Fail("not a dBase level 7 table: it has no fields");
  if (offset != record_length_) {
    Fail("not a dBase level 7 table: the record length " + std::to_string(record_length_) +
         " disagrees with the fields (" + std::to_string(offset) + ")");
  }
  const std::uint64_t end = static_cast<std::uint64_t>(header_length_) +
                            std::uint64_t{count} * static_cast<std::uint64_t>(record_length_);
  if (end > bytes.size()) {
    Fail("the file is shorter than its " + std::to_string(count) + " records");
  }
  header_ = bytes.substr(0, static_cast<std::size_t>(header_length_));
  rows_.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    rows_[i].image = bytes.substr(static_cast<std::size_t>(header_length_) +
                                      std::size_t{i} * static_cast<std::size_t>(record_length_),
                                  static_cast<std::size_t>(record_length_));
    rows_[i].memos.assign(static_cast<std::size_t>(memo_count_), std::string());
  }
  if (memo_count_ > 0) LoadMemos();
}

void TableFile::LoadMemos() {
  memo_fd_ = ::open(memo_path_.c_str(), O_RDWR | O_CLOEXEC);
  if (memo_fd_ < 0 && errno == ENOENT) {
    // Created tables get their memo file right after the table file; a crash
    // in between leaves no memo to lose, which is checked before making it.
    for (const Row& row : rows_) {
      for (const FieldLayout& field : fields_) {
        if (field.kind == FieldKind::kMemo && !row.Deleted() &&
            row.image.find_first_not_of(' ', static_cast<std::size_t>(field.offset)) <
                static_cast<std::size_t>(field.offset + field.length)) {
          Fail("the memo file " + FileNameOf(memo_path_) + " is missing");
        }
      }
    }
    CreateMemoFile();
    memo_fd_ = ::open(memo_path_.c_str(), O_RDWR | O_CLOEXEC);
  }
  if (memo_fd_ < 0) FailErrno("cannot open the memo file " + FileNameOf(memo_path_));
  struct stat st;
  if (::fstat(memo_fd_, &st) != 0) FailErrno("cannot read the memo file's status");
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n =
        ::pread(memo_fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) FailErrno("cannot read the memo file " + FileNameOf(memo_path_));
    done += static_cast<std::size_t>(n);
  }
  if (bytes.size() < kMemoBlockSize || GetLE16(bytes, 20) != kMemoBlockSize) {
    Fail("the memo file " + FileNameOf(memo_path_) +
         " is not a dBase memo file with 512-byte blocks");
  }
  // Append after whatever the file holds, even if its header says less.
  const std::uint64_t blocks_in_file = (bytes.size() + kMemoBlockSize - 1) / kMemoBlockSize;
  memo_next_free_ =
      std::max<std::uint32_t>(GetLE32(bytes, 0), static_cast<std::uint32_t>(blocks_in_file));
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    Row& row = rows_[r];
    if (row.Deleted()) continue;
    for (const FieldLayout& field : fields_) {
      if (field.kind != FieldKind::kMemo) continue;
      std::string_view ref(&row.image[static_cast<std::size_t>(field.offset)], kMemoRefLength);
      std::size_t first = ref.find_first_not_of(' ');
      if (first == std::string_view::npos) continue;
      std::uint64_t block = 0;
      bool valid = true;
      for (char c : ref.substr(first)) {
        valid = valid && c >= '0' && c <= '9';
        block = block * 10 + static_cast<std::uint64_t>(c - '0');
      }
      const std::string where =
          "record " + std::to_string(r + 1) + ", memo field " + field.name + ": ";
      if (!valid || block == 0) Fail(where + "invalid block number \"" + std::string(ref) + "\"");
      const std::uint64_t start = block * kMemoBlockSize;
      if (start + 8 > bytes.size() || GetLE32(bytes, start) != 0x0008FFFFu) {
        Fail(where + "no memo at block " + std::to_string(block) + " of " + FileNameOf(memo_path_));
      }
      const std::uint32_t length = GetLE32(bytes, start + 4);
      if (length < 8 || start + length > bytes.size()) {
        Fail(where + "the memo at block " + std::to_string(block) + " is damaged");
      }
      row.memos[static_cast<std::size_t>(field.memo_slot)] = bytes.substr(start + 8, length - 8);
    }
  }
}

std::string TableFile::MemoHeader(std::uint32_t next_free) const {
  std::string header(kMemoBlockSize, '\0');
  PutLE32(header, 0, next_free);
  std::string base = FileNameOf(path_);
  base = base.substr(0, std::min<std::size_t>(8, base.find('.')));
  std::memcpy(&header[8], base.data(), base.size());
  PutLE16(header, 20, kMemoBlockSize);
  return header;
}

void TableFile::CreateMemoFile() {
  const std::string header = MemoHeader(1);
  const std::string part = memo_path_ + ".part";
  int fd = CreateFreshFile(part, path_, O_WRONLY);
  if (fd < 0) FailErrno("cannot create the memo file");
  bool ok = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
            ::fsync(fd) == 0;
  int saved_errno = errno;
  ::close(fd);
  if (!ok || ::rename(part.c_str(), memo_path_.c_str()) != 0) {
    if (ok) saved_errno = errno;
    ::unlink(part.c_str());
    errno = saved_errno;
    FailErrno("cannot create the memo file");
  }
}

std::string TableFile::BlankImage() const {
  std::string image(static_cast<std::size_t>(record_length_), ' ');
  for (const FieldLayout& field : fields_) {
    if (field.kind == FieldKind::kInteger || field.kind == FieldKind::kAutoInc)
      PutNull(image, field);
  }
  return image;
}

std::string TableFile::MemoBlocks(const std::string& text) const {
  std::string bytes(8, '\0');
  PutLE32(bytes, 0, 0x0008FFFFu);
  PutLE32(bytes, 4, static_cast<std::uint32_t>(text.size() + 8));
  bytes += text;
  bytes.resize((bytes.size() + kMemoBlockSize - 1) / kMemoBlockSize * kMemoBlockSize, '\0');
  return bytes;
}

// The 10-byte reference to a memo about to be written at `next_free`, which it
// advances past the memo's blocks; blanks for an empty memo.
std::string TableFile::MemoRef(const std::string& text, std::uint32_t& next_free) {
  if (text.empty()) return std::string(kMemoRefLength, ' ');
  std::string number = std::to_string(next_free);
  next_free += static_cast<std::uint32_t>((text.size() + 8 + kMemoBlockSize - 1) / kMemoBlockSize);
  return std::string(kMemoRefLength - number.size(), ' ') + number;
}

void TableFile::WriteAt(int fd, const std::string& bytes, std::uint64_t offset,
                        const std::string& name) {
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) FailErrno("cannot write " + name);
    done += static_cast<std::size_t>(n);
  }
}

// Date and record count (and what else of the header's first `through` bytes
// changed) in one write, so that they never disagree on disk.
void TableFile::WriteHeaderCounts(std::size_t through) {
  std::uint8_t stamp[3];
  TodayStamp(stamp);
  for (int i = 0; i < 3; ++i)
    header_[1 + static_cast<std::size_t>(i)] = static_cast<char>(stamp[i]);
  PutLE32(header_, 4, static_cast<std::uint32_t>(rows_.size()));
  WriteAt(fd_, header_.substr(1, through - 1), 1, FileNameOf(path_));
}

void TableFile::CheckUsable() const {
  if (fd_ < 0) Fail("the table is not open");
  if (broken_)
    Fail("the table's files were replaced by a pack that did not finish; reopen the table");
}

// Memos before the record that names them, the record before the count that
// makes it part of the table: a kill at any point leaves a readable table in
// which the row is either wholly there or not at all.
std::size_t TableFile::Append(Row row) {
  CheckUsable();
  std::vector<std::uint32_t> counters;
  for (const FieldLayout& field : fields_) counters.push_back(field.next_autoinc);
  std::uint32_t next_free = memo_next_free_;
  const std::uint64_t memo_offset = std::uint64_t{memo_next_free_} * kMemoBlockSize;
  std::string memo_bytes;
  row.memos.resize(static_cast<std::size_t>(memo_count_));
  try {
    for (FieldLayout& field : fields_) {
      if (field.kind == FieldKind::kMemo) {
        const std::string& text = row.memos[static_cast<std::size_t>(field.memo_slot)];
        row.image.replace(static_cast<std::size_t>(field.offset), kMemoRefLength,
                          MemoRef(text, next_free));
        if (!text.empty()) memo_bytes += MemoBlocks(text);
      } else if (field.kind == FieldKind::kAutoInc) {
        if (field.next_autoinc == 0) field.next_autoinc = 1;
        if (field.next_autoinc > 0x7FFFFFFFu)
          Fail("the auto-increment field " + field.name + " is exhausted");
        PutInt(row.image, field, static_cast<std::int32_t>(field.next_autoinc++));
      }
    }
    row.image[0] = ' ';
    if (!memo_bytes.empty()) {
      WriteAt(memo_fd_, memo_bytes, memo_offset, FileNameOf(memo_path_));
      WriteAt(memo_fd_, LE32(next_free), 0, FileNameOf(memo_path_));
    }
    const std::uint64_t offset =
        static_cast<std::uint64_t>(header_length_) +
        std::uint64_t{rows_.size()} * static_cast<std::uint64_t>(record_length_);
    WriteAt(fd_, row.image + '\x1A', offset, FileNameOf(path_));
    // The counters and the record count in one write: they live in the same
    // first bytes of the file.
    std::size_t through = 8;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (fields_[i].kind != FieldKind::kAutoInc) continue;
      const std::size_t at = kHeaderSize + kDescriptorSize * i + 40;
      PutLE32(header_, at, fields_[i].next_autoinc);
      through = at + 4;
    }
    rows_.push_back(std::move(row));
    try {
      WriteHeaderCounts(through);
    } catch (...) {
      rows_.pop_back();
      throw;
    }
  } catch (...) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      fields_[i].next_autoinc = counters[i];
      if (fields_[i].kind == FieldKind::kAutoInc) {
        PutLE32(header_, kHeaderSize + kDescriptorSize * i + 40, counters[i]);
      }
    }
    throw;
  }
  memo_next_free_ = next_free;
  return rows_.size() - 1;
}

void TableFile::Rewrite(std::size_t index, Row row, const std::vector<bool>& memo_changed) {
  CheckUsable();
  std::uint32_t next_free = memo_next_free_;
  const std::uint64_t memo_offset = std::uint64_t{memo_next_free_} * kMemoBlockSize;
  std::string memo_bytes;
  row.memos.resize(static_cast<std::size_t>(memo_count_));
  for (const FieldLayout& field : fields_) {
    if (field.kind != FieldKind::kMemo) continue;
    const auto slot = static_cast<std::size_t>(field.memo_slot);
    if (slot >= memo_changed.size() || !memo_changed[slot]) continue;
    row.image.replace(static_cast<std::size_t>(field.offset), kMemoRefLength,
                      MemoRef(row.memos[slot], next_free));
    if (!row.memos[slot].empty()) memo_bytes += MemoBlocks(row.memos[slot]);
  }
  if (!memo_bytes.empty()) {
    WriteAt(memo_fd_, memo_bytes, memo_offset, FileNameOf(memo_path_));
    WriteAt(memo_fd_, LE32(next_free), 0, FileNameOf(memo_path_));
  }
  memo_next_free_ = next_free;
  const std::uint64_t offset = static_cast<std::uint64_t>(header_length_) +
                               std::uint64_t{index} * static_cast<std::uint64_t>(record_length_);
  WriteAt(fd_, row.image, offset, FileNameOf(path_));
  rows_[index] = std::move(row);
  WriteHeaderCounts();
}

void TableFile::MarkDeleted(std::size_t index) {
  CheckUsable();
  const std::uint64_t offset = static_cast<std::uint64_t>(header_length_) +
                               std::uint64_t{index} * static_cast<std::uint64_t>(record_length_);
  WriteAt(fd_, "*", offset, FileNameOf(path_));
  rows_[index].image[0] = '*';
  WriteHeaderCounts();
}

std::string_view CharValue(std::string_view image, const FieldLayout& field) {
  std::string_view text =
      image.substr(static_cast<std::size_t>(field.offset), static_cast<std::size_t>(field.length));
  std::size_t end = text.find_last_not_of(" \0"sv);
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

bool IntValue(std::string_view image, const FieldLayout& field, std::int64_t& value) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    bits =
        bits << 8 | static_cast<unsigned char>(image[static_cast<std::size_t>(field.offset + i)]);
  }
  if (bits == 0) return false;
  value = static_cast<std::int32_t>(bits ^ 0x80000000u);
  return true;
}

int BoolValue(std::string_view image, const FieldLayout& field) {
  switch (image[static_cast<std::size_t>(field.offset)]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return 1;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      return 0;
    default:
      return -1;
  }
}

void PutChar(std::string& image, const FieldLayout& field, std::string_view text) {
  std::string padded(text.substr(0, static_cast<std::size_t>(field.length)));
  padded.resize(static_cast<std::size_t>(field.length), ' ');
  image.replace(static_cast<std::size_t>(field.offset), padded.size(), padded);
}

void PutInt(std::string& image, const FieldLayout& field, std::int32_t value) {
  const std::uint32_t bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  for (int i = 0; i < 4; ++i) {
    image[static_cast<std::size_t>(field.offset + i)] =
        static_cast<char>(bits >> (24 - 8 * i) & 0xFF);
  }
}

void PutNull(std::string& image, const FieldLayout& field) {
  const char fill =
      field.kind == FieldKind::kInteger || field.kind == FieldKind::kAutoInc ? '\0' : ' ';
  image.replace(static_cast<std::size_t>(field.offset), static_cast<std::size_t>(field.length),
                static_cast<std::size_t>(field.length), fill);
}

void PutBool(std::string& image, const FieldLayout& field, bool value) {
  image[static_cast<std::size_t>(field.offset)] = value ? 'T' : 'F';
}

}  // namespace dbf

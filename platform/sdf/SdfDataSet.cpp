// Reading of delimited text tables. The file is taken as raw bytes (no encoding
// conversion; escapes are decoded only by a plugged-in row cutter). Opening
// walks its lines once: the first may name the columns, the others are counted
// and measured. Every other line becomes a row of texts when the rows are
// first asked for, each line cut once.
//
// "Blank" below means a byte with a code from 1 to 32: what is skipped before a
// value or a name. Whether a first line is a header at all, and the trimming of
// a name, also count the control character 0 as blank, so that a line of
// nothing but blanks and control characters is never a header, and a name is
// never made of them.
#include "sdf/SdfDataSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "db/DatabaseError.h"
#include "db/FieldDefs.h"
#include "rtl/Numbers.h"
#include "rtl/Text.h"

namespace sdf {

namespace {

// Size of a column when the file gives nothing to measure.
constexpr int kDefaultFieldSize = 250;

bool IsBlank(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

[[noreturn]] void ThrowOpenError(const std::string& name, int error) {
  throw db::DatabaseError("Could not open file " + name + ": " + std::strerror(error));
}

// Opens the file for reading, refusing a folder. A missing file is created
// empty when allowed, and then reads as empty (no descriptor).
FileHandle OpenForReading(const std::string& name, bool must_exist) {
  FileHandle file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) {
    const int error = errno;
    if (error != ENOENT || must_exist) ThrowOpenError(name, error);
    const int created = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (created < 0) ThrowOpenError(name, errno);
    ::close(created);
    return file;
  }
  // A folder opens read-only on POSIX; refuse it here instead of failing on read.
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
    ThrowOpenError(name, S_ISDIR(info.st_mode) ? EISDIR : errno);
  }
  return file;
}

bool IsRegularFile(const FileHandle& file) {
  struct stat info {};
  return ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode);
}

// Reads up to `size` bytes at `offset`; 0 at the end of the file.
std::size_t ReadAt(const FileHandle& file, const std::string& name, char* into, std::size_t size,
                   off_t offset) {
  for (;;) {
    const ssize_t got = ::pread(file.Get(), into, size, offset);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) ThrowOpenError(name, errno);
  }
}

// The whole of an open file as bytes, from its start. A regular file is read
// straight into place; what it holds beyond its size (it grew meanwhile), or a
// file of no known size (a pipe, a device), comes in chunks.
std::string ReadAll(const FileHandle& file, const std::string& name) {
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) ThrowOpenError(name, errno);
  std::string bytes;
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
  }
  std::size_t used = 0;
  char chunk[65536];
  for (;;) {
    const bool in_place = used < bytes.size();
    std::size_t got = 0;
    if (S_ISREG(info.st_mode)) {
      got = in_place ? ReadAt(file, name, bytes.data() + used, bytes.size() - used,
                              static_cast<off_t>(used))
                     : ReadAt(file, name, chunk, sizeof chunk, static_cast<off_t>(used));
    } else {
      const ssize_t n = ::read(file.Get(), chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowOpenError(name, errno);
      got = static_cast<std::size_t>(n);
    }
    if (got == 0) break;
    if (!in_place) {
      bytes.resize(used);
      bytes.append(chunk, got);
    }
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

// Calls on_line(line) for every line of `text`: a line ends at CR LF, LF or
// CR, and a break at the very end starts no further (empty) line. One sweep,
// sixty-four bytes at a time where the processor allows, so that a file of a
// million short lines costs little more than reading it. on_line may rewrite
// the bytes of the line it is given.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine&& on_line) {
  const char* const begin = text.data();
  const std::size_t size = text.size();
  std::size_t line = 0;  // where the current line starts
  std::size_t pending_lf = std::string_view::npos;  // an LF here ends a CR LF
  auto at_break = [&](std::size_t pos) {
    if (pos == pending_lf && begin[pos] == '\n') {
      line = pos + 1;
      return;
    }
    on_line(text.substr(line, pos - line));
    pending_lf = begin[pos] == '\r' ? pos + 1 : std::string_view::npos;
    line = pos + 1;
  };
  std::size_t pos = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; size - pos >= 64; pos += 64) {
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + pos + 16 * k));
      const auto bits = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
      mask |= static_cast<std::uint64_t>(bits) << (16 * k);
    }
    for (; mask != 0; mask &= mask - 1) {
      at_break(pos + static_cast<std::size_t>(__builtin_ctzll(mask)));
    }
  }
#endif
  for (; pos < size; ++pos) {
    if (begin[pos] == '\r' || begin[pos] == '\n') at_break(pos);
  }
  // A break at the very end starts no further (empty) line.
  if (line < size) on_line(text.substr(line));
}

// Calls on_line(line) for every line of a regular file from its start, the
// lines ForEachLine hands out for the whole file, reading it a block at a time
// into a buffer of its own: a large file is never held whole. on_line may
// rewrite the bytes of the line it is given.
template <typename OnLine>
void ForEachFileLine(const FileHandle& file, const std::string& name, OnLine&& on_line) {
  std::string buffer(TSdfDataSet::kReadBlockSize, '\0');
  std::size_t held = 0;     // bytes of a line not yet ended, at the buffer's front
  bool skip_lf = false;     // the last block ended in CR: an LF next belongs to it
  off_t offset = 0;
  for (;;) {
    if (buffer.size() - held < TSdfDataSet::kReadBlockSize) {
      buffer.resize(held + TSdfDataSet::kReadBlockSize);
    }
    std::size_t got = ReadAt(file, name, buffer.data() + held, buffer.size() - held, offset);
    if (got == 0) break;
    offset += static_cast<off_t>(got);
    char* const data = buffer.data();
    if (skip_lf) {
      skip_lf = false;
      if (data[held] == '\n') {
        std::memmove(data + held, data + held + 1, got - 1);
        if (--got == 0) continue;
      }
    }
    const std::size_t size = held + got;
    // Lines up to the last break are whole; the rest waits for the next block.
    std::size_t whole = size;
    while (whole > held && data[whole - 1] != '\r' && data[whole - 1] != '\n') --whole;
    if (whole == held) {
      held = size;
      continue;
    }
    skip_lf = whole == size && data[whole - 1] == '\r';
    ForEachLine(std::string_view(data, whole), [&](std::string_view line) {
      on_line(std::span<char>(data + (line.data() - data), line.size()));
    });
    std::memmove(data, data + whole, size - whole);
    held = size - whole;
  }
  if (held > 0) on_line(std::span<char>(buffer.data(), held));
}

// Skips blanks from `pos`, but never the delimiter itself: a tab or space
// delimiter must still separate values.
std::size_t SkipBlanks(std::string_view line, std::size_t pos, char delimiter) {
  while (pos < line.size() && IsBlank(line[pos]) && line[pos] != delimiter) ++pos;
  return pos;
}

using rtl::TrimBlanks;

// The header's names in order, each trimmed of blanks; empty ones are kept
// here (the caller drops them). A quoted name runs to the next quote and
// whatever follows it up to the delimiter is ignored; a quote that is never
// closed makes the rest of the line, quote included, the last name.
std::vector<std::string_view> SplitHeader(std::string_view line, char delimiter) {
  std::vector<std::string_view> names;
  std::size_t pos = 0;
  for (;;) {
    pos = SkipBlanks(line, pos, delimiter);
    if (pos >= line.size()) break;
    std::string_view name;
    std::size_t next;  // where the following delimiter is, or npos
    if (line[pos] == '"') {
      const std::size_t close = line.find('"', pos + 1);
      if (close == std::string_view::npos) {
        names.push_back(TrimBlanks(line.substr(pos)));
        break;
      }
      name = line.substr(pos + 1, close - pos - 1);
      next = line.find(delimiter, close + 1);
    } else {
      next = line.find(delimiter, pos);
      name = line.substr(pos, next == std::string_view::npos ? line.size() - pos : next - pos);
    }
    names.push_back(TrimBlanks(name));
    if (next == std::string_view::npos) break;
    pos = next + 1;  // a delimiter at the very end then finds nothing more
  }
  return names;
}

// The size written after "=" in a header name: the platform's whole-number
// reading (so "$10" is 16), limited to what a string field can hold. Anything
// else leaves the column at the measured size.
std::optional<int> ParseFieldSize(std::string_view text) {
  const std::optional<std::int64_t> value = rtl::TextToInt64(text);
  if (!value || *value < 0 || *value > INT_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

// Splits a row line into one value per column, calling on_value(column, value)
// for each value the line holds; the columns it ends before stay null.
template <typename OnValue>
void ParseRow(std::string_view line, std::size_t count, char delimiter, OnValue&& on_value) {
  std::size_t pos = 0;
  for (std::size_t column = 0; column < count; ++column) {
    pos = SkipBlanks(line, pos, delimiter);
    // The line ends before this column: it and all after it stay null. An
    // empty or blank line therefore gives a row of nulls.
    if (pos >= line.size()) break;

    std::string_view value;
    bool last = false;  // nothing of the line is left for later columns
    if (line[pos] == '"') {
      // The value closes at the first later quote that is followed by the
      // delimiter or the end of the line, so quotes inside (doubled or not)
      // are kept as written.
      std::size_t close = pos + 1;
      for (;;) {
        close = line.find('"', close);
        if (close == std::string_view::npos) break;
        if (close + 1 == line.size() || line[close + 1] == delimiter) break;
        ++close;
      }
      if (close == std::string_view::npos) {
        // Never closed: the rest of the line, opening quote and delimiters
        // included, is this value and the row has no further values.
        value = line.substr(pos);
        last = true;
      } else {
        value = line.substr(pos + 1, close - pos - 1);
        // The closing quote is by construction right before the delimiter or
        // the end, so stepping past it and the delimiter reaches the next value.
        pos = close + 2;
      }
    } else {
      const std::size_t next = line.find(delimiter, pos);
      if (next == std::string_view::npos) {
        value = line.substr(pos);
        pos = line.size();
      } else {
        value = line.substr(pos, next - pos);
        pos = next + 1;
      }
    }
    // Only spaces are dropped at the end: a trailing tab is part of the value.
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    on_value(column, value);
    if (last) break;
  }
}

}  // namespace

void FileHandle::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

void TSdfDataSet::Open() {
  if (active_) return;
  FileHandle file = OpenForReading(file_name_, file_must_exist_);
  // Held whole unless its rows are to be read again from the file (a regular
  // file only: a pipe or a device can be read once): then it is walked a block
  // at a time and stays open.
  std::string bytes;
  if (file && (!rows_from_file_ || !IsRegularFile(file))) {
    bytes = ReadAll(file, file_name_);
    file.Reset();
  }

  // Everything is built aside and only kept once the whole file has been read,
  // so that a failing open leaves the earlier columns in place.
  std::size_t line_count = 0;
  std::size_t longest = 0;
  std::vector<std::string> names;
  std::vector<std::optional<int>> given_sizes;  // the "=" sizes, by column
  bool header = false;
  auto read_header = [&](std::string_view line) {
    header = first_line_as_schema_ &&
             std::any_of(line.begin(), line.end(), [](char c) { return !IsBlankOrControl(c); });
    if (!header) return;
    for (std::string_view name : SplitHeader(line, delimiter_)) {
      if (name.empty()) continue;
      // The trimmed name is split at its first "=" as it stands; "=5" is
      // therefore a column with an empty name and size 5.
      std::optional<int> size;
      if (const std::size_t eq = name.find('='); eq != std::string_view::npos) {
        size = ParseFieldSize(name.substr(eq + 1));
        name = name.substr(0, eq);
      }
      for (const std::string& earlier : names) {
        if (rtl::SameText(earlier, name)) {
          throw db::DatabaseError(db::FormatMessage(db::kSDuplicateName, {name, "TFieldDefs"}));
        }
      }
      names.emplace_back(name);
      given_sizes.push_back(size);
    }
  };
  auto on_line = [&](std::string_view line) {
    if (line_count++ == 0) read_header(line);
    if (line.size() > longest) longest = line.size();
  };
  if (file) {
    ForEachFileLine(file, file_name_,
                    [&](std::span<char> line) { on_line(std::string_view(line.data(), line.size())); });
  } else {
    ForEachLine(bytes, on_line);
  }

  // A file read for its header that has none has no columns: the names of the
  // file read before belong to another table.
  const bool keeps_columns = !header && !first_line_as_schema_;
  if (!header && !keeps_columns) {
    names.clear();
    given_sizes.clear();
  }
  // Rows are split against the columns this open ends with: the new header's,
  // or the ones kept from before. They are only counted here and cut when
  // first asked for (CutRows, VisitRows).
  const std::size_t columns = keeps_columns ? names_.size() : names.size();
  const std::size_t row_count = line_count - (header ? 1 : 0);

  const int measured =
      longest == 0 ? kDefaultFieldSize : static_cast<int>(std::min<std::size_t>(longest, INT_MAX));
  if (!keeps_columns) {
    names_ = std::move(names);
    given_sizes_ = std::move(given_sizes);
  }
  // Kept columns too are sized after this file's longest line (a size given
  // with "=" stays): sizes from the file before would cut longer values.
  given_sizes_.resize(names_.size());
  sizes_.assign(names_.size(), measured);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (given_sizes_[i]) sizes_[i] = *given_sizes_[i];
  }

  if (row_count == 0) file.Reset();
  file_ = std::move(file);
  bytes_ = std::move(bytes);
  header_lines_ = header ? 1 : 0;
  spans_.clear();
  rows_cut_ = false;
  row_width_ = columns;
  row_count_ = row_count;
  line_count_ = static_cast<int>(std::min<std::size_t>(line_count, INT_MAX));
  row_ = 0;
  active_ = true;
}

template <typename OnRow>
void TSdfDataSet::CutLines(OnRow&& on_row) const {
  std::vector<TSdfValue> cut;            // the row cutter's values, reused row by row
  std::vector<std::string_view> values;  // the row's values, reused row by row
  values.reserve(row_width_);
  std::size_t line_number = 0;
  std::size_t row = 0;
  auto on_line = [&](std::span<char> line) {
    if (line_number++ < header_lines_) return;
    // A file changed since it was opened has no more rows than were counted.
    if (row++ >= row_count_) return;
    values.clear();
    if (row_cutter_) {
      row_cutter_(line, cut);
      const std::size_t n = std::min(cut.size(), row_width_);
      for (std::size_t column = 0; column < n; ++column) {
        values.emplace_back(line.data() + cut[column].offset, cut[column].length);
      }
    } else {
      ParseRow(std::string_view(line.data(), line.size()), row_width_, delimiter_,
               [&](std::size_t, std::string_view value) { values.push_back(value); });
    }
    on_row(std::span<const std::string_view>(values));
  };
  if (file_) {
    ForEachFileLine(file_, file_name_, on_line);
  } else {
    char* const bytes = bytes_.data();
    ForEachLine(bytes_, [&](std::string_view line) {
      on_line(std::span<char>(bytes + (line.data() - bytes), line.size()));
    });
  }
}

void TSdfDataSet::CutRows() const {
  if (rows_cut_) return;
  // Values are kept as stretches of the file's bytes: the file is taken whole.
  if (file_) {
    bytes_ = ReadAll(file_, file_name_);
    file_.Reset();
  }
  spans_.reserve(row_count_ * row_width_);
  CutLines([this](std::span<const std::string_view> values) {
    const std::size_t first = spans_.size();
    spans_.resize(first + row_width_, Span{kNull, 0});
    for (std::size_t column = 0; column < values.size(); ++column) {
      spans_[first + column] = {static_cast<std::size_t>(values[column].data() - bytes_.data()),
                                values[column].size()};
    }
  });
  // Rows a file lost since it was opened read as empty lines.
  spans_.resize(row_count_ * row_width_, Span{kNull, 0});
  rows_cut_ = true;
}

void TSdfDataSet::VisitRows(const TSdfRowVisitor& visit) {
  if (!active_) return;
  if (rows_cut_) {
    std::vector<std::string_view> values;
    for (std::size_t row = 0; row < row_count_; ++row) {
      values.clear();
      for (std::size_t column = 0; column < row_width_; ++column) {
        const Span& span = spans_[row * row_width_ + column];
        if (span.offset == kNull) break;
        values.push_back(std::string_view(bytes_).substr(span.offset, span.length));
      }
      visit(values);
    }
  } else {
    CutLines(visit);
  }
  // The lines may have been decoded in place: they are not cut a second time.
  file_.Reset();
  bytes_.clear();
  bytes_.shrink_to_fit();
  spans_.clear();
  spans_.shrink_to_fit();
  rows_cut_ = true;
  row_count_ = 0;
  row_ = 0;
}

void TSdfDataSet::Close() {
  active_ = false;
  file_.Reset();
  bytes_.clear();
  bytes_.shrink_to_fit();
  header_lines_ = 0;
  spans_.clear();
  spans_.shrink_to_fit();
  rows_cut_ = false;
  row_count_ = 0;
  row_ = 0;
  line_count_ = 0;
}

std::optional<std::string_view> TSdfDataSet::Value(int index) const {
  if (row_ >= row_count_ || index < 0 || static_cast<std::size_t>(index) >= row_width_) {
    throw std::out_of_range("TSdfDataSet::Value: no value " + std::to_string(index));
  }
  CutRows();
  const Span& span = spans_[row_ * row_width_ + static_cast<std::size_t>(index)];
  if (span.offset == kNull) return std::nullopt;
  return std::string_view(bytes_).substr(span.offset, span.length);
}

}  // namespace sdf

// File-like reading, writing and seeking over a blob's bytes.
#include "db/BlobStream.h"

#include <algorithm>
#include <cstring>

namespace db {

std::int64_t BlobStream::Read(void* buffer, std::int64_t count) {
  std::int64_t available = Size() - position_;
  if (count <= 0 || available <= 0) return 0;
  std::int64_t n = std::min(count, available);
  std::memcpy(buffer, contents_->data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t BlobStream::Write(const void* buffer, std::int64_t count) {
  if (!writable_ || count <= 0) return 0;
  std::int64_t end = position_ + count;
  if (end > Size()) contents_->resize(static_cast<std::size_t>(end), '\0');
  std::memcpy(contents_->data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t BlobStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = 0;
  switch (origin) {
    case SeekOrigin::kBeginning:
      base = 0;
      break;
    case SeekOrigin::kCurrent:
      base = position_;
      break;
    case SeekOrigin::kEnd:
      base = Size();
      break;
  }
  std::int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

}  // namespace db

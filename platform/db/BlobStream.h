// A byte stream over one blob field's contents. It behaves like a file: the size
// is the furthest byte written, a gap left by a seek past the end reads as zeros,
// and reading at or past the end gives nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace db {

enum class BlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum class SeekOrigin { kBeginning, kCurrent, kEnd };

class BlobStream {
 public:
  // `contents` is shared with the dataset that made the stream: the dataset keeps
  // written contents after the stream is gone, and a stream may outlive the
  // dataset's interest in its contents (a cancelled edit) without harm.
  BlobStream(std::shared_ptr<std::string> contents, bool writable)
      : contents_(std::move(contents)), writable_(writable) {}

  // Copies up to `count` bytes from the position; returns the number copied
  // (0 at or past the end, or for a negative count).
  std::int64_t Read(void* buffer, std::int64_t count);
  // Writes `count` bytes at the position, zero-filling any gap before it; returns
  // `count`, or 0 on a read-only stream or for a negative count.
  std::int64_t Write(const void* buffer, std::int64_t count);
  // Moves the position; returns the new one, or -1 (position unchanged) when it
  // would be negative.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin);

  std::int64_t Size() const { return static_cast<std::int64_t>(contents_->size()); }
  std::int64_t Position() const { return position_; }
  // The whole contents, whatever the position.
  const std::string& Contents() const { return *contents_; }

 private:
  std::shared_ptr<std::string> contents_;
  bool writable_;
  std::int64_t position_ = 0;
};

}  // namespace db

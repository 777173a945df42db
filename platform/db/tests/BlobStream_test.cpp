// Blob streams behave like files: size is the furthest byte written, gaps read
// as zeros, reads stop at the end, positions never go negative.
#include "db/BlobStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string ReadRest(db::BlobStream& stream, std::int64_t count) {
  std::string buffer(static_cast<std::size_t>(count), '?');
  buffer.resize(static_cast<std::size_t>(stream.Read(buffer.data(), count)));
  return buffer;
}

TEST(BlobStreamTest, WritingAndSeekingBehaveLikeAFile) {
  auto contents = std::make_shared<std::string>();
  db::BlobStream stream(contents, true);
  EXPECT_EQ(stream.Write("hello", 5), 5);
  EXPECT_EQ(stream.Seek(1, db::SeekOrigin::kBeginning), 1);
  EXPECT_EQ(stream.Write("EL", 2), 2);  // overwrites, does not grow
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(*contents, "hELlo");

  EXPECT_EQ(stream.Seek(2, db::SeekOrigin::kEnd), 7);  // past the end: nothing yet
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Write("!", 1), 1);
  EXPECT_EQ(*contents, std::string("hELlo\0\0!", 8));  // the gap reads as zeros

  EXPECT_EQ(stream.Seek(-3, db::SeekOrigin::kCurrent), 5);
  EXPECT_EQ(ReadRest(stream, 10), std::string("\0\0!", 3));
  EXPECT_EQ(ReadRest(stream, 10), "");  // at the end
  EXPECT_EQ(stream.Seek(20, db::SeekOrigin::kBeginning), 20);
  EXPECT_EQ(ReadRest(stream, 4), "");  // past the end: never a negative count
  EXPECT_EQ(stream.Seek(-1, db::SeekOrigin::kBeginning), -1);
  EXPECT_EQ(stream.Position(), 20);
  EXPECT_EQ(stream.Write("x", -1), 0);
}

TEST(BlobStreamTest, ReadStreamsDoNotWrite) {
  auto contents = std::make_shared<std::string>("abc");
  db::BlobStream stream(contents, false);
  EXPECT_EQ(stream.Write("x", 1), 0);
  EXPECT_EQ(ReadRest(stream, 2), "ab");
  EXPECT_EQ(*contents, "abc");
}

}  // namespace

// What a path names, and reading only regular files: a pipe or a device is
// refused at once instead of blocking or reading without end.
#include "rtl/FileAccess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "testing/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("file", "abcdef");
    fs::create_directory(dir_ / "folder");
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    fs::create_symlink("file", dir_ / "link");
    fs::create_symlink("/dev/zero", dir_ / "zero");
    fs::create_symlink("none", dir_ / "dangling");
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  rtl::testing::TempFolder folder_;
  const fs::path dir_{folder_.path()};
};

TEST_F(FileAccessTest, KindOfPathFollowsLinks) {
  struct Case {
    const char* name;
    rtl::PathKind kind;
  } cases[] = {
      {"file", rtl::PathKind::kRegular},     {"link", rtl::PathKind::kRegular},
      {"folder", rtl::PathKind::kDirectory}, {"pipe", rtl::PathKind::kOther},
      {"zero", rtl::PathKind::kOther},       {"dangling", rtl::PathKind::kMissing},
      {"none", rtl::PathKind::kMissing},     {"file/x", rtl::PathKind::kMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rtl::KindOfPath(Path(c.name)), c.kind);
  }
  EXPECT_EQ(rtl::KindOfPath(""), rtl::PathKind::kMissing);
}

TEST_F(FileAccessTest, ReadsARegularFileInPieces) {
  rtl::FileReader reader;
  ASSERT_TRUE(reader.Open(Path("link"))) << reader.Error();
  EXPECT_EQ(reader.Size(), 6u);
  std::string text;
  char piece[4];
  long got;
  while ((got = reader.Read(piece, sizeof piece)) > 0) text.append(piece, got);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(text, "abcdef");
}

TEST_F(FileAccessTest, OpenRefusesAllButRegularFiles) {
  struct Case {
    const char* name;
    bool missing;
    std::string error;
  } cases[] = {
      {"none", true, ""},
      {"dangling", true, ""},
      {"file/x", true, ""},
      {"folder", false, "Could not read file " + Path("folder") + ": Is a directory"},
      {"pipe", false, "Could not read file " + Path("pipe") + ": not a regular file"},
      {"zero", false, "Could not read file " + Path("zero") + ": not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rtl::FileReader reader;
    EXPECT_FALSE(reader.Open(Path(c.name)));
    EXPECT_EQ(reader.Missing(), c.missing);
    EXPECT_EQ(reader.Error(), c.error);
    char byte;
    EXPECT_EQ(reader.Read(&byte, 1), -1);
  }
}

}  // namespace

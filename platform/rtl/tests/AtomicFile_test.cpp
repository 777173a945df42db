// Writing a file whole or not at all: a committed write replaces the file and
// keeps its permission bits; an abandoned or failed one leaves the old file and
// no temporary file behind.
#include "AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "atomic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Read(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const fs::path& path, const std::string& text) const {
    std::ofstream(path, std::ios::binary) << text;
  }
  int EntryCount() const {
    return static_cast<int>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST_F(AtomicFileTest, CommitReplacesTheFileAndKeepsItsPermissionBits) {
  const fs::path target = dir_ / "t.txt";
  Write(target, "old");
  ::chmod(target.c_str(), 0600);
  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open());
  file.Buffer() += "new ";
  ASSERT_TRUE(file.WriteIfFull());
  ASSERT_TRUE(file.Append(std::string(3 << 20, 'x')));  // more than one write chunk
  EXPECT_EQ(Read(target), "old");                       // nothing shows before the commit
  ASSERT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(Read(target), "new " + std::string(3 << 20, 'x'));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(EntryCount(), 1);
}

TEST_F(AtomicFileTest, AnAbandonedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const fs::path target = dir_ / "t.txt";
  Write(target, "old");
  {
    rtl::AtomicFileWriter file(target.string());
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Append("half"));
    EXPECT_EQ(EntryCount(), 2);
  }
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(EntryCount(), 1);
}

TEST_F(AtomicFileTest, FailuresSayWhichFileAndWhy) {
  const std::string target = (dir_ / "missing" / "t.txt").string();
  rtl::AtomicFileWriter file(target);
  EXPECT_FALSE(file.Open());
  EXPECT_EQ(file.Error(), "Could not write file " + target + ": No such file or directory");
  // Later steps fail with the first error and write nothing.
  EXPECT_FALSE(file.Append("x"));
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(file.Error(), "Could not write file " + target + ": No such file or directory");
}

TEST_F(AtomicFileTest, ARenameOntoAFolderFailsAndKeepsTheFolder) {
  const fs::path target = dir_ / "t.txt";
  fs::create_directory(target);
  Write(target / "inside", "kept");
  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open());
  ASSERT_TRUE(file.Append("new"));
  EXPECT_FALSE(file.Commit());
  EXPECT_NE(file.Error().find("Could not write file " + target.string() + ": "), std::string::npos);
  EXPECT_EQ(Read(target / "inside"), "kept");
}

}  // namespace

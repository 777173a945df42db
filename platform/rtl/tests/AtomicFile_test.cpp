// Writing a file whole or not at all: a committed write replaces the file and
// keeps its permission bits; an abandoned or failed one leaves the old file and
// no temporary file behind.
#include "AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  rtl::testing::TempFolder folder_;
  const fs::path dir_{folder_.path()};
};

TEST_F(AtomicFileTest, CommitReplacesTheFileAndKeepsItsPermissionBits) {
  const fs::path target = dir_ / "t.txt";
  folder_.Write("t.txt", "old");
  ::chmod(target.c_str(), 0600);
  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open());
  file.Buffer() += "new ";
  ASSERT_TRUE(file.WriteIfFull());
  ASSERT_TRUE(file.Append(std::string(3 << 20, 'x')));  // more than one write chunk
  EXPECT_EQ(folder_.Read("t.txt"), "old");                       // nothing shows before the commit
  ASSERT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(folder_.Read("t.txt"), "new " + std::string(3 << 20, 'x'));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(folder_.Entries().size(), 1u);
}

TEST_F(AtomicFileTest, AnAbandonedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const fs::path target = dir_ / "t.txt";
  folder_.Write("t.txt", "old");
  {
    rtl::AtomicFileWriter file(target.string());
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Append("half"));
    EXPECT_EQ(folder_.Entries().size(), 2u);
  }
  EXPECT_EQ(folder_.Read("t.txt"), "old");
  EXPECT_EQ(folder_.Entries().size(), 1u);
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
  folder_.Write("t.txt/inside", "kept");
  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open());
  ASSERT_TRUE(file.Append("new"));
  EXPECT_FALSE(file.Commit());
  EXPECT_NE(file.Error().find("Could not write file " + target.string() + ": "), std::string::npos);
  EXPECT_EQ(folder_.Read("t.txt/inside"), "kept");
}

}  // namespace

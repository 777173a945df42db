// Writing a file whole or not at all: a committed write replaces the file and
// keeps its permission bits; an abandoned or failed one leaves the old file and
// no temporary file behind; a killed one's temporary file goes with the next
// write; a link stays a link.
#include "rtl/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_folder.h"

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
  EXPECT_EQ(folder_.Read("t.txt"), "old");              // nothing shows before the commit
  // The new contents are no less private than the old while they are written.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.status().permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << entry.path();
  }
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

TEST_F(AtomicFileTest, TemporaryNamesFitTheFileSystemAndNameTheirFile) {
  const std::string long_name = std::string(NAME_MAX - 4, 'n') + ".txt";
  struct Case {
    const char* what;
    std::string path;
    std::string starts;
  } cases[] = {
      {"short name", "/d/t.txt", "/d/t.txt.tmp-"},
      {"no folder", "t.txt", "t.txt.tmp-"},
      {"longest name", "/d/" + long_name, "/d/" + long_name.substr(0, 216) + ".tmp-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string prefix = rtl::AtomicFileWriter::TemporaryPrefix(c.path);
    EXPECT_EQ(prefix.substr(0, c.starts.size()), c.starts);
    EXPECT_EQ(prefix.size(), c.starts.size() + 17);  // 16 hex digits and "-"
    EXPECT_LE(prefix.size() - prefix.rfind('/') - 1 + 17, std::size_t{NAME_MAX});
  }
  // Names that share their first 216 bytes still differ.
  EXPECT_NE(rtl::AtomicFileWriter::TemporaryPrefix(long_name),
            rtl::AtomicFileWriter::TemporaryPrefix(long_name.substr(0, NAME_MAX - 5) + "x.txt"));

  const fs::path target = dir_ / long_name;
  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open()) << file.Error();
  ASSERT_TRUE(file.Append("long"));
  ASSERT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(folder_.Read(long_name), "long");
}

TEST_F(AtomicFileTest, NamesAreNotCutInsideACharacter) {
  // 215 ASCII bytes, then two-byte characters: byte 216 falls inside one.
  const std::string name = std::string(215, 'n') + "\xc3\xa9\xc3\xa9.txt";
  const std::string prefix = rtl::AtomicFileWriter::TemporaryPrefix(name);
  EXPECT_EQ(prefix.substr(0, 220), std::string(215, 'n') + ".tmp-");
}

// Temporary files of killed writes of the same target are removed; those of a
// write still going on, of other targets and any other file stay.
TEST_F(AtomicFileTest, OpenRemovesTheTemporaryFilesOfKilledWrites) {
  const fs::path target = dir_ / "t.txt";
  folder_.Write("t.txt", "old");
  const std::string prefix = rtl::AtomicFileWriter::TemporaryPrefix(target.string());
  const std::string name = prefix.substr(prefix.rfind('/') + 1);
  const std::string other = rtl::AtomicFileWriter::TemporaryPrefix((dir_ / "u.txt").string());
  const std::string other_name = other.substr(other.rfind('/') + 1) + "1.0";
  folder_.Write(name + "1.0", "killed");
  folder_.Write(name + "ffff.1a", "killed");
  folder_.Write(name + "1.0.bak", "mine");
  folder_.Write(name + "x.0", "mine");
  folder_.Write(other_name, "other");
  folder_.Write("t.txt.tmp1-0", "mine");

  rtl::AtomicFileWriter live(target.string());
  ASSERT_TRUE(live.Open());
  std::vector<std::string> expected = folder_.Entries();  // with the live write's file
  std::erase(expected, name + "1.0");
  std::erase(expected, name + "ffff.1a");

  rtl::AtomicFileWriter file(target.string());
  ASSERT_TRUE(file.Open());
  ASSERT_TRUE(file.Append("new"));
  ASSERT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(folder_.Read("t.txt"), "new");
  EXPECT_EQ(folder_.Entries(), expected);
  ASSERT_TRUE(live.Append("live"));
  ASSERT_TRUE(live.Commit()) << live.Error();
  EXPECT_EQ(folder_.Read("t.txt"), "live");
}

// The file a link names is replaced beside itself; the link stays.
TEST_F(AtomicFileTest, ALinkStaysAndTheFileItNamesIsReplaced) {
  rtl::testing::TempFolder elsewhere;
  elsewhere.Write("real.txt", "old");
  fs::create_symlink(fs::path(elsewhere.path()) / "real.txt", dir_ / "abs.txt");
  fs::create_directory(dir_ / "sub");
  fs::create_symlink("../abs.txt", dir_ / "sub" / "rel.txt");
  fs::create_symlink("new.txt", dir_ / "dangling.txt");
  fs::create_symlink("loop.txt", dir_ / "loop.txt");
  struct Case {
    const char* what;
    fs::path link;
    fs::path file;
  } cases[] = {
      {"absolute link", dir_ / "abs.txt", fs::path(elsewhere.path()) / "real.txt"},
      {"relative link to a link", dir_ / "sub" / "rel.txt",
       fs::path(elsewhere.path()) / "real.txt"},
      {"link to a file not yet there", dir_ / "dangling.txt", dir_ / "new.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rtl::AtomicFileWriter file(c.link.string());
    ASSERT_TRUE(file.Open()) << file.Error();
    ASSERT_TRUE(file.Append(c.what));
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_TRUE(fs::is_symlink(c.link));
    EXPECT_EQ(folder_.Read(fs::relative(c.link, dir_).string()), c.what);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(c.file)));
  }
  EXPECT_EQ(elsewhere.Entries(), std::vector<std::string>{"real.txt"});

  rtl::AtomicFileWriter loop((dir_ / "loop.txt").string());
  EXPECT_FALSE(loop.Open());
  EXPECT_EQ(loop.Error(), "Could not write file " + (dir_ / "loop.txt").string() +
                              ": Too many levels of symbolic links");
}

}  // namespace

// The session file: read back what was written, skip what is unknown or
// malformed, and never leave a half-written file.
#include "Session.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "temp_folder.h"

namespace {

using Values = std::map<std::string, int>;

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class SessionTest : public testing::Test {
 protected:
  app_testing::TempFolder folder_;
  std::string file_ = (folder_.Path() / "OrlendaSession.xml").string();
};

TEST_F(SessionTest, MissingFileGivesNothing) { EXPECT_TRUE(app::ReadSessionFile(file_).empty()); }

TEST_F(SessionTest, ReadsBackWhatWasWritten) {
  const std::vector<std::pair<std::string, int>> values = {{"PairSplitter1.Position", 160},
                                                           {"PairSplitter16.Position", 0},
                                                           {"PairSplitter9.Position", 194}};
  ASSERT_EQ(app::WriteSessionFile(file_, values), "");
  EXPECT_EQ(app::ReadSessionFile(file_), (Values{{"PairSplitter1.Position", 160},
                                                 {"PairSplitter16.Position", 0},
                                                 {"PairSplitter9.Position", 194}}));
  EXPECT_NE(Slurp(file_).find("<PairSplitter9 Position=\"194\"/>"), std::string::npos);
}

TEST_F(SessionTest, SkipsUnknownAndMalformedEntries) {
  WriteText(file_,
            "<?xml version=\"1.0\"?>\n<OrlendaSession><FormMain>\n"
            "<PairSplitter1 Position=\"200\"/>\n"
            "<PairSplitter99 Position=\"10\"/>\n"  // not a session splitter
            "<Button1 Position=\"10\"/>\n"         // not a splitter at all
            "<PairSplitter3 Position=\"abc\"/>\n"  // not a number
            "<PairSplitter5 Position=\"-4\"/>\n"   // negative
            "<PairSplitter6/>\n"                   // no position
            "<PairSplitter7 Position=\"12\"/>\n"
            "<PairSplitter8 Position=\"1\"");  // cut off: the file ends here
  EXPECT_EQ(app::ReadSessionFile(file_),
            (Values{{"PairSplitter1.Position", 200}, {"PairSplitter7.Position", 12}}));
}

TEST_F(SessionTest, NotXmlAtAllGivesNothing) {
  WriteText(file_, "PairSplitter1.Position=200\n");
  EXPECT_TRUE(app::ReadSessionFile(file_).empty());
}

TEST_F(SessionTest, FailedWriteLeavesTheOldFileWhole) {
  ASSERT_EQ(app::WriteSessionFile(file_, {{"PairSplitter1.Position", 160}}), "");
  const std::string old_text = Slurp(file_);

  // Files may not grow past 16 bytes for a while: the new text cannot be written.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string error = app::WriteSessionFile(
      file_, {{"PairSplitter1.Position", 999}, {"PairSplitter3.Position", 999}});
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_NE(error, "");
  EXPECT_EQ(Slurp(file_), old_text);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1) << "the temporary file was left behind";
}

TEST_F(SessionTest, WriteIntoAMissingFolderFails) {
  EXPECT_NE(app::WriteSessionFile((folder_.Path() / "gone" / "OrlendaSession.xml").string(),
                                  {{"PairSplitter1.Position", 1}}),
            "");
}

}  // namespace

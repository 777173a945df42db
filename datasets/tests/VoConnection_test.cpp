// The connection: how DatabasePath becomes a folder, the connect statement and
// the report of a refused folder, the engine made anew on every connect, the
// Connected switch and the process-wide separators.
#include "datasets/VoConnection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "datasets/Reporter.h"
#include "fake_engine.h"
#include "rtl/Separators.h"
#include "testing/engine_test_util.h"

namespace {

using vek::testing::TempFolder;
using vo_testing::EngineScript;
using vo_testing::FakeEngines;

TEST(ResolveDatabaseFolderTest, PathsWithAndWithoutSeparators) {
  struct Case {
    const char* name;
    const char* path;
    const char* folder;
  };
  const Case cases[] = {
      {"absolute", "/home/ana/shop", "/home/ana/shop/"},
      {"trailing slash is doubled", "/home/ana/shop/", "/home/ana/shop//"},
      {"relative stays relative", "data/shop", "data/shop/"},
      {"backslashes", "C:\\data\\shop", "C:\\data\\shop\\"},
      {"the separator found last wins", "a/b\\c", "a/b\\c\\"},
      {"bare name below the program folder", "shop", "/opt/app//shop/"},
      {"empty path", "", "/opt/app///"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolveDatabaseFolder(c.path, "/opt/app/"), c.folder);
  }
  // The program folder's own separator is the one doubled.
  EXPECT_EQ(ResolveDatabaseFolder("shop", "C:\\app\\"), "C:\\app\\\\shop\\");
}

TEST(ResolveDatabaseFolderTest, ByDefaultBareNamesLiveBesideTheExecutable) {
  std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "VoConnection_test"));

  EngineScript script;
  TVoConnection connection(FakeEngines(script));
  connection.SetDatabasePath("shop");
  connection.OpenEngine();
  EXPECT_EQ(connection.DatabaseFolder(), folder + "/shop/");
}

class ConnectionTest : public ::testing::Test {
 protected:
  RecordingReporter messages_;
  EngineScript script_;
  TVoConnection connection_{FakeEngines(script_)};
};

TEST_F(ConnectionTest, OpenEngineSendsTheResolvedFolderToANewEngine) {
  connection_.SetProgramFolder("/opt/app/");
  connection_.SetDatabasePath("shop");
  TVoEngine* before = &connection_.VekSQLInstance();
  connection_.OpenEngine();

  EXPECT_EQ(connection_.DatabaseFolder(), "/opt/app//shop/");
  EXPECT_EQ(script_.statements, std::vector<std::string>{"connect to '/opt/app//shop/'"});
  EXPECT_EQ(script_.engines_made, 2);  // the constructor's and the connect's
  EXPECT_NE(&connection_.VekSQLInstance(), before);
  EXPECT_TRUE(connection_.Connected());
  EXPECT_TRUE(messages_.Texts.empty());
}

TEST_F(ConnectionTest, ApostrophesInTheFolderAreDoubledInTheStatement) {
  connection_.SetDatabasePath("/data/it's/o'k");
  connection_.OpenEngine();
  EXPECT_EQ(script_.statements, std::vector<std::string>{"connect to '/data/it''s/o''k/'"});
}

TEST_F(ConnectionTest, ConnectedSwitchesOnceAndResetsOnFalse) {
  connection_.SetDatabasePath("/data");
  connection_.SetConnected(true);
  connection_.SetConnected(true);  // already connected: no second connect
  EXPECT_EQ(script_.statements.size(), 1u);
  EXPECT_EQ(script_.engines_made, 2);

  connection_.SetConnected(false);
  EXPECT_FALSE(connection_.Connected());
  EXPECT_EQ(script_.engines_made, 3);  // a fresh engine, no statement
  EXPECT_EQ(script_.statements.size(), 1u);

  connection_.ResetEngine();
  EXPECT_EQ(script_.engines_made, 4);
}

TEST(ConnectionFailureTest, AnExceptionWhileConnectingThroughConnectedIsSwallowed) {
  EngineScript script;
  int made = 0;
  TVoConnection connection([&]() -> std::unique_ptr<TVoEngine> {
    if (++made == 2) throw std::runtime_error("out of engines");
    return FakeEngines(script)();
  });
  RecordingReporter messages;
  connection.SetConnected(true);
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(made, 3);  // the failed one, then the reset's replacement
  EXPECT_TRUE(messages.Texts.empty());

  // The direct call lets it pass.
  made = 1;
  EXPECT_THROW(connection.OpenEngine(), std::runtime_error);
}

// Against the real engine over real folders.
class ConnectionFolderTest : public ::testing::Test {
 protected:
  RecordingReporter messages_;
  TempFolder dir_;
  TVoConnection connection_;
};

TEST_F(ConnectionFolderTest, AMissingFolderIsReportedAndStillCountsAsConnected) {
  connection_.SetDatabasePath("/no/such");
  connection_.SetConnected(true);
  EXPECT_TRUE(connection_.Connected());
  EXPECT_EQ(messages_.Texts,
            std::vector<std::string>{"Connection to database: /no/such failed! Error: Catalog "
                                     "/no/such/ does not exist"});
}

TEST_F(ConnectionFolderTest, AFolderWithAnApostropheIsTheFolderTheEngineOpens) {
  std::filesystem::create_directory(dir_.File("it's"));
  std::ofstream(dir_.File("it's/t.txt")) << "a\n1\n2\n";
  connection_.SetDatabasePath(dir_.File("it's"));
  connection_.OpenEngine();
  ASSERT_TRUE(messages_.Texts.empty()) << messages_.Texts[0];
  int n = connection_.VekSQLInstance().ExecuteSQL("select a from t");
  ASSERT_GT(n, 0) << connection_.VekSQLInstance().GetLastError();
  EXPECT_EQ(connection_.VekSQLInstance().GetRecordSet(n)->RecordCount(), 2);
}

TEST_F(ConnectionFolderTest, ARelativePathIsReadFromTheWorkingDirectory) {
  std::filesystem::create_directories(dir_.File("data/shop"));
  std::ofstream(dir_.File("data/shop/t.txt")) << "a\nx\n";
  std::filesystem::path old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  connection_.SetProgramFolder("/nowhere/");
  connection_.SetDatabasePath("data/shop");
  connection_.OpenEngine();
  int n = connection_.VekSQLInstance().ExecuteSQL("select a from t");
  std::filesystem::current_path(old_cwd);

  EXPECT_EQ(connection_.DatabaseFolder(), "data/shop/");
  EXPECT_TRUE(messages_.Texts.empty());
  EXPECT_GT(n, 0) << connection_.VekSQLInstance().GetLastError();
}

TEST_F(ConnectionFolderTest, EachConnectStartsFromTheFiles) {
  dir_.Write("t.txt", "a\n1\n");
  connection_.SetDatabasePath(dir_.path());
  connection_.OpenEngine();
  ASSERT_EQ(connection_.VekSQLInstance().ExecuteSQL("insert into t (a) values ('2')"), -1);
  connection_.ResetEngine();
  connection_.OpenEngine();
  int n = connection_.VekSQLInstance().ExecuteSQL("select a from t");
  ASSERT_GT(n, 0);
  EXPECT_EQ(connection_.VekSQLInstance().GetRecordSet(n)->RecordCount(), 1);
}

TEST(ConnectionSeparatorTest, DecimalSeparatorSetsBothProcessWideSeparators) {
  rtl::ScopedSeparators restore('.', ',');
  TVoConnection connection;

  connection.SetDecimalSeparator(',');
  EXPECT_EQ(rtl::DecimalSeparator(), ',');
  EXPECT_EQ(rtl::ThousandSeparator(), '.');

  // Another character is not stored, but the stored one is applied again.
  rtl::SetDecimalSeparator('x');
  connection.SetDecimalSeparator(';');
  EXPECT_EQ(connection.DecimalSeparator(), ',');
  EXPECT_EQ(rtl::DecimalSeparator(), ',');

  // Writing the stored value does nothing at all.
  rtl::SetDecimalSeparator('x');
  connection.SetDecimalSeparator(',');
  EXPECT_EQ(rtl::DecimalSeparator(), 'x');

  connection.SetDecimalSeparator('.');
  EXPECT_EQ(rtl::DecimalSeparator(), '.');
  EXPECT_EQ(rtl::ThousandSeparator(), ',');

  // '\0' leaves the process-wide separators alone.
  rtl::SetDecimalSeparator(',');
  rtl::SetThousandSeparator(' ');
  connection.SetDecimalSeparator('\0');
  EXPECT_EQ(connection.DecimalSeparator(), '\0');
  EXPECT_EQ(rtl::DecimalSeparator(), ',');
  EXPECT_EQ(rtl::ThousandSeparator(), ' ');
}

TEST(ReporterTest, TextsGoToTheInstalledReporterInOrder) {
  RecordingReporter outer;
  ShowMessage("one");
  {
    RecordingReporter inner;
    ShowMessage("two");
    EXPECT_EQ(inner.Texts, std::vector<std::string>{"two"});
  }
  ShowMessage("three");
  EXPECT_EQ(outer.Texts, (std::vector<std::string>{"one", "three"}));
}

}  // namespace

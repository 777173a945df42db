// A writer killed at any moment (kill -9) in a loop of posts, memo edits,
// deletes and packs: the table always opens again, every post it finished is
// there with its memo, and every delete it finished is gone.
#include <signal.h>
#include <sys/wait.h>

#include <map>
#include <random>
#include <set>
#include <sstream>

#include "DbfTestUtil.h"

namespace {

using dbf::FieldKind;

std::vector<dbf::FieldDef> Fields() {
  return {
      {"ID", FieldKind::kAutoInc}, {"NAME", FieldKind::kCharacter, 30}, {"TEXT", FieldKind::kMemo}};
}

std::string MemoOf(std::int64_t id, int version) {
  // From empty to several blocks, so that packs move memos of every size.
  return std::string(static_cast<std::size_t>(id % 4) * 300, 'm') + "#" + std::to_string(id) + "." +
         std::to_string(version);
}

// Reports go through a pipe, each written after the change it reports
// returned: "P id" posted, "E id v" memo edited to version v, "d id" about to
// delete, "D id" deleted; and "p 0" before a pack.
[[noreturn]] void Writer(const std::string& folder, int out, unsigned seed) {
  auto report = [out](const std::string& line) {
    std::string text = line + "\n";
    if (::write(out, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ::_exit(4);
  };
  try {
    dbf::TDbf table;
    table.SetFilePath(folder);
    table.SetTableName("Crash.dbf");
    table.SetStoredDefs(Fields(), {{"IDX_ID", "ID", dbf::ixPrimary | dbf::ixUnique}});
    table.Open();
    std::mt19937 random(seed);
    for (int step = 0;; ++step) {
      const unsigned what = random() % 20;
      if (what < 12 || table.IsEmpty()) {
        table.Append();
        table.FieldByName("NAME").SetAsString("row " + std::to_string(step));
        table.Post();
        const std::int64_t id = table.FieldByName("ID").AsInteger();
        table.Edit();
        table.FieldByName("TEXT").SetAsString(MemoOf(id, 0));
        table.Post();
        report("P " + std::to_string(id));
      } else if (what < 15) {
        table.First();
        table.MoveBy(static_cast<int>(random() % static_cast<unsigned>(table.RecordCount())));
        const std::int64_t id = table.FieldByName("ID").AsInteger();
        const int version = step;
        table.Edit();
        table.FieldByName("TEXT").SetAsString(MemoOf(id, version));
        table.Post();
        report("E " + std::to_string(id) + " " + std::to_string(version));
      } else if (what < 18) {
        table.First();
        const std::int64_t id = table.FieldByName("ID").AsInteger();
        report("d " + std::to_string(id));
        table.Delete();
        report("D " + std::to_string(id));
      } else {
        report("p 0");
        table.PackTable();
      }
    }
  } catch (const std::exception& e) {
    report(std::string("X ") + e.what());
  }
  ::_exit(3);
}

class DbfCrashTest : public DbfTest {};

// The memo version a row's text holds: -1 for no memo yet (a post cut off
// before its memo), -2 for a text that is not a memo this writer wrote.
int VersionOf(std::int64_t id, const std::string& text) {
  if (text.empty()) return -1;
  const std::string prefix = MemoOf(id, 0).substr(0, MemoOf(id, 0).rfind('.') + 1);
  if (text.compare(0, prefix.size(), prefix) != 0) return -2;
  const std::string version = text.substr(prefix.size());
  if (version.empty() || version.find_first_not_of("0123456789") != std::string::npos) return -2;
  return std::stoi(version);
}

TEST_F(DbfCrashTest, KilledWriterLosesNoFinishedChangeAndLeavesReadableFiles) {
  std::mt19937 random(12345);
  // The rows the table holds, by id, with their memo version, as known after
  // the last round's check.
  std::map<std::int64_t, int> expected;
  std::int64_t highest_id = 0;
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe_fds[0]);
      Writer(folder_, pipe_fds[1], static_cast<unsigned>(round));
    }
    ::close(pipe_fds[1]);
    // Killed a random time after a random number of reports, or (every other
    // round) a random time into a pack, the longest change.
    const bool in_pack = round % 2 == 0;
    const long kill_after = 1 + static_cast<long>(random() % 150);
    const auto delay = static_cast<useconds_t>(random() % 400);
    std::string received;
    char buffer[4096];
    bool killed = false;
    while (true) {
      ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
      const long lines = std::count(received.begin(), received.end(), '\n');
      if (!killed && lines >= kill_after && (!in_pack || received.ends_with("p 0\n"))) {
        ::usleep(delay);
        ::kill(child, SIGKILL);
        killed = true;
      }
    }
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << received;

    std::set<std::int64_t> deleting;
    std::istringstream in(received);
    std::string kind;
    while (in >> kind) {
      std::int64_t id = 0;
      in >> id;
      highest_id = std::max(highest_id, id);
      if (kind == "P") {
        expected[id] = 0;
      } else if (kind == "E") {
        in >> expected[id];
      } else if (kind == "d") {
        deleting.insert(id);
      } else if (kind == "D") {
        expected.erase(id);
        deleting.erase(id);
      } else if (kind != "p") {
        FAIL() << "the writer failed: " << received;
      }
    }

    dbf::TDbf table;
    table.SetFilePath(folder_);
    table.SetTableName("Crash.dbf");
    ASSERT_NO_THROW(table.Open());
    std::map<std::int64_t, int> found;
    for (table.First(); !table.Eof(); table.Next()) {
      const std::int64_t id = table.FieldByName("ID").AsInteger();
      found[id] = VersionOf(id, table.FieldByName("TEXT").AsString());
      ASSERT_NE(found[id], -2) << "row " << id << ": " << table.FieldByName("TEXT").AsString();
    }
    for (const auto& [id, version] : expected) {
      if (found.count(id) == 0) {
        EXPECT_EQ(deleting.count(id), 1u) << "row " << id << " was lost";
        continue;
      }
      // An edit cut off by the kill may have reached the file: a later version.
      EXPECT_GE(found[id], version) << "row " << id << " lost its memo";
    }
    for (const auto& [id, version] : found) {
      // A row nobody reported is a post cut off by the kill: a new number.
      if (expected.count(id) == 0) {
        EXPECT_GT(id, highest_id) << "deleted row " << id << " is back";
      }
    }
    expected = found;
    if (!found.empty()) highest_id = std::max(highest_id, found.rbegin()->first);
  }
}

// The files a pack leaves when it is killed between two of its steps, made
// here from the tables before and after a real pack: every state opens, with
// the old rows before the pack's commit and the packed rows after it.
struct PackCrash {
  const char* name;
  std::vector<std::pair<const char*, const char*>> files;  // file name <- "old"/"new" .dbf/.dbt
  bool packed;
};

TEST_F(DbfCrashTest, PackKilledBetweenAnyTwoStepsLeavesAReadableTable) {
  const PackCrash cases[] = {
      {"new memo file half written",
       {{"T.dbf", "old.dbf"}, {"T.dbt", "old.dbt"}, {"T.dbt.pack", "half"}},
       false},
      {"new table half written",
       {{"T.dbf", "old.dbf"},
        {"T.dbt", "old.dbt"},
        {"T.dbt.pack", "new.dbt"},
        {"T.dbf.part", "half"}},
       false},
      {"both written, none renamed",
       {{"T.dbf", "old.dbf"},
        {"T.dbt", "old.dbt"},
        {"T.dbt.pack", "new.dbt"},
        {"T.dbf.pack", "new.dbf"}},
       true},
      {"memo file renamed",
       {{"T.dbf", "old.dbf"}, {"T.dbt", "new.dbt"}, {"T.dbf.pack", "new.dbf"}},
       true},
      {"both renamed", {{"T.dbf", "new.dbf"}, {"T.dbt", "new.dbt"}}, true},
  };
  dbf::TDbf& table = Table("T.dbf", Fields());
  table.Open();
  for (int i = 0; i < 6; ++i)
    AddRow(table, {{"NAME", "row " + std::to_string(i)}, {"TEXT", MemoOf(i, i)}});
  for (int i = 0; i < 3; ++i) {
    table.First();
    table.Delete();
  }
  table.Close();
  std::map<std::string, std::string> files{{"old.dbf", ReadFile("T.dbf")},
                                           {"old.dbt", ReadFile("T.dbt")}};
  table.PackTable();
  files["new.dbf"] = ReadFile("T.dbf");
  files["new.dbt"] = ReadFile("T.dbt");
  files["half"] = files["new.dbf"].substr(0, 100);

  for (const PackCrash& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      std::filesystem::remove(entry);
    for (const auto& [name, source] : c.files) WriteFile(name, files[source]);
    table.Open();
    EXPECT_EQ(Column(table, "TEXT"),
              (std::vector<std::string>{MemoOf(3, 3), MemoOf(4, 4), MemoOf(5, 5)}));
    table.Close();
    EXPECT_EQ(ReadFile("T.dbf"), files[c.packed ? "new.dbf" : "old.dbf"]);
    EXPECT_EQ(ReadFile("T.dbt"), files[c.packed ? "new.dbt" : "old.dbt"]);
    for (const char* leftover : {"T.dbf.pack", "T.dbf.part", "T.dbt.pack"}) {
      EXPECT_FALSE(std::filesystem::exists(Path(leftover))) << leftover;
    }
  }
}

}  // namespace

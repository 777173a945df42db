// Runs the SQL scripts in tests/sql/*.test, each in a fresh catalog folder with a
// fresh engine. A script is a list of blocks separated by blank lines:
//
//   file t.txt            writes the lines up to "----" (each ending in LF)
//   a;b
//   1;x
//   ----
//
//   statement ok          runs the SQL line; the batch must succeed
//   UPDATE t SET a = 2
//
//   statement error       the batch must fail with the text after "----"
//   SELEKT 1
//   ----
//   Unknown SQL command
//
//   query                 the batch must return a record set with these rows:
//   SELECT a, b FROM t    header first, cells joined with "|"
//   ----
//   a|b
//   2|x
//
//   expect-file t.txt     the file must hold exactly these lines (each + LF);
//   ----                  "expect-file t.txt missing" checks that it is absent
//   a;b
//
//   engine new            replaces the engine by a new one on the same folder
//
// Lines starting with "#" outside a block are comments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "testing/engine_test_util.h"

namespace vek::testing {
namespace {

struct Block {
  int line = 0;
  std::vector<std::string> head;  // lines before "----"
  std::vector<std::string> body;  // lines after "----"
  bool has_body = false;
};

std::vector<Block> ReadBlocks(const std::string& path) {
  std::ifstream in(path);
  std::vector<Block> blocks;
  std::string line;
  int number = 0;
  Block* current = nullptr;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty()) {
      current = nullptr;
      continue;
    }
    if (!current) {
      if (line[0] == '#') continue;
      blocks.emplace_back();
      current = &blocks.back();
      current->line = number;
    }
    if (line == "----" && !current->has_body) {
      current->has_body = true;
    } else {
      (current->has_body ? current->body : current->head).push_back(line);
    }
  }
  return blocks;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

class SqlScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlScript, Runs) {
  std::setlocale(LC_ALL, "");
  rtl::InitLocaleSeparators();
  const std::string path = GetParam();
  TempFolder dir;
  auto engine = std::make_unique<TvekSQL>();
  auto connect = [&] { ASSERT_EQ(engine->ExecuteSQL("connect to '" + dir.path() + "'"), -1); };
  connect();

  for (const Block& block : ReadBlocks(path)) {
    SCOPED_TRACE(path + ":" + std::to_string(block.line));
    const std::string& kind = block.head[0];
    std::string sql;
    for (std::size_t i = 1; i < block.head.size(); ++i) sql += (i > 1 ? "\n" : "") + block.head[i];

    if (kind.rfind("file ", 0) == 0) {
      dir.Write(kind.substr(5), Lines({block.head.begin() + 1, block.head.end()}));
    } else if (kind == "statement ok") {
      EXPECT_NE(engine->ExecuteSQL(sql), 0) << sql << ": " << TvekSQL::GetLastError();
    } else if (kind == "statement error") {
      EXPECT_EQ(engine->ExecuteSQL(sql), 0) << sql;
      EXPECT_EQ(TvekSQL::GetLastError(), block.body.empty() ? "" : block.body[0]) << sql;
    } else if (kind == "query") {
      int n = engine->ExecuteSQL(sql);
      ASSERT_GT(n, 0) << sql << ": " << TvekSQL::GetLastError();
      EXPECT_EQ(Rows(*engine->GetRecordSet(n)), block.body) << sql;
    } else if (kind.rfind("expect-file ", 0) == 0) {
      std::string rest = kind.substr(12);
      if (rest.size() > 8 && rest.substr(rest.size() - 8) == " missing") {
        EXPECT_FALSE(dir.Exists(rest.substr(0, rest.size() - 8))) << rest;
      } else {
        EXPECT_EQ(dir.Read(rest), Lines(block.body)) << rest;
      }
    } else if (kind == "engine new") {
      engine = std::make_unique<TvekSQL>();
      connect();
    } else {
      ADD_FAILURE() << "unknown block: " << kind;
    }
  }
}

std::vector<std::string> Scripts() {
  std::vector<std::string> scripts;
  for (const auto& entry : std::filesystem::directory_iterator(ORLENDA_SQL_TEST_DIR)) {
    if (entry.path().extension() == ".test") scripts.push_back(entry.path().string());
  }
  std::sort(scripts.begin(), scripts.end());
  return scripts;
}

std::string ScriptName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = std::filesystem::path(info.param).stem().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Scripts, SqlScript, ::testing::ValuesIn(Scripts()), ScriptName);

}  // namespace
}  // namespace vek::testing

// Posts 10,000 rows into a catalogue table (shaped like Queries, with a memo),
// deletes every tenth, packs it, and opens it again; prints the time of each
// step. Every post reaches the files before it returns, so the post time is
// mostly the system calls of the in-place writes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dbf/Dbf.h"
#include "bench_util.h"

namespace {

constexpr int kRows = 10000;

using bench::SecondsSince;

}  // namespace

int main(int argc, char** argv) {
  // The table goes to a new folder inside the folder given, else the temporary folder.
  const std::filesystem::path base =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::filesystem::path folder = base / ("orlenda-dbf-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);

  double post_seconds = 0, delete_seconds = 0, pack_seconds = 0, open_seconds = 0;
  int rows_after = 0;
  try {
    dbf::TDbf table;
    table.SetFilePath(folder.string() + "/");
    table.SetTableName("Queries.dbf");
    table.SetExclusive(true);
    table.SetStoredDefs({{"PROJECT_ID", dbf::FieldKind::kInteger},
                         {"QUERY_ID", dbf::FieldKind::kAutoInc},
                         {"QUERYNAME", dbf::FieldKind::kCharacter, 100},
                         {"QUERYTEXT", dbf::FieldKind::kMemo},
                         {"QUERYCOMMENT", dbf::FieldKind::kCharacter, 255}},
                        {{"IDX_QUERIES_PROJECT_ID", "PROJECT_ID", 0},
                         {"IDX_QUERIES_QUERY_ID", "QUERY_ID", dbf::ixPrimary | dbf::ixUnique},
                         {"IDX_QUERIES_QUERYNAME", "QUERYNAME", dbf::ixUnique}});
    table.SetIndexName("IDX_QUERIES_PROJECT_ID");
    table.Open();
    db::Field& project = table.FieldByName("PROJECT_ID");
    db::Field& name = table.FieldByName("QUERYNAME");
    db::Field& text = table.FieldByName("QUERYTEXT");
    db::Field& comment = table.FieldByName("QUERYCOMMENT");

    auto start = std::chrono::steady_clock::now();
    for (int row = 0; row < kRows; ++row) {
      table.Append();
      project.SetAsInteger(row % 50);
      name.SetAsString("query " + std::to_string(row));
      text.SetAsString("select * from t" + std::to_string(row) + " where a > " +
                       std::to_string(row));
      comment.SetAsString("comment");
      table.Post();
    }
    post_seconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    table.SetIndexName("");
    table.First();
    for (int row = 0; row < kRows && !table.Eof(); ++row) {
      if (row % 10 == 0) {
        table.Delete();
      } else {
        table.Next();
      }
    }
    delete_seconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    table.PackTable();
    pack_seconds = SecondsSince(start);
    table.Close();

    start = std::chrono::steady_clock::now();
    table.Open();
    open_seconds = SecondsSince(start);
    rows_after = table.RecordCount();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dbf_bench: %s\n", e.what());
    std::filesystem::remove_all(folder);
    return 1;
  }
  std::filesystem::remove_all(folder);
  std::printf(
      "dbf_bench: %d posts %.3f s, %d deletes %.3f s, pack %.3f s, reopen %.3f s (%d rows)\n",
      kRows, post_seconds, kRows / 10, delete_seconds, pack_seconds, open_seconds, rows_after);
  std::printf("dbf_bench: posts + pack %.3f s\n", post_seconds + pack_seconds);
  return 0;
}

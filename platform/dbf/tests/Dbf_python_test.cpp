// A table written by TDbf, read back by read_dbf.py, a reader written from the
// level 7 layout alone: both must agree on the fields and on every value.
#include <cstdio>

#include "DbfTestUtil.h"

namespace {

using dbf::FieldKind;

class DbfPythonTest : public DbfTest {
 protected:
  std::string ReadWithPython(const std::string& name) {
    const std::string command =
        std::string(PYTHON3) + " " + READ_DBF_PY + " " + Path(name) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run " + command;
    std::string output;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = ::pclose(pipe);
    if (status != 0) output += "exit status " + std::to_string(status) + "\n";
    return output;
  }
};

TEST_F(DbfPythonTest, IndependentReaderAgreesOnEveryFieldTypeMemosAndDeletedRows) {
  dbf::TDbf& table = Table("Queries.dbf", {{"PROJECT_ID", FieldKind::kInteger},
                                           {"QUERY_ID", FieldKind::kAutoInc},
                                           {"QUERYNAME", FieldKind::kCharacter, 12},
                                           {"ACTIVE", FieldKind::kLogical},
                                           {"QUERYTEXT", FieldKind::kMemo}});
  table.Open();
  AddRow(table, {{"PROJECT_ID", "7"},
                 {"QUERYNAME", "first"},
                 {"ACTIVE", "True"},
                 {"QUERYTEXT", "select *\nfrom t"}});
  AddRow(table, {{"PROJECT_ID", "-123456"}, {"QUERYNAME", "Größe"}, {"ACTIVE", "False"}});
  AddRow(table, {{"QUERYNAME", "gone"}, {"QUERYTEXT", "dropped"}});
  AddRow(table, {{"PROJECT_ID", "2147483647"},
                 {"QUERYNAME", "long memo"},
                 {"QUERYTEXT", std::string(1000, 'q') + "ü"}});
  table.First();
  table.Next();
  table.Next();
  table.Delete();
  // An edited memo moves to new blocks.
  table.First();
  table.Edit();
  table.FieldByName("QUERYTEXT").SetAsString("select 1");
  table.Post();

  const std::string fields =
      "field PROJECT_ID I 4\nfield QUERY_ID + 4\nfield QUERYNAME C 12\nfield ACTIVE L 1\n"
      "field QUERYTEXT M 10\n";
  const std::string first =
      "PROJECT_ID=7 QUERY_ID=1 QUERYNAME=\"first\" ACTIVE=true QUERYTEXT=\"select 1\"\n";
  const std::string second =
      "PROJECT_ID=-123456 QUERY_ID=2 QUERYNAME=\"Größe\" ACTIVE=false QUERYTEXT=null\n";
  const std::string fourth =
      "PROJECT_ID=2147483647 QUERY_ID=4 QUERYNAME=\"long memo\" ACTIVE=null QUERYTEXT=\"" +
      std::string(1000, 'q') + "ü\"\n";
  EXPECT_EQ(ReadWithPython("Queries.dbf"),
            "table version=0x8C records=4 header=309 record=32\n" + fields + "record 1 live " +
                first + "record 2 live " + second +
                "record 3 deleted PROJECT_ID=null QUERY_ID=3 QUERYNAME=\"gone\" ACTIVE=null "
                "QUERYTEXT=\"dropped\"\n"
                "record 4 live " +
                fourth);

  table.PackTable();
  EXPECT_EQ(ReadWithPython("Queries.dbf"),
            "table version=0x8C records=3 header=309 record=32\n" + fields + "record 1 live " +
                first + "record 2 live " + second + "record 3 live " + fourth);
}

}  // namespace

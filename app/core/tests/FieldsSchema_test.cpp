// Reading a table's header into its Fields rows and changing its file's
// columns to the registered names: the files byte for byte, the Fields rows
// and their comments, and the messages in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FieldsSchema.h"
#include "operations_fixture.h"

namespace app::testing {
namespace {

const std::string kNoSchema = "I could not retrieve fields schema information. ";

class FieldsSchemaTest : public OperationsTest {
 protected:
  bool Get() { return GetFieldsSchema(*catalogue_, connection_, messages_); }
  bool Set() {
    return SetFieldsSchema(*catalogue_, connection_, action_, *table_data_, messages_);
  }
  void Register(const std::string& table, const Texts& fields) {
    AddTable(table);
    for (const std::string& field : fields) AddField(field);
  }
  Texts FieldNames() { return Shown(catalogue_->Fields(), "FIELDNAME"); }
  Texts FieldComments() { return Shown(catalogue_->Fields(), "FIELDCOMMENT"); }
  void Comment(const std::string& field, const std::string& comment) {
    dbf::TDbf& fields = catalogue_->Fields();
    ASSERT_TRUE(fields.Locate("FIELDNAME", rtl::Variant::Text(field)));
    fields.Edit();
    fields.FieldByName("FIELDCOMMENT").SetAsString(comment);
    fields.Post();
  }
};

// ---- Get Fields Schema ----

TEST_F(FieldsSchemaTest, TheHeaderReplacesTheFieldsAndKeptNamesKeepTheirComments) {
  WriteTable("orders", "id;name;price\n1;ann;3\n");
  Register("orders", {"id", "old"});
  Comment("id", "the key");
  Comment("old", "gone with its field");
  EXPECT_TRUE(Get());
  EXPECT_TRUE(messages_.entries.empty());
  EXPECT_EQ(FieldNames(), (Texts{"id", "name", "price"}));
  EXPECT_EQ(FieldComments(), (Texts{"the key", "", ""}));
}

TEST_F(FieldsSchemaTest, OnlyTheCurrentTablesFieldsAreReplaced) {
  WriteTable("a", "x\n");
  Register("b", {"kept"});
  Register("a", {"old"});
  ASSERT_TRUE(Get());
  ASSERT_TRUE(catalogue_->Tables().Locate("TABLENAME", rtl::Variant::Text("b")));
  EXPECT_EQ(FieldNames(), (Texts{"kept"}));
}

TEST_F(FieldsSchemaTest, AFileWithoutHeaderNamesLeavesTheFieldsAlone) {
  struct Case {
    std::string name, bytes, reason;
  };
  const std::vector<Case> cases = {
      {"missing", "", "Could not open file " + TablePath("t") + ": No such file or directory"},
      {"empty", "", "The file " + TablePath("t") + " holds no column names in its first line."},
      {"blank first line", " \t\n1;2\n",
       "The file " + TablePath("t") + " holds no column names in its first line."},
  };
  Register("t", {"a", "b"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(TablePath("t"));
    if (c.name != "missing") WriteTable("t", c.bytes);
    EXPECT_FALSE(Get());
    EXPECT_EQ(TakeTexts(), (Texts{kNoSchema + c.reason}));
    EXPECT_EQ(FieldNames(), (Texts{"a", "b"}));
  }
}

// A pipe or a device in place of the table file would never end (or never
// start): it is refused as the engine refuses it.
TEST_F(FieldsSchemaTest, AFileThatIsNoRegularFileIsRefused) {
  Register("t", {"a", "b"});
  for (const char* kind : kIrregularKinds) {
    SCOPED_TRACE(kind);
    MakeIrregularTable("t", kind);
    EXPECT_FALSE(Get());
    EXPECT_EQ(TakeTexts(),
              (Texts{kNoSchema + "Could not read file " + TablePath("t") + ": not a regular file"}));
    EXPECT_EQ(FieldNames(), (Texts{"a", "b"}));
  }
}

TEST_F(FieldsSchemaTest, WithoutACurrentTableNothingIsRead) {
  EXPECT_FALSE(Get());
  EXPECT_EQ(messages_.Texts(),
            (Texts{kNoSchema + "There is no current table: register or choose a table first."}));
}

// ---- Set Fields Schema ----

struct SchemaCase {
  std::string name;
  std::string table;
  Texts registered;
  std::string before;  // "" for no file
  std::string after;
  Texts fields_after;
};

TEST_F(FieldsSchemaTest, TheFileEndsWithTheRegisteredColumns) {
  const std::vector<SchemaCase> cases = {
      {"add and drop", "t1", {"A", "B", "C"}, "A;C;D\n1;3;4\n", "A;C;B\n1;3;\n", {"A", "C", "B"}},
      {"renamed", "t2", {"id", "cost"}, "id;price\n1;9\n", "id;cost\n1;\n", {"id", "cost"}},
      {"re-cased", "t3", {"id", "name"}, "id;Name\n1;ann\n", "id;name\n1;\n", {"id", "name"}},
      {"unchanged", "t4", {"a", "b"}, "a;b\n1;2\n", "a;b\n1;2\n", {"a", "b"}},
      {"a name with blanks", "my orders", {"a", "cost"}, "a;price\n1;9\n", "a;cost\n1;\n",
       {"a", "cost"}},
      {"missing file", "t5", {"A", "B"}, "", "A;B", {"A", "B"}},
  };
  for (const SchemaCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.before.empty()) WriteTable(c.table, c.before);
    Register(c.table, c.registered);
    EXPECT_TRUE(Set());
    EXPECT_EQ(TakeTexts(), Texts{});
    EXPECT_EQ(ReadTable(c.table), c.after);
    EXPECT_EQ(FieldNames(), c.fields_after);
  }
}

TEST_F(FieldsSchemaTest, AHeaderlessFileGetsTheRegisteredNamesAndKeepsItsLines) {
  struct Case {
    std::string name, before, after;
  };
  const std::vector<Case> cases = {
      {"empty", "", "a;b"},
      {"blank first line", "  \n1;2\n", "a;b\n1;2\n"},
  };
  Register("t", {"a", "b"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteTable("t", c.before);
    EXPECT_TRUE(Set());
    EXPECT_EQ(TakeTexts(), Texts{});
    EXPECT_EQ(ReadTable("t"), c.after);
    EXPECT_EQ(FieldNames(), (Texts{"a", "b"}));
  }
}

TEST_F(FieldsSchemaTest, ARefusedAddIsShownAndNothingIsDropped) {
  WriteTable("t", "id;price\n1;9\n");
  Register("t", {"id", "it's"});
  EXPECT_TRUE(Set());
  const Texts texts = TakeTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Error while trying to execute query.", 0), 0u) << texts[0];
  EXPECT_EQ(ReadTable("t"), "id;price\n1;9\n");
  EXPECT_EQ(FieldNames(), (Texts{"id", "price"}));
}

TEST_F(FieldsSchemaTest, NothingRunsWithoutTheProjectFolder) {
  Register("t", {"a"});
  std::filesystem::remove_all(ProjectFolder());
  EXPECT_FALSE(Set());
  EXPECT_EQ(messages_.Texts(),
            (Texts{"The project folder " + ProjectFolder() + "/ does not exist."}));
  EXPECT_FALSE(std::filesystem::exists(ProjectFolder()));
  EXPECT_EQ(FieldNames(), (Texts{"a"}));
}

TEST_F(FieldsSchemaTest, OnlyTheLoadedTableIsReloaded) {
  WriteTable("a", "x\n1\n");
  WriteTable("b", "y\n2\n");
  Register("b", {"y"});
  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  Register("a", {"x", "z"});
  messages_.entries.clear();
  ASSERT_TRUE(Set());
  EXPECT_EQ(TakeTexts(), Texts{});
  EXPECT_EQ(table_data_->LoadedTable(), "b");

  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  AddField("w");
  messages_.entries.clear();
  ASSERT_TRUE(Set());
  // After the add step, after the drop step and at the end.
  EXPECT_EQ(TakeTexts(), (Texts{kAnnouncement, kFinished, kAnnouncement, kFinished,
                                kAnnouncement, kFinished}));
  EXPECT_EQ(data_.FieldCount(), 3);
  EXPECT_EQ(Column("x"), (Texts{"1"}));
}

TEST_F(FieldsSchemaTest, UnsavedChangesOfTheChangedTableAreAskedAbout) {
  WriteTable("a", "x\n1\n");
  Register("a", {"x"});
  ASSERT_TRUE(table_data_->LoadCSVTableData(*catalogue_, messages_));
  data_.Edit();
  data_.FieldByName("x").SetAsString("2");
  data_.Post();
  AddField("y");
  messages_.entries.clear();
  messages_.answers = {false};
  EXPECT_FALSE(Set());
  EXPECT_EQ(TakeTexts(),
            (Texts{"The data of table a has changes that are not saved to its file. Discard them?"}));
  EXPECT_EQ(ReadTable("a"), "x\n1\n");
  EXPECT_EQ(Column("x"), (Texts{"2"}));
}

}  // namespace
}  // namespace app::testing

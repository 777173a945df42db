// The three schema statement texts, compared whole for tables of registered
// and header names.
#include "SchemaStatements.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace app {
namespace {

using Names = std::vector<std::string>;

struct Case {
  std::string name;
  std::string table;
  Names registered;
  Names header;
  std::string expected;
};

TEST(AddMissingColumnsTest, OneFragmentPerRegisteredNameTheHeaderLacks) {
  const std::vector<Case> cases = {
      {"one added", "T", {"A", "F"}, {"A"}, "ALTER TABLE 'T' ADD COLUMN 'F'; SAVE TABLE 'T';"},
      {"several, in registered order",
       "T",
       {"B", "A", "C"},
       {"A"},
       "ALTER TABLE 'T' ADD COLUMN 'B'; SAVE TABLE 'T';"
       "ALTER TABLE 'T' ADD COLUMN 'C'; SAVE TABLE 'T';"},
      {"nothing missing", "T", {"A", "B"}, {"B", "A", "X"}, ""},
      {"nothing registered", "T", {}, {"A"}, ""},
      {"a table name with a blank stays one name",
       "my orders",
       {"a"},
       {},
       "ALTER TABLE 'my orders' ADD COLUMN 'a'; SAVE TABLE 'my orders';"},
      {"re-cased: the old column goes in the same fragment",
       "T",
       {"id", "name"},
       {"id", "Name"},
       "ALTER TABLE 'T' DROP COLUMN 'Name'; ALTER TABLE 'T' ADD COLUMN 'name'; SAVE TABLE 'T';"},
      {"re-cased from a name still registered: only the add",
       "T",
       {"Name", "name"},
       {"Name"},
       "ALTER TABLE 'T' ADD COLUMN 'name'; SAVE TABLE 'T';"},
      {"two names re-casing one column: the first takes it",
       "T",
       {"Name", "name"},
       {"NAME"},
       "ALTER TABLE 'T' DROP COLUMN 'NAME'; ALTER TABLE 'T' ADD COLUMN 'Name'; SAVE TABLE 'T';"
       "ALTER TABLE 'T' ADD COLUMN 'name'; SAVE TABLE 'T';"},
      {"quotes go in as they are", "T", {"it's"}, {}, "ALTER TABLE 'T' ADD COLUMN 'it's'; SAVE TABLE 'T';"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddMissingColumns(c.table, c.registered, c.header), c.expected);
  }
}

TEST(DropSurplusColumnsTest, OneFragmentPerHeaderNameNotRegistered) {
  const std::vector<Case> cases = {
      {"one dropped", "T", {"A"}, {"A", "F"}, "ALTER TABLE 'T' DROP COLUMN 'F'; SAVE TABLE 'T'; "},
      {"several, in header order",
       "T",
       {"B"},
       {"C", "B", "A"},
       "ALTER TABLE 'T' DROP COLUMN 'C'; SAVE TABLE 'T'; "
       "ALTER TABLE 'T' DROP COLUMN 'A'; SAVE TABLE 'T'; "},
      {"nothing surplus", "T", {"A", "B"}, {"B"}, ""},
      {"a re-cased column is left to the add", "T", {"id", "name"}, {"id", "Name"}, ""},
      {"case counts otherwise", "T", {"a"}, {"a", "A2"},
       "ALTER TABLE 'T' DROP COLUMN 'A2'; SAVE TABLE 'T'; "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DropSurplusColumns(c.table, c.registered, c.header), c.expected);
  }
}

TEST(CreateTableFromFieldsTest, AllRegisteredNamesQuotedAndCommaSeparated) {
  const std::vector<Case> cases = {
      {"two", "T", {"A", "B"}, {}, "CREATE TABLE 'T'('A','B');"},
      {"one", "T", {"A"}, {}, "CREATE TABLE 'T'('A');"},
      {"none", "T", {}, {}, "CREATE TABLE 'T'();"},
      {"blanks kept", "my t", {"first name"}, {}, "CREATE TABLE 'my t'('first name');"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreateTableFromFields(c.table, c.registered), c.expected);
  }
}

}  // namespace
}  // namespace app

// The editor's text rules as tables of cases: typed text, matching and
// candidates, the range a chosen candidate replaces, the "Apply" insertion,
// parameter substitution, line splitting and the SQL text files.
#include "QueryText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "testing/temp_folder.h"

namespace app {
namespace {

using Words = std::vector<std::string>;

TEST(TypedTextTest, StopsAtBlanksControlsBracketsAndDots) {
  struct Case {
    const char* name;
    std::string line;
    int caret;
    std::string expected;
  };
  const Case cases[] = {
      {"word at line start", "sel", 3, "sel"},
      {"after a blank", "SELECT * FROM ord", 17, "ord"},
      {"caret right after a blank", "SELECT ", 7, ""},
      {"dot ends it", "orders.cu", 9, "cu"},
      {"brackets end it", "UPPER(na", 8, "na"},
      {"square bracket", "[x]ab", 5, "ab"},
      {"tab is a control character", "a\tbc", 4, "bc"},
      {"caret inside a word takes the left part", "selection", 3, "sel"},
      {"operators belong to it", "a=b<c", 5, "a=b<c"},
      {"caret past the end counts from the end", "abc", 10, "abc"},
      {"caret at the start", "abc", 0, ""},
      {"empty line", "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TypedText(c.line, c.caret), c.expected);
  }
}

TEST(CompletionTest, MatchesPrefixWithoutCase) {
  struct Case {
    const char* name;
    std::string typed;
    std::string candidate;
    bool expected;
  };
  const Case cases[] = {
      {"lower typed, upper entry", "sel", "SELECT", true},
      {"mixed case", "SeL", "select", true},
      {"whole entry", "from", "FROM", true},
      {"inside the entry is no match", "lect", "SELECT", false},
      {"longer than the entry", "selects", "SELECT", false},
      {"empty typed text matches nothing", "", "SELECT", false},
      {"qualified name", "orders.c", "orders.customer", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddIfMatching(c.typed, c.candidate), c.expected);
  }
}

TEST(CompletionTest, CandidatesKeepOrderAndDuplicates) {
  const Words words = BuildCompletionWords(
      {{"orders", {"id", "customer"}}, {"customers", {"id", "name"}}, {"select_log", {}}});
  struct Case {
    const char* name;
    std::string typed;
    Words expected;
    int selection;
  };
  const Case cases[] = {
      {"sel offers both SELECT entries first, then a table",
       "sel",
       {"SELECT", "SELECT * FROM", "select_log"},
       0},
      {"a field of two tables comes twice", "id", {"id", "id"}, 0},
      {"qualified names once each", "orders.", {"orders.id", "orders.customer"}, 0},
      {"cu", "cu", {"customer", "customers", "customers.id", "customers.name"}, 0},
      {"upp has one entry", "upp", {"UPPER(expression)"}, 0},
      {"nothing", "zz", {}, -1},
      {"empty typed text", "", {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Words candidates = CompletionCandidates(words, c.typed);
    EXPECT_EQ(candidates, c.expected);
    EXPECT_EQ(CompletionSelection(candidates), c.selection);
  }
}

TEST(CompletionTest, WordsAreTheFixedEntriesThenTablesAndFields) {
  const Words& fixed = FixedCompletionWords();
  ASSERT_EQ(fixed.size(), 51u);
  EXPECT_EQ(fixed.front(), "SELECT");
  EXPECT_EQ(fixed[27], "FORMAT(value,formatstring");
  EXPECT_EQ(fixed.back(), "FLOOR(expression)");

  const Words words = BuildCompletionWords({{"t", {"a", "b"}}, {"u", {}}});
  const Words tail(words.begin() + 51, words.end());
  EXPECT_EQ(tail, (Words{"t", "a", "t.a", "b", "t.b", "u"}));
  EXPECT_EQ(BuildCompletionWords({}), fixed);
}

TEST(CompletionTest, TargetIsTheWordAroundTheCaret) {
  struct Case {
    const char* name;
    std::string line;
    int caret;
    bool left_only;
    TextRange expected;
  };
  const Case cases[] = {
      {"end of a word", "SELECT upp", 10, false, {7, 10}},
      {"inside a word takes both sides", "SELECT uppxx FROM", 10, false, {7, 12}},
      {"shift takes the left part only", "SELECT uppxx FROM", 10, true, {7, 10}},
      {"the dot stays in front", "orders.cu", 9, false, {7, 9}},
      {"underscores and digits are word characters", "a sub_1x2 b", 5, false, {2, 9}},
      {"after a blank nothing is replaced", "a ", 2, false, {2, 2}},
      {"caret past the end", "ab", 9, false, {0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompletionTarget(c.line, c.caret, c.left_only), c.expected);
  }
}

TEST(InsertAtCaretTest, PutsBlankBeforeItemAndAtLineEnd) {
  struct Case {
    const char* name;
    std::string line;
    int caret;
    std::string item;
    std::string expected;
  };
  const Case cases[] = {
      {"between two words", "SELECTFROM", 6, "*", "SELECT *FROM "},
      {"at the end", "SELECT", 6, "*", "SELECT * "},
      {"at the start", "FROM t", 0, "SELECT *", " SELECT *FROM t "},
      {"empty name gives two blanks", "", 0, "", "  "},
      {"caret past the end leaves the rest empty", "ab", 7, "x", "ab x "},
      {"qualified field", "SELECT ", 7, "orders.id", "SELECT  orders.id "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InsertAtCaret(c.line, c.caret, c.item), c.expected);
  }
}

TEST(SubstituteParametersTest, ReplacesEveryOccurrenceInOrder) {
  struct Case {
    const char* name;
    std::string line;
    std::vector<QueryParameter> params;
    std::string expected;
  };
  const Case cases[] = {
      {"any case, inside words too",
       "SELECT WIDTH FROM t WHERE id = ID",
       {{"ID", "7"}},
       "SELECT W7TH FROM t WHERE 7 = 7"},
      {"shorter name first wins inside the longer", ":p1", {{"p", "x"}, {"p1", "y"}}, ":x1"},
      {"longer name first", ":p1", {{"p1", "y"}, {"p", "x"}}, ":y"},
      {"a value holding its own name does not loop", "a", {{"a", "aa"}}, "aa"},
      {"search goes on behind the value", "aaa", {{"a", "ba"}}, "bababa"},
      {"earlier value searched by a later name", "x", {{"x", "y"}, {"y", "z"}}, "z"},
      {"later value not searched by an earlier name", "y", {{"x", "q"}, {"y", "x"}}, "x"},
      {"empty name replaces nothing", "abc", {{"", "Z"}}, "abc"},
      {"no parameters", "SELECT 1", {}, "SELECT 1"},
      {"value may be empty", "a:pb", {{":p", ""}}, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SubstituteParameters(c.line, c.params), c.expected);
  }
}

TEST(LinesTest, SplitsAndNormalizesLineBreaks) {
  struct Case {
    const char* name;
    std::string text;
    Words lines;
    std::string normalized;
  };
  const Case cases[] = {
      {"empty", "", {""}, ""},
      {"one line", "a", {"a"}, "a\n"},
      {"final break", "a\n", {"a", ""}, "a\n"},
      {"crlf and cr", "a\r\nb\rc", {"a", "b", "c"}, "a\nb\nc\n"},
      {"empty lines kept", "a\n\nb\r\n", {"a", "", "b", ""}, "a\n\nb\n"},
      {"lone cr at end", "a\r", {"a", ""}, "a\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EditorLines(c.text), c.lines);
    EXPECT_EQ(NormalizeLineBreaks(c.text), c.normalized);
  }
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(TextFileTest, WritesBytesExactlyAndReadsLinesBack) {
  rtl::testing::TempFolder folder;
  const std::string file = folder.path() + "/q.sql";
  const std::string text = "SELECT *\r\nFROM t\rWHERE x = 'é;\"'";
  WriteTextFile(file, text);
  EXPECT_EQ(Bytes(file), text);
  EXPECT_EQ(ReadTextFile(file), "SELECT *\nFROM t\nWHERE x = 'é;\"'\n");
  WriteTextFile(file, "");
  EXPECT_EQ(Bytes(file), "");
  EXPECT_EQ(ReadTextFile(file), "");
}

TEST(TextFileTest, FailuresThrowAndKeepTheOldFile) {
  rtl::testing::TempFolder folder;
  EXPECT_THROW(ReadTextFile(folder.path() + "/missing.sql"), std::runtime_error);
  EXPECT_THROW(WriteTextFile("", "x"), std::runtime_error);
  EXPECT_THROW(WriteTextFile(folder.path() + "/no/such/folder/q.sql", "x"), std::runtime_error);

  const std::string file = folder.path() + "/q.sql";
  WriteTextFile(file, "old");
  if (geteuid() != 0) {
    chmod(folder.path().c_str(), 0500);
    EXPECT_THROW(WriteTextFile(file, "new"), std::runtime_error);
    chmod(folder.path().c_str(), 0700);
    EXPECT_EQ(Bytes(file), "old");
  }
}

}  // namespace
}  // namespace app

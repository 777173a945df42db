// The name map of the SELECT's name space and of grouping: exact, letter-case
// sensitive look-ups, the first entry under a name wins, the empty name is
// never stored, and clearing forgets every entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/mwStringHashList.h"

namespace vek {
namespace {

struct Found {
  bool found;
  std::int32_t id;
  std::int32_t ex_id;
};

Found Find(const TmwStringHashList& list, std::string_view s) {
  Found f{false, 7, 7};  // FindString must overwrite both numbers
  f.found = list.FindString(s, f.id, f.ex_id);
  return f;
}

TEST(HashList, FindsExactlyWhatWasAdded) {
  TmwStringHashList list;
  list.AddString("abc", 1);
  list.AddString("users", 2, 5);
  list.AddString("u", 3);
  list.AddString(std::string("a\0b", 3), 4);

  struct Case {
    const char* name;
    std::string key;
    bool found;
    std::int32_t id;
    std::int32_t ex_id;
  };
  const Case cases[] = {
      {"plain", "abc", true, 1, 0},
      {"second number kept", "users", true, 2, 5},
      {"one character", "u", true, 3, 0},
      {"bytes after a NUL count", std::string("a\0b", 3), true, 4, 0},
      {"letter case counts", "Abc", false, -1, -1},
      {"upper case", "USERS", false, -1, -1},
      {"prefix", "ab", false, -1, -1},
      {"longer", "abcd", false, -1, -1},
      {"trailing blank", "abc ", false, -1, -1},
      {"cut at the NUL", "a", false, -1, -1},
      {"never added", "products", false, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Found f = Find(list, c.key);
    EXPECT_EQ(f.found, c.found);
    EXPECT_EQ(f.id, c.id);
    EXPECT_EQ(f.ex_id, c.ex_id);
  }
}

TEST(HashList, TheEmptyNameIsNeverStored) {
  TmwStringHashList list;
  list.AddString("", 1);
  EXPECT_TRUE(list.Empty());
  Found f = Find(list, "");
  EXPECT_FALSE(f.found);
  EXPECT_EQ(f.id, -1);
  EXPECT_EQ(f.ex_id, -1);
}

TEST(HashList, TheFirstEntryUnderANameWins) {
  TmwStringHashList list;
  list.AddString("a", 1, 10);
  list.AddString("a", 2, 20);
  list.AddString("A", 3);
  EXPECT_EQ(Find(list, "a").id, 1);
  EXPECT_EQ(Find(list, "a").ex_id, 10);
  EXPECT_EQ(Find(list, "A").id, 3);

  // The shorter overload answers the same id.
  std::int32_t id = 0;
  EXPECT_TRUE(list.FindString("a", id));
  EXPECT_EQ(id, 1);
  EXPECT_FALSE(list.FindString("b", id));
  EXPECT_EQ(id, -1);
}

// Names of one length that share their first characters (t.a, t.b, ...,
// customer0001, customer0002, ...) each keep their own number.
TEST(HashList, ManyNamesWithACommonStartAreAllFound) {
  TmwStringHashList list;
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) {
    std::string digits = std::to_string(i);
    names.push_back("customer" + std::string(4 - digits.size(), '0') + digits);
  }
  for (char c = 'a'; c <= 'z'; ++c) names.push_back(std::string("t.") + c);
  for (std::size_t i = 0; i < names.size(); ++i) {
    list.AddString(names[i], static_cast<std::int32_t>(i));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    Found f = Find(list, names[i]);
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.id, static_cast<std::int32_t>(i));
  }
  EXPECT_FALSE(Find(list, "customer2000").found);
  EXPECT_FALSE(Find(list, "t.A").found);
}

TEST(HashList, ClearForgetsEveryEntry) {
  TmwStringHashList list;
  list.AddString("users", 1);
  list.AddString("u", 2);
  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_FALSE(Find(list, "users").found);

  // After clearing, a name takes the number it is given now.
  list.AddString("users", 9);
  EXPECT_EQ(Find(list, "users").id, 9);
}

}  // namespace
}  // namespace vek

// The engine under memory pressure: every allocation of a statement is made to
// fail in turn, and the statement must fail with "Out of memory" and leave the
// engine usable; and how much memory deeply nested sub-selects take. This test
// program replaces operator new to count and to fail allocations.
#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "testing/engine_test_util.h"

namespace {

// Above 0, the allocation that counts it down to 0 fails.
long fail_countdown = 0;
std::size_t live_bytes = 0;
std::size_t peak_bytes = 0;

void* Allocate(std::size_t size) {
  if (fail_countdown > 0 && --fail_countdown == 0) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  live_bytes += ::malloc_usable_size(p);
  if (live_bytes > peak_bytes) peak_bytes = live_bytes;
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  live_bytes -= ::malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace vek::testing {
namespace {

using Lines = std::vector<std::string>;

// Runs `sql` with its n-th allocation failing. `finished` tells that the
// statement made fewer than n allocations, so none failed.
int RunFailingAllocation(TvekSQL& engine, const std::string& sql, long n, bool& finished) {
  int result = 0;
  fail_countdown = n;
  try {
    result = engine.ExecuteSQL(sql);
  } catch (...) {
    fail_countdown = 0;
    ADD_FAILURE() << "an exception left ExecuteSQL at allocation " << n;
  }
  finished = fail_countdown > 0;
  fail_countdown = 0;
  return result;
}

class MemoryTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_.Write("users.txt",
               "userid;name;productid\n"
               "1;Ann;10\n"
               "2;bob;9\n"
               "3;Cid;100\n"
               "4;Dee;9\n");
    dir_.Write("products.txt",
               "productid;productname\n"
               "9;Icon set\n"
               "10;Pencil\n"
               "100;Icon font\n");
  }
};

// Reading the files, a sub-select, a join, grouping, HAVING and ordering: the
// statement is run once for every allocation it makes, that allocation failing.
TEST_F(MemoryTest, EachFailedAllocationFailsTheStatementAndTheEngineGoesOn) {
  const std::string sql =
      "select p.productname as product, count(u.userid) as n, max(u.name) as last "
      "from users u, products p where u.productid = p.productid and u.userid in "
      "(select userid from users where name like '%') group by product having n > 0 "
      "order by product desc";
  const Lines expected = {"product|n|last", "Pencil|1|Ann", "Icon set|2|bob", "Icon font|1|Cid"};
  bool finished = false;
  for (long n = 1; !finished && n < 100000; ++n) {
    TvekSQL engine;
    ASSERT_EQ(engine.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    const int result = RunFailingAllocation(engine, sql, n, finished);
    ASSERT_FALSE(HasFailure());
    if (result > 0) {
      // Done without the allocation that failed (a sort goes on without its
      // extra buffer), or with all it asked for.
      ASSERT_EQ(Rows(*engine.GetRecordSet(result)), expected) << "allocation " << n;
      continue;
    }
    ASSERT_EQ(TvekSQL::GetLastError(), "Out of memory") << "allocation " << n;
    // The same engine answers the statement once memory is there again.
    const int again = engine.ExecuteSQL(sql);
    ASSERT_GT(again, 0) << "allocation " << n << ": " << TvekSQL::GetLastError();
    ASSERT_EQ(Rows(*engine.GetRecordSet(again)), expected) << "allocation " << n;
  }
  EXPECT_TRUE(finished);
}

// Statements that change a table and write it: a failed allocation anywhere
// fails the batch with "Out of memory", and the file is the old one or the new
// one, whole.
TEST_F(MemoryTest, EachFailedAllocationInAChangeLeavesTheFileWhole) {
  const std::string sql =
      "insert into users (userid, name, productid) values ('5', 'Eve', '10'); "
      "update users set name = upper(name) where userid > 3; "
      "delete from users where userid in (select userid from users where name = 'Ann'); "
      "alter table users add column note 'n'; commit";
  const std::string old_file = dir_.Read("users.txt");
  const std::string new_file =
      "userid;name;productid;note\n2;bob;9;n\n3;Cid;100;n\n4;DEE;9;n\n5;EVE;10;n\n";
  bool finished = false;
  for (long n = 1; !finished && n < 100000; ++n) {
    dir_.Write("users.txt", old_file);
    TvekSQL engine;
    ASSERT_EQ(engine.ExecuteSQL("connect to '" + dir_.path() + "'"), -1);
    const int result = RunFailingAllocation(engine, sql, n, finished);
    ASSERT_FALSE(HasFailure());
    const std::string file = dir_.Read("users.txt");
    if (result == -1) {
      ASSERT_EQ(file, new_file) << "allocation " << n;
      continue;
    }
    ASSERT_EQ(result, 0) << "allocation " << n;
    ASSERT_EQ(TvekSQL::GetLastError(), "Out of memory") << "allocation " << n;
    ASSERT_TRUE(file == old_file || file == new_file) << "allocation " << n << ": " << file;
    ASSERT_EQ(FileNames(dir_.path()), (Lines{"products.txt", "users.txt"})) << "allocation " << n;
  }
  EXPECT_TRUE(finished);
}

// Thousands of levels of "in (select ...)" are refused, and reading them takes
// a few times the statement's size: no level holds a copy of its own text, as
// they once did, with memory growing with the square of the depth.
TEST_F(MemoryTest, NestedSubSelectsTakeMemoryInProportionToTheStatement) {
  std::string sql = "select name from users where userid in (";
  const int levels = 20000;
  for (int i = 1; i < levels; ++i) sql += "select userid from users where userid in (";
  sql += "select userid from users";
  sql.append(levels, ')');

  const std::size_t before = live_bytes;
  peak_bytes = live_bytes;
  EXPECT_EQ(engine_.ExecuteSQL(sql), 0);
  EXPECT_EQ(TvekSQL::GetLastError(), "Sub-select nested too deeply");
  EXPECT_LT(peak_bytes - before, 8 * sql.size());
}

}  // namespace
}  // namespace vek::testing

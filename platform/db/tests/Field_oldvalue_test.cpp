// A field's old value: read through the dataset in the temporary old-value
// state, which ends also when the read throws; and the update error keeping the
// error it wraps.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "testing/ListDataSet.h"

namespace {

// Gives "old" for any field in the old-value state, or throws there when told.
class OldValueDataSet : public ListDataSet {
 public:
  bool throw_old = false;
  mutable int old_reads = 0;

 protected:
  bool GetFieldData(const db::Field& field, db::FieldData& data) const override {
    if (State() != db::DataSetState::kOldValue) return ListDataSet::GetFieldData(field, data);
    ++old_reads;
    if (throw_old) throw std::runtime_error("unreadable");
    data.s = "old";
    return true;
  }
};

class OldValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_.FieldDefs().Add("NAME", db::FieldType::ftString, 10);
    db::RecordBuffer row(1);
    row[0].is_null = false;
    row[0].s = "new";
    ds_.rows.push_back(row);
  }
  OldValueDataSet ds_;
};

TEST_F(OldValueTest, TheOldValueIsReadInTheOldValueStateWhichThenEnds) {
  ds_.Open();
  db::Field& name = ds_.FieldByName("NAME");
  for (bool editing : {false, true}) {
    SCOPED_TRACE(editing);
    if (editing) ds_.Edit();
    const db::DataSetState state = ds_.State();
    EXPECT_EQ(name.OldValue().s, "old");
    EXPECT_EQ(name.AsString(), "new");
    EXPECT_EQ(ds_.State(), state);

    ds_.throw_old = true;
    EXPECT_THROW(name.OldValue(), std::runtime_error);
    EXPECT_EQ(ds_.State(), state);
    ds_.throw_old = false;
  }
}

TEST_F(OldValueTest, AClosedDatasetHasNoOldValues) {
  ds_.CreateFields();
  ds_.Open();
  ds_.Close();
  EXPECT_TRUE(ds_.FieldByName("NAME").OldValue().IsNull());
  EXPECT_EQ(ds_.old_reads, 0);
  EXPECT_EQ(ds_.State(), db::DataSetState::kInactive);
}

TEST(UpdateErrorTest, KeepsTheErrorItWraps) {
  std::exception_ptr original;
  try {
    throw db::DatabaseError("locked");
  } catch (...) {
    original = std::current_exception();
  }
  db::UpdateError error("could not apply: locked", original);
  EXPECT_STREQ(error.what(), "could not apply: locked");
  try {
    std::rethrow_exception(error.OriginalException());
  } catch (const db::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "locked");
  }
}

}  // namespace

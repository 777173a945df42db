// The referential key's settings and its registration with its datasets. The
// cascades themselves live with the query dataset's hooks.
#include "datasets/VoReferentialKey.h"

#include <algorithm>

#include "datasets/VoQueryDataSet.h"
#include "db/DatabaseError.h"

namespace {

constexpr std::string_view kOwnSlave =
    "A referential key can not have one dataset as both its master and its slave";

void AddOnce(std::vector<TVoReferentialKey*>& list, TVoReferentialKey* key) {
  if (std::find(list.begin(), list.end(), key) == list.end()) list.push_back(key);
}

void Remove(std::vector<TVoReferentialKey*>& list, const TVoReferentialKey* key) noexcept {
  list.erase(std::remove(list.begin(), list.end(), key), list.end());
}

template <typename List>
bool Holds(const List& list, const TVoQueryDataSet* dataset) {
  return std::find(list.begin(), list.end(), dataset) != list.end();
}

}  // namespace

TVoReferentialKey::TVoReferentialKey() = default;

TVoReferentialKey::~TVoReferentialKey() {
  // Keys and datasets name each other without owning each other: a key that
  // went without leaving their lists would be walked by the next cascade.
  for (TVoQueryDataSet* dataset : Mentioned()) {
    if (dataset == nullptr) continue;
    Remove(dataset->key_lists_.master_keys, this);
    Remove(dataset->key_lists_.slave_keys, this);
    Remove(dataset->key_lists_.naming_keys, this);
  }
}

void TVoReferentialKey::SetJoinedFields(const std::vector<std::string>& lines) {
  if (&lines != &joined_fields_) joined_fields_ = lines;
}

void TVoReferentialKey::SetMasterDataSet(TVoQueryDataSet* dataset) {
  if (dataset == master_) return;
  // A dataset that is its own slave matches the row being deleted or edited
  // against its own rows while it walks them: it would delete or rewrite the
  // wrong rows.
  if (dataset != nullptr && dataset == slave_) throw db::DatabaseError(std::string(kOwnSlave));
  const Mentions before = Mentioned();
  if (master_ != nullptr) previous_master_ = master_;
  master_ = dataset;
  TrackMentions(before);
  RegisterKeyWithDatasets();
}

void TVoReferentialKey::SetSlaveDataSet(TVoQueryDataSet* dataset) {
  if (dataset == slave_) return;
  if (dataset != nullptr && dataset == master_) throw db::DatabaseError(std::string(kOwnSlave));
  const Mentions before = Mentioned();
  if (slave_ != nullptr) previous_slave_ = slave_;
  slave_ = dataset;
  TrackMentions(before);
  RegisterKeyWithDatasets();
}

void TVoReferentialKey::RegisterKeyWithDatasets() {
  if (master_ != nullptr && slave_ != nullptr) {
    AddOnce(master_->key_lists_.master_keys, this);
    AddOnce(slave_->key_lists_.slave_keys, this);
  }
  if (previous_master_ != nullptr && previous_master_ != master_) {
    Remove(previous_master_->key_lists_.master_keys, this);
  }
  if (previous_slave_ != nullptr && previous_slave_ != slave_) {
    Remove(previous_slave_->key_lists_.slave_keys, this);
  }
}

bool TVoReferentialKey::Acts(TVoReferentialAction action, const TVoQueryDataSet& hooked) const {
  auto usable = [](const TVoQueryDataSet* dataset) {
    return dataset != nullptr && dataset->Active() && dataset->FieldCount() > 0 &&
           dataset->FieldDefs().Count() == dataset->FieldCount();
  };
  return enabled_ && referential_kind_.Contains(action) && usable(master_) && usable(slave_) &&
         !hooked.InternalLoading();
}

void TVoReferentialKey::TrackMentions(const Mentions& before) {
  const Mentions after = Mentioned();
  for (TVoQueryDataSet* dataset : before) {
    if (dataset != nullptr && !Holds(after, dataset)) Remove(dataset->key_lists_.naming_keys, this);
  }
  for (TVoQueryDataSet* dataset : after) {
    if (dataset != nullptr) AddOnce(dataset->key_lists_.naming_keys, this);
  }
}

void TVoReferentialKey::ForgetDataSet(const TVoQueryDataSet* dataset) noexcept {
  for (TVoQueryDataSet** reference : {&master_, &slave_, &previous_master_, &previous_slave_}) {
    if (*reference == dataset) *reference = nullptr;
  }
}

TVoQueryDataSet::ReferentialKeyLists::~ReferentialKeyLists() {
  const std::vector<TVoReferentialKey*> keys = naming_keys;
  for (TVoReferentialKey* key : keys) key->ForgetDataSet(owner);
}

// TVoReferentialKey: a link between a master and a slave query dataset by pairs
// of fields, through which changes of the master reach the slave. A new slave
// row takes its joined fields from the master's current row (insert); changed
// key values of an edited master row are written into the slave rows that
// carried the old ones (update); deleting a master row deletes the slave rows
// that carry its key values (delete). The key only holds the settings and
// registers itself with both datasets; the cascades run in the query
// datasets' own event hooks.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class TVoQueryDataSet;

// One cascade a key can run.
enum TVoReferentialAction { rkInsert, rkUpdate, rkDelete };

// A set of cascades, any combination of rkInsert, rkUpdate and rkDelete.
class TVoReferentialKind {
 public:
  constexpr TVoReferentialKind() = default;
  constexpr TVoReferentialKind(std::initializer_list<TVoReferentialAction> actions) {
    for (TVoReferentialAction action : actions) bits_ |= Bit(action);
  }

  constexpr bool Contains(TVoReferentialAction action) const { return (bits_ & Bit(action)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TVoReferentialKind& Include(TVoReferentialAction action) {
    bits_ |= Bit(action);
    return *this;
  }
  constexpr TVoReferentialKind& Exclude(TVoReferentialAction action) {
    bits_ &= static_cast<std::uint8_t>(~Bit(action));
    return *this;
  }
  friend constexpr bool operator==(TVoReferentialKind, TVoReferentialKind) = default;

 private:
  static constexpr std::uint8_t Bit(TVoReferentialAction action) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(action));
  }
  std::uint8_t bits_ = 0;
};

class TVoReferentialKey {
 public:
  TVoReferentialKey();
  // Leaves the lists of every dataset it is registered with; never throws.
  ~TVoReferentialKey();
  TVoReferentialKey(const TVoReferentialKey&) = delete;
  TVoReferentialKey& operator=(const TVoReferentialKey&) = delete;

  // The key acts only while enabled. Off at first.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

  // One line per field pair: the slave field's name, "=", the master field's
  // name; a line without "=" names the same field in both datasets. The name
  // part is the text before the first "=", untrimmed; when the parts name no
  // fields, the whole line is tried as the name on both sides.
  std::vector<std::string>& JoinedFields() { return joined_fields_; }
  const std::vector<std::string>& JoinedFields() const { return joined_fields_; }
  void SetJoinedFields(const std::vector<std::string>& lines);

  // Which cascades run. Empty at first.
  TVoReferentialKind ReferentialKind() const { return referential_kind_; }
  void SetReferentialKind(TVoReferentialKind value) { referential_kind_ = value; }

  // The master and the slave; not owned. Writing a new value makes the one it
  // replaces (when there was one) the previous one, then registers the key
  // (RegisterKeyWithDatasets). DatabaseError "A referential key can not have
  // one dataset as both its master and its slave" for the dataset that is the
  // other side already; nothing changes then. A dataset destroyed while the key
  // names it vanishes from the key: every reference to it becomes none.
  TVoQueryDataSet* MasterDataSet() const { return master_; }
  void SetMasterDataSet(TVoQueryDataSet* dataset);
  TVoQueryDataSet* PreviousMasterDataSet() const { return previous_master_; }
  TVoQueryDataSet* SlaveDataSet() const { return slave_; }
  void SetSlaveDataSet(TVoQueryDataSet* dataset);
  TVoQueryDataSet* PreviousSlaveDataSet() const { return previous_slave_; }

  // With both a master and a slave, lists the key in the master's MasterKeys
  // and the slave's SlaveKeys (once each); a key with one side only waits for
  // the other. Then leaves the MasterKeys of a previous master other than the
  // current one, and the SlaveKeys of such a previous slave.
  void RegisterKeyWithDatasets();

  // Whether the cascade `action` runs for this key from a hook of `hooked`:
  // both datasets open, each with at least one field object and one per
  // definition, the key enabled, `action` in ReferentialKind, and `hooked`
  // not loading.
  bool Acts(TVoReferentialAction action, const TVoQueryDataSet& hooked) const;

 private:
  friend class TVoQueryDataSet;

  using Mentions = std::array<TVoQueryDataSet*, 4>;
  // Every dataset the key names, as master, slave or a previous one.
  Mentions Mentioned() const { return {master_, slave_, previous_master_, previous_slave_}; }
  // Brings the lists of the datasets that name their keys up to date after the
  // key's references changed from `before`.
  void TrackMentions(const Mentions& before);
  // Called by a dataset being destroyed: every reference to it becomes none;
  // the dataset's own lists are not touched.
  void ForgetDataSet(const TVoQueryDataSet* dataset) noexcept;

  bool enabled_ = false;
  std::vector<std::string> joined_fields_;
  TVoQueryDataSet* master_ = nullptr;
  TVoQueryDataSet* previous_master_ = nullptr;
  TVoReferentialKind referential_kind_;
  TVoQueryDataSet* slave_ = nullptr;
  TVoQueryDataSet* previous_slave_ = nullptr;
};

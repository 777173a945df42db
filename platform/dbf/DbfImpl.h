// The inside of a TDbf, shared by its implementation files: the settings, the
// open table file, the view (the rows shown, in the active tag's order), the
// in-memory tags, the master/detail link and the record being edited.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbf/Dbf.h"
#include "dbf/DbfFile.h"

namespace dbf {

// A detail hears its master through the framework's observers when the master
// is not a TDbf.
class MasterObserver : public db::DataSetObserver {
 public:
  explicit MasterObserver(TDbf::Impl& detail) : detail_(detail) {}
  void OnDataEvent(db::DataSet& dataset, db::DataEvent event) override;

 private:
  TDbf::Impl& detail_;
};

struct TDbf::Impl {
  explicit Impl(TDbf& owner) : self(owner) {}

  TDbf& self;

  // Settings.
  std::string folder;
  std::string table;
  bool exclusive = true;
  std::vector<FieldDef> stored_fields;
  std::vector<IndexDef> stored_indexes;
  std::string index_name;
  db::DataSet* master = nullptr;
  TDbf* master_dbf = nullptr;                // the master when it is a TDbf (linked directly)
  std::unique_ptr<MasterObserver> observer;  // for any other master
  std::string master_field;
  std::vector<TDbf*> details;

  // The open table.
  TableFile file;
  std::vector<bool> may_cut;  // by field of the file
  // The rows shown, as indexes into file.Rows(), and the cursor: -1 before the
  // first, view.size() after the last.
  std::vector<std::uint32_t> view;
  int cursor = -1;
  // Bookmarks name a row index; a pack renumbers the rows, so it starts a new
  // generation.
  std::uint32_t generation = 1;

  // Tags, resolved against the file's fields on open.
  int tag_field = -1;  // the active tag's field; -1: record order
  bool tag_unique = false;
  struct PrimaryTag {
    std::string name;
    int field;
    std::unordered_map<std::string, std::uint32_t> keys;  // key text -> row
  };
  std::vector<PrimaryTag> primaries;
  // The master's key the view was built for; no master row: nothing is shown.
  bool master_row = true;
  std::string master_key;

  // The record being edited or inserted.
  bool editing = false;
  bool inserting = false;
  std::uint32_t edit_row = 0;
  std::string edit_image;
  std::vector<std::shared_ptr<std::string>> edit_memos;  // by memo slot
  std::vector<bool> memo_changed;
  // A text longer than its field and not allowed to be cut: kept so that the
  // post can refuse it, by field of the file.
  std::vector<std::string> overflow;
  std::vector<bool> has_overflow;

  std::string Path() const { return folder + table; }
  const FieldLayout& Layout(int field) const {
    return file.Fields()[static_cast<std::size_t>(field)];
  }
  const Row* CurrentRow() const;

  // Dbf_view.cpp
  void ResolveTags();
  void RebuildPrimaries();
  void UpdateMasterKey();
  bool Visible(std::uint32_t row) const;
  void RebuildView();
  void AddToView(std::uint32_t row);
  int PositionOf(std::uint32_t row) const;
  void LinkMaster(db::DataSet* new_master);
  void UnlinkMaster();
  void FollowMaster();
  void NotifyDetails();
  void CheckMasterRow() const;
};

// The text of a row's key in a tag: integers in decimal, texts without their
// trailing blanks; "" for null.
std::string KeyText(std::string_view image, const FieldLayout& field);
// Tag order of two rows' keys: integers by value, texts by their bytes.
int CompareKeys(std::string_view a, std::string_view b, const FieldLayout& field);

}  // namespace dbf

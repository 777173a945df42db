// Saving and loading a buffered dataset through packets: the change log's
// records and its cancel after a reload, deleted records coming back in their
// order, loading under a sorted index, FileName on open and close, a failed
// save, and a packet inside a larger stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "datasets/BinaryDatapacketReader.h"
#include "datasets/Reporter.h"
#include "datasets/VoBufDataset.h"
#include "packet_bytes.h"
#include "testing/temp_folder.h"

namespace {

using db::FieldType;
using db::UpdateKind;
using db::UpdateStatus;
using Rows = std::vector<std::string>;
using Written = vo_testing::RecordingWriter::Written;
using vo_testing::OneFieldHeader;
using vo_testing::PacketBytes;

constexpr TRowState kOriginal = 1, kDeleted = 2, kInserted = 4, kUpdated = 8;

// The apply hook made replaceable.
class ChangeDataset : public TVoBufDataset {
 public:
  std::function<void(UpdateKind)> hook;

 protected:
  void ApplyRecUpdate(UpdateKind kind) override {
    if (hook) {
      hook(kind);
    } else {
      TVoBufDataset::ApplyRecUpdate(kind);
    }
  }
};

class PacketTest : public ::testing::Test {
 protected:
  // A NAME/QTY dataset holding `names` (QTY counting from 1), the log applied.
  static void Fill(ChangeDataset& ds, const Rows& names) {
    ds.FieldDefs().Add("NAME", FieldType::ftString, 10);
    ds.FieldDefs().Add("QTY", FieldType::ftInteger);
    ds.SetMaxIndexesCount(4);
    ds.CreateDataset();
    ds.Open();
    int qty = 0;
    for (const std::string& name : names) Add(ds, name, ++qty);
    ds.hook = [](UpdateKind) {};
    ds.ApplyUpdates();
    ds.hook = nullptr;
  }
  static void Add(TVoBufDataset& ds, const std::string& name, int qty) {
    ds.Append();
    ds.FieldByName("NAME").SetAsString(name);
    ds.FieldByName("QTY").SetAsInteger(qty);
    ds.Post();
  }
  static void GoTo(TVoBufDataset& ds, const std::string& name) {
    for (ds.First(); !ds.Eof(); ds.Next()) {
      if (ds.FieldByName("NAME").AsString() == name) return;
    }
    FAIL() << "no record " << name;
  }
  static void Remove(TVoBufDataset& ds, const std::string& name) {
    GoTo(ds, name);
    ds.Delete();
  }
  static void Rename(TVoBufDataset& ds, const std::string& name, const std::string& new_name) {
    GoTo(ds, name);
    ds.Edit();
    ds.FieldByName("NAME").SetAsString(new_name);
    ds.Post();
  }
  // The names in the current order, read forward and checked backward.
  static Rows Names(TVoBufDataset& ds) {
    Rows forward;
    for (ds.First(); !ds.Eof(); ds.Next()) forward.push_back(ds.FieldByName("NAME").AsString());
    Rows backward;
    for (ds.Last(); !ds.Bof(); ds.Prior()) backward.push_back(ds.FieldByName("NAME").AsString());
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    return forward;
  }
  static std::vector<Written> Records(TVoBufDataset& ds) {
    vo_testing::RecordingWriter writer;
    ds.WritePacket(writer);
    return writer.records;
  }
  static std::string Save(TVoBufDataset& ds) {
    std::ostringstream out;
    ds.SaveToStream(out);
    return out.str();
  }
  static void Load(TVoBufDataset& ds, const std::string& bytes) {
    std::istringstream in(bytes);
    ds.LoadFromStream(in);
  }
};

// Every kind of entry, in the records the packet format defines, reloaded with its
// log, and cancelled after the reload back to the rows before the changes.
TEST_F(PacketTest, TheChangeLogTravelsAndCancelsAfterAReload) {
  ChangeDataset ds;
  Fill(ds, {"a", "b", "c", "d", "e"});
  Rename(ds, "b", "B");  // log 0: modified
  Remove(ds, "c");       // log 1: deleted, followed by d
  GoTo(ds, "d");         // log 2: inserted before d
  ds.Insert();
  ds.FieldByName("NAME").SetAsString("x");
  ds.Post();
  Add(ds, "y", 9);  // log 3: inserted, then deleted: nothing travels
  Remove(ds, "y");
  Remove(ds, "e");  // log 4: deleted, followed by nothing
  const std::vector<Written> expected = {
      {0, 0, "a"},        {kOriginal, 0, "b"}, {kUpdated, 0, "B"}, {kInserted, 2, "x"},
      {kDeleted, 1, "c"}, {0, 0, "d"},         {kDeleted, 3, "e"},
  };
  EXPECT_EQ(Records(ds), expected);

  const std::string packet = Save(ds);
  ChangeDataset loaded;
  Load(loaded, packet);
  EXPECT_EQ(Names(loaded), (Rows{"a", "B", "x", "d"}));
  EXPECT_EQ(loaded.GetChangeCount(), 4);
  EXPECT_EQ(Records(loaded), expected);
  EXPECT_EQ(Save(loaded), packet);
  GoTo(loaded, "B");
  EXPECT_EQ(loaded.UpdateStatus(), UpdateStatus::usModified);
  EXPECT_EQ(loaded.FieldByName("NAME").OldValue().s, "b");
  GoTo(loaded, "x");
  EXPECT_EQ(loaded.UpdateStatus(), UpdateStatus::usInserted);
  EXPECT_TRUE(loaded.FieldByName("NAME").OldValue().IsNull());
  GoTo(loaded, "a");
  EXPECT_EQ(loaded.UpdateStatus(), UpdateStatus::usUnmodified);

  // The hook sees the entries in their order.
  std::vector<UpdateKind> applied;
  loaded.hook = [](UpdateKind) { throw db::DatabaseError("not now"); };
  loaded.OnUpdateError = [&](db::DataSet&, db::DataSet&, db::UpdateError&, UpdateKind kind,
                             db::ResolverResponse& response) {
    applied.push_back(kind);
    response = db::ResolverResponse::rrSkip;
  };
  loaded.ApplyUpdates(-1);
  EXPECT_EQ(applied, (std::vector<UpdateKind>{UpdateKind::ukModify, UpdateKind::ukDelete,
                                              UpdateKind::ukInsert, UpdateKind::ukDelete}));

  loaded.CancelUpdates();
  EXPECT_EQ(Names(loaded), (Rows{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(loaded.GetChangeCount(), 0);
}

// A hand-made packet of every sequence loads and saves back to the same bytes.
TEST_F(PacketTest, AHandMadePacketSavesBackByteForByte) {
  PacketBytes bytes = OneFieldHeader();
  bytes.Row(0, 0, "r1")
      .Row(kOriginal, 0, "o2")
      .Row(kUpdated, 0, "r2")
      .Row(kDeleted, 1, "d3")
      .Row(kInserted, 2, "r4")
      .Row(kDeleted, 4, "d6")
      .Row(kDeleted, 5, "d7")
      .Row(0, 0, "r8")
      .Row(kDeleted, 3, "d9");
  TVoBufDataset ds;
  Load(ds, bytes.str());
  EXPECT_EQ(Save(ds), bytes.str());
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(ds.GetChangeCount(), 6);
  ds.CancelUpdates();
  Rows names;
  for (ds.First(); !ds.Eof(); ds.Next()) names.push_back(ds.FieldByName("a").AsString());
  EXPECT_EQ(names, (Rows{"r1", "o2", "d3", "d6", "d7", "r8", "d9"}));
}

// Records deleted one after another come back where they stood: the one
// deleted last stood furthest left among those before one record.
TEST_F(PacketTest, DeletedNeighboursComeBackInTheirOrder) {
  struct Case {
    const char* name;
    Rows deletions;
    Rows written;  // the deleted names in the packet, in order
  };
  const std::vector<Case> cases = {
      {"left then right", {"b", "c"}, {"b", "c"}},
      {"right then left", {"c", "b"}, {"b", "c"}},
      // a and b were both followed by c when they went, and c went after them.
      {"two before one that went last", {"b", "a", "c"}, {"a", "b", "c"}},
      {"the last two", {"e", "d"}, {"d", "e"}},
      {"all from the top", {"a", "b", "c", "d", "e"}, {"a", "b", "c", "d", "e"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChangeDataset ds;
    Fill(ds, {"a", "b", "c", "d", "e"});
    for (const std::string& name : c.deletions) Remove(ds, name);
    Rows written;
    for (const Written& w : Records(ds)) {
      if (w.state == kDeleted) written.push_back(w.first);
    }
    EXPECT_EQ(written, c.written);
    ChangeDataset loaded;
    Load(loaded, Save(ds));
    loaded.CancelUpdates();
    EXPECT_EQ(Names(loaded), (Rows{"a", "b", "c", "d", "e"}));
  }
}

// A table deleted from its top makes one chain of deletions as long as the
// table; it is written and put back without one step per link.
TEST_F(PacketTest, ALongChainOfDeletionsSavesAndCancels) {
  ChangeDataset ds;
  Rows names;
  for (int i = 0; i < 20000; ++i) names.push_back(std::to_string(i));
  Fill(ds, names);
  ds.First();
  while (!ds.IsEmpty()) ds.Delete();
  ChangeDataset loaded;
  Load(loaded, Save(ds));
  EXPECT_EQ(loaded.RecordCount(), 0);
  EXPECT_EQ(loaded.GetChangeCount(), 20000);
  loaded.CancelUpdates();
  EXPECT_EQ(Names(loaded), names);
}

// A deletion whose follower's own deletion was applied is still written, in
// front of what followed that one; so is one deleted while another index was
// current, last in that index.
TEST_F(PacketTest, NoDeletionIsDropped) {
  {
    SCOPED_TRACE("follower applied");
    ChangeDataset ds;
    Fill(ds, {"a", "b", "c"});
    Remove(ds, "a");  // followed by b
    Remove(ds, "b");  // followed by c
    ds.hook = [&](UpdateKind) {
      if (ds.FieldByName("NAME").AsString() == "a") throw db::DatabaseError("refused");
    };
    ds.OnUpdateError = [](db::DataSet&, db::DataSet&, db::UpdateError&, UpdateKind,
                          db::ResolverResponse& response) {
      response = db::ResolverResponse::rrSkip;
    };
    ds.ApplyUpdates(-1);
    ASSERT_EQ(ds.GetChangeCount(), 2);
    EXPECT_EQ(Records(ds), (std::vector<Written>{{kDeleted, 0, "a"}, {0, 0, "c"}}));
  }
  {
    SCOPED_TRACE("last in another index");
    ChangeDataset ds;
    Fill(ds, {"b", "z", "a"});
    ds.AddIndex("ByName", "NAME");
    ds.SetIndexName("ByName");
    Remove(ds, "z");
    ds.SetIndexName("DEFAULT_ORDER");
    ChangeDataset loaded;
    Load(loaded, Save(ds));
    EXPECT_EQ(Names(loaded), (Rows{"b", "a"}));
    loaded.CancelUpdates();
    EXPECT_EQ(Names(loaded), (Rows{"b", "z", "a"}));
  }
}

// Loaded under a sorted index, the rows show in its order; a cancelled
// deletion goes back there by its keys.
TEST_F(PacketTest, LoadingUnderASortedIndexShowsItsOrder) {
  ChangeDataset ds;
  Fill(ds, {"c", "a", "d", "b"});
  Remove(ds, "d");
  const std::string packet = Save(ds);

  ChangeDataset loaded;
  loaded.AddIndex("ByName", "NAME");
  loaded.AddIndex("ByQtyDesc", "QTY", 0, "QTY");
  loaded.SetIndexName("ByName");
  Load(loaded, packet);
  EXPECT_EQ(loaded.IndexName(), "ByName");
  EXPECT_EQ(Names(loaded), (Rows{"a", "b", "c"}));
  loaded.CancelUpdates();
  EXPECT_EQ(Names(loaded), (Rows{"a", "b", "c", "d"}));
  loaded.SetIndexName("ByQtyDesc");
  EXPECT_EQ(Names(loaded), (Rows{"b", "d", "a", "c"}));
  loaded.SetIndexName("DEFAULT_ORDER");
  EXPECT_EQ(Names(loaded), (Rows{"c", "a", "d", "b"}));
}

TEST_F(PacketTest, ReadingIntoAnOpenDatasetIsRefused) {
  ChangeDataset ds;
  ds.SetName("Orders");
  Fill(ds, {"a"});
  std::istringstream in(Save(ds));
  TBinaryDatapacketReader reader(in);
  try {
    ds.ReadPacket(reader);
    FAIL() << "read";
  } catch (const db::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Orders : Operation cannot be performed on an active dataset");
  }
  EXPECT_EQ(Names(ds), Rows{"a"});
}

// The packet need not start the stream: it is read from where it starts.
TEST_F(PacketTest, APacketInsideALargerStreamLoads) {
  ChangeDataset ds;
  Fill(ds, {"a", "b"});
  std::istringstream in("leading bytes:" + Save(ds) + "trailing");
  in.seekg(14);
  ChangeDataset loaded;
  loaded.LoadFromStream(in);
  EXPECT_EQ(Names(loaded), (Rows{"a", "b"}));
}

// A read error right after a whole record is not the end of the records: the
// packet fails to load instead of loading as the rows before the error.
TEST_F(PacketTest, AReadErrorBetweenRecordsFailsTheLoad) {
  // Serves its bytes, but a read that starts at `fail_at` fails as a disk
  // would, instead of giving the rest.
  class FailingStream : public std::stringbuf {
   public:
    FailingStream(const std::string& bytes, std::streamsize fail_at)
        : std::stringbuf(bytes), fail_at_(fail_at) {}

   protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
      if (seekoff(0, std::ios_base::cur, std::ios_base::in) == fail_at_) {
        throw std::runtime_error("read error");
      }
      return std::stringbuf::xsgetn(s, n);
    }

   private:
    std::streamsize fail_at_;
  };
  // Rows of one text field, its size chosen so that a record ends exactly where
  // the reader's first 64 KiB piece does: the next read starts between records.
  const auto packet = [](const std::string& name, int size, int rows) {
    TVoBufDataset ds;
    ds.FieldDefs().Add(name, FieldType::ftString, size);
    ds.CreateDataset();
    ds.Open();
    for (int i = 0; i < rows; ++i) {
      ds.Append();
      ds.FieldByName(name).SetAsString("row" + std::to_string(i));
      ds.Post();
    }
    return Save(ds);
  };
  constexpr std::size_t kPiece = 1 << 16;
  std::string name;
  int size = 0;
  std::size_t header = 0, record = 0;
  for (name = "N"; name.size() < 40 && size == 0; name += "N") {
    for (int s = 10; s < 100; ++s) {
      header = packet(name, s, 0).size();
      record = packet(name, s, 1).size() - header;
      if ((kPiece - header) % record == 0) {
        size = s;
        break;
      }
    }
  }
  ASSERT_NE(size, 0);
  name.pop_back();
  const int rows = static_cast<int>((kPiece - header) / record) + 5;
  FailingStream buffer(packet(name, size, rows), kPiece);
  std::istream in(&buffer);
  TVoBufDataset loaded;
  EXPECT_THROW(loaded.LoadFromStream(in), db::DatabaseError);
  EXPECT_FALSE(loaded.Active());
}

TEST_F(PacketTest, FileNameIsReadOnOpenAndWrittenOnClose) {
  rtl::testing::TempFolder dir;
  const std::string file = dir.File("orders.pkt");
  {
    ChangeDataset ds;
    Fill(ds, {"a", "b"});
    ds.SaveToFile(file);
  }
  ChangeDataset ds;
  ds.SetFileName(file);
  ds.Open();
  EXPECT_EQ(Names(ds), (Rows{"a", "b"}));
  Rename(ds, "a", "A");
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(dir.Entries(), Rows{"orders.pkt"});

  ds.Open();
  EXPECT_EQ(Names(ds), (Rows{"A", "b"}));
  ds.CancelUpdates();
  EXPECT_EQ(Names(ds), (Rows{"a", "b"}));
  ds.SetFileName("");
  ds.Close();

  ChangeDataset loaded;
  loaded.LoadFromFile(file);
  EXPECT_EQ(loaded.GetChangeCount(), 1);
  try {
    ChangeDataset missing;
    missing.LoadFromFile(dir.File("none.pkt"));
    FAIL() << "loaded";
  } catch (const db::DatabaseError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not open file " + dir.File("none.pkt") + ": No such file or directory");
  }
}

// A close whose save fails keeps the dataset open with everything in it; a
// dataset destroyed with a failing save says so once.
TEST_F(PacketTest, AFailedSaveLosesNothing) {
  rtl::testing::TempFolder dir;
  const std::string bad = dir.File("missing-folder/orders.pkt");
  RecordingReporter messages;
  {
    ChangeDataset ds;
    Fill(ds, {"a", "b"});
    EXPECT_THROW(ds.SaveToFile(), db::DatabaseError);  // no file named at all
    ds.SetFileName(bad);
    EXPECT_THROW(ds.Close(), db::DatabaseError);
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(Names(ds), (Rows{"a", "b"}));
    ds.SetFileName(dir.File("orders.pkt"));
    ds.Close();
    EXPECT_FALSE(ds.Active());
    ds.Open();
    EXPECT_EQ(Names(ds), (Rows{"a", "b"}));
    ds.SetFileName(bad);
  }
  ASSERT_EQ(messages.Texts.size(), 1u);
  EXPECT_NE(messages.Texts[0].find("missing-folder/orders.pkt"), std::string::npos)
      << messages.Texts[0];
  EXPECT_EQ(dir.Entries(), Rows{"orders.pkt"});
}

}  // namespace

// TVoBufDataset's packets: saving the dataset with its change log to a file or
// a stream, reading it back while the dataset opens, and FileName's part in
// opening and closing.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <streambuf>
#include <unordered_map>

#include "datasets/BinaryDatapacketReader.h"
#include "datasets/Reporter.h"
#include "datasets/VoBufDataset.h"
#include "rtl/AtomicFile.h"

namespace {

// Hands what a stream writes to a whole-or-nothing file writer.
class AtomicFileBuf : public std::streambuf {
 public:
  explicit AtomicFileBuf(rtl::AtomicFileWriter& file) : file_(file) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    return file_.Append(std::string_view(data, static_cast<std::size_t>(count))) ? count : 0;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return file_.Append(std::string_view(&byte, 1)) ? c : traits_type::eof();
  }

 private:
  rtl::AtomicFileWriter& file_;
};

std::unique_ptr<std::istream> OpenForReading(const std::string& name) {
  auto file = std::make_unique<std::ifstream>(name, std::ios::binary);
  if (!file->is_open()) {
    throw db::DatabaseError("Could not open file " + name + ": " + std::strerror(errno));
  }
  return file;
}

}  // namespace

// --- Saving -------------------------------------------------------------------

void TVoBufDataset::SaveToFile(std::string_view file_name, TDataPacketFormat format) {
  CheckActive();
  const std::string target(file_name.empty() ? std::string_view(file_name_) : file_name);
  if (target.empty()) Raise("No file name to save the dataset packet to");
  rtl::AtomicFileWriter file(target);
  if (!file.Open()) throw db::DatabaseError(file.Error());
  AtomicFileBuf buffer(file);
  std::ostream stream(&buffer);
  try {
    SaveToStream(stream, format);
  } catch (const db::DatabaseError&) {
    // The stream only knows that writing failed; the file says why.
    if (!file.Error().empty()) throw db::DatabaseError(file.Error());
    throw;
  }
  if (!file.Commit()) throw db::DatabaseError(file.Error());
}

void TVoBufDataset::SaveToStream(std::ostream& stream, TDataPacketFormat format) {
  CheckActive();
  std::unique_ptr<TDataPacketReader> writer;
  TDatapacketReaderRegistration registration;
  if (FindRegisteredReader(nullptr, format, registration) &&
      registration.ReaderClass.CreateWriter) {
    writer = registration.ReaderClass.CreateWriter(stream);
  } else if (format == dfBinary) {
    writer = std::make_unique<TBinaryDatapacketReader>(stream);
  } else {
    throw db::DatabaseError(std::string(kSNoReaderClass));
  }
  WritePacket(*writer);
}

// Every stored record of the current index, in its order, each preceded by the
// deletions that stood before it and, when modified, by its old image; then the
// deletions that stood last. Deletions before one record are written in the
// reverse order of their deleting (the one deleted last stood furthest left),
// each after the deletions that stood before it in turn, so that the records
// come in the order they stood in. A deletion whose follower is not met on the
// walk is still written, at the end: nothing the log holds is dropped.
void TVoBufDataset::WritePacket(TDataPacketReader& writer) {
  CheckActive();
  writer.WriteFieldDefs(FieldDefs());
  const std::size_t log_size = log_.size();

  // Update orders count only the entries that travel, so that entries that
  // carry nothing (an insert deleted again, a change already applied) leave no
  // gap for the reader to take for a damaged packet.
  std::vector<std::int32_t> order(log_size, 0);
  std::int32_t travelling = 0;
  for (std::size_t i = 0; i < log_size; ++i) {
    const TRecUpdateBuffer& entry = log_[i];
    const bool travels =
        entry.Record != db::kNoRecord &&
        (entry.UpdateKind != db::UpdateKind::ukDelete || entry.OldImage != db::kNoRecord);
    if (travels) order[i] = travelling++;
  }

  // Each deletion's record (an applied one keeps it until the log is emptied)
  // and the deletions by the record that followed them in the index walked.
  std::vector<db::RecordId> deleted(log_size, db::kNoRecord);
  for (std::size_t i = 0; i < log_size; ++i) {
    if (log_[i].UpdateKind == db::UpdateKind::ukDelete) deleted[i] = log_[i].Record;
  }
  for (db::RecordId record : log_.AppliedDeletions()) {
    const std::uint32_t entry = EntryIndexOf(record);
    if (entry != kNoEntry) deleted[entry] = record;
  }
  const std::size_t slot = current_index_;
  std::unordered_map<db::RecordId, std::vector<std::uint32_t>> before;
  for (std::size_t k = log_.DeletionEvents().size(); k-- > 0;) {
    const std::uint32_t e = log_.DeletionEvents()[k].entry;
    const TRecUpdateBuffer& entry = log_[e];
    if (entry.UpdateKind != db::UpdateKind::ukDelete || entry.Deletion == TRecUpdateBuffer::kNone) {
      continue;
    }
    const db::RecordId* followers = log_.Followers(entry);
    db::RecordId follower = followers[0];
    if (slot < entry.SuccessorCount && followers[1 + slot] != kUnknownFollower) {
      follower = followers[1 + slot];
    }
    before[follower].push_back(e);
  }

  // A deletion after the deletions before it, without recursion: deleting a
  // table from its top makes a chain as long as the table.
  std::vector<std::uint8_t> written(log_size, 0);
  struct Frame {
    std::uint32_t entry;
    std::size_t child;
  };
  std::vector<Frame> stack;
  auto children_of = [&](std::uint32_t e) -> const std::vector<std::uint32_t>* {
    if (deleted[e] == db::kNoRecord) return nullptr;
    auto it = before.find(deleted[e]);
    return it == before.end() ? nullptr : &it->second;
  };
  auto write_deletion = [&](std::uint32_t top) {
    if (written[top] != 0) return;
    written[top] = 1;
    stack.push_back({top, 0});
    while (!stack.empty()) {
      const std::uint32_t e = stack.back().entry;
      const std::vector<std::uint32_t>* children = children_of(e);
      if (children != nullptr && stack.back().child < children->size()) {
        const std::uint32_t child = (*children)[stack.back().child++];
        if (written[child] == 0) {
          written[child] = 1;
          stack.push_back({child, 0});
        }
        continue;
      }
      stack.pop_back();
      const TRecUpdateBuffer& entry = log_[e];
      if (entry.Record != db::kNoRecord && entry.OldImage != db::kNoRecord) {
        writer.WriteRecord(log_.OldImages().Get(entry.OldImage), RowStateOf(rsvDeleted),
                           order[e]);
      }
    }
  };
  auto write_deletions_before = [&](db::RecordId follower) {
    auto it = before.find(follower);
    if (it == before.end()) return;
    for (std::uint32_t e : it->second) write_deletion(e);
  };

  const TBufIndex& index = Current();
  for (db::RecordId r = index.FirstRecord(); r != TBufIndex::kSentinel; r = index.Next(r)) {
    if (!before.empty()) write_deletions_before(r);
    const std::uint32_t e = EntryIndexOf(r);
    if (e == kNoEntry || log_[e].Record != r) {
      writer.WriteRecord(store_.Get(r), 0, 0);
      continue;
    }
    const TRecUpdateBuffer& entry = log_[e];
    if (entry.UpdateKind == db::UpdateKind::ukModify) {
      writer.WriteRecord(log_.OldImages().Get(entry.OldImage), RowStateOf(rsvOriginal),
                         order[e]);
      writer.WriteRecord(store_.Get(r), RowStateOf(rsvUpdated), order[e]);
    } else {
      writer.WriteRecord(store_.Get(r), RowStateOf(rsvInserted), order[e]);
    }
  }
  write_deletions_before(TBufIndex::kSentinel);
  const std::vector<TVoChangeLog::DeletionEvent>& deletions = log_.DeletionEvents();
  for (std::size_t k = deletions.size(); k-- > 0;) write_deletion(deletions[k].entry);
  writer.EndWriteRecords();
}

// --- Loading ------------------------------------------------------------------

void TVoBufDataset::LoadFromFile(std::string_view file_name, TDataPacketFormat format) {
  CheckInactive();
  const std::string source(file_name.empty() ? std::string_view(file_name_) : file_name);
  std::unique_ptr<std::istream> file = OpenForReading(source);
  LoadFromStream(*file, format);
}

void TVoBufDataset::LoadFromStream(std::istream& stream, TDataPacketFormat format) {
  CheckInactive();
  std::unique_ptr<TDataPacketReader> reader;
  TDatapacketReaderRegistration registration;
  if (FindRegisteredReader(&stream, format, registration) &&
      registration.ReaderClass.CreateReader) {
    reader = registration.ReaderClass.CreateReader(stream);
  } else {
    // Back to where the packet starts, which need not be the stream's start.
    const std::streampos start = stream.tellg();
    if (start == std::streampos(-1)) RaiseStreamNotRecognised();
    const bool recognised = TBinaryDatapacketReader::IsPacketStream(stream);
    stream.clear();
    stream.seekg(start);
    if (!recognised || !stream) RaiseStreamNotRecognised();
    reader = std::make_unique<TBinaryDatapacketReader>(stream);
  }
  ReadPacket(*reader);
}

void TVoBufDataset::ReadPacket(TDataPacketReader& reader) {
  CheckInactive();
  packet_reader_ = &reader;
  try {
    Open();
  } catch (...) {
    packet_reader_ = nullptr;
    throw;
  }
  packet_reader_ = nullptr;
}

void TVoBufDataset::OpenPacketFile(const std::string& file_name) {
  packet_stream_ = OpenForReading(file_name);
  packet_file_reader_ = std::make_unique<TBinaryDatapacketReader>(*packet_stream_);
  packet_reader_ = packet_file_reader_.get();
}

void TVoBufDataset::ReleasePacketFile() noexcept {
  if (packet_file_reader_ != nullptr && packet_reader_ == packet_file_reader_.get()) {
    packet_reader_ = nullptr;
  }
  packet_file_reader_.reset();
  packet_stream_.reset();
}

void TVoBufDataset::InternalInitFieldDefs() {
  if (packet_reader_ == nullptr && PacketFileInUse()) OpenPacketFile(file_name_);
  if (packet_reader_ == nullptr) return;
  db::FieldDefList defs;
  packet_reader_->ReadFieldDefs(defs);
  defs_before_packet_ = std::move(FieldDefs());
  FieldDefs() = std::move(defs);
}

// The records go to DEFAULT_ORDER in the packet's order; the other indexes are
// sorted afterwards. The deletions are taken to have been made in their order
// in the packet, so each one's NextBookmark is the record read after it,
// deleted or not: a cancel, which undoes the last deletion first, then puts
// every deleted record back just before its follower, where it stood, at one
// step each. Its place in the other indexes is not in the packet: a cancel
// puts it there by its keys.
void TVoBufDataset::LoadPacketRecords() {
  TDataPacketReader& reader = *packet_reader_;
  reader.BeginReadRecords();
  // Deletions: the follower is the next record read.
  std::vector<TVoChangeLog::LoadedEntry> entries;
  std::size_t previous_deletion = entries.max_size();
  std::size_t records_read = 0;
  TBufIndex& default_order = *indexes_[0];
  db::RecordBuffer& values = scratch_;

  auto placed = [&](db::RecordId record, bool is_deleted) {
    if (previous_deletion != entries.max_size()) entries[previous_deletion].follower = record;
    previous_deletion = entries.max_size();
    if (is_deleted) {
      previous_deletion = entries.size() - 1;
      return;
    }
    default_order.Reserve(store_.IdLimit());
    default_order.InsertBefore(TBufIndex::kSentinel, record);
  };

  while (reader.NextRecordMarker()) {
    int order = 0;
    const TRowState state = reader.ReadRowState(order);
    ++records_read;
    if (order < 0) RaiseStreamNotRecognised();
    if (state == 0) {
      reader.ReadRecordImage(values);
      placed(store_.Add(values), false);
    } else if (state == RowStateOf(rsvOriginal)) {
      reader.ReadRecordImage(values);
      const db::RecordId old_image = log_.OldImages().Add(values);
      // The old image is followed at once by the record's own image.
      int second_order = 0;
      if (!reader.NextRecordMarker() ||
          reader.ReadRowState(second_order) != RowStateOf(rsvUpdated) || second_order != order) {
        RaiseStreamNotRecognised();
      }
      ++records_read;
      reader.ReadRecordImage(values);
      const db::RecordId record = store_.Add(values);
      entries.push_back({order, db::UpdateKind::ukModify, record, old_image});
      placed(record, false);
    } else if (state == RowStateOf(rsvDeleted)) {
      reader.ReadRecordImage(values);
      const db::RecordId old_image = log_.OldImages().Add(values);
      // Stored but in no index, as a deleted record is while the log names it.
      const db::RecordId record = store_.Add(values);
      entries.push_back({order, db::UpdateKind::ukDelete, record, old_image});
      placed(record, true);
    } else if (state == RowStateOf(rsvInserted)) {
      reader.ReadRecordImage(values);
      const db::RecordId record = store_.Add(values);
      entries.push_back({order, db::UpdateKind::ukInsert, record, db::kNoRecord});
      placed(record, false);
    } else {
      // An updated record without its old image, or states that cannot meet.
      RaiseStreamNotRecognised();
    }
    reader.SkipToNextRecord();
  }
  if (!entries.empty()) {
    // Every entry that travels carries at least one record, so an order at or
    // past the number of records is not one a packet can hold.
    std::vector<std::uint8_t> taken(records_read, 0);
    std::size_t log_size = 0;
    for (const TVoChangeLog::LoadedEntry& loaded : entries) {
      const auto at = static_cast<std::size_t>(loaded.order);
      if (at >= records_read || taken[at] != 0) RaiseStreamNotRecognised();
      taken[at] = 1;
      log_size = std::max(log_size, at + 1);
    }
    log_.Load(log_size, store_.IdLimit(), entries);
  }
  default_order.SetCursor(TBufIndex::kSentinel);
  BuildAllIndexes();
  defs_before_packet_.reset();
  ReleasePacketFile();
}

// --- Opening and closing with FileName -----------------------------------------

void TVoBufDataset::DoBeforeClose() {
  db::DataSet::DoBeforeClose();
  if (!PacketFileInUse()) return;
  if (!destroying_) {
    SaveToFile(file_name_, dfBinary);
    return;
  }
  try {
    SaveToFile(file_name_, dfBinary);
  } catch (const std::exception& e) {
    // A destructor cannot throw: the failure is shown once and the dataset goes.
    ShowMessage(e.what());
  }
}

// Packed records and the chunked memory they live in.
//
// A packed record: one byte giving the width (1, 2 or 4 bytes) of the text end
// offsets, the null flags (one bit per field), the fixed-width values (8 bytes,
// 1 for a truth value) in field order, the end offset of each text or byte value
// relative to the start of the texts, then the texts. The offset width is chosen
// per record from the length of its texts, so a short record spends one byte per
// text and a long one is never cut.
#include "db/RecordStore.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "db/DatabaseError.h"

namespace db {

namespace {

constexpr std::size_t kChunkSize = std::size_t{2} << 20;
constexpr std::size_t kOwnChunkSize = kChunkSize / 4;  // larger records get a chunk of their own
constexpr std::size_t kMinGarbageToCompact = 4 * kChunkSize;

std::uint32_t ReadWidth(const std::uint8_t* p, std::uint32_t width) {
  switch (width) {
    case 1:
      return p[0];
    case 2:
      return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
    default: {
      std::uint32_t value;
      std::memcpy(&value, p, 4);
      return value;
    }
  }
}

void WriteWidth(std::uint8_t* p, std::uint32_t width, std::uint32_t value) {
  switch (width) {
    case 1:
      p[0] = static_cast<std::uint8_t>(value);
      break;
    case 2:
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      break;
    default:
      std::memcpy(p, &value, 4);
  }
}

}  // namespace

RecordFormat::RecordFormat(const FieldDefList& defs) {
  slots_.reserve(static_cast<std::size_t>(defs.Count()));
  for (const FieldDef& def : defs) {
    Slot slot;
    slot.kind = StorageOf(def.DataType);
    slot.variable = slot.kind == StorageKind::kText || slot.kind == StorageKind::kBytes;
    if (slot.variable) {
      slot.place = variable_count_++;
    } else {
      slot.place = fixed_bytes_;
      fixed_bytes_ += slot.kind == StorageKind::kBoolean ? 1 : 8;
    }
    slots_.push_back(slot);
  }
  mask_bytes_ = static_cast<std::uint32_t>((slots_.size() + 7) / 8);
}

std::size_t PackedRecord::VariableStart() const {
  return 1 + format_->mask_bytes_ + format_->fixed_bytes_ +
         static_cast<std::size_t>(format_->variable_count_) * OffsetWidth();
}

std::uint32_t PackedRecord::VariableEnd(std::uint32_t number) const {
  const std::uint8_t* ends = data_ + 1 + format_->mask_bytes_ + format_->fixed_bytes_;
  return ReadWidth(ends + static_cast<std::size_t>(number) * OffsetWidth(), OffsetWidth());
}

FieldData PackedRecord::Get(int field) const {
  const RecordFormat::Slot& slot = format_->slots_[static_cast<std::size_t>(field)];
  FieldData data;
  if (slot.variable) {
    data.s = Text(field);
    return data;
  }
  const std::uint8_t* p = data_ + 1 + format_->mask_bytes_ + slot.place;
  switch (slot.kind) {
    case StorageKind::kBoolean:
      data.i = p[0];
      break;
    case StorageKind::kFloat:
    case StorageKind::kDateTime:
      std::memcpy(&data.f, p, 8);
      break;
    default:
      std::memcpy(&data.i, p, 8);
  }
  return data;
}

std::string_view PackedRecord::Text(int field) const {
  const RecordFormat::Slot& slot = format_->slots_[static_cast<std::size_t>(field)];
  const std::uint32_t begin = slot.place == 0 ? 0 : VariableEnd(slot.place - 1);
  const std::uint32_t end = VariableEnd(slot.place);
  return std::string_view(reinterpret_cast<const char*>(data_ + VariableStart() + begin),
                          end - begin);
}

void PackedRecord::Texts(std::span<std::string_view> texts) const {
  const std::uint32_t width = OffsetWidth();
  const std::uint8_t* ends = data_ + 1 + format_->mask_bytes_ + format_->fixed_bytes_;
  const char* bytes = reinterpret_cast<const char*>(ends + texts.size() * width);
  std::uint32_t begin = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::uint32_t end = ReadWidth(ends + i * width, width);
    texts[i] = std::string_view(bytes + begin, end - begin);
    begin = end;
  }
}

std::size_t PackedRecord::ByteSize() const {
  std::size_t size = VariableStart();
  if (format_->variable_count_ > 0) size += VariableEnd(format_->variable_count_ - 1);
  return size;
}

void RecordStore::Reset(RecordFormat format) {
  format_ = std::move(format);
  data_.clear();
  data_.shrink_to_fit();
  generation_.clear();
  generation_.shrink_to_fit();
  free_ids_.clear();
  free_ids_.shrink_to_fit();
  chunks_.clear();
  chunk_next_ = nullptr;
  chunk_left_ = 0;
  live_bytes_ = 0;
  garbage_bytes_ = 0;
}

std::size_t RecordStore::PackedSize(const RecordBuffer& values, std::uint32_t& width) const {
  std::size_t texts = 0;
  for (std::size_t i = 0; i < format_.slots_.size(); ++i) {
    if (format_.slots_[i].variable && !values[i].is_null) texts += values[i].s.size();
  }
  if (texts > 0xFFFFFFFFu) throw DatabaseError("Record too large: its texts pass 4 GiB");
  width = texts <= 0xFF ? 1 : texts <= 0xFFFF ? 2 : 4;
  return 1 + format_.mask_bytes_ + format_.fixed_bytes_ +
         static_cast<std::size_t>(format_.variable_count_) * width + texts;
}

void RecordStore::Pack(const RecordBuffer& values, std::uint32_t width, std::uint8_t* out) const {
  out[0] = static_cast<std::uint8_t>(width);
  std::uint8_t* mask = out + 1;
  std::memset(mask, 0, format_.mask_bytes_);
  std::uint8_t* fixed = mask + format_.mask_bytes_;
  std::uint8_t* ends = fixed + format_.fixed_bytes_;
  std::uint8_t* texts = ends + static_cast<std::size_t>(format_.variable_count_) * width;
  std::uint32_t text_end = 0;
  for (std::size_t i = 0; i < format_.slots_.size(); ++i) {
    const RecordFormat::Slot& slot = format_.slots_[i];
    const FieldValue& value = values[i];
    if (value.is_null) mask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    if (slot.variable) {
      if (!value.is_null && !value.s.empty()) {
        std::memcpy(texts + text_end, value.s.data(), value.s.size());
        text_end += static_cast<std::uint32_t>(value.s.size());
      }
      WriteWidth(ends + static_cast<std::size_t>(slot.place) * width, width, text_end);
      continue;
    }
    // A null value is stored as zero, so that it orders as the zero of its kind.
    std::uint8_t* p = fixed + slot.place;
    switch (slot.kind) {
      case StorageKind::kBoolean:
        p[0] = !value.is_null && value.i != 0 ? 1 : 0;
        break;
      case StorageKind::kFloat:
      case StorageKind::kDateTime: {
        double f = value.is_null ? 0.0 : value.f;
        std::memcpy(p, &f, 8);
        break;
      }
      default: {
        std::int64_t n = value.is_null ? 0 : value.i;
        std::memcpy(p, &n, 8);
      }
    }
  }
}

void RecordStore::FreeChunk::operator()(std::uint8_t* p) const { std::free(p); }

// Shared chunks are aligned to and sized as a huge page and marked for huge
// pages, so that filling a large dataset takes one page fault per chunk instead
// of 512. A large record's own chunk is plain memory of its size.
RecordStore::Chunk RecordStore::NewChunk(std::size_t size) {
  void* p = nullptr;
  if (size == kChunkSize) {
    p = std::aligned_alloc(kChunkSize, kChunkSize);
    if (p != nullptr) madvise(p, kChunkSize, MADV_HUGEPAGE);
  } else {
    p = std::malloc(size);
  }
  if (p == nullptr) throw std::bad_alloc();
  return Chunk(static_cast<std::uint8_t*>(p));
}

std::uint8_t* RecordStore::Allocate(std::size_t size) {
  if (size > kOwnChunkSize) {
    // The chunk being filled stays current: only the chunk memory is referred to.
    chunks_.push_back(NewChunk(size));
    return chunks_.back().get();
  }
  if (size > chunk_left_) {
    chunks_.push_back(NewChunk(kChunkSize));
    chunk_next_ = chunks_.back().get();
    chunk_left_ = kChunkSize;
  }
  std::uint8_t* p = chunk_next_;
  chunk_next_ += size;
  chunk_left_ -= size;
  return p;
}

RecordId RecordStore::Place(std::size_t size, std::uint8_t*& memory) {
  RecordId id;
  if (!free_ids_.empty()) {
    id = free_ids_.back();
    free_ids_.pop_back();
  } else {
    if (data_.size() >= kNoRecord) throw DatabaseError("Too many records");
    id = static_cast<RecordId>(data_.size());
    data_.push_back(nullptr);
    generation_.push_back(0);
  }
  memory = Allocate(size);
  data_[id] = memory;
  generation_[id] = next_generation_++;
  live_bytes_ += size;
  return id;
}

void RecordStore::Reserve(std::size_t records) {
  if (records <= free_ids_.size()) return;
  data_.reserve(data_.size() + records - free_ids_.size());
  generation_.reserve(generation_.size() + records - free_ids_.size());
}

RecordId RecordStore::Add(const RecordBuffer& values) {
  std::uint32_t width = 1;
  std::size_t size = PackedSize(values, width);
  std::uint8_t* p = nullptr;
  RecordId id = Place(size, p);
  Pack(values, width, p);
  return id;
}

// The layout of Pack for a format of texts alone: no fixed area, so the end
// offsets follow the null flags.
RecordId RecordStore::AddTexts(std::span<const std::optional<std::string_view>> texts) {
  if (texts.size() != format_.slots_.size() || format_.variable_count_ != texts.size()) {
    throw std::logic_error("RecordStore::AddTexts: not one text per field of a format of texts");
  }
  std::size_t total = 0;
  for (const std::optional<std::string_view>& text : texts) {
    if (text) total += text->size();
  }
  if (total > 0xFFFFFFFFu) throw DatabaseError("Record too large: its texts pass 4 GiB");
  const std::uint32_t width = total <= 0xFF ? 1 : total <= 0xFFFF ? 2 : 4;
  const std::size_t size = 1 + format_.mask_bytes_ + texts.size() * width + total;
  std::uint8_t* out = nullptr;
  RecordId id = Place(size, out);
  out[0] = static_cast<std::uint8_t>(width);
  std::uint8_t* mask = out + 1;
  std::memset(mask, 0, format_.mask_bytes_);
  std::uint8_t* ends = mask + format_.mask_bytes_;
  std::uint8_t* bytes = ends + texts.size() * width;
  std::uint32_t text_end = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::optional<std::string_view>& text = texts[i];
    if (!text) {
      mask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    } else if (!text->empty()) {
      std::memcpy(bytes + text_end, text->data(), text->size());
      text_end += static_cast<std::uint32_t>(text->size());
    }
    WriteWidth(ends + i * width, width, text_end);
  }
  return id;
}

void RecordStore::Replace(RecordId id, const RecordBuffer& values) {
  std::uint32_t width = 1;
  std::size_t size = PackedSize(values, width);
  std::size_t old_size = Get(id).ByteSize();
  if (size <= old_size) {
    Pack(values, width, data_[id]);
    garbage_bytes_ += old_size - size;
  } else {
    std::uint8_t* p = Allocate(size);
    Pack(values, width, p);
    data_[id] = p;
    garbage_bytes_ += old_size;
  }
  live_bytes_ += size;
  live_bytes_ -= old_size;
  CompactIfWasteful();
}

void RecordStore::Remove(RecordId id) {
  std::size_t size = Get(id).ByteSize();
  live_bytes_ -= size;
  garbage_bytes_ += size;
  data_[id] = nullptr;
  free_ids_.push_back(id);
  CompactIfWasteful();
}

void RecordStore::Unpack(RecordId id, RecordBuffer& values) const {
  PackedRecord record = Get(id);
  values.resize(format_.slots_.size());
  for (std::size_t i = 0; i < format_.slots_.size(); ++i) {
    FieldValue& value = values[i];
    int field = static_cast<int>(i);
    if (record.IsNull(field)) {
      value.SetNull();
      continue;
    }
    FieldData data = record.Get(field);
    value.is_null = false;
    value.i = data.i;
    value.f = data.f;
    value.s.assign(data.s);
  }
}

// Space left behind by removed and grown records is given back by copying the
// live records into fresh chunks once it outweighs them.
void RecordStore::CompactIfWasteful() {
  if (garbage_bytes_ < kMinGarbageToCompact || garbage_bytes_ < live_bytes_) return;
  std::vector<Chunk> old_chunks;
  old_chunks.swap(chunks_);
  chunk_next_ = nullptr;
  chunk_left_ = 0;
  for (std::uint8_t*& p : data_) {
    if (p == nullptr) continue;
    std::size_t size = PackedRecord(format_, p).ByteSize();
    std::uint8_t* q = Allocate(size);
    std::memcpy(q, p, size);
    p = q;
  }
  garbage_bytes_ = 0;
}

}  // namespace db

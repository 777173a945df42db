// Encoding a stored record as a packet's record image and decoding it back.
#include "datasets/RecordImage.h"

#include <cmath>
#include <cstring>

#include "datasets/VoBufDataset.h"
#include "db/DatabaseError.h"

namespace {

constexpr double kCurrencyScale = 10000.0;
constexpr std::size_t kBytesSlotData = 8;  // a 10-byte slot: 2 bytes of length, then data

void PutLE(std::uint8_t* p, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLE(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return value;
}

[[noreturn]] void Refuse(const std::string& field, const std::string& why) {
  throw db::DatabaseError("Field " + field + " cannot be saved in a dataset packet: " + why);
}

// Strict UTF-8 to UTF-16 units; false for a broken or overlong sequence, a
// surrogate or a code point past U+10FFFF.
bool Utf8ToUtf16(std::string_view text, std::vector<std::uint16_t>& units) {
  units.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code;
    std::size_t length;
    std::uint32_t min;
    if (lead < 0x80) {
      code = lead;
      length = 1;
      min = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F;
      length = 2;
      min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F;
      length = 3;
      min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07;
      length = 4;
      min = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<std::uint16_t>(code));
    }
    i += length;
  }
  return true;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16LE units up to the first zero unit, at most `count`; a lone surrogate
// becomes U+FFFD.
void Utf16ToUtf8(const std::uint8_t* p, std::size_t count, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t unit = static_cast<std::uint32_t>(GetLE(p + 2 * i, 2));
    if (unit == 0) return;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
      const auto low = static_cast<std::uint32_t>(GetLE(p + 2 * (i + 1), 2));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendUtf8(unit, out);
  }
}

}  // namespace

TRecordImageCodec::TRecordImageCodec(const db::FieldDefList& defs) {
  using db::FieldType;
  const TRecordLayout layout = TVoBufDataset::CalcRecordSize(defs);
  mask_size_ = static_cast<std::size_t>(layout.NullMaskSize);
  record_size_ = static_cast<std::size_t>(layout.RecordSize);
  for (int i = 0; i < defs.Count(); ++i) {
    const db::FieldDef& def = defs[i];
    Slot slot;
    slot.offset = static_cast<std::size_t>(layout.FieldOffsets[static_cast<std::size_t>(i)]);
    slot.size = def.Size > 0 ? static_cast<std::size_t>(def.Size) : 0;
    slot.name = def.Name;
    switch (def.DataType) {
      case FieldType::ftString:
      case FieldType::ftFixedChar:
      case FieldType::ftGuid:
        slot.kind = SlotKind::kText;
        break;
      case FieldType::ftWideString:
      case FieldType::ftFixedWideChar:
        slot.kind = SlotKind::kWideText;
        break;
      case FieldType::ftSmallint:
      case FieldType::ftInteger:
      case FieldType::ftWord:
      case FieldType::ftAutoInc:
        slot.kind = SlotKind::kInt32;
        break;
      case FieldType::ftBoolean:
        slot.kind = SlotKind::kBoolean;
        break;
      case FieldType::ftFloat:
      case FieldType::ftDate:
      case FieldType::ftTime:
      case FieldType::ftDateTime:
      case FieldType::ftTimeStamp:
        slot.kind = SlotKind::kDouble;
        break;
      case FieldType::ftCurrency:
        slot.kind = SlotKind::kScaledFloat;
        break;
      case FieldType::ftBCD:
      case FieldType::ftFMTBcd:
      case FieldType::ftLargeint:
        slot.kind = SlotKind::kInt64;
        break;
      default:
        slot.kind = db::IsBlobType(def.DataType) ? SlotKind::kBlob : SlotKind::kBytes;
    }
    slots_.push_back(std::move(slot));
  }
}

void TRecordImageCodec::Encode(const db::PackedRecord& record, std::string& out) const {
  const std::size_t start = out.size();
  out.resize(start + record_size_, '\0');
  auto* image = reinterpret_cast<std::uint8_t*>(out.data() + start);
  // The bits past the last field read as null, as in a fresh record.
  const std::size_t n = slots_.size();
  for (std::size_t bit = n; bit < mask_size_ * 8; ++bit) image[bit / 8] |= 1u << (bit % 8);
  std::vector<std::uint16_t> units;
  for (std::size_t i = 0; i < n; ++i) {
    const Slot& slot = slots_[i];
    const int field = static_cast<int>(i);
    if (record.IsNull(field)) {
      image[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
      continue;
    }
    const db::FieldData data = record.Get(field);
    std::uint8_t* p = image + slot.offset;
    switch (slot.kind) {
      case SlotKind::kText:
        if (data.s.size() > slot.size) {
          Refuse(slot.name, std::to_string(data.s.size()) + " bytes passes its size of " +
                                std::to_string(slot.size));
        }
        if (data.s.find('\0') != std::string_view::npos) Refuse(slot.name, "it holds a zero byte");
        std::memcpy(p, data.s.data(), data.s.size());
        break;
      case SlotKind::kWideText:
        if (!Utf8ToUtf16(data.s, units)) Refuse(slot.name, "its text is not valid UTF-8");
        if (units.size() > slot.size) {
          Refuse(slot.name, std::to_string(units.size()) + " UTF-16 units pass its size of " +
                                std::to_string(slot.size));
        }
        for (std::size_t u = 0; u < units.size(); ++u) {
          if (units[u] == 0) Refuse(slot.name, "it holds a zero character");
          PutLE(p + 2 * u, units[u], 2);
        }
        break;
      case SlotKind::kInt32:
        PutLE(p, static_cast<std::uint64_t>(data.i), 4);
        break;
      case SlotKind::kBoolean:
        PutLE(p, data.i != 0 ? 1 : 0, 2);
        break;
      case SlotKind::kDouble:
        std::memcpy(p, &data.f, 8);
        break;
      case SlotKind::kScaledFloat: {
        const double scaled = std::round(data.f * kCurrencyScale);
        // 2^63 is exactly a double; it and anything past it do not fit.
        if (!(scaled > -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
          Refuse(slot.name, "its value does not fit 64 bits once scaled by 10000");
        }
        PutLE(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)), 8);
        break;
      }
      case SlotKind::kInt64:
        PutLE(p, static_cast<std::uint64_t>(data.i), 8);
        break;
      case SlotKind::kBlob:
        break;
      case SlotKind::kBytes:
        if (data.s.size() > kBytesSlotData) {
          Refuse(slot.name, std::to_string(data.s.size()) + " bytes pass the 8 its slot holds");
        }
        PutLE(p, data.s.size(), 2);
        std::memcpy(p + 2, data.s.data(), data.s.size());
        break;
    }
  }
}

void TRecordImageCodec::Decode(const std::uint8_t* image, db::RecordBuffer& values) const {
  values.resize(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    const Slot& slot = slots_[i];
    db::FieldValue& value = values[i];
    value.SetNull();
    if ((image[i / 8] >> (i % 8)) & 1) continue;
    value.is_null = false;
    const std::uint8_t* p = image + slot.offset;
    switch (slot.kind) {
      case SlotKind::kText: {
        const void* end = std::memchr(p, 0, slot.size);
        const std::size_t length =
            end != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - p)
                           : slot.size;
        value.s.assign(reinterpret_cast<const char*>(p), length);
        break;
      }
      case SlotKind::kWideText:
        Utf16ToUtf8(p, slot.size, value.s);
        break;
      case SlotKind::kInt32:
        value.i = static_cast<std::int32_t>(static_cast<std::uint32_t>(GetLE(p, 4)));
        break;
      case SlotKind::kBoolean:
        value.i = GetLE(p, 2) != 0 ? 1 : 0;
        break;
      case SlotKind::kDouble:
        std::memcpy(&value.f, p, 8);
        break;
      case SlotKind::kScaledFloat:
        value.f = static_cast<double>(static_cast<std::int64_t>(GetLE(p, 8))) / kCurrencyScale;
        break;
      case SlotKind::kInt64:
        value.i = static_cast<std::int64_t>(GetLE(p, 8));
        break;
      case SlotKind::kBlob:
        break;
      case SlotKind::kBytes: {
        std::size_t length = static_cast<std::size_t>(GetLE(p, 2));
        if (length > kBytesSlotData) length = kBytesSlotData;
        value.s.assign(reinterpret_cast<const char*>(p + 2), length);
        break;
      }
    }
  }
}

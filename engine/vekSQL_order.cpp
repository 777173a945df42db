// Ordering of SELECT results by their ORDER BY keys: "#" keys by number, the
// others by the locale's collation. Every key is computed once per row, the row
// indexes are sorted stably (by eight bytes of the first key, then where those
// are equal by the whole keys), and the rows are moved into place once.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/vekSQL_select.h"
#include "engine/vekSQLThreads.h"
#include "rtl/Locale.h"
#include "rtl/Numbers.h"

namespace vek {
namespace {

struct SortKey {
  int column = 0;
  bool ascending = true;
  bool numeric = false;
  std::vector<double> numbers;          // numeric keys: one per row
  std::vector<std::string_view> texts;  // text keys: the collation key of each row
  std::vector<std::string> owned;       // the keys that `texts` views, unless cells
};

// A key text is "#" (numeric), the column name, then "+" (ascending) or "-"
// (descending). The marks are taken only at the ends, so a column named by its
// expression keeps its inner signs: "a-b-" is column a-b, descending.
Status ParseKey(const TvekRecordSet& result, std::string_view text, SortKey& key) {
  std::string_view name = text;
  if (!name.empty() && name.front() == '#') {
    key.numeric = true;
    name.remove_prefix(1);
  }
  if (!name.empty() && (name.back() == '+' || name.back() == '-')) {
    key.ascending = name.back() == '+';
    name.remove_suffix(1);
  }
  key.column = result.FieldIndex(name);
  if (key.column < 0) return Status::Error("ORDER BY: unknown column " + std::string(name));
  return Status::OK();
}

// Texts compare as copies in which every NUL byte is a blank.
std::string_view WithoutNul(std::string_view cell, std::string& scratch) {
  if (cell.find('\0') == std::string_view::npos) return cell;
  scratch.assign(cell);
  std::replace(scratch.begin(), scratch.end(), '\0', ' ');
  return scratch;
}

// Keys are computed for parts of the rows side by side.
constexpr std::size_t kRowsPerPart = std::size_t{1} << 17;

void ComputeKey(const TvekRows& rows, bool byte_order, SortKey& key) {
  const std::size_t count = rows.size();
  if (key.numeric) {
    // A text that does not read as a number sorts where 0 does.
    key.numbers.resize(count);
    ForEachPart(count, kRowsPerPart, [&](std::size_t from, std::size_t to) {
      for (std::size_t i = from; i < to; ++i) {
        key.numbers[i] = NumberOrZero(rows[i].Cell(key.column));
      }
    });
    return;
  }
  key.texts.resize(count);
  if (byte_order) {
    // The cells stay where they are until the rows are moved, after the sort.
    std::atomic<bool> has_nul{false};
    ForEachPart(count, kRowsPerPart, [&](std::size_t from, std::size_t to) {
      bool nul = false;
      for (std::size_t i = from; i < to; ++i) {
        key.texts[i] = rows[i].Cell(key.column);
        nul = nul || key.texts[i].find('\0') != std::string_view::npos;
      }
      if (nul) has_nul = true;
    });
    if (!has_nul) return;
  }
  key.owned.resize(count);
  ForEachPart(count, kRowsPerPart, [&](std::size_t from, std::size_t to) {
    std::string scratch;
    for (std::size_t i = from; i < to; ++i) {
      std::string_view text = WithoutNul(rows[i].Cell(key.column), scratch);
      key.owned[i] = byte_order ? std::string(text) : rtl::CollationKey(text);
      key.texts[i] = key.owned[i];
    }
  });
}

int Compare(const SortKey& key, std::uint32_t a, std::uint32_t b) {
  if (key.numeric) {
    double x = key.numbers[a];
    double y = key.numbers[b];
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return key.texts[a].compare(key.texts[b]);
}

// The first key of a row as a number whose order is the key's ascending order,
// so that most comparisons need not look beyond the sort entries: a number's
// bits arranged to sort as unsigned integers, or eight bytes of a text key
// from `skip`, the length that all the keys share (customer1, customer2, ...).
// Equal prefixes of text keys are decided by the whole keys.
std::uint64_t NumberPrefix(double x) {
  if (x == 0) x = 0;  // -0 and 0 compare equal
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

std::uint64_t TextPrefix(std::string_view key, std::size_t skip) {
  std::uint64_t prefix = 0;
  for (std::size_t i = skip; i < skip + 8; ++i) {
    prefix = (prefix << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return prefix;
}

std::size_t SharedLength(const std::vector<std::string_view>& keys) {
  std::atomic<std::size_t> shared{keys.front().size()};
  ForEachPart(keys.size(), kRowsPerPart, [&](std::size_t from, std::size_t to) {
    std::size_t part = shared;
    for (std::size_t i = from; i < to && part > 0; ++i) {
      std::size_t n = std::min(part, keys[i].size());
      part = std::mismatch(keys[i].begin(), keys[i].begin() + n, keys.front().begin()).first -
             keys[i].begin();
    }
    for (std::size_t seen = shared; part < seen && !shared.compare_exchange_weak(seen, part);) {
    }
  });
  return shared;
}

struct Entry {
  std::uint64_t prefix;
  std::uint32_t row;
};

// Sorts the entries by their prefixes, keeping the order of equal ones: a
// counting pass per byte from the lowest, skipping the bytes every entry
// shares. Linear in the rows, where comparison sorts are not. `scratch` holds
// as many entries.
void SortByPrefix(Entry* entries, std::size_t count, Entry* scratch) {
  std::vector<std::array<std::size_t, 256>> counts(8);
  for (auto& c : counts) c.fill(0);
  for (std::size_t i = 0; i < count; ++i) {
    for (int b = 0; b < 8; ++b) ++counts[b][(entries[i].prefix >> (8 * b)) & 0xFF];
  }
  Entry* from = entries;
  Entry* to = scratch;
  for (int b = 0; b < 8; ++b) {
    std::array<std::size_t, 256>& c = counts[b];
    if (std::find(c.begin(), c.end(), count) != c.end()) continue;
    std::size_t at = 0;
    for (std::size_t& n : c) at += std::exchange(n, at);
    for (std::size_t i = 0; i < count; ++i) to[c[(from[i].prefix >> (8 * b)) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != entries) std::copy(from, from + count, entries);
}

// Sorts the entries stably by `before` (prefixes first): by the prefixes, then
// each run of equal prefixes by the whole keys. With several processors the
// rows are cut into parts sorted side by side and merged, the earlier part's
// entries first among equal ones, which is the one stable order.
template <typename RestBefore>
void SortEntries(std::vector<Entry>& entries, bool prefix_decides, const RestBefore& rest_before) {
  auto before = [&](const Entry& x, const Entry& y) {
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    return !prefix_decides && rest_before(x, y);
  };
  const std::size_t count = entries.size();
  std::vector<Entry> scratch(count);
  auto sort_part = [&](std::size_t from, std::size_t to) {
    SortByPrefix(entries.data() + from, to - from, scratch.data() + from);
    for (std::size_t run = from; run < to && !prefix_decides;) {
      std::size_t end = run + 1;
      while (end < to && entries[end].prefix == entries[run].prefix) ++end;
      if (end - run > 1) {
        std::stable_sort(entries.begin() + static_cast<std::ptrdiff_t>(run),
                         entries.begin() + static_cast<std::ptrdiff_t>(end), rest_before);
      }
      run = end;
    }
  };
  const std::size_t parts = PartsFor(count, kRowsPerPart);
  std::vector<std::size_t> bounds;
  for (std::size_t p = 0; p <= parts; ++p) bounds.push_back(count * p / parts);
  SideBySide(parts, [&](std::size_t p) { sort_part(bounds[p], bounds[p + 1]); });
  // Parts merged two by two until one is left.
  Entry* from = entries.data();
  Entry* to = scratch.data();
  while (bounds.size() > 2) {
    const std::size_t pairs = bounds.size() / 2;  // of parts, the last perhaps alone
    SideBySide(pairs, [&](std::size_t p) {
      const std::size_t a = bounds[2 * p];
      const std::size_t m = bounds[std::min(2 * p + 1, bounds.size() - 1)];
      const std::size_t e = bounds[std::min(2 * p + 2, bounds.size() - 1)];
      std::merge(from + a, from + m, from + m, from + e, to + a, before);
    });
    std::vector<std::size_t> merged;
    for (std::size_t i = 0; i < bounds.size(); i += 2) merged.push_back(bounds[i]);
    if (merged.back() != count) merged.push_back(count);
    bounds.swap(merged);
    std::swap(from, to);
  }
  if (from != entries.data()) entries.swap(scratch);
}

}  // namespace

Status OrderBy(TvekSQL& /*engine*/, TvekRecordSet& result, std::string_view order_text) {
  std::vector<std::string> texts;
  SplitText(order_text, texts);
  std::vector<SortKey> keys(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Status status = ParseKey(result, texts[i], keys[i]);
    if (!status.ok()) return status;
  }
  TvekRows& rows = result.Records;
  if (keys.empty() || rows.size() < 2) return Status::OK();

  // Where collation is byte order a text is its own key: no keys are built.
  const bool byte_order = rtl::CollationIsByteOrder();
  for (SortKey& key : keys) ComputeKey(rows, byte_order, key);

  const SortKey& first = keys.front();
  const std::size_t shared = first.numeric ? 0 : SharedLength(first.texts);
  // Stable, so rows with equal keys keep the order they had: first by the
  // prefixes (a descending key's complemented), then each run of equal
  // prefixes by the whole keys.
  std::vector<Entry> entries(rows.size());
  ForEachPart(entries.size(), kRowsPerPart, [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const std::uint64_t prefix =
          first.numeric ? NumberPrefix(first.numbers[i]) : TextPrefix(first.texts[i], shared);
      entries[i] = {first.ascending ? prefix : ~prefix, static_cast<std::uint32_t>(i)};
    }
  });
  // A numeric first key is decided by its prefix alone.
  const bool prefix_decides = first.numeric && keys.size() == 1;
  auto rest_before = [&](const Entry& x, const Entry& y) {
    for (const SortKey& key : keys) {
      if (&key == &first && key.numeric) continue;
      int c = Compare(key, x.row, y.row);
      if (c != 0) return key.ascending ? c < 0 : c > 0;
    }
    return false;
  };
  SortEntries(entries, prefix_decides, rest_before);

  std::vector<std::uint32_t> order;
  order.reserve(entries.size());
  for (const Entry& entry : entries) order.push_back(entry.row);
  rows.Reorder(order);
  return Status::OK();
}

}  // namespace vek

// Ordering of SELECT results by their ORDER BY keys: "#" keys by number, the
// others by the locale's collation. Every key is computed once per row, the row
// indexes are sorted stably (by eight bytes of the first key, then where those
// are equal by the whole keys), and the rows are moved into place once.
#include <algorithm>
#include <array>
#include <bit>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/vekSQL_select.h"
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

void ComputeKey(const TvekRows& rows, bool byte_order, SortKey& key) {
  if (key.numeric) {
    // A text that does not read as a number sorts where 0 does.
    key.numbers.reserve(rows.size());
    for (const TvekRecord& row : rows) key.numbers.push_back(NumberOrZero(row.Cell(key.column)));
    return;
  }
  key.texts.reserve(rows.size());
  const bool has_nul = std::any_of(rows.begin(), rows.end(), [&](const TvekRecord& row) {
    return row.Cell(key.column).find('\0') != std::string_view::npos;
  });
  if (byte_order && !has_nul) {
    // The cells stay where they are until the rows are moved, after the sort.
    for (const TvekRecord& row : rows) key.texts.push_back(row.Cell(key.column));
    return;
  }
  std::string scratch;
  key.owned.reserve(rows.size());
  for (const TvekRecord& row : rows) {
    std::string_view text = WithoutNul(row.Cell(key.column), scratch);
    key.owned.push_back(byte_order ? std::string(text) : rtl::CollationKey(text));
  }
  for (const std::string& owned : key.owned) key.texts.emplace_back(owned);
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
  std::size_t shared = keys.front().size();
  for (std::string_view key : keys) {
    std::size_t n = std::min(shared, key.size());
    shared = std::mismatch(key.begin(), key.begin() + n, keys.front().begin()).first - key.begin();
    if (shared == 0) break;
  }
  return shared;
}

struct Entry {
  std::uint64_t prefix;
  std::uint32_t row;
};

// Sorts the entries by their prefixes, keeping the order of equal ones: a
// counting pass per byte from the lowest, skipping the bytes every entry
// shares. Linear in the rows, where comparison sorts are not.
void SortByPrefix(std::vector<Entry>& entries) {
  std::vector<std::array<std::size_t, 256>> counts(8);
  for (auto& count : counts) count.fill(0);
  for (const Entry& entry : entries) {
    for (int b = 0; b < 8; ++b) ++counts[b][(entry.prefix >> (8 * b)) & 0xFF];
  }
  std::vector<Entry> sorted(entries.size());
  for (int b = 0; b < 8; ++b) {
    std::array<std::size_t, 256>& count = counts[b];
    if (std::find(count.begin(), count.end(), entries.size()) != count.end()) continue;
    std::size_t at = 0;
    for (std::size_t& c : count) at += std::exchange(c, at);
    for (const Entry& entry : entries) sorted[count[(entry.prefix >> (8 * b)) & 0xFF]++] = entry;
    entries.swap(sorted);
  }
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
  std::vector<Entry> entries(rows.size());
  for (std::uint32_t i = 0; i < entries.size(); ++i) {
    entries[i] = {
        first.numeric ? NumberPrefix(first.numbers[i]) : TextPrefix(first.texts[i], shared), i};
  }

  // Stable, so rows with equal keys keep the order they had: first by the
  // prefixes (a descending key's complemented), then each run of equal
  // prefixes by the whole keys.
  if (!first.ascending) {
    for (Entry& entry : entries) entry.prefix = ~entry.prefix;
  }
  SortByPrefix(entries);
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
  for (auto run = entries.begin(); run != entries.end() && !prefix_decides;) {
    auto run_end = std::find_if(run + 1, entries.end(),
                                [&](const Entry& entry) { return entry.prefix != run->prefix; });
    if (run_end - run > 1) std::stable_sort(run, run_end, rest_before);
    run = run_end;
  }

  std::vector<std::uint32_t> order;
  order.reserve(entries.size());
  for (const Entry& entry : entries) order.push_back(entry.row);
  rows.Reorder(order);
  return Status::OK();
}

}  // namespace vek

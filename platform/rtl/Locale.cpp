// Case folding and collation under the C library's global locale. Characters are
// decoded one at a time with mbrtowc; a byte that starts no valid character is
// kept and compared as itself, so texts in a foreign encoding survive unchanged.
#include "rtl/Locale.h"

#include <climits>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace rtl {
namespace {

// One character of a text: its length in bytes and its code. An invalid byte
// has length 1 and `valid` false.
struct Char {
  std::size_t length;
  std::wint_t code;
  bool valid;
};

Char DecodeAt(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  // Every encoding the C library supports keeps ASCII as it is.
  if (byte < 0x80) return {1, byte, true};
  std::mbstate_t state{};
  wchar_t wide = 0;
  const std::size_t n = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
  if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
    return {1, byte, false};
  }
  return {n, static_cast<std::wint_t>(wide), true};
}

// A comparable code for case-insensitive search: the upper-case character, or
// an invalid byte tagged so that it equals only the same invalid byte.
std::uint32_t Folded(const Char& c, std::string_view text, std::size_t at) {
  if (!c.valid) return 0x80000000u | static_cast<unsigned char>(text[at]);
  return static_cast<std::uint32_t>(std::towupper(c.code));
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Char c = DecodeAt(text, at);
    const std::wint_t mapped = c.valid ? map(c.code) : c.code;
    if (!c.valid || mapped == c.code) {
      out.append(text.data() + at, c.length);
    } else if (mapped < 0x80) {
      out += static_cast<char>(mapped);
    } else {
      char bytes[MB_LEN_MAX];
      std::mbstate_t state{};
      const std::size_t n = std::wcrtomb(bytes, static_cast<wchar_t>(mapped), &state);
      if (n == static_cast<std::size_t>(-1)) {
        out.append(text.data() + at, c.length);
      } else {
        out.append(bytes, n);
      }
    }
    at += c.length;
  }
  return out;
}

// strcoll needs terminated texts: a copy on the stack for the usual short ones.
class TerminatedText {
 public:
  explicit TerminatedText(std::string_view text) {
    if (text.size() < sizeof small_) {
      // An empty text may have no address at all: nothing is copied from it.
      if (!text.empty()) std::memcpy(small_, text.data(), text.size());
      small_[text.size()] = '\0';
      data_ = small_;
    } else {
      large_.assign(text);
      data_ = large_.c_str();
    }
  }
  const char* c_str() const { return data_; }

 private:
  char small_[256];
  std::string large_;
  const char* data_;
};

int CollateSegment(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  const int c = std::strcoll(TerminatedText(a).c_str(), TerminatedText(b).c_str());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void AppendCollationKey(std::string_view segment, std::string& key) {
  const TerminatedText text(segment);
  const std::size_t start = key.size();
  std::size_t room = segment.size() * 4 + 16;
  for (;;) {
    key.resize(start + room + 1);
    const std::size_t n = std::strxfrm(key.data() + start, text.c_str(), room + 1);
    if (n <= room) {
      key.resize(start + n);
      return;
    }
    room = n;
  }
}

}  // namespace

std::string AnsiUpperCase(std::string_view text) {
  return MapCase(text, [](std::wint_t c) { return std::towupper(c); });
}

std::string AnsiLowerCase(std::string_view text) {
  return MapCase(text, [](std::wint_t c) { return std::towlower(c); });
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  return AnsiCompareStr(AnsiUpperCase(a), AnsiUpperCase(b));
}

bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

bool CollationIsByteOrder() {
  const char* name = std::setlocale(LC_COLLATE, nullptr);
  if (name == nullptr) return false;
  const std::string_view n(name);
  return n == "C" || n == "POSIX" || n == "C.UTF-8" || n == "C.utf8";
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
  // Segment by segment between NUL bytes; a text with fewer segments that agrees
  // on all of them is the smaller.
  for (;;) {
    const std::size_t end_a = a.find('\0');
    const std::size_t end_b = b.find('\0');
    const int c = CollateSegment(a.substr(0, end_a), b.substr(0, end_b));
    if (c != 0) return c;
    const bool more_a = end_a != std::string_view::npos;
    const bool more_b = end_b != std::string_view::npos;
    if (!more_a || !more_b) return more_a == more_b ? 0 : (more_a ? 1 : -1);
    a.remove_prefix(end_a + 1);
    b.remove_prefix(end_b + 1);
  }
}

std::string CollationKey(std::string_view text) {
  // strxfrm keys hold no NUL byte, so a NUL between the segments' keys sorts a
  // text below every longer text that agrees with it, as AnsiCompareStr does.
  std::string key;
  for (;;) {
    const std::size_t end = text.find('\0');
    AppendCollationKey(text.substr(0, end), key);
    if (end == std::string_view::npos) return key;
    key += '\0';
    text.remove_prefix(end + 1);
  }
}

std::size_t FindTextIgnoreCase(std::string_view text, std::string_view pattern, std::size_t from,
                               std::size_t& match_length) {
  if (pattern.empty() || from >= text.size()) return std::string_view::npos;
  std::vector<std::uint32_t> wanted;
  wanted.reserve(pattern.size());
  for (std::size_t at = 0; at < pattern.size();) {
    const Char c = DecodeAt(pattern, at);
    wanted.push_back(Folded(c, pattern, at));
    at += c.length;
  }
  for (std::size_t start = from; start < text.size();) {
    const Char first = DecodeAt(text, start);
    if (Folded(first, text, start) == wanted[0]) {
      std::size_t at = start + first.length;
      std::size_t k = 1;
      while (k < wanted.size() && at < text.size()) {
        const Char c = DecodeAt(text, at);
        if (Folded(c, text, at) != wanted[k]) break;
        at += c.length;
        ++k;
      }
      if (k == wanted.size()) {
        match_length = at - start;
        return start;
      }
    }
    start += first.length;
  }
  return std::string_view::npos;
}

std::size_t FindTextIgnoreCase(std::string_view text, std::string_view pattern, std::size_t from) {
  std::size_t match_length = 0;
  return FindTextIgnoreCase(text, pattern, from, match_length);
}

}  // namespace rtl

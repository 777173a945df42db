// The text-table format: the splitter of delimited text (shared with SQL
// batches and field lists), the cell encoding, header checks, and cutting a
// file's text into lines and cells in place; only cells that are quoted or hold
// a backslash are decoded.
#include "engine/vekSQLTextTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/vekSQLRecords.h"

namespace vek {

namespace {

// ---- Splitting ---------------------------------------------------------------

enum SplitClass : unsigned char { kPlain = 0, kSeparator, kQuote, kBackslash };

constexpr auto kSplitClasses = [] {
  std::array<unsigned char, 256> t{};
  t[static_cast<unsigned char>(';')] = kSeparator;
  t[static_cast<unsigned char>('"')] = kQuote;
  t[static_cast<unsigned char>('\'')] = kQuote;
  t[static_cast<unsigned char>('`')] = kQuote;
  t[static_cast<unsigned char>('\\')] = kBackslash;
  return t;
}();

// Calls on_piece(piece, special) for every piece of `text`, where `special` says
// the piece holds a quote character or a backslash (only such pieces can change
// when decoded). Stretches opened by ", ' or ` close at the same character. Only
// in a double-quoted stretch does a backslash step over the next character: the
// file writer escapes quotes only there, while SQL texts in apostrophes carry
// no escapes, so the batch  'x\'; COMMIT  is still two statements.
template <typename OnPiece>
void ForEachPiece(std::string_view text, OnPiece&& on_piece) {
  if (text.empty()) return;
  const char* p = text.data();
  const char* const end = p + text.size();
  const char* start = p;
  bool special = false;
  while (p < end) {
    switch (kSplitClasses[static_cast<unsigned char>(*p)]) {
      case kPlain:
        ++p;
        while (p < end && kSplitClasses[static_cast<unsigned char>(*p)] == kPlain) ++p;
        break;
      case kBackslash:
        special = true;
        ++p;
        break;
      case kSeparator:
        on_piece(std::string_view(start, p - start), special);
        start = ++p;
        special = false;
        break;
      case kQuote: {
        special = true;
        const char quote = *p++;
        if (quote == '"') {
          while (p < end) {
            const char c = *p++;
            if (c == '"') break;
            if (c == '\\' && p < end) ++p;
          }
        } else {
          const void* close = std::memchr(p, quote, end - p);
          p = close ? static_cast<const char*>(close) + 1 : end;
        }
        break;
      }
    }
  }
  on_piece(std::string_view(start, end - start), special);
}

// ---- Decoding ----------------------------------------------------------------

void DecodeCellTo(std::string_view piece, std::string& out) {
  out.clear();
  if (piece.size() >= 2) {
    const char first = piece.front();
    if ((first == '"' || first == '\'' || first == '`') && piece.back() == first) {
      piece = piece.substr(1, piece.size() - 2);
    }
  }
  out.reserve(piece.size());
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char c = piece[i];
    if (c != '\\' || i + 1 == piece.size()) {
      out += c;
      continue;
    }
    switch (piece[i + 1]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\r';
        break;
      case 'l':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '0':
        out += '\0';
        break;
      case '"':
        out += '"';
        break;
      default:
        // An unknown escape stays as written; its second character is read next.
        out += c;
        continue;
    }
    ++i;
  }
}

// ---- Cutting a file into rows ----------------------------------------------------

constexpr auto kLineSpecial = [] {
  std::array<bool, 256> t{};
  for (char c : {';', '"', '\'', '`', '\\', '\n', '\r'}) t[static_cast<unsigned char>(c)] = true;
  return t;
}();

// The first separator, quote character, backslash, CR or LF at or after p; end
// when there is none. Sixteen bytes at a time where the processor allows.
inline const char* FindLineSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i semicolon = _mm_set1_epi8(';');
  const __m128i double_quote = _mm_set1_epi8('"');
  const __m128i apostrophe = _mm_set1_epi8('\'');
  const __m128i backtick = _mm_set1_epi8('`');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i quotes = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, double_quote), _mm_cmpeq_epi8(v, apostrophe)),
        _mm_or_si128(_mm_cmpeq_epi8(v, backtick), _mm_cmpeq_epi8(v, backslash)));
    const __m128i breaks = _mm_or_si128(
        _mm_cmpeq_epi8(v, semicolon), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    const int mask = _mm_movemask_epi8(_mm_or_si128(quotes, breaks));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && !kLineSpecial[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

const char* FindLineEnd(const char* p, const char* end) {
  while (p < end && *p != '\n' && *p != '\r') ++p;
  return p;
}

// ---- Encoding ----------------------------------------------------------------

constexpr auto kEncodeClasses = [] {
  std::array<bool, 256> t{};
  for (char c : {'\\', '\r', '\n', '\t', '\0', ';', '\'', '`', '"'}) {
    t[static_cast<unsigned char>(c)] = true;
  }
  return t;
}();

}  // namespace

// ---- The splitter and the cell encoding -------------------------------------

void SplitText(std::string_view text, std::vector<std::string>& list) {
  list.clear();
  ForEachPiece(text, [&](std::string_view piece, bool) { list.emplace_back(piece); });
}

void SplitTextViews(std::string_view text, std::vector<std::string_view>& list) {
  list.clear();
  ForEachPiece(text, [&](std::string_view piece, bool) { list.push_back(piece); });
}

std::string JoinText(const std::vector<std::string>& list) {
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out += ';';
    out += list[i];
  }
  return out;
}

// Backslash, CR, LF, TAB and NUL are escaped with a backslash; a value holding a
// separator or a quote character is put in double quotes, its double quotes
// escaped: the value  say "hi"  is written  "say \"hi\"".
void EncodeCell(std::string_view value, std::string& out) {
  const auto special = [](char c) { return kEncodeClasses[static_cast<unsigned char>(c)]; };
  if (std::none_of(value.begin(), value.end(), special)) {
    out += value;
    return;
  }
  const bool quoted = value.find_first_of(std::string_view(";'`\"", 4)) != std::string_view::npos;
  if (quoted) out += '"';
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\n";
        break;
      case '\n':
        out += "\\l";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        out += c;
    }
  }
  if (quoted) out += '"';
}

std::string EncodeCell(std::string_view value) {
  std::string out;
  EncodeCell(value, out);
  return out;
}

std::string DecodeCell(std::string_view piece) {
  std::string out;
  DecodeCellTo(piece, out);
  return out;
}

// ---- Rows as file lines --------------------------------------------------------

void AppendRowLine(const TvekRecord& row, std::string& out) {
  for (int i = 0; i < row.FieldCount(); ++i) {
    if (i != 0) out += ';';
    EncodeCell(row.Cell(i), out);
  }
}

std::string TvekRecord::GetRow() const {
  std::string line;
  AppendRowLine(*this, line);
  return line;
}

void TvekRecord::SetRow(std::string_view line) {
  TextTableCutter cutter;
  Assign(cutter.CutLine(line));
}

// ---- Cutting a file's text ---------------------------------------------------------

// The cells are views into the line, or into `decoded_` for the few that hold
// quotes or backslashes: nothing is allocated per line.
const std::vector<std::string_view>& TextTableCutter::CutLine(std::string_view line) {
  cells_.clear();
  decoded_at_.clear();
  decoded_.clear();
  ForEachPiece(line, [&](std::string_view text, bool special) {
    if (special) {
      DecodeCellTo(text, scratch_);
      decoded_at_.emplace_back(cells_.size(), decoded_.size());
      decoded_ += scratch_;
    }
    cells_.push_back(text);
  });
  // The decoded texts are pointed at only now: `decoded_` may have moved.
  for (std::size_t k = 0; k < decoded_at_.size(); ++k) {
    const auto [cell, offset] = decoded_at_[k];
    const std::size_t end = k + 1 < decoded_at_.size() ? decoded_at_[k + 1].second : decoded_.size();
    cells_[cell] = std::string_view(decoded_).substr(offset, end - offset);
  }
  return cells_;
}

// LF CR ends two lines; a last line without a line end counts, a line end at the
// very end adds no line. A line without quote characters and backslashes
// (nearly every line) is cut in one pass; any other goes through the splitter
// and the decoder.
void TextTableCutter::Cut(std::string_view data, Sink& sink) {
  const char* p = data.data();
  const char* const end = p + data.size();
  while (p < end) {
    const char* const line = p;
    const char* line_end = nullptr;
    if (header_) {
      line_end = FindLineEnd(p, end);
      sink.OnHeader(std::string_view(line, line_end - line));
      header_ = false;
    } else {
      const char* cell = p;
      cells_.clear();
      for (;;) {
        const char* q = FindLineSpecial(p, end);
        if (q < end && *q == ';') {
          cells_.emplace_back(cell, q - cell);
          cell = p = q + 1;
          continue;
        }
        if (q == end || *q == '\n' || *q == '\r') {
          if (q != line) cells_.emplace_back(cell, q - cell);  // an empty line has no cells
          line_end = q;
          break;
        }
        line_end = FindLineEnd(q, end);
        CutLine(std::string_view(line, line_end - line));
        break;
      }
      sink.OnRow(cells_);
    }
    if (line_end == end) break;
    p = (*line_end == '\r' && line_end + 1 < end && line_end[1] == '\n') ? line_end + 2
                                                                           : line_end + 1;
  }
}

// ---- Header checks ---------------------------------------------------------------


// The header line is written unescaped, so a name holding ";", a quote
// character or a line end would read back as other columns and move every value
// under the wrong name. Names read from a file always read back the same.
Status CheckHeaderNames(const std::vector<std::string>& names) {
  const std::string header = JoinText(names);
  std::vector<std::string> read_back;
  SplitText(header, read_back);
  if (read_back == names && header.find_first_of("\r\n") == std::string::npos) {
    return Status::OK();
  }
  for (const std::string& name : names) {
    if (Status s = CheckColumnName(name); !s.ok()) return s;
  }
  return Status::Error("Invalid column names: " + header);
}

Status CheckColumnName(std::string_view name) {
  if (name.find_first_of(std::string_view(";\"'`\r\n\0", 7)) == std::string_view::npos) {
    return Status::OK();
  }
  return Status::Error("Invalid column name: " + std::string(name));
}

}  // namespace vek

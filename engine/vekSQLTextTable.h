// The text-table format: cutting delimited text at its separators, the cell
// encoding, the checks a header line's names must pass, and cutting a table
// file's text into its header and rows. No file access; see README's format.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/vekSQLStatus.h"

namespace vek {

class TvekRecord;

// Cuts `text` at ";" outside quoted stretches (opened by ", ' or `, closed by the
// same character). Inside a double-quoted stretch a backslash steps over the
// next character. The empty text gives no pieces.
void SplitText(std::string_view text, std::vector<std::string>& list);
// The same pieces as views into `text`.
void SplitTextViews(std::string_view text, std::vector<std::string_view>& list);
std::string JoinText(const std::vector<std::string>& list);

// Fails with "Invalid column name: " + name when the names joined into a header
// line would not read back as the same names.
Status CheckHeaderNames(const std::vector<std::string>& names);
// Fails with "Invalid column name: " + name for a name holding ";", a quote
// character, CR, LF or NUL: new columns must fit the header line.
Status CheckColumnName(std::string_view name);

// A cell as written in a file line and back; see README's file format.
std::string EncodeCell(std::string_view value);
void EncodeCell(std::string_view value, std::string& out);
std::string DecodeCell(std::string_view piece);

// A row as a file line: its cells encoded, joined with ";", appended to `out`.
void AppendRowLine(const TvekRecord& row, std::string& out);

// Cuts a table file's text into its header line and rows of decoded cells,
// a piece at a time: each piece given to Cut must end after a line end (or at
// the end of the file). Lines end at CR, LF or CR LF.
class TextTableCutter {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    // The first line of the file, as it stands.
    virtual void OnHeader(std::string_view line) = 0;
    // A further line's cells; an empty line has none. The views live until the
    // next line is cut.
    virtual void OnRow(const std::vector<std::string_view>& cells) = 0;
  };

  void Cut(std::string_view data, Sink& sink);
  // For text that starts after the header line: its first line is a row.
  void SkipHeader() { header_ = false; }
  // Whether a header line has been cut: false for an empty file.
  bool HeaderSeen() const { return !header_; }
  // One line's cells, decoded; they live until the next call.
  const std::vector<std::string_view>& CutLine(std::string_view line);

 private:
  std::vector<std::string_view> cells_;
  std::vector<std::pair<std::size_t, std::size_t>> decoded_at_;  // (cell, offset)
  std::string decoded_;
  std::string scratch_;
  bool header_ = true;
};

}  // namespace vek

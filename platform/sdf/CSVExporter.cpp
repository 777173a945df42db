#include "sdf/CSVExporter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "db/DataSet.h"
#include "rtl/AtomicFile.h"
#include "rtl/Dates.h"
#include "rtl/Separators.h"
#include "rtl/Text.h"

namespace sdf {

namespace {

// Writes every `quote` in `out` from `start` on twice.
void DoubleQuotesFrom(std::string& out, std::size_t start, char quote) {
  const std::string text = out.substr(start);
  out.resize(start);
  for (const char c : text) {
    if (c == quote) out += c;
    out += c;
  }
}

// One piece of a compiled date pattern.
enum class DatePiece {
  kLiteral,
  kYear4,
  kYear2,
  kMonth2,
  kMonth,
  kDay2,
  kDay,
  kHour2,
  kHour,
  kMinute2,
  kMinute,
  kSecond2,
  kSecond,
};

struct DateToken {
  DatePiece piece;
  char literal = '\0';
};

// The pattern is compiled once per export, not once per value.
std::vector<DateToken> CompileDatePattern(const std::string& pattern) {
  std::vector<DateToken> tokens;
  bool after_hour = false;  // the last token was an hour: "m" means minutes
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char lower = rtl::AsciiLower(pattern[i]);
    std::size_t run = 1;
    while (i + run < pattern.size() && rtl::AsciiLower(pattern[i + run]) == lower) ++run;
    const bool two = run >= 2;
    DatePiece piece = DatePiece::kLiteral;
    std::size_t used = 1;
    switch (lower) {
      case 'y':
        if (run >= 4) {
          piece = DatePiece::kYear4;
          used = 4;
        } else if (two) {
          piece = DatePiece::kYear2;
          used = 2;
        }  // a lone "y" is a plain letter
        break;
      case 'm':
        piece = after_hour ? (two ? DatePiece::kMinute2 : DatePiece::kMinute)
                           : (two ? DatePiece::kMonth2 : DatePiece::kMonth);
        used = two ? 2 : 1;
        break;
      case 'd':
        piece = two ? DatePiece::kDay2 : DatePiece::kDay;
        used = two ? 2 : 1;
        break;
      case 'h':
        piece = two ? DatePiece::kHour2 : DatePiece::kHour;
        used = two ? 2 : 1;
        break;
      case 'n':
        piece = two ? DatePiece::kMinute2 : DatePiece::kMinute;
        used = two ? 2 : 1;
        break;
      case 's':
        piece = two ? DatePiece::kSecond2 : DatePiece::kSecond;
        used = two ? 2 : 1;
        break;
      default:
        break;
    }
    if (piece == DatePiece::kLiteral) {
      tokens.push_back({piece, pattern[i]});
    } else {
      tokens.push_back({piece});
      // Literals between an hour and "mm" ("hh:mm", "hh mm") keep the minutes reading.
      after_hour = piece == DatePiece::kHour2 || piece == DatePiece::kHour;
    }
    i += used;
  }
  return tokens;
}

void AppendNumber(std::string& out, int value, bool two_digits) {
  char text[16];
  std::snprintf(text, sizeof text, two_digits ? "%02d" : "%d", value);
  out += text;
}

// Writes a date serial by the compiled pattern. The serial is split as the
// field's own text splits it (rounded to whole seconds, the day toward minus
// infinity), so that the file shows the moment the grid shows. False for a
// serial outside the calendar; the caller then writes the field's own text.
bool AppendDate(std::string& out, const std::vector<DateToken>& tokens, double serial) {
  constexpr std::int64_t kSecondsPerDay = 86400;
  if (!std::isfinite(serial) || std::fabs(serial) > 1e7) return false;
  const auto total = static_cast<std::int64_t>(std::llround(serial * kSecondsPerDay));
  std::int64_t day = total / kSecondsPerDay;
  std::int64_t seconds = total % kSecondsPerDay;
  if (seconds < 0) {
    seconds += kSecondsPerDay;
    --day;
  }
  const auto date = rtl::DecodeDate(static_cast<double>(day));
  if (!date) return false;
  const int hour = static_cast<int>(seconds / 3600);
  const int minute = static_cast<int>(seconds / 60 % 60);
  const int second = static_cast<int>(seconds % 60);
  for (const DateToken& token : tokens) {
    switch (token.piece) {
      case DatePiece::kLiteral:
        out += token.literal;
        break;
      case DatePiece::kYear4: {
        char text[8];
        std::snprintf(text, sizeof text, "%04d", date->year);
        out += text;
        break;
      }
      case DatePiece::kYear2:
        AppendNumber(out, date->year % 100, true);
        break;
      case DatePiece::kMonth2:
      case DatePiece::kMonth:
        AppendNumber(out, date->month, token.piece == DatePiece::kMonth2);
        break;
      case DatePiece::kDay2:
      case DatePiece::kDay:
        AppendNumber(out, date->day, token.piece == DatePiece::kDay2);
        break;
      case DatePiece::kHour2:
      case DatePiece::kHour:
        AppendNumber(out, hour, token.piece == DatePiece::kHour2);
        break;
      case DatePiece::kMinute2:
      case DatePiece::kMinute:
        AppendNumber(out, minute, token.piece == DatePiece::kMinute2);
        break;
      case DatePiece::kSecond2:
      case DatePiece::kSecond:
        AppendNumber(out, second, token.piece == DatePiece::kSecond2);
        break;
    }
  }
  return true;
}

class RowWriter {
 public:
  explicit RowWriter(const TCSVFormatSettings& settings)
      : settings_(settings),
        date_(CompileDatePattern(settings.DateFormat)),
        date_time_(CompileDatePattern(settings.DateTimeFormat)) {}

  void AppendValue(std::string& out, const db::Field& field) {
    if (!settings_.EncodeValue) {
      AppendText(out, field, settings_.QuoteStrings == TQuoteStrings::qsAlways);
      return;
    }
    text_.clear();
    AppendText(text_, field, false);
    settings_.EncodeValue(text_, out);
  }

 private:
  // The value's text; string kinds between quote characters when `quote`.
  void AppendText(std::string& out, const db::Field& field, bool quote) const {
    const db::FieldType type = field.DataType();
    // The string kinds are quoted; memos are written as their own text, like
    // every other kind, unless that text would not read back (below).
    if (db::IsStringType(type)) {
      if (!quote) {
        field.AppendAsString(out);  // a null text reads as ""
        return;
      }
      out += settings_.QuoteChar;
      const std::size_t start = out.size();
      field.AppendAsString(out);
      // Most texts hold no quote: only one that does is written again, doubled.
      // Cells are short, so a plain loop beats a library call per cell.
      if (settings_.DoubleQuoteChar &&
          std::find(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
                    settings_.QuoteChar) != out.end()) {
        DoubleQuotesFrom(out, start, settings_.QuoteChar);
      }
      out += settings_.QuoteChar;
      return;
    }
    const std::size_t start = out.size();
    AppendOtherText(out, field, type);
    // Where quotes are doubled the file is meant to be read back: a memo (or any
    // other unquoted text) holding the delimiter, a quote or a line break would
    // split into other cells or rows there, so such a value alone is quoted.
    if (quote && settings_.DoubleQuoteChar &&
        out.find_first_of(std::string{settings_.FieldDelimiter, settings_.QuoteChar, '\r', '\n'},
                          start) != std::string::npos) {
      out.insert(start, 1, settings_.QuoteChar);
      DoubleQuotesFrom(out, start + 1, settings_.QuoteChar);
      out += settings_.QuoteChar;
    }
  }

  // The text of a value of a kind other than the strings.
  void AppendOtherText(std::string& out, const db::Field& field, db::FieldType type) const {
    if (field.IsNull()) return;
    switch (type) {
      case db::FieldType::ftBoolean:
        out += field.AsBoolean() ? settings_.BooleanTrue : settings_.BooleanFalse;
        return;
      case db::FieldType::ftDate:
      case db::FieldType::ftDateTime:
      case db::FieldType::ftTimeStamp:
        if (AppendDate(out, type == db::FieldType::ftDate ? date_ : date_time_,
                       field.AsDateTime())) {
          return;
        }
        break;
      default:
        break;
    }
    const db::StorageKind kind = field.Kind();
    if (settings_.DecimalSeparator != '\0' &&
        (kind == db::StorageKind::kFloat || kind == db::StorageKind::kBcd)) {
      // Only around the one conversion: filter handlers that run while the
      // export walks the rows still see the program's own separator.
      rtl::ScopedSeparators separators(settings_.DecimalSeparator, rtl::ThousandSeparator());
      out += field.AsString();
      return;
    }
    out += field.AsString();
  }

  const TCSVFormatSettings& settings_;
  std::vector<DateToken> date_;
  std::vector<DateToken> date_time_;
  std::string text_;  // one value's text before it is encoded
};

}  // namespace

void TCSVExporter::Execute() {
  if (dataset_ == nullptr) throw db::DatabaseError("Dataset not assigned");
  if (!dataset_->Active()) throw db::DatabaseError(std::string(db::kSInactiveDataset));
  db::DataSet& ds = *dataset_;

  ds.DisableControls();
  db::Bookmark bookmark;
  auto go_back = [&] {
    if (bookmark.IsSet() && ds.BookmarkValid(bookmark)) ds.GotoBookmark(bookmark);
  };
  try {
    // A pending edit is posted first (as the first move would do anyway), so
    // the file holds stored values and the bookmark names a stored row.
    ds.CheckBrowseMode();
    if (restore_position_) bookmark = ds.GetBookmark();
    WriteFile(ds);
  } catch (...) {
    try {
      go_back();
    } catch (...) {
      // The export's own error is the one to report.
    }
    ds.EnableControls();
    throw;
  }
  try {
    go_back();
  } catch (...) {
    ds.EnableControls();
    throw;
  }
  ds.EnableControls();
}

void TCSVExporter::WriteFile(db::DataSet& ds) const {
  rtl::AtomicFileWriter writer(file_name_);
  auto check = [&writer](bool ok) {
    if (!ok) throw db::DatabaseError(writer.Error());
  };
  check(writer.Open());
  std::string& out = writer.Buffer();
  const char delimiter = settings_.FieldDelimiter;
  const int count = ds.FieldCount();

  if (settings_.HeaderRow) {
    for (int i = 0; i < count; ++i) {
      if (i > 0) out += delimiter;
      out += ds.Fields(i).FieldName();
    }
    out += '\n';
  }

  RowWriter row_writer(settings_);
  if (!from_current_) ds.First();
  // The current row is written even when the dataset already stands at its
  // end (after Last, Eof is set while the last row is current).
  if (!ds.IsEmpty()) {
    while (true) {
      for (int i = 0; i < count; ++i) {
        if (i > 0) out += delimiter;
        row_writer.AppendValue(out, ds.Fields(i));
      }
      out += '\n';
      check(writer.WriteIfFull());
      ds.Next();
      if (ds.Eof()) break;
    }
  }
  check(writer.Commit());
}

}  // namespace sdf
